#include "support/testenv.h"

#include "app/conventions.h"
#include "app/windowregistry.h"
#include "ui/editors/frmAuthorizedCompanies.h"
#include "ui/editors/frmNewProject.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

class TestConventions : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void enterWalk_data();
    void enterWalk();
    void enterOnActiveWithSaveDisabled();
    void positionsAreUniqueWithoutGaps_data();
    void positionsAreUniqueWithoutGaps();
    void capitalsOnTypingOnly();
    void keysThatEnableSave_data();
    void keysThatEnableSave();
    void dateCheckOnFocusLoss_data();
    void dateCheckOnFocusLoss();
    void leavingForCancelStillRewrites();
    void lengthLimits();

private:
    std::unique_ptr<TestEnv> env;
};

void TestConventions::init()
{
    env = std::make_unique<TestEnv>();
    QVERIFY(env->createDatabase());
    QVERIFY(env->exec(QStringLiteral("INSERT INTO project (id, projectname, active) VALUES (4, 'P', -1)")));
}

void TestConventions::cleanup()
{
    env.reset();
}

static QWidget *openEditor(const QString &which)
{
    if (which == QLatin1String("project")) {
        auto *w = WindowRegistry::get<frmNewProject>();
        w->NewProject();
        return w;
    }
    auto *w = WindowRegistry::get<frmAuthorizedCompanies>();
    w->NewCompany(4);
    return w;
}

void TestConventions::enterWalk_data()
{
    QTest::addColumn<QString>("editor");
    QTest::addColumn<QString>("start");
    QTest::addColumn<QStringList>("walk");
    QTest::newRow("project editor")
        << "project" << "TxtCompany" << QStringList({"TxtProjectName", "chkActive", "cmdsave", "CmdCancel", "CmdCancel"});
    QTest::newRow("subcontractor editor")
        << "company" << "TxtCompanyName"
        << QStringList({"TxtAddress", "txtaddress2", "TxtCity", "TxtZipCode", "TxtState", "TxtPhone", "TxtWebsite",
                        "TxtFax", "TxtEmail", "Text1", "TxtPickupDate", "TxtPickupBy", "TxtPackage", "cmdsave",
                        "CmdCancel", "CmdCancel"});
}

void TestConventions::enterWalk()
{
    QFETCH(QString, editor);
    QFETCH(QString, start);
    QFETCH(QStringList, walk);
    QWidget *w = openEditor(editor);
    QVERIFY(QTest::qWaitForWindowActive(w));
    w->findChild<QWidget *>(start)->setFocus();
    if (editor == QLatin1String("project")) // a key press enables "Save" first
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_A);
    for (const QString &next : walk) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        QCOMPARE(QApplication::focusWidget()->objectName(), next);
    }
    // Enter on a button moves on; it never presses it.
    QVERIFY(w->isVisible());
    QCOMPARE(env->scalar(QStringLiteral("SELECT count(*) FROM project")).toInt(), 1);
    QCOMPARE(env->scalar(QStringLiteral("SELECT count(*) FROM authorizedcompanies")).toInt(), 0);
}

void TestConventions::enterOnActiveWithSaveDisabled()
{
    auto *w = WindowRegistry::get<frmNewProject>();
    w->NewProject();
    QVERIFY(QTest::qWaitForWindowActive(w));
    auto *save = w->findChild<QPushButton *>(QStringLiteral("cmdsave"));
    auto *active = w->findChild<QCheckBox *>(QStringLiteral("chkActive"));
    QVERIFY(!save->isEnabled());
    active->setFocus();
    // The next position is the disabled "Save": the focus stays, and the same key enables it.
    QTest::keyClick(active, Qt::Key_Return);
    QCOMPARE(QApplication::focusWidget(), active);
    QVERIFY(save->isEnabled());
    QTest::keyClick(active, Qt::Key_Enter);
    QCOMPARE(QApplication::focusWidget(), save);
}

void TestConventions::positionsAreUniqueWithoutGaps_data()
{
    QTest::addColumn<QString>("editor");
    QTest::addColumn<int>("highest");
    QTest::newRow("project editor") << "project" << 9;
    QTest::newRow("subcontractor editor") << "company" << 31;
}

void TestConventions::positionsAreUniqueWithoutGaps()
{
    QFETCH(QString, editor);
    QFETCH(int, highest);
    QWidget *w = openEditor(editor);
    QList<int> seen;
    for (QWidget *c : w->findChildren<QWidget *>())
        if (conventions::tabPosition(c) >= 0)
            seen << conventions::tabPosition(c);
    std::sort(seen.begin(), seen.end());
    QCOMPARE(seen.size(), highest + 1);
    for (int i = 0; i <= highest; ++i)
        QCOMPARE(seen.at(i), i);
    // Labels are numbered after the fields and buttons.
    for (QLabel *l : w->findChildren<QLabel *>())
        QVERIFY(conventions::tabPosition(l) > conventions::tabPosition(w->findChild<QWidget *>("CmdCancel")));
}

void TestConventions::capitalsOnTypingOnly()
{
    auto *w = WindowRegistry::get<frmAuthorizedCompanies>();
    w->NewCompany(4);
    QVERIFY(QTest::qWaitForWindowActive(w));
    auto *name = w->findChild<QLineEdit *>(QStringLiteral("TxtCompanyName"));
    auto *memo = w->findChild<QLineEdit *>(QStringLiteral("Text1"));
    name->setFocus();
    QTest::keyClicks(name, QStringLiteral("smith & co. 7"));
    QKeyEvent umlaut(QEvent::KeyPress, Qt::Key_Udiaeresis, Qt::NoModifier, QStringLiteral("ü"));
    QApplication::sendEvent(name, &umlaut);
    QCOMPARE(name->text(), QStringLiteral("SMITH & CO. 7Ü"));
    // Pasted text keeps its case.
    memo->setFocus();
    QApplication::clipboard()->setText(QStringLiteral("smith & co."));
    QTest::keyClick(memo, Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(memo->text(), QStringLiteral("smith & co."));
    // And so does text the application puts there.
    memo->setText(QStringLiteral("mixed Case"));
    QCOMPARE(memo->text(), QStringLiteral("mixed Case"));
}

void TestConventions::keysThatEnableSave_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<bool>("enables");
    QTest::newRow("letter") << int(Qt::Key_Q) << true;
    QTest::newRow("digit") << int(Qt::Key_7) << true;
    QTest::newRow("space") << int(Qt::Key_Space) << true;
    QTest::newRow("backspace") << int(Qt::Key_Backspace) << true;
    QTest::newRow("enter") << int(Qt::Key_Return) << true;
    QTest::newRow("arrow") << int(Qt::Key_Left) << false;
    QTest::newRow("delete") << int(Qt::Key_Delete) << false;
    QTest::newRow("function key") << int(Qt::Key_F2) << false;
    QTest::newRow("home") << int(Qt::Key_Home) << false;
}

void TestConventions::keysThatEnableSave()
{
    QFETCH(int, key);
    QFETCH(bool, enables);
    auto *w = WindowRegistry::get<frmNewProject>();
    w->NewProject();
    QVERIFY(QTest::qWaitForWindowActive(w));
    auto *save = w->findChild<QPushButton *>(QStringLiteral("cmdsave"));
    auto *company = w->findChild<QLineEdit *>(QStringLiteral("TxtCompany"));
    company->setFocus();
    // A click in the check box alone does not enable it.
    QTest::mouseClick(w->findChild<QCheckBox *>(QStringLiteral("chkActive")), Qt::LeftButton);
    QVERIFY(!save->isEnabled());
    company->setFocus();
    QTest::keyClick(company, Qt::Key(key));
    QCOMPARE(save->isEnabled(), enables);
}

void TestConventions::dateCheckOnFocusLoss_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QVariant>("stored");
    QTest::newRow("two-digit year") << "12/05/26" << "12/5/2026" << QVariant("2026-12-05");
    QTest::newRow("day first") << "13/12/2003" << "12/13/2003" << QVariant("2003-12-13");
    QTest::newRow("impossible") << "2/30/2003" << "" << QVariant();
    QTest::newRow("letters") << "abc" << "" << QVariant();
    QTest::newRow("time of day") << "3/7/26 14:05" << "3/7/2026 2:05:00 PM" << QVariant("2026-03-07 14:05:00");
}

void TestConventions::dateCheckOnFocusLoss()
{
    QFETCH(QString, typed);
    QFETCH(QString, shown);
    QFETCH(QVariant, stored);
    auto *w = WindowRegistry::get<frmAuthorizedCompanies>();
    w->NewCompany(4);
    QVERIFY(QTest::qWaitForWindowActive(w));
    auto *date = w->findChild<QLineEdit *>(QStringLiteral("TxtPickupDate"));
    date->setFocus();
    QTest::keyClicks(date, typed);
    QTest::keyClick(date, Qt::Key_Tab); // leave the field
    QCOMPARE(date->text(), shown);
    QTest::mouseClick(w->findChild<QPushButton *>(QStringLiteral("cmdsave")), Qt::LeftButton);
    const QVariant v = env->scalar(QStringLiteral("SELECT pickupdate FROM authorizedcompanies"));
    QCOMPARE(v.isNull(), stored.isNull());
    if (!stored.isNull())
        QCOMPARE(v.toString(), stored.toString());
}

void TestConventions::leavingForCancelStillRewrites()
{
    auto *w = WindowRegistry::get<frmAuthorizedCompanies>();
    w->NewCompany(4);
    QVERIFY(QTest::qWaitForWindowActive(w));
    auto *date = w->findChild<QLineEdit *>(QStringLiteral("TxtPickupDate"));
    date->setFocus();
    QTest::keyClicks(date, QStringLiteral("4/31/2026"));
    auto *cancel = w->findChild<QPushButton *>(QStringLiteral("CmdCancel"));
    cancel->setFocus(Qt::MouseFocusReason); // as the press on "Cancel" takes the focus
    QCOMPARE(date->text(), QString());
}

void TestConventions::lengthLimits()
{
    auto *w = WindowRegistry::get<frmAuthorizedCompanies>();
    w->NewCompany(4);
    QVERIFY(QTest::qWaitForWindowActive(w));
    const QList<QPair<const char *, int>> limits = {{"TxtCompanyName", 50}, {"TxtCity", 10}, {"TxtZipCode", 10},
                                                    {"TxtState", 10},      {"TxtEmail", 50}, {"TxtPackage", 50}};
    for (const auto &[name, max] : limits) {
        auto *f = w->findChild<QLineEdit *>(QLatin1String(name));
        f->setFocus();
        QTest::keyClicks(f, QString(max + 1, QLatin1Char('k')));
        QCOMPARE(f->text(), QString(max, QLatin1Char('K')));
    }
    auto *memo = w->findChild<QLineEdit *>(QStringLiteral("Text1"));
    memo->setText(QString(10000, QLatin1Char('m')));
    QCOMPARE(memo->text().size(), 10000);
}

QTEST_MAIN(TestConventions)
#include "tst_conventions.moc"
