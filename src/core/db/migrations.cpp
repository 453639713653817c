#include "core/db/migrations.h"
#include "core/db/database.h"
#include "core/db/dialect.h"
#include "core/db/pgserver.h"
#include "core/db/schema.h"

#include <QRegularExpression>
#include <QSqlError>
#include <QSqlQuery>

#include <iterator>

namespace core::schema {

namespace {

bool run(QSqlQuery &q, const QString &sql, const QVariantList &binds = {})
{
    // A server prepares no statement that changes tables.
    if (binds.isEmpty())
        return q.exec(sql);
    if (!q.prepare(sql))
        return false;
    for (const QVariant &b : binds)
        q.addBindValue(b);
    return q.exec();
}

// SQLite cannot change a column's constraints in place: the table is made again
// under the current definition, keeping its rows, ids, id counter, indexes and any
// column of someone else's.
bool rebuild(QSqlQuery &q, const QString &name)
{
    const Table &t = table(name);
    QStringList indexes, extra, copied = t.columns;
    if (!run(q,
             QStringLiteral("SELECT sql FROM sqlite_master WHERE type = 'index' AND tbl_name = ? AND sql IS NOT NULL"),
             {t.name}))
        return false;
    while (q.next())
        indexes << q.value(0).toString();
    if (!run(q, QStringLiteral("SELECT name, type FROM pragma_table_info(?)"), {t.name}))
        return false;
    while (q.next()) {
        const QString column = q.value(0).toString();
        if (!t.columns.contains(column, Qt::CaseInsensitive)) {
            extra << QStringLiteral("\"%1\" %2").arg(column, q.value(1).toString());
            copied << QStringLiteral("\"%1\"").arg(column);
        }
    }
    QVariant counter;
    if (!run(q, QStringLiteral("SELECT seq FROM sqlite_sequence WHERE name = ?"), {t.name}))
        return false;
    if (q.next())
        counter = q.value(0);

    const QString rebuilt = QStringLiteral("qb_rebuild_") + t.name;
    const QString columns = copied.join(QStringLiteral(", "));
    // The copy stores 0 where a yes/no value was NULL (the column's ON CONFLICT REPLACE).
    if (!run(q, createTableStatement(t, rebuilt, extra))
        || !run(q, QStringLiteral("INSERT INTO %1 (%2) SELECT %2 FROM %3").arg(rebuilt, columns, t.name))
        || !run(q, QStringLiteral("DROP TABLE %1").arg(t.name))
        || !run(q, QStringLiteral("ALTER TABLE %1 RENAME TO %2").arg(rebuilt, t.name)))
        return false;
    for (const QString &index : indexes)
        if (!run(q, index))
            return false;
    // Ids are never reused: the counter goes on from where it stood, not from the
    // highest id left.
    if (counter.isValid()) {
        if (!run(q, QStringLiteral("UPDATE sqlite_sequence SET seq = max(seq, ?) WHERE name = ?"), {counter, t.name}))
            return false;
        if (q.numRowsAffected() == 0
            && !run(q, QStringLiteral("INSERT INTO sqlite_sequence (name, seq) VALUES (?, ?)"), {t.name, counter}))
            return false;
    }
    return true;
}

// 1 -> 2: a yes/no column never holds NULL (such a project was in neither list of
// projects); existing NULLs become 0.
bool yesNoNeverNull(QSqlQuery &q)
{
    return rebuild(q, QStringLiteral("project")) && rebuild(q, QStringLiteral("authorizedcompanies"));
}

// The same on a server: NOT NULL DEFAULT 0, with the trigger that stores 0 for a
// NULL as the file's ON CONFLICT REPLACE does.
bool yesNoNeverNullOnServer(QSqlQuery &q)
{
    for (const Table &t : tables()) {
        if (!t.columns.contains(QLatin1String("active")))
            continue;
        if (!run(q, QStringLiteral("UPDATE %1 SET active = 0 WHERE active IS NULL").arg(t.name))
            || !run(q,
                    QStringLiteral("ALTER TABLE %1 ALTER COLUMN active SET DEFAULT 0, "
                                   "ALTER COLUMN active SET NOT NULL")
                        .arg(t.name)))
            return false;
    }
    for (const QString &statement : serverYesNoStatements())
        if (!run(q, statement))
            return false;
    return true;
}

// 2 -> 3: every ordering a window shows is read from an index instead of sorting
// the whole table before the first row appears.
bool sortIndexes(QSqlQuery &q)
{
    for (const QString &statement : sortIndexStatements())
        if (!run(q, statement))
            return false;
    return true;
}

// 3 -> 4, on a server only: a register made at 3 before its yes/no columns were NOT
// NULL gets them (once more where it has them), and the indexes on a project's rows
// end in the id.
bool serverCatchUp(QSqlQuery &q)
{
    for (const Table &t : tables())
        if (t.columns.contains(QLatin1String("active"))
            && !run(q, QStringLiteral("DROP TRIGGER IF EXISTS %1_yes_no ON %1").arg(t.name)))
            return false;
    if (!yesNoNeverNullOnServer(q)
        || !run(q, QStringLiteral("DROP INDEX IF EXISTS ix_authorizedcompanies_idproject, ix_pickuplog_idproject")))
        return false;
    for (const QString &statement : serverIndexStatements())
        if (statement.contains(QLatin1String("(idproject, id)")) && !run(q, statement))
            return false;
    return true;
}

// 4 -> 5, on a server only: the indexes of the columns the lists order by hold NULL
// first, as the lists now ask, so that the server still reads them in order.
bool serverNullsFirst(QSqlQuery &q)
{
    static const QRegularExpression name(QStringLiteral("(\\w+) ON "));
    for (const QString &statement : serverIndexStatements())
        if (statement.contains(QLatin1String("NULLS FIRST"))
            && (!run(q, QStringLiteral("DROP INDEX IF EXISTS %1").arg(name.match(statement).captured(1)))
                || !run(q, statement)))
            return false;
    return true;
}

struct Step
{
    int to;                       // the version the step leaves
    bool (*onFile)(QSqlQuery &q); // null: a server's step only
    bool (*onServer)(QSqlQuery &q);
};

// In the order of the versions they lead to; the last one reaches kVersion.
constexpr Step kSteps[] = {
    {2, &yesNoNeverNull, &yesNoNeverNullOnServer},
    {3, &sortIndexes, &sortIndexes},
    {4, nullptr, &serverCatchUp},
    {5, nullptr, &serverNullsFirst},
};
static_assert(std::end(kSteps)[-1].to == kServerVersion, "every version has its step");

} // namespace

bool migrate(QSqlDatabase &db, Failure *why)
{
    const bool server = db::onServer(db);
    const int current = currentVersion(db);
    const auto failed = [&](const QSqlError &e) {
        // The server's own words say it; its driver's text adds only noise.
        const QString reason = server && !e.databaseText().isEmpty() ? e.databaseText().trimmed() : e.text();
        return fail(
            why,
            Failure::from(
                e,
                QStringLiteral("The database \"%1\" cannot be brought up to date: %2.").arg(db::shownFile(db), reason),
                reason));
    };
    const auto readVersion = [&](QSqlQuery &q, bool lock, int *version) {
        if (!q.exec(server ? serverVersionSelect(lock) : QStringLiteral("PRAGMA user_version")) || !q.next())
            return false;
        *version = q.value(0).toInt();
        q.finish();
        return true;
    };
    int version = 0;
    {
        QSqlQuery q(db);
        if (!readVersion(q, false, &version))
            return failed(q.lastError());
    }
    if (version >= current)
        return true;
    if (!db.transaction())
        return failed(db.lastError());
    QSqlError error;
    {
        QSqlQuery q(db);
        // Desks opening the server's register at once: the first brings it up to
        // date, the others wait on the stamp and find nothing left to do.
        if (server && !readVersion(q, true, &version))
            error = q.lastError();
        for (const Step &step : kSteps) {
            if (error.isValid() || step.to <= version || step.to > current)
                continue;
            if (!(server ? step.onServer : step.onFile)(q))
                error = q.lastError();
        }
        if (!error.isValid()
            && !q.exec(server ? serverVersionUpdate(current) : QStringLiteral("PRAGMA user_version = %1").arg(current)))
            error = q.lastError();
    }
    if (!error.isValid() && db.commit())
        return true;
    if (!error.isValid())
        error = db.lastError();
    db.rollback();
    return failed(error);
}

} // namespace core::schema
