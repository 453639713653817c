// Export of a project into a transfer file and its import, through the windows' entry points.
#include "support/testenv.h"
#include "support/ui.h"
#include "core/db/registers.h"

#include "core/app/globals.h"
#include "core/db/database.h"
#include "core/db/dialect.h"
#include "core/db/schema.h"
#include "core/transfer/transfer.h"
#include "ui/common/windowregistry.h"
#include "ui/transfer/exportdatabase.h"
#include "ui/transfer/frmimport.h"

#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QProgressDialog>
#include <QPushButton>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTimer>
#include <csignal>
#include <sys/stat.h>
#include <cstdio>
#include <sys/resource.h>
#include <unistd.h>

namespace {

const QString kExported = QStringLiteral("EXPORT DATABASE|Export process complete");

QByteArray fileHash(const QString &path) { return QCryptographicHash::hash(fileBytes(path), QCryptographicHash::Sha256); }

// A value's storage class, as both engines read it.
QString kind(const QVariant &v)
{
    const int t = v.typeId();
    return t == QMetaType::QString ? "text" : t == QMetaType::Double ? "real" : t == QMetaType::QByteArray ? "blob" : "integer";
}

// Every row of `sql` as text, NULL marked; `typed` appends each value's storage class.
QList<QStringList> rows(QSqlDatabase d, const QString &sql, const QVariantList &binds = {}, bool typed = true)
{
    QSqlQuery q(d);
    q.prepare(sql);
    for (const QVariant &b : binds)
        q.addBindValue(b);
    QList<QStringList> out;
    if (!q.exec())
        out << QStringList{"<failed> " + sql + ": " + q.lastError().text()};
    for (QStringList row; q.next(); out << row, row.clear())
        for (int i = 0; i < q.record().count(); ++i)
            row << (q.value(i).isNull() ? QStringLiteral("<NULL>") : q.value(i).toString() + (typed ? QString('/') + kind(q.value(i)) : ""));
    return out;
}

// A project's rows without ids: project, subcontractors by id, their pick-ups (`anyProject`: filed anywhere) by subcontractor position.
using Project = QList<QList<QStringList>>;
Project readProject(QSqlDatabase d, qint64 id, bool anyProject = false)
{
    const QString active = db::onServer(d) ? "active, pg_typeof(active)::text" : "active, typeof(active)";
    Project p{rows(d, "SELECT projectname, company, " + active + " FROM project WHERE id = ?", {id}, false), {}, {}};
    QHash<QString, int> position;
    for (QStringList c : rows(d, "SELECT id, name, address1, address2, city, state, zipcode, telephone, fax, email, website, note, "
                                 "pickupdate, pickupby, package, " + active + " FROM authorizedcompanies WHERE idproject = ? ORDER BY id", {id}, false))
        position.insert(c.takeFirst(), int(position.size())), p[1] << c;
    for (QStringList r : rows(d, "SELECT idauthorizedcompany, pickupdate, pickupby, package, note FROM pickuplog WHERE idproject = ? OR ? ORDER BY id", {id, anyProject}, false))
        if (position.contains(r.first())) // only a subcontractor's own pick-ups travel
            r.first() = QString::number(position.value(r.first())), p[2] << r;
    return p;
}

Project fileProject(const QString &path, qint64 id)
{
    Project p;
    withFile(path, {}, [&](QSqlDatabase &d) { p = readProject(d, id, true); });
    return p;
}

// Projects, subcontractors, pick-ups and schema objects, plus what `p` adds `times` times.
QList<qint64> counts(const Project &p = {}, int times = 1)
{
    QList<qint64> out;
    for (const char *table : {"project", "authorizedcompanies", "pickuplog", TestEnv::onServer() ? "pg_class WHERE relnamespace = 'public'::regnamespace" : "sqlite_master"})
        out << rows(db::main(), QStringLiteral("SELECT count(*) FROM %1").arg(table), {}, false).value(0).value(0).toLongLong();
    return {out[0] + times * !p.isEmpty(), out[1] + times * p.value(1).size(), out[2] + times * p.value(2).size(), out[3]};
}

QStringList ownWorkingFolders() { return QDir::temp().entryList({QStringLiteral("quillbern-import-%1-*").arg(getpid())}, QDir::Dirs); }

qint64 newestProject() { return rows(db::main(), "SELECT max(id) FROM project", {}, false)[0][0].toLongLong(); }
qsizetype attached() { return TestEnv::onServer() ? 0 : rows(db::main(), "SELECT name FROM pragma_database_list WHERE name NOT IN ('main', 'temp')").size(); }

// The register as it stands: the file's bytes, or on a server every row.
QByteArray registerState()
{
    if (!TestEnv::onServer())
        return fileHash(gDbFile);
    QByteArray all;
    for (const char *t : {"project", "authorizedcompanies", "pickuplog"})
        for (const QStringList &r : rows(db::main(), QStringLiteral("SELECT * FROM %1 ORDER BY id").arg(t)))
            all += r.join('|').toUtf8() + '\n';
    return QCryptographicHash::hash(all, QCryptographicHash::Sha256);
}

// What a transfer that adds nothing leaves as it found: `folder`'s entries (a journal among them), no working folder,
// `file`, the register; no attached file or temporary table, and the register passes its own check.
QStringList untouched(const QString &folder, const QString &file, bool withRegister = true)
{
    const QByteArray hashes = fileHash(file).toHex() + (withRegister ? registerState().toHex() : QByteArray());
    const QString left = TestEnv::onServer()
        ? "SELECT count(*) FROM pg_class WHERE relpersistence = 't'"
        : "SELECT count(*), (SELECT * FROM pragma_integrity_check), (SELECT count(*) FROM pragma_database_list "
          "WHERE name NOT IN ('main', 'temp')) FROM sqlite_temp_master";
    return entries(folder) << ownWorkingFolders() << QString::fromLatin1(hashes) << rows(db::main(), left).value(0);
}

// Whether a progress dialog showed while `run` ran (`cancel`: and was cancelled), and none is left afterwards; `each` on every look.
bool sawProgressDialog(const std::function<void()> &run, bool cancel = false, const std::function<void()> &each = {})
{
    bool seen = false, left = false;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        for (QWidget *w : QApplication::topLevelWidgets())
            if (auto *p = qobject_cast<QProgressDialog *>(w); p && p->isVisible() && !p->wasCanceled() && (seen = true) && cancel)
                p->cancel();
        if (each)
            each();
    });
    poll.start(0);
    run();
    for (QWidget *w : QApplication::topLevelWidgets())
        left = left || qobject_cast<QProgressDialog *>(w);
    return seen && !left;
}

// A file-size limit stands in for a full disk: writes past it fail as they would.
struct FileSizeLimit
{
    rlimit saved{}, small{};
    bool ok = (std::signal(SIGXFSZ, SIG_IGN), getrlimit(RLIMIT_FSIZE, &saved) == 0);
    explicit FileSizeLimit(qint64 bytes) { ok = ok && (small = saved, small.rlim_cur = rlim_t(bytes), setrlimit(RLIMIT_FSIZE, &small) == 0); }
    ~FileSizeLimit() { if (ok) setrlimit(RLIMIT_FSIZE, &saved); }
};

// A transfer file as exported: project 5, subcontractors 11 to 13 (12 without pick-ups), five pick-ups; then `extra`.
bool writeTransfer(const QString &path, const QStringList &extra = {})
{
    return withFile(path, schema::createTableStatements() + QStringList{
        QStringLiteral("PRAGMA application_id = %1").arg(schema::kTransferApplicationId),
        QStringLiteral("PRAGMA user_version = %1").arg(schema::kTransferVersion), "INSERT INTO project VALUES (5, 'NORTH TOWER', 'ATLAS PROPERTIES', -1)",
        "INSERT INTO authorizedcompanies VALUES (11, 5, 'ACME ELECTRIC', '1 MAIN ST', NULL, 'AUSTIN', 'TX', '78701', '(512) 555-0101', "
        "NULL, 'OFFICE@ACME.COM', 'WWW.ACME.COM', 'CALL FIRST', '2026-02-28', 'J. SMITH', 'DRAWINGS', -1), (12, 5, 'BRIGHT PLUMBING', "
        "'', '', '', '', '', '', '', '', '', NULL, NULL, NULL, NULL, 0), (13, 5, 'O''NEIL GLASS', '9 PARK LN', 'SUITE 4', 'RENO', 'NV', "
        "'89501', NULL, '(775) 555-0199', NULL, NULL, NULL, '2026-01-05 08:30:00', 'K. PATEL', 'KEYS (4)', -1)",
        "INSERT INTO pickuplog VALUES (101, 5, 11, '2026-01-02', 'J. SMITH', 'SET A', NULL), (102, 5, 11, '2026-01-03 14:20:00', "
        "'M. GARCIA', 'SET B', 'LEFT AT DESK'), (103, 5, 11, NULL, NULL, NULL, ''), (104, 5, 13, '2025-12-31', 'D. O''BRIEN', "
        "'ADDENDUM 3', NULL), (105, 5, 13, '2026-02-01', 'L. CHEN', 'PERMIT COPIES', 'SIGNED')"} + extra);
}

bool writeLargeTransfer(const QString &path, int companies, int pickups)
{
    const QString n = QStringLiteral("WITH RECURSIVE c(n) AS (SELECT 1 UNION ALL SELECT n + 1 FROM c WHERE n < %1) ");
    return withFile(path, schema::createTableStatements() + QStringList{
        "INSERT INTO project VALUES (1, 'BIG PROJECT', 'CLIENT', -1)",
        n.arg(companies) + "INSERT INTO authorizedcompanies (id, idproject, name, address1, city, state, zipcode, telephone, email, "
                           "website, active) SELECT n, 1, 'SUB ' || n, n || ' MAIN ST', 'AUSTIN', 'TX', '78701', '(512) 555-0101', "
                           "'OFFICE@SUB.COM', 'WWW.SUB.COM', -1 FROM c",
        n.arg(pickups) + QStringLiteral("INSERT INTO pickuplog (idproject, idauthorizedcompany, pickupdate, pickupby, package, note) "
                                        "SELECT 1, n % %1 + 1, date('2025-01-01', '+' || (n % 365) || ' days'), 'J. SMITH', 'DRAWINGS SET ' "
                                        "|| n, CASE WHEN n % 3 = 0 THEN NULL ELSE 'PICKED UP AT FRONT DESK.' END FROM c").arg(companies)});
}

// The file holds exactly the project's rows of the register, every value with its type and id, and no other table.
void verifyTransferFile(const QString &file, qint64 projectId)
{
    QList<QList<QStringList>> expected, actual;
    for (const schema::Table &t : schema::tables()) {
        const QString by = t.name == QLatin1String("project") ? QStringLiteral("id") : QStringLiteral("idproject");
        expected << QList<QStringList>{{t.columns.join(',')}}
                 << rows(db::main(), QStringLiteral("SELECT * FROM %1 WHERE %2 = ? ORDER BY id").arg(t.name, by), {projectId});
    }
    expected << QList<QStringList>{{"authorizedcompanies"}, {"pickuplog"}, {"project"}};
    QVERIFY(withFile(file, {}, [&](QSqlDatabase &d) {
        for (const schema::Table &t : schema::tables())
            actual << rows(d, "SELECT group_concat(name) FROM pragma_table_info(?)", {t.name}, false)
                   << rows(d, QStringLiteral("SELECT * FROM %1 ORDER BY id").arg(t.name));
        actual << rows(d, "SELECT name FROM sqlite_master WHERE name NOT LIKE 'sqlite_%' ORDER BY name", {}, false);
    }));
    QCOMPARE(actual, expected);
}

// A child process that holds `file` the way a writer does until its input closes.
struct Holder
{
    QProcess p;
    Holder(const QString &mode, const QString &file)
    {
        p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        p.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--hold-child"), mode, file});
    }
    bool ready() { return p.waitForReadyRead(20000) && p.readAll().contains("held"); }
    ~Holder() { p.closeWriteChannel(), p.waitForFinished(10000) || (p.kill(), p.waitForFinished()); }
};

} // namespace

class TestTransfer : public QObject
{
    Q_OBJECT
    QTimer m_watchdog; // closes a modal window left open, so that a test fails instead of hanging

private slots:
    void initTestCase()
    {
        db::setBusyTimeout(200); // a lock held by another program is met after a short wait
        m_watchdog.callOnTimeout([] { if (QWidget *w = QApplication::activeModalWidget()) w->close(); });
    }
    void init() { m_watchdog.start(20000); }

    void exportProject_data()
    {
        QTest::addColumn<qint64>("pid");
        QTest::addColumn<QStringList>("statements");
        QTest::addColumn<bool>("large"); // shows a progress dialog
        const auto row = [](const char *name, const QStringList &statements, qint64 pid = 2, bool large = false) { QTest::newRow(name) << pid << statements << large; };
        row("sample project among others", {});
        row("large project", {"WITH RECURSIVE c(n) AS (SELECT 1 UNION ALL SELECT n + 1 FROM c WHERE n < 30000) INSERT INTO pickuplog (idproject, idauthorizedcompany, "
                              "pickupby) SELECT 2, (SELECT min(id) FROM authorizedcompanies WHERE idproject = 2), 'P' || n FROM c",
                              "UPDATE pickuplog SET id = -9223372036854775808 WHERE id = (SELECT min(id) FROM pickuplog WHERE idproject = 2)"}, 2, true);
        row("ids above 32767 and 2^32", {"INSERT INTO project VALUES (5000000000, 'HIGH', NULL, 0)",
                                         "UPDATE authorizedcompanies SET idproject = 5000000000, id = id + 70000 WHERE idproject = 2",
                                         "UPDATE pickuplog SET idproject = 5000000000, idauthorizedcompany = idauthorizedcompany + 70000, id = id + 7000000000 WHERE idproject = 2"},
            5000000000);
        row("dates with times, empty values, yes/no", {"UPDATE project SET company = NULL, active = 0 WHERE id = 2",
                                                       "UPDATE authorizedcompanies SET address2 = '', fax = NULL, pickupdate = '2026-02-28 17:45:00', active = 0 WHERE idproject = 2 AND id % 2 = 0",
                                                       "UPDATE pickuplog SET pickupdate = NULL, note = '', package = NULL WHERE idproject = 2 AND id % 3 = 0",
                                                       "UPDATE pickuplog SET pickupdate = '2024-02-29 23:59:59' WHERE idproject = 2 AND id % 3 = 1"});
        row("tabs, line breaks, backslashes; NULL and empty texts", {"UPDATE pickuplog SET note = 'A\tB\nC\\N\\\\', package = '\\N' WHERE idproject = 2 AND id % 2 = 0",
                                                                     "UPDATE pickuplog SET note = NULL, package = '' WHERE idproject = 2 AND id % 2 = 1"});
        row("project alone", {"DELETE FROM authorizedcompanies WHERE idproject = 2"});
    }

    // The file holds the project exactly, nothing else is left behind; imported it gives the same rows.
    void exportProject()
    {
        QFETCH(qint64, pid);
        QFETCH(QStringList, statements);
        QFETCH(bool, large);
        TestEnv env;
        QVERIFY(env.createDatabase(SampleSpec{.projects = 3, .companiesPerProject = 5, .pickupsPerCompany = 6}));
        // A pick-up of another project for one of its subcontractors stays behind: the export goes by project.
        statements << "INSERT INTO pickuplog (idproject, idauthorizedcompany, pickupby) SELECT 3, min(id), 'ELSEWHERE' "
                      "FROM authorizedcompanies WHERE idproject = " + QString::number(pid);
        for (const QString &s : statements)
            QVERIFY(env.exec(s));
        const Project original = readProject(db::main(), pid);
        const QString name = original[0][0][0], written = name + " 1437_0307.mdb"; // the clock: 14:05:37 on 7 March
        const QStringList after = entries(env.folder()) << written;
        QVERIFY(withFile(transfer::templatePath(gExportPath), {"CREATE TABLE planted (password)", "INSERT INTO planted VALUES ('SECRET')"}));
        QCOMPARE(sawProgressDialog([&] { ui::ExportDatabase(QString::number(pid), name, nullptr); }), large);
        QCOMPARE(env.messages.said(), QStringList{kExported});
        QCOMPARE(entries(env.folder()), ui::sorted(after));
        verifyTransferFile(env.path(written), pid);
        // Imported back beside the original, under new ids.
        Failure why;
        const auto r = transfer::importProject(db::main(), env.path(written), std::nullopt, {}, &why);
        QVERIFY2(r, qPrintable(why.description));
        QCOMPARE(readProject(db::main(), r->projectId), original);
    }

    void fileNames_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QDateTime>("when");
        QTest::addColumn<QString>("expected");
        const QDateTime dec3(QDate(2026, 12, 3), QTime(14, 5, 37));
        QTest::newRow("plain") << "NORTH TOWER" << dec3 << "NORTH TOWER 1437_1203.mdb";
        QTest::newRow("midnight, new year") << "X" << QDateTime(QDate(2027, 1, 1), QTime(0, 0, 5)) << "X 0005_0101.mdb";
        QTest::newRow("characters a file name cannot hold") << "A/B\\C:D*E?F\"G<H>I|J" << dec3 << "A_B_C_D_E_F_G_H_I_J 1437_1203.mdb";
        QTest::newRow("control characters") << QStringLiteral("TAB\tLINE\nEND\x7f") << dec3 << "TAB_LINE_END_ 1437_1203.mdb";
        QTest::newRow("quote and unicode kept") << QStringLiteral("O'NEIL – CAFÉ 北京 😀") << dec3 << QStringLiteral("O'NEIL – CAFÉ 北京 😀 1437_1203.mdb");
        QTest::newRow("empty name") << "" << dec3 << " 1437_1203.mdb";
        QTest::newRow("1 MB name is shortened") << QString(1000000, 'X') << dec3 << QString(200, 'X') + " 1437_1203.mdb";
        QTest::newRow("shortened between characters") << QString(150, QChar(0xE9)) + "Z" << dec3 << QString(100, QChar(0xE9)) + " 1437_1203.mdb";
    }

    // The name an export is written under (exportProject and exportFolder see it written).
    void fileNames()
    {
        QFETCH(QString, name);
        QFETCH(QDateTime, when);
        QFETCH(QString, expected);
        QCOMPARE(transfer::transferFileName(name, when), expected);
    }

    // Quotes in both folders; the template missing; a file of that name already there.
    void exportFolder()
    {
        TestEnv env;
        gDbPath = env.path(QStringLiteral("db 'one' \"two\""));
        gDbFile = core::joinPath(gDbPath, core::kDbFileName);
        gExportPath = env.path(QStringLiteral("it's \"out\""));
        QVERIFY(QDir().mkpath(gExportPath) && env.createDatabase(SampleSpec{.projects = 1, .companiesPerProject = 2, .pickupsPerCompany = 3}));
        const QString tpl = transfer::templatePath(gExportPath), taken = core::joinPath(gExportPath, "O'BRIEN _QUOTED__ 1437_0307.mdb");
        QVERIFY(QFile::remove(tpl) && writeFile(taken, "an earlier export, kept"));
        for (int i = 0; i < 2; ++i)
            ui::ExportDatabase(QStringLiteral("1"), QStringLiteral("O'BRIEN \"QUOTED\"\t"), nullptr);
        QCOMPARE(env.messages.said(), QStringList({kExported, kExported}));
        QCOMPARE(fileBytes(taken), QByteArray("an earlier export, kept"));
        for (const char *n : {" (2).mdb", " (3).mdb"})
            verifyTransferFile(taken.chopped(4) + QLatin1String(n), 1);
        bool empty = false;
        QVERIFY(withFile(tpl, {}, [&](QSqlDatabase &d) { empty = d.tables().isEmpty(); }) && empty); // made again, and empty
    }

    void exportFailures_data()
    {
        QTest::addColumn<QString>("setup");
        QTest::addColumn<QString>("projectId");
        QTest::addColumn<int>("number");
        QTest::addColumn<QString>("says");
        QTest::newRow("export folder missing") << "folder missing" << "1" << 14 << "does not exist";
        QTest::newRow("export folder cannot be written (/proc)") << "/proc" << "1" << 14 << "cannot be created";
        QTest::newRow("export folder read-only") << "read-only" << "1" << 14 << "No file can be written";
        QTest::newRow("disk full") << "disk full" << "1" << 10 << "it may be full";
        QTest::newRow("main database missing") << "no database" << "1" << 14 << "cannot be opened";
        QTest::newRow("project deleted meanwhile") << "" << "999" << 12 << "no longer in the database";
        QTest::newRow("id not a number") << "" << "abc" << 20 << "not a number";
        QTest::newRow("template is not a database") << "bad template" << "1" << 26 << "not a database";
    }

    // One message with the engine's number; no partial or temporary file; the register untouched.
    void exportFailures()
    {
        QFETCH(QString, setup);
        QFETCH(QString, projectId);
        QFETCH(int, number);
        QFETCH(QString, says);
        if (setup == QLatin1String("read-only") && geteuid() == 0)
            QSKIP("permissions do not bind root; the unwritable place under /proc stands in");
        if (setup == QLatin1String("no database") && TestEnv::onServer())
            QSKIP("a register file that is missing; a server that cannot be reached is tst_server's");
        TestEnv env;
        QVERIFY(env.createDatabase(SampleSpec{.projects = 1, .companiesPerProject = 20, .pickupsPerCompany = 150})); // about 200 KB
        const QString out = env.path(QStringLiteral("out"));
        QVERIFY(QDir().mkpath(out) && transfer::ensureTemplate(out));
        gExportPath = setup == "folder missing" ? env.path("gone") : setup == "/proc" ? "/proc/self" : out;
        QVERIFY(setup != "read-only" || QFile::setPermissions(out, QFile::ReadOwner | QFile::ExeOwner));
        QVERIFY(setup != "bad template" || writeFile(transfer::templatePath(out), QByteArray(4096, 'x')));
        const QStringList before = untouched(out, {});
        gDbFile = setup == "no database" ? env.path(QStringLiteral("nothing.mdb")) : gDbFile;
        {
            std::optional<FileSizeLimit> full;
            QVERIFY(setup != "disk full" || full.emplace(48 * 1024).ok);
            ui::ExportDatabase(projectId, QStringLiteral("P"), nullptr);
        }
        QFile::setPermissions(out, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        const QStringList m = env.messages.said();
        QVERIFY2(m.size() == 1 && m[0].startsWith(QStringLiteral("EXPORT DATABASE|ERROR:  %1: ").arg(number)) && m[0].contains(says), qPrintable(m.join('\n')));
        QVERIFY(!QFileInfo::exists(env.path(QStringLiteral("gone"))));
        gDbFile = env.path(core::kDbFileName);
        QCOMPARE(untouched(out, {}), before);
    }

    void importFiles_data()
    {
        QTest::addColumn<QStringList>("extra");
        QTest::addColumn<qint64>("chosen"); // 0: none; -1: none, and the file is read-only
        QTest::addColumn<QStringList>("asStored"); // how the expected rows differ from the file's
        const auto mb = [](const QString &piece) { return '\'' + piece.repeated((1 << 20) / piece.toUtf8().size() + 1) + '\''; };
        QStringList huge, quoted;
        for (const char *column : {"name", "address1", "address2", "city", "state", "zipcode", "telephone", "fax", "email", "website", "note",
                                   "pickupby", "package"}) {
            huge << QStringLiteral("%1 = %2").arg(column, mb(QStringLiteral("%1ÄB").arg(huge.size())));
            quoted << QStringLiteral("%1 = '%1: O''Neil \"q\" ; DROP TABLE project; -- ü 北京 😀 \\ %_'").arg(column);
        }
        const auto row = [](const char *name, const QStringList &extra, qint64 chosen = 0, const QStringList &asStored = {}) { QTest::newRow(name) << extra << chosen << asStored; };
        // Pick-ups of the other project's subcontractors stay; one filed under that project for a subcontractor of this one travels.
        row("two projects, none chosen: the first row",
            {"INSERT INTO project VALUES (6, 'ANOTHER', 'ELSEWHERE', 0)",
             "INSERT INTO authorizedcompanies (id, idproject, name, active) VALUES (21, 6, 'OTHER SUB', 0), (22, 6, 'THIRD SUB', -1)",
             "INSERT INTO pickuplog VALUES (201, 6, 21, '2026-03-01', 'X', 'Y', 'Z'), (202, 6, 22, NULL, NULL, NULL, NULL), "
             "(203, 6, 11, '2026-03-02', 'ON ANOTHER PROJECT', NULL, NULL)"});
        row("triggers, views and indexes planted", {"CREATE TRIGGER wipe AFTER INSERT ON project BEGIN DELETE FROM authorizedcompanies; END",
                                                    "CREATE TRIGGER wipe2 BEFORE DELETE ON pickuplog BEGIN SELECT RAISE(ABORT, 'planted'); END",
                                                    "CREATE VIEW evil AS SELECT * FROM project, authorizedcompanies", "CREATE INDEX ix_evil ON pickuplog(lower(note))",
                                                    "CREATE TABLE extra_table (x)"});
        row("1 MB texts", {"UPDATE authorizedcompanies SET " + huge.join(", ") + " WHERE id = 11",
                           QStringLiteral("UPDATE project SET projectname = %1, company = %2").arg(mb("P"), mb("Ç")),
                           QStringLiteral("UPDATE pickuplog SET pickupby = %1, package = %2, note = %3 WHERE id = 102").arg(mb("B"), mb("K"), mb("N\n"))});
        row("quotes, Unicode and bytes that are not UTF-8 in text columns",
            {"UPDATE authorizedcompanies SET " + quoted.join(", "),
             "UPDATE project SET projectname = 'L''ÉTOILE \"Ω\" ''); DROP TABLE project; --', company = 'Ünïcødé 中文'",
             "UPDATE pickuplog SET pickupby = 'D''ARCY', package = '\"PKG\" 😀', note = 'x''); DELETE FROM pickuplog; --'",
             "UPDATE pickuplog SET package = CAST(x'41c328ff42' AS TEXT) WHERE id = 104"}); // not UTF-8: read as the driver reads it
        row("read-only file", {}, -1);
        row("another office's register", {QStringLiteral("PRAGMA application_id = %1").arg(schema::kApplicationId), QStringLiteral("PRAGMA user_version = %1").arg(schema::kVersion)});
        const QString top = "9223372036854775807", bottom = "-9223372036854775808";
        row("ids at both 64-bit ends", {"UPDATE pickuplog SET id = " + bottom + " WHERE id = 101", "UPDATE pickuplog SET id = " + top + " WHERE id = 105",
                                        "UPDATE authorizedcompanies SET id = " + bottom + " WHERE id = 11", "UPDATE pickuplog SET idauthorizedcompany = " + bottom +
                                        " WHERE idauthorizedcompany = 11", "UPDATE project SET id = " + top, "UPDATE authorizedcompanies SET idproject = " + top},
            std::numeric_limits<qint64>::max());
        row("a column named rowid", {"ALTER TABLE pickuplog ADD COLUMN rowid", "ALTER TABLE authorizedcompanies ADD COLUMN oid"});
        row("WITHOUT ROWID, columns in another order, name in capitals",
            {"CREATE TABLE pl (note, package, pickupby, pickupdate, idauthorizedcompany, idproject, id PRIMARY KEY) WITHOUT ROWID",
             "INSERT INTO pl SELECT note, package, pickupby, pickupdate, idauthorizedcompany, idproject, id FROM pickuplog",
             "DROP TABLE pickuplog", "ALTER TABLE pl RENAME TO PICKUPLOG"});
        row("one pick-up id twice, no key", {"CREATE TABLE pl AS SELECT * FROM pickuplog", "DROP TABLE pickuplog", "ALTER TABLE pl RENAME TO pickuplog",
                                             "INSERT INTO pickuplog SELECT * FROM pickuplog WHERE id = 102"});
        row("a file in WAL mode", {"PRAGMA journal_mode = WAL"});
        row("invalid UTF-8, NUL and no project name", {"UPDATE project SET company = CAST(x'41c328ff42' AS TEXT), projectname = NULL",
                                                       "UPDATE pickuplog SET note = CAST(x'4e00554c' AS TEXT) WHERE id = 102"});
        // An empty date is stored as NULL; any true value as -1.
        row("dates, empty values and yes/no", {"UPDATE authorizedcompanies SET active = 1, pickupdate = '' WHERE id = 11",
                                               "UPDATE authorizedcompanies SET active = NULL WHERE id = 12", "UPDATE pickuplog SET pickupdate = '' WHERE id = 101",
                                               "UPDATE pickuplog SET pickupdate = '2024-02-29 00:00:01' WHERE id = 105"},
            0, {"UPDATE authorizedcompanies SET active = -1, pickupdate = NULL WHERE id = 11", "UPDATE authorizedcompanies SET active = 0 WHERE id = 12",
                "UPDATE pickuplog SET pickupdate = NULL WHERE id = 101"});
    }

    // Odd but valid files: the chosen project's rows under new ids, the file read and never written.
    void importFiles()
    {
        QFETCH(QStringList, extra);
        QFETCH(qint64, chosen);
        QFETCH(QStringList, asStored);
        TestEnv env;
        QVERIFY(env.createDatabase(SampleSpec{.projects = 2}));
        const QString file = env.path(QStringLiteral("odd.mdb")), stored = env.path(QStringLiteral("expected.mdb"));
        QVERIFY(writeTransfer(file, extra) && QFile::copy(file, stored) && withFile(stored, asStored));
        QVERIFY(chosen >= 0 || QFile::setPermissions(file, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
        const Project expected = fileProject(stored, chosen > 0 ? chosen : 5);
        const QList<qint64> expectedCounts = counts(expected);
        const QStringList before = untouched(env.folder(), file, false);
        const QByteArray registerBefore = registerState();
        Failure why;
        const auto r = transfer::importProject(db::main(), file, chosen > 0 ? std::optional(chosen) : std::nullopt, {}, &why);
        // A server's text holds no NUL, and its indexes no value of a megabyte: refused whole.
        if (const bool mb = QTest::currentDataTag() == QLatin1String("1 MB texts"); TestEnv::onServer() && (mb || extra.join(' ').contains("x'4e00554c'"))) {
            QVERIFY2(!r && why.description.startsWith("The project cannot be added to the database")
                         && why.description.contains(mb ? "index row" : "0x00"), qPrintable(why.description)); // in the server's words
            QCOMPARE(registerState(), registerBefore);
            return;
        }
        QVERIFY2(r, qPrintable(why.description));
        QCOMPARE(readProject(db::main(), r->projectId), expected); // a pick-up whose link was not rewritten drops out here
        QCOMPARE(counts(), expectedCounts);
        QCOMPARE(QList<qint64>({r->companies, r->pickups}), QList<qint64>({expected[1].size(), expected[2].size()}));
        QCOMPARE(untouched(env.folder(), file, false), before);
        QVERIFY(TestEnv::onServer() || env.scalar("PRAGMA trusted_schema").toInt() == 1); // as it was before
    }

    // Twice: two projects; a half-read list does not hold the file after; ids never given twice, even once deleted.
    void sameFileTwice()
    {
        TestEnv env;
        QVERIFY(env.createDatabase(SampleSpec{.projects = 3, .companiesPerProject = 10, .pickupsPerCompany = 40}));
        const QString file = env.path(QStringLiteral("t.mdb"));
        QVERIFY(writeTransfer(file));
        const Project original = fileProject(file, 5);
        const QList<qint64> expected = counts(original, 2);
        QSqlQuery halfRead(db::main());
        QVERIFY(halfRead.exec(QStringLiteral("SELECT * FROM pickuplog")) && halfRead.next());
        const auto importOnce = [&]() -> qint64 {
            const auto r = transfer::importProject(db::main(), file);
            return r && readProject(db::main(), r->projectId) == original ? r->projectId : 0;
        };
        const qint64 first = importOnce(), second = importOnce();
        QVERIFY(first && second && first != second);
        QCOMPARE(counts(), expected);
        QVERIFY(halfRead.next());
        halfRead.finish();
        QTRY_COMPARE_WITH_TIMEOUT(attached(), 0, 5000);
        QVERIFY(withFile(file, {"PRAGMA busy_timeout = 0", "BEGIN EXCLUSIVE", "ROLLBACK"})); // another program can lock it
        const qint64 highest = env.scalar("SELECT max(id) FROM authorizedcompanies").toLongLong();
        QVERIFY(env.exec("DELETE FROM authorizedcompanies WHERE idproject = ?", {second}));
        const qint64 third = importOnce();
        QVERIFY(third);
        QCOMPARE(env.scalar("SELECT min(id) FROM authorizedcompanies WHERE idproject = ?", {third}).toLongLong(), highest + 1);
    }

    void rejectedFiles_data()
    {
        QTest::addColumn<QStringList>("make"); // "@kind" for a file that is not made by statements
        QTest::addColumn<int>("number");
        QTest::addColumn<QString>("says");
        const auto row = [](const char *name, const QStringList &s, int number, const char *says) { QTest::newRow(name) << s << number << QString::fromUtf8(says); };
        row("not a database", {"@text"}, 26, "not a database");
        row("empty file", {"@empty"}, 26, "the file is empty");
        row("truncated", {"@truncated"}, 11, "damaged");
        row("a corrupted page", {"@corrupt"}, 11, "damaged");
        row("file does not exist", {"@missing"}, 14, "does not exist");
        row("a folder", {"@folder"}, 14, "folder");
        row("locked by another process", {"@lock"}, 5, "in use by another program");
        row("still being written by another process", {"@write"}, 5, "still being written");
        row("no pickuplog table", {"DROP TABLE pickuplog"}, 1, "no table \"pickuplog\"");
        row("a column missing", {"ALTER TABLE authorizedcompanies DROP COLUMN email"}, 1, "has no column \"email\"");
        row("project is a view", {"DROP TABLE project", "CREATE VIEW project AS SELECT 5 AS id, 'X' AS projectname, 'C' AS company, -1 AS active"},
            1, "no table \"project\"");
        row("wrong type: id as text", {"DROP TABLE project", "CREATE TABLE project (id, projectname, company, active)",
                                       "INSERT INTO project VALUES ('P5', 'X', 'C', -1)"}, 20, "\"project\", the column \"id\" holds \"P5\"");
        row("wrong type: yes/no as text", {"UPDATE authorizedcompanies SET active = 'YES' WHERE id = 12"}, 20, "id 12 of the table \"authorizedcompanies\", the column \"active\" holds \"YES\"");
        row("wrong type: link as text", {"UPDATE pickuplog SET idauthorizedcompany = 'ELEVEN' WHERE id = 101"}, 20, "\"idauthorizedcompany\"");
        row("wrong type: no such day", {"UPDATE authorizedcompanies SET pickupdate = '2026-02-30' WHERE id = 11"}, 20,
            "\"authorizedcompanies\", the column \"pickupdate\" holds \"2026-02-30\"");
        row("wrong type: binary in a text column", {"UPDATE authorizedcompanies SET name = x'00ff10' WHERE id = 13"}, 20, "binary data");
        row("empty project table", {"DELETE FROM project"}, 12, "holds no project");
        row("one id twice", {"DROP TABLE authorizedcompanies", "CREATE TABLE authorizedcompanies (id INTEGER, idproject, name, address1, address2, "
                             "city, state, zipcode, telephone, fax, email, website, note, pickupdate, pickupby, package, active)",
                             "INSERT INTO authorizedcompanies (id, idproject, name) VALUES (11, 5, 'A'), (11, 5, 'B')"}, 11, "stands twice");
        row("made by a newer version", {"PRAGMA user_version = 99"}, 1, "newer version");
        for (const char *date : {"2024-13-01", "9999-99-99", "0000-00-00", "2026-01-02 25:00:00", "2026-01-02 12:60:00", "2026-1-2"})
            row(date, {QStringLiteral("UPDATE pickuplog SET pickupdate = '%1' WHERE id = 103").arg(date)}, 20, "id 103");
        row("a named pipe", {"@fifo"}, 14, "not an ordinary file");
        row("texts stored as UTF-16", {"@utf16"}, 26, "UTF-16");
        row("a -wal file beside it", {"@wal"}, 5, "still being written");
        row("project is a virtual table", {"DROP TABLE project", "CREATE VIRTUAL TABLE project USING fts5(id, projectname, company, active)"}, 1, "no table \"project\"");
        row("another program's database", {"PRAGMA application_id = 1234"}, 26, "another program");
    }

    // Listing and importing refuse with the same number and reason, each said once; register and file unchanged.
    void rejectedFiles()
    {
        QFETCH(QStringList, make);
        QFETCH(int, number);
        QFETCH(QString, says);
        if (TestEnv::onServer() && number != 20)
            QSKIP("refused while the file is read, before any register is touched: the same for both engines");
        TestEnv env;
        QVERIFY(env.createDatabase(SampleSpec{.projects = 2}));
        const QString file = env.path(QStringLiteral("bad 'file'.mdb")), kind = make.first();
        if (kind == "@text" || kind == "@empty")
            QVERIFY(writeFile(file, QByteArray("PROJECT;NORTH TOWER\n").repeated(kind == "@text" ? 100 : 0)));
        else if (kind == "@folder")
            QVERIFY(QDir().mkpath(file));
        else if (kind == "@fifo")
            QVERIFY(mkfifo(QFile::encodeName(file), 0600) == 0);
        else if (kind == "@utf16")
            QVERIFY(withFile(file, {"PRAGMA encoding = 'UTF-16le'", "CREATE TABLE x (y)"}) && writeTransfer(file));
        else if (kind == "@truncated" || kind == "@corrupt") {
            QList<QStringList> at; // the pick-ups' root page: its header and cell pointers
            QVERIFY(writeLargeTransfer(file, 40, 2000) && withFile(file, {}, [&](QSqlDatabase &d) {
                at = rows(d, "SELECT rootpage, (SELECT page_size FROM pragma_page_size) FROM sqlite_master WHERE name = 'pickuplog'", {}, false);
            }));
            QFile f(file);
            QVERIFY(f.open(QIODevice::ReadWrite));
            QVERIFY(kind == "@truncated" ? f.resize(f.size() / 2)
                                         : f.seek((at[0][0].toLongLong() - 1) * at[0][1].toLongLong()) && f.write(QByteArray(64, '\xA5')) == 64);
        } else if (kind != "@missing")
            QVERIFY(writeTransfer(file, kind.startsWith('@') ? QStringList() : make));
        QVERIFY(kind != "@wal" || writeFile(file + "-wal", "x"));
        const QStringList before = untouched(env.folder(), file); // before a holder's journal comes and goes
        std::optional<Holder> holder;
        if (kind == "@lock" || kind == "@write")
            QVERIFY(holder.emplace(kind.mid(1), file).ready());

        // The list reports it and closes unshown; a direct import reports it as its outcome, for the same reason.
        QSignalSpy changed(&registers(), &Registers::changed);
        window<frmimport>()->showlist(file);
        QVERIFY(!WindowRegistry::existing<frmimport>());
        window<frmimport>()->Import(file);
        QVERIFY(!WindowRegistry::existing<frmimport>());
        QCOMPARE(changed.size(), 1);
        const QString why = env.messages.said().value(1).section(QStringLiteral("%1: ").arg(number), 1);
        QVERIFY2(why.contains(says), qPrintable(env.messages.said().join('\n')));
        QCOMPARE(env.messages.said(), (QStringList{QStringLiteral("Import Error|Error importing:  %1 : ").arg(number) + why,
                                                   QStringLiteral("IMPORT DATABASE|ERROR:  %1: ").arg(number) + why}));
        holder.reset();
        QCOMPARE(untouched(env.folder(), file), before);
    }

    // Refused half-way (by the database or a full disk): the register as it was, no progress left, the file imports later.
    void failureHalfWayLeavesNothing()
    {
        for (const QString mode : {"refused", "full", "swallowed"}) { // a row that silently vanishes is counted missing
            const bool diskFull = mode == "full";
            if (diskFull && TestEnv::onServer())
                continue; // the server's disk is not the test's to fill
            TestEnv env;
            // The register outweighs the file, so that only its growth meets the limit.
            QVERIFY(env.createDatabase(SampleSpec{.projects = 3, .companiesPerProject = 20, .pickupsPerCompany = 150}));
            const QString file = env.path(QStringLiteral("big.mdb"));
            const int pickups = diskFull ? 4000 : 30000;
            QVERIFY(writeLargeTransfer(file, 50, pickups) && withFile(file, {"UPDATE pickuplog SET id = -9223372036854775808 WHERE id = 7"}));
            const QStringList before = untouched(env.folder(), file);
            const QString late = "NEW.package = 'DRAWINGS SET 25000'", act = mode == "refused" ? "RAISE EXCEPTION 'refused'" : "DELETE FROM pickuplog WHERE id = NEW.id";
            QVERIFY(diskFull || (TestEnv::onServer() ? env.exec("CREATE FUNCTION late() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN IF " + late + " THEN "
                                                                 + act + "; END IF; RETURN NULL; END $$") && env.exec("CREATE TRIGGER late AFTER INSERT ON "
                                                                 "pickuplog FOR EACH ROW EXECUTE FUNCTION late()")
                                                   : env.exec("CREATE TEMP TRIGGER late AFTER INSERT ON main.pickuplog WHEN " + late + " BEGIN "
                                                              + (mode == "refused" ? "SELECT RAISE(ABORT, 'refused')" : act) + "; END")));
            {
                std::optional<FileSizeLimit> full;
                QVERIFY(!diskFull || full.emplace(QFileInfo(gDbFile).size() + 8192).ok);
                QCOMPARE(sawProgressDialog([&] { window<frmimport>()->Import(file); }), !diskFull);
            }
            QVERIFY(diskFull || env.exec(TestEnv::onServer() ? "DROP TRIGGER late ON pickuplog" : "DROP TRIGGER temp.late"));
            const QStringList m = env.messages.said();
            QVERIFY2(m.size() == 1 && m[0].startsWith("IMPORT DATABASE|ERROR:  ") && m[0].contains(diskFull ? "full" : mode == "refused" ? "refused" : "30000 pick-ups, only 50 and 29999 could be copied"), qPrintable(m.join('\n')));
            QCOMPARE(untouched(env.folder(), file), before);
            Failure why;
            const auto r = transfer::importProject(db::main(), file, std::nullopt, {}, &why);
            QVERIFY2(r && r->pickups == pickups, qPrintable(why.description));
        }
    }

    // Projects listed by name, the chosen one imported; OK with none chosen is said; a file replaced meanwhile is refused.
    void importWindow()
    {
        for (bool replaced : {false, true}) {
            TestEnv env;
            QVERIFY(env.createDatabase());
            const QString file = env.path(QStringLiteral("two.mdb"));
            QVERIFY(writeTransfer(file, {"UPDATE project SET projectname = 'ZULU'", "INSERT INTO project VALUES (6, 'alpha', 'ELSEWHERE', 0)",
                                         "INSERT INTO authorizedcompanies (id, idproject, name, active) VALUES (21, 6, 'OTHER SUB', 0)",
                                         "INSERT INTO pickuplog VALUES (201, 6, 21, '2026-03-01', 'X', 'Y', 'Z')"}));
            const Project alpha = fileProject(file, 6);
            const QByteArray mainHash = registerState();
            QSignalSpy changed(&registers(), &Registers::changed); // each one re-reads the main window
            QPointer<frmimport> w = window<frmimport>();
            QStringList listed;
            bool stayedOpen = false, modal = false;
            QTimer::singleShot(0, this, [&] {
                QVERIFY(QTest::qWaitForWindowActive(w));
                modal = w->isModal();
                auto *list = w->findChild<QListView *>(QStringLiteral("Dlist"));
                auto *ok = w->findChild<QPushButton *>(QStringLiteral("CMDOK"));
                listed = ui::texts(list);
                QTest::mouseClick(ok, Qt::LeftButton);
                stayedOpen = w && w->isVisible();
                // "alpha" stands first in the list but second in the file.
                QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualRect(list->model()->index(0, 0)).center());
                for (QWidget *at : {static_cast<QWidget *>(list), static_cast<QWidget *>(ok)}) // only OK imports
                    QTest::keyClick(at, Qt::Key_Return), QTest::keyClick(at, Qt::Key_Escape);
                stayedOpen = stayedOpen && w && w->isVisible() && env.messages.said().size() == 1;
                QVERIFY(!replaced || writeFile(file, QByteArray(8192, 'z')));
                QTest::mouseClick(ok, Qt::LeftButton);
            });
            w->showlist(file);
            QCOMPARE(listed, (QStringList{"alpha", "ZULU"}));
            QVERIFY(modal && stayedOpen && !WindowRegistry::existing<frmimport>());
            QCOMPARE(changed.size(), 1);
            const QStringList m = env.messages.said();
            QCOMPARE(m.value(0), QStringLiteral("PROJECT|Please select an item from the list"));
            QVERIFY2(m.size() == 2 && (replaced ? m[1].startsWith("IMPORT DATABASE|ERROR:  26: ") : m[1] == "IMPORT DATABASE|Import process complete"), qPrintable(m.join('\n')));
            QCOMPARE(registerState() == mainHash, replaced);
            QCOMPARE(env.count("project"), replaced ? 0 : 1);
            QVERIFY(replaced || readProject(db::main(), newestProject()) == alpha);
        }
    }

    // Reading a large file shows progress; its Cancel closes the window unshown, with nothing said.
    void cancelledReading()
    {
        TestEnv env;
        QVERIFY(env.createDatabase());
        const QString file = env.path(QStringLiteral("big.mdb"));
        QVERIFY(writeLargeTransfer(file, 50, 60000));
        const QStringList before = untouched(env.folder(), file);
        bool shown = false;
        QVERIFY(sawProgressDialog([&] { window<frmimport>()->showlist(file); }, true,
                                  [&] { shown = shown || (WindowRegistry::existing<frmimport>() && WindowRegistry::existing<frmimport>()->isVisible()); }));
        QVERIFY(!shown && !WindowRegistry::existing<frmimport>());
        QCOMPARE(env.messages.said(), QStringList());
        QCOMPARE(untouched(env.folder(), file), before);
    }

    // The open register and one without AUTOINCREMENT import; one out of ids, or none open, says so.
    void registerEdges()
    {
        if (TestEnv::onServer())
            QSKIP("a matter of the register file (a server register's ids are its identities)");
        for (const QString kind : {"itself", "no AUTOINCREMENT", "no ids left", "not open"}) {
            TestEnv env;
            QVERIFY(env.createDatabase(SampleSpec{.projects = 2}));
            QString file = gDbFile;
            if (kind == "no AUTOINCREMENT") {
                const QString plain = env.path("plain.mdb");
                QVERIFY(withFile(plain, schema::createTableStatements().replaceInStrings(" AUTOINCREMENT", "") << "INSERT INTO project (id) VALUES (7)" <<
                                        QStringLiteral("PRAGMA application_id = %1").arg(schema::kApplicationId) << QStringLiteral("PRAGMA user_version = %1").arg(schema::kVersion)));
                QVERIFY(db::openMain(gDbFile = plain) && writeTransfer(file = env.path("t.mdb")) && !env.scalar("SELECT 1 FROM sqlite_master WHERE name = 'sqlite_sequence'").isValid());
            }
            QVERIFY(kind != "no ids left" || env.exec("INSERT INTO pickuplog (id, idproject) VALUES (9223372036854775807, 9)"));
            const Project expected = file == gDbFile ? readProject(db::main(), 1, true) : fileProject(file, 5);
            if (kind == "not open")
                db::closeMain();
            const bool refused = kind == "no ids left" || kind == "not open";
            const QStringList before = untouched(env.folder(), {}, refused);
            Failure why;
            const auto r = transfer::importProject(db::main(), file, std::nullopt, {}, &why);
            QVERIFY2(bool(r) != refused, qPrintable(kind + ": " + why.description));
            QVERIFY(refused || readProject(db::main(), r->projectId) == expected);
            QVERIFY(!refused || why.description.contains(kind == "not open" ? "no database is open" : "no new ids left"));
            QCOMPARE(untouched(env.folder(), {}, refused), before);
        }
    }

    // Killed at random: an import leaves all of the project or none, an export a whole file or none; the next cleans up.
    void killed()
    {
        if (TestEnv::onServer())
            QSKIP("the children work on a register file; a killed client's server transaction is rolled back by the server");
        TestEnv env;
        QVERIFY(env.createDatabase(SampleSpec{.projects = 5}));
        const QString file = env.path(QStringLiteral("big.mdb")), out = env.path(QStringLiteral("out"));
        QVERIFY(writeLargeTransfer(file, 60, 3000));
        QVERIFY(QDir().mkpath(out) && transfer::ensureTemplate(out));
        const Project expected = fileProject(file, 1), exported = readProject(db::main(), 1);
        QRandomGenerator rng(20260307);
        QStringList children;
        for (const QString role : {"--import-child", "--export-child"}) {
            QElapsedTimer t; // one whole run, from its start of work, sets the pace for the kills
            const auto runChild = [&](int killAfterMs, bool *killed) {
                QProcess p;
                p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
                p.start(QCoreApplication::applicationFilePath(), {role, gDbFile, role == "--import-child" ? file : out});
                if (!p.waitForReadyRead(30000))
                    return -1;
                children << QStringLiteral("quillbern-import-%1-*").arg(p.processId());
                t.start();
                if (killAfterMs >= 0 && !p.waitForFinished(killAfterMs))
                    p.kill(), *killed = true;
                p.waitForFinished(30000);
                return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -2;
            };
            bool killed = false;
            QCOMPARE(runChild(-1, &killed), 0);
            const int whole = int(t.elapsed());
            QStringList files = entries(out);
            int kills = 0, attempts = 0;
            while (kills < 30 && attempts++ < 90) {
                const QList<qint64> nothing = counts(), all = counts(expected);
                killed = false;
                const int rc = runChild(int(rng.bounded(whole)), &killed);
                // Recovery happens here, on the next open of the database.
                QCOMPARE(env.scalar("PRAGMA integrity_check").toString(), QStringLiteral("ok"));
                const QList<qint64> now = counts();
                QVERIFY2(now == all || now == nothing, qPrintable(QStringLiteral("attempt %1: partial import left behind").arg(attempts)));
                QVERIFY(now == nothing || readProject(db::main(), newestProject()) == expected);
                for (const QString &f : entries(out))
                    if (!files.contains(f) && f.endsWith(".mdb")) {
                        QCOMPARE(fileProject(QDir(out).filePath(f), 1), exported);
                        files << f;
                    }
                if (!killed)
                    QCOMPARE(rc, 0);
                kills += killed;
            }
            QVERIFY2(kills >= 30, qPrintable(QStringLiteral("only %1 kills landed in %2 attempts").arg(kills).arg(attempts)));
        }
        // The next transfer of each kind removes what the killed ones left.
        QVERIFY(transfer::exportProject(gDbFile, out, 1, "P", core::now()) && transfer::importProject(db::main(), file));
        QCOMPARE(entries(out).filter(".tmp"), QStringList());
        QCOMPARE(QDir::temp().entryList(children, QDir::Dirs), QStringList());
        // A journal without its header may stay (SQLite ignores it); one that could roll something back must not.
        if (QFile journal(gDbFile + QStringLiteral("-journal")); journal.open(QIODevice::ReadOnly))
            QVERIFY(journal.read(8) != QByteArray::fromHex("d9d505f920a163d7"));
    }
};

// The children: a transfer to be killed; a holder of a file ("lock": no journal on disk; "write": half-way).
static int child(const char *role, const QString &a, const QString &b)
{
    if (const bool import = qstrcmp(role, "--import-child") == 0; import || qstrcmp(role, "--export-child") == 0) {
        if (import && !db::openMain(a))
            return 3;
        std::puts("begin");
        std::fflush(stdout);
        return (import ? bool(transfer::importProject(db::main(), b)) : bool(transfer::exportProject(a, b, 1, QStringLiteral("P"), QDateTime::currentDateTime()))) ? 0 : 1;
    }
    QSqlDatabase d = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("hold"));
    d.setDatabaseName(b);
    if (!d.open())
        return 3;
    QSqlQuery q(d);
    for (const QString &s : a == QLatin1String("lock") ? QStringList{"PRAGMA journal_mode = MEMORY", "BEGIN EXCLUSIVE", "UPDATE project SET company = company"}
                                                      : QStringList{"BEGIN", "UPDATE pickuplog SET note = coalesce(note, '') || '.'"})
        if (!q.exec(s))
            return std::fprintf(stderr, "%s: %s\n", qPrintable(s), qPrintable(q.lastError().text())), 4;
    std::puts("held");
    std::fflush(stdout);
    while (std::getchar() != EOF) {}
    q.exec(QStringLiteral("ROLLBACK"));
    return 0;
}

int main(int argc, char **argv)
{
    if (argc == 4 && (qstrcmp(argv[1], "--import-child") == 0 || qstrcmp(argv[1], "--export-child") == 0 || qstrcmp(argv[1], "--hold-child") == 0)) {
        QCoreApplication app(argc, argv);
        return child(argv[1], QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]));
    }
    QApplication app(argc, argv);
    TestTransfer t;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&t, argc, argv);
}

#include "tst_transfer.moc"
