// The start: the database found, offered, refused or unusable; a demo killed; the icon.
#include "support/windows.h"
#include "ui/main/appicon.h"
#include "ui/main/startup.h"

#include <QProcess>
#include <QSqlQuery>

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
        QVERIFY(q.icon == QMessageBox::Question && q.title == "Quillbern" && q.text.contains(gDbFile) && q.buttons == (QMessageBox::Yes | QMessageBox::No));
        QCOMPARE(QList<bool>({QFile::exists(gDbFile), QFile::exists(env.path("exports/dbtransf.mdb")), db::mainIsOpen()}), QList<bool>(3, created));
        QCOMPARE(projectsShown(), QStringList());
        for (const auto &m : env.messages.calls.mid(1)) // where nothing can be created that is said
            QVERIFY2(m.icon == QMessageBox::Critical && m.text.contains(gDbFile) && m.text.contains("cannot be created"), qPrintable(m.text));
        QVERIFY(yes || !QFile::exists(env.path(folder)));
    }

    // A register opens without a question; an unusable file is reported once, left as it was, and the window still opens.
    void existingFile()
    {
        for (const bool usable : {true, false}) {
            TestEnv env;
            QVERIFY(usable ? env.createOffice() : writeFile(env.path(QStringLiteral("db1.mdb")), QByteArray(8192, 'x')));
            db::closeMain();
            const QByteArray before = fileBytes(gDbFile);
            startIn(env, env.folder(), env.folder());
            QCOMPARE(projectsShown(), usable ? QStringList({"NORTH TOWER", "HARBOR VIEW", "ELM SCHOOL", "ELM SCHOOL", "EMPTY LOT", "ANNEX"}) : QStringList());
            WindowRegistry::existing<frmMain>()->RefreshInterface(); // an unusable file fails quietly: already reported
            QCOMPARE(env.messages.calls.size(), usable ? 0 : 1);
            for (const auto &m : env.messages.calls)
                QVERIFY(m.icon == QMessageBox::Critical && m.text.contains(gDbFile) && m.text.contains(QStringLiteral("not a database")));
            QVERIFY(usable || fileBytes(gDbFile) == before);
        }
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
        const QString demoDb = env.path(running.first() + "/db1.mdb");
        const auto demoProjects = [&] { // the sample office, in the demo's own folder
            int n = -1;
            if (QFile::exists(demoDb))
                withFile(demoDb, {}, [&](QSqlDatabase &d) { QSqlQuery q("SELECT count(*) FROM project", d); n = q.next() ? q.value(0).toInt() : -1; });
            return n;
        };
        QTRY_COMPARE_WITH_TIMEOUT(demoProjects(), 40, 30000);
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
        QVERIFY(writeFile(env.path("hicolor/index.theme"), "[Icon Theme]\nName=Hicolor\nDirectories=32x32/apps\n[32x32/apps]\nSize=32\n"));
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
};

QTEST_MAIN(TestStartup)
#include "tst_startup.moc"
