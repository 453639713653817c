#include "core/transfer/internal.h"
#include "core/transfer/copyin.h"
#include "core/transfer/transfer.h"

#include "core/db/database.h"
#include "core/db/dialect.h"
#include "core/db/legacyconversion.h"
#include "core/db/registers.h"
#include "core/db/schema.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrl>
#include <algorithm>
#include <fcntl.h>
#include <limits>
#include <memory>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

namespace core::transfer {

using namespace detail;

namespace {

const QString kCheckConnection = QStringLiteral("qb_import_check");
const QString kLockConnection = QStringLiteral("qb_import_lock");
const QString kWorkPrefix = QStringLiteral("quillbern-import-");
constexpr qint64 kSlice = 20000;
constexpr qint64 kChunk = 1 << 20;

enum class Kind { Id, Link, YesNo, Date, Text };

Kind kindOf(const QString &column)
{
    if (column == QLatin1String("id"))
        return Kind::Id;
    if (column == QLatin1String("idproject") || column == QLatin1String("idauthorizedcompany"))
        return Kind::Link;
    if (column == QLatin1String("active"))
        return Kind::YesNo;
    if (column == QLatin1String("pickupdate"))
        return Kind::Date;
    return Kind::Text;
}

// True (never NULL) for the values a column of that kind may hold in a transfer file.
QString acceptedWhen(const QString &c)
{
    switch (kindOf(c)) {
    case Kind::Id:
        return QStringLiteral("typeof(%1) = 'integer'").arg(c);
    case Kind::Link:
    case Kind::YesNo:
        return QStringLiteral("typeof(%1) IN ('integer', 'null')").arg(c);
    case Kind::Date:
        // A text SQLite cannot read as a date gives NULL, which must not pass.
        return QStringLiteral("coalesce(%1 IS NULL OR %1 = '' OR (typeof(%1) = 'text' AND (%1 GLOB "
                              "'[0-9][0-9][0-9][0-9]-[0-9][0-9]-[0-9][0-9]' OR %1 GLOB "
                              "'[0-9][0-9][0-9][0-9]-[0-9][0-9]-[0-9][0-9] [0-9][0-9]:[0-9][0-9]:[0-9][0-9]') "
                              "AND date(julianday(substr(%1, 1, 10))) = substr(%1, 1, 10) "
                              "AND (length(%1) = 10 OR time(substr(%1, 12)) = substr(%1, 12))), 0)")
            .arg(c);
    case Kind::Text:
        return QStringLiteral("typeof(%1) <> 'blob'").arg(c);
    }
    return {};
}

QString kindText(const QString &column)
{
    switch (kindOf(column)) {
    case Kind::Id:
        return QStringLiteral("is not a whole number, as an id must be");
    case Kind::Link:
        return QStringLiteral("is not a whole number, as a reference must be");
    case Kind::YesNo:
        return QStringLiteral("is not a yes/no value");
    case Kind::Date:
        return QStringLiteral("is not a valid date");
    case Kind::Text:
        return QStringLiteral("is binary data instead of text");
    }
    return {};
}

// What is read from a column of the transfer file when a row is copied.
QString copied(const QString &column, const QString &alias)
{
    const QString c = alias + QLatin1Char('.') + column;
    switch (kindOf(column)) {
    case Kind::YesNo: // a missing yes/no value is a no
        return QStringLiteral("CASE WHEN coalesce(%1, 0) <> 0 THEN -1 ELSE 0 END").arg(c);
    case Kind::Date:
        return QStringLiteral("NULLIF(%1, '')").arg(c);
    default:
        return c;
    }
}

QStringList selected(const QStringList &columns, const QString &alias)
{
    QStringList out;
    for (const QString &c : columns)
        out << copied(c, alias);
    return out;
}

QStringList withoutIds(const QString &table)
{
    QStringList out;
    for (const QString &c : schema::table(table).columns)
        if (kindOf(c) != Kind::Id && kindOf(c) != Kind::Link)
            out << c;
    return out;
}

Failure invalid(int number, const QString &file, const QString &why)
{
    return {number, QStringLiteral("The file \"%1\" cannot be imported: %2.").arg(shown(file), why), {}};
}

// A value as a message quotes it: short, on one line.
QString quoted(const QVariant &v)
{
    if (v.isNull())
        return QStringLiteral("an empty value");
    if (v.typeId() == QMetaType::QByteArray)
        return QStringLiteral("binary data");
    QString t = v.toString().simplified();
    if (t.size() > 40)
        t = t.left(40) + QStringLiteral("...");
    return QLatin1Char('"') + t + QLatin1Char('"');
}

struct Identity
{
    qint64 size = -1, mtime = 0;
    quint64 device = 0, inode = 0;
    bool operator==(const Identity &) const = default;
};

Identity identityOf(const struct stat &st)
{
    return {qint64(st.st_size), qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec, quint64(st.st_dev),
            quint64(st.st_ino)};
}

std::optional<Identity> identityOf(const QString &file)
{
    struct stat st;
    if (::stat(QFile::encodeName(file).constData(), &st) != 0)
        return std::nullopt;
    return identityOf(st);
}

QString uri(const QString &path, const char *query)
{
    return QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath()).toString(QUrl::FullyEncoded) + QLatin1Char('?')
        + QLatin1String(query);
}

// Runs `body` on a connection of its own to `uri`, then lets the connection go.
template <typename Body>
void withConnection(const QString &name, const QString &uri, Body body)
{
    {
        QSqlDatabase d = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        d.setDatabaseName(uri);
        d.setConnectOptions(
            QStringLiteral("QSQLITE_OPEN_URI;QSQLITE_OPEN_READONLY;QSQLITE_BUSY_TIMEOUT=%1").arg(db::busyTimeout()));
        d.open();
        body(d);
        d.close();
    }
    QSqlDatabase::removeDatabase(name);
}

} // namespace

struct Source::Private
{
    QString file;
    Identity identity;
    std::unique_ptr<QTemporaryDir> dir;
    QString copy;
    QList<ProjectEntry> projects;
};

Source::Source(std::unique_ptr<Private> d)
    : d(std::move(d))
{
}
Source::~Source() = default;
QString Source::file() const
{
    return d->file;
}
const QList<ProjectEntry> &Source::projects() const
{
    return d->projects;
}
bool Source::unchanged() const
{
    return identityOf(d->file) == d->identity;
}
QString Source::copyPath() const
{
    return d->copy;
}

namespace {

// The private folder the copy of the user's file is made in; it goes with `s`.
bool makeWorkingFolder(Source::Private &s, Failure *why)
{
    removeLeftovers(QDir::tempPath(), kWorkPrefix);
    s.dir = std::make_unique<QTemporaryDir>(QDir::temp().filePath(workingName(kWorkPrefix) + QStringLiteral("XXXXXX")));
    s.copy = s.dir->filePath(QStringLiteral("transfer.db"));
    if (!s.dir->isValid())
        return fail(why,
                    invalid(SQLITE_CANTOPEN, s.file,
                            QStringLiteral("no working copy can be made in \"%1\"").arg(shown(QDir::tempPath()))));
    return true;
}

// A transfer file of the old program, open as `fd` and read at `via`: its rows are
// written into the copy as a transfer file of ours holds them, and checked there
// like any other. Nothing locks such a file, so one changed meanwhile is refused.
bool makeLegacyCopy(Source::Private &s, const QString &via, int fd, const Steps &steps, Failure *why)
{
    if (!makeWorkingFolder(s, why))
        return false;
    bool stopped = false;
    Failure failure;
    // Reading the rows weighs as much as the check of the copy afterwards.
    const auto told = [&](qint64 done, qint64 total) { return !(stopped = steps && !steps(done, 2 * total)); };
    const bool copied = db::copyLegacyTransfer(via, s.copy, told, &failure);
    if (stopped)
        return fail(why, Failure(kCancelled, {}));
    if (!copied)
        return fail(why, invalid(failure.number, s.file, failure.reason));
    struct stat st;
    if (::fstat(fd, &st) != 0 || !(identityOf(st) == s.identity))
        return fail(why, invalid(SQLITE_BUSY, s.file, QStringLiteral("another program changed it while it was read")));
    return true;
}

// Copies the user's file into the private folder, reading it only through a handle
// that cannot hang (a pipe or a device is refused before a byte is read) and
// creating nothing beside it. A file of the old program's format is turned into a
// SQLite copy here; everything after this step reads the copy only.
bool makePrivateCopy(Source::Private &s, const Steps &steps, Failure *why)
{
    const QString &file = s.file;
    const auto refused = [&](int number, const QString &reason) { return fail(why, invalid(number, file, reason)); };
    const int fd = ::open(QFile::encodeName(file).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return refused(
            SQLITE_CANTOPEN,
            errno == ENOENT
                ? QStringLiteral("the file does not exist")
                : QStringLiteral("the file cannot be read (%1)").arg(QString::fromLocal8Bit(std::strerror(errno))));
    QFile in;
    in.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle);
    struct stat st;
    if (::fstat(fd, &st) != 0)
        return refused(SQLITE_CANTOPEN, QStringLiteral("the file cannot be read"));
    if (S_ISDIR(st.st_mode))
        return refused(SQLITE_CANTOPEN, QStringLiteral("it is a folder, not a file"));
    if (!S_ISREG(st.st_mode))
        return refused(SQLITE_CANTOPEN, QStringLiteral("it is not an ordinary file (a device or a pipe)"));
    s.identity = identityOf(st);
    if (st.st_size == 0)
        return refused(SQLITE_NOTADB, QStringLiteral("the file is empty"));
    const QByteArray header = in.read(100);
    if (!header.startsWith(QByteArray("SQLite format 3\0", 16))) {
        // The old program's file is read through this same handle where the system can name it.
        const QString handle = QStringLiteral("/proc/self/fd/%1").arg(fd);
        const QString via = QFileInfo::exists(handle) ? handle : file;
        if (db::legacy::isLegacyFile(via))
            return makeLegacyCopy(s, via, fd, steps, why);
        return refused(SQLITE_NOTADB, QStringLiteral("it is not a transfer file (not a database)"));
    }
    if (st.st_size < 512 || header.size() < 100)
        return refused(SQLITE_CORRUPT, QStringLiteral("the file is cut short"));
    if (const int encoding = header.at(59); encoding == 2 || encoding == 3)
        return refused(SQLITE_NOTADB, QStringLiteral("its texts are stored as UTF-16, which Quillbern does not read"));
    // A journal beside the file means a writer is at work on it, or died half-way.
    for (const char *suffix : {"-journal", "-wal"})
        if (QFileInfo::exists(file + QLatin1String(suffix)))
            return refused(SQLITE_BUSY,
                           QStringLiteral("it is still being written, or was left half-written, by another "
                                          "program (\"%1\" lies beside it)")
                               .arg(shown(file + QLatin1String(suffix))));
    const bool wal = header.at(18) == 2 || header.at(19) == 2;

    if (!makeWorkingFolder(s, why))
        return false;
    QFile out(s.copy);
    if (!out.open(QIODevice::WriteOnly | QIODevice::NewOnly))
        return refused(SQLITE_CANTOPEN,
                       QStringLiteral("no working copy can be made in \"%1\"").arg(shown(QDir::tempPath())));

    // A SQLite writer is kept out while the copy is made. A file in WAL mode is only
    // read (a reader of it would create side files), and no writer works on one
    // without its "-wal" file.
    bool copied = false;
    Failure failure;
    const auto copy = [&] {
        in.seek(0);
        const qint64 total = st.st_size / 1024 * 2; // the check afterwards weighs as much
        for (qint64 done = 0;;) {
            const QByteArray chunk = in.read(kChunk);
            if (chunk.isEmpty()) {
                copied = !in.error() ? true : fail(&failure, invalid(SQLITE_IOERR, file, in.errorString()));
                return;
            }
            if (out.write(chunk) != chunk.size())
                return void(fail(&failure,
                                 invalid(SQLITE_FULL, file,
                                         QStringLiteral("no working copy can be made in \"%1\" (%2)")
                                             .arg(shown(QDir::tempPath()), out.errorString()))));
            done += chunk.size();
            if (steps && !steps(done / 1024, std::max(total, done / 1024)))
                return void(fail(&failure, Failure(kCancelled, {})));
        }
    };
    if (wal) {
        copy();
    } else {
        withConnection(kLockConnection, uri(file, "mode=ro"), [&](QSqlDatabase &d) {
            QSqlQuery q(d);
            const QString reading = QStringLiteral("The file \"%1\" cannot be read").arg(shown(file));
            QVariant v;
            if (!d.isOpen())
                failure = sqlFailure(d.lastError(), reading);
            else if (!run(q, QStringLiteral("BEGIN")) || !scalar(q, QStringLiteral("PRAGMA schema_version"), {}, &v))
                failure = sqlFailure(q.lastError(), reading);
            else
                copy();
            q.finish();
            run(q, QStringLiteral("ROLLBACK"));
        });
    }
    if (copied && wal) // the copy is read in rollback mode: nothing of it lives in a "-wal"
        copied = out.seek(18) && out.write("\1\1", 2) == 2;
    if (!out.flush() || !copied)
        return fail(why, failure.number ? failure : invalid(SQLITE_IOERR, file, out.errorString()));
    return true;
}

// The two ways a check or copy of the file stops: a statement failed (its own
// error, under what was being done), or the file is refused for a reason.
auto endings(QSqlQuery &q, const QString &file, Failure *why)
{
    const auto failed = [&q, why](const QString &what) {
        Failure f = sqlFailure(q.lastError(), what);
        q.finish();
        return fail(why, f);
    };
    const auto refused
        = [&file, why](int number, const QString &reason) { return fail(why, invalid(number, file, reason)); };
    return std::pair(failed, refused);
}

// Every check of the file as a whole, on the private copy open on `d`. Trusts
// nothing the file declares.
bool checkContents(QSqlDatabase &d, const QString &file, QList<ProjectEntry> *projects, Failure *why)
{
    QSqlQuery q(d);
    const auto [failed, refused] = endings(q, file, why);
    const QString reading = QStringLiteral("The file \"%1\" cannot be read").arg(shown(file));
    QVariant v;

    if (!scalar(q, QStringLiteral("PRAGMA application_id"), {}, &v))
        return failed(reading);
    const int appId = v.toInt();
    if (appId != 0 && appId != schema::kTransferApplicationId && appId != schema::kApplicationId)
        return refused(SQLITE_NOTADB, QStringLiteral("it is a database of another program"));
    if (!scalar(q, QStringLiteral("PRAGMA user_version"), {}, &v))
        return failed(reading);
    // A register may be imported too; it has its own format version.
    if (v.toInt() > (appId == schema::kApplicationId ? schema::kVersion : schema::kTransferVersion))
        return refused(SQLITE_ERROR,
                       QStringLiteral("it was made by a newer version of Quillbern (format %1)").arg(v.toInt()));

    if (!scalar(q, QStringLiteral("PRAGMA integrity_check(1)"), {}, &v))
        return failed(reading);
    if (v.toString() != QLatin1String("ok"))
        return fail(why,
                    Failure(SQLITE_CORRUPT,
                            QStringLiteral("The file \"%1\" cannot be imported: the file is damaged.").arg(shown(file)),
                            v.toString()));

    for (const schema::Table &t : schema::tables()) {
        if (!run(q, QStringLiteral("SELECT type, sql FROM sqlite_master WHERE name = ? COLLATE NOCASE"), {t.name}))
            return failed(reading);
        QString type, sql;
        if (q.next()) {
            type = q.value(0).toString();
            sql = q.value(1).toString();
        }
        q.finish();
        if (type != QLatin1String("table") || sql.startsWith(QLatin1String("CREATE VIRTUAL"), Qt::CaseInsensitive))
            return refused(SQLITE_ERROR, QStringLiteral("it has no table \"%1\"").arg(t.name));
        if (!run(q, QStringLiteral("SELECT name FROM pragma_table_info(?)"), {t.name}))
            return failed(reading);
        QStringList present;
        while (q.next())
            present << q.value(0).toString().toLower();
        q.finish();
        for (const QString &c : t.columns)
            if (!present.contains(c))
                return refused(SQLITE_ERROR, QStringLiteral("the table \"%1\" has no column \"%2\"").arg(t.name, c));

        // One pass per table finds the first value of a wrong kind.
        QStringList cases;
        for (const QString &c : t.columns)
            cases << QStringLiteral("WHEN NOT (%1) THEN '%2'").arg(acceptedWhen(c), c);
        if (!run(q,
                 QStringLiteral("SELECT bad, id FROM (SELECT CASE %1 END AS bad, id FROM %2) "
                                "WHERE bad IS NOT NULL LIMIT 1")
                     .arg(cases.join(QLatin1Char(' ')), t.name)))
            return failed(reading);
        QString bad;
        QVariant id;
        if (q.next())
            bad = q.value(0).toString(), id = q.value(1);
        if (q.lastError().isValid())
            return failed(reading);
        q.finish();
        if (bad.isEmpty())
            continue;
        // The row is named by its id where the id itself is sound.
        if (!scalar(q, QStringLiteral("SELECT %1 FROM %2 WHERE id IS ? LIMIT 1").arg(bad, t.name), {id}, &v))
            return failed(reading);
        const QString row = bad == QLatin1String("id") || id.typeId() != QMetaType::LongLong
            ? QStringLiteral("a row")
            : QStringLiteral("the row with the id %1").arg(id.toLongLong());
        return refused(SQLITE_MISMATCH,
                       QStringLiteral("in %1 of the table \"%2\", the column \"%3\" holds %4, which %5")
                           .arg(row, t.name, bad, quoted(v), kindText(bad)));
    }

    for (const QString &table : {QStringLiteral("project"), QStringLiteral("authorizedcompanies")}) {
        if (!scalar(q, QStringLiteral("SELECT id FROM %1 GROUP BY id HAVING count(*) > 1 LIMIT 1").arg(table), {}, &v))
            return failed(reading);
        if (v.isValid())
            return refused(SQLITE_CORRUPT,
                           QStringLiteral("the id %1 stands twice in the table \"%2\"").arg(v.toLongLong()).arg(table));
    }

    if (!run(q, QStringLiteral("SELECT id, projectname FROM project ORDER BY projectname COLLATE NOCASE, id")))
        return failed(reading);
    while (q.next())
        projects->append({q.value(0).toLongLong(), q.value(1).toString()});
    if (q.lastError().isValid())
        return failed(reading);
    q.finish();
    if (projects->isEmpty())
        return refused(SQLITE_NOTFOUND, QStringLiteral("it holds no project"));
    return true;
}

// A transfer file stays attached while other statements on the connection are half
// read (SQLite keeps its read lock until they end); it is let go as soon as it can be.
struct PendingDetach
{
    QString connection;
    QString alias;
};

QList<PendingDetach> &pendingDetaches()
{
    static QList<PendingDetach> p;
    return p;
}

bool isAttached(QSqlDatabase &d, const QString &alias)
{
    QSqlQuery q(d);
    QVariant v;
    return scalar(q, QStringLiteral("SELECT count(*) FROM pragma_database_list WHERE name = ?"), {alias}, &v)
        && v.toInt() > 0;
}

void detachPending()
{
    auto &all = pendingDetaches();
    for (qsizetype i = all.size() - 1; i >= 0; --i) {
        const PendingDetach p = all.at(i);
        QSqlDatabase d
            = QSqlDatabase::contains(p.connection) ? QSqlDatabase::database(p.connection, false) : QSqlDatabase();
        if (!d.isOpen() || !isAttached(d, p.alias) || QSqlQuery(d).exec(QStringLiteral("DETACH DATABASE ") + p.alias))
            all.removeAt(i);
    }
}

void scheduleDetachRetry()
{
    if (pendingDetaches().isEmpty() || !QCoreApplication::instance())
        return;
    QTimer::singleShot(1000, QCoreApplication::instance(), [] {
        detachPending();
        scheduleDetachRetry();
    });
}

QString freeAlias(QSqlDatabase &d)
{
    QString alias = QStringLiteral("transfer");
    for (int n = 2; isAttached(d, alias); ++n)
        alias = QStringLiteral("transfer%1").arg(n);
    return alias;
}

// The highest id `table` of the main database has ever given.
bool highestId(QSqlQuery &q, const QString &table, qint64 *out)
{
    QVariant v;
    const bool sequence
        = scalar(q, QStringLiteral("SELECT count(*) FROM main.sqlite_master WHERE name = 'sqlite_sequence'"), {}, &v)
        && v.toInt() > 0;
    const QString seq = sequence ? QStringLiteral("(SELECT seq FROM main.sqlite_sequence WHERE name = '%1')").arg(table)
                                 : QStringLiteral("NULL");
    if (!scalar(
            q,
            QStringLiteral("SELECT max(coalesce(%1, 0), coalesce((SELECT max(id) FROM main.%2), 0))").arg(seq, table),
            {}, &v))
        return false;
    *out = v.toLongLong();
    return true;
}

// Copies project `projectId` of the checked copy attached as `s` into the main
// schema; runs inside the transaction. Nothing of the copy is addressed by rowid: a
// column of that name would hide it.
bool copyProject(QSqlDatabase &d, const QString &s, const QString &file, std::optional<qint64> projectId,
                 const Progress &progress, ImportSummary *r, Failure *why)
{
    QSqlQuery q(d);
    const auto [failed, refused] = endings(q, file, why);
    const QString reading = QStringLiteral("The file \"%1\" cannot be read").arg(shown(file));
    const QString writing = QStringLiteral("The project cannot be added to the database \"%1\"").arg(db::shownFile(d));
    QVariant v;

    // The first project in the table's own order: NOT INDEXED keeps an index from choosing.
    if (!scalar(q,
                projectId ? QStringLiteral("SELECT id FROM %1.project WHERE id = ?").arg(s)
                          : QStringLiteral("SELECT id FROM %1.project NOT INDEXED LIMIT 1").arg(s),
                projectId ? QVariantList{*projectId} : QVariantList{}, &v))
        return failed(reading);
    if (!v.isValid())
        return refused(SQLITE_NOTFOUND,
                       projectId ? QStringLiteral("it holds no project with the id %1").arg(*projectId)
                                 : QStringLiteral("it holds no project"));
    const qint64 pid = v.toLongLong();
    const QString companiesOf = QStringLiteral("SELECT id FROM %1.authorizedcompanies WHERE idproject = ?").arg(s);
    if (!scalar(q, QStringLiteral("SELECT count(*) FROM (%1)").arg(companiesOf), {pid}, &v))
        return failed(reading);
    const qint64 companies = v.toLongLong();
    // Every pick-up of those subcontractors, whatever its own project says.
    const QString pickupsOf
        = QStringLiteral("FROM %1.pickuplog AS p WHERE p.idauthorizedcompany IN (%2)").arg(s, companiesOf);
    if (!scalar(q, QStringLiteral("SELECT count(*) ") + pickupsOf, {pid}, &v))
        return failed(reading);
    const qint64 pickups = v.toLongLong();
    const qint64 total = 1 + companies + pickups;
    if (progress)
        progress(0, total);

    // Ids run out near 2^63; the engine would say "datatype mismatch" or "disk full".
    qint64 base = 0;
    for (const auto &[table, needed] :
         {std::pair{QStringLiteral("project"), qint64(1)}, std::pair{QStringLiteral("pickuplog"), pickups},
          std::pair{QStringLiteral("authorizedcompanies"), companies}}) {
        if (!highestId(q, table, &base))
            return failed(writing);
        if (base > std::numeric_limits<qint64>::max() - needed)
            return fail(why,
                        Failure::plain(QStringLiteral("The project cannot be added to the database \"%1\": its "
                                                      "table \"%2\" has no new ids left.")
                                           .arg(db::shownFile(d), table),
                                       SQLITE_FULL));
    }

    const QStringList projectCols = withoutIds(QStringLiteral("project"));
    if (!run(
            q,
            QStringLiteral("INSERT INTO main.project (%1) SELECT %2 FROM %3.project AS p WHERE p.id = ?")
                .arg(columnList(projectCols), selected(projectCols, QStringLiteral("p")).join(QStringLiteral(", ")), s),
            {pid}))
        return failed(writing);
    r->projectId = q.lastInsertId().toLongLong();
    q.finish();
    // Pick-ups a deleted project left may carry the new id already (without AUTOINCREMENT).
    if (!scalar(q, QStringLiteral("SELECT count(*) FROM main.pickuplog WHERE idproject = ?"), {r->projectId}, &v))
        return failed(writing);
    const qint64 pickupsBefore = v.toLongLong();

    // The subcontractors get the ids the database would give them one by one: one
    // above the highest it has ever given, in the file's id order. Written in one
    // statement, and the same numbering maps the pick-ups' links below.
    const QString numbered = QStringLiteral("SELECT id AS old, ? + row_number() OVER (ORDER BY id) AS new "
                                            "FROM %1.authorizedcompanies WHERE idproject = ?")
                                 .arg(s);
    const QStringList companyCols = withoutIds(QStringLiteral("authorizedcompanies"));
    if (!run(
            q,
            QStringLiteral("INSERT INTO main.authorizedcompanies (id, idproject, %1) "
                           "SELECT ? + row_number() OVER (ORDER BY a.id), ?, %2 FROM %3.authorizedcompanies AS a "
                           "WHERE a.idproject = ? ORDER BY a.id")
                .arg(columnList(companyCols), selected(companyCols, QStringLiteral("a")).join(QStringLiteral(", ")), s),
            {base, r->projectId, pid}))
        return failed(writing);
    q.finish();
    if (progress)
        progress(1 + companies, total);

    // The pick-ups follow in slices of the file's ids, each one statement joined to
    // the id mapping; a slice is open at either end, so no id is out of reach.
    QList<qint64> bounds;
    if (pickups > kSlice) {
        if (!run(q,
                 QStringLiteral(
                     "SELECT id FROM (SELECT p.id, row_number() OVER (ORDER BY p.id) AS n %1) WHERE n % ? = 0")
                     .arg(pickupsOf),
                 {pid, kSlice}))
            return failed(reading);
        while (q.next())
            bounds << q.value(0).toLongLong();
        if (q.lastError().isValid())
            return failed(reading);
        q.finish();
    }
    const QStringList pickupCols = withoutIds(QStringLiteral("pickuplog"));
    const QString insert
        = QStringLiteral("WITH m AS MATERIALIZED (%1) "
                         "INSERT INTO main.pickuplog (idproject, idauthorizedcompany, %2) SELECT ?, m.new, %3 "
                         "FROM %4.pickuplog AS p JOIN m ON m.old = p.idauthorizedcompany WHERE 1")
              .arg(numbered, columnList(pickupCols),
                   selected(pickupCols, QStringLiteral("p")).join(QStringLiteral(", ")), s);
    for (qsizetype i = 0; i <= bounds.size(); ++i) {
        QString sql = insert;
        QVariantList binds{base, pid, r->projectId};
        if (i > 0)
            sql += QStringLiteral(" AND p.id > ?"), binds << bounds.at(i - 1);
        if (i < bounds.size())
            sql += QStringLiteral(" AND p.id <= ?"), binds << bounds.at(i);
        if (!run(q, sql + QStringLiteral(" ORDER BY p.id"), binds))
            return failed(writing);
        if (progress)
            progress(std::min(1 + companies + (i + 1) * kSlice, total), total);
    }
    q.finish();

    // Counted, not trusted: whatever kept a row from arriving, less is never complete.
    if (!scalar(q, QStringLiteral("SELECT count(*) FROM main.authorizedcompanies WHERE idproject = ?"), {r->projectId},
                &v))
        return failed(writing);
    r->companies = v.toLongLong();
    if (!scalar(q, QStringLiteral("SELECT count(*) FROM main.pickuplog WHERE idproject = ?"), {r->projectId}, &v))
        return failed(writing);
    r->pickups = v.toLongLong() - pickupsBefore;
    if (r->companies != companies || r->pickups != pickups)
        return refused(SQLITE_ERROR,
                       QStringLiteral("of its %1 subcontractors and %2 pick-ups, only %3 and %4 could be "
                                      "copied, so nothing was imported")
                           .arg(companies)
                           .arg(pickups)
                           .arg(r->companies)
                           .arg(r->pickups));
    return true;
}

// Column `c` of the row `stmt` stands on into `copy`, as the database driver would
// have read it: a text that is not plain ASCII goes through UTF-16, so that bytes
// that are not UTF-8 arrive replaced just as they did through the driver.
void copyValue(CopyIn &copy, sqlite3_stmt *stmt, int c)
{
    switch (sqlite3_column_type(stmt, c)) {
    case SQLITE_NULL:
        copy.null();
        return;
    case SQLITE_INTEGER:
        copy.integer(sqlite3_column_int64(stmt, c));
        return;
    default:
        break;
    }
    const auto *text = reinterpret_cast<const char *>(sqlite3_column_text(stmt, c));
    const int size = sqlite3_column_bytes(stmt, c);
    if (std::all_of(text, text + size, [](char b) { return static_cast<unsigned char>(b) < 0x80; })) {
        copy.text(text, size);
        return;
    }
    const auto *utf16 = static_cast<const QChar *>(sqlite3_column_text16(stmt, c));
    const QByteArray utf8 = QString(utf16, sqlite3_column_bytes16(stmt, c) / 2).toUtf8();
    copy.text(utf8.constData(), utf8.size());
}

// Adds project `projectId` of the checked copy `src` to the register on the server
// `to`, in one server transaction (the engines cannot be joined in one statement).
// The same rows as into a file: the project, its subcontractors, and every pick-up
// of those, whatever its own project says.
bool copyToServer(QSqlDatabase &src, const QString &file, std::optional<qint64> projectId, QSqlDatabase &to,
                  const Progress &progress, ImportSummary *r, Failure *why)
{
    QSqlQuery in(src), out(to);
    const QString reading = QStringLiteral("The file \"%1\" cannot be read").arg(shown(file));
    const QString writing = QStringLiteral("The project cannot be added to the database \"%1\"").arg(db::shownFile(to));
    const auto failed = [&](const QSqlError &e, const QString &what) {
        const Failure f = sqlFailure(e, what);
        in.finish();
        out.finish();
        to.rollback();
        return fail(why, f);
    };
    const auto rowOf = [&](int from, int count) {
        QVariantList row;
        for (int i = from; i < from + count; ++i)
            row << in.value(i);
        return row;
    };
    QVariant v;
    if (!scalar(in,
                projectId ? QStringLiteral("SELECT id FROM project WHERE id = ?")
                          : QStringLiteral("SELECT id FROM project NOT INDEXED LIMIT 1"),
                projectId ? QVariantList{*projectId} : QVariantList{}, &v))
        return failed(in.lastError(), reading);
    if (!v.isValid())
        return fail(why,
                    invalid(SQLITE_NOTFOUND, file,
                            projectId ? QStringLiteral("it holds no project with the id %1").arg(*projectId)
                                      : QStringLiteral("it holds no project")));
    const qint64 pid = v.toLongLong();
    const QString companiesOf = QStringLiteral("SELECT id FROM authorizedcompanies WHERE idproject = ?");
    const QString pickupsOf
        = QStringLiteral("FROM pickuplog AS p WHERE p.idauthorizedcompany IN (%1)").arg(companiesOf);
    if (!scalar(in, QStringLiteral("SELECT count(*) FROM (%1)").arg(companiesOf), {pid}, &v))
        return failed(in.lastError(), reading);
    const qint64 companies = v.toLongLong();
    if (!scalar(in, QStringLiteral("SELECT count(*) ") + pickupsOf, {pid}, &v))
        return failed(in.lastError(), reading);
    const qint64 pickups = v.toLongLong();
    const qint64 total = 1 + companies + pickups;
    if (progress)
        progress(0, total);
    if (!to.transaction())
        return failed(to.lastError(), writing);

    const QStringList projectCols = withoutIds(QStringLiteral("project"));
    if (!run(in,
             QStringLiteral("SELECT %1 FROM project AS p WHERE p.id = ?")
                 .arg(selected(projectCols, QStringLiteral("p")).join(QStringLiteral(", "))),
             {pid})
        || !in.next())
        return failed(in.lastError(), reading);
    if (!run(out,
             QStringLiteral("INSERT INTO project (%1) VALUES (%2)")
                 .arg(columnList(projectCols), QStringList(projectCols.size(), QStringLiteral("?")).join(',')),
             rowOf(0, int(projectCols.size()))))
        return failed(out.lastError(), writing);
    r->projectId = db::insertedId(out, to);
    in.finish();

    // Subcontractors one by one, in the file's id order, to learn each new id.
    const QStringList companyCols = withoutIds(QStringLiteral("authorizedcompanies"));
    QHash<qint64, qint64> newIds;
    if (!run(in,
             QStringLiteral("SELECT a.id, %1 FROM authorizedcompanies AS a WHERE a.idproject = ? ORDER BY a.id")
                 .arg(selected(companyCols, QStringLiteral("a")).join(QStringLiteral(", "))),
             {pid}))
        return failed(in.lastError(), reading);
    QSqlQuery company(to);
    if (!company.prepare(
            QStringLiteral("INSERT INTO authorizedcompanies (idproject, %1) VALUES (?, %2)")
                .arg(columnList(companyCols), QStringList(companyCols.size(), QStringLiteral("?")).join(','))))
        return failed(company.lastError(), writing);
    while (in.next()) {
        company.bindValue(0, r->projectId);
        for (int i = 0; i < companyCols.size(); ++i)
            company.bindValue(i + 1, in.value(i + 1));
        if (!company.exec())
            return failed(company.lastError(), writing);
        newIds.insert(in.value(0).toLongLong(), db::insertedId(company, to));
    }
    if (in.lastError().isValid())
        return failed(in.lastError(), reading);
    company.finish();
    r->companies = newIds.size();
    const qint64 done = 1 + r->companies;
    if (progress)
        progress(done, total);

    // Pick-ups through one COPY, linked to the new subcontractors. They are read
    // through SQLite's own interface: a value goes from the file's UTF-8 into the
    // COPY's text without becoming a QVariant or a UTF-16 string.
    const QStringList pickupCols = withoutIds(QStringLiteral("pickuplog"));
    in.finish();
    sqlite3 *lite = sqliteHandle(src);
    if (!lite)
        return failed(QSqlError(QStringLiteral("no connection to the file"), {}, QSqlError::ConnectionError), reading);
    const auto liteFailed = [&] { return failed(sqliteError(lite), reading); };
    const QByteArray select = QStringLiteral("SELECT p.idauthorizedcompany, %1 %2 ORDER BY p.id")
                                  .arg(selected(pickupCols, QStringLiteral("p")).join(QStringLiteral(", ")), pickupsOf)
                                  .toUtf8();
    sqlite3_stmt *raw = nullptr;
    if (sqlite3_prepare_v2(lite, select.constData(), int(select.size()), &raw, nullptr) != SQLITE_OK)
        return liteFailed();
    const std::unique_ptr<sqlite3_stmt, decltype(&sqlite3_finalize)> stmt(raw, &sqlite3_finalize);
    sqlite3_bind_int64(raw, 1, pid);
    CopyIn copy(to, QStringLiteral("pickuplog"),
                QStringList{QStringLiteral("idproject"), QStringLiteral("idauthorizedcompany")} + pickupCols);
    if (!copy.started())
        return failed(copy.lastError(), writing);
    const int columns = int(pickupCols.size());
    int rc;
    while ((rc = sqlite3_step(raw)) == SQLITE_ROW) {
        const auto link = newIds.constFind(sqlite3_column_int64(raw, 0));
        if (link == newIds.cend())
            continue; // counted below as missing
        copy.integer(r->projectId);
        copy.integer(*link);
        for (int c = 1; c <= columns; ++c)
            copyValue(copy, raw, c);
        if (!copy.endRow()) {
            const QSqlError e = copy.lastError();
            copy.abort();
            return failed(e, writing);
        }
        if (progress && copy.rows() % 1000 == 0)
            progress(std::min(done + copy.rows(), total), total);
    }
    if (rc != SQLITE_DONE) {
        copy.abort();
        return liteFailed();
    }
    if (!copy.finish())
        return failed(copy.lastError(), writing);
    // Counted in the register, not trusted from what was sent (a trigger may drop rows):
    // less is never complete.
    for (const auto &[table, count] : {std::pair{QStringLiteral("authorizedcompanies"), &r->companies},
                                       std::pair{QStringLiteral("pickuplog"), &r->pickups}}) {
        if (!scalar(out, QStringLiteral("SELECT count(*) FROM %1 WHERE idproject = ?").arg(table), {r->projectId}, &v))
            return failed(out.lastError(), writing);
        *count = v.toLongLong();
    }
    if (r->companies != companies || r->pickups != pickups) {
        to.rollback();
        return fail(why,
                    invalid(SQLITE_ERROR, file,
                            QStringLiteral("of its %1 subcontractors and %2 pick-ups, only %3 and %4 could be "
                                           "copied, so nothing was imported")
                                .arg(companies)
                                .arg(pickups)
                                .arg(r->companies)
                                .arg(r->pickups)));
    }
    if (!to.commit())
        return failed(to.lastError(), writing);
    return true;
}

// The import into a register on a server: the checked private copy is read through
// a SQLite connection of its own.
std::optional<ImportSummary> importIntoServer(QSqlDatabase d, const Source &source, std::optional<qint64> projectId,
                                              const Progress &progress, Failure *why)
{
    ImportSummary summary;
    Failure failure;
    bool imported = false;
    withConnection(kCheckConnection, uri(source.copyPath(), "mode=ro&immutable=1"), [&](QSqlDatabase &src) {
        if (!src.isOpen()) {
            failure = sqlFailure(src.lastError(),
                                 QStringLiteral("The file \"%1\" cannot be opened").arg(shown(source.file())));
            return;
        }
        imported = copyToServer(src, source.file(), projectId, d, progress, &summary, &failure);
    });
    if (!imported)
        return nothing(why, failure);
    db::registers().announce(); // rows of all three tables
    return summary;
}

} // namespace

std::unique_ptr<Source> readTransfer(const QString &file, const Steps &steps, Failure *why)
{
    auto s = std::make_unique<Source::Private>();
    s->file = file;
    if (!makePrivateCopy(*s, steps, why))
        return nullptr;
    Failure failure;
    bool checked = false;
    const qint64 half = QFileInfo(s->copy).size() / 1024;
    // immutable: the copy is ours alone, so no lock and no journal is needed to read it.
    withConnection(kCheckConnection, uri(s->copy, "mode=ro&immutable=1"), [&](QSqlDatabase &d) {
        if (!d.isOpen()) {
            failure = sqlFailure(d.lastError(), QStringLiteral("The file \"%1\" cannot be opened").arg(shown(file)));
            return;
        }
        QSqlQuery(d).exec(QStringLiteral("PRAGMA trusted_schema = OFF"));
        StepWatch watch(d, steps, half, 2 * half);
        checked = checkContents(d, file, &s->projects, &failure);
        if (watch.cancelled())
            checked = fail(&failure, Failure(kCancelled, {}));
    });
    if (!checked) {
        fail(why, failure);
        return nullptr;
    }
    if (steps)
        steps(2 * half, 2 * half);
    return std::make_unique<Source>(std::move(s));
}

Failure noDatabaseFor(const QString &file)
{
    return invalid(SQLITE_CANTOPEN, file,
                   QStringLiteral("no database is open to import it into (create one in Options, or restart and "
                                  "answer Yes)"));
}

std::optional<QList<ProjectEntry>> listProjects(const QString &file, Failure *why)
{
    const auto source = readTransfer(file, {}, why);
    if (!source)
        return std::nullopt;
    return source->projects();
}

std::optional<ImportSummary> importProject(QSqlDatabase d, const QString &file, std::optional<qint64> projectId,
                                           const Progress &progress, Failure *why)
{
    const auto source = readTransfer(file, {}, why);
    if (!source)
        return std::nullopt;
    return importProject(d, *source, projectId, progress, why);
}

std::optional<ImportSummary> importProject(QSqlDatabase d, const Source &source, std::optional<qint64> projectId,
                                           const Progress &progress, Failure *why)
{
    const QString file = source.file();
    if (!d.isOpen())
        return nothing(why, noDatabaseFor(file));
    if (db::onServer(d))
        return importIntoServer(d, source, projectId, progress, why);
    detachPending();

    ImportSummary summary;
    Failure failure;
    bool imported = false;
    QSqlQuery q(d);
    QVariant trusted;
    scalar(q, QStringLiteral("PRAGMA trusted_schema"), {}, &trusted);
    run(q, QStringLiteral("PRAGMA trusted_schema = OFF"));
    q.finish();
    // The rows written land in the table and in each of its indexes at scattered
    // places: with the default cache of 2 MiB the same pages are written and read
    // again many times over. A cache in proportion to the file, for the import only.
    QVariant cache;
    scalar(q, QStringLiteral("PRAGMA main.cache_size"), {}, &cache);
    const qint64 cacheKiB = std::clamp<qint64>(4 * QFileInfo(source.copyPath()).size() / 1024, 8192, 262144);
    run(q, QStringLiteral("PRAGMA main.cache_size = -%1").arg(cacheKiB));
    q.finish();
    const QString s = freeAlias(d);
    if (!run(q, QStringLiteral("ATTACH DATABASE ? AS %1").arg(s), {uri(source.copyPath(), "mode=ro&immutable=1")})) {
        failure = sqlFailure(q.lastError(), QStringLiteral("The file \"%1\" cannot be opened").arg(shown(file)));
    } else {
        q.finish();
        // IMMEDIATE: the write lock is taken before anything is read, so nothing read can
        // change before it is written.
        if (!run(q, QStringLiteral("BEGIN IMMEDIATE"))) {
            failure = sqlFailure(q.lastError(),
                                 QStringLiteral("The database \"%1\" cannot be changed").arg(db::shownFile(d)));
        } else {
            q.finish();
            imported = copyProject(d, s, file, projectId, progress, &summary, &failure);
            if (imported && !run(q, QStringLiteral("COMMIT"))) {
                failure = sqlFailure(
                    q.lastError(),
                    QStringLiteral("The project cannot be added to the database \"%1\"").arg(db::shownFile(d)));
                imported = false;
            }
            q.finish();
            if (!imported) {
                run(q, QStringLiteral("ROLLBACK"));
                q.finish();
            }
        }
        if (!run(q, QStringLiteral("DETACH DATABASE %1").arg(s))) {
            pendingDetaches().append({d.connectionName(), s});
            scheduleDetachRetry();
        }
        q.finish();
    }
    if (cache.isValid())
        run(q, QStringLiteral("PRAGMA main.cache_size = %1").arg(cache.toLongLong()));
    if (trusted.isValid())
        run(q, QStringLiteral("PRAGMA trusted_schema = %1").arg(trusted.toInt() ? 1 : 0));
    q.finish();
    if (!imported)
        return nothing(why, failure);
    db::registers().announce(); // rows of all three tables
    return summary;
}

} // namespace core::transfer
