#pragma once
#include "core/db/queries.h"
#include "core/db/rowset.h"
#include "core/reports/layoutpass.h"
#include "core/reports/reportlayout.h"

#include <QDate>
#include <QString>
#include <atomic>
#include <functional>
#include <memory>
#include <optional>

class QPagedPaintDevice;

namespace core::reports {

// One report to output: a layout, the rows it prints, its title line and the date
// "%d" prints. The rows are either given (`rows`) or read from a register file in
// chunks while the pages are made (`query` on `registerFile`), so that a report of
// any length needs the memory of a few pages.
struct ReportJob
{
    const ReportLayout *layout = nullptr;
    db::RowSet rows;
    QString title;             // a null title prints the layout's default title
    QDate date;                // an invalid date prints today's
    db::Query query = {};      // when its text is set, the rows come from here
    QString registerFile = {}; // the file `query` reads, through a connection of its own
    bool onServer = false;     // the register is the configured server's, not a file

    bool readsRegister() const { return !query.sql.isEmpty(); }
};

// A job reading `query` from the main connection's register.
ReportJob registerJob(const ReportLayout &layout, const db::Query &query, const QString &title, const QDate &date);

// Rows per read when a job reads its register.
inline constexpr int kChunkRows = 1000;

// Hands over every page of a job as it is laid out. `page` returns false to stop
// (the job is cancelled); streamPages then returns false with no failure.
using PageSink = std::function<bool(const ReportDocument &doc, const ReportPage &page)>;
bool streamPages(const ReportJob &job, const PageSink &page, Failure *why = nullptr, int chunkRows = kChunkRows);

// The pages of a job taken one at a time, laid out as they are asked for: rows are
// read (in chunks, on a connection of the calling thread) only as far as the page
// asked for needs them.
class PageStream
{
public:
    explicit PageStream(const ReportJob &job, int chunkRows = kChunkRows);
    ~PageStream();
    PageStream(const PageStream &) = delete;
    PageStream &operator=(const PageStream &) = delete;

    // The next page; nullopt after the last one, or on failure (why filled).
    std::optional<ReportPage> next(Failure *why = nullptr);
    // Sizes and fonts without pages; its rowCount counts the rows laid out so far.
    // Empty until the first page has been asked for.
    const ReportDocument &document() const;
    bool failed() const;

private:
    class Reader;
    std::unique_ptr<Reader> d;
};

// Every row of the job, read at once (for the small reports that are kept whole).
std::optional<db::RowSet> jobRows(const ReportJob &job, Failure *why = nullptr);

// The layout pass for a job, with its defaults filled in, every page kept.
ReportDocument layoutJob(const ReportJob &job);

// Lets an output running on a worker thread report its pages and be cancelled.
struct OutputControl
{
    std::atomic<int> pages{0};
    std::atomic<bool> cancel{false};
    // Called on the worker, before the output ends, when it was cancelled (a printer
    // drops its job here).
    std::function<void()> onCancel;

    bool cancelled() const { return cancel.load(); }
};

// Paints the pages of a document kept whole, with the same progress and cancel.
bool paintDocument(const ReportDocument &doc, QPagedPaintDevice *device, Failure *why, OutputControl *control);

// Writes a PDF file titled `pdfTitle` with what `paint` puts on it, whole or not at
// all. `paint` returns false on failure or cancel.
using Painting = std::function<bool(QPagedPaintDevice *device, Failure *why)>;
bool writePdf(const QString &path, const QString &pdfTitle, const Painting &paint, Failure *why = nullptr);
// "List of Pickups: All Pikups By date", or the caption alone with a blank title.
QString pdfTitle(const QString &caption, const QString &title);

// Paints every page of the job on a paged device (a printer), page by page. False
// on failure (why filled) or when cancelled (why left empty).
bool paintJob(const ReportJob &job, QPagedPaintDevice *device, Failure *why = nullptr,
              OutputControl *control = nullptr);

// Writes the job to a PDF file, whole or not at all: a failure or a cancel leaves
// no file under `path` (nor touches one already there).
bool writePdf(const ReportJob &job, const QString &path, Failure *why = nullptr, OutputControl *control = nullptr);

} // namespace core::reports
