// The Debian package as a user gets it: made by CPack, unpacked, and the
// installed program started from its launcher by an ordinary user with a
// fresh home, on a real X server with a window manager.
#include "entry/Form1.h"
#include "preview/Form2.h"
#include "resources/ProgramVersion.h"
#include "tests/support/RealDisplay.h"
#include "tests/support/TestSupport.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <gtest/gtest.h>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/extensions/Xfixes.h>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <ftw.h>
#include <functional>
#include <grp.h>
#include <set>
#include <string>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

using testing_support::readFileBytes;
using testing_support::testRoot;
using testing_support::writeFileBytes;

namespace {

const bool onRealDisplay = testing_support::requestRealDisplay();

// The program runs as "nobody": no home of its own, no rights in /usr.
constexpr uid_t kUser = 65534;
constexpr gid_t kGroup = 65534;

const QString kId = QLatin1String(resources::kDesktopFileId);
const QString kProgramFolder = QStringLiteral("/usr/lib/corvantis");

struct Command {
    int exitCode;
    QString output;
};

Command run(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    if (!process.waitForFinished(120000)) {
        process.kill();
        process.waitForFinished();
        return {-1, program + QStringLiteral(" did not end")};
    }
    const QString output = QString::fromLocal8Bit(process.readAll());
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1, output};
}

QString architecture()
{
    return run(QStringLiteral("dpkg"), {QStringLiteral("--print-architecture")}).output.trimmed();
}

// "Key=value" lines of a desktop entry, or "Field: value" of a control file.
QString valueOf(const QString& text, const QString& key, const QString& separator)
{
    const QRegularExpression line(QStringLiteral("^") + QRegularExpression::escape(key + separator)
                                      + QStringLiteral("(.*)$"),
                                  QRegularExpression::MultilineOption);
    return line.match(text).captured(1).trimmed();
}

bool waitFor(const std::function<bool()>& condition, int ms)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
}

// The X server as another client sees the program's windows.
class XView {
public:
    XView() : x_(XOpenDisplay(nullptr)) {}
    ~XView()
    {
        if (x_)
            XCloseDisplay(x_);
    }
    XView(const XView&) = delete;
    XView& operator=(const XView&) = delete;

    bool connected() const { return x_ != nullptr; }

    // The windows of the process that the window manager lists and shows.
    std::vector<Window> shownWindowsOf(pid_t pid)
    {
        std::vector<Window> shown;
        for (const unsigned long window : cardinals(DefaultRootWindow(x_), "_NET_CLIENT_LIST", XA_WINDOW)) {
            const std::vector<unsigned long> owner = cardinals(window, "_NET_WM_PID", XA_CARDINAL);
            XWindowAttributes attributes{};
            if (owner.size() == 1 && owner[0] == static_cast<unsigned long>(pid)
                && XGetWindowAttributes(x_, window, &attributes) && attributes.map_state == IsViewable)
                shown.push_back(window);
        }
        return shown;
    }

    QString title(Window window)
    {
        const std::vector<unsigned long> bytes = property(window, "_NET_WM_NAME", atom("UTF8_STRING"), 8);
        QByteArray text;
        for (const unsigned long byte : bytes)
            text += static_cast<char>(byte);
        return QString::fromUtf8(text);
    }

    QStringList titles(const std::vector<Window>& windows)
    {
        QStringList all;
        for (const Window window : windows)
            all << title(window);
        return all;
    }

    // The class half of WM_CLASS, which desktops match to StartupWMClass.
    QString windowClass(Window window)
    {
        XClassHint hint{};
        if (!XGetClassHint(x_, window, &hint))
            return {};
        const QString name = QString::fromLocal8Bit(hint.res_class);
        XFree(hint.res_name);
        XFree(hint.res_class);
        return name;
    }

    // The sizes of the icons the window gives the desktop (_NET_WM_ICON).
    std::set<int> iconSizes(Window window)
    {
        std::set<int> sizes;
        const std::vector<unsigned long> icons = cardinals(window, "_NET_WM_ICON", XA_CARDINAL);
        for (std::size_t at = 0; at + 2 <= icons.size();) {
            const unsigned long width = icons[at];
            const unsigned long height = icons[at + 1];
            if (width != height)
                sizes.insert(-1);
            sizes.insert(static_cast<int>(width));
            at += 2 + width * height;
        }
        return sizes;
    }

    QPoint origin(Window window)
    {
        int x = 0;
        int y = 0;
        Window child = None;
        XTranslateCoordinates(x_, window, DefaultRootWindow(x_), 0, 0, &x, &y, &child);
        return {x, y};
    }

    // Moves there, and once more within, so the program sees a move.
    void moveTo(QPoint global)
    {
        XTestFakeMotionEvent(x_, -1, global.x() - 2, global.y(), CurrentTime);
        XSync(x_, False);
        std::this_thread::sleep_for(std::chrono::milliseconds(60));
        XTestFakeMotionEvent(x_, -1, global.x(), global.y(), CurrentTime);
        XSync(x_, False);
    }

    void click()
    {
        XTestFakeButtonEvent(x_, 1, True, CurrentTime);
        XSync(x_, False);
        std::this_thread::sleep_for(std::chrono::milliseconds(40));
        XTestFakeButtonEvent(x_, 1, False, CurrentTime);
        XSync(x_, False);
    }

    struct Pointer {
        QImage image;
        QPoint hotSpot;
    };

    Pointer shownPointer()
    {
        XFixesCursorImage* shown = XFixesGetCursorImage(x_);
        if (!shown)
            return {};
        Pointer pointer{QImage(shown->width, shown->height, QImage::Format_ARGB32_Premultiplied),
                        QPoint(shown->xhot, shown->yhot)};
        for (int y = 0; y < shown->height; ++y) {
            for (int x = 0; x < shown->width; ++x)
                pointer.image.setPixel(x, y, static_cast<QRgb>(shown->pixels[y * shown->width + x]));
        }
        XFree(shown);
        return pointer;
    }

    // Asks the window to close, as its frame's close button does.
    void close(Window window)
    {
        XEvent event{};
        event.xclient.type = ClientMessage;
        event.xclient.window = window;
        event.xclient.message_type = atom("WM_PROTOCOLS");
        event.xclient.format = 32;
        event.xclient.data.l[0] = static_cast<long>(atom("WM_DELETE_WINDOW"));
        event.xclient.data.l[1] = CurrentTime;
        XSendEvent(x_, window, False, NoEventMask, &event);
        XSync(x_, False);
    }

private:
    Atom atom(const char* name) { return XInternAtom(x_, name, False); }

    std::vector<unsigned long> property(Window window, const char* name, Atom type, int format)
    {
        Atom actualType = None;
        int actualFormat = 0;
        unsigned long count = 0;
        unsigned long left = 0;
        unsigned char* data = nullptr;
        std::vector<unsigned long> values;
        if (XGetWindowProperty(x_, window, atom(name), 0, 1 << 20, False, type, &actualType, &actualFormat, &count,
                               &left, &data)
                == Success
            && data && actualFormat == format) {
            for (unsigned long i = 0; i < count; ++i)
                values.push_back(format == 32 ? reinterpret_cast<unsigned long*>(data)[i] : data[i]);
        }
        if (data)
            XFree(data);
        return values;
    }

    std::vector<unsigned long> cardinals(Window window, const char* name, Atom type)
    {
        return property(window, name, type, 32);
    }

    Display* x_;
};

// The program, started as the user; killed if a test leaves it running,
// and by the kernel if this process ends first.
class UserProgram {
public:
    UserProgram(const QString& launcher, const QStringList& environment, const QString& logPath)
    {
        const std::string path = QFile::encodeName(launcher).toStdString();
        std::vector<std::string> strings;
        for (const QString& variable : environment)
            strings.push_back(variable.toStdString());
        std::vector<char*> envp;
        for (std::string& variable : strings)
            envp.push_back(variable.data());
        envp.push_back(nullptr);
        std::string name = "corvantis";
        char* argv[] = {name.data(), nullptr};
        const int log = ::open(QFile::encodeName(logPath).constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        const int null = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
        const pid_t parent = ::getpid();
        pid_ = ::fork();
        if (pid_ == 0) {
            ::dup2(null, 0);
            ::dup2(log, 1);
            ::dup2(log, 2);
            if (::setgroups(0, nullptr) != 0 || ::setgid(kGroup) != 0 || ::setuid(kUser) != 0)
                ::_exit(126);
            // A change of user clears the parent-death signal: set it after.
            ::prctl(PR_SET_PDEATHSIG, SIGKILL);
            if (::getppid() != parent)
                ::_exit(1);
            ::execve(path.c_str(), argv, envp.data());
            ::_exit(127);
        }
        ::close(log);
        ::close(null);
    }
    ~UserProgram()
    {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    UserProgram(const UserProgram&) = delete;
    UserProgram& operator=(const UserProgram&) = delete;

    pid_t pid() const { return pid_; }

    // Its exit code once it ended by itself; -1 when it did not end in time
    // or was ended by a signal.
    int waitForExit(int ms)
    {
        int status = 0;
        const bool ended = waitFor([&] { return ::waitpid(pid_, &status, WNOHANG) == pid_; }, ms);
        if (!ended)
            return -1;
        pid_ = 0;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

private:
    pid_t pid_ = 0;
};

int giveToUser(const char* path, const struct stat*, int, struct FTW*)
{
    return ::lchown(path, kUser, kGroup);
}

// The middle of a control, in its window's coordinates.
QPoint centreInWindow(QWidget* control)
{
    return control->mapTo(control->window(), control->rect().center());
}

// The package is made and unpacked once, for all the tests here.
class Package : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        // The user must reach the unpacked program inside this test's root.
        ::chmod(QFile::encodeName(testRoot()).constData(), 0711);
        const QString packageFolder = testRoot() + QStringLiteral("/package");
        stage_ = testRoot() + QStringLiteral("/stage");
        const Command made = run(QStringLiteral(CPACK_COMMAND),
                                 {QStringLiteral("-G"), QStringLiteral("DEB"), QStringLiteral("--config"),
                                  QStringLiteral(CPACK_CONFIG), QStringLiteral("-B"), packageFolder});
        log_ = made.output;
        debFile_ = packageFolder + QStringLiteral("/corvantis_7.00_") + architecture() + QStringLiteral(".deb");
        if (made.exitCode != 0 || !QFile::exists(debFile_))
            return;
        const Command unpacked = run(QStringLiteral("dpkg-deb"), {QStringLiteral("-x"), debFile_, stage_});
        log_ += unpacked.output;
        unpacked_ = unpacked.exitCode == 0;
    }

    void SetUp() override
    {
        ASSERT_TRUE(onRealDisplay);
        ASSERT_TRUE(unpacked_) << "no package " << debFile_.toStdString() << ":\n" << log_.toStdString();
    }

    static QString staged(const QString& path) { return stage_ + path; }
    static QString desktopEntry()
    {
        return staged(QStringLiteral("/usr/share/applications/") + kId + QStringLiteral(".desktop"));
    }
    static QString metainfo()
    {
        return staged(QStringLiteral("/usr/share/metainfo/") + kId + QStringLiteral(".metainfo.xml"));
    }

    static inline QString stage_;
    static inline QString debFile_;
    static inline QString log_;
    static inline bool unpacked_ = false;
};

TEST_F(Package, IsNamedAndDescribedForDebianWithItsLibraries)
{
    const Command fields = run(QStringLiteral("dpkg-deb"), {QStringLiteral("--field"), debFile_});
    ASSERT_EQ(fields.exitCode, 0) << fields.output.toStdString();
    const std::pair<const char*, QString> expected[] = {
        {"Package", QStringLiteral("corvantis")},
        {"Version", QStringLiteral("7.00")},
        {"Architecture", architecture()},
        {"Maintainer", QStringLiteral("Quillmere <support@quillmere.com>")},
    };
    for (const auto& [field, value] : expected)
        EXPECT_EQ(valueOf(fields.output, QLatin1String(field), QStringLiteral(": ")).toStdString(), value.toStdString())
            << field;
    // Computed from what the program links, plus what it loads at run time.
    const QString depends = valueOf(fields.output, QStringLiteral("Depends"), QStringLiteral(": "));
    for (const char* package :
         {"libc6", "libqt6core6", "libqt6gui6", "libqt6widgets6", "libgsf-1-114", "qt6-qpa-plugins"})
        EXPECT_TRUE(QRegularExpression(QStringLiteral("(^|, )") + QLatin1String(package) + QStringLiteral("( \\(|,|$)"))
                        .match(depends)
                        .hasMatch())
            << package << " in " << depends.toStdString();
}

TEST_F(Package, HoldsTheProgramInItsFolderALauncherTheDesktopFilesAndIcons)
{
    QStringList wanted{kProgramFolder + QStringLiteral("/corvantis"), kProgramFolder + QStringLiteral("/HAND-M.CUR"),
                       QStringLiteral("/usr/bin/corvantis"),
                       QStringLiteral("/usr/share/applications/") + kId + QStringLiteral(".desktop"),
                       QStringLiteral("/usr/share/metainfo/") + kId + QStringLiteral(".metainfo.xml")};
    for (const int size : {32, 48, 128, 256})
        wanted << QStringLiteral("/usr/share/icons/hicolor/%1x%1/apps/%2.png").arg(size).arg(kId);
    QStringList held;
    QDirIterator files(stage_, QDir::Files | QDir::System | QDir::Hidden, QDirIterator::Subdirectories);
    while (files.hasNext())
        held << files.next().mid(stage_.size());
    wanted.sort();
    held.sort();
    EXPECT_EQ(held.join(u'\n').toStdString(), wanted.join(u'\n').toStdString());

    EXPECT_TRUE(QFileInfo(staged(kProgramFolder + QStringLiteral("/corvantis"))).isExecutable());
    // Relative, so the launcher leads to the program in any root.
    EXPECT_EQ(QFile::symLinkTarget(staged(QStringLiteral("/usr/bin/corvantis"))).toStdString(),
              staged(kProgramFolder + QStringLiteral("/corvantis")).toStdString());
    char target[256] = {};
    ASSERT_GT(::readlink(QFile::encodeName(staged(QStringLiteral("/usr/bin/corvantis"))).constData(), target,
                         sizeof target - 1),
              0);
    EXPECT_STREQ(target, "../lib/corvantis/corvantis");
    EXPECT_TRUE(readFileBytes(staged(kProgramFolder + QStringLiteral("/HAND-M.CUR")))
                == readFileBytes(QStringLiteral(BUILD_ROOT "/HAND-M.CUR")));
    for (const int size : {32, 48, 128, 256}) {
        const QString icon = staged(QStringLiteral("/usr/share/icons/hicolor/%1x%1/apps/%2.png").arg(size).arg(kId));
        EXPECT_TRUE(readFileBytes(icon)
                    == readFileBytes(QStringLiteral(SOURCE_ROOT "/resources/icons/corvantis-%1.png").arg(size)))
            << size;
        EXPECT_EQ(QImage(icon).size(), QSize(size, size)) << size;
    }
}

TEST_F(Package, DesktopEntryAndMetainfoPassTheirValidators)
{
    const Command desktop = run(QStringLiteral("desktop-file-validate"), {desktopEntry()});
    EXPECT_EQ(desktop.exitCode, 0) << desktop.output.toStdString();
    EXPECT_EQ(desktop.output.toStdString(), "") << "no warnings either";
    const Command appstream =
        run(QStringLiteral("appstreamcli"), {QStringLiteral("validate"), QStringLiteral("--no-net"), metainfo()});
    EXPECT_EQ(appstream.exitCode, 0) << appstream.output.toStdString();

    const QString entry = QString::fromUtf8(readFileBytes(desktopEntry()));
    const std::pair<const char*, QString> values[] = {
        {"Exec", QStringLiteral("corvantis")},
        {"Icon", kId},
        {"Categories", QStringLiteral("Office;Finance;")},
        {"StartupWMClass", QLatin1String(resources::kProduct)},
    };
    for (const auto& [key, value] : values)
        EXPECT_EQ(valueOf(entry, QLatin1String(key), QStringLiteral("=")).toStdString(), value.toStdString()) << key;

    const QString info = QString::fromUtf8(readFileBytes(metainfo()));
    for (const QString& part :
         {QStringLiteral("<id>") + kId + QStringLiteral("</id>"),
          QStringLiteral("<launchable type=\"desktop-id\">") + kId + QStringLiteral(".desktop</launchable>"),
          QStringLiteral("<developer_name>Quillmere</developer_name>"), QStringLiteral("<release version=\"7.00\""),
          QStringLiteral("<content_rating type=\"oars-1.1\""), QStringLiteral("/entry-window.png</image>"),
          QStringLiteral("/preview-window.png</image>")})
        EXPECT_TRUE(info.contains(part)) << part.toStdString();
    for (const char* picture : {"entry-window.png", "preview-window.png"})
        EXPECT_TRUE(QFileInfo::exists(QStringLiteral(SOURCE_ROOT "/docs/") + QLatin1String(picture))) << picture;
}

TEST_F(Package, RunsFromTheLauncherForAUserWithAFreshHome)
{
    if (::getuid() != 0)
        GTEST_SKIP() << "starting the program as another user needs root";
    XView x;
    ASSERT_TRUE(x.connected());

    // A fresh home, but for one entry the user stored before.
    const QString user = testRoot() + QStringLiteral("/user");
    const QString home = user + QStringLiteral("/home");
    const QString temp = user + QStringLiteral("/temp");
    for (const QString& folder : {home, temp, user + QStringLiteral("/runtime"), user + QStringLiteral("/tmp")}) {
        ASSERT_TRUE(QDir().mkpath(folder));
        ::chmod(QFile::encodeName(folder).constData(), 0700);
    }
    writeFileBytes(home + QStringLiteral("/.config/Quillmere/Corvantis.ini"), "[Corvantis]\ntxtAssets0=Cash at bank\n");
    ASSERT_EQ(::nftw(QFile::encodeName(user).constData(), giveToUser, 16, FTW_PHYS), 0);
    const QString log = testRoot() + QStringLiteral("/program.log");
    const auto said = [&] { return QString::fromLocal8Bit(readFileBytes(log)).toStdString(); };

    UserProgram program(staged(QStringLiteral("/usr/bin/corvantis")),
                        {QStringLiteral("PATH=/usr/bin:/bin"), QStringLiteral("HOME=") + home,
                         QStringLiteral("TEMP=") + temp, QStringLiteral("TMPDIR=") + user + QStringLiteral("/tmp"),
                         QStringLiteral("XDG_RUNTIME_DIR=") + user + QStringLiteral("/runtime"),
                         QStringLiteral("DISPLAY=") + qEnvironmentVariable("DISPLAY"),
                         QStringLiteral("QT_QPA_PLATFORM=xcb"), QStringLiteral("LANG=en_US.UTF-8")},
                        log);

    // The entry window comes up alone: no error report before or beside it.
    std::vector<Window> shown;
    ASSERT_TRUE(waitFor([&] { return !(shown = x.shownWindowsOf(program.pid())).empty(); }, 30000)) << said();
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    shown = x.shownWindowsOf(program.pid());
    ASSERT_EQ(shown.size(), 1u) << x.titles(shown).join(QStringLiteral(", ")).toStdString();
    const Window entryWindow = shown.front();
    EXPECT_EQ(x.title(entryWindow).toStdString(), "Corvantis");
    // Large sizes come from the installed theme; the window keeps its own small.
    EXPECT_EQ(x.iconSizes(entryWindow), (std::set<int>{32, 48, 128}));
    // The desktop groups the window with its launcher by this.
    EXPECT_EQ(
        x.windowClass(entryWindow).toStdString(),
        valueOf(QString::fromUtf8(readFileBytes(desktopEntry())), QStringLiteral("StartupWMClass"), QStringLiteral("="))
            .toStdString());

    // The installed folder is not the user's: the dump is in the state folder.
    EXPECT_EQ(readFileBytes(home + QStringLiteral("/.local/state/Quillmere/Corvantis/reg.txt")).toStdString(),
              "txtAssets0: Cash at bank\r\n");
    EXPECT_FALSE(QFileInfo::exists(staged(kProgramFolder + QStringLiteral("/reg.txt"))));

    // Over a push button the pointer is the hand from the installed folder.
    const QByteArray handFile = readFileBytes(staged(kProgramFolder + QStringLiteral("/HAND-M.CUR")));
    const QImage hand = QImage::fromData(handFile, "CUR").convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const QPoint handHotSpot(static_cast<uchar>(handFile[10]), static_cast<uchar>(handFile[12]));
    ASSERT_FALSE(hand.isNull());
    const auto showsHand = [&] {
        const XView::Pointer pointer = x.shownPointer();
        return pointer.image == hand && pointer.hotSpot == handHotSpot;
    };
    // The same windows built here say where their buttons are.
    entry::Form1 entryLayout;
    x.moveTo(x.origin(entryWindow) + centreInWindow(entryLayout.PushButton22));
    EXPECT_TRUE(waitFor(showsHand, 5000)) << "over \"Start Creating Template\"";

    // A generation run from the installed copy: the workbook in TEMP, and the
    // preview in place of the entry window.
    x.click();
    QString workbook;
    const QRegularExpression workbookName(QStringLiteral("^vetrik[0-9]{8}\\.xls$"));
    ASSERT_TRUE(waitFor(
        [&] {
            for (const QString& name : QDir(temp).entryList(QDir::Files))
                if (workbookName.match(name).hasMatch())
                    workbook = temp + u'/' + name;
            return !workbook.isEmpty();
        },
        30000))
        << said();
    Window previewWindow = None;
    ASSERT_TRUE(waitFor(
        [&] {
            shown = x.shownWindowsOf(program.pid());
            previewWindow = shown.size() == 1 && shown.front() != entryWindow ? shown.front() : None;
            return previewWindow != None;
        },
        30000))
        << x.titles(shown).join(QStringLiteral(", ")).toStdString() << said();
    EXPECT_TRUE(readFileBytes(workbook).startsWith("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1")) << "a compound file";

    preview::Form2 previewLayout;
    x.moveTo(x.origin(previewWindow) + centreInWindow(previewLayout.PushButton8));
    EXPECT_TRUE(waitFor(showsHand, 5000)) << "over \"< Back\"";

    // Closing the preview deletes the workbook and ends the program.
    x.close(previewWindow);
    EXPECT_EQ(program.waitForExit(15000), 0) << said();
    EXPECT_FALSE(QFileInfo::exists(workbook));
}

} // namespace
