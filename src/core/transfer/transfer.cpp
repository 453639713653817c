#include "core/transfer/transfer.h"
#include "core/transfer/internal.h"

#include "core/app/globals.h"
#include "core/db/database.h"
#include "core/db/pgserver.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <QSqlDriver>
#include <QSqlError>
#include <QSysInfo>
#include <cerrno>
#include <csignal>
#include <sqlite3.h>
#include <unistd.h>

namespace core::transfer {

QString templatePath(const QString &exportFolder)
{
    return core::joinPath(exportFolder, core::kTemplateFileName);
}

bool ensureTemplate(const QString &exportFolder, Failure *why)
{
    const QString path = templatePath(exportFolder);
    return QFileInfo::exists(path) || db::createTemplateFile(path, why);
}

QString errorText(const Failure &failure)
{
    return QStringLiteral("ERROR: ") + numberText(failure.number) + QStringLiteral(": ") + failure.description;
}

QString numberText(qint64 n)
{
    return n >= 0 ? QLatin1Char(' ') + QString::number(n) : QString::number(n);
}

namespace detail {

bool run(QSqlQuery &q, const QString &sql, const QVariantList &binds)
{
    if (!q.prepare(sql))
        return false;
    for (const QVariant &b : binds)
        q.addBindValue(b);
    return q.exec();
}

bool scalar(QSqlQuery &q, const QString &sql, const QVariantList &binds, QVariant *out)
{
    *out = QVariant();
    if (!run(q, sql, binds))
        return false;
    if (q.next())
        *out = q.value(0);
    const bool ok = !q.lastError().isValid();
    q.finish();
    return ok;
}

Failure sqlFailure(const QSqlError &e, const QString &what)
{
    Failure f = Failure::from(e);
    // A server's error carries its five-character SQLSTATE, which SQLite's codes below
    // would misread (22021, a byte the server refuses, would say the file is in use).
    if (e.nativeErrorCode().size() == 5) {
        f.number = SQLITE_ERROR;
        f.description = QStringLiteral("%1: %2.").arg(what, db::serverReason(e));
        return f;
    }
    // Extended codes carry the primary code in their low byte.
    const int code = f.number & 0xff;
    const QString busy = QStringLiteral("the file is in use by another program (it may still be being written); "
                                        "try again when that program has finished");
    const QHash<int, QString> reasons = {
        {SQLITE_BUSY, busy},
        {SQLITE_LOCKED, busy},
        {SQLITE_READONLY, QStringLiteral("the file cannot be written")},
        {SQLITE_IOERR, QStringLiteral("the disk could not be read or written (it may be full or removed)")},
        {SQLITE_CORRUPT, QStringLiteral("the file is damaged")},
        {SQLITE_FULL, QStringLiteral("the disk is full")},
        {SQLITE_CANTOPEN, QStringLiteral("the file cannot be opened")},
        {SQLITE_NOTADB, QStringLiteral("it is not a database file")},
    };
    const QString reason = reasons.value(code);
    if (f.number < 0 || code == 0)
        f.number = SQLITE_ERROR;
    else
        f.number = code;
    // The engine's own words only where no plain reason is known; they stay in the detail.
    f.description = QStringLiteral("%1: %2.").arg(what, reason.isEmpty() ? f.description : reason);
    return f;
}

QString columnList(const QStringList &columns, const QString &alias)
{
    if (alias.isEmpty())
        return columns.join(QStringLiteral(", "));
    QStringList out;
    for (const QString &c : columns)
        out << alias + QLatin1Char('.') + c;
    return out.join(QStringLiteral(", "));
}

QString shown(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

QString workingName(const QString &prefix)
{
    // The host too: on a shared folder, another computer's process ids mean nothing here.
    QString host = QSysInfo::machineHostName();
    host.replace(QRegularExpression(QStringLiteral("[^A-Za-z0-9.]")), QStringLiteral("_"));
    return prefix + QString::number(::getpid()) + QLatin1Char('-') + host + QLatin1Char('-');
}

void removeLeftovers(const QString &folder, const QString &prefix)
{
    QString host = workingName(prefix);
    host = host.mid(host.indexOf(QLatin1Char('-'), prefix.size()));
    const QDir dir(folder);
    const QStringList names = dir.entryList({prefix + QLatin1Char('*')},
                                            QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QString &name : names) {
        const QString rest = name.mid(prefix.size());
        const qsizetype dash = rest.indexOf(QLatin1Char('-'));
        bool isPid = false;
        const qint64 pid = rest.left(dash).toLongLong(&isPid);
        const bool here = dash > 0 && rest.mid(dash).startsWith(host);
        const QFileInfo fi(dir.filePath(name));
        // Names this code did not make are removed only once they are a day old.
        const bool dead = isPid && here ? pid != ::getpid() && ::kill(pid_t(pid), 0) != 0 && errno == ESRCH
                                        : fi.lastModified().secsTo(QDateTime::currentDateTime()) > 24 * 3600;
        if (!dead)
            continue;
        if (fi.isDir() && !fi.isSymLink())
            QDir(fi.filePath()).removeRecursively();
        else
            QFile::remove(fi.filePath());
    }
}

sqlite3 *sqliteHandle(const QSqlDatabase &d)
{
    const QVariant v = d.driver() ? d.driver()->handle() : QVariant();
    return qstrcmp(v.typeName(), "sqlite3*") == 0 ? *static_cast<sqlite3 *const *>(v.constData()) : nullptr;
}

QSqlError sqliteError(sqlite3 *db)
{
    return QSqlError(QStringLiteral("QSQLITE"), QString::fromUtf8(sqlite3_errmsg(db)), QSqlError::StatementError,
                     QString::number(sqlite3_extended_errcode(db)));
}

StepWatch::StepWatch(QSqlDatabase &d, Steps steps, qint64 from, qint64 total)
    : m_steps(std::move(steps))
    , m_done(from)
    , m_total(total)
{
    sqlite3 *db = m_steps ? sqliteHandle(d) : nullptr;
    if (!db)
        return;
    m_handle = db;
    sqlite3_progress_handler(db, 100000, &StepWatch::tick, this);
}

StepWatch::~StepWatch()
{
    if (m_handle)
        sqlite3_progress_handler(static_cast<sqlite3 *>(m_handle), 0, nullptr, nullptr);
}

int StepWatch::tick(void *self)
{
    auto *w = static_cast<StepWatch *>(self);
    // The whole of a check is not known ahead: the bar creeps towards its end.
    w->m_done += (w->m_total - w->m_done) / 64;
    w->m_cancelled = w->m_cancelled || !w->m_steps(w->m_done, w->m_total);
    return w->m_cancelled ? 1 : 0;
}

} // namespace detail
} // namespace core::transfer
