#pragma once

#include <QFrame>

namespace services {

// A plain panel that can hold the focus, as the picture boxes of the windows
// do. Its own type lets the colour routines tell it from frames and labels.
class PictureBox : public QFrame {
    Q_OBJECT
public:
    explicit PictureBox(QWidget* parent = nullptr) : QFrame(parent) { setFocusPolicy(Qt::StrongFocus); }
};

} // namespace services
