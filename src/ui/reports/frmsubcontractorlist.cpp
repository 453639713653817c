#include "ui/reports/frmsubcontractorlist.h"

#include "ui/common/windowregistry.h"
#include "ui/lists/frmListofPickups.h"

namespace ui {

frmsubcontractorlist::frmsubcontractorlist()
    : ReportPicker(QStringLiteral("frmsubcontractorlist"), QStringLiteral("Subcontractor List"),
                   queries::subcontractorsByName(), QStringLiteral("name"))
{
}

void frmsubcontractorlist::handOver(const QString &fromdate, const QString &todate, const QString &ids)
{
    WindowRegistry::get<frmListofPickups>()->showSubcontractor(fromdate, todate, ids);
}

} // namespace ui
