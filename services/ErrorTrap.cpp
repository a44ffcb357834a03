#include "services/ErrorTrap.h"

#include "services/Dialogs.h"

namespace services {
namespace {

ErrorTrap* innermostTrap = nullptr;

const QString kReleaseStamp = QStringLiteral("Corvantis2021/08/31");

// A description longer than this would make a box taller than the screen (a
// stored value quoted whole can be megabytes): its middle is left out.
constexpr qsizetype kMostShownCharacters = 1000;
constexpr int kMostShownLines = 15;
// What is kept of a longer one: its start, and its end, where the words after
// a quoted value stand.
constexpr qsizetype kHeadCharacters = 700, kTailCharacters = 250;
constexpr int kHeadLines = 10, kTailLines = 4;

// A CR LF pair is one line break, as are a CR or LF alone.
bool breaksLineAt(const QString& text, qsizetype i)
{
    const QChar c = text[i];
    return c == u'\n' || (c == u'\r' && (i + 1 == text.size() || text[i + 1] != u'\n'));
}

bool isLineBreakCharacter(QChar c)
{
    return c == u'\r' || c == u'\n';
}

// Looks at no more than the first and last few hundred characters, so a
// description of any length costs the same.
QString elidedDescription(const QString& description)
{
    const qsizetype size = description.size();
    bool fits = size <= kMostShownCharacters;
    for (qsizetype i = 0, lines = 1; fits && i < size; ++i)
        fits = !(breaksLineAt(description, i) && ++lines > kMostShownLines);
    if (fits)
        return description;

    qsizetype headEnd = 0;
    for (int lines = 1; headEnd < kHeadCharacters && headEnd < size; ++headEnd) {
        if (breaksLineAt(description, headEnd) && ++lines > kHeadLines)
            break;
    }
    qsizetype tailStart = size;
    for (int lines = 1; size - tailStart < kTailCharacters && tailStart > headEnd; --tailStart) {
        if (breaksLineAt(description, tailStart - 1) && ++lines > kTailLines)
            break;
    }

    // No line break may stand beside the mark, and no character is halved.
    while (headEnd > 0 && isLineBreakCharacter(description[headEnd - 1]))
        --headEnd;
    if (headEnd > 0 && description[headEnd - 1].isHighSurrogate())
        --headEnd;
    while (tailStart < size && isLineBreakCharacter(description[tailStart]))
        ++tailStart;
    if (tailStart < size && description[tailStart].isLowSurrogate())
        ++tailStart;
    return description.left(headEnd) + QChar(0x2026) + description.mid(tailStart);
}

} // namespace

QString locationText(const QString& module, const QString& procedure)
{
    return QStringLiteral("in ") + kReleaseStamp + u'.' + module + u'.' + procedure + u' ';
}

QString errorReportText(const QString& description, const QString& location, int line)
{
    return elidedDescription(description) + QStringLiteral("\r\n") + location + QStringLiteral("at line ")
        + QString::number(line) + QStringLiteral("\r\r") + QStringLiteral("Please email screenshot of this message to ")
        + QLatin1String(kSupportEmail);
}

void showErrorReport(const QString& description, const QString& location, int line)
{
    // A failure outside any reporting procedure (line < 0) has no place to name.
    const QString text = line < 0 ? elidedDescription(description) + QStringLiteral("\r\r")
            + QStringLiteral("Please email screenshot of this message to ") + QLatin1String(kSupportEmail)
                                  : errorReportText(description, location, line);
    dialogs().message(nullptr, QStringLiteral("Application Error"), text, MessageIcon::Warning);
}

ErrorTrap::ErrorTrap(QString location) : location_(std::move(location)), outer_(innermostTrap)
{
    innermostTrap = this;
}

ErrorTrap::~ErrorTrap()
{
    innermostTrap = outer_;
}

ErrorTrap* ErrorTrap::active()
{
    return innermostTrap;
}

void ErrorTrap::handOver(std::exception_ptr failure)
{
    // With no step to fail, keeping it would lose it or blame a later step.
    if (!stepRunning_) {
        report(std::move(failure));
        return;
    }
    // The first failure stops the step; later ones in the same step are moot.
    if (!handedOver_)
        handedOver_ = std::move(failure);
}

void ErrorTrap::report(std::exception_ptr failure)
{
    QString description;
    try {
        std::rethrow_exception(std::move(failure));
    } catch (const std::exception& error) {
        description = describe(error);
    } catch (...) {
        description = QStringLiteral("Unknown error");
    }
    showErrorReport(description, location_, line_);
}

} // namespace services
