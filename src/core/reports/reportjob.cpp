#include "core/reports/reportjob.h"

#include "core/app/clock.h"
#include "core/reports/reportpainter.h"

namespace core::reports {

ReportDocument layoutJob(const ReportJob &job)
{
    const ReportLayout &layout = job.layout ? *job.layout : DrpListofPickups();
    return layoutReport(layout, job.rows, job.title, job.date.isValid() ? job.date : core::today());
}

bool writePdf(const ReportJob &job, const QString &path, Failure *why)
{
    return writePdf(layoutJob(job), path, why);
}

} // namespace core::reports
