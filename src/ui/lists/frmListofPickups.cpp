#include "ui/lists/frmListofPickups.h"
#include "core/app/clock.h"

#include "core/app/dates.h"
#include "core/db/database.h"
#include "core/reports/reportlayout.h"
#include "ui/common/services.h"
#include "ui/common/windowregistry.h"
#include "ui/editors/frmPickupForm.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QPushButton>

namespace ui {

namespace {

// The bounds of a date range as stored ISO texts, lower inclusive, upper exclusive:
// an end date without a time of day takes in the whole day, pick-ups that carry a
// time of day included.
std::optional<QPair<QString, QString>> range(const QString &fromdate, const QString &todate)
{
    const QDate today = core::today();
    const auto from = dates::parse(fromdate, today);
    const auto to = dates::parse(todate, today);
    if (!from || !to)
        return std::nullopt;
    const QString upper
        = to->time() == QTime(0, 0) ? to->date().addDays(1).toString(Qt::ISODate) : dates::isoText(to->addSecs(1));
    return QPair<QString, QString>(dates::isoText(*from), upper);
}

} // namespace

frmListofPickups::frmListofPickups()
    : ListWindow(QStringLiteral("frmListofPickups"), QStringLiteral("List of Pick ups"), "DataGrid1")
{
    setColumns({{"id", "id", false, 50},
                {"Subcontractor", "name", true, 170},
                {"idProject", "idProject", false, 50},
                {"idAuthorizedCompany", "name", false, 50},
                {"PickupDate", "PickupDate", true, 150},
                {"Pickupby", "Pickupby", true, 130},
                {"Package", "Package", true, 120},
                {"note", "note", true, 180}});
    // Deleted with no question; the subcontractor it was made for is not touched.
    addListButtons([this] { cmdPrintClicked(); }, QStringLiteral("pickuplog"),
                   [](qint64 id) { WindowRegistry::get<frmPickupForm>()->EditPickup(id); }, [this] { Ocultar(); });
    followChanges({QStringLiteral("pickuplog")}, {QStringLiteral("pickuplog")}, [this] { RefreshList(); });
}

std::optional<frmListofPickups::Listing> frmListofPickups::queryFor(const QString &listmode, const QString &ids,
                                                                    const QString &fromdate,
                                                                    const QString &todate) const
{
    if (listmode == QLatin1String("showlist"))
        return Listing{queries::pickupsOfProject(db::idValue(ids)), QStringLiteral("List of Pick-ups")};
    const bool dated = listmode == QLatin1String("showall") || listmode == QLatin1String("showproject")
        || listmode == QLatin1String("showsubcontractor");
    if (!dated)
        return Listing{Query{QStringLiteral(" "), {}}, QString()}; // a blank statement: reading it fails
    const auto r = range(fromdate, todate);
    if (!r)
        return std::nullopt;
    const auto &[from, upto] = *r;
    if (listmode == QLatin1String("showall"))
        return Listing{queries::pickupsBetween(from, upto), QStringLiteral("All Pikups By date")};
    if (listmode == QLatin1String("showproject"))
        return Listing{queries::pickupsBetween(from, upto, queries::Whose::Project, db::idValue(ids)),
                       QStringLiteral("Project Pickups by date")};
    return Listing{queries::pickupsBetween(from, upto, queries::Whose::Subcontractor, db::idValue(ids)),
                   QStringLiteral("Subcontractor Pickups by date")};
}

bool frmListofPickups::fillMode(const QString &listmode, const QString &ids, const QString &fromdate,
                                const QString &todate)
{
    const auto q = queryFor(listmode, ids, fromdate, todate);
    if (!q) {
        // Never a query on dates that cannot be read: the list stays as it was.
        message(QStringLiteral("please check dates"), QStringLiteral("Report"));
        if (!isVisible())
            close(); // made only for this call: not left behind hidden
        return false;
    }
    fill(q->query);
    present();
    m_listmode = listmode;
    return true;
}

void frmListofPickups::showlist(const QString &ids)
{
    if (fillMode(QStringLiteral("showlist"), ids, m_fromdate, m_todate))
        m_ids = ids;
}

void frmListofPickups::showall(const QString &fromdate, const QString &todate)
{
    showDated(QStringLiteral("showall"), fromdate, todate, m_ids);
}

void frmListofPickups::showProject(const QString &fromdate, const QString &todate, const QString &ids)
{
    showDated(QStringLiteral("showproject"), fromdate, todate, ids);
}

void frmListofPickups::showSubcontractor(const QString &fromdate, const QString &todate, const QString &ids)
{
    showDated(QStringLiteral("showsubcontractor"), fromdate, todate, ids);
}

void frmListofPickups::showDated(const QString &listmode, const QString &fromdate, const QString &todate,
                                 const QString &ids)
{
    if (!fillMode(listmode, ids, fromdate, todate))
        return;
    m_fromdate = fromdate;
    m_todate = todate;
    m_ids = ids;
}

void frmListofPickups::RefreshList()
{
    if (!isVisible())
        return;
    requery();
}

void frmListofPickups::Mostrar()
{
    findChild<QFrame *>(QStringLiteral("PicContainer"))->setFrameShape(QFrame::NoFrame);
    present();
}

void frmListofPickups::cmdPrintClicked()
{
    const auto q = queryFor(m_listmode, m_ids, m_fromdate, m_todate);
    if (!q) {
        message(QStringLiteral("please check dates"), QStringLiteral("Report"));
        return;
    }
    printReport(reports::DrpListofPickups(), q->query, q->title);
}

} // namespace ui
