#include "services/MousePointer.h"

#include "services/Failure.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QMouseEvent>
#include <QPixmap>
#include <QWidget>
#include <QtEndian>

#include <utility>

namespace services {

WindowPointer::WindowPointer(QWidget* window) : QObject(window), window_(window)
{
    watch(window, Rule::Plain);
}

void WindowPointer::watch(QWidget* control, Rule rule)
{
    rules_.insert(control, rule);
    watchMoves(control);
}

void WindowPointer::watchMoves(QWidget* widget)
{
    // Parts of a control (the date editor's line edit, say) see the moves.
    widget->setMouseTracking(true);
    widget->installEventFilter(this);
    for (QWidget* part : widget->findChildren<QWidget*>()) {
        part->setMouseTracking(true);
        part->installEventFilter(this);
    }
}

WindowPointer::Rule WindowPointer::ruleFor(QWidget* control) const
{
    for (QWidget* w = control; w; w = w->parentWidget()) {
        const auto found = rules_.constFind(w);
        if (found != rules_.constEnd())
            return *found;
        if (w == window_)
            break;
    }
    return Rule::None;
}

bool WindowPointer::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::MouseMove)
        return false;
    auto* widget = qobject_cast<QWidget*>(watched);
    const auto* move = static_cast<QMouseEvent*>(event);
    // A move that a control passes on to its parent was handled already.
    if (!widget || widget->childAt(move->position().toPoint()) != nullptr)
        return false;
    if (value_ == Hourglass)
        return false;
    switch (ruleFor(widget)) {
    case Rule::Hand: set(Custom); break;
    case Rule::Plain: set(Default); break;
    case Rule::None: break;
    }
    return false;
}

void WindowPointer::set(int value)
{
    if (value == value_)
        return;
    value_ = value;
    if (value == Default) {
        for (QWidget* w : std::exchange(overridden_, {}))
            restoreOwnCursor(w);
        return;
    }
    // A control without a pointer of its own shows its parent's, so the
    // window and the controls with their own (a text box's I-beam) are all
    // that need the new one: a third of the window's widgets.
    const QCursor shown =
        value == Hourglass ? QCursor(Qt::WaitCursor) : customCursor_.value_or(QCursor(Qt::ArrowCursor));
    // Those showing an earlier pointer of the window's have it set, so they
    // are among them.
    overridden_.clear();
    for (QWidget* w : QList<QWidget*>{window_} + window_->findChildren<QWidget*>()) {
        if (w != window_ && !w->testAttribute(Qt::WA_SetCursor))
            continue;
        keepOwnCursor(w);
        overridden_.append(w);
        w->setCursor(shown);
    }
}

void WindowPointer::keepOwnCursor(QWidget* widget)
{
    if (ownCursors_.contains(widget))
        return;
    ownCursors_.insert(widget,
                       widget->testAttribute(Qt::WA_SetCursor) ? std::optional(widget->cursor()) : std::nullopt);
    connect(widget, &QObject::destroyed, this, [this, widget] {
        ownCursors_.remove(widget);
        overridden_.removeOne(widget);
    });
}

void WindowPointer::restoreOwnCursor(QWidget* widget)
{
    // The default is each control's own pointer: the I-beam of a text box.
    const auto own = ownCursors_.constFind(widget);
    if (own != ownCursors_.constEnd() && own->has_value())
        widget->setCursor(**own);
    else
        widget->unsetCursor();
}

QCursor loadCursorFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw Failure(QStringLiteral("Could not open the pointer image %1: %2")
                          .arg(QDir::toNativeSeparators(path), file.errorString()));
    // A pointer image is a few kilobytes; anything huge is not one.
    constexpr qint64 kLargestPointerFile = 1 << 20;
    if (file.size() > kLargestPointerFile)
        throw Failure(
            QStringLiteral("The pointer image %1 is too large to be a pointer.").arg(QDir::toNativeSeparators(path)));
    return cursorFromBytes(file.read(kLargestPointerFile), QDir::toNativeSeparators(path));
}

QCursor cursorFromBytes(const QByteArray& bytes, const QString& name)
{
    QImage image;
    if ((!image.loadFromData(bytes, "CUR") && !image.loadFromData(bytes)) || image.isNull())
        throw Failure(QStringLiteral("The pointer image %1 is not a picture that can be read.").arg(name));
    // The hot spot of a cursor file sits in its first directory entry.
    int hotX = 0;
    int hotY = 0;
    const auto* data = reinterpret_cast<const uchar*>(bytes.constData());
    if (bytes.size() >= 22 && qFromLittleEndian<quint16>(data + 2) == 2) {
        hotX = std::clamp<int>(qFromLittleEndian<quint16>(data + 10), 0, image.width() - 1);
        hotY = std::clamp<int>(qFromLittleEndian<quint16>(data + 12), 0, image.height() - 1);
    }
    return QCursor(QPixmap::fromImage(image), hotX, hotY);
}

} // namespace services
