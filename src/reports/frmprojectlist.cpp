#include "reports/frmprojectlist.h"

#include "app/windowregistry.h"
#include "ui/lists/frmListofPickups.h"

frmprojectlist::frmprojectlist()
    : ReportPicker(QStringLiteral("frmprojectlist"), QStringLiteral("Project list"),
                   QStringLiteral("SELECT * FROM project WHERE active=-1 order by projectname"),
                   QStringLiteral("projectname"))
{
}

void frmprojectlist::handOver(const QString &fromdate, const QString &todate, const QString &ids)
{
    WindowRegistry::get<frmListofPickups>()->showProject(fromdate, todate, ids);
}
