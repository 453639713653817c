// The options window: the two folders, typed or chosen in the folder list, and saved.
#include "support/windows.h"
#include "ui/options/frmOptions.h"

#include <QDir>
#include <QFileSystemModel>
#include <QTreeView>

class TestOptions : public QObject
{
    Q_OBJECT
    static frmOptions *open()
    {
        gExportPath = QStringLiteral("/srv/export");
        gDbPath = QStringLiteral("/srv/data");
        auto *w = window<frmOptions>();
        w->show();
        return QTest::qWaitForWindowActive(w) ? w : nullptr;
    }
    // Clicks (or double-clicks) a folder of the folder list once it has been read.
    static bool clickFolder(QTreeView *tree, const QString &path, bool twice)
    {
        QModelIndex index;
        if (!QTest::qWaitFor([&] {
                tree->scrollTo(index = qobject_cast<QFileSystemModel *>(tree->model())->index(path));
                return index.isValid() && !tree->visualRect(index).isEmpty();
            }))
            return false;
        const QPoint at = tree->visualRect(index).center();
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, at);
        if (twice) { // the second press of a double click arrives as a double-click event
            QTest::mouseDClick(tree->viewport(), Qt::LeftButton, {}, at);
            QTest::mouseRelease(tree->viewport(), Qt::LeftButton, {}, at);
        }
        return true;
    }

private slots:
    void picker_data()
    {
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QString>("exportBox");
        QTest::addColumn<QString>("databaseBox");
        const QString exp = QStringLiteral("/srv/export"), data = QStringLiteral("/srv/data");
        QTest::newRow("export folder") << QStringList{"cmdexp1", "open:alpha", "cmdokexp"} << "{tree}/alpha" << data;
        QTest::newRow("the second Explore decides") << QStringList{"cmdexp1", "cmddatabase", "open:beta", "cmdokexp"} << exp << "{tree}/beta";
        QTest::newRow("a single click only highlights") << QStringList{"cmdexp1", "open:alpha", "click:beta", "cmdokexp"} << "{tree}/alpha" << data;
        QTest::newRow("a folder inside another") << QStringList{"cmdexp1", "open:alpha", "open:alpha/inner", "cmdokexp"} << "{tree}/alpha/inner" << data;
        QTest::newRow("nothing opened: the starting folder") << QStringList{"cmddatabase", "cmdokexp"} << exp << "{tree}";
        QTest::newRow("Escape while hidden changes nothing") << QStringList{"escape"} << exp << data;
        QTest::newRow("Explore shows it") << QStringList{"cmddatabase"} << exp << data;
        QTest::newRow("it keeps its folder between uses") << QStringList{"cmdexp1", "open:beta", "escape", "cmddatabase", "cmdokexp"}
                                                          << exp << "{tree}/beta";
        for (const char *focus : {"txtpath1", "txtdatabase", "cmdexp1", "Dir1", "cmdokexp", "cmdsave"})
            QTest::addRow("Escape in %s hides it, boxes unchanged", focus)
                << QStringList{"cmdexp1", "open:alpha", QStringLiteral("focus:") + focus, "escape"} << exp << data;
    }

    // A double click opens a folder, "OK" writes it into the box the last "Explore" named; Escape hides the list only.
    void picker()
    {
        QFETCH(QStringList, steps);
        QFETCH(QString, exportBox);
        QFETCH(QString, databaseBox);
        TestEnv env;
        for (const char *folder : {"tree/alpha/inner", "tree/beta"})
            QVERIFY(QDir().mkpath(env.path(folder)));
        const QString saved = QDir::currentPath(), tree = QFileInfo(env.path(QStringLiteral("tree"))).canonicalFilePath();
        QDir::setCurrent(tree); // where the folder list starts
        auto restore = qScopeGuard([&] { QDir::setCurrent(saved); });
        frmOptions *w = open();
        QVERIFY(w);
        auto *dir = w->findChild<QTreeView *>("Dir1");
        QCOMPARE(qobject_cast<QFileSystemModel *>(dir->model())->filePath(dir->currentIndex()), tree); // it starts on the current folder
        for (const QString &step : steps) {
            const QString arg = step.section(':', 1);
            if (step.startsWith(QLatin1String("open:")) || step.startsWith(QLatin1String("click:"))) {
                QVERIFY2(clickFolder(dir, tree + '/' + arg, step.startsWith(QLatin1String("open:"))), qPrintable(arg));
            } else if (step.startsWith(QLatin1String("focus:"))) {
                w->findChild<QWidget *>(arg)->setFocus();
                QTRY_COMPARE(QApplication::focusWidget(), w->findChild<QWidget *>(arg));
            } else if (step == QLatin1String("escape")) {
                QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : w, Qt::Key_Escape);
            } else {
                QTest::mouseClick(ui::button(w, qPrintable(step)), Qt::LeftButton);
            }
        }
        const auto expand = [&](QString s) { return QDir::toNativeSeparators(s.replace(QStringLiteral("{tree}"), tree)); };
        QCOMPARE(field(w, "txtpath1")->text(), expand(exportBox));
        QCOMPARE(field(w, "txtdatabase")->text(), expand(databaseBox));
        QCOMPARE(w->findChild<QWidget *>("Picture1")->isVisible(), steps.last() == "cmdexp1" || steps.last() == "cmddatabase"); // the last step an Explore
        QVERIFY(w->isVisible());
        QCOMPARE(env.quitter.calls, 0);
        QVERIFY(env.messages.calls.isEmpty());
    }

    void save_data()
    {
        QTest::addColumn<QStringList>("typed"); // export folder, database folder, server host, port, database, user
        QTest::addColumn<bool>("saved");
        QTest::addColumn<QString>("address"); // read back at the next start; empty: the file
        QTest::newRow("trailing separator, comma, quotes") << QStringList{"/data/x/", "/d, 'o' \"q\"", "", "", "", ""} << true << "";
        QTest::newRow("closed without Save: nothing kept") << QStringList{"/elsewhere", "/other", "db.example", "", "", ""} << false << "";
        QTest::newRow("a server") << QStringList{"/e", "/d", "db.example", "6543", "office", "desk"} << true << "postgresql://desk@db.example:6543/office";
        QTest::newRow("a server, port not a number") << QStringList{"/e", "/d", " db.example ", "x", "office", ""} << true
                                                     << "postgresql://db.example:5432/office";
    }

    // "Save" writes for the next start and ends the application; this run keeps what it read at its start.
    void save()
    {
        QFETCH(QStringList, typed);
        QFETCH(bool, saved);
        QFETCH(QString, address);
        TestEnv env;
        frmOptions *w = open();
        QVERIFY(w);
        const char *boxes[] = {"txtpath1", "txtdatabase", "txtServerHost", "txtServerPort", "txtServerDatabase", "txtServerUser"};
        for (int i = 0; i < 6; ++i)
            drive::retype(w, boxes[i], typed[i]);
        saved ? QTest::mouseClick(ui::button(w, "cmdsave"), Qt::LeftButton) : void(w->close());
        QCOMPARE(gExportPath, QStringLiteral("/srv/export"));
        QCOMPARE(env.messages.said(), saved ? QStringList{"Option|The application need to be restarted to make these changes take effect"}
                                            : QStringList());
        QCOMPARE(env.quitter.calls, saved ? 1 : 0);
        Settings next(env.settings->fileName());
        if (!saved) {
            QTRY_VERIFY(!WindowRegistry::existing<frmOptions>());
            QCOMPARE(next.read(QStringLiteral("paths"), QStringLiteral("ExportPath"), QStringLiteral("<none>")), QStringLiteral("<none>"));
            QCOMPARE(field(open(), "txtpath1")->text(), QStringLiteral("/srv/export")); // opened again: the values of the start
            return;
        }
        core::loadGlobals(next); // the next start reads them back ("Dbpath" written, "dbpath" read)
        QCOMPARE(gExportPath, typed[0]);
        QCOMPARE(gDbFile, core::joinPath(typed[1], core::kDbFileName));
        QCOMPARE(gServer.isSet() ? gServer.address() : QString(), address);
    }

    // Unwritable settings are said, naming the file; the window keeps what was typed, nothing quits or waits to be written.
    void saveRefused()
    {
        TestEnv env;
        QVERIFY(QFile(env.path("qubern")).open(QIODevice::WriteOnly)); // a file where the settings folder belongs
        Settings unwritable(env.path(QStringLiteral("qubern/qubern.conf")));
        services().settings = &unwritable;
        frmOptions *w = open();
        QVERIFY(w);
        field(w, "txtdatabase")->setText(QStringLiteral("/data/new"));
        QTest::mouseClick(ui::button(w, "cmdsave"), Qt::LeftButton);
        QCOMPARE(env.messages.said(), QStringList{"Option|The settings cannot be saved in \"" + unwritable.fileName()
                                                  + "\": the file or its folder cannot be written. The folders were not changed."});
        QVERIFY(w->isVisible() && field(w, "txtdatabase")->text() == QStringLiteral("/data/new") && env.quitter.calls == 0);
        QCOMPARE(unwritable.read(QStringLiteral("paths"), QStringLiteral("dbpath"), QStringLiteral("<none>")), QStringLiteral("<none>"));
    }
};

QTEST_MAIN(TestOptions)
#include "tst_options.moc"
