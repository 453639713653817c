// Reports, pickers and date ranges on a large register, each beside its floor.
// Not a test: run it by hand.
//
//   bench_scale make FILE [--projects P] [--companies C] [--pickups K]
//       a register of P projects with C subcontractors each and K pick-ups per
//       subcontractor, made by the product's own generator (default 100000 x 10 x 1:
//       100k projects, 1M subcontractors, 1M pick-ups)
//   bench_scale report FILE [--out FILE.pdf] [--floor]
//       "All Pikups By date" over every pick-up to PDF: seconds, pages, peak memory;
//       --floor reads the same rows with the plain query and nothing else
//   bench_scale answering FILE [--out FILE.pdf]
//       the same report saved from a window as the application does it: seconds,
//       memory, and the longest the GUI thread went without painting
//   bench_scale pickers FILE     first screenful of the pickers and lists, beside the floor
//   bench_scale dates FILE       a wide date range read row by row: microseconds per row

#include "core/app/failure.h"
#include "core/db/database.h"
#include "core/db/migrations.h"
#include "core/db/queries.h"
#include "core/db/sampledata.h"
#include "core/db/schema.h"
#include "core/reports/reportjob.h"
#include "ui/common/services.h"
#include "ui/reports/reportoutput.h"

#include "common.h"
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlQueryModel>
#include <QTemporaryDir>
#include <QTimer>
#include <QWidget>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <thread>

using namespace core;
using namespace core::db;

namespace {

// Peak resident memory so far, in MiB: the process's own memory (`RssAnon`) and the
// libraries and files it has mapped.
double peakMiB()
{
    return statusMiB("VmHWM");
}

// Samples the process's own (anonymous) memory while it lives; its peak in MiB.
class AnonPeak
{
public:
    AnonPeak()
        : m_thread([this] {
            while (!m_stop.load()) {
                m_peak = std::max(m_peak.load(), statusMiB("RssAnon"));
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
            }
        })
    {
    }
    ~AnonPeak() { stop(); }
    double stop()
    {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
        return m_peak;
    }

private:
    std::atomic<bool> m_stop{false};
    std::atomic<double> m_peak{0};
    std::thread m_thread;
};

int make(const QString &path, const QStringList &args)
{
    SampleSpec spec;
    spec.projects = option(args, "--projects", QStringLiteral("100000")).toInt();
    spec.companiesPerProject = option(args, "--companies", QStringLiteral("10")).toInt();
    spec.pickupsPerCompany = option(args, "--pickups", QStringLiteral("1")).toInt();
    const QString part = path + QStringLiteral(".part");
    QFile::remove(part);
    if (Failure why; !createDatabaseFile(part, &why))
        die(why.description);
    QElapsedTimer t;
    t.start();
    {
        if (Failure why; !openConnection(QStringLiteral("gen"), part, false, &why))
            die(why.description);
        QSqlDatabase d = QSqlDatabase::database(QStringLiteral("gen"), false);
        QSqlQuery(d).exec(QStringLiteral("PRAGMA synchronous=OFF"));
        if (Failure why; !generateSampleData(d, spec, {}, &why))
            die(why.description);
    }
    closeConnection(QStringLiteral("gen"));
    QFile::remove(path);
    if (!QFile::rename(part, path))
        die(QStringLiteral("cannot rename into ") + path);
    std::printf("made %s: %d projects, %d subcontractors, %lld pick-ups in %.1f s\n", qPrintable(path), spec.projects,
                spec.projects * spec.companiesPerProject,
                qint64(spec.projects) * spec.companiesPerProject * spec.pickupsPerCompany, t.elapsed() / 1000.0);
    return 0;
}

QSqlDatabase open(const QString &name, const QString &path)
{
    if (Failure why; !openConnection(name, path, true, &why))
        die(why.description);
    return QSqlDatabase::database(name, false);
}

template <class F>
double medianMs(int runs, F &&f)
{
    QList<double> ms;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer t;
        t.start();
        f();
        ms << t.nsecsElapsed() / 1e6;
    }
    std::sort(ms.begin(), ms.end());
    return ms.at(ms.size() / 2);
}

// What a picker or list does before its first paint: run the query and fetch the
// first batch of rows into its model.
double firstScreenMs(QSqlDatabase db, const QString &sql)
{
    return medianMs(5, [&] {
        QSqlQueryModel model;
        model.setQuery(sql, db);
        if (model.lastError().isValid())
            die(model.lastError().text());
    });
}

int pickers(const QString &path, const QStringList &args)
{
    // --as-is leaves the register as the generator made it; else it is brought up
    // to date first, as opening it in the application does.
    if (!args.contains(QStringLiteral("--as-is"))) {
        {
            if (Failure why; !openConnection(QStringLiteral("migrate"), path, false, &why))
                die(why.description);
            QSqlDatabase m = QSqlDatabase::database(QStringLiteral("migrate"), false);
            if (Failure why; !schema::migrate(m, &why))
                die(why.description);
        }
        closeConnection(QStringLiteral("migrate"));
    }
    QSqlDatabase db = open(QStringLiteral("bench"), path);
    QSqlQuery v(db);
    v.exec(QStringLiteral("SELECT (SELECT count(*) FROM authorizedcompanies), (SELECT count(*) FROM project), "
                          "(PRAGMA_user_version.user_version) FROM PRAGMA_user_version"));
    v.next();
    std::printf("%lld subcontractors, %lld projects, register version %d\n", v.value(0).toLongLong(),
                v.value(1).toLongLong(), v.value(2).toInt());
    v.finish();
    const struct
    {
        const char *what;
        Query query;
        const char *floor;
    } lists[] = {
        {"subcontractor picker", queries::subcontractorsByName(), "SELECT * FROM authorizedcompanies"},
        {"project picker", queries::activeProjectsByName(), "SELECT * FROM project WHERE active=-1"},
        {"list of projects", queries::activeProjectsByNameAndCompany(), "SELECT * FROM project WHERE active=-1"},
    };
    std::printf("%-22s %10s %10s\n", "first screenful", "ms", "floor ms");
    for (const auto &l : lists)
        std::printf("%-22s %10.1f %10.1f\n", l.what, firstScreenMs(db, l.query.sql),
                    firstScreenMs(db, QString::fromLatin1(l.floor)));
    return 0;
}

// Reads every row of the widest date range as a report does, in chunks by date,
// beside the same rows read in table order.
int dates(const QString &path, const QStringList &args)
{
    QSqlDatabase db = open(QStringLiteral("bench"), path);
    // As a report's reading connection is set up, unless --plain.
    if (!args.contains(QStringLiteral("--plain")))
        setUpLongRead(db);
    const Query wide = queries::pickupsBetween(QStringLiteral("1900-01-01"), QStringLiteral("2100-01-01"));
    qint64 rows = 0;
    QElapsedTimer t;
    t.start();
    ChunkReader reader(db, wide, 1000);
    for (;;) {
        const std::optional<RowSet> chunk = reader.next();
        if (!chunk)
            die(QStringLiteral("read failed"));
        if (chunk->isEmpty())
            break;
        rows += chunk->size();
    }
    const double byDate = t.nsecsElapsed() / 1e3;
    t.restart();
    QSqlQuery q(db);
    q.setForwardOnly(true);
    q.exec(wide.sql.section(QStringLiteral("WHERE"), 0, 0));
    qint64 floorRows = 0;
    while (q.next()) {
        for (int i = 0; i < 6; ++i)
            q.value(i);
        ++floorRows;
    }
    const double floor = t.nsecsElapsed() / 1e3;
    std::printf("%lld rows by date in chunks: %.2f us/row (%.1f s); floor, table order: %.2f us/row (%.1f s)\n",
                rows, byDate / rows, byDate / 1e6, floor / std::max<qint64>(1, floorRows), floor / 1e6);
    return 0;
}

// "All Pikups By date" over every pick-up of the register.
reports::ReportJob everyPickup(const QString &path)
{
    reports::ReportJob job;
    job.layout = &reports::DrpListofPickups();
    job.title = QStringLiteral("All Pikups By date");
    job.date = QDate(2026, 12, 7);
    job.query = queries::pickupsBetween(QStringLiteral("1900-01-01"), QStringLiteral("2100-01-01"));
    job.registerFile = path;
    return job;
}

// "All Pikups By date" over every pick-up, written to PDF as the application does;
// the floor reads the same rows the same way and does nothing with them.
int report(const QString &path, const QStringList &args)
{
    QTemporaryDir tmp;
    const QString out = option(args, "--out", tmp.filePath(QStringLiteral("report.pdf")));
    const reports::ReportJob job = everyPickup(path);
    AnonPeak anon;
    QElapsedTimer t;
    t.start();
    if (args.contains(QStringLiteral("--floor"))) {
        QSqlDatabase db = open(QStringLiteral("bench"), path);
        setUpLongRead(db);
        ChunkReader reader(db, job.query, reports::kChunkRows);
        qint64 rows = 0;
        for (std::optional<RowSet> chunk; (chunk = reader.next()) && !chunk->isEmpty();)
            rows += chunk->size();
        const double seconds = t.elapsed() / 1000.0;
        std::printf("floor: %lld rows read, nothing laid out: %.1f s, peak %.0f MiB of its own, %.0f MiB resident\n", rows,
                    seconds, anon.stop(), peakMiB());
        return 0;
    }
    reports::OutputControl control;
    Failure why;
    if (!reports::writePdf(job, out, &why, &control))
        die(why.description);
    const double seconds = t.elapsed() / 1000.0;
    std::printf("report: %d pages to PDF (%.0f MiB): %.1f s, peak %.0f MiB of its own, %.0f MiB resident\n",
                control.pages.load(), QFileInfo(out).size() / 1048576.0, seconds, anon.stop(), peakMiB());
    return 0;
}

// Measures how long the GUI thread goes without painting a window that asks to be
// painted every 10 ms.
class PaintClock : public QWidget
{
public:
    double longestMs = 0;
    int paints = 0;

protected:
    void paintEvent(QPaintEvent *) override
    {
        if (m_since.isValid())
            longestMs = std::max(longestMs, m_since.nsecsElapsed() / 1e6);
        m_since.start();
        ++paints;
    }

private:
    QElapsedTimer m_since;
};

// "All Pikups By date" over every pick-up saved as PDF the way the window's Save as
// PDF does it (painted on a worker, the progress dialog shown), while a window asks
// for a paint every 10 ms: the longest wait between two paints is how long the
// windows stopped answering.
int answering(const QString &path, const QStringList &args)
{
    struct Chooser : ui::FileChooser
    {
        QString path;
        std::optional<QString> openFile(QWidget *, const QString &) override { return std::nullopt; }
        std::optional<QString> saveFile(QWidget *, const QString &, const QString &) override { return path; }
    } chooser;
    struct Messages : ui::MessageService
    {
        QMessageBox::StandardButton show(const QString &text, const QString &, QMessageBox::Icon,
                                         QMessageBox::StandardButtons, QMessageBox::StandardButton) override
        {
            die(text);
        }
    } messages;
    QTemporaryDir tmp;
    chooser.path = option(args, "--out", tmp.filePath(QStringLiteral("report.pdf")));
    ui::services().files = &chooser;
    ui::services().messages = &messages;
    const reports::ReportJob job = everyPickup(path);
    PaintClock window;
    window.resize(400, 300);
    window.show();
    QTimer ask;
    QObject::connect(&ask, &QTimer::timeout, &window, qOverload<>(&QWidget::update));
    ask.start(10);
    AnonPeak anon;
    QElapsedTimer t;
    t.start();
    if (!ui::saveAsPdf(ui::PrintSource::of(job), &window))
        die(QStringLiteral("the report was not written"));
    const double seconds = t.elapsed() / 1000.0;
    std::printf("report saved as PDF from a window (%.0f MiB): %.1f s, peak %.0f MiB of its own, %.0f MiB resident; "
                "%d paints, the longest wait between two %.1f ms\n",
                QFileInfo(chooser.path).size() / 1048576.0, seconds, anon.stop(), peakMiB(), window.paints,
                window.longestMs);
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 3)
        die(QStringLiteral("usage: bench_scale make|report|answering|pickers|dates FILE [options]"));
    const QString cmd = args.at(1), path = args.at(2);
    std::printf("load average %.2f\n", loadAverage());
    if (cmd == QLatin1String("make"))
        return make(path, args);
    if (cmd == QLatin1String("pickers"))
        return pickers(path, args);
    if (cmd == QLatin1String("dates"))
        return dates(path, args);
    if (cmd == QLatin1String("report"))
        return report(path, args);
    if (cmd == QLatin1String("answering"))
        return answering(path, args);
    die(QStringLiteral("unknown command ") + cmd);
}
