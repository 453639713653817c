#include "core/db/queries.h"
#include "core/db/database.h"
#include "core/db/dialect.h"
#include "core/db/registers.h"
#include "core/db/schema.h"

#include <QSqlError>
#include <QSqlQuery>

namespace core::db {

namespace queries {

namespace {

// The file returns rows in the order of the index or table it reads; the server
// promises no order without ORDER BY (an updated row moves), so its texts say the
// order the file gives.
QString both(const QString &file, const QString &server)
{
    return dialect(main(), file, server);
}

// Every list of pick-ups starts with this select list and join (note the blank at its end).
const QString kPickupBase = QStringLiteral(
    "SELECT pickuplog.id,pickuplog.pickupdate, pickuplog.pickupby, pickuplog.package,pickuplog.note, "
    "authorizedcompanies.name FROM pickuplog LEFT JOIN authorizedcompanies ON pickuplog.idauthorizedcompany = "
    "authorizedcompanies.id ");

Query pickupsDated(const QString &filter, QVariantList binds, const QString &from, const QString &upto)
{
    binds << from << upto;
    const QString sql = kPickupBase + QStringLiteral("WHERE ") + filter
        + QStringLiteral("pickuplog.pickupdate >= ? AND pickuplog.pickupdate < ?");
    return {both(sql, sql + QStringLiteral(" ORDER BY pickuplog.pickupdate, pickuplog.id")), binds};
}

} // namespace

Query everyProject()
{
    return {both(QStringLiteral("select * from project"), QStringLiteral("select * from project order by id")), {}};
}

Query subcontractorsOfProject(const QVariant &project)
{
    return {both(QStringLiteral("select * from authorizedcompanies where idproject = ?"),
                 QStringLiteral("select * from authorizedcompanies where idproject = ? order by id")),
            {project}};
}

Query pickupsOfSubcontractorInProject(const QVariant &subcontractor, qint64 project)
{
    return {QStringLiteral("select * from pickuplog where idauthorizedcompany = ? and idproject = ? "
                           "order by pickupdate"),
            {subcontractor, project}};
}

Query activeProjectsByNameAndCompany()
{
    return {both(QStringLiteral("SELECT * FROM project WHERE active=-1 order by projectname,company"),
                 QStringLiteral("SELECT * FROM project WHERE active=-1 order by projectname,company,id")),
            {}};
}

Query inactiveProjects()
{
    return {both(QStringLiteral("SELECT * FROM project WHERE active <> -1"),
                 QStringLiteral("SELECT * FROM project WHERE active <> -1 order by id")),
            {}};
}

Query listOfSubcontractors(const QVariant &project)
{
    return {both(QStringLiteral("SELECT * FROM authorizedcompanies WHERE idproject=?"),
                 QStringLiteral("SELECT * FROM authorizedcompanies WHERE idproject=? order by id")),
            {project}};
}

Query subcontractorsNotPickedUp(const QVariant &project)
{
    const QString sql
        = QStringLiteral("SELECT * FROM authorizedcompanies WHERE idproject=? AND NOT EXISTS "
                         "(SELECT 1 FROM pickuplog WHERE pickuplog.idauthorizedcompany = authorizedcompanies.id)");
    return {both(sql, sql + QStringLiteral(" order by id")), {project}};
}

Query pickupsOfProject(const QVariant &project)
{
    const QString sql = kPickupBase + QStringLiteral("WHERE pickuplog.idproject=?");
    return {both(sql, sql + QStringLiteral(" ORDER BY pickuplog.id")), {project}};
}

Query pickupsBetween(const QString &from, const QString &upto)
{
    return pickupsDated(QString(), {}, from, upto);
}

Query projectPickupsBetween(const QVariant &project, const QString &from, const QString &upto)
{
    return pickupsDated(QStringLiteral("pickuplog.idproject = ? AND "), {project}, from, upto);
}

Query subcontractorPickupsBetween(const QVariant &subcontractor, const QString &from, const QString &upto)
{
    return pickupsDated(QStringLiteral("pickuplog.idauthorizedcompany = ? AND "), {subcontractor}, from, upto);
}

Query activeProjectsByName()
{
    return {both(QStringLiteral("SELECT * FROM project WHERE active=-1 order by projectname"),
                 QStringLiteral("SELECT * FROM project WHERE active=-1 order by projectname, id")),
            {}};
}

Query subcontractorsByName()
{
    return {both(QStringLiteral("SELECT * FROM authorizedcompanies order by name"),
                 QStringLiteral("SELECT * FROM authorizedcompanies order by name, id")),
            {}};
}

} // namespace queries

std::optional<RowSet> projectById(qint64 id, Failure *why)
{
    return readRows({QStringLiteral("select * from project where id = ?"), {id}}, why);
}

std::optional<RowSet> subcontractorById(qint64 id, Failure *why)
{
    return readRows({QStringLiteral("select * from authorizedcompanies where id = ?"), {id}}, why);
}

namespace {

std::optional<QString> nameOf(const Query &query, Failure *why)
{
    const std::optional<RowSet> rows = readRows(query, why);
    if (!rows)
        return std::nullopt;
    return rows->value(0, QStringLiteral("name")).toString();
}

} // namespace

std::optional<QString> projectName(qint64 id, Failure *why)
{
    return nameOf({QStringLiteral("SELECT projectname AS name FROM project WHERE id = ?"), {id}}, why);
}

std::optional<QString> subcontractorName(qint64 id, Failure *why)
{
    return nameOf({QStringLiteral("SELECT name FROM authorizedcompanies WHERE id = ?"), {id}}, why);
}

bool deleteRecord(const QString &table, qint64 id, Failure *why)
{
    // The table's name goes into the text: only one of ours may.
    QString name;
    for (const schema::Table &t : schema::tables())
        if (t.name.compare(table, Qt::CaseInsensitive) == 0)
            name = t.name;
    if (name.isEmpty())
        return fail(why, Failure::plain(QStringLiteral("There is no table \"%1\".").arg(table)));
    if (!mainIsOpen())
        return fail(why, Failure::notOpen());
    { // the statement is gone before anyone re-reads
        QSqlQuery q(main());
        if (!q.prepare(QStringLiteral("DELETE FROM %1 WHERE id = ?").arg(name)))
            return fail(why, Failure::from(q.lastError()));
        q.addBindValue(id);
        if (!q.exec())
            return fail(why, Failure::from(q.lastError()));
    }
    registers().announce(name, Registers::Deleted);
    return true;
}

} // namespace core::db
