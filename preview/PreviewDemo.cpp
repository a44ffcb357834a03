// preview_demo PICTURE [ZOOM_OUT_PRESSES]: the preview window with a picture,
// as a generation run leaves it, for screenshots.
#include "preview/Form2.h"

#include <QApplication>
#include <QPushButton>
#include <QTimer>

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    if (argc < 2)
        return 2;
    preview::Form2 window;
    window.setPicture(QPixmap(QString::fromLocal8Bit(argv[1])));
    window.showPreview();
    const int zoomOut = argc > 2 ? QString::fromLocal8Bit(argv[2]).toInt() : 0;
    QTimer::singleShot(500, &window, [&] {
        for (int i = 0; i < zoomOut; ++i)
            window.PushButton2->click();
    });
    return application.exec();
}
