#include "ui/lists/frmListofProjects.h"

#include "core/db/database.h"
#include "core/reports/reportlayout.h"
#include "ui/common/services.h"
#include "ui/common/windowregistry.h"
#include "ui/editors/frmAuthorizedCompanies.h"
#include "ui/editors/frmNewProject.h"
#include "ui/editors/frmPickupForm.h"
#include "ui/lists/frmListofCompanies.h"
#include "ui/lists/frmListofPickups.h"
#include "ui/main/frmMain.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QTableView>

namespace ui {

frmListofProjects::frmListofProjects()
    : ListWindow(QStringLiteral("frmListofProjects"), QStringLiteral("List of Projects"), "DbgList")
{
    setColumns({{"id", "id", false, 60},
                {"ProjectName", "ProjectName", true, 330},
                {"Company", "Company", true, 300},
                {"Active", "Active", false, 60}});
    m_active = new QCheckBox(QStringLiteral("Active"));
    m_active->setObjectName(QStringLiteral("chkactive"));
    m_active->setChecked(true);
    buttonRow()->addWidget(m_active);
    // Deleted with no question and no cascade: the project's subcontractors and pick-ups stay.
    const Buttons b = addListButtons([this] { cmdPrintClicked(); }, QStringLiteral("project"),
                                     [](qint64 id) { WindowRegistry::get<frmNewProject>()->EditProject(id); },
                                     [this] { cmdAceptClicked(); });
    m_delete = b.del;
    m_edit = b.edit;
    // Its state, whatever changed it (a click, the keyboard, an accessibility action).
    connect(m_active, &QCheckBox::toggled, this, &frmListofProjects::chkactiveClicked);
    // Enter on a row accepts it, as a double click does.
    connect(grid(), &QTableView::activated, this, &frmListofProjects::cmdAceptClicked);
    // A saved subcontractor counts too (the list stays open as the chooser of its
    // project); a deleted one does not.
    followChanges({QStringLiteral("project"), QStringLiteral("authorizedcompanies")}, {QStringLiteral("project")},
                  [this] { RefreshList(); });
}

void frmListofProjects::Mostrar(const QString &origen)
{
    showlist();
    m_origen = origen;
    HideEditButtons();
    present();
}

void frmListofProjects::showlist()
{
    present();
    fill(queries::activeProjectsByNameAndCompany());
    m_listmode = QStringLiteral("showlist");
}

void frmListofProjects::ShowListNotActive()
{
    present();
    fill(queries::inactiveProjects());
    m_listmode = QStringLiteral("showlistnotactive");
}

void frmListofProjects::RefreshList()
{
    if (!isVisible())
        return;
    requery();
}

void frmListofProjects::HideEditButtons()
{
    m_delete->setVisible(false);
    m_edit->setVisible(false);
}

void frmListofProjects::chkactiveClicked()
{
    if (m_active->isChecked())
        showlist();
    else
        ShowListNotActive();
}

void frmListofProjects::cmdPrintClicked()
{
    if (m_listmode == QLatin1String("showlist"))
        printReport(reports::DrpListofProjects(), queries::activeProjectsByNameAndCompany(),
                    QStringLiteral("Projects order by project"));
    else if (m_listmode == QLatin1String("showlistnotactive"))
        printReport(reports::DrpListofProjects(), queries::inactiveProjects(),
                    QStringLiteral("Projects list not active"));
}

void frmListofProjects::cmdAceptClicked()
{
    if (m_origen == QLatin1String("newcompany")) {
        if (choose())
            WindowRegistry::get<frmAuthorizedCompanies>()->NewCompany(chosen(QStringLiteral("id")).toLongLong());
    } else if (m_origen == QLatin1String("export")) {
        if (choose())
            WindowRegistry::get<frmMain>()->ExportDatabase(idText(chosen(QStringLiteral("id"))),
                                                           chosen(QStringLiteral("ProjectName")).toString());
    } else if (m_origen == QLatin1String("listofcompanies")) {
        if (choose())
            WindowRegistry::get<frmListofCompanies>()->showlist(idText(chosen(QStringLiteral("id"))));
    } else if (m_origen == QLatin1String("newpickup")) {
        if (choose())
            WindowRegistry::get<frmPickupForm>()->NewPickup(chosen(QStringLiteral("id")).toLongLong());
    } else if (m_origen == QLatin1String("listofpickups")) {
        // The row holding the grid's cursor; a selection is not consulted here.
        const QModelIndex cursor = grid()->currentIndex();
        const QVariant id
            = ADOlist()->value(cursor.isValid() ? cursor.row() : ADOlist()->currentRow(), QStringLiteral("id"));
        if (!id.isNull())
            WindowRegistry::get<frmListofPickups>()->showlist(idText(id));
    } else if (m_origen == QLatin1String("subcontractornotpickups")) {
        if (choose())
            WindowRegistry::get<frmListofCompanies>()->showNotPickedUp(idText(chosen(QStringLiteral("id"))));
    } else {
        Ocultar();
    }
}

} // namespace ui
