#include "ui/lists/frmListofCompanies.h"

#include "core/db/database.h"
#include "core/reports/reportlayout.h"
#include "ui/common/windowregistry.h"
#include "ui/editors/frmAuthorizedCompanies.h"
#include "ui/editors/frmPickupForm.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QPushButton>
#include <QTableView>

namespace ui {

frmListofCompanies::frmListofCompanies()
    : ListWindow(QStringLiteral("frmListofCompanies"), QStringLiteral("List of Companies"), "DbgList")
{
    setColumns({{"id", "id", false, 50},
                {"idproject", "idproject", false, 50},
                {"Name", "Name", true, 200},
                {"Address1", "Address1", true, 160},
                {"Address2", "Address2", true, 120},
                {"city", "city", true, 90},
                {"state", "state", true, 50},
                {"zipcode", "zipcode", true, 70},
                {"Telephone", "Telephone", true, 110},
                {"Fax", "Fax", true, 110},
                {"pickupdate", "pickupdate", true, 90},
                {"pickupby", "pickupby", true, 120},
                {"package", "package", true, 140},
                {"active", "active", true, 50},
                {"note", "note", true, 200},
                {"Email", "Email", true, 180},
                {"website", "website", true, 160}});
    // Deleted with no question: the subcontractor's pick-ups stay in the log.
    addListButtons([this] { cmdPrintClicked(); }, QStringLiteral("authorizedcompanies"),
                   [](qint64 id) { WindowRegistry::get<frmAuthorizedCompanies>()->EditCompany(id); },
                   [this] { cmdAceptClicked(); });
    connect(grid(), &QTableView::activated, this, &frmListofCompanies::cmdAceptClicked);
    // Follows no changes: a subcontractor saved elsewhere shows its old values here until "Refresh".
}

void frmListofCompanies::Mostrar()
{
    findChild<QFrame *>(QStringLiteral("PicContainer"))->setFrameShape(QFrame::NoFrame);
    present();
}

void frmListofCompanies::showlist(const QString &ids)
{
    fill(queries::listOfSubcontractors(db::idValue(ids)));
    present();
    m_ids = ids;
    m_listmode = QStringLiteral("showlist");
}

void frmListofCompanies::Selectedcompanies(qint64 ids)
{
    showlist(QString::number(ids));
    m_origen = QStringLiteral("SelectCompanyFromPickup");
    m_ids = QString::number(ids);
    m_listmode = QStringLiteral("selectcompanyfrompickup");
}

void frmListofCompanies::showNotPickedUp(const QString &ids)
{
    fill(queries::subcontractorsNotPickedUp(db::idValue(ids)));
    present();
    m_ids = ids;
    m_listmode = QStringLiteral("notpickedup");
}

void frmListofCompanies::cmdPrintClicked()
{
    if (m_listmode == QLatin1String("showlist") || m_listmode == QLatin1String("selectcompanyfrompickup"))
        printReport(reports::DrpListofCompanies(), queries::listOfSubcontractors(db::idValue(m_ids)),
                    QStringLiteral(" "));
    else if (m_listmode == QLatin1String("notpickedup"))
        printReport(reports::DrpListofCompanies(), queries::subcontractorsNotPickedUp(db::idValue(m_ids)),
                    QStringLiteral("Subcontractors not picked-up"));
}

void frmListofCompanies::cmdAceptClicked()
{
    // An editor closed meanwhile has nothing to receive the choice.
    if (m_origen == QLatin1String("SelectCompanyFromPickup") && choose())
        if (auto *editor = WindowRegistry::existing<frmPickupForm>())
            editor->ShowSelectedcompany(chosen(QStringLiteral("id")).toLongLong());
    close();
}

} // namespace ui
