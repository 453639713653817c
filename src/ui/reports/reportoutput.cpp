#include "ui/reports/reportoutput.h"

#include "core/reports/reportpainter.h"
#include "ui/common/services.h"
#include "ui/reports/reportpreview.h"

#include <QDir>
#include <QFileInfo>
#include <QPageLayout>
#include <QPageSize>
#include <QPrinter>
#include <QPrinterInfo>
#include <QStandardPaths>

namespace ui {

ReportOutput::~ReportOutput() = default;

namespace {

QString suggestedPdfName(const ReportDocument &doc)
{
    QString dir = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (dir.isEmpty() || !QFileInfo(dir).isDir())
        dir = QDir::homePath();
    return QDir(dir).filePath(doc.caption + QStringLiteral(".pdf"));
}

} // namespace

bool saveAsPdf(const ReportDocument &doc, QWidget *parent)
{
    static DialogFileChooser fallback;
    FileChooser *files = services().files ? services().files : &fallback;
    const std::optional<QString> chosen
        = files->saveFile(parent, suggestedPdfName(doc), QStringLiteral("PDF files (*.pdf)"));
    if (!chosen || chosen->isEmpty())
        return false;
    QString path = *chosen;
    if (QFileInfo(path).suffix().isEmpty())
        path += QStringLiteral(".pdf");
    Failure why;
    if (!writePdf(doc, path, &why)) {
        message(QStringLiteral("The report could not be saved. ") + why.description, QString(), QMessageBox::Warning);
        return false;
    }
    return true;
}

bool printOnDefaultPrinter(const ReportDocument &doc, QWidget *parent)
{
    const QPrinterInfo info = QPrinterInfo::defaultPrinter();
    if (info.isNull()) {
        // Printing into a file nobody asked for would look like success; ask instead.
        const auto answer
            = message(QStringLiteral("There is no printer installed. "
                                     "Do you want to save the report as a PDF file instead?"),
                      QString(), QMessageBox::Question, QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes);
        return answer == QMessageBox::Yes && saveAsPdf(doc, parent);
    }
    QPrinter printer(info, QPrinter::HighResolution);
    printer.setDocName(doc.caption);
    printer.setFullPage(true);
    printer.setPageSize(QPageSize(QPageSize::Letter));
    printer.setPageOrientation(QPageLayout::Portrait);
    Failure why;
    if (!paintDocument(doc, &printer, &why) || printer.printerState() == QPrinter::Error) {
        const QString error
            = why.description.isEmpty() ? QStringLiteral("The printer reported an error.") : why.description;
        message(QStringLiteral("The report could not be printed on %1. %2").arg(info.printerName(), error), QString(),
                QMessageBox::Warning);
        return false;
    }
    return true;
}

PrintingReportOutput::PrintingReportOutput() = default;

PrintingReportOutput::~PrintingReportOutput()
{
    for (const QPointer<ReportPreview> &w : std::as_const(m_previews))
        delete w.data();
}

void PrintingReportOutput::preview(const ReportJob &job)
{
    const QString name = job.layout ? job.layout->name : QString();
    QPointer<ReportPreview> &w = m_previews[name];
    if (!w)
        w = new ReportPreview();
    w->setDocument(layoutJob(job));
    w->show();
    w->raise();
    w->activateWindow();
}

void PrintingReportOutput::print(const ReportJob &job)
{
    printOnDefaultPrinter(layoutJob(job), nullptr);
}

QWidget *PrintingReportOutput::previewWindow(const QString &layoutName) const
{
    return m_previews.value(layoutName).data();
}

} // namespace ui
