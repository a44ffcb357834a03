#include "entry/TabOrder.h"

#include <QWidget>

namespace entry {

void TabOrder::setTabIndex(QWidget* control, int position)
{
    order_.removeOne(control);
    order_.insert(std::clamp<qsizetype>(position, 0, order_.size()), control);
}

void TabOrder::apply() const
{
    QWidget* previous = nullptr;
    for (QWidget* control : order_) {
        if (!(control->focusPolicy() & Qt::TabFocus))
            continue;
        if (previous)
            QWidget::setTabOrder(previous, control);
        previous = control;
    }
}

} // namespace entry
