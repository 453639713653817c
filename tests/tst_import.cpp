#include "support/testenv.h"
#include "transferfixtures.h"

#include "app/globals.h"
#include "app/windowregistry.h"
#include "db/database.h"
#include "db/sampledata.h"
#include "db/schema.h"
#include "transfer/frmimport.h"
#include "transfer/transfer.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
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
#include <csignal>
#include <cstdio>
#include <sys/resource.h>

using namespace fixtures;

// Stands in for the main window: counts the refreshes the import asks for.
class FakeMain : public QWidget
{
    Q_OBJECT
public:
    FakeMain() { setObjectName(QStringLiteral("frmMain")); }
    int refreshes = 0;
public slots:
    void RefreshInterface() { ++refreshes; }
};

namespace {

QString repeated(const QString &piece, int bytes)
{
    return piece.repeated(bytes / int(piece.toUtf8().size()) + 1);
}

// A transfer file as the export writes it: project 5 with subcontractors 11 to 13
// (12 without pick-ups) and five pick-ups; then `extra` statements.
bool writeTransfer(const QString &path, const QStringList &extra = {})
{
    QStringList all = schema::createTableStatements();
    all << QStringLiteral("PRAGMA application_id = %1").arg(schema::kTransferApplicationId)
        << QStringLiteral("PRAGMA user_version = %1").arg(schema::kVersion)
        << QStringLiteral("INSERT INTO project VALUES (5, 'NORTH TOWER', 'ATLAS PROPERTIES', -1)")
        << QStringLiteral("INSERT INTO authorizedcompanies VALUES (11, 5, 'ACME ELECTRIC', '1 MAIN ST', NULL, 'AUSTIN', "
                          "'TX', '78701', '(512) 555-0101', NULL, 'OFFICE@ACME.COM', 'WWW.ACME.COM', 'CALL FIRST', "
                          "'2026-02-28', 'J. SMITH', 'DRAWINGS', -1)")
        << QStringLiteral("INSERT INTO authorizedcompanies VALUES (12, 5, 'BRIGHT PLUMBING', '', '', '', '', '', '', '', "
                          "'', '', NULL, NULL, NULL, NULL, 0)")
        << QStringLiteral("INSERT INTO authorizedcompanies VALUES (13, 5, 'O''NEIL GLASS', '9 PARK LN', 'SUITE 4', 'RENO', "
                          "'NV', '89501', NULL, '(775) 555-0199', NULL, NULL, NULL, '2026-01-05 08:30:00', 'K. PATEL', "
                          "'KEYS (4)', -1)")
        << QStringLiteral("INSERT INTO pickuplog VALUES (101, 5, 11, '2026-01-02', 'J. SMITH', 'SET A', NULL)")
        << QStringLiteral("INSERT INTO pickuplog VALUES (102, 5, 11, '2026-01-03 14:20:00', 'M. GARCIA', 'SET B', 'LEFT AT DESK')")
        << QStringLiteral("INSERT INTO pickuplog VALUES (103, 5, 11, NULL, NULL, NULL, '')")
        << QStringLiteral("INSERT INTO pickuplog VALUES (104, 5, 13, '2025-12-31', 'D. O''BRIEN', 'ADDENDUM 3', NULL)")
        << QStringLiteral("INSERT INTO pickuplog VALUES (105, 5, 13, '2026-02-01', 'L. CHEN', 'PERMIT COPIES', 'SIGNED')")
        << extra;
    return withFile(path, [&](QSqlDatabase &d) { return execAll(d, all); });
}

// A transfer file with one large project.
bool writeLargeTransfer(const QString &path, int companies, int pickups)
{
    QStringList all = schema::createTableStatements();
    all << QStringLiteral("INSERT INTO project VALUES (1, 'BIG PROJECT', 'CLIENT', -1)")
        << QStringLiteral("WITH RECURSIVE c(n) AS (SELECT 1 UNION ALL SELECT n + 1 FROM c WHERE n < %1) "
                          "INSERT INTO authorizedcompanies (id, idproject, name, address1, city, state, zipcode, telephone, "
                          "email, website, active) SELECT n, 1, 'SUB ' || n, n || ' MAIN ST', 'AUSTIN', 'TX', '78701', "
                          "'(512) 555-0101', 'OFFICE@SUB.COM', 'WWW.SUB.COM', -1 FROM c")
               .arg(companies)
        << QStringLiteral("WITH RECURSIVE c(n) AS (SELECT 1 UNION ALL SELECT n + 1 FROM c WHERE n < %1) "
                          "INSERT INTO pickuplog (idproject, idauthorizedcompany, pickupdate, pickupby, package, note) "
                          "SELECT 1, n % %2 + 1, date('2025-01-01', '+' || (n % 365) || ' days'), 'J. SMITH', "
                          "'DRAWINGS SET ' || n, CASE WHEN n % 3 = 0 THEN NULL ELSE 'PICKED UP AT FRONT DESK.' END FROM c")
               .arg(pickups)
               .arg(companies);
    return withFile(path, [&](QSqlDatabase &d) { return execAll(d, all); });
}

ProjectData fileProject(const QString &path, qint64 id)
{
    ProjectData p;
    withFile(path, [&](QSqlDatabase &d) {
        p = readProject(d, id);
        return true;
    });
    return p;
}

qint64 newestProject()
{
    QSqlQuery q(db::main());
    return q.exec(QStringLiteral("SELECT max(id) FROM project")) && q.next() ? q.value(0).toLongLong() : -1;
}

QStringList attachedNames()
{
    QStringList out;
    QSqlQuery q(db::main());
    q.exec(QStringLiteral("SELECT name FROM pragma_database_list WHERE name NOT IN ('main', 'temp')"));
    while (q.next())
        out << q.value(0).toString();
    return out;
}

// Closes a modal window left open, so that a test fails instead of hanging; only
// while it lives.
class Watchdog
{
public:
    Watchdog()
    {
        m_timer.setSingleShot(true);
        QObject::connect(&m_timer, &QTimer::timeout, [] {
            if (QWidget *w = QApplication::activeModalWidget())
                w->close();
        });
        m_timer.start(20000);
    }

private:
    QTimer m_timer;
};

// A child process that holds `file` the way a writer does until its input closes.
class Holder
{
public:
    Holder(const QString &mode, const QString &file)
    {
        m_p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_p.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--hold-child"), mode, file});
    }
    bool ready() { return m_p.waitForReadyRead(20000) && m_p.readAll().contains("held"); }
    ~Holder()
    {
        m_p.closeWriteChannel();
        if (!m_p.waitForFinished(10000))
            m_p.kill();
        m_p.waitForFinished();
    }

private:
    QProcess m_p;
};

// The odd cases of a transfer file, as statements run on the standard one.
enum class Oddity { None, TwoProjectsSecondChosen, TwoProjectsNoneChosen, OrphanPickups, PlantedObjects, HugeTexts,
                    QuotesAndUnicode, ReadOnlyFile, DatesAndYesNo };

} // namespace

Q_DECLARE_METATYPE(Oddity)

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
    void importWindow();
    void importWindowReportsAFailure();
    void letsGoOfTheFile();
    void progressDialog_data();
    void progressDialog();
    void killedImport();
};

void TestImport::roundTrip_data()
{
    QTest::addColumn<int>("kind");
    QTest::newRow("sample project") << 0;
    QTest::newRow("ids above 32767 on both sides") << 1;
    QTest::newRow("dates with times, empty values, yes/no") << 2;
    QTest::newRow("project without subcontractors") << 3;
}

void TestImport::roundTrip()
{
    QFETCH(int, kind);
    QTemporaryDir carry;
    const QString file = carry.filePath(QStringLiteral("carried.mdb"));
    ProjectData original;
    {
        TestEnv a;
        SampleSpec sample;
        sample.projects = 3;
        sample.companiesPerProject = 5;
        sample.pickupsPerCompany = 6;
        QVERIFY(a.createDatabase(sample));
        qint64 pid = 2;
        if (kind == 1) {
            pid = 40000;
            QVERIFY(a.exec(QStringLiteral("INSERT INTO project (id, projectname, company, active) VALUES (40000, 'HIGH', 'C', 0)")));
            QVERIFY(a.exec(QStringLiteral("UPDATE authorizedcompanies SET idproject = 40000, id = id + 70000 WHERE idproject = 2")));
            QVERIFY(a.exec(QStringLiteral("UPDATE pickuplog SET idproject = 40000, idauthorizedcompany = idauthorizedcompany + 70000, "
                                          "id = id + 100000 WHERE idproject = 2")));
        } else if (kind == 2) {
            QVERIFY(a.exec(QStringLiteral("UPDATE project SET company = NULL, active = 0 WHERE id = 2")));
            QVERIFY(a.exec(QStringLiteral("UPDATE authorizedcompanies SET address2 = '', fax = NULL, pickupdate = '2026-02-28 17:45:00', "
                                          "active = 0 WHERE idproject = 2 AND id % 2 = 0")));
            QVERIFY(a.exec(QStringLiteral("UPDATE pickuplog SET pickupdate = NULL, note = '', package = NULL "
                                          "WHERE idproject = 2 AND id % 3 = 0")));
            QVERIFY(a.exec(QStringLiteral("UPDATE pickuplog SET pickupdate = '2024-02-29 23:59:59' WHERE idproject = 2 AND id % 3 = 1")));
        } else if (kind == 3) {
            QVERIFY(a.exec(QStringLiteral("DELETE FROM authorizedcompanies WHERE idproject = 2")));
        }
        original = readProject(db::main(), pid);
        const QString name = a.scalar(QStringLiteral("SELECT projectname FROM project WHERE id = ?"), {pid}).toString();
        transfer::ExportDatabase(QString::number(pid), name, nullptr);
        QCOMPARE(a.messages.texts(), QStringList{QStringLiteral("Export process complete")});
        QVERIFY(QFile::copy(a.path(transfer::transferFileName(name, a.clock.value)), file));
    }
    QVERIFY(!original.project.isEmpty());
    QCOMPARE(original.companies.isEmpty(), kind == 3);

    TestEnv b;
    SampleSpec other;
    other.projects = 4;
    other.seed = 99;
    QVERIFY(b.createDatabase(other));
    if (kind == 1) {
        QVERIFY(b.exec(QStringLiteral("INSERT INTO project (id, projectname) VALUES (50000, 'GAP')")));
        QVERIFY(b.exec(QStringLiteral("INSERT INTO authorizedcompanies (id, idproject, name) VALUES (90000, 50000, 'GAP')")));
    }
    const QList<qint64> before = counts(db::main());
    const qint64 maxCompany = b.scalar(QStringLiteral("SELECT max(id) FROM authorizedcompanies")).toLongLong();
    const qint64 maxPickup = b.scalar(QStringLiteral("SELECT max(id) FROM pickuplog")).toLongLong();
    auto *main = window<FakeMain>();

    window<frmimport>()->Import(file);

    QCOMPARE(b.messages.calls.size(), 1);
    QCOMPARE(b.messages.calls.first().text, QStringLiteral("Import process complete"));
    QCOMPARE(b.messages.calls.first().title, QStringLiteral("IMPORT DATABASE"));
    QCOMPARE(main->refreshes, 1);
    const qint64 pid = newestProject();
    QVERIFY(pid > before.at(0));
    const ProjectData imported = readProject(db::main(), pid);
    QVERIFY2(imported == original, qPrintable(describe(imported) + " <> " + describe(original)));
    QCOMPARE(counts(db::main()), (QList<qint64>{before.at(0) + 1, before.at(1) + original.companies.size(),
                                                before.at(2) + original.pickups.size(), before.at(3)}));
    // New ids, links rewritten to them.
    QCOMPARE(b.scalar(QStringLiteral("SELECT count(*) FROM authorizedcompanies WHERE idproject = ? AND id <= ?"), {pid, maxCompany}).toInt(), 0);
    QCOMPARE(b.scalar(QStringLiteral("SELECT count(*) FROM pickuplog WHERE idproject = ? AND (id <= ? OR idauthorizedcompany NOT IN "
                                     "(SELECT id FROM authorizedcompanies WHERE idproject = ?))"),
                      {pid, maxPickup, pid}).toInt(),
             0);
    QCOMPARE(attachedNames(), QStringList());
    QCOMPARE(b.scalar(QStringLiteral("SELECT count(*) FROM sqlite_temp_master")).toInt(), 0);
}

void TestImport::sameFileTwice()
{
    TestEnv env;
    QVERIFY(env.createDatabase());
    const QString file = env.path(QStringLiteral("t.mdb"));
    QVERIFY(writeTransfer(file));
    const ProjectData original = fileProject(file, 5);
    QVERIFY(transfer::importProject(db::main(), file).ok);
    const qint64 first = newestProject();
    QVERIFY(transfer::importProject(db::main(), file).ok);
    const qint64 second = newestProject();
    QVERIFY(first != second);
    QCOMPARE(readProject(db::main(), first), original);
    QCOMPARE(readProject(db::main(), second), original);
    QCOMPARE(counts(db::main()).mid(0, 3), (QList<qint64>{2, 6, 10}));
    QCOMPARE(env.scalar(QStringLiteral("SELECT count(DISTINCT projectname) FROM project")).toInt(), 1);
    // Ids are never given twice, also after the rows that had them are deleted.
    const qint64 highest = env.scalar(QStringLiteral("SELECT max(id) FROM authorizedcompanies")).toLongLong();
    QVERIFY(env.exec(QStringLiteral("DELETE FROM authorizedcompanies WHERE idproject = ?"), {second}));
    QVERIFY(transfer::importProject(db::main(), file).ok);
    const qint64 third = newestProject();
    QCOMPARE(readProject(db::main(), third), original);
    QCOMPARE(env.scalar(QStringLiteral("SELECT min(id) FROM authorizedcompanies WHERE idproject = ?"), {third}).toLongLong(),
             highest + 1);
}

enum class Bad { Text, Empty, Truncated, CorruptPage, Statements, Missing, Folder, Locked, BeingWritten };
Q_DECLARE_METATYPE(Bad)

void TestImport::rejectedFiles_data()
{
    QTest::addColumn<Bad>("bad");
    QTest::addColumn<QStringList>("statements");
    QTest::addColumn<int>("number");
    QTest::addColumn<QString>("says");
    const QStringList none;
    QTest::newRow("not a database") << Bad::Text << none << 26 << "not a database";
    QTest::newRow("empty file") << Bad::Empty << none << 26 << "the file is empty";
    QTest::newRow("truncated") << Bad::Truncated << none << 11 << "damaged";
    QTest::newRow("a corrupted page") << Bad::CorruptPage << none << 11 << "damaged";
    QTest::newRow("file does not exist") << Bad::Missing << none << 14 << "does not exist";
    QTest::newRow("a folder") << Bad::Folder << none << 14 << "folder";
    QTest::newRow("locked by another process") << Bad::Locked << none << 5 << "in use by another program";
    QTest::newRow("still being written by another process") << Bad::BeingWritten << none << 5 << "still being written";
    QTest::newRow("no project table") << Bad::Statements << QStringList{"DROP TABLE project"} << 1 << "no table \"project\"";
    QTest::newRow("no authorizedcompanies table") << Bad::Statements << QStringList{"DROP TABLE authorizedcompanies"} << 1
                                                  << "no table \"authorizedcompanies\"";
    QTest::newRow("no pickuplog table") << Bad::Statements << QStringList{"DROP TABLE pickuplog"} << 1 << "no table \"pickuplog\"";
    QTest::newRow("a column missing") << Bad::Statements << QStringList{"ALTER TABLE authorizedcompanies DROP COLUMN email"} << 1
                                      << "has no column \"email\"";
    QTest::newRow("project is a view") << Bad::Statements
                                       << QStringList{"DROP TABLE project",
                                                      "CREATE VIEW project AS SELECT 5 AS id, 'X' AS projectname, "
                                                      "'C' AS company, -1 AS active"}
                                       << 1 << "no table \"project\"";
    QTest::newRow("wrong type: id as text") << Bad::Statements
                                            << QStringList{"DROP TABLE project",
                                                           "CREATE TABLE project (id, projectname, company, active)",
                                                           "INSERT INTO project VALUES ('P5', 'X', 'C', -1)"}
                                            << 20 << "\"id\" of the table \"project\"";
    QTest::newRow("wrong type: yes/no as text") << Bad::Statements
                                                << QStringList{"UPDATE authorizedcompanies SET active = 'YES' WHERE id = 12"}
                                                << 20 << "\"active\" of the table \"authorizedcompanies\"";
    QTest::newRow("wrong type: link as text") << Bad::Statements
                                              << QStringList{"UPDATE pickuplog SET idauthorizedcompany = 'ELEVEN' WHERE id = 101"}
                                              << 20 << "\"idauthorizedcompany\"";
    QTest::newRow("wrong type: date in another form") << Bad::Statements
                                                      << QStringList{"UPDATE pickuplog SET pickupdate = '12/31/2025' WHERE id = 104"}
                                                      << 20 << "\"pickupdate\" of the table \"pickuplog\"";
    QTest::newRow("wrong type: no such day") << Bad::Statements
                                             << QStringList{"UPDATE authorizedcompanies SET pickupdate = '2026-02-30' WHERE id = 11"}
                                             << 20 << "\"pickupdate\" of the table \"authorizedcompanies\"";
    QTest::newRow("wrong type: binary in a text column") << Bad::Statements
                                                         << QStringList{"UPDATE authorizedcompanies SET name = x'00ff10' WHERE id = 13"}
                                                         << 20 << "binary data";
    QTest::newRow("empty project table") << Bad::Statements << QStringList{"DELETE FROM project"} << 12 << "holds no project";
    QTest::newRow("one id twice") << Bad::Statements
                                  << QStringList{"DROP TABLE authorizedcompanies",
                                                 "CREATE TABLE authorizedcompanies (id INTEGER, idproject, name, address1, address2, "
                                                 "city, state, zipcode, telephone, fax, email, website, note, pickupdate, "
                                                 "pickupby, package, active)",
                                                 "INSERT INTO authorizedcompanies (id, idproject, name) VALUES (11, 5, 'A'), (11, 5, 'B')"}
                                  << 11 << "stands twice";
    QTest::newRow("made by a newer version") << Bad::Statements << QStringList{"PRAGMA user_version = 99"} << 1 << "newer version";
    QTest::newRow("another program's database") << Bad::Statements << QStringList{"PRAGMA application_id = 1234"} << 26
                                                << "another program";
}

void TestImport::rejectedFiles()
{
    QFETCH(Bad, bad);
    QFETCH(QStringList, statements);
    QFETCH(int, number);
    QFETCH(QString, says);
    TestEnv env;
    SampleSpec sample;
    sample.projects = 2;
    QVERIFY(env.createDatabase(sample));
    const QString file = env.path(QStringLiteral("bad 'file'.mdb"));
    switch (bad) {
    case Bad::Text: {
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        for (int i = 0; i < 100; ++i)
            f.write("PROJECT;NORTH TOWER;ATLAS PROPERTIES\n");
        break;
    }
    case Bad::Empty: {
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        break;
    }
    case Bad::Truncated:
    case Bad::CorruptPage: {
        QVERIFY(writeLargeTransfer(file, 40, 2000));
        qint64 root = 0, pageSize = 0;
        QVERIFY(withFile(file, [&](QSqlDatabase &d) {
            QSqlQuery q(d);
            q.exec(QStringLiteral("SELECT rootpage, (SELECT page_size FROM pragma_page_size) FROM sqlite_master WHERE name = 'pickuplog'"));
            if (!q.next())
                return false;
            root = q.value(0).toLongLong();
            pageSize = q.value(1).toLongLong();
            return true;
        }));
        QFile f(file);
        QVERIFY(f.open(QIODevice::ReadWrite));
        if (bad == Bad::Truncated) {
            QVERIFY(f.resize(f.size() / 2));
        } else {
            QVERIFY(f.seek((root - 1) * pageSize)); // the table's root page: its header and cell pointers
            f.write(QByteArray(64, '\xA5'));
        }
        break;
    }
    case Bad::Missing:
        break;
    case Bad::Folder:
        QVERIFY(QDir().mkpath(file));
        break;
    case Bad::Statements:
    case Bad::Locked:
    case Bad::BeingWritten:
        QVERIFY(writeTransfer(file, statements));
        break;
    }
    std::unique_ptr<Holder> holder;
    if (bad == Bad::Locked || bad == Bad::BeingWritten) {
        holder = std::make_unique<Holder>(bad == Bad::Locked ? QStringLiteral("lock") : QStringLiteral("write"), file);
        QVERIFY(holder->ready());
    }
    const QByteArray mainHash = fileHash(gDbFile);
    const QByteArray fileBefore = fileHash(file);
    const QString head = QStringLiteral(" %1").arg(number);

    DbFailure f;
    QVERIFY(!transfer::listProjects(file, &f));
    QCOMPARE(f.number, number);
    QVERIFY2(f.description.contains(says), qPrintable(f.description));
    const transfer::ImportResult r = transfer::importProject(db::main(), file);
    QVERIFY(!r.ok);
    QCOMPARE(r.failure.number, number);
    QVERIFY2(r.failure.description.contains(says), qPrintable(r.failure.description));

    // Through the window: the list reports it and closes unshown; a direct import
    // reports it as the import's outcome.
    auto *main = window<FakeMain>();
    Watchdog watchdog;
    window<frmimport>()->showlist(file);
    QVERIFY(!WindowRegistry::existing<frmimport>());
    window<frmimport>()->Import(file);
    QVERIFY(!WindowRegistry::existing<frmimport>());
    QCOMPARE(main->refreshes, 1);
    QCOMPARE(env.messages.calls.size(), 2);
    QCOMPARE(env.messages.calls.at(0).title, QStringLiteral("Import Error"));
    QCOMPARE(env.messages.calls.at(0).text, QStringLiteral("Error importing: ") + head + QStringLiteral(" : ") + f.description);
    QCOMPARE(env.messages.calls.at(1).title, QStringLiteral("IMPORT DATABASE"));
    QCOMPARE(env.messages.calls.at(1).text, QStringLiteral("ERROR: ") + head + QStringLiteral(": ") + r.failure.description);

    holder.reset();
    QCOMPARE(fileHash(gDbFile), mainHash);
    QCOMPARE(fileHash(file), fileBefore);
    QVERIFY(!QFileInfo::exists(gDbFile + QStringLiteral("-journal")));
    QCOMPARE(attachedNames(), QStringList());
    QCOMPARE(env.scalar(QStringLiteral("PRAGMA integrity_check")).toString(), QStringLiteral("ok"));
}

void TestImport::acceptedFiles_data()
{
    QTest::addColumn<Oddity>("oddity");
    QTest::newRow("two projects, the second chosen") << Oddity::TwoProjectsSecondChosen;
    QTest::newRow("two projects, none chosen: the first row") << Oddity::TwoProjectsNoneChosen;
    QTest::newRow("pick-ups pointing at no subcontractor") << Oddity::OrphanPickups;
    QTest::newRow("triggers, views and indexes planted") << Oddity::PlantedObjects;
    QTest::newRow("1 MB texts") << Oddity::HugeTexts;
    QTest::newRow("quotes and Unicode in every text column") << Oddity::QuotesAndUnicode;
    QTest::newRow("read-only file") << Oddity::ReadOnlyFile;
    QTest::newRow("dates, empty values and yes/no") << Oddity::DatesAndYesNo;
}

void TestImport::acceptedFiles()
{
    QFETCH(Oddity, oddity);
    TestEnv env;
    SampleSpec sample;
    sample.projects = 2;
    QVERIFY(env.createDatabase(sample));
    const QString file = env.path(QStringLiteral("odd.mdb"));
    QStringList extra;
    std::optional<qint64> chosen;
    qint64 expectedId = 5;
    const QStringList textColumns = {"name", "address1", "address2", "city", "state", "zipcode", "telephone", "fax",
                                     "email", "website", "note", "pickupby", "package"};
    switch (oddity) {
    case Oddity::TwoProjectsSecondChosen:
    case Oddity::TwoProjectsNoneChosen:
        extra << "INSERT INTO project VALUES (6, 'ANOTHER', 'ELSEWHERE', 0)"
              << "INSERT INTO authorizedcompanies (id, idproject, name, active) VALUES (21, 6, 'OTHER SUB', 0), (22, 6, 'THIRD SUB', -1)"
              << "INSERT INTO pickuplog VALUES (201, 6, 21, '2026-03-01', 'X', 'Y', 'Z'), (202, 6, 22, NULL, NULL, NULL, NULL), "
                 "(203, 6, 11, '2026-03-02', 'ON ANOTHER PROJECT', NULL, NULL)";
        if (oddity == Oddity::TwoProjectsSecondChosen) {
            chosen = 6;
            expectedId = 6;
        }
        break;
    case Oddity::OrphanPickups:
        extra << "INSERT INTO pickuplog VALUES (301, 5, 999, '2026-03-01', 'NOBODY', NULL, NULL), (302, 5, NULL, NULL, 'NULL SUB', NULL, NULL)";
        break;
    case Oddity::PlantedObjects:
        extra << "CREATE TRIGGER wipe AFTER INSERT ON project BEGIN DELETE FROM authorizedcompanies; END"
              << "CREATE TRIGGER wipe2 BEFORE DELETE ON pickuplog BEGIN SELECT RAISE(ABORT, 'planted'); END"
              << "CREATE VIEW evil AS SELECT * FROM project, authorizedcompanies"
              << "CREATE INDEX ix_evil ON pickuplog(lower(note))"
              << "CREATE TABLE extra_table (x)";
        break;
    case Oddity::HugeTexts: {
        const QString mb = QStringLiteral("'%1'");
        QStringList sets;
        for (int i = 0; i < textColumns.size(); ++i)
            sets << QStringLiteral("%1 = %2").arg(textColumns.at(i), mb.arg(repeated(QStringLiteral("%1ÄB").arg(i), 1 << 20)));
        extra << QStringLiteral("UPDATE authorizedcompanies SET %1 WHERE id = 11").arg(sets.join(", "))
              << QStringLiteral("UPDATE project SET projectname = %1, company = %2").arg(mb.arg(repeated("P", 1 << 20)), mb.arg(repeated("Ç", 1 << 20)))
              << QStringLiteral("UPDATE pickuplog SET pickupby = %1, package = %2, note = %3 WHERE id = 102")
                     .arg(mb.arg(repeated("B", 1 << 20)), mb.arg(repeated("K", 1 << 20)), mb.arg(repeated("N\n", 1 << 20)));
        break;
    }
    case Oddity::QuotesAndUnicode: {
        QStringList sets;
        for (const QString &c : textColumns)
            sets << QStringLiteral("%1 = '%1: O''Neil \"q\" ; DROP TABLE project; -- ü 北京 😀 \\ %_'").arg(c);
        extra << QStringLiteral("UPDATE authorizedcompanies SET %1").arg(sets.join(", "))
              << "UPDATE project SET projectname = 'L''ÉTOILE \"Ω\" ''); DROP TABLE project; --', company = 'Ünïcødé 中文'"
              << "UPDATE pickuplog SET pickupby = 'D''ARCY', package = '\"PKG\" 😀', note = 'x''); DELETE FROM pickuplog; --'";
        break;
    }
    case Oddity::DatesAndYesNo:
        extra << "UPDATE authorizedcompanies SET active = 1, pickupdate = '' WHERE id = 11"
              << "UPDATE authorizedcompanies SET active = NULL WHERE id = 12"
              << "UPDATE pickuplog SET pickupdate = '' WHERE id = 101"
              << "UPDATE pickuplog SET pickupdate = '2024-02-29 00:00:01' WHERE id = 105";
        break;
    default:
        break;
    }
    QVERIFY(writeTransfer(file, extra));
    if (oddity == Oddity::ReadOnlyFile)
        QVERIFY(QFile::setPermissions(file, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
    ProjectData expected = fileProject(file, expectedId);
    if (oddity == Oddity::DatesAndYesNo) {
        // An empty date is stored as NULL; any true value as -1.
        expected.companies[0][11] = QStringLiteral("<NULL>");
        expected.companies[0][14] = QStringLiteral("-1");
        expected.pickups[0][1] = QStringLiteral("<NULL>");
    }
    const QByteArray fileBefore = fileHash(file);
    const QList<qint64> before = counts(db::main());

    const transfer::ImportResult r = transfer::importProject(db::main(), file, chosen);
    QVERIFY2(r.ok, qPrintable(r.failure.description));
    QCOMPARE(r.projectId, newestProject());
    const ProjectData imported = readProject(db::main(), r.projectId);
    QVERIFY2(imported == expected, qPrintable(describe(imported) + " <> " + describe(expected)));
    QCOMPARE(counts(db::main()), (QList<qint64>{before.at(0) + 1, before.at(1) + expected.companies.size(),
                                                before.at(2) + expected.pickups.size(), before.at(3)}));
    QCOMPARE(r.companies, expected.companies.size());
    QCOMPARE(r.pickups, expected.pickups.size());
    QCOMPARE(fileHash(file), fileBefore); // read, never written
    QVERIFY(!QFileInfo::exists(file + QStringLiteral("-journal")));
    QCOMPARE(attachedNames(), QStringList());
    QCOMPARE(env.scalar(QStringLiteral("PRAGMA trusted_schema")).toInt(), 1); // as it was before
}

void TestImport::failureHalfWayLeavesNothing_data()
{
    QTest::addColumn<bool>("diskFull");
    QTest::newRow("a write refused by the database") << false;
    // A file-size limit stands in for a full disk: writes past it fail as they would.
    QTest::newRow("disk full") << true;
}

void TestImport::failureHalfWayLeavesNothing()
{
    QFETCH(bool, diskFull);
    TestEnv env;
    SampleSpec sample;
    sample.projects = 3;
    QVERIFY(env.createDatabase(sample));
    const QString file = env.path(QStringLiteral("big.mdb"));
    QVERIFY(writeLargeTransfer(file, 50, 4000));
    const QByteArray mainHash = fileHash(gDbFile);
    rlimit saved{};
    if (diskFull) {
        std::signal(SIGXFSZ, SIG_IGN);
        QCOMPARE(getrlimit(RLIMIT_FSIZE, &saved), 0);
        rlimit small = saved;
        small.rlim_cur = QFileInfo(gDbFile).size() + 8192;
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
    } else {
        // Refuses the 3000th pick-up, long after the project and its subcontractors went in.
        QVERIFY(env.exec(QStringLiteral("CREATE TEMP TRIGGER refuse BEFORE INSERT ON main.pickuplog "
                                        "WHEN NEW.package = 'DRAWINGS SET 3000' BEGIN SELECT RAISE(ABORT, 'refused'); END")));
    }
    window<frmimport>()->Import(file);
    if (diskFull)
        setrlimit(RLIMIT_FSIZE, &saved);
    else
        QVERIFY(env.exec(QStringLiteral("DROP TRIGGER temp.refuse")));
    QCOMPARE(env.messages.calls.size(), 1);
    QCOMPARE(env.messages.calls.first().title, QStringLiteral("IMPORT DATABASE"));
    QVERIFY2(env.messages.calls.first().text.startsWith(QStringLiteral("ERROR:  ")), qPrintable(env.messages.calls.first().text));
    QVERIFY2(env.messages.calls.first().text.contains(diskFull ? QStringLiteral("full") : QStringLiteral("refused")),
             qPrintable(env.messages.calls.first().text));
    QCOMPARE(fileHash(gDbFile), mainHash);
    QVERIFY(!QFileInfo::exists(gDbFile + QStringLiteral("-journal")));
    QCOMPARE(env.scalar(QStringLiteral("SELECT count(*) FROM sqlite_temp_master")).toInt(), 0);
    QCOMPARE(attachedNames(), QStringList());
    // And the database still takes the import afterwards.
    const transfer::ImportResult r = transfer::importProject(db::main(), file);
    QVERIFY2(r.ok, qPrintable(r.failure.description));
    QCOMPARE(r.pickups, 4000);
}

void TestImport::importWindow()
{
    TestEnv env;
    QVERIFY(env.createDatabase());
    const QString file = env.path(QStringLiteral("two.mdb"));
    QVERIFY(writeTransfer(file, {"UPDATE project SET projectname = 'ZULU'",
                                 "INSERT INTO project VALUES (6, 'alpha', 'ELSEWHERE', 0)",
                                 "INSERT INTO authorizedcompanies (id, idproject, name, active) VALUES (21, 6, 'OTHER SUB', 0)",
                                 "INSERT INTO pickuplog VALUES (201, 6, 21, '2026-03-01', 'X', 'Y', 'Z')"}));
    const ProjectData alpha = fileProject(file, 6);
    auto *main = window<FakeMain>();
    QPointer<frmimport> w = window<frmimport>();
    QStringList listed;
    bool stayedOpen = false;
    QString caption;
    bool modal = false;
    QTimer::singleShot(0, this, [&] {
        QVERIFY(QTest::qWaitForWindowActive(w));
        caption = w->windowTitle();
        modal = w->isModal();
        auto *list = w->findChild<QListView *>(QStringLiteral("Dlist"));
        auto *ok = w->findChild<QPushButton *>(QStringLiteral("CMDOK"));
        QVERIFY(list && ok);
        QCOMPARE(ok->text(), QStringLiteral("OK"));
        for (int i = 0; i < list->model()->rowCount(); ++i)
            listed << list->model()->index(i, 0).data().toString();
        QTest::mouseClick(ok, Qt::LeftButton);
        stayedOpen = w && w->isVisible();
        // "alpha" stands first in the list but second in the file.
        const QRect row = list->visualRect(list->model()->index(0, 0));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, row.center());
        QTest::mouseClick(ok, Qt::LeftButton);
    });
    Watchdog watchdog;
    w->showlist(file);

    QCOMPARE(listed, (QStringList{"alpha", "ZULU"}));
    QCOMPARE(caption, QStringLiteral("import projects"));
    QVERIFY(modal);
    QVERIFY(stayedOpen);
    QCOMPARE(env.messages.calls.size(), 2);
    QCOMPARE(env.messages.calls.at(0).text, QStringLiteral("Please select an item from the list"));
    QCOMPARE(env.messages.calls.at(0).title, QStringLiteral("PROJECT"));
    QCOMPARE(env.messages.calls.at(1).text, QStringLiteral("Import process complete"));
    QCOMPARE(env.messages.calls.at(1).title, QStringLiteral("IMPORT DATABASE"));
    QVERIFY(!WindowRegistry::existing<frmimport>());
    QCOMPARE(main->refreshes, 1);
    QCOMPARE(counts(db::main()).at(0), 1);
    QCOMPARE(readProject(db::main(), newestProject()), alpha);
}

void TestImport::importWindowReportsAFailure()
{
    TestEnv env;
    QVERIFY(env.createDatabase());
    const QString file = env.path(QStringLiteral("t.mdb"));
    QVERIFY(writeTransfer(file));
    const QByteArray mainHash = fileHash(gDbFile);
    auto *main = window<FakeMain>();
    QPointer<frmimport> w = window<frmimport>();
    QTimer::singleShot(0, this, [&] {
        auto *list = w->findChild<QListView *>(QStringLiteral("Dlist"));
        list->setCurrentIndex(list->model()->index(0, 0));
        // The file is replaced between listing and "OK".
        QFile f(file);
        if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            f.write(QByteArray(8192, 'z'));
        f.close();
        QTest::mouseClick(w->findChild<QPushButton *>(QStringLiteral("CMDOK")), Qt::LeftButton);
    });
    Watchdog watchdog;
    w->showlist(file);
    QCOMPARE(env.messages.calls.size(), 1);
    QCOMPARE(env.messages.calls.first().title, QStringLiteral("IMPORT DATABASE"));
    QVERIFY2(env.messages.calls.first().text.startsWith(QStringLiteral("ERROR:  26: ")), qPrintable(env.messages.calls.first().text));
    QVERIFY(!WindowRegistry::existing<frmimport>());
    QCOMPARE(main->refreshes, 1);
    QCOMPARE(fileHash(gDbFile), mainHash);
}

void TestImport::letsGoOfTheFile()
{
    TestEnv env;
    SampleSpec sample;
    sample.projects = 3;
    sample.companiesPerProject = 10;
    sample.pickupsPerCompany = 40;
    QVERIFY(env.createDatabase(sample));
    const QString file = env.path(QStringLiteral("t.mdb"));
    QVERIFY(writeTransfer(file));
    // A list elsewhere has read only part of its rows, as lazily filled lists do.
    QSqlQuery halfRead(db::main());
    QVERIFY(halfRead.exec(QStringLiteral("SELECT * FROM pickuplog")));
    QVERIFY(halfRead.next());
    for (int i = 0; i < 2; ++i) {
        const transfer::ImportResult r = transfer::importProject(db::main(), file);
        QVERIFY2(r.ok, qPrintable(r.failure.description));
    }
    QVERIFY(halfRead.next());
    halfRead.finish();
    // Once nothing reads any more, the file is let go: no attachment stays, and
    // another program can lock it.
    QTRY_COMPARE_WITH_TIMEOUT(attachedNames(), QStringList(), 5000);
    QVERIFY(withFile(file, [](QSqlDatabase &d) {
        QSqlQuery q(d);
        return q.exec(QStringLiteral("PRAGMA busy_timeout = 0")) && q.exec(QStringLiteral("BEGIN EXCLUSIVE"))
               && q.exec(QStringLiteral("ROLLBACK"));
    }));
    QCOMPARE(env.scalar(QStringLiteral("SELECT count(*) FROM project WHERE projectname = 'NORTH TOWER'")).toInt(), 2);
}

void TestImport::progressDialog_data()
{
    QTest::addColumn<int>("pickups");
    QTest::addColumn<bool>("shown");
    QTest::newRow("small transfer") << 200 << false;
    QTest::newRow("large transfer") << 30000 << true;
}

void TestImport::progressDialog()
{
    QFETCH(int, pickups);
    QFETCH(bool, shown);
    TestEnv env;
    QVERIFY(env.createDatabase());
    const QString file = env.path(QStringLiteral("t.mdb"));
    QVERIFY(writeLargeTransfer(file, 100, pickups));
    bool seen = false;
    QTimer poll;
    connect(&poll, &QTimer::timeout, this, [&seen] {
        for (QWidget *w : QApplication::topLevelWidgets())
            if (qobject_cast<QProgressDialog *>(w) && w->isVisible())
                seen = true;
    });
    poll.start(0);
    window<frmimport>()->Import(file);
    poll.stop();
    QCOMPARE(env.messages.texts(), QStringList{QStringLiteral("Import process complete")});
    QCOMPARE(seen, shown);
    QCOMPARE(counts(db::main()).at(2), pickups);
}

void TestImport::killedImport()
{
    TestEnv env;
    SampleSpec sample;
    sample.projects = 5;
    QVERIFY(env.createDatabase(sample));
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
    while (kills < 20 && attempts < 80) {
        ++attempts;
        killed = false;
        const int rc = runChild(int(rng.bounded(whole)), &killed);
        // Recovery happens here, on the next open of the database.
        QCOMPARE(env.scalar(QStringLiteral("PRAGMA integrity_check")).toString(), QStringLiteral("ok"));
        const QList<qint64> now = counts(db::main());
        const QList<qint64> all = {start.at(0) + imported + 1, start.at(1) + (imported + 1) * expected.companies.size(),
                                   start.at(2) + (imported + 1) * expected.pickups.size(), start.at(3)};
        const QList<qint64> nothing = {start.at(0) + imported, start.at(1) + imported * expected.companies.size(),
                                       start.at(2) + imported * expected.pickups.size(), start.at(3)};
        QVERIFY2(now == all || now == nothing, qPrintable(QStringLiteral("attempt %1: partial import left behind").arg(attempts)));
        if (now == all) {
            ++imported;
            QCOMPARE(readProject(db::main(), newestProject()), expected);
        }
        if (killed)
            ++kills;
        else
            QCOMPARE(rc, 0);
    }
    QVERIFY2(kills >= 20, qPrintable(QStringLiteral("only %1 kills landed in %2 attempts").arg(kills).arg(attempts)));
    // A journal killed before its header was written may stay; SQLite ignores it. One
    // that could still roll something back must not.
    QFile journal(gDbFile + QStringLiteral("-journal"));
    if (journal.open(QIODevice::ReadOnly))
        QVERIFY(journal.read(8) != QByteArray::fromHex("d9d505f920a163d7"));
    qInfo("%d kills in %d attempts; %d imports complete; a whole import took %d ms", kills, attempts, imported, whole);
}

// ---- child processes ----

static int importChild(const QString &mainFile, const QString &file)
{
    if (!db::openMain(mainFile).ok)
        return 3;
    std::puts("begin");
    std::fflush(stdout);
    return transfer::importProject(db::main(), file).ok ? 0 : 1;
}

static int holdChild(const QString &mode, const QString &file)
{
    {
        QSqlDatabase d = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("hold"));
        d.setDatabaseName(file);
        if (!d.open())
            return 3;
        QSqlQuery q(d);
        // "lock": held with no journal on disk; "write": a transaction half-way.
        const QStringList steps = mode == QLatin1String("lock")
                                      ? QStringList{"PRAGMA journal_mode = MEMORY", "BEGIN EXCLUSIVE",
                                                    "UPDATE project SET company = company"}
                                      : QStringList{"BEGIN", "UPDATE pickuplog SET note = coalesce(note, '') || '.'"};
        for (const QString &s : steps)
            if (!q.exec(s)) {
                std::fprintf(stderr, "%s: %s\n", qPrintable(s), qPrintable(q.lastError().text()));
                return 4;
            }
        std::puts("held");
        std::fflush(stdout);
        while (std::getchar() != EOF) {
        }
        q.exec(QStringLiteral("ROLLBACK"));
    }
    return 0;
}

int main(int argc, char **argv)
{
    if (argc == 4 && qstrcmp(argv[1], "--import-child") == 0) {
        QCoreApplication app(argc, argv);
        return importChild(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]));
    }
    if (argc == 4 && qstrcmp(argv[1], "--hold-child") == 0) {
        QCoreApplication app(argc, argv);
        return holdChild(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]));
    }
    QApplication app(argc, argv);
    TestImport t;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&t, argc, argv);
}

#include "tst_import.moc"
