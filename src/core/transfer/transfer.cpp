#include "core/transfer/transfer.h"
#include "core/transfer/internal.h"

#include "core/app/globals.h"
#include "core/db/database.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QSqlError>

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
    // Extended codes carry the primary code in their low byte.
    const int code = f.number & 0xff;
    const QString busy = QStringLiteral("the file is in use by another program (it may still be being written); "
                                        "try again when that program has finished");
    const QHash<int, QString> reasons = {
        {kBusy, busy},
        {kLocked, busy},
        {kReadOnly, QStringLiteral("the file cannot be written")},
        {kIoErr, QStringLiteral("the disk could not be read or written (it may be full or removed)")},
        {kCorrupt, QStringLiteral("the file is damaged")},
        {kFull, QStringLiteral("the disk is full")},
        {kCantOpen, QStringLiteral("the file cannot be opened")},
        {kNotADb, QStringLiteral("it is not a database file")},
    };
    const QString reason = reasons.value(code);
    if (f.number < 0 || code == 0)
        f.number = kError;
    else
        f.number = code;
    f.description = reason.isEmpty() ? QStringLiteral("%1: %2.").arg(what, f.description)
                                     : QStringLiteral("%1: %2 (%3).").arg(what, reason, f.description);
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

} // namespace detail
} // namespace core::transfer
