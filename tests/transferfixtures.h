#pragma once
// Fixtures for the export and import tests: transfer files made by the tests
// themselves, and a view of one project's rows that does not depend on ids.
#include <QByteArray>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <functional>

namespace fixtures {

QByteArray fileHash(const QString &path);
// Every entry of a folder, hidden ones included, sorted.
QStringList folderEntries(const QString &folder);

// Opens (creating when needed) a SQLite file on a connection of its own, runs `body`
// and closes it. False when the file cannot be opened or `body` fails.
bool withFile(const QString &path, const std::function<bool(QSqlDatabase &)> &body);
// Runs each statement; fails (with a QWARN) at the first that fails.
bool execAll(QSqlDatabase &d, const QStringList &statements);

// A project's rows in a form that survives an import: values as text (NULL
// marked), subcontractors in id order, pick-ups naming their subcontractor by its
// position in that order.
struct ProjectData
{
    QStringList project;
    QList<QStringList> companies;
    QList<QStringList> pickups;
    bool operator==(const ProjectData &) const = default;
};
ProjectData readProject(QSqlDatabase d, qint64 projectId);
QString describe(const ProjectData &p);

// The main database's counts of projects, subcontractors, pick-ups and schema objects.
QList<qint64> counts(QSqlDatabase d);

} // namespace fixtures
