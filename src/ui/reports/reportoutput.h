#pragma once
#include "core/reports/reportjob.h"
#include "ui/common/corenames.h"

#include <QDate>
#include <QHash>
#include <QPointer>
#include <QString>

class QWidget;

namespace ui {

class ReportPreview;
using core::reports::ReportDocument;
using core::reports::ReportJob;

// The report-output service: windows hand it their reports instead of printing.
class ReportOutput
{
public:
    virtual ~ReportOutput();
    // Shows the report in a modeless preview window.
    virtual void preview(const ReportJob &job) = 0;
    // Prints every page on the default printer, with no dialog.
    virtual void print(const ReportJob &job) = 0;
};

// The application's report output: preview windows on screen and the default
// printer. With no printer installed it says so and offers a PDF file instead.
class PrintingReportOutput : public ReportOutput
{
public:
    PrintingReportOutput();
    ~PrintingReportOutput() override;
    void preview(const ReportJob &job) override;
    void print(const ReportJob &job) override;

    // The open preview window of a layout, or nullptr.
    QWidget *previewWindow(const QString &layoutName) const;

private:
    // One preview per layout: a new preview of the same report replaces its pages.
    QHash<QString, QPointer<ReportPreview>> m_previews;
};

// What is printed: its name for the print queue and the PDF title, and how its
// pages are painted on a device (on a worker thread, with progress and cancel).
struct PrintSource
{
    QString caption;
    QString title;
    std::function<bool(QPagedPaintDevice *, Failure *, core::reports::OutputControl *)> paint;

    static PrintSource of(const ReportJob &job);
};

// Prints on the default printer with no dialog; with none, offers a PDF file.
// True when the pages went to a printer or a file.
bool printOnDefaultPrinter(const PrintSource &source, QWidget *parent);
// Asks for a file name and writes the report there; true when written. Cancelling
// leaves no file under the chosen name.
bool saveAsPdf(const PrintSource &source, QWidget *parent);
} // namespace ui
