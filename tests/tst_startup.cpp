#include "support/testenv.h"

#include "core/app/globals.h"
#include "core/app/settings.h"
#include "ui/common/windowregistry.h"
#include "core/db/database.h"
#include "core/db/datasource.h"
#include "ui/main/frmMain.h"
#include "ui/main/startup.h"

#include <QFile>
#include <QListView>
#include <QProcess>
#include <QTest>

class TestStartup : public QObject
{
    Q_OBJECT

    static void writePaths(TestEnv &env, const QString &db, const QString &exports)
    {
        env.settings->write(QStringLiteral("paths"), QStringLiteral("Dbpath"), db);
        env.settings->write(QStringLiteral("paths"), QStringLiteral("ExportPath"), exports);
    }
    static QListView *projectList()
    {
        frmMain *w = WindowRegistry::existing<frmMain>();
        return w && w->isVisible() ? w->findChild<QListView *>(QStringLiteral("dbProject")) : nullptr;
    }

private slots:
    void firstRun_data()
    {
        QTest::addColumn<bool>("yes");
        QTest::newRow("Yes creates the database and the template") << true;
        QTest::newRow("No goes on with empty lists") << false;
    }

    void firstRun()
    {
        QFETCH(bool, yes);
        TestEnv env;
        writePaths(env, env.path(QStringLiteral("office data")), env.path(QStringLiteral("exports")));
        env.messages.answers.enqueue(yes ? QMessageBox::Yes : QMessageBox::No);
        startup::run(*env.settings);
        QCOMPARE(env.messages.calls.size(), 1);
        const auto &q = env.messages.calls.first();
        QCOMPARE(q.icon, QMessageBox::Question);
        QCOMPARE(q.title, QStringLiteral("Quillbern"));
        QVERIFY(q.text.contains(gDbFile));
        QCOMPARE(q.buttons, QMessageBox::Yes | QMessageBox::No);
        QCOMPARE(QFile::exists(env.path(QStringLiteral("office data/db1.mdb"))), yes);
        QCOMPARE(QFile::exists(env.path(QStringLiteral("exports/dbtransf.mdb"))), yes);
        QCOMPARE(db::mainIsOpen(), yes);
        QListView *list = projectList();
        QVERIFY(list);
        QCOMPARE(list->model()->rowCount(), 0);
        if (yes)
            return;
        QVERIFY(!QFile::exists(env.path(QStringLiteral("office data"))));
        // The window still works: a click into the empty list says so.
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, QPoint(10, 10));
        QTRY_COMPARE(env.messages.calls.size(), 2);
        QCOMPARE(env.messages.calls.last().text, QStringLiteral("Please select an item on the list"));
        QCOMPARE(env.messages.calls.last().title, QStringLiteral("PROJECT"));
    }

    void firstRunInUnwritablePlace()
    {
        TestEnv env;
        writePaths(env, QStringLiteral("/proc/quillbern-data"), env.path(QStringLiteral("exports")));
        env.messages.answers.enqueue(QMessageBox::Yes);
        startup::run(*env.settings);
        QCOMPARE(env.messages.calls.size(), 2);
        const auto &m = env.messages.calls.at(1);
        QCOMPARE(m.icon, QMessageBox::Critical);
        QVERIFY2(m.text.contains(gDbFile) && m.text.contains(QStringLiteral("cannot be created")), qPrintable(m.text));
        QVERIFY(projectList());
    }

    void badDatabaseIsReportedOnce()
    {
        TestEnv env;
        writePaths(env, env.folder(), env.folder());
        QFile f(env.path(QStringLiteral("db1.mdb")));
        QVERIFY(f.open(QIODevice::WriteOnly) && f.write(QByteArray(8192, 'x')) == 8192);
        f.close();
        startup::run(*env.settings);
        QCOMPARE(env.messages.calls.size(), 1);
        QCOMPARE(env.messages.calls.first().icon, QMessageBox::Critical);
        QVERIFY(env.messages.calls.first().text.contains(gDbFile));
        QVERIFY(env.messages.calls.first().text.contains(QStringLiteral("not a database")));
        QVERIFY(projectList());
        WindowRegistry::existing<frmMain>()->RefreshInterface(); // fails quietly: already reported
        QCOMPARE(env.messages.calls.size(), 1);
        QCOMPARE(QFileInfo(env.path(QStringLiteral("db1.mdb"))).size(), 8192);
    }

    void existingDatabaseOpensWithoutQuestion()
    {
        TestEnv env;
        QVERIFY(env.createDatabase());
        QVERIFY(env.exec(QStringLiteral("INSERT INTO project (projectname) VALUES ('HARBOR VIEW')")));
        db::closeMain();
        writePaths(env, env.folder(), env.folder());
        startup::run(*env.settings);
        QVERIFY(env.messages.calls.isEmpty());
        QListView *list = projectList();
        QVERIFY(list);
        QCOMPARE(list->model()->rowCount(), 1);
        QCOMPARE(list->model()->index(0, list->modelColumn()).data().toString(), QStringLiteral("HARBOR VIEW"));
    }

    void commandLineCreatesDatabase()
    {
        const QString app = qEnvironmentVariable("QB_APP");
        QVERIFY2(QFile::exists(app), "QB_APP must name the built application");
        TestEnv env;
        const QString folder = env.path(QStringLiteral("new office"));
        QProcess p;
        p.start(app, {QStringLiteral("--create-database"), folder});
        QVERIFY(p.waitForFinished(30000));
        QCOMPARE(p.exitCode(), 0);
        QVERIFY(QFile::exists(folder + QStringLiteral("/dbtransf.mdb")));
        QVERIFY(db::openMain(folder + QStringLiteral("/db1.mdb")));
        db::closeMain();
        // A second run leaves the existing file alone and says why.
        const qint64 size = QFileInfo(folder + QStringLiteral("/db1.mdb")).size();
        p.start(app, {QStringLiteral("--create-database"), folder});
        QVERIFY(p.waitForFinished(30000));
        QCOMPARE(p.exitCode(), 1);
        QVERIFY(p.readAllStandardError().contains("already exists"));
        QCOMPARE(QFileInfo(folder + QStringLiteral("/db1.mdb")).size(), size);
    }

    void oneInstancePerWindow()
    {
        TestEnv env;
        QVERIFY(env.createDatabase());
        frmMain *a = window<frmMain>();
        QCOMPARE(window<frmMain>(), a);
        QPointer<frmMain> guard(a);
        a->close();
        // Closing destroys the window; the next use creates it afresh.
        QVERIFY(!WindowRegistry::existing<frmMain>());
        QTRY_VERIFY(guard.isNull());
        frmMain *b = window<frmMain>();
        QVERIFY(b);
        QCOMPARE(WindowRegistry::existing<frmMain>(), b);
    }
};

QTEST_MAIN(TestStartup)
#include "tst_startup.moc"
