// A register on a local PostgreSQL server against the same register in a SQLite file:
// a subcontractor's pick-ups read for the grid, export and import of a project of
// 100,000 pick-ups, and how soon another desk hears of a commit. Not a test: run it
// by hand.
//
//   bench_server [--clicks N]
//
// Uses the register bench_transfer keeps under /tmp (run that first). The server is
// QB_BENCH_PGHOST/QB_BENCH_PGPORT (user postgres; a register loaded there by an
// earlier run is used again), else a throwaway one that scripts/pgtest starts and stops.

#include "core/app/globals.h"
#include "core/db/database.h"
#include "core/db/datasource.h"
#include "core/db/pgserver.h"
#include "core/db/queries.h"
#include "core/db/registers.h"
#include "core/db/schema.h"
#include "core/transfer/copyin.h"
#include "core/transfer/transfer.h"

#include "common.h"
#include <QAbstractItemModel>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <cstdlib>

using namespace core;
using namespace core::db;

namespace {

const QString kRegister = QStringLiteral("/tmp/quillbern-bench-transfer/register-v1.mdb");
const QString kState = QStringLiteral("/tmp/quillbern-bench-server");

QString pgtest()
{
    return QStringLiteral(QB_SOURCE_DIR "/scripts/pgtest");
}

ServerSettings startServer(bool *started)
{
    ServerSettings s;
    s.user = QStringLiteral("postgres");
    s.database = QStringLiteral("postgres");
    s.host = qEnvironmentVariable("QB_BENCH_PGHOST");
    s.port = qEnvironmentVariableIntValue("QB_BENCH_PGPORT");
    *started = s.host.isEmpty();
    if (!*started)
        return s;
    QProcess p;
    p.start(pgtest(), {QStringLiteral("start"), kState});
    if (!p.waitForFinished(300000) || p.exitCode() != 0)
        die(QStringLiteral("the server did not start: ") + QString::fromUtf8(p.readAllStandardError()));
    const QStringList hostPort = QString::fromUtf8(p.readAllStandardOutput()).simplified().split(QLatin1Char(' '));
    s.host = hostPort.value(0);
    s.port = hostPort.value(1).toInt();
    return s;
}

void stopServer()
{
    QProcess::execute(pgtest(), {QStringLiteral("stop"), kState});
}

// Copies every row of the three tables, ids included, in one transaction.
void load(const ServerSettings &server)
{
    if (Failure why; !openConnection(QStringLiteral("src"), kRegister, true, &why))
        die(why.description);
    if (Failure why; !openServerConnection(QStringLiteral("dst"), server, &why))
        die(why.description);
    QSqlDatabase src = QSqlDatabase::database(QStringLiteral("src"), false);
    QSqlDatabase dst = QSqlDatabase::database(QStringLiteral("dst"), false);
    dst.transaction();
    for (const schema::Table &t : schema::tables()) {
        QSqlQuery in(src);
        in.setForwardOnly(true);
        if (!in.exec(QStringLiteral("SELECT %1 FROM %2 ORDER BY id").arg(t.columns.join(QLatin1Char(',')), t.name)))
            die(in.lastError().text());
        transfer::detail::CopyIn out(dst, t.name, t.columns);
        while (in.next()) {
            for (int i = 0; i < t.columns.size(); ++i)
                out.value(in.value(i));
            if (!out.endRow())
                die(out.lastError().text());
        }
        if (!out.finish())
            die(out.lastError().text());
    }
    if (!dst.commit())
        die(dst.lastError().text());
    // As autovacuum leaves a table soon after a bulk load: the rows' hint bits set and
    // the visibility map made, so that the figures are the register's and not the load's.
    if (QSqlQuery v(dst); !v.exec(QStringLiteral("VACUUM ANALYZE")))
        die(v.lastError().text());
    closeConnection(QStringLiteral("src"));
    closeConnection(QStringLiteral("dst"));
}

// The main window's grid query for `clicks` subcontractors, each read whole.
double clickMs(int clicks)
{
    QSqlQuery q(main());
    q.exec(QStringLiteral("SELECT id, idproject FROM authorizedcompanies ORDER BY id"));
    QList<std::pair<qint64, qint64>> companies;
    while (q.next())
        companies.append({q.value(0).toLongLong(), q.value(1).toLongLong()});
    q.finish();
    QRandomGenerator rng(7);
    QList<double> ms;
    DataSource ds;
    for (int i = 0; i < clicks; ++i) {
        const auto [company, project] = companies.at(rng.bounded(int(companies.size())));
        const Query query = queries::pickupsOfSubcontractorInProject(company, project);
        QElapsedTimer t;
        t.start();
        ds.setQuery(query.sql, query.binds);
        if (!ds.refresh())
            die(ds.lastFailure().description);
        while (ds.model()->canFetchMore({}))
            ds.model()->fetchMore({});
        ms << t.nsecsElapsed() / 1e6;
    }
    return median(ms);
}

qint64 bigProject()
{
    QSqlQuery q(main());
    q.exec(QStringLiteral("SELECT id FROM project WHERE projectname = 'BIG PROJECT'"));
    if (!q.next())
        die(QStringLiteral("no BIG PROJECT in the register"));
    return q.value(0).toLongLong();
}

struct Transfer
{
    double exportMs = 0, importMs = 0;
};

Transfer transferMs(const QString &folder)
{
    const qint64 id = bigProject();
    Failure why;
    QElapsedTimer t;
    t.start();
    const auto out = transfer::exportProject(gDbFile, folder, id, QStringLiteral("BIG PROJECT"),
                                             QDateTime::currentDateTime(), {}, &why);
    Transfer r;
    r.exportMs = t.nsecsElapsed() / 1e6;
    if (!out || out->pickups != 100000)
        die(QStringLiteral("export: ") + why.description);
    t.restart();
    const auto in = transfer::importProject(main(), out->path, std::nullopt, {}, &why);
    r.importMs = t.nsecsElapsed() / 1e6;
    if (!in || in->pickups != 100000)
        die(QStringLiteral("import: ") + why.description);
    QFile::remove(out->path);
    return r;
}

// From another desk's commit returning to this desk's registers() firing.
QList<double> latencyMs(const ServerSettings &server, int samples)
{
    if (Failure why; !openServerConnection(QStringLiteral("desk2"), server, &why))
        die(why.description);
    QSqlDatabase desk2 = QSqlDatabase::database(QStringLiteral("desk2"), false);
    QList<double> ms;
    for (int i = 0; i < samples; ++i) {
        bool heard = false;
        const auto c = QObject::connect(&registers(), &Registers::changed, [&] { heard = true; });
        QSqlQuery(desk2).exec(QStringLiteral("UPDATE project SET company = company WHERE id = 1"));
        QElapsedTimer t;
        t.start();
        while (!heard && t.elapsed() < 5000)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        ms << (heard ? t.nsecsElapsed() / 1e6 : 5000.0);
        QObject::disconnect(c);
    }
    closeConnection(QStringLiteral("desk2"));
    return ms;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const int clicks = args.contains(QStringLiteral("--clicks"))
        ? args.value(args.indexOf(QStringLiteral("--clicks")) + 1).toInt()
        : 200;
    if (!QFileInfo::exists(kRegister))
        die(QStringLiteral("%1 is missing: run bench_transfer once first").arg(kRegister));
    QTemporaryDir dir;
    gExportPath = dir.path();
    transfer::ensureTemplate(dir.path());

    // The file: a copy of the register, opened as the application does.
    gDbFile = dir.filePath(QStringLiteral("db1.mdb"));
    QFile::copy(kRegister, gDbFile);
    if (Failure why; !openMain(gDbFile, &why))
        die(why.description);
    const double fileClick = clickMs(clicks);
    const Transfer fileTransfer = transferMs(dir.path());
    closeMain();

    bool started = false;
    ServerSettings server = startServer(&started);
    if (started)
        std::atexit(stopServer);
    ServerSettings bench = server;
    bench.database = QStringLiteral("quillbern_bench");
    if (started || !openMainOnServer(bench)) {
        {
            if (Failure why; !openServerConnection(QStringLiteral("admin"), server, &why))
                die(why.description);
            QSqlQuery q(QSqlDatabase::database(QStringLiteral("admin"), false));
            q.exec(QStringLiteral("DROP DATABASE IF EXISTS quillbern_bench"));
            if (!q.exec(QStringLiteral("CREATE DATABASE quillbern_bench")))
                die(q.lastError().text());
        }
        closeConnection(QStringLiteral("admin"));
        if (Failure why; !createServerRegister(bench, &why))
            die(why.description);
        QElapsedTimer loading;
        loading.start();
        load(bench);
        std::printf("loaded 1,000,000 pick-ups into the server in %.1f s\n", loading.elapsed() / 1000.0);
        if (Failure why; !openMainOnServer(bench, &why))
            die(why.description);
    }
    server = bench;
    const double serverClick = clickMs(clicks);
    const Transfer serverTransfer = transferMs(dir.path());
    const QList<double> latency = latencyMs(server, 50);
    closeMain();

    double load1 = 0;
    if (QFile f(QStringLiteral("/proc/loadavg")); f.open(QIODevice::ReadOnly))
        load1 = f.readAll().split(' ').value(0).toDouble();
    std::printf("subcontractor click (grid query read whole), median of %d: server %.2f ms, file %.2f ms, ratio %.2f "
                "(limit 2)\n",
                clicks, serverClick, fileClick, serverClick / fileClick);
    std::printf("export of 100,000 pick-ups: server %.0f ms, file %.0f ms, ratio %.2f (limit 2)\n",
                serverTransfer.exportMs, fileTransfer.exportMs, serverTransfer.exportMs / fileTransfer.exportMs);
    std::printf("import of 100,000 pick-ups: server %.0f ms, file %.0f ms, ratio %.2f (limit 2)\n",
                serverTransfer.importMs, fileTransfer.importMs, serverTransfer.importMs / fileTransfer.importMs);
    std::printf("another desk's commit heard: median %.1f ms, max %.1f ms (limit 1000 ms)\n", median(latency),
                *std::max_element(latency.begin(), latency.end()));
    std::printf("load average %.2f\n", load1);
    return 0;
}
