#pragma once

#include <QCursor>
#include <QHash>
#include <QObject>
#include <optional>

class QWidget;

namespace services {

// One pointer for a whole window: 0 each control's own (the arrow, the
// I-beam over text), 11 the hourglass while a long operation runs, 99 the
// custom (hand) pointer over push buttons.
// Moving over a watched control applies its rule; the hourglass is never
// replaced by a move.
class WindowPointer : public QObject {
    Q_OBJECT
public:
    enum Value { Default = 0, Hourglass = 11, Custom = 99 };
    enum class Rule { Hand, Plain, None };

    explicit WindowPointer(QWidget* window);

    // Applies `rule` when the pointer moves over `control` or its parts.
    void watch(QWidget* control, Rule rule);
    // The hand image; without one the custom pointer is the default arrow.
    void setCustomCursor(const QCursor& cursor) { customCursor_ = cursor; }
    bool hasCustomCursor() const { return customCursor_.has_value(); }

    void set(int value);
    int value() const { return value_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    Rule ruleFor(QWidget* control) const;
    void watchMoves(QWidget* widget);
    void keepOwnCursor(QWidget* widget);
    void restoreOwnCursor(QWidget* widget);

    QWidget* window_;
    QHash<const QWidget*, Rule> rules_;
    std::optional<QCursor> customCursor_;
    // What each control showed before the window's pointer replaced it.
    QHash<const QWidget*, std::optional<QCursor>> ownCursors_;
    // The widgets showing the window's pointer instead of their own.
    QList<QWidget*> overridden_;
    int value_ = Default;
};

// Loads a Windows cursor file (.cur) with its hot spot. Throws Failure.
QCursor loadCursorFile(const QString& path);
// The same from the file's bytes; `name` is what a failure names.
QCursor cursorFromBytes(const QByteArray& bytes, const QString& name);

} // namespace services
