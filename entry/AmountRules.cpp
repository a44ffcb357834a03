#include "entry/AmountRules.h"

#include "entry/AmountText.h"
#include "services/Dialogs.h"
#include "services/UserLocale.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QScopedValueRollback>
#include <QTimer>
#include <utility>

namespace entry {
namespace {

void sendKey(QWidget* target, Qt::Key key, Qt::KeyboardModifiers modifiers)
{
    QKeyEvent press(QEvent::KeyPress, key, modifiers);
    QCoreApplication::sendEvent(target, &press);
    QKeyEvent release(QEvent::KeyRelease, key, modifiers);
    QCoreApplication::sendEvent(target, &release);
}

} // namespace

AmountRules::AmountRules(QWidget* window, QList<QLineEdit*> captionBoxes, QList<QLineEdit*> amountBoxes)
    : QObject(window), window_(window), allBoxes_(captionBoxes + amountBoxes), amountBoxes_(std::move(amountBoxes))
{
    // Clicks and Tab must be checked before the focus moves, so that a
    // refused amount keeps the focus and a clicked button does not act.
    qApp->installEventFilter(this);
    connect(qApp, &QApplication::focusChanged, this, &AmountRules::onFocusChanged);
}

AmountRules::~AmountRules()
{
    qApp->removeEventFilter(this);
}

void AmountRules::postSelectWholeText(QLineEdit* box)
{
    // Sent to the box itself, not to whatever has the focus: after a modal
    // box the window manager gives the window back later, and until then
    // no widget has the focus.
    QMetaObject::invokeMethod(
        box,
        [box] {
            sendKey(box, Qt::Key_Home, Qt::NoModifier);
            sendKey(box, Qt::Key_End, Qt::ShiftModifier);
        },
        Qt::QueuedConnection);
}

bool AmountRules::validate(QLineEdit* amountBox)
{
    QScopedValueRollback guard(validating_, true);
    const QLocale locale = services::userLocale();
    if (const auto value = readAmountText(amountBox->text(), locale)) {
        amountBox->setText(formatAmount(*value, locale));
        return true;
    }
    services::dialogs().message(window_, QString(), QStringLiteral("Please enter a valid amount."),
                                services::MessageIcon::None);
    amountBox->setText(formatAmount(0, locale));
    amountBox->setFocus(Qt::OtherFocusReason);
    postSelectWholeText(amountBox);
    return false;
}

QLineEdit* AmountRules::focusedAmountBox() const
{
    auto* focused = qobject_cast<QLineEdit*>(QApplication::focusWidget());
    return amountBoxes_.contains(focused) ? focused : nullptr;
}

bool AmountRules::wouldTakeFocus(QWidget* target) const
{
    for (QWidget* w = target; w; w = w->parentWidget()) {
        if (w->isEnabled() && (w->focusPolicy() & Qt::ClickFocus))
            return true;
        if (w == window_)
            break;
    }
    return false;
}

bool AmountRules::eventFilter(QObject* watched, QEvent* event)
{
    auto* widget = qobject_cast<QWidget*>(watched);
    if (!widget || validating_)
        return false;
    switch (event->type()) {
    case QEvent::FocusIn: {
        const auto reason = static_cast<QFocusEvent*>(event)->reason();
        auto* box = qobject_cast<QLineEdit*>(widget);
        if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason && allBoxes_.contains(box))
            postSelectWholeText(box);
        return false;
    }
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick: {
        // A click hands the focus over before its press gets here; when the
        // amount box refused to let it go, the press must not act either.
        if (std::exchange(pressRefused_, false))
            return true;
        QLineEdit* box = focusedAmountBox();
        if (!box || widget == box || box->isAncestorOf(widget) || !window_->isAncestorOf(widget)
            || !wouldTakeFocus(widget))
            return false;
        return !validate(box);
    }
    case QEvent::KeyPress: {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if ((key != Qt::Key_Tab && key != Qt::Key_Backtab) || widget != focusedAmountBox())
            return false;
        return !validate(static_cast<QLineEdit*>(widget));
    }
    default: return false;
    }
}

void AmountRules::onFocusChanged(QWidget* old, QWidget* now)
{
    // Focus moved by other means than a click or Tab (a shortcut, say).
    auto* box = qobject_cast<QLineEdit*>(old);
    if (validating_ || !box || !amountBoxes_.contains(box) || !now || !window_->isAncestorOf(now))
        return;
    if (!validate(box)) {
        box->setFocus(Qt::OtherFocusReason);
        // Only the press that is being delivered now, if any, is refused.
        pressRefused_ = true;
        QTimer::singleShot(0, this, [this] { pressRefused_ = false; });
    }
}

} // namespace entry
