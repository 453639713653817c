#include "core/db/schema.h"
#include "core/db/database.h"
#include "core/db/dialect.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

namespace core::schema {

const QList<Table> &tables()
{
    static const QList<Table> t = {
        {QStringLiteral("project"),
         {QStringLiteral("id"), QStringLiteral("projectname"), QStringLiteral("company"), QStringLiteral("active")}},
        {QStringLiteral("authorizedcompanies"),
         {QStringLiteral("id"), QStringLiteral("idproject"), QStringLiteral("name"), QStringLiteral("address1"),
          QStringLiteral("address2"), QStringLiteral("city"), QStringLiteral("state"), QStringLiteral("zipcode"),
          QStringLiteral("telephone"), QStringLiteral("fax"), QStringLiteral("email"), QStringLiteral("website"),
          QStringLiteral("note"), QStringLiteral("pickupdate"), QStringLiteral("pickupby"), QStringLiteral("package"),
          QStringLiteral("active")}},
        {QStringLiteral("pickuplog"),
         {QStringLiteral("id"), QStringLiteral("idproject"), QStringLiteral("idauthorizedcompany"),
          QStringLiteral("pickupdate"), QStringLiteral("pickupby"), QStringLiteral("package"), QStringLiteral("note")}},
    };
    return t;
}

const Table &table(const QString &name)
{
    for (const Table &t : tables())
        if (t.name.compare(name, Qt::CaseInsensitive) == 0)
            return t;
    Q_ASSERT_X(false, "schema::table", "unknown table");
    return tables().first();
}

static QString columnType(const QString &column)
{
    if (column == QLatin1String("id"))
        return QStringLiteral("INTEGER PRIMARY KEY AUTOINCREMENT");
    if (column == QLatin1String("idproject") || column == QLatin1String("idauthorizedcompany"))
        return QStringLiteral("INTEGER");
    // Yes/no is never NULL: a missing value, from any writer, is stored as 0.
    if (column == QLatin1String("active"))
        return QStringLiteral("INTEGER NOT NULL ON CONFLICT REPLACE DEFAULT 0");
    if (column == QLatin1String("pickupdate"))
        return QStringLiteral("TEXT"); // ISO text; ordering by it is chronological
    return QStringLiteral("TEXT COLLATE NOCASE");
}

QString createTableStatement(const Table &t, const QString &as, const QStringList &extraColumns)
{
    QStringList cols;
    for (const QString &c : t.columns)
        cols << c + QLatin1Char(' ') + columnType(c);
    return QStringLiteral("CREATE TABLE %1 (%2)")
        .arg(as.isEmpty() ? t.name : as, (cols + extraColumns).join(QStringLiteral(", ")));
}

QStringList createTableStatements()
{
    QStringList out;
    for (const Table &t : tables())
        out << createTableStatement(t);
    return out;
}

// Every ordering a window shows is read from an index instead of sorting the whole
// table before the first row appears.
QStringList sortIndexStatements()
{
    return {
        QStringLiteral("CREATE INDEX IF NOT EXISTS ix_authorizedcompanies_name ON authorizedcompanies(name)"),
        QStringLiteral("CREATE INDEX IF NOT EXISTS ix_project_active_name ON project(active, projectname, company)")};
}

QStringList createIndexStatements()
{
    return QStringList{
               QStringLiteral("CREATE INDEX ix_authorizedcompanies_idproject ON authorizedcompanies(idproject)"),
               QStringLiteral("CREATE INDEX ix_pickuplog_company_project_date ON pickuplog(idauthorizedcompany, "
                              "idproject, pickupdate)"),
               QStringLiteral("CREATE INDEX ix_pickuplog_idproject ON pickuplog(idproject)"),
               QStringLiteral("CREATE INDEX ix_pickuplog_pickupdate ON pickuplog(pickupdate)"),
           }
    + sortIndexStatements();
}

static std::optional<int> pragmaInt(QSqlDatabase &db, const char *name, QSqlError *error)
{
    QSqlQuery q(db);
    if (!q.exec(QStringLiteral("PRAGMA %1").arg(QLatin1String(name))) || !q.next()) {
        *error = q.lastError();
        return std::nullopt;
    }
    return q.value(0).toInt();
}

bool runAll(QSqlDatabase &db, const QStringList &statements, Failure *why)
{
    const auto failed = [&](const QSqlError &e) {
        // The server's own words say it; its driver's text adds only noise.
        const bool server = db.driverName() == QLatin1String("QPSQL") && !e.databaseText().isEmpty();
        const QString reason = server ? e.databaseText().trimmed() : e.text();
        return fail(
            why,
            Failure::from(e, QStringLiteral("The database \"%1\" cannot be set up: %2.").arg(db::shownFile(db), reason),
                          reason));
    };
    if (!db.transaction())
        return failed(db.lastError());
    for (const QString &s : statements) {
        QSqlQuery q(db);
        if (!q.exec(s)) {
            const QSqlError e = q.lastError();
            q.finish();
            db.rollback();
            return failed(e);
        }
    }
    if (!db.commit()) {
        const QSqlError e = db.lastError();
        db.rollback();
        return failed(e);
    }
    return true;
}

bool createMain(QSqlDatabase &db, Failure *why)
{
    QStringList all = createTableStatements() + createIndexStatements();
    all << QStringLiteral("PRAGMA application_id = %1").arg(kApplicationId)
        << QStringLiteral("PRAGMA user_version = %1").arg(kVersion);
    return runAll(db, all, why);
}

bool createTransferTemplate(QSqlDatabase &db, Failure *why)
{
    return runAll(db,
                  {QStringLiteral("PRAGMA application_id = %1").arg(kTransferApplicationId),
                   QStringLiteral("PRAGMA user_version = %1").arg(kTransferVersion)},
                  why);
}

bool validateMain(QSqlDatabase &db, const QString &path, Failure *why)
{
    const auto notOurs = [&](const QString &reason) {
        return fail(why, Failure::withReason(db::cannotOpenMessage(path, reason), reason));
    };
    QSqlError error;
    const std::optional<int> appId = pragmaInt(db, "application_id", &error);
    const std::optional<int> version = appId ? pragmaInt(db, "user_version", &error) : std::nullopt;
    if (!appId || !version)
        return fail(why, Failure::from(error, db::cannotOpenMessage(path, error.text()), error.text()));
    if (const std::optional<QString> reason = refusal(db, *appId, *version))
        return notOurs(*reason);
    return true;
}

int currentVersion(const QSqlDatabase &db)
{
    return db::onServer(db) ? kServerVersion : kVersion;
}

std::optional<QString> refusal(const QSqlDatabase &db, int applicationId, int version)
{
    if (applicationId != kApplicationId)
        return QStringLiteral("it is not a Quillbern database");
    if (version > currentVersion(db))
        return QStringLiteral("it was made by a newer version of Quillbern (format %1)").arg(version);
    for (const Table &t : tables()) {
        const QSqlRecord rec = db.record(t.name);
        if (rec.isEmpty())
            return QStringLiteral("the table \"%1\" is missing").arg(t.name);
        for (const QString &c : t.columns)
            if (rec.indexOf(c) < 0)
                return QStringLiteral("the column \"%1\" of the table \"%2\" is missing").arg(c, t.name);
    }
    return std::nullopt;
}

} // namespace core::schema
