#include "core/db/schema.h"

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
          QStringLiteral("note"), QStringLiteral("pickupdate"), QStringLiteral("pickupby"),
          QStringLiteral("package"), QStringLiteral("active")}},
        {QStringLiteral("pickuplog"),
         {QStringLiteral("id"), QStringLiteral("idproject"), QStringLiteral("idauthorizedcompany"),
          QStringLiteral("pickupdate"), QStringLiteral("pickupby"), QStringLiteral("package"),
          QStringLiteral("note")}},
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
    if (column == QLatin1String("active"))
        return QStringLiteral("INTEGER DEFAULT 0");
    if (column == QLatin1String("pickupdate"))
        return QStringLiteral("TEXT"); // ISO text; ordering by it is chronological
    return QStringLiteral("TEXT COLLATE NOCASE");
}

QStringList createTableStatements()
{
    QStringList out;
    for (const Table &t : tables()) {
        QStringList cols;
        for (const QString &c : t.columns)
            cols << c + QLatin1Char(' ') + columnType(c);
        out << QStringLiteral("CREATE TABLE %1 (%2)").arg(t.name, cols.join(QStringLiteral(", ")));
    }
    return out;
}

QStringList createIndexStatements()
{
    return {
        QStringLiteral("CREATE INDEX ix_authorizedcompanies_idproject ON authorizedcompanies(idproject)"),
        QStringLiteral("CREATE INDEX ix_pickuplog_company_project_date ON pickuplog(idauthorizedcompany, idproject, pickupdate)"),
        QStringLiteral("CREATE INDEX ix_pickuplog_idproject ON pickuplog(idproject)"),
        QStringLiteral("CREATE INDEX ix_pickuplog_pickupdate ON pickuplog(pickupdate)"),
    };
}

static QString runAll(QSqlDatabase &db, const QStringList &statements)
{
    if (!db.transaction())
        return db.lastError().text();
    for (const QString &s : statements) {
        QSqlQuery q(db);
        if (!q.exec(s)) {
            const QString why = q.lastError().text();
            q.finish();
            db.rollback();
            return why;
        }
    }
    if (!db.commit()) {
        const QString why = db.lastError().text();
        db.rollback();
        return why;
    }
    return {};
}

QString createMain(QSqlDatabase &db)
{
    QStringList all = createTableStatements() + createIndexStatements();
    all << QStringLiteral("PRAGMA application_id = %1").arg(kApplicationId)
        << QStringLiteral("PRAGMA user_version = %1").arg(kVersion);
    return runAll(db, all);
}

QString createTransferTemplate(QSqlDatabase &db)
{
    return runAll(db, {QStringLiteral("PRAGMA application_id = %1").arg(kTransferApplicationId),
                       QStringLiteral("PRAGMA user_version = %1").arg(kVersion)});
}

static int pragmaInt(QSqlDatabase &db, const char *name, QString *error)
{
    QSqlQuery q(db);
    if (!q.exec(QStringLiteral("PRAGMA %1").arg(QLatin1String(name))) || !q.next()) {
        *error = q.lastError().text();
        return -1;
    }
    return q.value(0).toInt();
}

QString validateMain(QSqlDatabase &db)
{
    QString error;
    const int appId = pragmaInt(db, "application_id", &error);
    if (!error.isEmpty())
        return error;
    const int version = pragmaInt(db, "user_version", &error);
    if (!error.isEmpty())
        return error;
    if (appId != kApplicationId)
        return QStringLiteral("it is not a Quillbern database");
    if (version > kVersion)
        return QStringLiteral("it was made by a newer version of Quillbern (format %1)").arg(version);
    for (const Table &t : tables()) {
        const QSqlRecord rec = db.record(t.name);
        if (rec.isEmpty())
            return QStringLiteral("the table \"%1\" is missing").arg(t.name);
        for (const QString &c : t.columns)
            if (rec.indexOf(c) < 0)
                return QStringLiteral("the column \"%1\" of the table \"%2\" is missing").arg(c, t.name);
    }
    return {};
}

} // namespace core::schema
