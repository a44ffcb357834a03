#include "services/SharedRoutines.h"

#include "resources/ProgramVersion.h"
#include "services/ErrorTrap.h"
#include "services/Failure.h"
#include "services/PictureBox.h"
#include "services/ProgramFolder.h"
#include "services/SettingsStore.h"
#include "services/UserLocale.h"
#include "services/WholeFile.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QRadioButton>
#include <functional>
#include <optional>
#include <unistd.h>

namespace services {
namespace {

QString appTitle;

QColor buttonFace()
{
    return QApplication::palette().color(QPalette::Active, QPalette::Button);
}

void paintButtonFace(QWidget* widget)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, buttonFace());
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
}

bool isLabelFrameOrOption(const QWidget* widget)
{
    return qobject_cast<const QLabel*>(widget) || qobject_cast<const QGroupBox*>(widget)
        || qobject_cast<const QCheckBox*>(widget) || qobject_cast<const QRadioButton*>(widget);
}

void paintWindowAndControls(QWidget* window, const std::function<bool(const QWidget*)>& wanted)
{
    paintButtonFace(window);
    for (QWidget* control : window->findChildren<QWidget*>()) {
        if (wanted(control))
            paintButtonFace(control);
    }
}

QString withoutSurroundingBlanks(const QString& text)
{
    qsizetype first = 0;
    qsizetype last = text.size();
    while (first < last && text[first] == u' ')
        ++first;
    while (last > first && text[last - 1] == u' ')
        --last;
    return text.mid(first, last - first);
}

// One line of the dump: "key: value" and CR LF.
QByteArray dumpLine(const std::pair<QString, QString>& pair)
{
    return (withoutSurroundingBlanks(pair.first) + QStringLiteral(": ") + withoutSurroundingBlanks(pair.second)
            + QStringLiteral("\r\n"))
        .toUtf8();
}

bool fileHoldsExactly(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return QFileInfo(path).isFile() && file.open(QIODevice::ReadOnly) && file.size() == bytes.size()
        && file.readAll() == bytes;
}

// Whether the dump of `pairs` already stands where it would be written:
// beside the program when its folder takes files, else in the user's state
// folder.
bool dumpInPlace(const QString& besideProgramPath, const QList<std::pair<QString, QString>>& pairs)
{
    QByteArray dump;
    for (const auto& pair : pairs)
        dump += dumpLine(pair);
    const QString folder = QFileInfo(besideProgramPath).absolutePath();
    const QString place = QFileInfo(folder).isDir() && ::access(QFile::encodeName(folder).constData(), W_OK) == 0
        ? besideProgramPath
        : userStateFolder() + QStringLiteral("/reg.txt");
    return fileHoldsExactly(place, dump);
}

} // namespace

bool FileExists(const QString& path)
{
    return !path.isEmpty() && QFileInfo(path).lastModified().isValid();
}

void DeleteFileQuietly(const QString& path)
{
    QCoreApplication::processEvents();
    QFile::remove(path);
}

void WriteBytesToFile(const QByteArray& bytes, const QString& path, Durability durability)
{
    writeFileWhole(path, bytes, durability);
}

QString TitleFromProductName(const QString& productName)
{
    QString title = productName;
    do {
        const qsizetype lastBlank = title.lastIndexOf(u' ');
        if (lastBlank < 0)
            break;
        title.truncate(lastBlank);
    } while (title.size() > 40);
    return title;
}

void SetAppTitle()
{
    // Not the toolkit's display name: on X11 that is appended to every title.
    // The boxes that name no title are given this one by the dialog seam.
    appTitle = TitleFromProductName(QLatin1String(resources::kProduct));
}

QString AppTitle()
{
    return appTitle.isEmpty() ? QString::fromLatin1(resources::kProduct) : appTitle;
}

void ApplySkin(QWidget* window, const QString& keptLabelName)
{
    const QFileInfo skin(besideProgram(QStringLiteral("x/o.cjs")));
    if (!skin.isFile() || skin.isHidden())
        return;
    paintWindowAndControls(window, [&keptLabelName](const QWidget* control) {
        if (qobject_cast<const QLabel*>(control) && control->objectName() == keptLabelName)
            return false;
        return isLabelFrameOrOption(control) || qobject_cast<const PictureBox*>(control) != nullptr;
    });
    // The skin itself has no counterpart here: there is nothing to load it into.
}

void ApplyBackColor(QWidget* window)
{
    paintWindowAndControls(window, isLabelFrameOrOption);
}

QString RegistryCapture()
{
    ErrorTrap trap(locationText(QStringLiteral("Main"), QStringLiteral("RegistryCapture")));
    QString path;
    std::optional<WholeFileWriter> file;
    QString result;
    QList<std::pair<QString, QString>> pairs;

    trap.step(100, [&] { path = besideProgram(QStringLiteral("reg.txt")); });
    // A start that changes nothing writes nothing: not even a file that is
    // made and dropped again.
    bool inPlace = false;
    trap.step(106, [&] { pairs = settingsStore().pairs(); });
    trap.step(102, [&] { inPlace = dumpInPlace(path, pairs); });
    if (inPlace)
        return result;
    // The dump replaces the old one only when written whole. An installed
    // program's folder is not the user's to write: the dump then goes to the
    // user's state folder, and only when neither takes it is that reported.
    trap.step(102, [&] {
        try {
            file.emplace(path);
        } catch (const Failure& besideTheProgram) {
            try {
                file.emplace(makeUserStateFolder() + QStringLiteral("/reg.txt"));
            } catch (const Failure& inTheStateFolder) {
                throw Failure(besideTheProgram.description() + u' ' + inTheStateFolder.description());
            }
        }
    });
    trap.step(104, [&] { result.clear(); });
    // A file that could not be created, or broke while writing, was reported
    // once; writing on would only repeat the same report for every key.
    for (const auto& pair : pairs) {
        if (!file)
            break;
        const bool written = trap.step(110, [&] { file->write(dumpLine(pair)); });
        if (!written)
            file.reset();
    }
    trap.step(114, [&] {
        if (file)
            file->commit();
    });
    trap.step(116, [&] { file.reset(); });
    return result;
}

QString LocalDecimalSeparator()
{
    // Characters, not UTF-16 units: some locales' digits take two units.
    const QList<uint> half = userLocale().toString(0.5).trimmed().toUcs4();
    if (half.size() < 2)
        throw Failure(QStringLiteral("The number format gives no decimal separator."));
    const char32_t separator = half[1];
    return QString::fromUcs4(&separator, 1);
}

QString ToLocalDecimal(const QString& numberText)
{
    const QString separator = LocalDecimalSeparator();
    QString text = numberText;
    text.replace(u'.', separator);
    text.replace(u',', separator);
    return text;
}

} // namespace services
