#pragma once
#include "ui/common/corenames.h"
#include "ui/common/editorwindow.h"

class QLineEdit;
class QPushButton;

namespace ui {

// Logs one pick-up for a subcontractor of a project, or changes one.
class frmPickupForm : public EditorWindow
{
    Q_OBJECT
public:
    frmPickupForm();

    void NewPickup(qint64 ids);
    void ShowSelectedcompany(qint64 ids);
    void EditPickup(qint64 ids);

    qint64 ProjectId() const { return m_projectId; }
    qint64 CompanyId() const { return m_companyId; }

private:
    void ShowPickupDetails();
    void showProject(qint64 id);
    void cmdListofCompaniesClicked();
    void cmdsaveClicked();

    QLineEdit *m_companyName; // the project's company
    QLineEdit *m_projectName;
    QLineEdit *m_company; // the subcontractor's name
    QLineEdit *m_pickupDate;
    QList<QPair<QLineEdit *, QString>> m_shownCompany; // field, column of authorizedcompanies
    QPushButton *m_listofCompanies;
    qint64 m_projectId = 0;
    qint64 m_companyId = 0;
};

} // namespace ui
