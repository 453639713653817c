#include "core/db/database.h"
#include "core/db/schema.h"

#include <QDir>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QUrl>

namespace core::db {

namespace {

int g_busyTimeout = 5000;

// The file as a SQLite URI, so that mode=rw/ro can forbid creating it.
QString uriFor(const QString &path, bool readOnly)
{
    const QString abs = QFileInfo(QDir::fromNativeSeparators(path)).absoluteFilePath();
    return QUrl::fromLocalFile(abs).toString(QUrl::FullyEncoded)
           + (readOnly ? QStringLiteral("?mode=ro") : QStringLiteral("?mode=rw"));
}

QString existingFileProblem(const QString &path)
{
    const QFileInfo fi(path);
    if (!fi.exists())
        return QStringLiteral("the file does not exist");
    if (fi.isDir())
        return QStringLiteral("it is a folder, not a file");
    if (!fi.isReadable())
        return QStringLiteral("the file cannot be read (permission denied)");
    if (fi.size() == 0)
        return QStringLiteral("the file is empty");
    return {};
}

QString friendlyError(const QSqlError &e)
{
    const QString t = e.databaseText().isEmpty() ? e.text() : e.databaseText();
    if (t.contains(QLatin1String("not a database"), Qt::CaseInsensitive))
        return QStringLiteral("it is not a database file");
    if (t.contains(QLatin1String("malformed"), Qt::CaseInsensitive))
        return QStringLiteral("the file is damaged (%1)").arg(t);
    return t;
}

QString newFileProblem(const QString &path)
{
    const QFileInfo fi(path);
    if (fi.exists())
        return QStringLiteral("a file of that name already exists");
    if (!QDir().mkpath(fi.absolutePath()))
        return QStringLiteral("the folder \"%1\" cannot be created").arg(QDir::toNativeSeparators(fi.absolutePath()));
    return {};
}

QString createWith(const QString &path, QString (*build)(QSqlDatabase &))
{
    if (QString p = newFileProblem(path); !p.isEmpty())
        return p;
    const QString name = QStringLiteral("qb_create");
    QString error;
    {
        QSqlDatabase d = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        d.setDatabaseName(path);
        if (!d.open()) {
            error = d.lastError().text();
        } else {
            QSqlQuery(d).exec(QStringLiteral("PRAGMA journal_mode=DELETE"));
            error = build(d);
            d.close();
        }
    }
    QSqlDatabase::removeDatabase(name);
    if (!error.isEmpty()) {
        QFile::remove(path); // never leave a half-made file behind
        if (error.contains(QLatin1String("unable to open"), Qt::CaseInsensitive))
            error = QStringLiteral("the file cannot be written in that folder");
    }
    return error;
}

} // namespace

int busyTimeout()
{
    return g_busyTimeout;
}

void setBusyTimeout(int ms)
{
    g_busyTimeout = ms;
}

QString openConnection(const QString &connectionName, const QString &path, bool readOnly)
{
    if (QString p = existingFileProblem(path); !p.isEmpty())
        return p;
    QSqlDatabase d = QSqlDatabase::contains(connectionName) ? QSqlDatabase::database(connectionName, false)
                                                             : QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connectionName);
    d.close();
    d.setDatabaseName(uriFor(path, readOnly));
    QString options = QStringLiteral("QSQLITE_OPEN_URI;QSQLITE_BUSY_TIMEOUT=%1").arg(busyTimeout());
    if (readOnly)
        options += QStringLiteral(";QSQLITE_OPEN_READONLY");
    d.setConnectOptions(options);
    if (!d.open())
        return friendlyError(d.lastError());
    // The first read proves the file is a database at all.
    QSqlQuery q(d);
    if (!q.exec(QStringLiteral("PRAGMA schema_version")) || !q.next()) {
        const QString why = friendlyError(q.lastError());
        q.finish();
        d.close();
        return why;
    }
    q.finish();
    if (!readOnly) {
        // Never WAL: the folder may be a network share, and the file is copied alone.
        q.exec(QStringLiteral("PRAGMA journal_mode=DELETE"));
        q.finish();
        q.exec(QStringLiteral("PRAGMA synchronous=FULL"));
        q.finish();
    }
    return {};
}

void closeConnection(const QString &connectionName)
{
    if (!QSqlDatabase::contains(connectionName))
        return;
    {
        QSqlDatabase d = QSqlDatabase::database(connectionName, false);
        d.close();
    }
    QSqlDatabase::removeDatabase(connectionName);
}

OpenResult openMain(const QString &path)
{
    OpenResult r;
    QString why = openConnection(kMainConnection, path, false);
    if (why.isEmpty()) {
        QSqlDatabase d = main();
        why = schema::validateMain(d);
        if (!why.isEmpty())
            d.close();
    }
    if (!why.isEmpty()) {
        r.message = cannotOpenMessage(path, why);
        return r;
    }
    r.ok = true;
    const QFileInfo fi(path);
    const QFileInfo folder(fi.absolutePath());
    if (!fi.isWritable() || !folder.isWritable()) {
        r.readOnly = true;
        r.message = QStringLiteral("The database file \"%1\" is read-only (%2): you can look at the registers, "
                                   "but changes cannot be saved.")
                        .arg(QDir::toNativeSeparators(path),
                             fi.isWritable() ? QStringLiteral("its folder cannot be written")
                                             : QStringLiteral("the file cannot be written"));
    }
    return r;
}

QSqlDatabase main()
{
    if (!QSqlDatabase::contains(kMainConnection))
        QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), kMainConnection);
    return QSqlDatabase::database(kMainConnection, false);
}

bool mainIsOpen()
{
    return QSqlDatabase::contains(kMainConnection) && QSqlDatabase::database(kMainConnection, false).isOpen();
}

void closeMain()
{
    closeConnection(kMainConnection);
}

QString createDatabaseFile(const QString &path)
{
    return createWith(path, &schema::createMain);
}

QString createTemplateFile(const QString &path)
{
    return createWith(path, &schema::createTransferTemplate);
}

QVariant idValue(const QString &ids)
{
    bool ok = false;
    const qint64 id = ids.trimmed().toLongLong(&ok);
    return ok ? QVariant(id) : QVariant(ids);
}

QString cannotOpenMessage(const QString &path, const QString &reason)
{
    return QStringLiteral("The database file \"%1\" cannot be opened: %2.").arg(QDir::toNativeSeparators(path), reason);
}

} // namespace core::db
