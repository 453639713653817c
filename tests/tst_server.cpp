// What only a register on a PostgreSQL server has: its schema, desks that see each other's changes,
// the password from libpq's file or a prompt, --create-database with an address.
#include "support/testenv.h"
#include "core/app/globals.h"
#include "core/db/database.h"
#include "core/db/datasource.h"
#include "core/db/schema.h"
#include "core/db/pgserver.h"
#include "core/db/queries.h"
#include "core/db/recordsource.h"
#include "core/db/registers.h"
#include "ui/common/windowregistry.h"
#include "ui/main/frmMain.h"
#include "ui/main/startup.h"

#include <QProcess>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTest>

// A value with what a literal must escape or could end early on.
const QString kOdd = QStringLiteral("O'NEIL \\' ?; -- $1 \\\\ \t\n Ölçü 東京");

class TestServer : public OfficeTest
{
    Q_OBJECT

private slots:
    // Text compared and ordered without regard to case; the file's indexes.
    void schema()
    {
        QCOMPARE(env->count("pg_indexes WHERE indexname IN ('ix_authorizedcompanies_idproject', "
                            "'ix_pickuplog_company_project_date', 'ix_pickuplog_idproject', 'ix_pickuplog_pickupdate')"), 4);
        QVERIFY(env->exec("DELETE FROM project WHERE id = 40000"));
        QVERIFY(env->exec("INSERT INTO project (projectname) VALUES ('b tower'), ('A Tower'), ('a tower')"));
        QCOMPARE(env->count("project WHERE projectname = 'A TOWER'"), 2);
        QCOMPARE(env->scalar("SELECT string_agg(projectname, '|' ORDER BY projectname, id) FROM project").toString(),
                 "A Tower|a tower|b tower|ELM SCHOOL|ELM SCHOOL|EMPTY LOT|HARBOR VIEW|NORTH TOWER");
    }

    // Another desk's delete reaches registers() unasked; this desk's own writes are announced once, by the writer.
    // Started with the server down: the message says why, and the window opens.
    void twoDesks()
    {
        QSignalSpy spy(&db::registers(), &db::Registers::changed);
        QVERIFY(env->otherDesk({"DELETE FROM pickuplog WHERE id = 101"}));
        QTRY_COMPARE_WITH_TIMEOUT(spy.size(), 1, 2000);
        QCOMPARE(spy.at(0).at(0).toString(), "pickuplog");
        QCOMPARE(spy.at(0).at(1).value<db::Registers::Change>(), db::Registers::Deleted);
        QVERIFY(db::deleteRecord("authorizedcompanies", 10));
        QTest::qWait(300);
        QCOMPARE(spy.size(), 2);
        env->settings->write("SERVER", "host", "localhost");
        env->settings->write("Server", "PORT", "1");
        ui::startup::run(*env->settings);
        QCOMPARE(env->messages.calls.size(), 1);
        const QString said = env->messages.said().value(0);
        QVERIFY2(said.contains("postgresql://localhost:1/") && said.contains("refused"), qPrintable(said));
        QVERIFY(WindowRegistry::existing<frmMain>() && WindowRegistry::existing<frmMain>()->isVisible());
    }

    // The server stopped under an open session (on a server of its own: the shared one serves other tests), twice: the
    // action that meets the lost connection says so, the next that the server cannot be reached, nothing is written;
    // after the restart the next ones reconnect and work, and the other desks are heard again.
    void serverStoppedAndStarted()
    {
        QTemporaryDir state;
        const auto pgtest = [&](const QString &command) {
            QProcess p;
            p.start(qEnvironmentVariable("QB_SOURCE_DIR") + "/scripts/pgtest", {command, state.path()});
            return p.waitForFinished(120000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
        };
        const QByteArray shared = qgetenv("QB_TEST_PGSTATE"), host = qgetenv("QB_TEST_PGHOST");
        const auto restore = qScopeGuard([&] {
            db::closeMain();
            pgtest("stop");
            qputenv("QB_TEST_PGSTATE", shared);
            qputenv("QB_TEST_PGHOST", host);
        });
        QVERIFY(pgtest("start"));
        qputenv("QB_TEST_PGSTATE", state.path().toUtf8());
        qunsetenv("QB_TEST_PGHOST");
        env.reset(); // the office on this server instead
        init();
        RecordSource rec(QStringLiteral("project"));
        QVERIFY(rec.loadById(1));
        rec.setValue("company", "RENAMED");
        DataSource ds;
        const db::Query q = db::queries::everyProject();
        ds.setQuery(q.sql, q.binds);
        QVERIFY(pgtest("halt"));
        QVERIFY(!ds.refresh());
        QVERIFY2(ds.lastFailure().description.contains("connection to the server was lost"), qPrintable(ds.lastFailure().description));
        Failure why;
        QVERIFY(!rec.write(&why));
        QVERIFY2(why.description.contains(gServer.address()) && why.description.contains("cannot be reached"), qPrintable(why.description));
        QVERIFY(pgtest("resume"));
        QCOMPARE(env->scalar("SELECT company FROM project WHERE id = 1").toString(), "ATLAS");
        QVERIFY(pgtest("halt"));
        QVERIFY(!rec.write(&why));
        QVERIFY2(why.description.contains("\"project\"") && why.description.contains("nothing was written"), qPrintable(why.description));
        QVERIFY(pgtest("resume"));
        QVERIFY2(rec.write(&why), qPrintable(why.description));
        QVERIFY(ds.refresh());
        QCOMPARE(ds.count(), env->count("project"));
        QCOMPARE(env->scalar("SELECT company FROM project WHERE id = 1").toString(), "RENAMED");
        QSignalSpy spy(&db::registers(), &db::Registers::changed);
        QVERIFY(env->otherDesk({"DELETE FROM project WHERE id = 5"}));
        QTRY_VERIFY_WITH_TIMEOUT(std::any_of(spy.cbegin(), spy.cend(), [](const QVariantList &call) { return call.at(0) == "project"; }), 2000);
    }

    // A register that is not ours, or of a newer version, is named with the reason. Yes/no is never NULL, as on the file:
    // a NULL from a save, an insert or an update is stored as 0. A register of the first format, or one made at 3 before
    // yes/no was NOT NULL, is brought up to date on open: its NULLs become 0, the orderings' indexes are made, and those
    // on a project's rows end in the id.
    void openRegister_data()
    {
        QTest::addColumn<QStringList>("change"); // made by another desk before this one opens the register
        QTest::addColumn<QString>("reason"); // empty: it opens
        QTest::newRow("newer") << QStringList{"UPDATE quillbern_schema SET version = version + 1"} << "newer version of Quillbern";
        QTest::newRow("no register") << QStringList{"DROP TABLE quillbern_schema"} << "holds no Quillbern register";
        QTest::newRow("version table empty") << QStringList{"DELETE FROM quillbern_schema"} << "its version cannot be read (the table quillbern_schema is empty)";
        const QStringList older{"DROP TRIGGER project_yes_no ON project", "DROP TRIGGER authorizedcompanies_yes_no ON authorizedcompanies",
                                "ALTER TABLE project ALTER active DROP NOT NULL, ALTER active DROP DEFAULT",
                                "ALTER TABLE authorizedcompanies ALTER active DROP NOT NULL, ALTER active DROP DEFAULT",
                                "INSERT INTO project (projectname) VALUES ('OLD')", "UPDATE authorizedcompanies SET active = NULL WHERE id = 11",
                                "DROP INDEX ix_pickuplog_idproject", "CREATE INDEX ix_pickuplog_idproject ON pickuplog(idproject)"};
        QTest::newRow("first format") << older + QStringList{"UPDATE quillbern_schema SET version = 1", "DROP INDEX ix_project_active_name",
                                                             "DROP INDEX ix_authorizedcompanies_name"} << QString();
        QTest::newRow("format 3 without NOT NULL") << older + QStringList{"UPDATE quillbern_schema SET version = 3"} << QString();
    }
    void openRegister()
    {
        QFETCH(QStringList, change);
        QFETCH(QString, reason);
        RecordSource rec(QStringLiteral("project"));
        rec.addNew();
        rec.setValue("projectname", "NULL TOWER");
        rec.setValue("active", QVariant());
        QVERIFY(rec.write());
        QVERIFY(env->exec("INSERT INTO project (projectname, active) VALUES ('NULL TOWER', NULL)"));
        QVERIFY(env->exec("UPDATE authorizedcompanies SET active = NULL WHERE id = 10"));
        QCOMPARE(env->count("project WHERE projectname = 'NULL TOWER' AND active = 0"), 2);
        QCOMPARE(env->count("authorizedcompanies WHERE id = 10 AND active = 0"), 1);
        QVERIFY(env->otherDesk(change));
        Failure why;
        const auto opened = db::openMainOnServer(gServer, &why);
        if (!reason.isEmpty()) {
            QVERIFY2(!opened && why.description.contains(gServer.address()) && why.description.contains(reason), qPrintable(why.description));
            return;
        }
        QVERIFY2(opened && opened->warning.isEmpty(), qPrintable(opened ? opened->warning : why.description));
        QCOMPARE(env->scalar("SELECT version FROM quillbern_schema").toInt(), schema::kServerVersion);
        QCOMPARE(env->count("project WHERE projectname = 'OLD' AND active = 0")
                     + env->count("authorizedcompanies WHERE id = 11 AND active = 0"), 2);
        // The orderings' indexes, NULL first (the project's and the subcontractors' names among them).
        QCOMPARE(env->count("pg_indexes WHERE indexdef LIKE '%NULLS FIRST%'"), 4);
        QCOMPARE(env->count("pg_indexes WHERE indexname LIKE 'ix_%_idproject' AND indexdef LIKE '%(idproject, id)'"),
                 2);
        QVERIFY(env->exec("INSERT INTO project (projectname, active) VALUES ('NEW', NULL)"));
        QVERIFY(env->exec("UPDATE authorizedcompanies SET active = NULL"));
        QCOMPARE(env->count("project WHERE active IS NULL") + env->count("authorizedcompanies WHERE active IS NULL"),
                 0);
    }

    // A read goes to the server in one round trip, its values written into the text: it finds what the bound statement
    // finds, with the same types.
    void readsAsBound_data()
    {
        QTest::addColumn<QString>("sql");
        QTest::addColumn<QVariantList>("binds");
        QTest::newRow("quote, backslashes, ? and -- in a value") << "SELECT * FROM project WHERE projectname = ?" << QVariantList{kOdd};
        QTest::newRow("? inside quotes in the text") << "SELECT '?' AS \"?\", id FROM project WHERE id = ? AND 'it''s ?' <> ?" << QVariantList{qint64(5000000000), "x"};
        QTest::newRow("negative number after a minus") << "SELECT id -? AS next FROM project WHERE id = ?" << QVariantList{-1, qint64(5000000000)};
        QTest::newRow("NULL text") << "SELECT * FROM pickuplog WHERE note IS NOT DISTINCT FROM ? ORDER BY id" << QVariantList{QVariant(QString())};
        QTest::newRow("empty text") << "SELECT * FROM pickuplog WHERE note IS NOT DISTINCT FROM ? ORDER BY id" << QVariantList{QVariant("")};
    }
    void readsAsBound()
    {
        QFETCH(QString, sql);
        QFETCH(QVariantList, binds);
        QVERIFY(env->exec("INSERT INTO project (id, projectname) VALUES (5000000000, ?)", {kOdd}));
        const auto shown = [](const QVariant &v) { return QString(v.typeName()) + ':' + (v.isNull() ? "NULL" : v.toString()); };
        QSqlQuery bound(db::main());
        bound.prepare(sql);
        for (const QVariant &b : binds)
            bound.addBindValue(b);
        QStringList expected, actual;
        for (bound.exec(); bound.next();)
            for (int i = 0; i < bound.record().count(); ++i)
                expected << shown(bound.value(i));
        const auto read = readRows(sql, binds);
        QVERIFY(read && !read->isEmpty());
        for (const QVariantList &row : read->rows)
            for (const QVariant &v : row)
                actual << shown(v);
        QCOMPARE(actual, expected);
    }

    // libpq's password file serves; else the prompt, asked once for the session; a declined one is a message, nothing kept.
    void password()
    {
        ServerSettings s = TestEnv::testServer();
        s.user = "qb_secret";
        const QString file = env->path("pgpass");
        QVERIFY(writeFile(file, QStringLiteral("%1:%2:*:qb_secret:open sesame\n").arg(s.host).arg(s.port).toUtf8())
                && QFile::setPermissions(file, QFile::ReadOwner | QFile::WriteOwner));
        int asked = 0;
        std::optional<QString> answer;
        db::setPasswordPrompt([&](const QString &, const QString &) { ++asked; return answer; });
        qputenv("PGPASSFILE", file.toUtf8());
        Failure why;
        QVERIFY2(db::openServerConnection("secret", s, &why), qPrintable(why.description));
        qputenv("PGPASSFILE", env->path("none").toUtf8());
        QVERIFY(!db::openServerConnection("secret", s, &why));
        QVERIFY2(why.description.contains("asks for a password") && why.description.contains(s.address()), qPrintable(why.description));
        answer = "open sesame";
        QVERIFY2(db::openServerConnection("secret", s, &why), qPrintable(why.description));
        QVERIFY(db::openServerConnection("secret", s, &why));
        QCOMPARE(asked, 2);
        db::forgetSessionPassword();
        db::setPasswordPrompt({});
        qunsetenv("PGPASSFILE");
        db::closeConnection("secret");
    }

    // Into an empty database: made, exit 0; again: refused, exit non-zero, nothing changed.
    void createDatabaseCommand()
    {
        QVERIFY(TestEnv::freshServerDatabase("qb_command"));
        const QString address = TestEnv::testServer("qb_command").address();
        const auto run = [](const QStringList &args, QString *err) {
            QProcess p;
            p.start(qEnvironmentVariable("QB_APP"), args);
            p.waitForFinished(60000);
            *err = QString::fromUtf8(p.readAllStandardError());
            return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
        };
        QString err;
        QCOMPARE(run({"--create-database", address}, &err), 0);
        QVERIFY(db::openServerConnection("check", TestEnv::testServer("qb_command")));
        QVERIFY(QSqlQuery(QSqlDatabase::database("check", false)).exec("INSERT INTO project (projectname) VALUES ('KEEP')"));
        QVERIFY(run({"--create-database", address}, &err) != 0);
        QVERIFY2(err.contains("holds a register already"), qPrintable(err));
        QSqlQuery left(QSqlDatabase::database("check", false));
        QVERIFY(left.exec("SELECT string_agg(projectname, ',') FROM project") && left.next() && left.value(0) == "KEEP");
        QVERIFY(run({"--create-database", "postgresql://nohost"}, &err) != 0);
        QVERIFY2(err.contains("names no database"), qPrintable(err));
        db::closeConnection("check");
    }
};

QTEST_MAIN(TestServer)
#include "tst_server.moc"
