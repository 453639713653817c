#pragma once
#include "ui/common/corenames.h"
#include "ui/reports/reportpicker.h"

namespace ui {

// Picks the active project of the "Project Pickups by date" report.
class frmprojectlist : public ReportPicker
{
    Q_OBJECT
public:
    frmprojectlist();

protected:
    void handOver(const QString &fromdate, const QString &todate, const QString &ids) override;
};

} // namespace ui
