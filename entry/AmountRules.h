#pragma once

#include <QList>
#include <QObject>

class QLineEdit;
class QWidget;

namespace entry {

// What may stand in an amount box and what happens as the user moves about:
// every box selects its whole text on entry; an amount box is checked before
// the focus leaves it for another control of the window, rewritten in the
// standard amount form when numeric, else refused with a message.
class AmountRules : public QObject {
    Q_OBJECT
public:
    AmountRules(QWidget* window, QList<QLineEdit*> captionBoxes, QList<QLineEdit*> amountBoxes);
    ~AmountRules() override;

    // The check itself. Returns false when it refused the text.
    bool validate(QLineEdit* amountBox);

    // Home, then Shift+End, delivered to the box after the current event.
    static void postSelectWholeText(QLineEdit* box);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QLineEdit* focusedAmountBox() const;
    bool wouldTakeFocus(QWidget* target) const;
    void onFocusChanged(QWidget* old, QWidget* now);

    QWidget* window_;
    QList<QLineEdit*> allBoxes_;
    QList<QLineEdit*> amountBoxes_;
    bool validating_ = false;
    bool pressRefused_ = false; // set while the press that moved the focus is on its way
};

} // namespace entry
