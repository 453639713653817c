// Export and import of one large project against the floor of a plain SQLite copy
// of the same rows, and the import against row-by-row writes without a
// transaction. Not a test: run it by hand.
//
//   bench_transfer [--repeat K] [--slice N] [--pickups P]
//
// The register (900,000 pick-ups, and one project of 1,000 subcontractors and
// P pick-ups, 100,000 unless given) is generated once and kept under /tmp.

#include "core/app/globals.h"
#include "core/db/database.h"
#include "core/db/sampledata.h"
#include "core/db/schema.h"
#include "core/transfer/transfer.h"

#include "common.h"
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string_view>

using namespace core;
using namespace core::db;

namespace {

const QString kCacheDir = QStringLiteral("/tmp/quillbern-bench-transfer");
const QString kBigName = QStringLiteral("BIG PROJECT");
constexpr int kBigCompanies = 1000;
int g_bigPickups = 100000;
constexpr int kVersion = 2; // bump when the generated register changes

void exec(QSqlQuery &q, const QString &sql, const QVariantList &binds = {})
{
    q.prepare(sql);
    for (const QVariant &b : binds)
        q.addBindValue(b);
    if (!q.exec())
        die(sql.left(120) + QStringLiteral(": ") + q.lastError().text());
}

QString registerPath()
{
    const QString size = g_bigPickups == 100000 ? QString() : QStringLiteral("-%1").arg(g_bigPickups);
    return kCacheDir + QStringLiteral("/register-v%1%2.mdb").arg(kVersion).arg(size);
}

// 900 projects of 10 subcontractors with 100 pick-ups each, then the big project.
void buildRegister()
{
    const QString path = registerPath();
    if (QFileInfo::exists(path))
        return;
    QDir().mkpath(kCacheDir);
    const QString building = path + QStringLiteral(".part");
    QFile::remove(building);
    if (Failure why; !db::createDatabaseFile(building, &why))
        die(why.description);
    std::printf("generating the register in %s (once)...\n", qPrintable(path));
    std::fflush(stdout);
    {
        if (Failure why; !db::openConnection(QStringLiteral("gen"), building, false, &why))
            die(why.description);
        QSqlDatabase d = QSqlDatabase::database(QStringLiteral("gen"), false);
        SampleSpec sample;
        sample.projects = 900;
        sample.companiesPerProject = 10;
        sample.pickupsPerCompany = 100;
        sample.inactiveEvery = 7;
        if (Failure why; !generateSampleData(d, sample, {}, &why))
            die(why.description);
        QSqlQuery q(d);
        exec(q, QStringLiteral("BEGIN"));
        exec(q, QStringLiteral("INSERT INTO project (projectname, company, active) VALUES (?, 'ATLAS PROPERTIES', -1)"), {kBigName});
        const qint64 pid = q.lastInsertId().toLongLong();
        exec(q, QStringLiteral("SELECT coalesce(max(id), 0) FROM authorizedcompanies"));
        q.next();
        const qint64 firstCompany = q.value(0).toLongLong() + 1;
        q.finish();
        exec(q, QStringLiteral("WITH RECURSIVE c(n) AS (SELECT 0 UNION ALL SELECT n + 1 FROM c WHERE n < ? - 1) "
                               "INSERT INTO authorizedcompanies (idproject, name, address1, address2, city, state, zipcode, "
                               "telephone, fax, email, website, note, pickupdate, pickupby, package, active) "
                               "SELECT ?, 'SUBCONTRACTOR ' || n, (100 + n) || ' INDUSTRIAL PKWY', CASE WHEN n % 3 = 0 THEN "
                               "'SUITE ' || n END, 'AUSTIN', 'TX', '787' || (n % 100), '(512) 555-' || (1000 + n), NULL, "
                               "'OFFICE@SUB' || n || '.COM', 'WWW.SUB' || n || '.COM', CASE WHEN n % 4 = 0 THEN "
                               "'AUTHORIZED BY PROJECT MANAGER.' END, CASE WHEN n % 5 = 0 THEN '2026-02-' || (10 + n % 18) END, "
                               "NULL, NULL, CASE WHEN n % 10 = 0 THEN 0 ELSE -1 END FROM c"),
             {kBigCompanies, pid});
        exec(q, QStringLiteral("WITH RECURSIVE c(n) AS (SELECT 0 UNION ALL SELECT n + 1 FROM c WHERE n < ? - 1) "
                               "INSERT INTO pickuplog (idproject, idauthorizedcompany, pickupdate, pickupby, package, note) "
                               "SELECT ?, ? + n % ?, date('2024-01-01', '+' || (n % 900) || ' days') || CASE WHEN n % 5 = 0 "
                               "THEN ' 09:30:00' ELSE '' END, 'J. SMITH', 'DRAWINGS SET ' || (n % 40), CASE WHEN n % 3 = 0 "
                               "THEN 'PICKED UP AT FRONT DESK.' END FROM c"),
             {g_bigPickups, pid, firstCompany, kBigCompanies});
        exec(q, QStringLiteral("COMMIT"));
        q.finish();
    }
    db::closeConnection(QStringLiteral("gen"));
    if (!QFile::rename(building, path))
        die(QStringLiteral("cannot keep %1").arg(path));
}

void freshCopy(const QString &to)
{
    QFile::remove(to);
    QFile::remove(to + QStringLiteral("-journal"));
    if (!QFile::copy(registerPath(), to))
        die(QStringLiteral("cannot copy the register to %1").arg(to));
    // Read it once so that every run starts with the same warm page cache.
    QFile f(to);
    f.open(QIODevice::ReadOnly);
    while (!f.read(1 << 20).isEmpty()) {
    }
}

qint64 bigProjectId(const QString &mainFile)
{
    if (Failure why; !db::openConnection(QStringLiteral("probe"), mainFile, true, &why))
        die(why.description);
    qint64 id = 0;
    {
        QSqlQuery q(QSqlDatabase::database(QStringLiteral("probe"), false));
        exec(q, QStringLiteral("SELECT id FROM project WHERE projectname = ?"), {kBigName});
        if (q.next())
            id = q.value(0).toLongLong();
    }
    db::closeConnection(QStringLiteral("probe"));
    return id;
}

// Opens `path` the way the application opens its database.
QSqlDatabase plain(const QString &name, const QString &path)
{
    if (Failure why; !db::openConnection(name, path, false, &why))
        die(why.description);
    return QSqlDatabase::database(name, false);
}

QString cols(const QString &table, bool withId)
{
    QStringList c = schema::table(table).columns;
    if (!withId)
        c.removeAll(QStringLiteral("id"));
    return c.join(QStringLiteral(", "));
}

// The plainest copy through an attached file, in one transaction, timed in ms.
double onFloor(const QString &mainFile, const QString &attached, const std::function<void(QSqlQuery &)> &copy)
{
    QElapsedTimer t;
    t.start();
    {
        QSqlDatabase d = plain(QStringLiteral("floor"), mainFile);
        QSqlQuery q(d);
        exec(q, QStringLiteral("ATTACH DATABASE ? AS t"), {attached});
        exec(q, QStringLiteral("BEGIN"));
        copy(q);
        exec(q, QStringLiteral("COMMIT"));
        exec(q, QStringLiteral("DETACH DATABASE t"));
    }
    db::closeConnection(QStringLiteral("floor"));
    return t.nsecsElapsed() / 1e6;
}

double floorExport(const QString &mainFile, const QString &target, qint64 pid)
{
    QFile::remove(target);
    return onFloor(mainFile, target, [pid](QSqlQuery &q) {
        for (QString s : schema::createTableStatements())
            exec(q, s.replace(QStringLiteral("CREATE TABLE "), QStringLiteral("CREATE TABLE t.")));
        for (const char *table : {"project", "authorizedcompanies", "pickuplog"})
            exec(q, QStringLiteral("INSERT INTO t.%1 SELECT * FROM main.%1 WHERE %2 = ?").arg(QLatin1String(table), QLatin1String(table == std::string_view("project") ? "id" : "idproject")),
                 {pid});
    });
}

double floorImport(const QString &mainFile, const QString &file)
{
    return onFloor(mainFile, file, [](QSqlQuery &q) {
        for (const QString &table : {QStringLiteral("project"), QStringLiteral("authorizedcompanies"), QStringLiteral("pickuplog")})
            exec(q, QStringLiteral("INSERT INTO main.%1 (%2) SELECT %2 FROM t.%1").arg(table, cols(table, false)));
    });
}

double ourImport(const QString &mainFile, const QString &file, qint64 *rows)
{
    Failure why;
    if (!db::openMain(mainFile, &why))
        die(why.description);
    QElapsedTimer t;
    t.start();
    const auto r = transfer::importProject(db::main(), file, std::nullopt, {}, &why);
    const double ms = t.nsecsElapsed() / 1e6;
    if (!r)
        die(why.description);
    *rows = 1 + r->companies + r->pickups;
    db::closeMain();
    return ms;
}

// The old way: every row its own write, no transaction around them. `slice` rows:
// the project, then subcontractors each followed by their pick-ups.
double rowByRow(const QString &mainFile, const QString &file, int slice, int *written)
{
    QSqlDatabase src = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("src"));
    src.setDatabaseName(file);
    src.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
    if (!src.open())
        die(src.lastError().text());
    QElapsedTimer t;
    int n = 0;
    {
        QSqlDatabase d = plain(QStringLiteral("rows"), mainFile);
        QSqlQuery read(src), companies(src), pick(src), add(d);
        t.start();
        exec(read, QStringLiteral("SELECT %1 FROM project").arg(cols(QStringLiteral("project"), false)));
        read.next();
        exec(add, QStringLiteral("INSERT INTO project (%1) VALUES (?, ?, ?)").arg(cols(QStringLiteral("project"), false)),
             {read.value(0), read.value(1), read.value(2)});
        const qint64 pid = add.lastInsertId().toLongLong();
        ++n;
        read.finish();
        const QString companyCols = cols(QStringLiteral("authorizedcompanies"), false);
        exec(companies, QStringLiteral("SELECT id, %1 FROM authorizedcompanies ORDER BY id").arg(companyCols));
        while (n < slice && companies.next()) {
            QVariantList v{pid};
            for (int i = 2; i <= 16; ++i)
                v << companies.value(i);
            exec(add, QStringLiteral("INSERT INTO authorizedcompanies (%1) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)").arg(companyCols), v);
            const qint64 cid = add.lastInsertId().toLongLong();
            ++n;
            exec(pick, QStringLiteral("SELECT pickupdate, pickupby, package, note FROM pickuplog WHERE idauthorizedcompany = ?"),
                 {companies.value(0)});
            while (n < slice && pick.next()) {
                exec(add, QStringLiteral("INSERT INTO pickuplog (idproject, idauthorizedcompany, pickupdate, pickupby, package, note) "
                                         "VALUES (?, ?, ?, ?, ?, ?)"),
                     {pid, cid, pick.value(0), pick.value(1), pick.value(2), pick.value(3)});
                ++n;
            }
            pick.finish();
        }
        companies.finish();
    }
    const double ms = t.nsecsElapsed() / 1e6;
    db::closeConnection(QStringLiteral("rows"));
    src.close();
    src = QSqlDatabase();
    QSqlDatabase::removeDatabase(QStringLiteral("src"));
    *written = n;
    return ms;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    int repeat = 3, slice = 5000;
    for (int i = 1; i + 1 < argc; ++i) {
        if (qstrcmp(argv[i], "--repeat") == 0)
            repeat = std::max(1, std::atoi(argv[++i]));
        else if (qstrcmp(argv[i], "--slice") == 0)
            slice = std::max(100, std::atoi(argv[++i]));
        else if (qstrcmp(argv[i], "--pickups") == 0)
            g_bigPickups = std::max(1, std::atoi(argv[++i]));
    }

    buildRegister();
    QTemporaryDir work(kCacheDir + QStringLiteral("/run-XXXXXX"));
    const QString mainFile = work.filePath(QStringLiteral("db1.mdb"));
    const QString out = work.filePath(QStringLiteral("export"));
    QDir().mkpath(out);
    freshCopy(mainFile);
    const qint64 pid = bigProjectId(mainFile);
    if (pid == 0)
        die(QStringLiteral("the big project is missing from the register"));
    std::printf("register: %d pick-ups; exported project: %d subcontractors, %d pick-ups\n", 900000 + g_bigPickups,
                kBigCompanies, g_bigPickups);

    // Export: ours and the floor in turns, the median of each.
    QList<double> exports, exportFloors;
    QString exported;
    QDateTime when(QDate(2026, 3, 7), QTime(14, 5, 37));
    for (int i = 0; i < repeat; ++i) {
        exportFloors << floorExport(mainFile, work.filePath(QStringLiteral("floor.mdb")), pid);
        QElapsedTimer t;
        t.start();
        Failure why;
        const auto r = transfer::exportProject(mainFile, out, pid, kBigName, when.addSecs(i), {}, &why);
        exports << t.nsecsElapsed() / 1e6;
        if (!r)
            die(why.description);
        exported = r->path;
    }
    const double exportMs = median(exports), exportFloorMs = median(exportFloors);

    // Import into a fresh copy of the register each time.
    QList<double> imports, importFloors;
    qint64 importedRows = 0;
    for (int i = 0; i < repeat; ++i) {
        freshCopy(mainFile);
        importFloors << floorImport(mainFile, exported);
        freshCopy(mainFile);
        imports << ourImport(mainFile, exported, &importedRows);
    }
    const double importMs = median(imports), importFloorMs = median(importFloors);

    freshCopy(mainFile);
    int written = 0;
    const double slowMs = rowByRow(mainFile, exported, slice, &written);
    const double slowScaledMs = slowMs / written * double(importedRows);

    std::printf("\n%-44s %12s\n", "", "ms (median)");
    std::printf("%-44s %12.1f\n", "export (ours)", exportMs);
    std::printf("%-44s %12.1f\n", "export floor (ATTACH + INSERT ... SELECT)", exportFloorMs);
    std::printf("%-44s %12.2f   (at most 1.3)\n", "  ratio export / floor", exportMs / exportFloorMs);
    std::printf("%-44s %12.1f\n", "import (ours)", importMs);
    std::printf("%-44s %12.1f\n", "import floor (ATTACH + INSERT ... SELECT)", importFloorMs);
    std::printf("%-44s %12.2f   (at most 1.1)\n", "  ratio import / floor", importMs / importFloorMs);
    std::printf("%-44s %12.1f   (%d rows, %.3f ms a row)\n", "row by row, no transaction", slowMs, written, slowMs / written);
    std::printf("%-44s %12.1f   (%lld rows)\n", "  scaled to the whole project", slowScaledMs, static_cast<long long>(importedRows));
    std::printf("%-44s %12.1f   (at least 100)\n", "  ratio row by row / import", slowScaledMs / importMs);
    std::printf("\nall runs, ms: export %s | floor %s | import %s | floor %s\n",
                qPrintable([&] { QStringList s; for (double v : exports) s << QString::number(v, 'f', 0); return s.join(' '); }()),
                qPrintable([&] { QStringList s; for (double v : exportFloors) s << QString::number(v, 'f', 0); return s.join(' '); }()),
                qPrintable([&] { QStringList s; for (double v : imports) s << QString::number(v, 'f', 0); return s.join(' '); }()),
                qPrintable([&] { QStringList s; for (double v : importFloors) s << QString::number(v, 'f', 0); return s.join(' '); }()));
    return 0;
}
