#include "support/testenv.h"

#include "core/app/globals.h"
#include "core/app/settings.h"
#include "ui/common/windowregistry.h"
#include "ui/options/frmOptions.h"

#include <QApplication>
#include <QDir>
#include <QFileSystemModel>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTreeView>

namespace {

template <class T = QWidget> T *child(QWidget *w, const char *name)
{
    return w->findChild<T *>(QLatin1String(name));
}

// Clicks (or double-clicks) a folder of the folder list once it has been read.
bool clickFolder(QTreeView *tree, const QString &path, bool twice)
{
    auto *model = qobject_cast<QFileSystemModel *>(tree->model());
    QModelIndex index;
    if (!QTest::qWaitFor([&] {
            index = model->index(path);
            tree->scrollTo(index);
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

void replaceText(QLineEdit *box, const QString &text)
{
    box->setFocus();
    QTest::keyClick(box, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(box, Qt::Key_Delete);
    QTest::keyClicks(box, text);
}

} // namespace

class TestOptions : public QObject
{
    Q_OBJECT
private slots:
    void showsTheFolders();
    void picker_data();
    void picker();
    void tabOrder_data();
    void tabOrder();
    void save_data();
    void save();

private:
    frmOptions *open(TestEnv &env);
};

frmOptions *TestOptions::open(TestEnv &env)
{
    gExportPath = QStringLiteral("/srv/export");
    gDbPath = QStringLiteral("/srv/data");
    QDir().mkpath(env.path(QStringLiteral("tree/alpha/inner")));
    QDir().mkpath(env.path(QStringLiteral("tree/beta")));
    auto *w = window<frmOptions>();
    w->show();
    return QTest::qWaitForWindowActive(w) ? w : nullptr;
}

void TestOptions::showsTheFolders()
{
    TestEnv env;
    frmOptions *w = open(env);
    QVERIFY(w);
    QCOMPARE(w->windowTitle(), QStringLiteral("Options"));
    QCOMPARE(w->size(), QSize(491, 269));
    QCOMPARE(w->minimumSize(), w->maximumSize());
    QCOMPARE(child<QGroupBox>(w, "Frame1")->title(), QStringLiteral("Folder: "));
    for (auto [label, text, box, value] : {std::tuple{"Label1", "Export folder:", "txtpath1", "/srv/export"},
                                           std::tuple{"Label2", "Main Database folder:", "txtdatabase", "/srv/data"}}) {
        QCOMPARE(child<QLabel>(w, label)->text(), QString::fromUtf8(text));
        QVERIFY(child<QLabel>(w, label)->font().bold());
        QCOMPARE(child<QLabel>(w, label)->buddy(), child(w, box));
        QCOMPARE(child<QLineEdit>(w, box)->text(), QString::fromUtf8(value));
    }
    for (auto [button, text] : {std::pair{"cmdexp1", "Explore"}, {"cmddatabase", "Explore"}, {"cmdsave", "Save"}, {"cmdokexp", "OK"}})
        QCOMPARE(child<QPushButton>(w, button)->text(), QString::fromUtf8(text));
    QVERIFY(!child(w, "Picture1")->isVisible());
    QVERIFY(child<QTreeView>(w, "Dir1"));
#ifndef Q_OS_WIN
    QVERIFY(!child(w, "Drive1")); // no drive letters on this host
#endif
    QCOMPARE(w->pickerTarget(), QString());
}

void TestOptions::picker_data()
{
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QString>("exportBox");
    QTest::addColumn<QString>("databaseBox");
    QTest::addColumn<bool>("pickerShown");
    const QString exp = QStringLiteral("/srv/export"), data = QStringLiteral("/srv/data");
    QTest::newRow("export folder") << QStringList{"cmdexp1", "open:alpha", "cmdokexp"} << "{tree}/alpha" << data << false;
    QTest::newRow("database folder") << QStringList{"cmddatabase", "open:beta", "cmdokexp"} << exp << "{tree}/beta" << false;
    QTest::newRow("the second Explore decides") << QStringList{"cmdexp1", "cmddatabase", "open:beta", "cmdokexp"} << exp
                                                << "{tree}/beta" << false;
    QTest::newRow("a single click only highlights") << QStringList{"cmdexp1", "open:alpha", "click:beta", "cmdokexp"}
                                                    << "{tree}/alpha" << data << false;
    QTest::newRow("a folder inside another") << QStringList{"cmdexp1", "open:alpha", "open:alpha/inner", "cmdokexp"}
                                             << "{tree}/alpha/inner" << data << false;
    QTest::newRow("nothing opened: the starting folder") << QStringList{"cmddatabase", "cmdokexp"} << exp << "{tree}" << false;
    QTest::newRow("Escape while hidden changes nothing") << QStringList{"escape"} << exp << data << false;
    QTest::newRow("Explore shows it") << QStringList{"cmddatabase"} << exp << data << true;
    QTest::newRow("it keeps its folder between uses") << QStringList{"cmdexp1", "open:beta", "escape", "cmddatabase", "cmdokexp"}
                                                      << exp << "{tree}/beta" << false;
    for (const char *focus : {"txtpath1", "txtdatabase", "cmdexp1", "Dir1", "cmdokexp", "cmdsave"})
        QTest::addRow("Escape in %s hides it, boxes unchanged", focus)
            << QStringList{"cmdexp1", "open:alpha", QStringLiteral("focus:") + focus, "escape"} << exp << data << false;
}

void TestOptions::picker()
{
    QFETCH(QStringList, steps);
    QFETCH(QString, exportBox);
    QFETCH(QString, databaseBox);
    QFETCH(bool, pickerShown);
    TestEnv env;
    QVERIFY(QDir().mkpath(env.path(QStringLiteral("tree"))));
    const QString saved = QDir::currentPath(), tree = QFileInfo(env.path(QStringLiteral("tree"))).canonicalFilePath();
    QDir::setCurrent(tree); // where the folder list starts
    auto restore = qScopeGuard([&] { QDir::setCurrent(saved); });
    frmOptions *w = open(env);
    QVERIFY(w);
    for (const QString &step : steps) {
        const QString arg = step.section(QLatin1Char(':'), 1);
        if (step.startsWith(QLatin1String("open:")) || step.startsWith(QLatin1String("click:"))) {
            QVERIFY2(clickFolder(child<QTreeView>(w, "Dir1"), tree + QLatin1Char('/') + arg, step.startsWith(QLatin1String("open:"))),
                     qPrintable(arg));
        } else if (step.startsWith(QLatin1String("focus:"))) {
            QWidget *target = w->findChild<QWidget *>(arg);
            target->setFocus();
            QTRY_COMPARE(QApplication::focusWidget(), target);
        } else if (step == QLatin1String("escape")) {
            QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : w, Qt::Key_Escape);
        } else {
            QTest::mouseClick(child<QPushButton>(w, step.toLatin1().constData()), Qt::LeftButton);
        }
    }
    const auto expand = [&](QString s) { return QDir::toNativeSeparators(s.replace(QStringLiteral("{tree}"), tree)); };
    QCOMPARE(child<QLineEdit>(w, "txtpath1")->text(), expand(exportBox));
    QCOMPARE(child<QLineEdit>(w, "txtdatabase")->text(), expand(databaseBox));
    QCOMPARE(child(w, "Picture1")->isVisible(), pickerShown);
    QVERIFY(w->isVisible()); // Escape does not close the window
    QCOMPARE(env.quitter.calls, 0);
    QVERIFY(env.messages.calls.isEmpty());
}

void TestOptions::tabOrder_data()
{
    QTest::addColumn<bool>("pickerShown");
    QTest::addColumn<QStringList>("order");
    QTest::newRow("picker hidden") << false << QStringList{"txtpath1", "cmdexp1", "txtdatabase", "cmddatabase", "cmdsave", "txtpath1"};
    QTest::newRow("picker shown") << true << QStringList{"txtpath1", "cmdexp1", "txtdatabase", "cmddatabase", "Dir1", "cmdokexp", "cmdsave"};
}

void TestOptions::tabOrder()
{
    QFETCH(bool, pickerShown);
    QFETCH(QStringList, order);
    TestEnv env;
    frmOptions *w = open(env);
    QVERIFY(w);
    if (pickerShown)
        QTest::mouseClick(child<QPushButton>(w, "cmdexp1"), Qt::LeftButton);
    child(w, "txtpath1")->setFocus();
    QStringList visited{QApplication::focusWidget()->objectName()};
    while (visited.size() < order.size()) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        visited << QApplication::focusWidget()->objectName();
    }
    QCOMPARE(visited, order);
}

void TestOptions::save_data()
{
    QTest::addColumn<QString>("exportFolder");
    QTest::addColumn<QString>("databaseFolder");
    QTest::addColumn<bool>("saved");
    QTest::newRow("two folders") << "/data/export" << "/data/main db" << true;
    QTest::newRow("empty boxes") << "" << "" << true;
    QTest::newRow("trailing separator, comma, quotes") << "/data/x/" << "/d, 'o' \"q\"" << true;
    QTest::newRow("closed without Save: nothing kept") << "/elsewhere" << "/other" << false;
}

void TestOptions::save()
{
    QFETCH(QString, exportFolder);
    QFETCH(QString, databaseFolder);
    QFETCH(bool, saved);
    TestEnv env;
    frmOptions *w = open(env);
    QVERIFY(w);
    replaceText(child<QLineEdit>(w, "txtpath1"), exportFolder);
    replaceText(child<QLineEdit>(w, "txtdatabase"), databaseFolder);
    if (saved)
        QTest::mouseClick(child<QPushButton>(w, "cmdsave"), Qt::LeftButton);
    else
        w->close();
    QCOMPARE(gExportPath, QStringLiteral("/srv/export")); // this run keeps what it read at its start
    Settings next(env.settings->fileName());
    if (!saved) {
        QTRY_VERIFY(!WindowRegistry::existing<frmOptions>());
        QCOMPARE(next.read(QStringLiteral("paths"), QStringLiteral("ExportPath"), QStringLiteral("<none>")), QStringLiteral("<none>"));
        QCOMPARE(env.quitter.calls, 0);
        QVERIFY(env.messages.calls.isEmpty());
        frmOptions *again = open(env); // opened again, it shows the values of the start once more
        QVERIFY(again);
        QCOMPARE(child<QLineEdit>(again, "txtpath1")->text(), QStringLiteral("/srv/export"));
        return;
    }
    QCOMPARE(env.messages.calls.size(), 1);
    QCOMPARE(env.messages.calls.first().text, QStringLiteral("The application need to be restarted to make these changes take effect"));
    QCOMPARE(env.messages.calls.first().title, QStringLiteral("Option"));
    QCOMPARE(env.quitter.calls, 1);
    core::loadGlobals(next); // the next start reads them back ("Dbpath" written, "dbpath" read)
    QCOMPARE(gExportPath, exportFolder);
    QCOMPARE(gDbPath, databaseFolder);
    QCOMPARE(gDbFile, core::joinPath(databaseFolder, core::kDbFileName));
}

QTEST_MAIN(TestOptions)
#include "tst_options.moc"
