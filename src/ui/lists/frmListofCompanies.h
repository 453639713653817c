#pragma once
#include "ui/common/corenames.h"
#include "ui/common/listwindow.h"

namespace ui {

// Lists the subcontractors of one project; also the subcontractor chooser of the
// pick-up editor.
class frmListofCompanies : public ListWindow
{
    Q_OBJECT
public:
    frmListofCompanies();

    void showlist(const QString &ids);
    void Selectedcompanies(qint64 ids);
    // The project's subcontractors that have no pick-up logged.
    void showNotPickedUp(const QString &ids);
    void Mostrar();

    QString origen() const { return m_origen; }
    QString listmode() const { return m_listmode; }
    QString ids() const { return m_ids; }

private:
    void cmdPrintClicked();
    void cmdAceptClicked();

    QString m_ids;
    QString m_origen;
    QString m_listmode;
};

} // namespace ui
