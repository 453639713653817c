#include "support/testenv.h"
#include "transferfixtures.h"

#include "core/app/globals.h"
#include "ui/common/windowregistry.h"
#include "core/db/database.h"
#include "core/db/registers.h"
#include "core/db/sampledata.h"
#include "core/db/schema.h"
#include "ui/transfer/frmimport.h"
#include "core/transfer/transfer.h"
#include "ui/transfer/exportdatabase.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QListView>
#include <QPointer>
#include <QProcess>
#include <QProgressDialog>
#include <QPushButton>
#include <QRandomGenerator>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <cstdio>
#include <optional>

using namespace fixtures;

// Stands in for the main window: counts the re-reads the import asks for.
class FakeMain : public QWidget
{
    Q_OBJECT
public:
    FakeMain()
    {
        setObjectName(QStringLiteral("frmMain"));
        connect(&registers(), &Registers::changed, this, &FakeMain::RefreshInterface);
    }
    int refreshes = 0;
public slots:
    void RefreshInterface() { ++refreshes; }
};

namespace {

const QString kDone = QStringLiteral("IMPORT DATABASE|Import process complete");

SampleSpec sample(int projects, int companies = 6, int pickups = 8)
{
    SampleSpec s;
    s.projects = projects;
    s.companiesPerProject = companies;
    s.pickupsPerCompany = pickups;
    return s;
}

// A transfer file as the export writes it: project 5 with subcontractors 11 to 13
// (12 without pick-ups) and five pick-ups; then `extra` statements.
bool writeTransfer(const QString &path, const QStringList &extra = {})
{
    QStringList all = schema::createTableStatements();
    all << QStringLiteral("PRAGMA application_id = %1").arg(schema::kTransferApplicationId)
        << QStringLiteral("PRAGMA user_version = %1").arg(schema::kVersion)
        << QStringLiteral("INSERT INTO project VALUES (5, 'NORTH TOWER', 'ATLAS PROPERTIES', -1)")
        << QStringLiteral("INSERT INTO authorizedcompanies VALUES (11, 5, 'ACME ELECTRIC', '1 MAIN ST', NULL, 'AUSTIN', 'TX', "
                          "'78701', '(512) 555-0101', NULL, 'OFFICE@ACME.COM', 'WWW.ACME.COM', 'CALL FIRST', '2026-02-28', "
                          "'J. SMITH', 'DRAWINGS', -1), (12, 5, 'BRIGHT PLUMBING', '', '', '', '', '', '', '', '', '', NULL, "
                          "NULL, NULL, NULL, 0), (13, 5, 'O''NEIL GLASS', '9 PARK LN', 'SUITE 4', 'RENO', 'NV', '89501', NULL, "
                          "'(775) 555-0199', NULL, NULL, NULL, '2026-01-05 08:30:00', 'K. PATEL', 'KEYS (4)', -1)")
        << QStringLiteral("INSERT INTO pickuplog VALUES (101, 5, 11, '2026-01-02', 'J. SMITH', 'SET A', NULL), "
                          "(102, 5, 11, '2026-01-03 14:20:00', 'M. GARCIA', 'SET B', 'LEFT AT DESK'), (103, 5, 11, NULL, NULL, "
                          "NULL, ''), (104, 5, 13, '2025-12-31', 'D. O''BRIEN', 'ADDENDUM 3', NULL), "
                          "(105, 5, 13, '2026-02-01', 'L. CHEN', 'PERMIT COPIES', 'SIGNED')")
        << extra;
    return withFile(path, [&](QSqlDatabase &d) { return execAll(d, all); });
}

// A transfer file with one large project.
bool writeLargeTransfer(const QString &path, int companies, int pickups)
{
    const QString n = QStringLiteral("WITH RECURSIVE c(n) AS (SELECT 1 UNION ALL SELECT n + 1 FROM c WHERE n < %1) ");
    QStringList all = schema::createTableStatements();
    all << QStringLiteral("INSERT INTO project VALUES (1, 'BIG PROJECT', 'CLIENT', -1)")
        << n.arg(companies) + QStringLiteral("INSERT INTO authorizedcompanies (id, idproject, name, address1, city, state, zipcode, "
                                             "telephone, email, website, active) SELECT n, 1, 'SUB ' || n, n || ' MAIN ST', 'AUSTIN', "
                                             "'TX', '78701', '(512) 555-0101', 'OFFICE@SUB.COM', 'WWW.SUB.COM', -1 FROM c")
        << n.arg(pickups) + QStringLiteral("INSERT INTO pickuplog (idproject, idauthorizedcompany, pickupdate, pickupby, package, note) "
                                           "SELECT 1, n % %1 + 1, date('2025-01-01', '+' || (n % 365) || ' days'), 'J. SMITH', "
                                           "'DRAWINGS SET ' || n, CASE WHEN n % 3 = 0 THEN NULL ELSE 'PICKED UP AT FRONT DESK.' END "
                                           "FROM c").arg(companies);
    return withFile(path, [&](QSqlDatabase &d) { return execAll(d, all); });
}

ProjectData fileProject(const QString &path, qint64 id)
{
    ProjectData p;
    withFile(path, [&](QSqlDatabase &d) { return p = readProject(d, id), true; });
    return p;
}

qint64 newestProject() { return rows(db::main(), QStringLiteral("SELECT max(id) FROM project"), {}, false).value(0).value(0).toLongLong(); }

qsizetype attached() { return rows(db::main(), QStringLiteral("SELECT name FROM pragma_database_list WHERE name NOT IN ('main', 'temp')")).size(); }

QList<qint64> plus(const QList<qint64> &before, qint64 projects, qint64 companies, qint64 pickups)
{
    return {before.at(0) + projects, before.at(1) + companies, before.at(2) + pickups, before.at(3)};
}

// Closes a modal window left open, so that a test fails instead of hanging.
struct Watchdog
{
    QTimer timer;
    Watchdog()
    {
        timer.callOnTimeout([] { if (QWidget *w = QApplication::activeModalWidget()) w->close(); });
        timer.start(20000);
    }
};

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
    ~Holder()
    {
        p.closeWriteChannel();
        if (!p.waitForFinished(10000))
            p.kill();
        p.waitForFinished();
    }
};

enum class Bad { Text, Empty, Truncated, CorruptPage, Statements, Missing, Folder, Locked, BeingWritten };

} // namespace

Q_DECLARE_METATYPE(Bad)

class TestImport : public QObject
{
    Q_OBJECT
private slots:
    void roundTrip_data();
    void roundTrip();
    void sameFileTwice();
    void rejectedFiles_data();
    void rejectedFiles();
    void acceptedFiles_data();
    void acceptedFiles();
    void failureHalfWayLeavesNothing_data();
    void failureHalfWayLeavesNothing();
    void importWindow_data();
    void importWindow();
    void killedImport();
};

void TestImport::roundTrip_data()
{
    QTest::addColumn<qint64>("pid");
    QTest::addColumn<QStringList>("atExport");
    QTest::addColumn<QStringList>("atImport");
    QTest::addColumn<bool>("large"); // shows a progress dialog on both sides
    QTest::newRow("sample project") << qint64(2) << QStringList() << QStringList() << false;
    QTest::newRow("large project") << qint64(2) << QStringList{"WITH RECURSIVE c(n) AS (SELECT 1 UNION ALL SELECT n + 1 FROM c WHERE n < 30000) "
                                                               "INSERT INTO pickuplog (idproject, idauthorizedcompany, pickupby) SELECT 2, "
                                                               "(SELECT min(id) FROM authorizedcompanies WHERE idproject = 2), 'P' || n FROM c"}
                                   << QStringList() << true;
    QTest::newRow("ids above 32767 on both sides")
        << qint64(40000)
        << QStringList{"INSERT INTO project (id, projectname, company, active) VALUES (40000, 'HIGH', 'C', 0)",
                       "UPDATE authorizedcompanies SET idproject = 40000, id = id + 70000 WHERE idproject = 2",
                       "UPDATE pickuplog SET idproject = 40000, idauthorizedcompany = idauthorizedcompany + 70000, "
                       "id = id + 100000 WHERE idproject = 2"}
        << QStringList{"INSERT INTO project (id, projectname) VALUES (50000, 'GAP')",
                       "INSERT INTO authorizedcompanies (id, idproject, name) VALUES (90000, 50000, 'GAP')"} << false;
    QTest::newRow("dates with times, empty values, yes/no")
        << qint64(2)
        << QStringList{"UPDATE project SET company = NULL, active = 0 WHERE id = 2",
                       "UPDATE authorizedcompanies SET address2 = '', fax = NULL, pickupdate = '2026-02-28 17:45:00', active = 0 "
                       "WHERE idproject = 2 AND id % 2 = 0",
                       "UPDATE pickuplog SET pickupdate = NULL, note = '', package = NULL WHERE idproject = 2 AND id % 3 = 0",
                       "UPDATE pickuplog SET pickupdate = '2024-02-29 23:59:59' WHERE idproject = 2 AND id % 3 = 1"}
        << QStringList() << false;
    QTest::newRow("project without subcontractors") << qint64(2) << QStringList{"DELETE FROM authorizedcompanies WHERE idproject = 2"}
                                                    << QStringList() << false;
}

void TestImport::roundTrip()
{
    QFETCH(qint64, pid);
    QFETCH(QStringList, atExport);
    QFETCH(QStringList, atImport);
    QFETCH(bool, large);
    QTemporaryDir carry;
    const QString file = carry.filePath(QStringLiteral("carried.mdb"));
    ProjectData original;
    {
        TestEnv a;
        QVERIFY(a.createDatabase(sample(3, 5, 6)));
        for (const QString &s : atExport)
            QVERIFY(a.exec(s));
        original = readProject(db::main(), pid);
        const QString name = original.project.value(0);
        QCOMPARE(sawProgressDialog([&] { ui::ExportDatabase(QString::number(pid), name, nullptr); }), large);
        QCOMPARE(a.messages.texts(), QStringList{QStringLiteral("Export process complete")});
        QVERIFY(QFile::copy(a.path(transfer::transferFileName(name, a.clock.value)), file));
    }
    QVERIFY(!original.project.isEmpty());
    TestEnv b;
    SampleSpec other = sample(4);
    other.seed = 99;
    QVERIFY(b.createDatabase(other));
    for (const QString &s : atImport)
        QVERIFY(b.exec(s));
    const QList<qint64> before = counts(db::main());
    const QVariant maxCompany = b.scalar(QStringLiteral("SELECT max(id) FROM authorizedcompanies"));
    const QVariant maxPickup = b.scalar(QStringLiteral("SELECT max(id) FROM pickuplog"));
    auto *main = window<FakeMain>();

    QCOMPARE(sawProgressDialog([&] { window<frmimport>()->Import(file); }), large);
    QCOMPARE(said(b.messages), QStringList{kDone});
    for (QWidget *w : QApplication::topLevelWidgets())
        QVERIFY(!qobject_cast<QProgressDialog *>(w)); // gone afterwards
    QCOMPARE(main->refreshes, 1);
    const qint64 id = newestProject();
    const ProjectData imported = readProject(db::main(), id);
    QVERIFY2(imported == original, qPrintable(describe(imported) + " <> " + describe(original)));
    QCOMPARE(counts(db::main()), plus(before, 1, original.companies.size(), original.pickups.size()));
    // New ids, links rewritten to them.
    QCOMPARE(b.scalar(QStringLiteral("SELECT count(*) FROM authorizedcompanies WHERE idproject = ? AND id <= ?"), {id, maxCompany}).toInt(), 0);
    QCOMPARE(b.scalar(QStringLiteral("SELECT count(*) FROM pickuplog WHERE idproject = ? AND (id <= ? OR idauthorizedcompany NOT IN "
                                     "(SELECT id FROM authorizedcompanies WHERE idproject = ?))"), {id, maxPickup, id}).toInt(), 0);
    QCOMPARE(attached(), 0);
    QCOMPARE(b.scalar(QStringLiteral("SELECT count(*) FROM sqlite_temp_master")).toInt(), 0);
}

void TestImport::sameFileTwice()
{
    TestEnv env;
    QVERIFY(env.createDatabase(sample(3, 10, 40)));
    const QString file = env.path(QStringLiteral("t.mdb"));
    QVERIFY(writeTransfer(file));
    const ProjectData original = fileProject(file, 5);
    const QList<qint64> before = counts(db::main());
    // A list elsewhere has read only part of its rows, as lazily filled lists do.
    QSqlQuery halfRead(db::main());
    QVERIFY(halfRead.exec(QStringLiteral("SELECT * FROM pickuplog")) && halfRead.next());
    QList<qint64> ids;
    for (int i = 0; i < 2; ++i) {
        Failure why;
        const auto r = transfer::importProject(db::main(), file, std::nullopt, {}, &why);
        QVERIFY2(r, qPrintable(why.description));
        QCOMPARE(readProject(db::main(), r->projectId), original);
        ids << r->projectId;
    }
    QVERIFY(ids.at(0) != ids.at(1));
    QCOMPARE(counts(db::main()), plus(before, 2, 6, 10));
    QVERIFY(halfRead.next());
    halfRead.finish();
    // Once nothing reads any more, the file is let go: another program can lock it.
    QTRY_COMPARE_WITH_TIMEOUT(attached(), 0, 5000);
    QVERIFY(withFile(file, [](QSqlDatabase &d) {
        return execAll(d, {"PRAGMA busy_timeout = 0", "BEGIN EXCLUSIVE", "ROLLBACK"});
    }));
    // Ids are never given twice, also after the rows that had them are deleted.
    const qint64 highest = env.scalar(QStringLiteral("SELECT max(id) FROM authorizedcompanies")).toLongLong();
    QVERIFY(env.exec(QStringLiteral("DELETE FROM authorizedcompanies WHERE idproject = ?"), {ids.at(1)}));
    const auto third = transfer::importProject(db::main(), file);
    QVERIFY(third);
    QCOMPARE(readProject(db::main(), third->projectId), original);
    QCOMPARE(env.scalar(QStringLiteral("SELECT min(id) FROM authorizedcompanies WHERE idproject = ?"), {third->projectId}).toLongLong(),
             highest + 1);
}

void TestImport::rejectedFiles_data()
{
    QTest::addColumn<Bad>("bad");
    QTest::addColumn<QStringList>("statements");
    QTest::addColumn<int>("number");
    QTest::addColumn<QString>("says");
    const QStringList none;
    const auto sql = [](const char *name, const QStringList &s, int number, const char *says) {
        QTest::newRow(name) << Bad::Statements << s << number << QString::fromUtf8(says);
    };
    QTest::newRow("not a database") << Bad::Text << none << 26 << "not a database";
    QTest::newRow("empty file") << Bad::Empty << none << 26 << "the file is empty";
    QTest::newRow("truncated") << Bad::Truncated << none << 11 << "damaged";
    QTest::newRow("a corrupted page") << Bad::CorruptPage << none << 11 << "damaged";
    QTest::newRow("file does not exist") << Bad::Missing << none << 14 << "does not exist";
    QTest::newRow("a folder") << Bad::Folder << none << 14 << "folder";
    QTest::newRow("locked by another process") << Bad::Locked << none << 5 << "in use by another program";
    QTest::newRow("still being written by another process") << Bad::BeingWritten << none << 5 << "still being written";
    sql("no project table", {"DROP TABLE project"}, 1, "no table \"project\"");
    sql("no authorizedcompanies table", {"DROP TABLE authorizedcompanies"}, 1, "no table \"authorizedcompanies\"");
    sql("no pickuplog table", {"DROP TABLE pickuplog"}, 1, "no table \"pickuplog\"");
    sql("a column missing", {"ALTER TABLE authorizedcompanies DROP COLUMN email"}, 1, "has no column \"email\"");
    sql("project is a view", {"DROP TABLE project", "CREATE VIEW project AS SELECT 5 AS id, 'X' AS projectname, 'C' AS company, -1 AS active"},
        1, "no table \"project\"");
    sql("wrong type: id as text", {"DROP TABLE project", "CREATE TABLE project (id, projectname, company, active)",
                                   "INSERT INTO project VALUES ('P5', 'X', 'C', -1)"}, 20, "\"id\" of the table \"project\"");
    sql("wrong type: yes/no as text", {"UPDATE authorizedcompanies SET active = 'YES' WHERE id = 12"}, 20,
        "\"active\" of the table \"authorizedcompanies\"");
    sql("wrong type: link as text", {"UPDATE pickuplog SET idauthorizedcompany = 'ELEVEN' WHERE id = 101"}, 20, "\"idauthorizedcompany\"");
    sql("wrong type: date in another form", {"UPDATE pickuplog SET pickupdate = '12/31/2025' WHERE id = 104"}, 20,
        "\"pickupdate\" of the table \"pickuplog\"");
    sql("wrong type: no such day", {"UPDATE authorizedcompanies SET pickupdate = '2026-02-30' WHERE id = 11"}, 20,
        "\"pickupdate\" of the table \"authorizedcompanies\"");
    sql("wrong type: binary in a text column", {"UPDATE authorizedcompanies SET name = x'00ff10' WHERE id = 13"}, 20, "binary data");
    sql("empty project table", {"DELETE FROM project"}, 12, "holds no project");
    sql("one id twice", {"DROP TABLE authorizedcompanies",
                         "CREATE TABLE authorizedcompanies (id INTEGER, idproject, name, address1, address2, city, state, zipcode, "
                         "telephone, fax, email, website, note, pickupdate, pickupby, package, active)",
                         "INSERT INTO authorizedcompanies (id, idproject, name) VALUES (11, 5, 'A'), (11, 5, 'B')"}, 11, "stands twice");
    sql("made by a newer version", {"PRAGMA user_version = 99"}, 1, "newer version");
    sql("another program's database", {"PRAGMA application_id = 1234"}, 26, "another program");
}

void TestImport::rejectedFiles()
{
    QFETCH(Bad, bad);
    QFETCH(QStringList, statements);
    QFETCH(int, number);
    QFETCH(QString, says);
    TestEnv env;
    QVERIFY(env.createDatabase(sample(2)));
    const QString file = env.path(QStringLiteral("bad 'file'.mdb"));
    QFile f(file);
    if (bad == Bad::Text || bad == Bad::Empty)
        QVERIFY(f.open(QIODevice::WriteOnly) && f.write(QByteArray("PROJECT;NORTH TOWER\n").repeated(bad == Bad::Text ? 100 : 0)) >= 0);
    else if (bad == Bad::Folder)
        QVERIFY(QDir().mkpath(file));
    else if (bad != Bad::Missing && bad != Bad::Truncated && bad != Bad::CorruptPage)
        QVERIFY(writeTransfer(file, statements));
    if (bad == Bad::Truncated || bad == Bad::CorruptPage) {
        QVERIFY(writeLargeTransfer(file, 40, 2000));
        QList<QStringList> at; // the pick-ups' root page: its header and cell pointers
        QVERIFY(withFile(file, [&](QSqlDatabase &d) {
            at = rows(d, QStringLiteral("SELECT rootpage, (SELECT page_size FROM pragma_page_size) FROM sqlite_master "
                                        "WHERE name = 'pickuplog'"), {}, false);
            return at.size() == 1;
        }));
        QVERIFY(f.open(QIODevice::ReadWrite));
        if (bad == Bad::Truncated)
            QVERIFY(f.resize(f.size() / 2));
        else
            QVERIFY(f.seek((at[0][0].toLongLong() - 1) * at[0][1].toLongLong()) && f.write(QByteArray(64, '\xA5')) == 64);
    }
    f.close();
    std::optional<Holder> holder;
    if (bad == Bad::Locked || bad == Bad::BeingWritten)
        QVERIFY(holder.emplace(bad == Bad::Locked ? QStringLiteral("lock") : QStringLiteral("write"), file).ready());
    const QByteArray mainHash = fileHash(gDbFile), fileBefore = fileHash(file);

    Failure lf, imf;
    QVERIFY(!transfer::listProjects(file, &lf));
    QVERIFY(!transfer::importProject(db::main(), file, std::nullopt, {}, &imf));
    for (const Failure &failure : {lf, imf}) {
        QCOMPARE(failure.number, number);
        QVERIFY2(failure.description.contains(says), qPrintable(failure.description));
    }
    // Through the window: the list reports it and closes unshown; a direct import
    // reports it as the import's outcome.
    auto *main = window<FakeMain>();
    Watchdog watchdog;
    window<frmimport>()->showlist(file);
    QVERIFY(!WindowRegistry::existing<frmimport>());
    window<frmimport>()->Import(file);
    QVERIFY(!WindowRegistry::existing<frmimport>());
    QCOMPARE(main->refreshes, 1);
    QCOMPARE(said(env.messages), (QStringList{QStringLiteral("Import Error|Error importing:  %1 : ").arg(number) + lf.description,
                                              QStringLiteral("IMPORT DATABASE|ERROR:  %1: ").arg(number) + imf.description}));
    holder.reset();
    QCOMPARE(fileHash(gDbFile), mainHash);
    QCOMPARE(fileHash(file), fileBefore);
    QVERIFY(!QFileInfo::exists(gDbFile + QStringLiteral("-journal")));
    QCOMPARE(attached(), 0);
    QCOMPARE(env.scalar(QStringLiteral("PRAGMA integrity_check")).toString(), QStringLiteral("ok"));
}

void TestImport::acceptedFiles_data()
{
    QTest::addColumn<QStringList>("extra");
    QTest::addColumn<qint64>("chosen"); // 0: none
    QTest::addColumn<bool>("readOnly");
    QTest::addColumn<QStringList>("asStored"); // how the expected rows differ from the file's
    const QStringList twoProjects{
        "INSERT INTO project VALUES (6, 'ANOTHER', 'ELSEWHERE', 0)",
        "INSERT INTO authorizedcompanies (id, idproject, name, active) VALUES (21, 6, 'OTHER SUB', 0), (22, 6, 'THIRD SUB', -1)",
        "INSERT INTO pickuplog VALUES (201, 6, 21, '2026-03-01', 'X', 'Y', 'Z'), (202, 6, 22, NULL, NULL, NULL, NULL), "
        "(203, 6, 11, '2026-03-02', 'ON ANOTHER PROJECT', NULL, NULL)"};
    const QStringList text = {"name", "address1", "address2", "city", "state", "zipcode", "telephone", "fax",
                              "email", "website", "note", "pickupby", "package"};
    const auto mb = [](const QString &piece) { return QLatin1Char('\'') + piece.repeated((1 << 20) / piece.toUtf8().size() + 1) + '\''; };
    QStringList huge, quoted;
    for (int i = 0; i < text.size(); ++i) {
        huge << QStringLiteral("%1 = %2").arg(text.at(i), mb(QStringLiteral("%1ÄB").arg(i)));
        quoted << QStringLiteral("%1 = '%1: O''Neil \"q\" ; DROP TABLE project; -- ü 北京 😀 \\ %_'").arg(text.at(i));
    }
    QTest::newRow("two projects, the second chosen") << twoProjects << qint64(6) << false << QStringList();
    QTest::newRow("two projects, none chosen: the first row") << twoProjects << qint64(0) << false << QStringList();
    QTest::newRow("pick-ups pointing at no subcontractor")
        << QStringList{"INSERT INTO pickuplog VALUES (301, 5, 999, '2026-03-01', 'NOBODY', NULL, NULL), "
                       "(302, 5, NULL, NULL, 'NULL SUB', NULL, NULL)"} << qint64(0) << false << QStringList();
    QTest::newRow("triggers, views and indexes planted")
        << QStringList{"CREATE TRIGGER wipe AFTER INSERT ON project BEGIN DELETE FROM authorizedcompanies; END",
                       "CREATE TRIGGER wipe2 BEFORE DELETE ON pickuplog BEGIN SELECT RAISE(ABORT, 'planted'); END",
                       "CREATE VIEW evil AS SELECT * FROM project, authorizedcompanies", "CREATE INDEX ix_evil ON pickuplog(lower(note))",
                       "CREATE TABLE extra_table (x)"} << qint64(0) << false << QStringList();
    QTest::newRow("1 MB texts")
        << QStringList{"UPDATE authorizedcompanies SET " + huge.join(", ") + " WHERE id = 11",
                       QStringLiteral("UPDATE project SET projectname = %1, company = %2").arg(mb("P"), mb("Ç")),
                       QStringLiteral("UPDATE pickuplog SET pickupby = %1, package = %2, note = %3 WHERE id = 102").arg(mb("B"), mb("K"), mb("N\n"))}
        << qint64(0) << false << QStringList();
    QTest::newRow("quotes and Unicode in every text column")
        << QStringList{"UPDATE authorizedcompanies SET " + quoted.join(", "),
                       "UPDATE project SET projectname = 'L''ÉTOILE \"Ω\" ''); DROP TABLE project; --', company = 'Ünïcødé 中文'",
                       "UPDATE pickuplog SET pickupby = 'D''ARCY', package = '\"PKG\" 😀', note = 'x''); DELETE FROM pickuplog; --'"}
        << qint64(0) << false << QStringList();
    QTest::newRow("read-only file") << QStringList() << qint64(0) << true << QStringList();
    QTest::newRow("dates, empty values and yes/no") // an empty date is stored as NULL; any true value as -1
        << QStringList{"UPDATE authorizedcompanies SET active = 1, pickupdate = '' WHERE id = 11",
                       "UPDATE authorizedcompanies SET active = NULL WHERE id = 12", "UPDATE pickuplog SET pickupdate = '' WHERE id = 101",
                       "UPDATE pickuplog SET pickupdate = '2024-02-29 00:00:01' WHERE id = 105"}
        << qint64(0) << false
        << QStringList{"UPDATE authorizedcompanies SET active = -1, pickupdate = NULL WHERE id = 11",
                       "UPDATE pickuplog SET pickupdate = NULL WHERE id = 101"};
}

void TestImport::acceptedFiles()
{
    QFETCH(QStringList, extra);
    QFETCH(qint64, chosen);
    QFETCH(bool, readOnly);
    QFETCH(QStringList, asStored);
    TestEnv env;
    QVERIFY(env.createDatabase(sample(2)));
    const QString file = env.path(QStringLiteral("odd.mdb")), stored = env.path(QStringLiteral("expected.mdb"));
    QVERIFY(writeTransfer(file, extra));
    QVERIFY(QFile::copy(file, stored) && withFile(stored, [&](QSqlDatabase &d) { return execAll(d, asStored); }));
    if (readOnly)
        QVERIFY(QFile::setPermissions(file, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
    const ProjectData expected = fileProject(stored, chosen ? chosen : 5);
    const QByteArray fileBefore = fileHash(file);
    const QList<qint64> before = counts(db::main());

    Failure why;
    const auto r = transfer::importProject(db::main(), file, chosen ? std::optional(chosen) : std::nullopt, {}, &why);
    QVERIFY2(r, qPrintable(why.description));
    QCOMPARE(r->projectId, newestProject());
    const ProjectData imported = readProject(db::main(), r->projectId);
    QVERIFY2(imported == expected, qPrintable(describe(imported) + " <> " + describe(expected)));
    QCOMPARE(counts(db::main()), plus(before, 1, expected.companies.size(), expected.pickups.size()));
    QCOMPARE(r->companies, expected.companies.size());
    QCOMPARE(r->pickups, expected.pickups.size());
    QCOMPARE(fileHash(file), fileBefore); // read, never written
    QVERIFY(!QFileInfo::exists(file + QStringLiteral("-journal")));
    QCOMPARE(attached(), 0);
    QCOMPARE(env.scalar(QStringLiteral("PRAGMA trusted_schema")).toInt(), 1); // as it was before
}

void TestImport::failureHalfWayLeavesNothing_data()
{
    QTest::addColumn<bool>("diskFull");
    QTest::newRow("a write refused by the database") << false;
    QTest::newRow("disk full") << true;
}

void TestImport::failureHalfWayLeavesNothing()
{
    QFETCH(bool, diskFull);
    TestEnv env;
    QVERIFY(env.createDatabase(sample(3)));
    const QString file = env.path(QStringLiteral("big.mdb"));
    QVERIFY(writeLargeTransfer(file, 50, 4000));
    const QByteArray mainHash = fileHash(gDbFile);
    // Refuses the 3000th pick-up, long after the project and its subcontractors went in.
    QVERIFY(diskFull || env.exec(QStringLiteral("CREATE TEMP TRIGGER refuse BEFORE INSERT ON main.pickuplog "
                                                "WHEN NEW.package = 'DRAWINGS SET 3000' BEGIN SELECT RAISE(ABORT, 'refused'); END")));
    {
        std::optional<FileSizeLimit> full;
        if (diskFull)
            QVERIFY(full.emplace(QFileInfo(gDbFile).size() + 8192).ok);
        window<frmimport>()->Import(file);
    }
    QVERIFY(diskFull || env.exec(QStringLiteral("DROP TRIGGER temp.refuse")));
    QCOMPARE(env.messages.calls.size(), 1);
    const QString text = env.messages.calls.first().text;
    QCOMPARE(env.messages.calls.first().title, QStringLiteral("IMPORT DATABASE"));
    QVERIFY2(text.startsWith(QStringLiteral("ERROR:  ")) && text.contains(diskFull ? "full" : "refused"), qPrintable(text));
    QCOMPARE(fileHash(gDbFile), mainHash);
    QVERIFY(!QFileInfo::exists(gDbFile + QStringLiteral("-journal")));
    QCOMPARE(env.scalar(QStringLiteral("SELECT count(*) FROM sqlite_temp_master")).toInt(), 0);
    QCOMPARE(attached(), 0);
    Failure why;
    const auto r = transfer::importProject(db::main(), file, std::nullopt, {}, &why); // and it still takes the import afterwards
    QVERIFY2(r, qPrintable(why.description));
    QCOMPARE(r->pickups, 4000);
}

void TestImport::importWindow_data()
{
    QTest::addColumn<bool>("replaced");
    QTest::newRow("the chosen project is imported") << false;
    QTest::newRow("the file replaced between listing and OK") << true;
}

void TestImport::importWindow()
{
    QFETCH(bool, replaced);
    TestEnv env;
    QVERIFY(env.createDatabase());
    const QString file = env.path(QStringLiteral("two.mdb"));
    QVERIFY(writeTransfer(file, {"UPDATE project SET projectname = 'ZULU'", "INSERT INTO project VALUES (6, 'alpha', 'ELSEWHERE', 0)",
                                 "INSERT INTO authorizedcompanies (id, idproject, name, active) VALUES (21, 6, 'OTHER SUB', 0)",
                                 "INSERT INTO pickuplog VALUES (201, 6, 21, '2026-03-01', 'X', 'Y', 'Z')"}));
    const ProjectData alpha = fileProject(file, 6);
    const QByteArray mainHash = fileHash(gDbFile);
    auto *main = window<FakeMain>();
    QPointer<frmimport> w = window<frmimport>();
    QStringList listed;
    bool stayedOpen = false, modal = false;
    QString caption;
    QTimer::singleShot(0, this, [&] {
        QVERIFY(QTest::qWaitForWindowActive(w));
        caption = w->windowTitle();
        modal = w->isModal();
        auto *list = w->findChild<QListView *>(QStringLiteral("Dlist"));
        auto *ok = w->findChild<QPushButton *>(QStringLiteral("CMDOK"));
        QVERIFY(list && ok && ok->text() == QLatin1String("OK"));
        for (int i = 0; i < list->model()->rowCount(); ++i)
            listed << list->model()->index(i, 0).data().toString();
        QTest::mouseClick(ok, Qt::LeftButton);
        stayedOpen = w && w->isVisible();
        // "alpha" stands first in the list but second in the file.
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualRect(list->model()->index(0, 0)).center());
        if (QFile f(file); replaced && f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            f.write(QByteArray(8192, 'z'));
        QTest::mouseClick(ok, Qt::LeftButton);
    });
    Watchdog watchdog;
    w->showlist(file);

    QCOMPARE(listed, (QStringList{"alpha", "ZULU"}));
    QCOMPARE(caption, QStringLiteral("import projects"));
    QVERIFY(modal && stayedOpen);
    QVERIFY(!WindowRegistry::existing<frmimport>());
    QCOMPARE(main->refreshes, 1);
    QCOMPARE(env.messages.calls.size(), 2);
    QCOMPARE(said(env.messages).first(), QStringLiteral("PROJECT|Please select an item from the list"));
    if (replaced) {
        QCOMPARE(env.messages.calls.at(1).title, QStringLiteral("IMPORT DATABASE"));
        QVERIFY2(env.messages.calls.at(1).text.startsWith(QStringLiteral("ERROR:  26: ")), qPrintable(env.messages.calls.at(1).text));
        QCOMPARE(fileHash(gDbFile), mainHash);
    } else {
        QCOMPARE(said(env.messages).at(1), kDone);
        QCOMPARE(counts(db::main()).at(0), 1);
        QCOMPARE(readProject(db::main(), newestProject()), alpha);
    }
}

void TestImport::killedImport()
{
    TestEnv env;
    QVERIFY(env.createDatabase(sample(5)));
    const QString file = env.path(QStringLiteral("big.mdb"));
    QVERIFY(writeLargeTransfer(file, 300, 30000));
    const ProjectData expected = fileProject(file, 1);
    const QList<qint64> start = counts(db::main());
    const auto runChild = [&](int killAfterMs, bool *killed) {
        QProcess p;
        p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        p.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--import-child"), gDbFile, file});
        if (!p.waitForReadyRead(30000))
            return -1;
        if (killAfterMs >= 0 && !p.waitForFinished(killAfterMs)) {
            p.kill();
            *killed = true;
        }
        p.waitForFinished(30000);
        return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -2;
    };
    // One whole run sets the pace for the kills.
    QElapsedTimer t;
    t.start();
    bool killed = false;
    QCOMPARE(runChild(-1, &killed), 0);
    const int whole = int(t.elapsed());
    int imported = 1, kills = 0, attempts = 0;
    QRandomGenerator rng(20260307);
    while (kills < 20 && attempts++ < 80) {
        killed = false;
        const int rc = runChild(int(rng.bounded(whole)), &killed);
        // Recovery happens here, on the next open of the database.
        QCOMPARE(env.scalar(QStringLiteral("PRAGMA integrity_check")).toString(), QStringLiteral("ok"));
        const QList<qint64> now = counts(db::main());
        const QList<qint64> nothing = plus(start, imported, imported * expected.companies.size(), imported * expected.pickups.size());
        const QList<qint64> all = plus(nothing, 1, expected.companies.size(), expected.pickups.size());
        QVERIFY2(now == all || now == nothing, qPrintable(QStringLiteral("attempt %1: partial import left behind").arg(attempts)));
        if (now == all && ++imported)
            QCOMPARE(readProject(db::main(), newestProject()), expected);
        if (killed)
            ++kills;
        else
            QCOMPARE(rc, 0);
    }
    QVERIFY2(kills >= 20, qPrintable(QStringLiteral("only %1 kills landed in %2 attempts").arg(kills).arg(attempts)));
    // A journal killed before its header was written may stay; SQLite ignores it. One
    // that could still roll something back must not.
    if (QFile journal(gDbFile + QStringLiteral("-journal")); journal.open(QIODevice::ReadOnly))
        QVERIFY(journal.read(8) != QByteArray::fromHex("d9d505f920a163d7"));
    qInfo("%d kills in %d attempts; %d imports complete; a whole import took %d ms", kills, attempts, imported, whole);
}

// The child processes: an import to be killed, and a holder of a transfer file
// ("lock": held with no journal on disk; "write": a transaction half-way).
static int child(const char *role, const QString &a, const QString &b)
{
    if (qstrcmp(role, "--import-child") == 0) {
        if (!db::openMain(a))
            return 3;
        std::puts("begin");
        std::fflush(stdout);
        return transfer::importProject(db::main(), b) ? 0 : 1;
    }
    QSqlDatabase d = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("hold"));
    d.setDatabaseName(b);
    if (!d.open())
        return 3;
    QSqlQuery q(d);
    for (const QString &s : a == QLatin1String("lock") ? QStringList{"PRAGMA journal_mode = MEMORY", "BEGIN EXCLUSIVE", "UPDATE project SET company = company"}
                                                      : QStringList{"BEGIN", "UPDATE pickuplog SET note = coalesce(note, '') || '.'"})
        if (!q.exec(s)) {
            std::fprintf(stderr, "%s: %s\n", qPrintable(s), qPrintable(q.lastError().text()));
            return 4;
        }
    std::puts("held");
    std::fflush(stdout);
    while (std::getchar() != EOF) {
    }
    q.exec(QStringLiteral("ROLLBACK"));
    return 0;
}

int main(int argc, char **argv)
{
    if (argc == 4 && (qstrcmp(argv[1], "--import-child") == 0 || qstrcmp(argv[1], "--hold-child") == 0)) {
        QCoreApplication app(argc, argv);
        return child(argv[1], QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]));
    }
    QApplication app(argc, argv);
    TestImport t;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&t, argc, argv);
}

#include "tst_import.moc"
