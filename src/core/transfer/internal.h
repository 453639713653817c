#pragma once
// Helpers shared by the export and the import; not part of the public interface.
#include "core/db/rowset.h"
#include "core/transfer/transfer.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <QStringList>
#include <QVariantList>

// SQLite's primary result codes are the numbers the user is shown.
#include <sqlite3.h>

namespace core::transfer::detail {

// Prepares `sql`, binds `binds` in order and runs it.
bool run(QSqlQuery &q, const QString &sql, const QVariantList &binds = {});

// Runs `sql` and puts the first column of its first row (invalid when there is no
// row) into `out`. False on failure, with the error left in `q`.
bool scalar(QSqlQuery &q, const QString &sql, const QVariantList &binds, QVariant *out);

// SQLite's own connection under `d`; null when `d` is not a SQLite connection.
sqlite3 *sqliteHandle(const QSqlDatabase &d);
// The last error on `db`, as the driver would have reported it.
QSqlError sqliteError(sqlite3 *db);

// `what` followed by a plain reason for a database error, with the engine's own text.
Failure sqlFailure(const QSqlError &e, const QString &what);

// The columns of a table as a comma-separated list, optionally prefixed by `alias.`.
QString columnList(const QStringList &columns, const QString &alias = {});

// Path as the user reads it.
QString shown(const QString &path);

// Removes what transfers of processes no longer running left in `folder`: the
// entries named `prefix` + process id + "-" + anything.
void removeLeftovers(const QString &folder, const QString &prefix);

// The name prefix, with this process's id, of a working file or folder.
QString workingName(const QString &prefix);

// Calls `steps` now and then while statements run on `d`; a false answer interrupts
// the running statement. Cleared when the object goes.
class StepWatch
{
public:
    StepWatch(QSqlDatabase &d, Steps steps, qint64 from, qint64 total);
    ~StepWatch();
    bool cancelled() const { return m_cancelled; }

private:
    static int tick(void *self);
    void *m_handle = nullptr;
    Steps m_steps;
    qint64 m_done, m_total;
    bool m_cancelled = false;
};

} // namespace core::transfer::detail
