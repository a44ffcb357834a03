#include "services/Twips.h"

#include <QPushButton>
#include <QScreen>
#include <QString>
#include <QWidget>

namespace services {

int px(int twips)
{
    return qRound(twips / 15.0);
}

void place(QWidget* control, int left, int top, int width, int height)
{
    control->setGeometry(px(left), px(top), px(width), px(height));
}

void setUpFixedWindow(QWidget* window, const QString& name, int width, int height)
{
    window->setObjectName(name);
    window->setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                           | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    window->setFixedSize(px(width), px(height));
    window->setFont(QFont(QStringLiteral("Arial"), 9, QFont::Bold));
    QPalette white = window->palette();
    white.setColor(QPalette::Window, Qt::white);
    window->setPalette(white);
    window->setAutoFillBackground(true);
}

void centreOnScreen(QWidget* window)
{
    if (QScreen* display = window->screen()) {
        const QRect area = display->availableGeometry();
        window->move(area.center() - QPoint(window->width() / 2, window->height() / 2));
    }
}

QPushButton* makeButton(QWidget* parent, const char* name, const QString& text, int left, int top, int width,
                        int height)
{
    QFont font(QStringLiteral("Arial"));
    font.setPointSizeF(11.25);
    font.setBold(true);
    auto* button = new QPushButton(text, parent);
    button->setObjectName(QLatin1String(name));
    button->setFont(font);
    place(button, left, top, width, height);
    return button;
}

} // namespace services
