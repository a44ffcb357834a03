#include "spreadsheet/NumberFormatParts.h"

#include <array>

// Serial numbers of the 1900 and 1904 date systems, and the calendar
// behind them.
namespace spreadsheet {
namespace {

constexpr long long daysFromCivil(long long y, unsigned m, unsigned d)
{
    y -= m <= 2;
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = unsigned(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<long long>(doe) - 719468;
}

void civilFromDays(long long z, int& year, int& month, int& day)
{
    z += 719468;
    const long long era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = unsigned(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const long long y = static_cast<long long>(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    day = int(doy - (153 * mp + 2) / 5 + 1);
    month = int(mp < 10 ? mp + 3 : mp - 9);
    year = int(y + (month <= 2));
}

constexpr long long kDay1899_12_30 = daysFromCivil(1899, 12, 30);
constexpr long long kDay1904_01_01 = daysFromCivil(1904, 1, 1);

} // namespace

namespace number_format {

CivilDate dateOfSerial(long long serial, bool date1904)
{
    CivilDate date;
    if (date1904) {
        civilFromDays(kDay1904_01_01 + serial, date.year, date.month, date.day);
        date.weekday = int((serial + 5) % 7); // 1904-01-01 was a Friday
        return date;
    }
    // The 1900 system counts a 29 February 1900 that never was (serial 60),
    // and shows serial 0 as 0 January 1900; its weekdays follow that count.
    date.weekday = int((serial + 6) % 7);
    if (serial == 0) {
        date.year = 1900, date.month = 1, date.day = 0;
    } else if (serial == 60) {
        date.year = 1900, date.month = 2, date.day = 29;
    } else {
        civilFromDays(kDay1899_12_30 + serial + (serial < 60 ? 1 : 0), date.year, date.month, date.day);
    }
    return date;
}

const std::array<const char*, 12> kMonthNames = {"January", "February", "March",     "April",   "May",      "June",
                                                 "July",    "August",   "September", "October", "November", "December"};
const std::array<const char*, 7> kDayNames = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                              "Thursday", "Friday", "Saturday"};

} // namespace number_format

double dateSerial(int year, int month, int day, bool date1904)
{
    // Months past December or before January move the year, as DATE does.
    long long y = year;
    long long m = static_cast<long long>(month) - 1;
    y += m >= 0 ? m / 12 : -((-m + 11) / 12);
    m = ((m % 12) + 12) % 12 + 1;
    const long long first = daysFromCivil(y, unsigned(m), 1);
    if (date1904)
        return double(first - kDay1904_01_01 + day - 1);
    long long firstSerial = first - kDay1899_12_30;
    if (y == 1900) {
        // 1900 counts as a leap year here, with a 29 February (serial 60).
        static const int before[12] = {0, 31, 60, 91, 121, 152, 182, 213, 244, 274, 305, 335};
        firstSerial = before[m - 1] + 1;
    } else if (y < 1900) {
        --firstSerial;
    }
    return double(firstSerial + day - 1);
}

} // namespace spreadsheet
