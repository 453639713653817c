#include "core/db/database.h"
#include "core/app/serversettings.h"
#include "core/db/dialect.h"
#include "core/db/migrations.h"
#include "core/db/pgserver.h"
#include "core/db/schema.h"

#include <QDir>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QUrl>

namespace core::db {

namespace {

int g_busyTimeout = 5000;

// The main connection's page cache, in KiB: a list of 100,000 projects (about 6 MB)
// stays in it. Not larger: filling it costs too, on every long count.
constexpr int kMainCacheKiB = 8 * 1024;
// A report's reading connection's page cache, in KiB.
constexpr int kLongReadCacheKiB = 8 * 1024;

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

// Makes a new file at `path` and has `build` set it up. `sentence` takes the path and
// the reason when it cannot be made.
bool createWith(const QString &path, const QString &sentence, bool (*build)(QSqlDatabase &, Failure *), Failure *why)
{
    const auto failed = [&](const QString &reason, const QString &detail) {
        return fail(why, {1, sentence.arg(QDir::toNativeSeparators(path), reason), detail, reason});
    };
    if (QString p = newFileProblem(path); !p.isEmpty())
        return failed(p, {});
    const QString name = QStringLiteral("qb_create");
    Failure built;
    bool ok = false;
    {
        QSqlDatabase d = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        d.setDatabaseName(path);
        if (!d.open()) {
            built.reason = built.detail = d.lastError().text();
        } else {
            QSqlQuery(d).exec(QStringLiteral("PRAGMA journal_mode=DELETE"));
            ok = build(d, &built);
            d.close();
        }
    }
    QSqlDatabase::removeDatabase(name);
    if (ok)
        return true;
    QFile::remove(path); // never leave a half-made file behind
    if (built.reason.contains(QLatin1String("unable to open"), Qt::CaseInsensitive))
        return failed(QStringLiteral("the file cannot be written in that folder"), built.detail);
    return failed(built.reason, built.detail);
}

Failure cannotOpen(const QString &path, const QString &reason)
{
    return Failure::withReason(cannotOpenMessage(path, reason), reason);
}

Failure cannotOpen(const QString &path, const QSqlError &e)
{
    const QString reason = friendlyError(e);
    return Failure::from(e, cannotOpenMessage(path, reason), reason);
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

bool openConnection(const QString &connectionName, const QString &path, bool readOnly, Failure *why)
{
    if (QString p = existingFileProblem(path); !p.isEmpty())
        return fail(why, cannotOpen(path, p));
    if (QSqlDatabase::contains(connectionName)
        && QSqlDatabase::database(connectionName, false).driverName() != QLatin1String("QSQLITE"))
        closeConnection(connectionName); // was on a server
    QSqlDatabase d = QSqlDatabase::contains(connectionName)
        ? QSqlDatabase::database(connectionName, false)
        : QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connectionName);
    d.close();
    d.setDatabaseName(uriFor(path, readOnly));
    QString options = QStringLiteral("QSQLITE_OPEN_URI;QSQLITE_BUSY_TIMEOUT=%1").arg(busyTimeout());
    if (readOnly)
        options += QStringLiteral(";QSQLITE_OPEN_READONLY");
    d.setConnectOptions(options);
    if (!d.open())
        return fail(why, cannotOpen(path, d.lastError()));
    // The first read proves the file is a database at all.
    QSqlQuery q(d);
    if (!q.exec(QStringLiteral("PRAGMA schema_version")) || !q.next()) {
        const Failure f = cannotOpen(path, q.lastError());
        q.finish();
        d.close();
        return fail(why, f);
    }
    q.finish();
    if (!readOnly) {
        // Never WAL: the folder may be a network share, and the file is copied alone.
        q.exec(QStringLiteral("PRAGMA journal_mode=DELETE"));
        q.finish();
        q.exec(QStringLiteral("PRAGMA synchronous=FULL"));
        q.finish();
    }
    return true;
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

std::optional<Opened> openMain(const QString &path, Failure *why)
{
    if (!openConnection(kMainConnection, path, false, why))
        return std::nullopt;
    QSqlDatabase d = main();
    if (!schema::validateMain(d, path, why)) {
        d.close();
        return std::nullopt;
    }
    // Room for a large register's project list and its counts: with SQLite's
    // default 2 MiB every re-read of 100,000 projects goes back to the file. Not
    // mmap: the mapped pages of a long list scrolled through would stay resident,
    // and the folder may be a network share.
    QSqlQuery(d).exec(QStringLiteral("PRAGMA cache_size=-%1").arg(kMainCacheKiB));
    Opened opened;
    const QFileInfo fi(path);
    const QFileInfo folder(fi.absolutePath());
    const bool writable = fi.isWritable() && folder.isWritable();
    if (!writable) {
        opened.readOnly = true;
        opened.warning = QStringLiteral("The database file \"%1\" is read-only (%2): you can look at the registers, "
                                        "but changes cannot be saved.")
                             .arg(QDir::toNativeSeparators(path),
                                  fi.isWritable() ? QStringLiteral("its folder cannot be written")
                                                  : QStringLiteral("the file cannot be written"));
        return opened;
    }
    // A register of an earlier version is brought up to date; one that cannot be
    // (another program holds it, say) is still usable as it stands, and is
    // brought up to date at a later start.
    Failure migration;
    if (!schema::migrate(d, &migration))
        opened.warning = migration.description + QStringLiteral(" It can be used as it is.");
    return opened;
}

QSqlDatabase main()
{
    if (!QSqlDatabase::contains(kMainConnection))
        QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), kMainConnection);
    QSqlDatabase d = QSqlDatabase::database(kMainConnection, false);
    reconnectIfLost(d);
    return d;
}

std::optional<qint64> changesElsewhere()
{
    QSqlDatabase d = main();
    if (!d.isOpen())
        return std::nullopt;
    if (d.driverName() != QLatin1String("QSQLITE"))
        return 0; // other desks' writes are announced
    QSqlQuery q(d);
    if (!q.exec(QStringLiteral("PRAGMA data_version")) || !q.next())
        return std::nullopt;
    return q.value(0).toLongLong();
}

bool mainIsOpen()
{
    return QSqlDatabase::contains(kMainConnection) && main().isOpen();
}

void closeMain()
{
    closeConnection(kMainConnection);
}

bool createDatabaseFile(const QString &path, Failure *why)
{
    return createWith(path, QStringLiteral("The database file \"%1\" cannot be created: %2."), &schema::createMain,
                      why);
}

bool createTemplateFile(const QString &path, Failure *why)
{
    return createWith(path, QStringLiteral("The transfer template \"%1\" cannot be created: %2."),
                      &schema::createTransferTemplate, why);
}

QVariant idValue(const QString &ids)
{
    bool ok = false;
    const qint64 id = ids.trimmed().toLongLong(&ok);
    return ok ? QVariant(id) : QVariant(ids);
}

void setUpLongRead(const QSqlDatabase &db)
{
    QSqlQuery(db).exec(QStringLiteral("PRAGMA cache_size=-%1").arg(kLongReadCacheKiB));
}

QString shownFile(const QSqlDatabase &db)
{
    if (db.driverName() == QLatin1String("QPSQL")) {
        ServerSettings server;
        server.host = db.hostName();
        server.port = db.port() > 0 ? db.port() : server.port;
        server.database = db.databaseName();
        server.user = db.userName();
        return server.address();
    }
    // Connections opened on a URI name the file in it.
    const QUrl url(db.databaseName());
    return QDir::toNativeSeparators(url.isLocalFile() ? url.toLocalFile() : db.databaseName());
}

QString cannotOpenMessage(const QString &path, const QString &reason)
{
    return QStringLiteral("The database file \"%1\" cannot be opened: %2.").arg(QDir::toNativeSeparators(path), reason);
}

} // namespace core::db
