#include "ui/reports/reportoutput.h"

#include "core/reports/reportpainter.h"
#include "ui/common/placement.h"
#include "ui/common/services.h"
#include "ui/common/windowregistry.h"
#include "ui/main/frmMain.h"
#include "ui/reports/reportpreview.h"

#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QPageLayout>
#include <QPageSize>
#include <QPrinter>
#include <QPrinterInfo>
#include <QProgressDialog>
#include <QStandardPaths>
#include <QThread>
#include <QTimer>

namespace ui {

ReportOutput::~ReportOutput() = default;

namespace {

using core::reports::OutputControl;

QString suggestedPdfName(const PrintSource &source)
{
    QString dir = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (dir.isEmpty() || !QFileInfo(dir).isDir())
        dir = QDir::homePath();
    return QDir(dir).filePath(source.caption + QStringLiteral(".pdf"));
}

// Runs `work` on a worker thread while a progress dialog counts the pages done and
// offers Cancel; the windows keep answering meanwhile. False when the work failed
// or was cancelled (`cancelled` says which).
bool runWithProgress(QWidget *parent, const QString &doing, const std::function<bool(Failure *, OutputControl *)> &work,
                     Failure *why, bool *cancelled)
{
    OutputControl control;
    Failure failure;
    bool ok = false;
    std::unique_ptr<QThread> worker(QThread::create([&] { ok = work(&failure, &control); }));

    QProgressDialog progress(parent);
    progress.setObjectName(QStringLiteral("dlgReportProgress"));
    progress.setWindowTitle(QStringLiteral("Quillbern"));
    progress.setWindowModality(Qt::ApplicationModal);
    progress.setRange(0, 0);
    progress.setAutoClose(false);
    progress.setAutoReset(false);
    const auto showPages = [&] {
        const int pages = control.pages.load();
        progress.setLabelText(control.cancelled() ? QStringLiteral("Cancelling...")
                                                  : QStringLiteral("%1: %2 page(s) done").arg(doing).arg(pages));
    };
    showPages();
    // Short reports come and go without a flash.
    QTimer::singleShot(300, &progress, [&] {
        if (worker->isRunning())
            progress.show();
    });
    QObject::connect(&progress, &QProgressDialog::canceled, &progress, [&] {
        control.cancel.store(true);
        showPages();
    });
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, &progress, showPages);
    tick.start(100);

    QEventLoop loop;
    QObject::connect(worker.get(), &QThread::finished, &loop, &QEventLoop::quit);
    worker->start();
    loop.exec();
    worker->wait();
    tick.stop();
    progress.close();
    *cancelled = control.cancelled() && !ok;
    if (!ok && why)
        *why = failure;
    return ok;
}

bool writePdfFile(const PrintSource &source, const QString &path, QWidget *parent)
{
    Failure why;
    bool cancelled = false;
    const bool written = runWithProgress(
        parent, QStringLiteral("Writing %1").arg(QFileInfo(path).fileName()),
        [&](Failure *f, OutputControl *control) {
            return core::reports::writePdf(
                path, core::reports::pdfTitle(source.caption, source.title),
                [&](QPagedPaintDevice *device, Failure *pf) { return source.paint(device, pf, control); }, f);
        },
        &why, &cancelled);
    if (!written && !cancelled)
        message(QStringLiteral("The report could not be saved. ") + why.description, QString(), QMessageBox::Warning);
    return written;
}

} // namespace

PrintSource PrintSource::of(const ReportJob &job)
{
    const core::reports::ReportLayout &layout = job.layout ? *job.layout : core::reports::DrpListofPickups();
    return {layout.caption, job.title.isNull() ? layout.defaultTitle : job.title,
            [job](QPagedPaintDevice *device, Failure *why, OutputControl *control) {
                return core::reports::paintJob(job, device, why, control);
            }};
}

bool saveAsPdf(const PrintSource &source, QWidget *parent)
{
    static DialogFileChooser fallback;
    FileChooser *files = services().files ? services().files : &fallback;
    const std::optional<QString> chosen
        = files->saveFile(parent, suggestedPdfName(source), QStringLiteral("PDF files (*.pdf)"));
    if (!chosen || chosen->isEmpty())
        return false;
    QString path = *chosen;
    if (QFileInfo(path).suffix().isEmpty())
        path += QStringLiteral(".pdf");
    return writePdfFile(source, path, parent);
}

bool printOnDefaultPrinter(const PrintSource &source, QWidget *parent)
{
    const QPrinterInfo info = QPrinterInfo::defaultPrinter();
    if (info.isNull()) {
        // Printing into a file nobody asked for would look like success; ask instead.
        const auto answer
            = message(QStringLiteral("There is no printer installed. "
                                     "Do you want to save the report as a PDF file instead?"),
                      QString(), QMessageBox::Question, QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes);
        return answer == QMessageBox::Yes && saveAsPdf(source, parent);
    }
    Failure why;
    bool cancelled = false;
    // The printer lives on the worker that paints on it.
    const bool printed = runWithProgress(
        parent, QStringLiteral("Printing on %1").arg(info.printerName()),
        [&](Failure *f, OutputControl *control) {
            QPrinter printer(info, QPrinter::HighResolution);
            printer.setDocName(source.caption);
            printer.setFullPage(true);
            printer.setPageSize(QPageSize(QPageSize::Letter));
            printer.setPageOrientation(QPageLayout::Portrait);
            control->onCancel = [&printer] { printer.abort(); };
            if (!source.paint(&printer, f, control))
                return false;
            if (printer.printerState() == QPrinter::Error)
                return fail(f, Failure::plain(QStringLiteral("The printer reported an error.")));
            return true;
        },
        &why, &cancelled);
    if (!printed && !cancelled) {
        const QString error
            = why.description.isEmpty() ? QStringLiteral("The printer reported an error.") : why.description;
        message(QStringLiteral("The report could not be printed on %1. %2").arg(info.printerName(), error), QString(),
                QMessageBox::Warning);
    }
    return printed;
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
    const bool opening = !w;
    if (opening)
        w = new ReportPreview();
    w->setJob(job);
    if (opening) {
        if (const QWidget *main = WindowRegistry::existing<frmMain>(); main && main->isVisible())
            centreOver(w, main);
        else
            centreOnScreen(w);
    }
    w->show();
    w->raise();
    w->activateWindow();
}

void PrintingReportOutput::print(const ReportJob &job)
{
    printOnDefaultPrinter(PrintSource::of(job), nullptr);
}

QWidget *PrintingReportOutput::previewWindow(const QString &layoutName) const
{
    return m_previews.value(layoutName).data();
}

} // namespace ui
