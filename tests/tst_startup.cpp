// The start: the database found, offered, refused or unusable; the command line; one window per type.
#include "support/testenv.h"
#include "support/ui.h"

#include "core/app/globals.h"
#include "core/db/database.h"
#include "ui/common/windowregistry.h"
#include "ui/main/frmMain.h"
#include "ui/main/startup.h"

#include "ui/main/appicon.h"

#include <QListView>
#include <QProcess>
#include <QTest>

class TestStartup : public QObject
{
    Q_OBJECT

    static void startIn(TestEnv &env, const QString &db, const QString &exports)
    {
        env.settings->write(QStringLiteral("paths"), QStringLiteral("Dbpath"), db);
        env.settings->write(QStringLiteral("paths"), QStringLiteral("ExportPath"), exports);
        startup::run(*env.settings);
    }
    static QStringList projectsShown()
    {
        frmMain *w = WindowRegistry::existing<frmMain>();
        auto *list = w && w->isVisible() ? w->findChild<QListView *>(QStringLiteral("dbProject")) : nullptr;
        return list ? ui::texts(list) : QStringList{"<no main window>"};
    }

private slots:
    void firstRun_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<bool>("yes");
        QTest::newRow("Yes creates the database and the template") << "office data" << true;
        QTest::newRow("No goes on with empty lists") << "office data" << false;
        QTest::newRow("Yes where nothing can be created") << "/proc/quillbern-data" << true;
    }

    void firstRun()
    {
        QFETCH(QString, folder);
        QFETCH(bool, yes);
        TestEnv env;
        const bool created = yes && !folder.startsWith('/');
        env.messages.answers.enqueue(yes ? QMessageBox::Yes : QMessageBox::No);
        startIn(env, folder.startsWith('/') ? folder : env.path(folder), env.path(QStringLiteral("exports")));
        QCOMPARE(env.messages.calls.size(), created || !yes ? 1 : 2);
        const auto &q = env.messages.calls.first();
        QVERIFY(q.icon == QMessageBox::Question && q.title == "Quillbern" && q.text.contains(gDbFile));
        QCOMPARE(q.buttons, QMessageBox::Yes | QMessageBox::No);
        QCOMPARE(QList<bool>({QFile::exists(gDbFile), QFile::exists(env.path("exports/dbtransf.mdb")), db::mainIsOpen()}), QList<bool>(3, created));
        QCOMPARE(projectsShown(), QStringList());
        if (yes) { // where nothing can be created that is said
            for (const auto &m : env.messages.calls.mid(1))
                QVERIFY2(m.icon == QMessageBox::Critical && m.text.contains(gDbFile) && m.text.contains("cannot be created"), qPrintable(m.text));
            return;
        }
        QVERIFY(!QFile::exists(env.path(folder)));
    }

    // An unusable file is reported once, left as it was, and the main window still opens.
    void badDatabaseIsReportedOnce()
    {
        TestEnv env;
        QFile f(env.path(QStringLiteral("db1.mdb")));
        QVERIFY(f.open(QIODevice::WriteOnly) && f.write(QByteArray(8192, 'x')) == 8192);
        f.close();
        startIn(env, env.folder(), env.folder());
        QCOMPARE(env.messages.calls.size(), 1);
        const auto &m = env.messages.calls.first();
        QVERIFY(m.icon == QMessageBox::Critical && m.text.contains(gDbFile) && m.text.contains(QStringLiteral("not a database")));
        QCOMPARE(projectsShown(), QStringList());
        WindowRegistry::existing<frmMain>()->RefreshInterface(); // fails quietly: already reported
        QCOMPARE(env.messages.calls.size(), 1);
        QCOMPARE(QFileInfo(env.path(QStringLiteral("db1.mdb"))).size(), 8192);
    }

    void existingDatabaseOpensWithoutQuestion()
    {
        TestEnv env;
        QVERIFY(env.createOffice());
        db::closeMain();
        startIn(env, env.folder(), env.folder());
        QVERIFY(env.messages.calls.isEmpty());
        QCOMPARE(projectsShown(), QStringList({"NORTH TOWER", "HARBOR VIEW", "ELM SCHOOL", "ELM SCHOOL", "EMPTY LOT", "ANNEX"}));
    }

    // A killed demo leaves its folder: the next demo removes it, never a running one's.
    void killedDemoIsClearedByTheNext()
    {
        TestEnv env;
        QProcessEnvironment pe = QProcessEnvironment::systemEnvironment();
        pe.insert(QStringLiteral("TMPDIR"), env.folder());
        const auto demoFolders = [&] { return QDir(env.folder()).entryList({"quillbern-demo-*"}, QDir::Dirs); };
        QProcess killed, next;
        killed.setProcessEnvironment(pe);
        next.setProcessEnvironment(pe);
        killed.start(qEnvironmentVariable("QB_APP"), {QStringLiteral("--demo")});
        QTRY_VERIFY_WITH_TIMEOUT(demoFolders().size() == 1 && QFile::exists(env.path(demoFolders().first() + "/demo.lock")), 30000);
        const QStringList running = demoFolders();
        for (int round = 0; round < 2; ++round) {
            next.start(qEnvironmentVariable("QB_APP"), {QStringLiteral("--demo"), QStringLiteral("--quit-when-shown")});
            QVERIFY(next.waitForFinished(60000) && next.exitCode() == 0);
            QCOMPARE(demoFolders(), round ? QStringList() : running);
            killed.kill();
            killed.waitForFinished();
        }
    }

    // The installed icon comes from the theme; without one the drawn picture stands in.
    void iconFromThemeOrDrawn()
    {
        TestEnv env;
        QVERIFY(QDir().mkpath(env.path("hicolor/32x32/apps")));
        QFile index(env.path("hicolor/index.theme"));
        QVERIFY(index.open(QIODevice::WriteOnly) && index.write("[Icon Theme]\nName=Hicolor\nDirectories=32x32/apps\n[32x32/apps]\nSize=32\n") > 0);
        index.close();
        QPixmap installed(32, 32);
        installed.fill(Qt::red);
        QVERIFY(installed.save(env.path("hicolor/32x32/apps/" + ui::kAppId + ".png")));
        const QStringList paths = QIcon::themeSearchPaths();
        QIcon::setThemeName(QStringLiteral("hicolor"));
        for (const QString &where : {env.folder(), env.path("nothing here")}) {
            QIcon::setThemeSearchPaths({where});
            const QColor shown = ui::appIcon().pixmap(32, 32).toImage().pixelColor(4, 16);
            QCOMPARE(shown, where == env.folder() ? QColor(Qt::red) : QColor(22, 62, 122));
        }
        QIcon::setThemeSearchPaths(paths);
    }

    // A second run leaves the existing file alone and says why.
    void commandLineCreatesDatabase()
    {
        const QString app = qEnvironmentVariable("QB_APP");
        QVERIFY2(QFile::exists(app), "QB_APP must name the built application");
        TestEnv env;
        const QString folder = env.path(QStringLiteral("new office"));
        QProcess p;
        for (int run = 0; run < 2; ++run) {
            p.start(app, {QStringLiteral("--create-database"), folder});
            QVERIFY(p.waitForFinished(30000));
            QCOMPARE(p.exitCode(), run);
            QVERIFY(QFile::exists(folder + QStringLiteral("/dbtransf.mdb")));
            QVERIFY(db::openMain(folder + QStringLiteral("/db1.mdb")));
            QVERIFY(run || env.exec("INSERT INTO project (projectname) VALUES ('KEPT')"));
            db::closeMain();
        }
        QVERIFY(p.readAllStandardError().contains("already exists"));
        QVERIFY(db::openMain(folder + QStringLiteral("/db1.mdb")));
        QCOMPARE(env.count("project"), 1);
    }
};

QTEST_MAIN(TestStartup)
#include "tst_startup.moc"
