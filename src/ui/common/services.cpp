#include "ui/common/services.h"
#include "core/app/globals.h"

#include <QApplication>
#include <QFileDialog>
#include <QGridLayout>
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

void fitTitle(QMessageBox &box)
{
    // The window manager sets the title between an icon and its buttons; a box as
    // narrow as a short text would have its title shortened.
    QFont bold = box.font();
    bold.setBold(true);
    const int wanted = QFontMetrics(bold).horizontalAdvance(box.windowTitle()) + 160;
    if (auto *grid = qobject_cast<QGridLayout *>(box.layout()))
        grid->addItem(new QSpacerItem(wanted, 0, QSizePolicy::Minimum, QSizePolicy::Minimum), grid->rowCount(), 0, 1,
                      grid->columnCount());
}

QMessageBox::StandardButton DialogMessages::show(const QString &text, const QString &title, QMessageBox::Icon icon,
                                                 QMessageBox::StandardButtons buttons,
                                                 QMessageBox::StandardButton defaultButton)
{
    QMessageBox box(icon, title, text, buttons, QApplication::activeWindow());
    fitTitle(box);
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
