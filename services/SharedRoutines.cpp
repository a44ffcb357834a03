#include "services/SharedRoutines.h"

#include "services/ErrorTrap.h"
#include "services/Failure.h"
#include "services/NumericText.h"
#include "services/PictureBox.h"
#include "services/ProgramFolder.h"
#include "resources/ProgramVersion.h"
#include "services/SettingsStore.h"

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

void WriteBytesToFile(const QByteArray& bytes, const QString& path)
{
    QFile file(path);
    // ReadWrite keeps an existing file's length: the bytes go over its start.
    if (!file.open(QIODevice::ReadWrite))
        throw Failure(QStringLiteral("Could not open %1 for writing: %2")
                          .arg(QDir::toNativeSeparators(path), file.errorString()));
    if (file.write(bytes) != bytes.size() || !file.flush())
        throw Failure(QStringLiteral("Could not write %1: %2")
                          .arg(QDir::toNativeSeparators(path), file.errorString()));
    file.close();
    if (file.error() != QFileDevice::NoError)
        throw Failure(QStringLiteral("Could not close %1: %2")
                          .arg(QDir::toNativeSeparators(path), file.errorString()));
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
    appTitle = TitleFromProductName(QLatin1String(resources::kProduct));
    QGuiApplication::setApplicationDisplayName(appTitle);
}

QString AppTitle()
{
    return appTitle.isEmpty() ? QString::fromLatin1(resources::kProduct) : appTitle;
}

void ApplySkin(QWidget* entryWindow)
{
    const QFileInfo skin(besideProgram(QStringLiteral("x/o.cjs")));
    if (!skin.isFile() || skin.isHidden())
        return;
    paintWindowAndControls(entryWindow, [](const QWidget* control) {
        if (qobject_cast<const QLabel*>(control) && control->objectName() == u"lblYear")
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
    std::optional<QFile> file;
    bool fileUsable = false;
    QString result;
    QList<std::pair<QString, QString>> pairs;

    trap.step(100, [&] { file.emplace(besideProgram(QStringLiteral("reg.txt"))); });
    trap.step(102, [&] {
        if (!file->open(QIODevice::WriteOnly | QIODevice::Truncate))
            throw Failure(QStringLiteral("Could not create %1: %2")
                              .arg(QDir::toNativeSeparators(file->fileName()), file->errorString()));
        fileUsable = true;
    });
    trap.step(104, [&] { result.clear(); });
    trap.step(106, [&] { pairs = settingsStore().pairs(); });
    // A file that could not be created, or broke while writing, was reported
    // once; writing on would only repeat the same report for every key.
    for (const auto& pair : pairs) {
        if (!fileUsable)
            break;
        trap.step(110, [&] {
            const QByteArray line = (withoutSurroundingBlanks(pair.first) + QStringLiteral(": ")
                                     + withoutSurroundingBlanks(pair.second) + QStringLiteral("\r\n"))
                                        .toUtf8();
            if (file->write(line) != line.size()) {
                fileUsable = false;
                throw Failure(QStringLiteral("Could not write %1: %2")
                                  .arg(QDir::toNativeSeparators(file->fileName()), file->errorString()));
            }
        });
    }
    trap.step(114, [&] {
        if (!file || !file->isOpen())
            return;
        file->close();
        if (fileUsable && file->error() != QFileDevice::NoError)
            throw Failure(QStringLiteral("Could not close %1: %2")
                              .arg(QDir::toNativeSeparators(file->fileName()), file->errorString()));
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
