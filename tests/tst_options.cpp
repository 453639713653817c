#include "support/testenv.h"

#include "app/globals.h"
#include "app/settings.h"
#include "app/windowregistry.h"
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

// The process's current folder, where the folder list starts, for one test.
class CurrentFolder
{
public:
    explicit CurrentFolder(const QString &path) : m_saved(QDir::currentPath()) { QDir::setCurrent(path); }
    ~CurrentFolder() { QDir::setCurrent(m_saved); }

private:
    QString m_saved;
};

template <class T> T *child(QWidget *w, const char *name)
{
    return w->findChild<T *>(QLatin1String(name));
}

// Clicks (or double-clicks) a folder of the folder list once it has been read.
bool clickFolder(QTreeView *tree, const QString &path, bool twice)
{
    auto *model = qobject_cast<QFileSystemModel *>(tree->model());
    QModelIndex index;
    const bool shown = QTest::qWaitFor([&] {
        index = model->index(path);
        if (!index.isValid())
            return false;
        tree->scrollTo(index);
        return !tree->visualRect(index).isEmpty();
    });
    if (!shown)
        return false;
    const QPoint at = tree->visualRect(index).center();
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, at);
    if (twice) {
        // The second press of a double click arrives as a double-click event.
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
    void escapeFromAnyControl_data();
    void escapeFromAnyControl();
    void tabOrder_data();
    void tabOrder();
    void save_data();
    void save();
    void closingDiscards();

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
    if (!QTest::qWaitForWindowActive(w))
        return nullptr;
    return w;
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
    auto *label1 = child<QLabel>(w, "Label1");
    auto *label2 = child<QLabel>(w, "Label2");
    QCOMPARE(label1->text(), QStringLiteral("Export folder:"));
    QCOMPARE(label2->text(), QStringLiteral("Main Database folder:"));
    QVERIFY(label1->font().bold() && label2->font().bold());
    QCOMPARE(label1->buddy(), child<QLineEdit>(w, "txtpath1"));
    QCOMPARE(label2->buddy(), child<QLineEdit>(w, "txtdatabase"));
    QCOMPARE(child<QLineEdit>(w, "txtpath1")->text(), QStringLiteral("/srv/export"));
    QCOMPARE(child<QLineEdit>(w, "txtdatabase")->text(), QStringLiteral("/srv/data"));
    QCOMPARE(child<QPushButton>(w, "cmdexp1")->text(), QStringLiteral("Explore"));
    QCOMPARE(child<QPushButton>(w, "cmddatabase")->text(), QStringLiteral("Explore"));
    QCOMPARE(child<QPushButton>(w, "cmdsave")->text(), QStringLiteral("Save"));
    QCOMPARE(child<QPushButton>(w, "cmdokexp")->text(), QStringLiteral("OK"));
    QVERIFY(!child<QWidget>(w, "Picture1")->isVisible());
    QVERIFY(child<QTreeView>(w, "Dir1"));
#ifndef Q_OS_WIN
    QVERIFY(!child<QWidget>(w, "Drive1")); // no drive letters on this host
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
    QTest::newRow("Escape hides it, boxes unchanged") << QStringList{"cmdexp1", "open:alpha", "escape"} << exp << data << false;
    QTest::newRow("Escape while hidden changes nothing") << QStringList{"escape"} << exp << data << false;
    QTest::newRow("Explore shows it") << QStringList{"cmddatabase"} << exp << data << true;
    QTest::newRow("it keeps its folder between uses") << QStringList{"cmdexp1", "open:beta", "escape", "cmddatabase", "cmdokexp"}
                                                      << exp << "{tree}/beta" << false;
}

void TestOptions::picker()
{
    QFETCH(QStringList, steps);
    QFETCH(QString, exportBox);
    QFETCH(QString, databaseBox);
    QFETCH(bool, pickerShown);
    TestEnv env;
    QVERIFY(QDir().mkpath(env.path(QStringLiteral("tree"))));
    CurrentFolder cwd(env.path(QStringLiteral("tree")));
    frmOptions *w = open(env);
    QVERIFY(w);
    auto *dir = child<QTreeView>(w, "Dir1");
    const QString canonicalTree = QFileInfo(env.path(QStringLiteral("tree"))).canonicalFilePath();
    for (const QString &step : steps) {
        if (step.startsWith(QLatin1String("open:")) || step.startsWith(QLatin1String("click:"))) {
            const QString folder = canonicalTree + QLatin1Char('/') + step.section(QLatin1Char(':'), 1);
            QVERIFY2(clickFolder(dir, folder, step.startsWith(QLatin1String("open:"))), qPrintable(folder));
        } else if (step == QLatin1String("escape")) {
            QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : w, Qt::Key_Escape);
        } else {
            QTest::mouseClick(child<QPushButton>(w, step.toLatin1().constData()), Qt::LeftButton);
        }
    }
    const auto expand = [&](QString s) { return QDir::toNativeSeparators(s.replace(QStringLiteral("{tree}"), canonicalTree)); };
    QCOMPARE(child<QLineEdit>(w, "txtpath1")->text(), expand(exportBox));
    QCOMPARE(child<QLineEdit>(w, "txtdatabase")->text(), expand(databaseBox));
    QCOMPARE(child<QWidget>(w, "Picture1")->isVisible(), pickerShown);
    QCOMPARE(env.quitter.calls, 0);
    QVERIFY(env.messages.calls.isEmpty());
}

void TestOptions::escapeFromAnyControl_data()
{
    QTest::addColumn<QString>("focus");
    for (const char *name : {"txtpath1", "txtdatabase", "cmdexp1", "Dir1", "cmdokexp", "cmdsave"})
        QTest::newRow(name) << QString::fromLatin1(name);
}

void TestOptions::escapeFromAnyControl()
{
    QFETCH(QString, focus);
    TestEnv env;
    frmOptions *w = open(env);
    QVERIFY(w);
    QTest::mouseClick(child<QPushButton>(w, "cmdexp1"), Qt::LeftButton);
    QVERIFY(child<QWidget>(w, "Picture1")->isVisible());
    QWidget *target = w->findChild<QWidget *>(focus);
    target->setFocus();
    QTRY_COMPARE(QApplication::focusWidget(), target);
    QTest::keyClick(target, Qt::Key_Escape);
    QVERIFY(!child<QWidget>(w, "Picture1")->isVisible());
    QCOMPARE(child<QLineEdit>(w, "txtpath1")->text(), QStringLiteral("/srv/export"));
    QVERIFY(w->isVisible()); // Escape does not close the window
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
    child<QWidget>(w, "txtpath1")->setFocus();
    QStringList visited{QApplication::focusWidget()->objectName()};
    for (int i = 1; i < order.size(); ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        visited << QApplication::focusWidget()->objectName();
    }
    QCOMPARE(visited, order);
}

void TestOptions::save_data()
{
    QTest::addColumn<QString>("exportFolder");
    QTest::addColumn<QString>("databaseFolder");
    QTest::newRow("two folders") << "/data/export" << "/data/main db";
    QTest::newRow("empty boxes") << "" << "";
    QTest::newRow("trailing separator, comma, quotes") << "/data/x/" << "/d, 'o' \"q\"";
}

void TestOptions::save()
{
    QFETCH(QString, exportFolder);
    QFETCH(QString, databaseFolder);
    TestEnv env;
    frmOptions *w = open(env);
    QVERIFY(w);
    replaceText(child<QLineEdit>(w, "txtpath1"), exportFolder);
    replaceText(child<QLineEdit>(w, "txtdatabase"), databaseFolder);
    QTest::mouseClick(child<QPushButton>(w, "cmdsave"), Qt::LeftButton);

    QCOMPARE(env.messages.calls.size(), 1);
    QCOMPARE(env.messages.calls.first().text, QStringLiteral("The application need to be restarted to make these changes take effect"));
    QCOMPARE(env.messages.calls.first().title, QStringLiteral("Option"));
    QCOMPARE(env.quitter.calls, 1);
    // The globals of this run stay as they were read at its start.
    QCOMPARE(gExportPath, QStringLiteral("/srv/export"));

    // The next start reads them back ("Dbpath" written, "dbpath" read).
    Settings next(env.settings->fileName());
    app::loadGlobals(next);
    QCOMPARE(gExportPath, exportFolder);
    QCOMPARE(gDbPath, databaseFolder);
    QCOMPARE(gDbFile, app::joinPath(databaseFolder, app::kDbFileName));
}

void TestOptions::closingDiscards()
{
    TestEnv env;
    frmOptions *w = open(env);
    QVERIFY(w);
    replaceText(child<QLineEdit>(w, "txtpath1"), QStringLiteral("/elsewhere"));
    w->close();
    QTRY_VERIFY(!WindowRegistry::existing<frmOptions>());
    Settings next(env.settings->fileName());
    QCOMPARE(next.read(QStringLiteral("paths"), QStringLiteral("ExportPath"), QStringLiteral("<none>")), QStringLiteral("<none>"));
    QCOMPARE(env.quitter.calls, 0);
    // Opened again, it shows the values of the start once more.
    frmOptions *again = open(env);
    QVERIFY(again);
    QCOMPARE(child<QLineEdit>(again, "txtpath1")->text(), QStringLiteral("/srv/export"));
}

QTEST_MAIN(TestOptions)
#include "tst_options.moc"
