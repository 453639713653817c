#pragma once
#include "ui/common/corenames.h"
#include "ui/common/listwindow.h"

class QCheckBox;
class QPushButton;

namespace ui {

// Lists projects, and serves as the project chooser of other commands.
class frmListofProjects : public ListWindow
{
    Q_OBJECT
public:
    frmListofProjects();

    void Mostrar(const QString &origen);
    void showlist();
    void ShowListNotActive();
    void RefreshList();

    QString origen() const { return m_origen; }
    QString listmode() const { return m_listmode; }

private:
    void HideEditButtons();
    void chkactiveClicked();
    void cmdPrintClicked();
    void cmdAceptClicked();

    QCheckBox *m_active;
    QPushButton *m_delete;
    QPushButton *m_edit;
    QString m_origen;
    QString m_listmode;
};

} // namespace ui
