#pragma once

#include <QString>

class QPrinter;
class QWidget;

namespace services {

enum class MessageIcon { None, Information, Warning, Question };
enum class Answer { Ok, Yes, No };

// Every modal box and the file dialog go through this one seam, so tests can
// answer them without a person.
class DialogHost {
public:
    virtual ~DialogHost() = default;
    // An empty title means the application title.
    virtual void message(QWidget* parent, const QString& title, const QString& text, MessageIcon icon) = 0;
    // Yes/No question with Yes as the default button and no icon.
    virtual Answer askYesNo(QWidget* parent, const QString& title, const QString& text) = 0;
    // Save-mode file dialog; empty when cancelled. `filter` holds the file
    // types separated by ";;"; `selectedFilter` comes in as the one shown
    // first and goes out as the one the user left selected.
    virtual QString saveFileName(QWidget* parent, const QString& caption, const QString& filter,
                                 QString* selectedFilter) = 0;
    // The platform's print dialog for `printer`; false when cancelled.
    virtual bool choosePrinter(QWidget* parent, QPrinter& printer) = 0;
};

// The real boxes (QMessageBox, QFileDialog).
DialogHost& systemDialogs();

DialogHost& dialogs();
// Replaces the host; nullptr restores the real boxes.
void setDialogHost(DialogHost* host);

} // namespace services
