#pragma once
#include "core/db/rowset.h"

#include <QDateTime>
#include <QList>
#include <QSqlDatabase>
#include <QString>
#include <functional>
#include <memory>
#include <optional>

// Export of one project into a transfer file, and its import.
namespace core::transfer {

// Where the transfer template lies in an export folder.
QString templatePath(const QString &exportFolder);

// Creates the empty template in `exportFolder` when it is missing.
bool ensureTemplate(const QString &exportFolder, Failure *why = nullptr);

// A number as the messages write it: one blank before a number that is not negative.
QString numberText(qint64 n);

// Told the rows copied so far and the rows to copy in all; the first call has done 0.
using Progress = std::function<void(qint64 done, qint64 total)>;

// Transfers of at least this many rows are worth showing progress for.
constexpr qint64 kProgressThreshold = 5000;

// "ERROR: " with the number (its blank before it), ": " and the description.
QString errorText(const Failure &failure);

// ---- export ----------------------------------------------------------------------

// The project name with every character a file name cannot hold turned into "_"
// (shortened when the name would not fit a file name), then " hhss_mmdd" and ".mdb".
QString transferFileName(const QString &pname, const QDateTime &when);

struct ExportSummary
{
    QString path; // the transfer file written
    qint64 companies = 0;
    qint64 pickups = 0;
};

// Writes project `projectId` of the database `mainFile`, with its subcontractors and
// their pick-ups, into a new transfer file in `exportFolder` named after `pname` and
// `when`. The file appears only when complete; an existing file is never replaced.
std::optional<ExportSummary> exportProject(const QString &mainFile, const QString &exportFolder, qint64 projectId,
                                           const QString &pname, const QDateTime &when, const Progress &progress = {},
                                           Failure *why = nullptr);

// ---- import ----------------------------------------------------------------------

struct ProjectEntry
{
    qint64 id = 0;
    QString name;
};

// The projects of a transfer file, ascending by name, once the whole file has passed
// the checks an import makes.
std::optional<QList<ProjectEntry>> listProjects(const QString &file, Failure *why = nullptr);

struct ImportSummary
{
    qint64 projectId = 0; // the new project's id
    qint64 companies = 0;
    qint64 pickups = 0;
};

// Adds project `projectId` of the transfer file (its first project when none is
// given), with that project's subcontractors and their pick-ups, to the database
// open on `mainDb`, under new ids. One transaction: everything or nothing. The file
// is opened read-only and checked as untrusted input first. A committed import is
// announced as a change of any table.
std::optional<ImportSummary> importProject(QSqlDatabase mainDb, const QString &file,
                                           std::optional<qint64> projectId = std::nullopt,
                                           const Progress &progress = {}, Failure *why = nullptr);

} // namespace core::transfer
