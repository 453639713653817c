#pragma once
#include "ui/common/corenames.h"
#include <QMessageBox>
#include <QString>
#include <optional>

class QWidget;
namespace core {
class Settings;
}

// Windows never open a modal dialog or print directly: they ask these services,
// which main() installs and the tests replace. The clock is the core's.
namespace ui {

class ReportOutput;

class MessageService
{
public:
    virtual ~MessageService() = default;
    // Shows a modal message and waits; returns the button pressed.
    virtual QMessageBox::StandardButton show(const QString &text, const QString &title, QMessageBox::Icon icon,
                                             QMessageBox::StandardButtons buttons,
                                             QMessageBox::StandardButton defaultButton)
        = 0;
};

class FileChooser
{
public:
    virtual ~FileChooser() = default;
    // A file to open, starting from `lastName`; nothing when cancelled.
    virtual std::optional<QString> openFile(QWidget *parent, const QString &lastName) = 0;
    // A file to write, suggesting `suggested`; nothing when cancelled.
    virtual std::optional<QString> saveFile(QWidget *parent, const QString &suggested, const QString &filter) = 0;
};

class Quitter
{
public:
    virtual ~Quitter() = default;
    // Ends the application at once.
    virtual void quit() = 0;
};

struct Services
{
    MessageService *messages = nullptr;
    FileChooser *files = nullptr;
    ReportOutput *reports = nullptr;
    Quitter *quitter = nullptr;
    core::Settings *settings = nullptr;
};

// The installed services; the pointers are owned by whoever installed them.
Services &services();

// Message helpers; a message without a title of its own carries the application title.
QMessageBox::StandardButton message(const QString &text, const QString &title = QString(),
                                    QMessageBox::Icon icon = QMessageBox::NoIcon,
                                    QMessageBox::StandardButtons buttons = QMessageBox::Ok,
                                    QMessageBox::StandardButton defaultButton = QMessageBox::NoButton);

// Makes a message box wide enough for its whole title.
void fitTitle(QMessageBox &box);

// Production implementations.
class DialogMessages : public MessageService
{
public:
    QMessageBox::StandardButton show(const QString &text, const QString &title, QMessageBox::Icon icon,
                                     QMessageBox::StandardButtons buttons,
                                     QMessageBox::StandardButton defaultButton) override;
};

class DialogFileChooser : public FileChooser
{
public:
    std::optional<QString> openFile(QWidget *parent, const QString &lastName) override;
    std::optional<QString> saveFile(QWidget *parent, const QString &suggested, const QString &filter) override;
};

class AppQuitter : public Quitter
{
public:
    void quit() override;
};

} // namespace ui
