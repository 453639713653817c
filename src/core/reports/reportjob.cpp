#include "core/reports/reportjob.h"

#include "core/app/clock.h"
#include "core/app/loopthread.h"
#include "core/app/serversettings.h"
#include "core/db/database.h"
#include "core/db/dialect.h"
#include "core/db/pgserver.h"
#include "core/reports/reportpainter.h"

#include <QAtomicInteger>
#include <QFileInfo>
#include <QPageLayout>
#include <QPageSize>
#include <QPagedPaintDevice>
#include <QPdfWriter>
#include <QSaveFile>
#include <QSqlQuery>
#include <QThread>

#include <condition_variable>
#include <deque>
#include <mutex>

namespace core::reports {

namespace {

const ReportLayout &layoutOf(const ReportJob &job)
{
    return job.layout ? *job.layout : DrpListofPickups();
}

QDate dateOf(const ReportJob &job)
{
    return job.date.isValid() ? job.date : core::today();
}

// Each thread that reads a register gets a connection of its own (a connection
// belongs to the thread that opened it); it is read-only and holds no lock
// between reads.
class ReaderConnection
{
public:
    ReaderConnection()
        : m_name(QStringLiteral("qb_report_%1").arg(quintptr(QThread::currentThreadId())) + QString::number(++s_serial))
    {
    }
    ~ReaderConnection() { db::closeConnection(m_name); }
    bool open(const ReportJob &job, Failure *why)
    {
        if (job.onServer)
            return db::openServerConnection(m_name, gServer, why);
        if (!db::openConnection(m_name, job.registerFile, true, why))
            return false;
        db::setUpLongRead(database());
        return true;
    }
    QSqlDatabase database() const { return QSqlDatabase::database(m_name, false); }

private:
    static inline QAtomicInteger<int> s_serial;
    QString m_name;
};

} // namespace

ReportJob registerJob(const ReportLayout &layout, const db::Query &query, const QString &title, const QDate &date)
{
    ReportJob job;
    job.layout = &layout;
    job.title = title;
    job.date = date;
    job.query = query;
    job.registerFile = db::shownFile(db::main());
    job.onServer = db::mainOnServer();
    return job;
}

class PageStream::Reader
{
public:
    Reader(const ReportJob &job, int chunkRows)
        : m_job(job)
        , m_chunkRows(chunkRows)
    {
    }

    std::optional<ReportPage> next(Failure *why)
    {
        while (!m_stream || !m_stream->hasPage()) {
            if (m_finished || m_failed)
                return std::nullopt;
            if (!feed(why)) {
                m_failed = true;
                return std::nullopt;
            }
        }
        return m_stream->takePage();
    }

    const ReportDocument &document() const { return m_stream ? m_stream->document() : m_empty; }
    bool failed() const { return m_failed; }

private:
    // Lays out the next rows, or the report's end after the last.
    bool feed(Failure *why)
    {
        if (!m_job.readsRegister()) {
            if (!m_stream)
                m_stream.emplace(layoutOf(m_job), m_job.rows.columns, m_job.title, dateOf(m_job));
            if (m_at < m_job.rows.rows.size())
                m_stream->addRow(m_job.rows.rows.at(m_at++));
            else
                finish();
            return true;
        }
        if (!m_reader) {
            m_connection.emplace();
            if (!m_connection->open(m_job, why))
                return false;
            m_reader.emplace(m_connection->database(), m_job.query, m_chunkRows);
        }
        if (m_at >= m_chunk.rows.size()) {
            std::optional<db::RowSet> chunk = m_reader->next(why);
            if (!chunk)
                return false;
            if (!m_stream)
                m_stream.emplace(layoutOf(m_job), chunk->columns, m_job.title, dateOf(m_job));
            m_chunk = std::move(*chunk);
            m_at = 0;
            if (m_chunk.isEmpty()) {
                finish();
                return true;
            }
        }
        // A page's worth of rows at a time keeps the pages waiting few.
        m_stream->addRow(m_chunk.rows.at(m_at++));
        return true;
    }

    void finish()
    {
        m_stream->finish();
        m_finished = true;
        m_reader.reset();
        m_connection.reset();
    }

    ReportJob m_job;
    int m_chunkRows;
    std::optional<ReaderConnection> m_connection;
    std::optional<db::ChunkReader> m_reader;
    std::optional<LayoutStream> m_stream;
    db::RowSet m_chunk;
    qsizetype m_at = 0;
    bool m_finished = false;
    bool m_failed = false;
    ReportDocument m_empty;
};

PageStream::PageStream(const ReportJob &job, int chunkRows)
    : d(std::make_unique<Reader>(job, chunkRows))
{
}

PageStream::~PageStream() = default;

std::optional<ReportPage> PageStream::next(Failure *why)
{
    return d->next(why);
}

const ReportDocument &PageStream::document() const
{
    return d->document();
}

bool PageStream::failed() const
{
    return d->failed();
}

bool streamPages(const ReportJob &job, const PageSink &page, Failure *why, int chunkRows)
{
    PageStream pages(job, chunkRows);
    Failure failure;
    while (std::optional<ReportPage> p = pages.next(&failure))
        if (!page(pages.document(), *p))
            return false;
    if (pages.failed())
        return fail(why, failure);
    return true;
}

std::optional<db::RowSet> jobRows(const ReportJob &job, Failure *why)
{
    if (!job.readsRegister())
        return job.rows;
    ReaderConnection connection;
    if (!connection.open(job, why))
        return std::nullopt;
    db::ChunkReader reader(connection.database(), job.query, kChunkRows);
    db::RowSet all;
    for (;;) {
        std::optional<db::RowSet> chunk = reader.next(why);
        if (!chunk)
            return std::nullopt;
        all.columns = chunk->columns;
        if (chunk->isEmpty())
            return all;
        all.rows.append(std::move(chunk->rows));
    }
}

ReportDocument layoutJob(const ReportJob &job)
{
    if (!job.readsRegister())
        return layoutReport(layoutOf(job), job.rows, job.title, dateOf(job));
    ReportDocument doc;
    bool first = true;
    streamPages(job, [&](const ReportDocument &meta, const ReportPage &page) {
        if (first)
            doc = meta;
        first = false;
        doc.pages.append(page);
        doc.rowCount = meta.rowCount;
        return true;
    });
    return doc;
}

namespace {

// Paints pages as `produce` hands them over, stopping when cancelled.
bool paintPages(QPagedPaintDevice *device, Failure *why, OutputControl *control,
                const std::function<bool(const PageSink &, Failure *)> &produce)
{
    PagePainter out(device);
    Failure failure;
    const bool produced = produce(
        [&](const ReportDocument &doc, const ReportPage &page) {
            if (control && control->cancelled())
                return false;
            if (!out.paint(doc, page, &failure))
                return false;
            if (control)
                control->pages.store(out.pages());
            return true;
        },
        &failure);
    if (!produced || (control && control->cancelled())) {
        if (control && control->cancelled()) {
            if (control->onCancel)
                control->onCancel();
            return false;
        }
        return fail(why, failure);
    }
    return out.finish(why);
}

// Lays the pages of a job out on a thread of its own, a few pages ahead of the
// caller, so that reading and measuring rows on one core overlaps painting them on
// the other. Pages come out in order; destroying it stops the thread and waits.
class PagesAhead
{
public:
    explicit PagesAhead(const ReportJob &job)
        : m_loop([this, job] { run(job); })
    {
        m_loop.start();
    }

    PagesAhead(const PagesAhead &) = delete;
    PagesAhead &operator=(const PagesAhead &) = delete;

    // The next page and the document as it stood then; nullopt after the last page
    // or on failure (why filled).
    std::optional<std::pair<ReportDocument, ReportPage>> next(Failure *why)
    {
        std::unique_lock lock(m_loop.mutex);
        m_ready.wait(lock, [&] { return !m_pages.empty() || m_done; });
        if (m_pages.empty()) {
            if (m_failed)
                fail(why, m_failure);
            return std::nullopt;
        }
        std::pair<ReportDocument, ReportPage> page = std::move(m_pages.front());
        m_pages.pop_front();
        lock.unlock();
        m_loop.wake.notify_one();
        return page;
    }

    bool failed() const
    {
        const std::lock_guard lock(m_loop.mutex);
        return m_failed;
    }

private:
    // Few pages wait, so memory stays that of a handful of pages.
    static constexpr std::size_t kAhead = 4;

    void run(const ReportJob &job)
    {
        PageStream pages(job);
        Failure failure;
        for (;;) {
            std::optional<ReportPage> page = pages.next(&failure);
            std::unique_lock lock(m_loop.mutex);
            if (!page) {
                m_done = true;
                m_failed = pages.failed();
                m_failure = failure;
                lock.unlock();
                m_ready.notify_all();
                return;
            }
            m_loop.wake.wait(lock, [&] { return m_pages.size() < kAhead || m_loop.stop; });
            if (m_loop.stop)
                return;
            m_pages.emplace_back(pages.document(), std::move(*page));
            lock.unlock();
            m_ready.notify_one();
        }
    }

    std::condition_variable m_ready;
    std::deque<std::pair<ReportDocument, ReportPage>> m_pages;
    bool m_done = false, m_failed = false;
    Failure m_failure;
    core::LoopThread m_loop; // last: started once the rest is set up
};

} // namespace

bool paintJob(const ReportJob &job, QPagedPaintDevice *device, Failure *why, OutputControl *control)
{
    return paintPages(device, why, control, [&](const PageSink &sink, Failure *failure) {
        PagesAhead pages(job);
        while (std::optional<std::pair<ReportDocument, ReportPage>> page = pages.next(failure))
            if (!sink(page->first, page->second))
                return false;
        return !pages.failed();
    });
}

bool paintDocument(const ReportDocument &doc, QPagedPaintDevice *device, Failure *why, OutputControl *control)
{
    return paintPages(device, why, control, [&](const PageSink &sink, Failure *) {
        for (const ReportPage &page : doc.pages)
            if (!sink(doc, page))
                return false;
        return true;
    });
}

QString pdfTitle(const QString &caption, const QString &title)
{
    return title.trimmed().isEmpty() ? caption : caption + QStringLiteral(": ") + title;
}

bool writePdf(const QString &path, const QString &title, const Painting &paint, Failure *why)
{
    QSaveFile file(path);
    const auto notWritten = [&] {
        return fail(
            why,
            Failure::plain(
                QStringLiteral("%1 cannot be written: %2").arg(QFileInfo(path).fileName(), file.errorString())));
    };
    if (!file.open(QIODevice::WriteOnly))
        return notWritten();
    {
        QPdfWriter pdf(&file);
        pdf.setResolution(int(kReferenceDpi));
        pdf.setPageLayout(QPageLayout(QPageSize(QPageSize::Letter), QPageLayout::Portrait, QMarginsF()));
        pdf.setTitle(title);
        pdf.setCreator(QStringLiteral("Quillbern"));
        if (!paint(&pdf, why)) {
            file.cancelWriting();
            return false;
        }
    }
    if (!file.commit())
        return notWritten();
    return true;
}

bool writePdf(const ReportJob &job, const QString &path, Failure *why, OutputControl *control)
{
    const ReportLayout &layout = layoutOf(job);
    const QString title = job.title.isNull() ? layout.defaultTitle : job.title;
    return writePdf(
        path, pdfTitle(layout.caption, title),
        [&](QPagedPaintDevice *device, Failure *f) { return paintJob(job, device, f, control); }, why);
}

} // namespace core::reports
