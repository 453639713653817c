#pragma once
#include "ui/common/corenames.h"
#include "ui/reports/reportpicker.h"

namespace ui {

// Picks the subcontractor, of any project, of the "Subcontractor Pickups by date" report.
class frmsubcontractorlist : public ReportPicker
{
    Q_OBJECT
public:
    frmsubcontractorlist();

protected:
    void handOver(const QString &fromdate, const QString &todate, const QString &ids) override;
};

} // namespace ui
