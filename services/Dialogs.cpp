#include "services/Dialogs.h"

#include "services/SharedRoutines.h"

#include <QFileDialog>
#include <QMessageBox>
#include <QPrintDialog>
#include <QPrinter>

namespace services {
namespace {

QMessageBox::Icon toQtIcon(MessageIcon icon)
{
    switch (icon) {
    case MessageIcon::Information: return QMessageBox::Information;
    case MessageIcon::Warning: return QMessageBox::Warning;
    case MessageIcon::Question: return QMessageBox::Question;
    case MessageIcon::None: break;
    }
    return QMessageBox::NoIcon;
}

QString titleOrAppTitle(const QString& title)
{
    return title.isEmpty() ? AppTitle() : title;
}

// Texts quote stored values and paths, which may look like markup: the box
// shows them character for character, as they were handed over.
void showsPlainText(QMessageBox& box)
{
    box.setTextFormat(Qt::PlainText);
}

class SystemDialogs final : public DialogHost {
public:
    void message(QWidget* parent, const QString& title, const QString& text, MessageIcon icon) override
    {
        QMessageBox box(toQtIcon(icon), titleOrAppTitle(title), text, QMessageBox::Ok, parent);
        showsPlainText(box);
        box.exec();
    }

    Answer askYesNo(QWidget* parent, const QString& title, const QString& text) override
    {
        // The program's questions carry no icon, only Yes and No.
        QMessageBox box(QMessageBox::NoIcon, titleOrAppTitle(title), text, QMessageBox::Yes | QMessageBox::No, parent);
        showsPlainText(box);
        box.setDefaultButton(QMessageBox::Yes);
        return box.exec() == QMessageBox::Yes ? Answer::Yes : Answer::No;
    }

    QString saveFileName(QWidget* parent, const QString& caption, const QString& filter,
                         QString* selectedFilter) override
    {
        return QFileDialog::getSaveFileName(parent, caption, QString(), filter, selectedFilter,
                                            QFileDialog::DontConfirmOverwrite);
    }

    bool choosePrinter(QWidget* parent, QPrinter& printer) override
    {
        QPrintDialog dialog(&printer, parent);
        return dialog.exec() == QDialog::Accepted;
    }
};

DialogHost* installedHost = nullptr;

} // namespace

DialogHost& systemDialogs()
{
    static SystemDialogs host;
    return host;
}

DialogHost& dialogs()
{
    return installedHost ? *installedHost : systemDialogs();
}

void setDialogHost(DialogHost* host)
{
    installedHost = host;
}

} // namespace services
