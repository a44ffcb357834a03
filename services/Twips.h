#pragma once

// The windows are laid out in twips, as they were designed; these turn them
// into pixels and give both windows the same look.
class QPushButton;
class QString;
class QWidget;

namespace services {

// Design coordinates are in twips, 15 to a pixel.
int px(int twips);

void place(QWidget* control, int left, int top, int width, int height);

// A window of fixed size, bold Arial 9 on white, that can be minimized but
// not resized.
void setUpFixedWindow(QWidget* window, const QString& name, int width, int height);

// Moves the window to the middle of its screen's free area.
void centreOnScreen(QWidget* window);

// A push button in bold Arial 11.25 pt, placed in twips.
QPushButton* makeButton(QWidget* parent, const char* name, const QString& text, int left, int top, int width,
                        int height);

} // namespace services
