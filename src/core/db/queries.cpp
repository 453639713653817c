#include "core/db/queries.h"
#include "core/db/database.h"
#include "core/db/registers.h"
#include "core/db/schema.h"

#include <QSqlError>
#include <QSqlQuery>

namespace core::db {

namespace queries {

namespace {

// Every list of pick-ups starts with this select list and join (note the blank at its end).
const QString kPickupBase = QStringLiteral(
    "SELECT pickuplog.id,pickuplog.pickupdate, pickuplog.pickupby, pickuplog.package,pickuplog.note, "
    "authorizedcompanies.name FROM pickuplog LEFT JOIN authorizedcompanies ON pickuplog.idauthorizedcompany = "
    "authorizedcompanies.id ");

Query pickupsDated(const QString &filter, QVariantList binds, const QString &from, const QString &upto)
{
    binds << from << upto;
    return {kPickupBase + QStringLiteral("WHERE ") + filter
                + QStringLiteral("pickuplog.pickupdate >= ? AND pickuplog.pickupdate < ?"),
            binds};
}

} // namespace

Query everyProject()
{
    return {QStringLiteral("select * from project"), {}};
}

Query subcontractorsOfProject(const QVariant &project)
{
    return {QStringLiteral("select * from authorizedcompanies where idproject = ?"), {project}};
}

Query pickupsOfSubcontractorInProject(const QVariant &subcontractor, qint64 project)
{
    return {QStringLiteral("select * from pickuplog where idauthorizedcompany = ? and idproject = ? "
                           "order by pickupdate"),
            {subcontractor, project}};
}

Query activeProjectsByNameAndCompany()
{
    return {QStringLiteral("SELECT * FROM project WHERE active=-1 order by projectname,company"), {}};
}

Query inactiveProjects()
{
    return {QStringLiteral("SELECT * FROM project WHERE active <> -1"), {}};
}

Query listOfSubcontractors(const QVariant &project)
{
    return {QStringLiteral("SELECT * FROM authorizedcompanies WHERE idproject=?"), {project}};
}

Query subcontractorsNotPickedUp(const QVariant &project)
{
    return {QStringLiteral("SELECT * FROM authorizedcompanies WHERE idproject=? AND NOT EXISTS "
                           "(SELECT 1 FROM pickuplog WHERE pickuplog.idauthorizedcompany = authorizedcompanies.id)"),
            {project}};
}

Query pickupsOfProject(const QVariant &project)
{
    return {kPickupBase + QStringLiteral("WHERE pickuplog.idproject=?"), {project}};
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
    return {QStringLiteral("SELECT * FROM project WHERE active=-1 order by projectname"), {}};
}

Query subcontractorsByName()
{
    return {QStringLiteral("SELECT * FROM authorizedcompanies order by name"), {}};
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
