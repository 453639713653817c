#include "ui/common/services.h"
#include "core/app/globals.h"

#include <QApplication>
#include <QFileDialog>
#include <QWidget>

namespace ui {

Services &services()
{
    static Services s;
    return s;
}

QMessageBox::StandardButton message(const QString &text, const QString &title, QMessageBox::Icon icon,
                                    QMessageBox::StandardButtons buttons, QMessageBox::StandardButton defaultButton)
{
    MessageService *m = services().messages;
    if (!m)
        return QMessageBox::NoButton;
    return m->show(text, title.isEmpty() ? core::kAppTitle : title, icon, buttons, defaultButton);
}

QMessageBox::StandardButton DialogMessages::show(const QString &text, const QString &title, QMessageBox::Icon icon,
                                                 QMessageBox::StandardButtons buttons,
                                                 QMessageBox::StandardButton defaultButton)
{
    QMessageBox box(icon, title, text, buttons, QApplication::activeWindow());
    if (defaultButton != QMessageBox::NoButton)
        box.setDefaultButton(defaultButton);
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

std::optional<QString> DialogFileChooser::openFile(QWidget *parent, const QString &lastName)
{
    QFileDialog dlg(parent);
    dlg.setFileMode(QFileDialog::ExistingFile);
    dlg.setAcceptMode(QFileDialog::AcceptOpen);
    if (!lastName.isEmpty())
        dlg.selectFile(lastName);
    if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty())
        return std::nullopt;
    return dlg.selectedFiles().constFirst();
}

std::optional<QString> DialogFileChooser::saveFile(QWidget *parent, const QString &suggested, const QString &filter)
{
    const QString f = QFileDialog::getSaveFileName(parent, QString(), suggested, filter);
    if (f.isEmpty())
        return std::nullopt;
    return f;
}

void AppQuitter::quit()
{
    // Windows go without their closing steps: nothing runs after this but teardown.
    QApplication::exit(0);
}

} // namespace ui
