#pragma once
#include "ui/common/corenames.h"
#include <QDialog>
#include <QString>
#include <memory>
#include <optional>

namespace core::transfer {
class Source;
}

class QListView;
class QPushButton;
class QStandardItemModel;

namespace ui {

// The import window: the projects of a transfer file, one chosen, and "OK" imports
// it. Modal; closing it imports nothing.
class frmimport : public QDialog
{
    Q_OBJECT
public:
    explicit frmimport(QWidget *parent = nullptr);
    ~frmimport() override;

    // Reads and checks `file` (with progress and Cancel when it is large), lists its
    // project names and shows the window modally; returns when it has closed. A file
    // that cannot be used is reported and the window closes unshown.
    void showlist(const QString &file);

    // Imports the project chosen in the list (the file's first project when the list
    // shows another file or nothing is chosen), tells the outcome, closes the window
    // and refreshes the main window.
    void Import(const QString &file);

    // The transfer file given to showlist.
    QString file() const { return m_file; }

protected:
    // Enter and Escape do nothing here: only OK imports, only the close box closes.
    void keyPressEvent(QKeyEvent *event) override;

private:
    void cmdOkClicked();
    std::optional<qint64> selectedProject() const;

    QString m_file;
    QListView *m_list;
    QPushButton *m_ok;
    QStandardItemModel *m_model;
    std::unique_ptr<core::transfer::Source> m_source; // the file as listed, checked
};

} // namespace ui
