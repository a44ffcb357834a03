// Writes a pointer drawn as text (resources/cursors/hand.txt) as a Windows
// cursor file: one 32 x 32 image of 32 bits a pixel with its AND mask, and
// the hot spot where the picture marks it with "*".
//
//   write_cursor <picture.txt> <HAND-M.CUR>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

namespace {

constexpr int kSide = 32;

struct Picture {
    std::vector<std::string> rows; // top row first
    int hotX = -1;
    int hotY = -1;
};

bool fail(const std::string& where, const std::string& what)
{
    std::cerr << where << ": " << what << '\n';
    return false;
}

// Lines starting with "#" and a blank are comments; every other line is a row.
bool readPicture(const char* path, Picture& picture)
{
    std::ifstream in(path);
    if (!in)
        return fail(path, "cannot be read");
    std::string line;
    int lineNumber = 0;
    while (std::getline(in, line)) {
        ++lineNumber;
        const std::string where = std::string(path) + ':' + std::to_string(lineNumber);
        if (line.starts_with("# ") || line == "#")
            continue;
        if (line.size() != kSide)
            return fail(where, "a row must be " + std::to_string(kSide) + " pixels wide");
        if (picture.rows.size() == kSide)
            return fail(where, "more than " + std::to_string(kSide) + " rows");
        for (std::size_t x = 0; x < line.size(); ++x) {
            const char pixel = line[x];
            if (pixel != '.' && pixel != '#' && pixel != 'o' && pixel != '*')
                return fail(where, std::string("unknown pixel '") + pixel + "'");
            if (pixel == '*') {
                if (picture.hotX >= 0)
                    return fail(where, "a second hot spot");
                picture.hotX = static_cast<int>(x);
                picture.hotY = static_cast<int>(picture.rows.size());
            }
        }
        picture.rows.push_back(line);
    }
    if (picture.rows.size() != kSide)
        return fail(path, "the picture must be " + std::to_string(kSide) + " rows high");
    if (picture.hotX < 0)
        return fail(path, "no hot spot (\"*\")");
    return true;
}

void put8(std::vector<unsigned char>& out, unsigned value)
{
    out.push_back(static_cast<unsigned char>(value & 0xFF));
}

void put16(std::vector<unsigned char>& out, unsigned value)
{
    put8(out, value);
    put8(out, value >> 8);
}

void put32(std::vector<unsigned char>& out, unsigned value)
{
    put16(out, value & 0xFFFF);
    put16(out, value >> 16);
}

std::vector<unsigned char> cursorBytes(const Picture& picture)
{
    constexpr unsigned kColourBytes = kSide * kSide * 4;
    constexpr unsigned kMaskBytes = kSide * 4; // 1 bit a pixel, each row padded to 4 bytes
    constexpr unsigned kImageBytes = 40 + kColourBytes + kMaskBytes;
    std::vector<unsigned char> out;
    // The directory: type 2 is a cursor, whose entry holds the hot spot.
    put16(out, 0);
    put16(out, 2);
    put16(out, 1);
    put8(out, kSide);
    put8(out, kSide);
    put8(out, 0); // no palette
    put8(out, 0);
    put16(out, static_cast<unsigned>(picture.hotX));
    put16(out, static_cast<unsigned>(picture.hotY));
    put32(out, kImageBytes);
    put32(out, 6 + 16);
    // The bitmap header: its height counts the colour rows and the mask rows.
    put32(out, 40);
    put32(out, kSide);
    put32(out, 2 * kSide);
    put16(out, 1);
    put16(out, 32);
    put32(out, 0); // uncompressed
    put32(out, kColourBytes + kMaskBytes);
    for (int unused = 0; unused < 4; ++unused)
        put32(out, 0);
    // Both the colours and the mask run from the bottom row up.
    for (int y = kSide - 1; y >= 0; --y) {
        for (const char pixel : picture.rows[static_cast<std::size_t>(y)]) {
            const unsigned grey = pixel == 'o' ? 0xFF : 0x00;
            const unsigned alpha = pixel == '.' ? 0x00 : 0xFF;
            put8(out, grey);
            put8(out, grey);
            put8(out, grey);
            put8(out, alpha);
        }
    }
    for (int y = kSide - 1; y >= 0; --y) {
        const std::string& row = picture.rows[static_cast<std::size_t>(y)];
        for (int byte = 0; byte < kSide / 8; ++byte) {
            unsigned bits = 0;
            for (int bit = 0; bit < 8; ++bit) {
                if (row[static_cast<std::size_t>(byte * 8 + bit)] == '.')
                    bits |= 0x80U >> bit;
            }
            put8(out, bits);
        }
    }
    return out;
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc != 3) {
        std::cerr << "usage: write_cursor <picture.txt> <cursor.cur>\n";
        return 2;
    }
    Picture picture;
    if (!readPicture(argv[1], picture))
        return 1;
    const std::vector<unsigned char> bytes = cursorBytes(picture);
    std::ofstream out(argv[2], std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) {
        std::remove(argv[2]);
        fail(argv[2], "cannot be written");
        return 1;
    }
    return 0;
}
