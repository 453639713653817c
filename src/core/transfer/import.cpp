#include "core/transfer/internal.h"
#include "core/transfer/rowwriter.h"
#include "core/transfer/transfer.h"

#include "core/db/database.h"
#include "core/db/dialect.h"
#include "core/db/registers.h"
#include "core/db/schema.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QTimer>
#include <QUrl>
#include <limits>

namespace core::transfer {

using namespace detail;

namespace {

const QString kListConnection = QStringLiteral("qb_import_list");
constexpr qint64 kSlice = 20000;

enum class Kind { Id, Link, YesNo, Date, Text };

Kind kindOf(const QString &column)
{
    if (column == QLatin1String("id"))
        return Kind::Id;
    if (column == QLatin1String("idproject") || column == QLatin1String("idauthorizedcompany"))
        return Kind::Link;
    if (column == QLatin1String("active"))
        return Kind::YesNo;
    if (column == QLatin1String("pickupdate"))
        return Kind::Date;
    return Kind::Text;
}

// True for the values a column of that kind may hold in a transfer file.
QString acceptedWhen(const QString &c)
{
    switch (kindOf(c)) {
    case Kind::Id:
        return QStringLiteral("typeof(%1) = 'integer'").arg(c);
    case Kind::Link:
    case Kind::YesNo:
        return QStringLiteral("typeof(%1) IN ('integer', 'null')").arg(c);
    case Kind::Date:
        return QStringLiteral("(%1 IS NULL OR %1 = '' OR (typeof(%1) = 'text' AND (%1 GLOB "
                              "'[0-9][0-9][0-9][0-9]-[0-9][0-9]-[0-9][0-9]' OR %1 GLOB "
                              "'[0-9][0-9][0-9][0-9]-[0-9][0-9]-[0-9][0-9] [0-9][0-9]:[0-9][0-9]:[0-9][0-9]') "
                              "AND date(julianday(substr(%1, 1, 10))) = substr(%1, 1, 10) "
                              "AND (length(%1) = 10 OR time(substr(%1, 12)) = substr(%1, 12))))")
            .arg(c);
    case Kind::Text:
        return QStringLiteral("typeof(%1) <> 'blob'").arg(c);
    }
    return {};
}

QString kindText(const QString &column)
{
    switch (kindOf(column)) {
    case Kind::Id:
        return QStringLiteral("an id that is not a whole number");
    case Kind::Link:
        return QStringLiteral("a reference that is not a whole number");
    case Kind::YesNo:
        return QStringLiteral("a yes/no value that is not a number");
    case Kind::Date:
        return QStringLiteral("a date that is not a valid date");
    case Kind::Text:
        return QStringLiteral("binary data instead of text");
    }
    return {};
}

// What is read from a column of the transfer file when a row is copied.
QString copied(const QString &column, const QString &alias)
{
    const QString c = alias + QLatin1Char('.') + column;
    switch (kindOf(column)) {
    case Kind::YesNo:
        return QStringLiteral("CASE WHEN %1 IS NULL THEN NULL WHEN %1 <> 0 THEN -1 ELSE 0 END").arg(c);
    case Kind::Date:
        return QStringLiteral("NULLIF(%1, '')").arg(c);
    default:
        return c;
    }
}

QStringList columnsOf(const QString &table)
{
    return schema::table(table).columns;
}

QStringList withoutIds(const QString &table)
{
    QStringList out;
    for (const QString &c : columnsOf(table))
        if (c != QLatin1String("id") && c != QLatin1String("idproject") && c != QLatin1String("idauthorizedcompany"))
            out << c;
    return out;
}

Failure invalid(int number, const QString &file, const QString &why)
{
    return {number, QStringLiteral("The file \"%1\" cannot be imported: %2.").arg(shown(file), why), {}};
}

// Checks that cost nothing and give the plainest messages, before SQLite sees the file.
bool checkFile(const QString &file, Failure *why)
{
    const auto refused = [&](int number, const QString &reason) { return fail(why, invalid(number, file, reason)); };
    const QFileInfo fi(file);
    if (!fi.exists())
        return refused(kCantOpen, QStringLiteral("the file does not exist"));
    if (fi.isDir())
        return refused(kCantOpen, QStringLiteral("it is a folder, not a file"));
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly))
        return refused(kCantOpen, QStringLiteral("the file cannot be read (%1)").arg(f.errorString()));
    if (fi.size() == 0)
        return refused(kNotADb, QStringLiteral("the file is empty"));
    // A journal beside the file means a writer is at work on it, or died half-way.
    for (const char *suffix : {"-journal", "-wal"})
        if (QFileInfo::exists(file + QLatin1String(suffix)))
            return refused(kBusy,
                           QStringLiteral("it is still being written, or was left half-written, by another "
                                          "program (\"%1\" lies beside it)")
                               .arg(shown(file + QLatin1String(suffix))));
    static const QByteArray magic("SQLite format 3\0", 16);
    if (f.read(16) != magic)
        return refused(kNotADb, QStringLiteral("it is not a transfer file (not a database)"));
    if (fi.size() < 512)
        return refused(kCorrupt, QStringLiteral("the file is cut short"));
    return true;
}

struct Checked
{
    qint64 projectId = 0;
    qint64 companies = 0;
    qint64 pickups = 0;
};

// Every check an import makes of the file attached (or opened) as `s`, trusting
// nothing it declares. Gives what would be imported.
std::optional<Checked> checkContents(QSqlDatabase &d, const QString &s, const QString &file,
                                     std::optional<qint64> projectId, Failure *why)
{
    QSqlQuery q(d);
    const auto failed = [&](const QString &what) {
        Failure f = sqlFailure(q.lastError(), what);
        q.finish();
        return nothing(why, f);
    };
    const auto refused = [&](int number, const QString &reason) { return nothing(why, invalid(number, file, reason)); };
    const QString reading = QStringLiteral("The file \"%1\" cannot be read").arg(shown(file));
    QVariant v;

    if (!scalar(q, QStringLiteral("PRAGMA %1.application_id").arg(s), {}, &v))
        return failed(reading);
    const int appId = v.toInt();
    if (appId != 0 && appId != schema::kTransferApplicationId && appId != schema::kApplicationId)
        return refused(kNotADb, QStringLiteral("it is a database of another program"));
    if (!scalar(q, QStringLiteral("PRAGMA %1.user_version").arg(s), {}, &v))
        return failed(reading);
    if (v.toInt() > schema::kVersion)
        return refused(kError,
                       QStringLiteral("it was made by a newer version of Quillbern (format %1)").arg(v.toInt()));

    if (!run(q, QStringLiteral("PRAGMA %1.integrity_check(20)").arg(s)))
        return failed(reading);
    QStringList problems;
    while (q.next())
        problems << q.value(0).toString();
    if (q.lastError().isValid())
        return failed(reading);
    q.finish();
    if (problems != QStringList{QStringLiteral("ok")})
        return refused(kCorrupt,
                       QStringLiteral("the file is damaged (%1)").arg(problems.mid(0, 3).join(QStringLiteral("; "))));

    for (const schema::Table &t : schema::tables()) {
        if (!run(q, QStringLiteral("SELECT type, sql FROM %1.sqlite_master WHERE name = ? COLLATE NOCASE").arg(s),
                 {t.name}))
            return failed(reading);
        QString type, sql;
        if (q.next()) {
            type = q.value(0).toString();
            sql = q.value(1).toString();
        }
        q.finish();
        if (type != QLatin1String("table") || sql.startsWith(QLatin1String("CREATE VIRTUAL"), Qt::CaseInsensitive))
            return refused(kError, QStringLiteral("it has no table \"%1\"").arg(t.name));
        if (!run(q, QStringLiteral("SELECT name FROM pragma_table_info(?, ?)"), {t.name, s}))
            return failed(reading);
        QStringList present;
        while (q.next())
            present << q.value(0).toString().toLower();
        q.finish();
        for (const QString &c : t.columns)
            if (!present.contains(c))
                return refused(kError, QStringLiteral("the table \"%1\" has no column \"%2\"").arg(t.name, c));
        if (!run(q, QStringLiteral("SELECT rowid FROM %1.%2 LIMIT 0").arg(s, t.name)))
            return refused(kError, QStringLiteral("the table \"%1\" is not an ordinary table").arg(t.name));
        q.finish();

        // One pass per table finds the first value of a wrong kind.
        QStringList cases;
        for (const QString &c : t.columns)
            cases << QStringLiteral("WHEN NOT (%1) THEN '%2'").arg(acceptedWhen(c), c);
        if (!run(q,
                 QStringLiteral("SELECT bad FROM (SELECT CASE %1 END AS bad FROM %2.%3) WHERE bad IS NOT NULL LIMIT 1")
                     .arg(cases.join(QLatin1Char(' ')), s, t.name)))
            return failed(reading);
        QString bad;
        if (q.next())
            bad = q.value(0).toString();
        if (q.lastError().isValid())
            return failed(reading);
        q.finish();
        if (!bad.isEmpty())
            return refused(
                kMismatch,
                QStringLiteral("the column \"%1\" of the table \"%2\" holds %3").arg(bad, t.name, kindText(bad)));
    }

    for (const QString &table : {QStringLiteral("project"), QStringLiteral("authorizedcompanies")}) {
        if (!scalar(q, QStringLiteral("SELECT id FROM %1.%2 GROUP BY id HAVING count(*) > 1 LIMIT 1").arg(s, table), {},
                    &v))
            return failed(reading);
        if (v.isValid())
            return refused(kCorrupt,
                           QStringLiteral("the id %1 stands twice in the table \"%2\"").arg(v.toLongLong()).arg(table));
    }

    if (projectId) {
        if (!scalar(q, QStringLiteral("SELECT id FROM %1.project WHERE id = ?").arg(s), {*projectId}, &v))
            return failed(reading);
        if (!v.isValid())
            return refused(kNotFound, QStringLiteral("it holds no project with the id %1").arg(*projectId));
    } else {
        if (!scalar(q, QStringLiteral("SELECT id FROM %1.project ORDER BY rowid LIMIT 1").arg(s), {}, &v))
            return failed(reading);
        if (!v.isValid())
            return refused(kNotFound, QStringLiteral("it holds no project"));
    }
    Checked checked;
    checked.projectId = v.toLongLong();
    if (!scalar(q, QStringLiteral("SELECT count(*) FROM %1.authorizedcompanies WHERE idproject = ?").arg(s),
                {checked.projectId}, &v))
        return failed(reading);
    checked.companies = v.toLongLong();
    if (!scalar(q,
                QStringLiteral("SELECT count(*) FROM %1.pickuplog WHERE idproject = ? AND idauthorizedcompany IN "
                               "(SELECT id FROM %1.authorizedcompanies WHERE idproject = ?)")
                    .arg(s),
                {checked.projectId, checked.projectId}, &v))
        return failed(reading);
    checked.pickups = v.toLongLong();
    return checked;
}

QString readOnlyUri(const QString &file)
{
    return QUrl::fromLocalFile(QFileInfo(file).absoluteFilePath()).toString(QUrl::FullyEncoded)
        + QStringLiteral("?mode=ro");
}

// A transfer file stays attached while other statements on the connection are half
// read (SQLite keeps its read lock until they end); it is let go as soon as it can be.
struct PendingDetach
{
    QString connection;
    QString alias;
};

QList<PendingDetach> &pendingDetaches()
{
    static QList<PendingDetach> p;
    return p;
}

bool isAttached(QSqlDatabase &d, const QString &alias)
{
    QSqlQuery q(d);
    QVariant v;
    return scalar(q, QStringLiteral("SELECT count(*) FROM pragma_database_list WHERE name = ?"), {alias}, &v)
        && v.toInt() > 0;
}

void detachPending()
{
    auto &all = pendingDetaches();
    for (qsizetype i = all.size() - 1; i >= 0; --i) {
        const PendingDetach p = all.at(i);
        QSqlDatabase d
            = QSqlDatabase::contains(p.connection) ? QSqlDatabase::database(p.connection, false) : QSqlDatabase();
        if (!d.isOpen() || !isAttached(d, p.alias) || QSqlQuery(d).exec(QStringLiteral("DETACH DATABASE ") + p.alias))
            all.removeAt(i);
    }
}

void scheduleDetachRetry()
{
    if (pendingDetaches().isEmpty() || !QCoreApplication::instance())
        return;
    QTimer::singleShot(1000, QCoreApplication::instance(), [] {
        detachPending();
        scheduleDetachRetry();
    });
}

QString freeAlias(QSqlDatabase &d)
{
    QString alias = QStringLiteral("transfer");
    for (int n = 2; isAttached(d, alias); ++n)
        alias = QStringLiteral("transfer%1").arg(n);
    return alias;
}

// Copies the checked project into the main schema; runs inside the transaction.
bool copyProject(QSqlDatabase &d, const QString &s, const Checked &c, const Progress &progress, ImportSummary *r,
                 Failure *why)
{
    QSqlQuery q(d);
    const auto failed = [&](const QString &what) {
        Failure f = sqlFailure(q.lastError(), what);
        q.finish();
        return fail(why, f);
    };
    const QString writing = QStringLiteral("The project cannot be added to the database");
    const qint64 total = 1 + c.companies + c.pickups;
    if (progress)
        progress(0, total);

    QStringList projectCols = withoutIds(QStringLiteral("project"));
    QStringList projectSel;
    for (const QString &col : projectCols)
        projectSel << copied(col, QStringLiteral("p"));
    if (!run(q,
             QStringLiteral("INSERT INTO main.project (%1) SELECT %2 FROM %3.project AS p WHERE p.id = ?")
                 .arg(columnList(projectCols), projectSel.join(QStringLiteral(", ")), s),
             {c.projectId}))
        return failed(writing);
    r->projectId = q.lastInsertId().toLongLong();
    q.finish();

    // The subcontractors get the ids the database would give them one by one: one
    // above the highest it has ever used, in the file's id order. Written in one
    // statement, and the same numbering maps the pick-ups' links below.
    QVariant v;
    if (!scalar(
            q,
            QStringLiteral("SELECT max(coalesce((SELECT seq FROM main.sqlite_sequence WHERE name = "
                           "'authorizedcompanies'), 0), coalesce((SELECT max(id) FROM main.authorizedcompanies), 0))"),
            {}, &v))
        return failed(writing);
    const qint64 base = v.toLongLong();
    const QString numbered = QStringLiteral("SELECT id AS old, ? + row_number() OVER (ORDER BY id) AS new "
                                            "FROM %1.authorizedcompanies WHERE idproject = ?")
                                 .arg(s);
    const QStringList companyCols = withoutIds(QStringLiteral("authorizedcompanies"));
    QStringList companySel;
    for (const QString &col : companyCols)
        companySel << copied(col, QStringLiteral("a"));
    if (!run(q,
             QStringLiteral("INSERT INTO main.authorizedcompanies (id, idproject, %1) "
                            "SELECT ? + row_number() OVER (ORDER BY a.id), ?, %2 FROM %3.authorizedcompanies AS a "
                            "WHERE a.idproject = ? ORDER BY a.id")
                 .arg(columnList(companyCols), companySel.join(QStringLiteral(", ")), s),
             {base, r->projectId, c.projectId}))
        return failed(writing);
    r->companies = q.numRowsAffected();
    q.finish();
    qint64 done = 1 + r->companies;
    if (progress)
        progress(done, total);

    // The pick-ups follow in slices, each one statement joined to the id mapping.
    QList<qint64> bounds;
    if (c.pickups > kSlice) {
        if (!run(q,
                 QStringLiteral("SELECT r FROM (SELECT p.rowid AS r, row_number() OVER (ORDER BY p.rowid) AS n "
                                "FROM %1.pickuplog AS p WHERE p.idproject = ?) WHERE n % ? = 0")
                     .arg(s),
                 {c.projectId, kSlice}))
            return failed(writing);
        while (q.next())
            bounds << q.value(0).toLongLong();
        if (q.lastError().isValid())
            return failed(writing);
        q.finish();
    }
    const QStringList pickupCols = withoutIds(QStringLiteral("pickuplog"));
    QStringList pickupSel;
    for (const QString &col : pickupCols)
        pickupSel << copied(col, QStringLiteral("p"));
    const QString pickups
        = QStringLiteral("WITH m AS MATERIALIZED (%1) "
                         "INSERT INTO main.pickuplog (idproject, idauthorizedcompany, %2) SELECT ?, m.new, %3 "
                         "FROM %4.pickuplog AS p JOIN m ON m.old = p.idauthorizedcompany "
                         "WHERE p.idproject = ? AND p.rowid > ? AND p.rowid <= ? ORDER BY p.rowid")
              .arg(numbered, columnList(pickupCols), pickupSel.join(QStringLiteral(", ")), s);
    qint64 from = std::numeric_limits<qint64>::min();
    for (int i = 0; i <= bounds.size(); ++i) {
        const qint64 to = i < bounds.size() ? bounds.at(i) : std::numeric_limits<qint64>::max();
        if (!run(q, pickups, {base, c.projectId, r->projectId, c.projectId, from, to}))
            return failed(writing);
        r->pickups += q.numRowsAffected();
        from = to;
        if (progress)
            progress(std::min(done + r->pickups, total), total);
    }
    q.finish();
    return true;
}

// Adds the checked project of the file attached to `src` as `s` to the register on the
// server `to`, in one server transaction, through prepared INSERTs: the engines
// cannot be joined in one statement.
bool copyToServer(QSqlDatabase &src, const QString &s, const Checked &c, QSqlDatabase &to, const Progress &progress,
                  ImportSummary *r, Failure *why)
{
    QSqlQuery in(src), out(to);
    const QString reading = QStringLiteral("The transfer file cannot be read");
    const QString writing = QStringLiteral("The project cannot be added to the database");
    const auto failed = [&](const QSqlError &e, const QString &what) {
        const Failure f = sqlFailure(e, what);
        in.finish();
        out.finish();
        to.rollback();
        return fail(why, f);
    };
    const auto selectList = [](const QString &table, const QString &alias) {
        QStringList sel;
        for (const QString &col : withoutIds(table))
            sel << copied(col, alias);
        return sel.join(QStringLiteral(", "));
    };
    const auto rowOf = [&](int from, int count) {
        QVariantList row;
        for (int i = from; i < from + count; ++i)
            row << in.value(i);
        return row;
    };
    const qint64 total = 1 + c.companies + c.pickups;
    if (progress)
        progress(0, total);
    if (!to.transaction())
        return failed(to.lastError(), writing);

    const QStringList projectCols = withoutIds(QStringLiteral("project"));
    if (!run(in, QStringLiteral("SELECT %1 FROM %2.project AS p WHERE p.id = ?").arg(selectList("project", "p"), s),
             {c.projectId})
        || !in.next())
        return failed(in.lastError(), reading);
    if (!run(out,
             QStringLiteral("INSERT INTO project (%1) VALUES (%2)")
                 .arg(columnList(projectCols), QStringList(projectCols.size(), QStringLiteral("?")).join(',')),
             rowOf(0, int(projectCols.size()))))
        return failed(out.lastError(), writing);
    r->projectId = db::insertedId(out, to);
    in.finish();

    // Subcontractors one by one, in the file's order, to learn each new id.
    const QStringList companyCols = withoutIds(QStringLiteral("authorizedcompanies"));
    QHash<qint64, qint64> newIds;
    if (!run(in,
             QStringLiteral("SELECT a.id, %1 FROM %2.authorizedcompanies AS a WHERE a.idproject = ? ORDER BY a.id")
                 .arg(selectList("authorizedcompanies", "a"), s),
             {c.projectId}))
        return failed(in.lastError(), reading);
    QSqlQuery company(to);
    if (!company.prepare(
            QStringLiteral("INSERT INTO authorizedcompanies (idproject, %1) VALUES (?, %2)")
                .arg(columnList(companyCols), QStringList(companyCols.size(), QStringLiteral("?")).join(','))))
        return failed(company.lastError(), writing);
    while (in.next()) {
        company.bindValue(0, r->projectId);
        for (int i = 0; i < companyCols.size(); ++i)
            company.bindValue(i + 1, in.value(i + 1));
        if (!company.exec())
            return failed(company.lastError(), writing);
        newIds.insert(in.value(0).toLongLong(), db::insertedId(company, to));
    }
    if (in.lastError().isValid())
        return failed(in.lastError(), reading);
    company.finish();
    r->companies = newIds.size();
    qint64 done = 1 + r->companies;
    if (progress)
        progress(done, total);

    // Pick-ups in batches, linked to the new subcontractors (those of none are left, as by the file).
    const QStringList pickupCols = withoutIds(QStringLiteral("pickuplog"));
    in.setForwardOnly(true);
    if (!run(in,
             QStringLiteral("SELECT p.idauthorizedcompany, %1 FROM %2.pickuplog AS p WHERE p.idproject = ? "
                            "ORDER BY p.rowid")
                 .arg(selectList("pickuplog", "p"), s),
             {c.projectId}))
        return failed(in.lastError(), reading);
    RowWriter writer(to, QStringLiteral("pickuplog"),
                     QStringList{QStringLiteral("idproject"), QStringLiteral("idauthorizedcompany")} + pickupCols);
    qint64 reported = 0;
    while (in.next()) {
        const auto link = newIds.constFind(in.value(0).toLongLong());
        if (link == newIds.cend())
            continue;
        if (!writer.add(QVariantList{r->projectId, *link} + rowOf(1, int(pickupCols.size()))))
            return failed(writer.lastError(), writing);
        if (progress && writer.written() != reported) { // once a batch
            reported = writer.written();
            progress(std::min(done + reported, total), total);
        }
    }
    if (in.lastError().isValid())
        return failed(in.lastError(), reading);
    if (!writer.flush())
        return failed(writer.lastError(), writing);
    in.finish();
    r->pickups = writer.written();
    if (!to.commit())
        return failed(to.lastError(), writing);
    return true;
}

// The import into a register on a server: the file is read through a SQLite
// connection of its own, with the same checks as into a file.
std::optional<ImportSummary> importIntoServer(QSqlDatabase d, const QString &file, std::optional<qint64> projectId,
                                              const Progress &progress, Failure *why)
{
    const QString name = QStringLiteral("qb_import_source");
    ImportSummary summary;
    Failure failure;
    bool imported = false;
    {
        QSqlDatabase src = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        src.setDatabaseName(QStringLiteral(":memory:"));
        src.setConnectOptions(QStringLiteral("QSQLITE_OPEN_URI;QSQLITE_BUSY_TIMEOUT=%1").arg(db::busyTimeout()));
        QSqlQuery q(src);
        if (!src.open() || !run(q, QStringLiteral("PRAGMA trusted_schema = OFF"))
            || !run(q, QStringLiteral("ATTACH DATABASE ? AS transfer"), {readOnlyUri(file)})) {
            failure = sqlFailure(q.lastError().isValid() ? q.lastError() : src.lastError(),
                                 QStringLiteral("The file \"%1\" cannot be opened").arg(shown(file)));
        } else {
            q.finish();
            // Read in one transaction, so that the file cannot change between check and copy.
            src.transaction();
            const std::optional<Checked> c = checkContents(src, QStringLiteral("transfer"), file, projectId, &failure);
            imported = c && copyToServer(src, QStringLiteral("transfer"), *c, d, progress, &summary, &failure);
            src.rollback();
        }
        q.finish();
        src.close();
    }
    QSqlDatabase::removeDatabase(name);
    if (!imported)
        return nothing(why, failure);
    db::registers().announce(); // rows of all three tables
    return summary;
}

} // namespace

std::optional<QList<ProjectEntry>> listProjects(const QString &file, Failure *why)
{
    if (!checkFile(file, why))
        return std::nullopt;
    Failure failure;
    bool listed = false;
    QList<ProjectEntry> out;
    // An empty in-memory database with the file attached: the same checks, and the
    // engine's own error codes, as the import itself.
    {
        QSqlDatabase d = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), kListConnection);
        d.setDatabaseName(QStringLiteral(":memory:"));
        d.setConnectOptions(QStringLiteral("QSQLITE_OPEN_URI;QSQLITE_BUSY_TIMEOUT=%1").arg(db::busyTimeout()));
        QSqlQuery q(d);
        if (!d.open()) {
            failure = sqlFailure(d.lastError(), QStringLiteral("The file \"%1\" cannot be opened").arg(shown(file)));
        } else if (!run(q, QStringLiteral("PRAGMA trusted_schema = OFF"))
                   || !run(q, QStringLiteral("ATTACH DATABASE ? AS transfer"), {readOnlyUri(file)})) {
            failure = sqlFailure(q.lastError(), QStringLiteral("The file \"%1\" cannot be opened").arg(shown(file)));
        } else {
            q.finish();
            if (checkContents(d, QStringLiteral("transfer"), file, std::nullopt, &failure)) {
                if (run(q,
                        QStringLiteral("SELECT id, projectname FROM transfer.project "
                                       "ORDER BY projectname COLLATE NOCASE, id"))) {
                    while (q.next())
                        out.append({q.value(0).toLongLong(), q.value(1).toString()});
                }
                listed = !q.lastError().isValid();
                if (!listed)
                    failure
                        = sqlFailure(q.lastError(), QStringLiteral("The file \"%1\" cannot be read").arg(shown(file)));
            }
        }
        q.finish();
        d.close();
    }
    QSqlDatabase::removeDatabase(kListConnection);
    if (!listed)
        return nothing(why, failure);
    return out;
}

std::optional<ImportSummary> importProject(QSqlDatabase d, const QString &file, std::optional<qint64> projectId,
                                           const Progress &progress, Failure *why)
{
    if (!checkFile(file, why))
        return std::nullopt;
    if (!d.isOpen())
        return nothing(why, Failure::notOpen());
    if (db::onServer(d))
        return importIntoServer(d, file, projectId, progress, why);
    detachPending();

    ImportSummary summary;
    Failure failure;
    bool imported = false;
    QSqlQuery q(d);
    QVariant trusted;
    scalar(q, QStringLiteral("PRAGMA trusted_schema"), {}, &trusted);
    run(q, QStringLiteral("PRAGMA trusted_schema = OFF"));
    q.finish();
    const QString s = freeAlias(d);
    if (!run(q, QStringLiteral("ATTACH DATABASE ? AS %1").arg(s), {readOnlyUri(file)})) {
        failure = sqlFailure(q.lastError(), QStringLiteral("The file \"%1\" cannot be opened").arg(shown(file)));
    } else {
        q.finish();
        // IMMEDIATE: the write lock is taken before anything is read, so nothing read can
        // change before it is written.
        if (!run(q, QStringLiteral("BEGIN IMMEDIATE"))) {
            failure = sqlFailure(q.lastError(), QStringLiteral("The database cannot be changed"));
        } else {
            q.finish();
            const std::optional<Checked> c = checkContents(d, s, file, projectId, &failure);
            imported = c && copyProject(d, s, *c, progress, &summary, &failure);
            if (imported && !run(q, QStringLiteral("COMMIT"))) {
                failure = sqlFailure(q.lastError(), QStringLiteral("The project cannot be added to the database"));
                imported = false;
            }
            q.finish();
            if (!imported) {
                run(q, QStringLiteral("ROLLBACK"));
                q.finish();
            }
        }
        if (!run(q, QStringLiteral("DETACH DATABASE %1").arg(s))) {
            pendingDetaches().append({d.connectionName(), s});
            scheduleDetachRetry();
        }
        q.finish();
    }
    if (trusted.isValid())
        run(q, QStringLiteral("PRAGMA trusted_schema = %1").arg(trusted.toInt() ? 1 : 0));
    q.finish();
    if (!imported)
        return nothing(why, failure);
    db::registers().announce(); // rows of all three tables
    return summary;
}

} // namespace core::transfer
