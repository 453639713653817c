#pragma once
#include "core/db/rowset.h"
#include "core/reports/layoutpass.h"
#include "core/reports/reportlayout.h"

#include <QDate>
#include <QString>

namespace core::reports {

// One report to output: a layout, the detached rows it prints, its title line and
// the date "%d" prints.
struct ReportJob
{
    const ReportLayout *layout = nullptr;
    db::RowSet rows;
    QString title; // a null title prints the layout's default title
    QDate date;    // an invalid date prints today's
};

// The layout pass for a job, with its defaults filled in.
ReportDocument layoutJob(const ReportJob &job);

// Lays the job out and writes it to a PDF file.
bool writePdf(const ReportJob &job, const QString &path, Failure *why = nullptr);

} // namespace core::reports
