#pragma once

#include <QList>

class QWidget;

namespace entry {

// The window's focus order as a list of tab positions. Giving a control a
// position moves it there and every control from that position on one place
// later, so a run of assignments yields the final order.
class TabOrder {
public:
    explicit TabOrder(QList<QWidget*> designOrder) : order_(std::move(designOrder)) {}

    void setTabIndex(QWidget* control, int position);
    const QList<QWidget*>& order() const { return order_; }
    // Makes Tab follow the list through the controls that take the focus.
    void apply() const;

private:
    QList<QWidget*> order_;
};

} // namespace entry
