#include "ui/reports/frmprojectlist.h"

#include "ui/common/windowregistry.h"
#include "ui/lists/frmListofPickups.h"

namespace ui {

frmprojectlist::frmprojectlist()
    : ReportPicker(QStringLiteral("frmprojectlist"), QStringLiteral("Project list"), queries::activeProjectsByName(),
                   QStringLiteral("projectname"))
{
}

void frmprojectlist::handOver(const QString &fromdate, const QString &todate, const QString &ids)
{
    WindowRegistry::get<frmListofPickups>()->showProject(fromdate, todate, ids);
}

} // namespace ui
