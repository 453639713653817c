#pragma once
#include "reports/reportpicker.h"

// Picks the active project of the "Project Pickups by date" report.
class frmprojectlist : public ReportPicker
{
    Q_OBJECT
public:
    frmprojectlist();

protected:
    void handOver(const QString &fromdate, const QString &todate, const QString &ids) override;
};
