#include "core/transfer/internal.h"
#include "core/transfer/transfer.h"

#include "core/app/globals.h"
#include "core/db/database.h"
#include "core/db/dialect.h"
#include "core/db/pgserver.h"
#include "core/db/schema.h"

#include "core/db/clientcalls.h"
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QVarLengthArray>
#include <memory>
#include <sqlite3.h>

namespace core::transfer {

using namespace detail;

namespace {

const QString kExportConnection = QStringLiteral("qb_export");
const QString kTempPrefix = QStringLiteral(".quillbern-export-");
// Pick-ups are copied in slices of this many rows so that progress can be shown.
constexpr qint64 kSlice = 20000;
// Most file systems allow 255 bytes in a name; the rest is " hhss_mmdd (nnnn).mdb".
constexpr int kMaxNameBytes = 200;

// A file that is removed when it goes out of scope, unless kept.
class DiscardedUnlessKept
{
public:
    explicit DiscardedUnlessKept(QString path)
        : m_path(std::move(path))
    {
    }
    ~DiscardedUnlessKept()
    {
        if (!m_kept && !m_path.isEmpty()) {
            QFile::remove(m_path);
            QFile::remove(m_path + QStringLiteral("-journal"));
        }
    }
    void keep() { m_kept = true; }

private:
    QString m_path;
    bool m_kept = false;
};

QString fileNameSafe(const QString &name)
{
    static const QString forbidden = QStringLiteral("\\/:*?\"<>|");
    QString out;
    int bytes = 0;
    for (qsizetype i = 0; i < name.size(); ++i) {
        const QChar c = name.at(i);
        QString piece;
        int size = 0;
        if (c.isHighSurrogate() && i + 1 < name.size() && name.at(i + 1).isLowSurrogate()) {
            piece = name.mid(i, 2);
            size = 4;
            ++i;
        } else if (c.isSurrogate() || c.unicode() < 0x20 || c.unicode() == 0x7f || forbidden.contains(c)) {
            piece = QStringLiteral("_");
            size = 1;
        } else {
            piece = c;
            size = c.unicode() < 0x80 ? 1 : c.unicode() < 0x800 ? 2 : 3;
        }
        if (bytes + size > kMaxNameBytes)
            break;
        out += piece;
        bytes += size;
    }
    return out;
}

QString timePart(const QDateTime &when)
{
    // " hhss_mmdd": hour, seconds, month, day; the minutes are not part of it.
    return QString::asprintf(" %02d%02d_%02d%02d", when.time().hour(), when.time().second(), when.date().month(),
                             when.date().day());
}

QString numbered(const QString &fileName, int n)
{
    if (n <= 1)
        return fileName;
    return fileName.left(fileName.size() - 4) + QStringLiteral(" (%1).mdb").arg(n);
}

// "CREATE TABLE x (...)" made to create the table in the attached schema `alias`.
QString inSchema(const QString &createStatement, const QString &alias)
{
    static const QString head = QStringLiteral("CREATE TABLE ");
    Q_ASSERT(createStatement.startsWith(head));
    return head + alias + QLatin1Char('.') + createStatement.mid(head.size());
}

// The rows of `table` in the transfer file.
bool countInFile(QSqlQuery &q, const QString &table, qint64 *file)
{
    QVariant v;
    if (!scalar(q, QStringLiteral("SELECT count(*) FROM transfer.%1").arg(table), {}, &v))
        return false;
    *file = v.toLongLong();
    return true;
}

// Copies the rows into the transfer file attached as "transfer", in one transaction.
bool copyRows(QSqlDatabase &d, qint64 projectId, const Progress &progress, ExportSummary *r, Failure *why)
{
    QSqlQuery q(d);
    auto failed = [&](const QString &what) {
        const Failure f = sqlFailure(q.lastError(), what);
        q.finish();
        QSqlQuery(d).exec(QStringLiteral("ROLLBACK"));
        return fail(why, f);
    };
    const QString reading = QStringLiteral("The database \"%1\" cannot be read").arg(shown(d.databaseName()));
    const QString writing = QStringLiteral("The transfer file cannot be written");

    if (!run(q, QStringLiteral("BEGIN")))
        return failed(reading);
    QVariant v;
    if (!scalar(q, QStringLiteral("SELECT count(*) FROM main.project WHERE id = ?"), {projectId}, &v))
        return failed(reading);
    if (v.toLongLong() == 0) {
        QSqlQuery(d).exec(QStringLiteral("ROLLBACK"));
        return fail(why,
                    Failure::plain(QStringLiteral("The project (id %1) is no longer in the database.").arg(projectId),
                                   SQLITE_NOTFOUND));
    }
    if (!scalar(q, QStringLiteral("SELECT count(*) FROM main.authorizedcompanies WHERE idproject = ?"), {projectId},
                &v))
        return failed(reading);
    r->companies = v.toLongLong();
    if (!scalar(q, QStringLiteral("SELECT count(*) FROM main.pickuplog WHERE idproject = ?"), {projectId}, &v))
        return failed(reading);
    r->pickups = v.toLongLong();
    const qint64 total = 1 + r->companies + r->pickups;
    if (progress)
        progress(0, total);

    // A file of our own making: the three tables and the stamp, nothing carried from elsewhere.
    for (const QString &create : schema::createTableStatements())
        if (!run(q, inSchema(create, QStringLiteral("transfer"))))
            return failed(writing);
    for (const auto &[pragma, value] : {std::pair{"application_id", schema::kTransferApplicationId},
                                        std::pair{"user_version", schema::kTransferVersion}})
        if (!run(q, QStringLiteral("PRAGMA transfer.%1 = %2").arg(QLatin1String(pragma)).arg(value)))
            return failed(writing);

    const QStringList projectCols = schema::table(QStringLiteral("project")).columns;
    const QStringList companyCols = schema::table(QStringLiteral("authorizedcompanies")).columns;
    const QStringList pickupCols = schema::table(QStringLiteral("pickuplog")).columns;
    if (!run(q,
             QStringLiteral("INSERT INTO transfer.project (%1) SELECT %1 FROM main.project WHERE id = ?")
                 .arg(columnList(projectCols)),
             {projectId}))
        return failed(writing);
    if (!run(q,
             QStringLiteral("INSERT INTO transfer.authorizedcompanies (%1) SELECT %1 FROM main.authorizedcompanies "
                            "WHERE idproject = ? ORDER BY id")
                 .arg(columnList(companyCols)),
             {projectId}))
        return failed(writing);
    qint64 done = 1 + r->companies;
    if (progress)
        progress(done, total);

    // Slices of kSlice rows in id order, each starting after the last id copied: no
    // pass over the rows to size them, and no id out of reach.
    const QString pickups = QStringLiteral("INSERT INTO transfer.pickuplog (%1) SELECT %1 FROM main.pickuplog "
                                           "WHERE idproject = ?")
                                .arg(columnList(pickupCols));
    std::optional<qint64> last;
    for (;;) {
        QString sql = pickups;
        QVariantList binds{projectId};
        if (last)
            sql += QStringLiteral(" AND id > ?"), binds << *last;
        binds << kSlice;
        if (!run(q, sql + QStringLiteral(" ORDER BY id LIMIT ?"), binds))
            return failed(writing);
        const qint64 copied = q.numRowsAffected();
        done += copied;
        if (progress)
            progress(std::min(done, total), total);
        if (copied < kSlice)
            break;
        if (!scalar(q, QStringLiteral("SELECT max(id) FROM transfer.pickuplog"), {}, &v))
            return failed(reading);
        last = v.toLongLong();
    }
    q.finish();

    // Counted, not trusted: a file with less than the project holds is never complete.
    // The project's rows were counted in this same read transaction.
    for (const auto &[table, inMain] : {std::pair{"project", qint64(1)}, std::pair{"authorizedcompanies", r->companies},
                                        std::pair{"pickuplog", r->pickups}}) {
        qint64 inFile = 0;
        if (!countInFile(q, QLatin1String(table), &inFile))
            return failed(reading);
        if (inFile != inMain) {
            QSqlQuery(d).exec(QStringLiteral("ROLLBACK"));
            return fail(why,
                        Failure::plain(QStringLiteral("The transfer file was not made: of the project's %1 rows "
                                                      "of the table \"%2\", only %3 could be copied.")
                                           .arg(inMain)
                                           .arg(QLatin1String(table))
                                           .arg(inFile),
                                       SQLITE_ERROR));
        }
    }
    if (!run(q, QStringLiteral("COMMIT")))
        return failed(writing);
    return true;
}

// Copies the rows of `table` whose `filter` column is `projectId`, in id order, from
// the server connection `src` into the same table of the SQLite connection `file`.
// The rows go from libpq's text straight into one prepared INSERT: a value never
// becomes a QVariant or a UTF-16 string on the way, which was most of the export's
// time. Read through a cursor in batches, so that memory stays bounded.
bool copyServerTable(QSqlDatabase &src, QSqlDatabase &file, const QString &table, const QString &filter,
                     qint64 projectId, const std::function<void()> &row, QSqlError *error, bool *reading)
{
    PGconn *pg = db::serverConnection(src);
    sqlite3 *lite = sqliteHandle(file);
    if (!pg || !lite) {
        *reading = !pg;
        *error = QSqlError(QStringLiteral("no connection"), {}, QSqlError::ConnectionError);
        return false;
    }
    const auto pgFailed = [&](PGresult *res) {
        *reading = true;
        const char *state = res ? PQresultErrorField(res, PG_DIAG_SQLSTATE) : nullptr;
        *error = QSqlError(QStringLiteral("QPSQL"), QString::fromUtf8(PQerrorMessage(pg)).trimmed(),
                           QSqlError::StatementError, QString::fromLatin1(state ? state : ""));
        PQclear(res);
        return false;
    };
    const auto liteFailed = [&] {
        *reading = false;
        *error = sqliteError(lite);
        return false;
    };

    const QStringList cols = schema::table(table).columns;
    const QByteArray declare = QStringLiteral("DECLARE qb_export NO SCROLL CURSOR FOR SELECT %1 FROM %2 WHERE %3 = $1 "
                                              "ORDER BY id")
                                   .arg(columnList(cols), table, filter)
                                   .toUtf8();
    const QByteArray id = QByteArray::number(projectId);
    const char *params[] = {id.constData()};
    PGresult *res = PQexecParams(pg, declare.constData(), 1, nullptr, params, nullptr, nullptr, 0);
    if (PQresultStatus(res) != PGRES_COMMAND_OK)
        return pgFailed(res);
    PQclear(res);

    // Rows are written kRows to a statement (fewer steps of SQLite's machine), the
    // rest of a batch one by one.
    constexpr int kRows = 32;
    using Statement = std::unique_ptr<sqlite3_stmt, decltype(&sqlite3_finalize)>;
    const auto prepare = [&](int rows) {
        const QString one = QLatin1Char('(') + QStringList(cols.size(), QStringLiteral("?")).join(QLatin1Char(','))
            + QLatin1Char(')');
        const QByteArray sql = QStringLiteral("INSERT INTO %1 (%2) VALUES %3")
                                   .arg(table, columnList(cols), QStringList(rows, one).join(QLatin1Char(',')))
                                   .toUtf8();
        sqlite3_stmt *stmt = nullptr;
        sqlite3_prepare_v2(lite, sql.constData(), int(sql.size()), &stmt, nullptr);
        return Statement(stmt, &sqlite3_finalize);
    };
    const Statement many = prepare(kRows), single = prepare(1);
    if (!many || !single)
        return liteFailed();
    // The next batch is asked for before this one is written, so that the server
    // reads and sends it while SQLite writes.
    const auto nextBatch = [&]() -> PGresult * {
        PGresult *last = nullptr;
        while (PGresult *r = PQgetResult(pg)) {
            PQclear(last);
            last = r;
        }
        return last;
    };
    const char *fetch = "FETCH 10000 FROM qb_export";
    if (!PQsendQuery(pg, fetch))
        return pgFailed(nullptr);
    for (;;) {
        res = nextBatch();
        if (PQresultStatus(res) != PGRES_TUPLES_OK)
            return pgFailed(res);
        const int rows = PQntuples(res), fields = PQnfields(res);
        if (rows == 0) {
            PQclear(res);
            break;
        }
        if (!PQsendQuery(pg, fetch)) {
            PQclear(res);
            return pgFailed(nullptr);
        }
        QVarLengthArray<bool, 32> integer(fields);
        for (int c = 0; c < fields; ++c) // int8, int2, int4: stored as SQLite integers, as the driver's values were
            integer[c] = PQftype(res, c) == 20 || PQftype(res, c) == 21 || PQftype(res, c) == 23;
        for (int r = 0; r < rows;) {
            sqlite3_stmt *stmt = rows - r >= kRows ? many.get() : single.get();
            const int n = stmt == many.get() ? kRows : 1;
            for (int i = 0; i < n; ++i, ++r) {
                for (int c = 0; c < fields; ++c) {
                    const int at = i * fields + c + 1;
                    if (PQgetisnull(res, r, c))
                        sqlite3_bind_null(stmt, at);
                    else if (integer[c])
                        sqlite3_bind_int64(stmt, at, std::strtoll(PQgetvalue(res, r, c), nullptr, 10));
                    else
                        sqlite3_bind_text(stmt, at, PQgetvalue(res, r, c), PQgetlength(res, r, c), SQLITE_STATIC);
                }
                row();
            }
            const bool written = sqlite3_step(stmt) == SQLITE_DONE;
            sqlite3_reset(stmt);
            if (!written) {
                PQclear(res);
                PQclear(nextBatch()); // the batch asked for is not wanted
                return liteFailed();
            }
        }
        sqlite3_clear_bindings(many.get()); // they point into the batch about to go
        sqlite3_clear_bindings(single.get());
        PQclear(res);
    }
    res = PQexec(pg, "CLOSE qb_export");
    if (PQresultStatus(res) != PGRES_COMMAND_OK)
        return pgFailed(res);
    PQclear(res);
    return true;
}

// Copies the project from the register on the server (the main connection) into the
// transfer file at `path` through a SQLite connection of its own: one snapshot read,
// one transaction written.
bool copyFromServer(const QString &path, qint64 projectId, const Progress &progress, ExportSummary *r, Failure *why)
{
    QSqlDatabase src = db::main();
    // The new, empty file: SQLite makes a database of it (the register checks of
    // openConnection would refuse it as empty).
    QSqlDatabase file = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), kExportConnection);
    file.setDatabaseName(path);
    if (!file.open())
        return fail(why, sqlFailure(file.lastError(), QStringLiteral("The transfer file cannot be written")));
    QSqlQuery in(src), out(file);
    const QString reading = QStringLiteral("The database \"%1\" cannot be read").arg(db::shownFile(src));
    const QString writing = QStringLiteral("The transfer file cannot be written");
    const auto failed = [&](const QSqlError &e, const QString &what) {
        const Failure f = sqlFailure(e, what);
        in.finish();
        out.finish();
        file.rollback();
        src.rollback();
        return fail(why, f);
    };
    // The cursors are read to the end: planned for every row (not the first few), and
    // sorted in memory rather than on disk. The rows come in id order out of the index
    // on their project; the planner, judging that index's visits to the table as random,
    // would rather sort them all before sending the first (twice the server's time).
    if (!src.transaction() || !in.exec(QStringLiteral("SET TRANSACTION ISOLATION LEVEL REPEATABLE READ READ ONLY"))
        || !in.exec(QStringLiteral("SET LOCAL cursor_tuple_fraction = 1"))
        || !in.exec(QStringLiteral("SET LOCAL work_mem = '64MB'"))
        || !in.exec(QStringLiteral("SET LOCAL enable_sort = off")))
        return failed(in.lastError().isValid() ? in.lastError() : src.lastError(), reading);
    QVariant v;
    if (!scalar(in, QStringLiteral("SELECT count(*) FROM project WHERE id = ?"), {projectId}, &v))
        return failed(in.lastError(), reading);
    if (v.toLongLong() == 0) {
        src.rollback();
        return fail(why,
                    Failure::plain(QStringLiteral("The project (id %1) is no longer in the database.").arg(projectId),
                                   SQLITE_NOTFOUND));
    }
    if (!scalar(in, QStringLiteral("SELECT count(*) FROM authorizedcompanies WHERE idproject = ?"), {projectId}, &v))
        return failed(in.lastError(), reading);
    r->companies = v.toLongLong();
    if (!scalar(in, QStringLiteral("SELECT count(*) FROM pickuplog WHERE idproject = ?"), {projectId}, &v))
        return failed(in.lastError(), reading);
    r->pickups = v.toLongLong();
    const qint64 total = 1 + r->companies + r->pickups;
    if (progress)
        progress(0, total);

    run(out, QStringLiteral("PRAGMA journal_mode = OFF")); // visible only once complete
    out.finish();
    // The whole file in memory until the commit writes it once.
    run(out, QStringLiteral("PRAGMA cache_size = -262144"));
    out.finish();
    if (!file.transaction())
        return failed(file.lastError(), writing);
    for (const QString &create : schema::createTableStatements())
        if (!run(out, create))
            return failed(out.lastError(), writing);
    for (const auto &[pragma, value] : {std::pair{"application_id", schema::kTransferApplicationId},
                                        std::pair{"user_version", schema::kTransferVersion}})
        if (!run(out, QStringLiteral("PRAGMA %1 = %2").arg(QLatin1String(pragma)).arg(value)))
            return failed(out.lastError(), writing);
    qint64 done = 0;
    const auto row = [&] {
        if (++done % 5000 == 0 && progress)
            progress(std::min(done, total), total);
    };
    for (const auto &[table, filter] : {std::pair{QStringLiteral("project"), QStringLiteral("id")},
                                        {QStringLiteral("authorizedcompanies"), QStringLiteral("idproject")},
                                        {QStringLiteral("pickuplog"), QStringLiteral("idproject")}}) {
        QSqlError error;
        bool wasReading = false;
        if (!copyServerTable(src, file, table, filter, projectId, row, &error, &wasReading))
            return failed(error, wasReading ? reading : writing);
    }
    src.rollback();      // read only
    if (done != total) { // the snapshot's counts and its rows must agree
        file.rollback();
        return fail(why,
                    Failure::plain(
                        writing + QStringLiteral(": %1 rows were read where %2 were counted.").arg(done).arg(total)));
    }
    // Through a statement, so that a failure carries the engine's number (a full disk).
    if (!run(out, QStringLiteral("COMMIT")))
        return failed(out.lastError(), writing);
    if (progress)
        progress(total, total);
    return true;
}

} // namespace

QString transferFileName(const QString &pname, const QDateTime &when)
{
    return fileNameSafe(pname) + timePart(when) + QStringLiteral(".mdb");
}

std::optional<ExportSummary> exportProject(const QString &mainFile, const QString &exportFolder, qint64 projectId,
                                           const QString &pname, const QDateTime &when, const Progress &progress,
                                           Failure *why)
{
    const auto failed
        = [why](int number, const QString &description) { return nothing(why, Failure::plain(description, number)); };

    // A missing folder must not be made here: the user named it and it is gone.
    const QFileInfo folder(exportFolder);
    if (exportFolder.isEmpty() || !folder.exists())
        return failed(SQLITE_CANTOPEN,
                      QStringLiteral("The export folder \"%1\" does not exist.").arg(shown(exportFolder)));
    if (!folder.isDir())
        return failed(SQLITE_CANTOPEN,
                      QStringLiteral("The export folder \"%1\" is not a folder.").arg(shown(exportFolder)));
    if (Failure f; !ensureTemplate(exportFolder, &f))
        return failed(SQLITE_CANTOPEN, f.description);

    // The template shows the folder is set up for transfers; its contents are not carried.
    QFile tpl(templatePath(exportFolder));
    if (!tpl.open(QIODevice::ReadOnly))
        return failed(SQLITE_CANTOPEN,
                      QStringLiteral("The transfer template \"%1\" cannot be read: %2.")
                          .arg(shown(tpl.fileName()), tpl.errorString()));
    if (tpl.read(16) != QByteArray("SQLite format 3\0", 16))
        return failed(
            SQLITE_NOTADB,
            QStringLiteral("The transfer template \"%1\" is not a database file.").arg(shown(tpl.fileName())));
    tpl.close();

    // Written under a temporary name in the same folder, so that the rename that
    // makes it visible cannot fail half-way. Exports that were killed left theirs.
    removeLeftovers(exportFolder, kTempPrefix);
    QString tempPath;
    QFile temp;
    for (int attempt = 0; attempt < 100; ++attempt) {
        tempPath = QDir(exportFolder)
                       .filePath(workingName(kTempPrefix)
                                 + QStringLiteral("%1.tmp").arg(QRandomGenerator::global()->generate(), 8, 16,
                                                                QLatin1Char('0')));
        temp.setFileName(tempPath);
        if (temp.open(QIODevice::WriteOnly | QIODevice::NewOnly))
            break;
        if (temp.error() != QFileDevice::OpenError || !QFileInfo::exists(tempPath))
            break;
    }
    if (!temp.isOpen())
        return failed(SQLITE_CANTOPEN,
                      QStringLiteral("No file can be written in the export folder \"%1\": %2.")
                          .arg(shown(exportFolder), temp.errorString()));
    DiscardedUnlessKept guard(tempPath);
    temp.close(); // empty: SQLite makes a new database of it

    ExportSummary summary;
    Failure failure;
    bool copied = false;
    if (db::mainOnServer()) {
        copied = copyFromServer(tempPath, projectId, progress, &summary, &failure);
    } else {
        if (!db::openConnection(kExportConnection, mainFile, false, &failure)) {
            db::closeConnection(kExportConnection);
            return failed(SQLITE_CANTOPEN, failure.description);
        }
        QSqlDatabase d = QSqlDatabase::database(kExportConnection, false);
        if (!schema::validateMain(d, mainFile, &failure)) {
            failure.number = SQLITE_ERROR;
        } else {
            QSqlQuery q(d);
            if (!run(q, QStringLiteral("ATTACH DATABASE ? AS transfer"), {tempPath})) {
                failure = sqlFailure(q.lastError(), QStringLiteral("The transfer file cannot be written"));
            } else {
                // The file only becomes visible once complete, so a journal buys nothing.
                run(q, QStringLiteral("PRAGMA transfer.journal_mode = OFF"));
                q.finish();
                run(q, QStringLiteral("PRAGMA transfer.synchronous = FULL"));
                q.finish();
                copied = copyRows(d, projectId, progress, &summary, &failure);
                if (!run(q, QStringLiteral("DETACH DATABASE transfer")) && copied) {
                    failure = sqlFailure(q.lastError(), QStringLiteral("The transfer file cannot be closed"));
                    copied = false;
                }
            }
        }
    }
    db::closeConnection(kExportConnection);
    if (!copied)
        return nothing(why, failure);

    // Never replace a file that is there: the next free " (n)" is taken instead.
    const QString name = transferFileName(pname, when);
    for (int n = 1; n < 10000; ++n) {
        const QString target = QDir(exportFolder).filePath(numbered(name, n));
        if (QFileInfo::exists(target))
            continue;
        QFile f(tempPath);
        if (f.rename(target)) {
            guard.keep();
            summary.path = target;
            return summary;
        }
        if (!QFileInfo::exists(target)) // taken meanwhile: try the next number
            return failed(
                SQLITE_CANTOPEN,
                QStringLiteral("The transfer file \"%1\" cannot be made: %2.").arg(shown(target), f.errorString()));
    }
    return failed(SQLITE_CANTOPEN,
                  QStringLiteral("No free name is left for \"%1\" in \"%2\".").arg(name, shown(exportFolder)));
}

} // namespace core::transfer
