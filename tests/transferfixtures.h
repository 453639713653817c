#pragma once
// Shared by the export and import tests: files, rows read as text, messages said.
#include "support/testservices.h"

#include <QSqlDatabase>
#include <QStringList>
#include <QVariantList>
#include <functional>
#include <sys/resource.h>

namespace fixtures {

QByteArray fileHash(const QString &path);
QStringList folderEntries(const QString &folder); // hidden entries too, sorted
// Opens (creating when needed) a SQLite file on a connection of its own and runs `body`.
bool withFile(const QString &path, const std::function<bool(QSqlDatabase &)> &body);
bool execAll(QSqlDatabase &d, const QStringList &statements); // QWARNs the first that fails
// Every row of `sql` as text, NULL marked; `typed` appends each value's type.
QList<QStringList> rows(QSqlDatabase d, const QString &sql, const QVariantList &binds = {}, bool typed = true);
QStringList said(const RecordingMessages &m); // "title|text" per message shown

// A project's rows without their ids: subcontractors in id order, pick-ups naming
// their subcontractor by its position in that order.
struct ProjectData
{
    QStringList project;
    QList<QStringList> companies, pickups;
    bool operator==(const ProjectData &) const = default;
};
ProjectData readProject(QSqlDatabase d, qint64 projectId);
QString describe(const ProjectData &p);
// Projects, subcontractors, pick-ups and schema objects of a database.
QList<qint64> counts(QSqlDatabase d);
// Whether a progress dialog was shown while `run` ran.
bool sawProgressDialog(const std::function<void()> &run);

// A file-size limit stands in for a full disk: writes past it fail as they would.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(qint64 bytes);
    ~FileSizeLimit();
    bool ok = false;

private:
    rlimit m_saved{};
};

} // namespace fixtures
