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

// Told the steps done so far and the steps in all; returning false cancels.
using Steps = std::function<bool(qint64 done, qint64 total)>;

// The number of the failure a cancelled reading gives (nothing needs saying then).
constexpr int kCancelled = 9;

// A transfer file read once into a private copy and checked there as untrusted
// input: every check an import makes of the file as a whole has passed. Nothing is
// ever created beside the user's file, and the copy goes with this object.
class Source
{
public:
    struct Private;
    explicit Source(std::unique_ptr<Private> d);
    ~Source();
    Source(const Source &) = delete;
    Source &operator=(const Source &) = delete;

    // The file as the user chose it.
    QString file() const;
    // Its projects, ascending by name.
    const QList<ProjectEntry> &projects() const;
    // Whether the user's file is still the one that was read.
    bool unchanged() const;
    // The checked private copy, a SQLite file of the transfer tables.
    QString copyPath() const;

private:
    std::unique_ptr<Private> d;
};

// Reads and checks the transfer file `file` (one of ours, or one of the old program's
// format), telling `steps` how far it has come.
std::unique_ptr<Source> readTransfer(const QString &file, const Steps &steps = {}, Failure *why = nullptr);

// The projects of a transfer file, ascending by name, once the whole file has passed
// the checks an import makes.
std::optional<QList<ProjectEntry>> listProjects(const QString &file, Failure *why = nullptr);

struct ImportSummary
{
    qint64 projectId = 0; // the new project's id
    qint64 companies = 0;
    qint64 pickups = 0;
};

// Adds project `projectId` of a checked transfer file (its first project when none
// is given), with that project's subcontractors and all their pick-ups, to the
// database open on `mainDb`, under new ids. One transaction: everything or nothing;
// the rows written are counted against the rows the file holds. A committed import
// is announced as a change of any table.
std::optional<ImportSummary> importProject(QSqlDatabase mainDb, const Source &source,
                                           std::optional<qint64> projectId = std::nullopt,
                                           const Progress &progress = {}, Failure *why = nullptr);

// Why a file cannot be imported while no database is open.
Failure noDatabaseFor(const QString &file);

// The same, reading the file first.
std::optional<ImportSummary> importProject(QSqlDatabase mainDb, const QString &file,
                                           std::optional<qint64> projectId = std::nullopt,
                                           const Progress &progress = {}, Failure *why = nullptr);

} // namespace core::transfer
