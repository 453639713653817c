#include "core/db/legacyconversion.h"

#include "core/app/globals.h"
#include "core/db/database.h"
#include "core/db/schema.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryFile>
#include <algorithm>
#include <vector>

namespace core::db {

namespace {

const QString kConnection = QStringLiteral("qb_convert");
const QString kCopyConnection = QStringLiteral("qb_legacy_copy");
constexpr qint64 kProgressEvery = 256;

QString shown(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

QString counted(qint64 n, const char *one, const char *many)
{
    return QStringLiteral("%1 %2").arg(n).arg(QLatin1String(n == 1 ? one : many));
}

// One value as a register of ours holds it: NULL, a whole number or a text.
size_t digest(const QVariantList &row)
{
    size_t h = 0x9e3779b97f4a7c15u;
    for (const QVariant &v : row) {
        if (v.isNull())
            h = qHash(quint64(0x51), h);
        else if (v.typeId() == QMetaType::LongLong || v.typeId() == QMetaType::Int)
            h = qHash(v.toLongLong(), h ^ 1);
        else
            h = qHash(v.toString(), h ^ 2);
    }
    return h;
}

struct Digest
{
    qint64 id;
    size_t value;
};

// The old file's name with what it is said in it: "db1 (old program).mdb".
QString keptName(const QString &folder, const QString &oldFile)
{
    const QFileInfo fi(oldFile);
    const QString suffix = fi.suffix().isEmpty() ? QString() : QLatin1Char('.') + fi.suffix();
    for (int n = 1;; ++n) {
        const QString name = fi.completeBaseName()
            + (n == 1 ? QStringLiteral(" (old program)") : QStringLiteral(" (old program %1)").arg(n)) + suffix;
        const QString path = QDir(folder).filePath(name);
        if (!QFileInfo::exists(path))
            return path;
    }
}

QString freeWorkName(const QString &folder)
{
    for (int n = 1;; ++n) {
        const QString path = QDir(folder).filePath(QStringLiteral("%1.converting%2").arg(core::kDbFileName).arg(n));
        if (!QFileInfo::exists(path) && !QFileInfo::exists(path + QLatin1String("-journal")))
            return path;
    }
}

class Converter
{
public:
    Converter(legacy::Reader &reader, QSqlDatabase &db, const ConversionProgress &progress)
        : m_reader(reader)
        , m_db(db)
        , m_progress(progress)
        , m_total(2 * reader.counts().total())
    {
    }

    bool cancelled = false;

    // Copies the three tables in one transaction.
    bool copy(Failure *why)
    {
        if (!m_db.transaction())
            return sqlFailed(m_db.lastError(), why);
        for (const schema::Table &t : schema::tables())
            if (!copyTable(t, why)) {
                m_db.rollback();
                return false;
            }
        if (!raiseSequences(why) || !m_db.commit()) {
            if (why && why->description.isEmpty())
                sqlFailed(m_db.lastError(), why);
            m_db.rollback();
            return false;
        }
        return true;
    }

    // Reads every table back and compares it, row for row, with what was read.
    bool check(Failure *why)
    {
        for (const schema::Table &t : schema::tables()) {
            std::vector<Digest> &expected = m_digests[t.name];
            std::sort(expected.begin(), expected.end(), [](const Digest &a, const Digest &b) { return a.id < b.id; });
            QSqlQuery q(m_db);
            q.setForwardOnly(true);
            if (!q.exec(
                    QStringLiteral("SELECT %1 FROM %2 ORDER BY id").arg(t.columns.join(QStringLiteral(", ")), t.name)))
                return sqlFailed(q.lastError(), why);
            size_t i = 0;
            QVariantList row;
            while (q.next()) {
                row.clear();
                for (int c = 0; c < t.columns.size(); ++c)
                    row << q.value(c);
                const qint64 id = row.at(0).toLongLong();
                if (i >= expected.size() || expected[i].id != id)
                    return differs(QStringLiteral("the row with the id %1 of the table \"%2\" was not in the old file")
                                       .arg(id)
                                       .arg(t.name),
                                   why);
                if (expected[i].value != digest(row))
                    return differs(QStringLiteral("the row with the id %1 of the table \"%2\" reads back differently")
                                       .arg(id)
                                       .arg(t.name),
                                   why);
                ++i;
                if (!tick())
                    return false;
            }
            if (q.lastError().isValid())
                return sqlFailed(q.lastError(), why);
            if (i != expected.size())
                return differs(QStringLiteral("the row with the id %1 of the table \"%2\" is missing")
                                   .arg(expected[i].id)
                                   .arg(t.name),
                               why);
        }
        if (m_progress)
            m_progress(m_total, m_total);
        return true;
    }

private:
    legacy::Reader &m_reader;
    QSqlDatabase &m_db;
    const ConversionProgress &m_progress;
    qint64 m_total;
    qint64 m_done = 0;
    QHash<QString, std::vector<Digest>> m_digests;

    bool tick()
    {
        ++m_done;
        if (m_progress && m_done % kProgressEvery == 0 && !m_progress(std::min(m_done, m_total), m_total)) {
            cancelled = true;
            return false;
        }
        return true;
    }

    static bool sqlFailed(const QSqlError &e, Failure *why)
    {
        const QString reason = QStringLiteral("the new register cannot be written (%1)").arg(e.text());
        return fail(why, Failure::from(e, reason, reason));
    }

    static bool differs(const QString &what, Failure *why)
    {
        const QString reason = QStringLiteral("the copy does not match the old file: %1").arg(what);
        return fail(why, Failure::withReason(reason, reason));
    }

    bool copyTable(const schema::Table &t, Failure *why)
    {
        QStringList marks;
        for (qsizetype i = 0; i < t.columns.size(); ++i)
            marks << QStringLiteral("?");
        QSqlQuery q(m_db);
        if (!q.prepare(QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                           .arg(t.name, t.columns.join(QStringLiteral(", ")), marks.join(QStringLiteral(", ")))))
            return sqlFailed(q.lastError(), why);
        std::vector<Digest> &digests = m_digests[t.name];
        // The declared count only hints: a damaged file may declare anything.
        digests.reserve(
            size_t(std::min<qint64>(1 << 20,
                                    t.name == QLatin1String("project")                   ? m_reader.counts().projects
                                        : t.name == QLatin1String("authorizedcompanies") ? m_reader.counts().companies
                                                                                         : m_reader.counts().pickups)));
        Failure written;
        const bool read = m_reader.readRows(
            t.name,
            [&](const QVariantList &row) {
                for (int i = 0; i < row.size(); ++i)
                    q.bindValue(i, row.at(i));
                if (!q.exec()) {
                    const QSqlError e = q.lastError();
                    if (e.nativeErrorCode().toInt() % 256 == 19) { // a constraint: the id stands twice
                        const QString reason = QStringLiteral("the file is damaged (the id %1 stands twice in the "
                                                              "table \"%2\")")
                                                   .arg(row.at(0).toLongLong())
                                                   .arg(t.name);
                        written = Failure::withReason(reason, reason);
                    } else {
                        sqlFailed(e, &written);
                    }
                    return false;
                }
                digests.push_back({row.at(0).toLongLong(), digest(row)});
                return tick();
            },
            why);
        if (!written.description.isEmpty())
            return fail(why, written);
        if (cancelled)
            return false;
        return read;
    }

    // New rows must never take an id that an old row still points at (a pick-up of a
    // deleted subcontractor must not attach to a new one).
    bool raiseSequences(Failure *why)
    {
        const QList<std::pair<QString, QString>> highest = {
            {QStringLiteral("project"),
             QStringLiteral("SELECT max(coalesce((SELECT max(id) FROM project), 0), "
                            "coalesce((SELECT max(idproject) FROM authorizedcompanies), 0), "
                            "coalesce((SELECT max(idproject) FROM pickuplog), 0))")},
            {QStringLiteral("authorizedcompanies"),
             QStringLiteral("SELECT max(coalesce((SELECT max(id) FROM authorizedcompanies), 0), "
                            "coalesce((SELECT max(idauthorizedcompany) FROM pickuplog), 0))")},
            {QStringLiteral("pickuplog"), QStringLiteral("SELECT coalesce(max(id), 0) FROM pickuplog")},
        };
        QSqlQuery q(m_db);
        for (const auto &[table, sql] : highest) {
            if (!q.exec(sql) || !q.next())
                return sqlFailed(q.lastError(), why);
            const qint64 top = q.value(0).toLongLong();
            q.finish();
            if (top <= 0)
                continue;
            for (const QString &s : {QStringLiteral("UPDATE sqlite_sequence SET seq = ? WHERE name = ? AND seq < ?"),
                                     QStringLiteral("INSERT INTO sqlite_sequence (seq, name) SELECT ?, ? WHERE NOT "
                                                    "EXISTS (SELECT 1 FROM sqlite_sequence WHERE name = ?)")}) {
                q.prepare(s);
                q.addBindValue(top);
                q.addBindValue(table);
                q.addBindValue(s.startsWith(QLatin1String("UPDATE")) ? QVariant(top) : QVariant(table));
                if (!q.exec())
                    return sqlFailed(q.lastError(), why);
            }
        }
        return true;
    }
};

// What a transfer file of ours holds in a column: whole numbers, or text.
QString transferColumn(const QString &column)
{
    const bool whole = column == QLatin1String("active") || column.startsWith(QLatin1String("id"));
    return column + (whole ? QStringLiteral(" INTEGER") : QStringLiteral(" TEXT"));
}

} // namespace

QString countsText(const legacy::Counts &c)
{
    return QStringLiteral("%1, %2, %3")
        .arg(counted(c.projects, "project", "projects"), counted(c.companies, "subcontractor", "subcontractors"),
             counted(c.pickups, "pick-up", "pick-ups"));
}

std::optional<LegacyConversion> convertLegacy(const QString &oldFile, const QString &folder,
                                              const ConversionProgress &progress, Failure *why)
{
    const QString target = core::joinPath(folder, core::kDbFileName);
    const auto refused = [&](const QString &reason) {
        return nothing(
            why,
            Failure::withReason(
                QStringLiteral("The old register \"%1\" cannot be converted: %2.").arg(shown(oldFile), reason),
                reason));
    };
    const QFileInfo oldInfo(oldFile);
    const QFileInfo targetInfo(target);
    const bool inPlace
        = oldInfo.exists() && targetInfo.exists() && oldInfo.canonicalFilePath() == targetInfo.canonicalFilePath();
    if (targetInfo.exists() && !inPlace)
        return refused(
            QStringLiteral("there is already a database \"%1\", and it is never replaced").arg(shown(target)));

    // The folder is tried before anything is read.
    bool madeFolder = false;
    if (!QFileInfo(folder).isDir()) {
        if (QFileInfo::exists(folder) || !QDir().mkpath(folder))
            return refused(QStringLiteral("the folder \"%1\" cannot be made").arg(shown(folder)));
        madeFolder = true;
    }
    const auto dropFolder = [&] {
        if (madeFolder)
            QDir().rmdir(folder);
    };
    {
        QTemporaryFile probe(QDir(folder).filePath(QStringLiteral(".quillbern-XXXXXX")));
        if (!probe.open()) {
            dropFolder();
            return refused(
                QStringLiteral("the folder \"%1\" cannot be written (%2)").arg(shown(folder), probe.errorString()));
        }
    }

    Failure failure;
    std::unique_ptr<legacy::Reader> reader = legacy::Reader::openRegister(oldFile, &failure);
    if (!reader) {
        dropFolder();
        return refused(failure.reason);
    }
    LegacyConversion result;
    result.counts = reader->counts();

    const QString work = freeWorkName(folder);
    bool done = false;
    bool cancelled = false;
    if (createDatabaseFile(work, &failure) && openConnection(kConnection, work, false, &failure)) {
        QSqlDatabase db = QSqlDatabase::database(kConnection, false);
        Converter c(*reader, db, progress);
        done = c.copy(&failure) && c.check(&failure);
        cancelled = c.cancelled;
    }
    closeConnection(kConnection);
    reader.reset();

    if (done) {
        result.keptFile = keptName(folder, oldFile);
        const bool kept = inPlace ? QFile::rename(oldFile, result.keptFile) : QFile::copy(oldFile, result.keptFile);
        if (!kept) {
            failure = Failure::withReason(
                {}, QStringLiteral("the old file cannot be kept as \"%1\"").arg(shown(result.keptFile)));
            done = false;
        } else if (!QFile::rename(work, target)) {
            failure
                = Failure::withReason({}, QStringLiteral("the new register cannot be named \"%1\"").arg(shown(target)));
            if (inPlace)
                QFile::rename(result.keptFile, oldFile);
            else
                QFile::remove(result.keptFile);
            done = false;
        }
    }
    if (!done) {
        QFile::remove(work);
        QFile::remove(work + QLatin1String("-journal"));
        dropFolder();
        if (cancelled)
            return nothing(why,
                           Failure::withReason(QStringLiteral("The conversion was stopped; nothing was written."),
                                               QStringLiteral("it was stopped")));
        return refused(failure.reason.isEmpty() ? failure.description : failure.reason);
    }
    result.registerFile = target;
    return result;
}

bool copyLegacyTransfer(const QString &oldFile, const QString &copy, const ConversionProgress &progress, Failure *why)
{
    std::unique_ptr<legacy::Reader> reader = legacy::Reader::openRegister(oldFile, why);
    if (!reader)
        return false;
    // A private scratch file: nothing in it needs keeping safe from a crash.
    QStringList setup{QStringLiteral("PRAGMA journal_mode = OFF"), QStringLiteral("PRAGMA synchronous = OFF"),
                      QStringLiteral("PRAGMA application_id = %1").arg(schema::kTransferApplicationId),
                      QStringLiteral("PRAGMA user_version = %1").arg(schema::kTransferVersion),
                      QStringLiteral("BEGIN")};
    for (const schema::Table &t : schema::tables()) {
        QStringList columns;
        for (const QString &c : t.columns)
            columns << transferColumn(c);
        setup << QStringLiteral("CREATE TABLE %1 (%2)").arg(t.name, columns.join(QStringLiteral(", ")));
    }
    // The import looks a project's subcontractors and their pick-ups up by these.
    const QStringList finish{QStringLiteral("CREATE INDEX ix_companies ON authorizedcompanies(idproject, id)"),
                             QStringLiteral("CREATE INDEX ix_pickups ON pickuplog(idauthorizedcompany)"),
                             QStringLiteral("COMMIT")};

    const qint64 total = reader->counts().total();
    qint64 done = 0;
    bool copied = false, stopped = false;
    Failure failure;
    {
        QSqlDatabase d = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), kCopyConnection);
        d.setDatabaseName(copy);
        copied = d.open();
        QSqlQuery q(d);
        for (const QString &s : setup)
            copied = copied && q.exec(s);
        for (const schema::Table &t : schema::tables()) {
            const QString marks = QStringList(t.columns.size(), QStringLiteral("?")).join(QStringLiteral(", "));
            const auto insert = [&](const QVariantList &row) {
                for (int i = 0; i < row.size(); ++i)
                    q.bindValue(i, row.at(i));
                if (!q.exec())
                    return false; // said by the query's error
                stopped = progress && ++done % kProgressEvery == 0 && !progress(std::min(done, total), total);
                return !stopped;
            };
            copied = copied && q.prepare(QStringLiteral("INSERT INTO %1 VALUES (%2)").arg(t.name, marks))
                && reader->readRows(t.name, insert, &failure) && !stopped && !q.lastError().isValid();
        }
        for (const QString &s : finish)
            copied = copied && q.exec(s);
        const QSqlError e = q.lastError().isValid() ? q.lastError() : d.lastError();
        if (!copied && !stopped && failure.reason.isEmpty()) {
            const QString reason = QStringLiteral("no working copy can be made in \"%1\" (%2)")
                                       .arg(shown(QFileInfo(copy).absolutePath()), e.text());
            failure = Failure::from(e, reason, reason);
        }
        q = QSqlQuery();
        d.close();
    }
    QSqlDatabase::removeDatabase(kCopyConnection);
    if (stopped)
        return fail(why,
                    Failure::withReason(QStringLiteral("The reading was stopped."), QStringLiteral("it was stopped")));
    if (!copied)
        return fail(why, failure);
    if (progress)
        progress(total, total);
    return true;
}

} // namespace core::db
