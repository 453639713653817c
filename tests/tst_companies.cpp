#include "support/testenv.h"

#include "app/windowregistry.h"
#include "db/datasource.h"
#include "ui/editors/frmAuthorizedCompanies.h"
#include "ui/lists/frmListofCompanies.h"
#include "ui/lists/frmListofProjects.h"
#include "ui/main/frmMain.h"

#include <QApplication>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QSqlQueryModel>
#include <QSqlRecord>
#include <QHeaderView>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QTest>

namespace {

void click(QWidget *w, const char *name)
{
    auto *b = w->findChild<QAbstractButton *>(QLatin1String(name));
    QVERIFY2(b && b->isVisible() && b->isEnabled(), name);
    QTest::mouseClick(b, Qt::LeftButton);
}

QStringList column(QTableView *g, const QString &field)
{
    auto *m = qobject_cast<QSqlQueryModel *>(g->model());
    const int c = m->record().indexOf(field);
    QStringList out;
    for (int r = 0; r < m->rowCount(); ++r)
        out << m->index(r, c).data().toString();
    return out;
}

QLineEdit *field(QWidget *w, const char *name)
{
    return w->findChild<QLineEdit *>(QLatin1String(name));
}

} // namespace

class TestCompanies : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void newSubcontractorIsStampedWithItsProject();
    void editKeepsTheProject();
    void everyCloseRefreshesTheMainWindow_data();
    void everyCloseRefreshesTheMainWindow();
    void listShowsTheProjectsSubcontractors();
    void deleteLeavesThePickups();
    void editFromTheListAndItsOldValues();
    void print_data();
    void print();

private:
    std::unique_ptr<TestEnv> env;
    frmMain *main = nullptr;
};

void TestCompanies::init()
{
    env = std::make_unique<TestEnv>();
    QVERIFY(env->createDatabase());
    QVERIFY(env->exec(QStringLiteral(
        "INSERT INTO project (id, projectname, active) VALUES (4, 'NORTH TOWER', -1), (5, 'OTHER', -1)")));
    QVERIFY(env->exec(QStringLiteral(
        "INSERT INTO authorizedcompanies (id, idproject, name, city, pickupdate, active) VALUES "
        "(10, 4, 'ACME ELECTRIC', 'AUSTIN', '2026-03-07', -1), (11, 4, 'BRIGHTLINE GLASS', NULL, NULL, 0), "
        "(12, 5, 'ELSEWHERE', NULL, NULL, -1)")));
    QVERIFY(env->exec(QStringLiteral(
        "INSERT INTO pickuplog (idproject, idauthorizedcompany, pickupdate) VALUES (4, 10, '2026-01-01'), (4, 10, '2026-01-02')")));
    main = WindowRegistry::get<frmMain>();
    main->show();
}

void TestCompanies::cleanup()
{
    env.reset();
}

void TestCompanies::newSubcontractorIsStampedWithItsProject()
{
    auto *w = WindowRegistry::get<frmAuthorizedCompanies>();
    w->NewCompany(4);
    QCOMPARE(w->windowTitle(), QStringLiteral("Authorized Subcontractor"));
    QVERIFY(QTest::qWaitForWindowActive(w));
    QCOMPARE(QApplication::focusWidget(), field(w, "TxtCompanyName"));
    const QList<QPair<const char *, QString>> typed = {
        {"TxtCompanyName", "delta steel & co."}, {"TxtAddress", "12 main st"}, {"TxtCity", "albuquerque nm"},
        {"TxtZipCode", "87101"}, {"TxtState", "nm"}, {"TxtEmail", "office@delta.com"},
        {"TxtWebsite", "www.delta.com"}, {"Text1", "memo with 'quotes'"}, {"TxtPickupDate", "3/7/26"},
        {"TxtPickupBy", "j. smith"}, {"TxtPackage", "keys"}};
    for (const auto &[name, text] : typed) {
        field(w, name)->setFocus();
        QTest::keyClicks(field(w, name), text);
    }
    click(w, "cmdsave");
    QTRY_VERIFY(!WindowRegistry::existing<frmAuthorizedCompanies>());
    const QVariantList row = {
        env->scalar("SELECT idproject FROM authorizedcompanies WHERE id = 13"),
        env->scalar("SELECT name FROM authorizedcompanies WHERE id = 13"),
        env->scalar("SELECT city FROM authorizedcompanies WHERE id = 13"),
        env->scalar("SELECT email FROM authorizedcompanies WHERE id = 13"),
        env->scalar("SELECT note FROM authorizedcompanies WHERE id = 13"),
        env->scalar("SELECT pickupdate FROM authorizedcompanies WHERE id = 13"),
        env->scalar("SELECT package FROM authorizedcompanies WHERE id = 13")};
    QCOMPARE(row, QVariantList({4, "DELTA STEEL & CO.", "ALBUQUERQU", "OFFICE@DELTA.COM", "MEMO WITH 'QUOTES'",
                                "2026-03-07", "KEYS"}));
    // Kept on the subcontractor's row only: no pick-up is logged.
    QCOMPARE(env->scalar("SELECT count(*) FROM pickuplog").toInt(), 2);
}

void TestCompanies::editKeepsTheProject()
{
    auto *w = WindowRegistry::get<frmAuthorizedCompanies>();
    w->EditCompany(12);
    QCOMPARE(w->ProjectId(), 5);
    QCOMPARE(field(w, "TxtCompanyName")->text(), QStringLiteral("ELSEWHERE"));
    QVERIFY(QTest::qWaitForWindowActive(w));
    field(w, "TxtCity")->setFocus();
    QTest::keyClicks(field(w, "TxtCity"), QStringLiteral("reno"));
    click(w, "cmdsave");
    QCOMPARE(env->scalar("SELECT idproject FROM authorizedcompanies WHERE id = 12").toInt(), 5);
    QCOMPARE(env->scalar("SELECT city FROM authorizedcompanies WHERE id = 12").toString(), QStringLiteral("RENO"));
    // The stored date reads back in short form.
    w = WindowRegistry::get<frmAuthorizedCompanies>();
    w->EditCompany(10);
    QCOMPARE(field(w, "TxtPickupDate")->text(), QStringLiteral("3/7/2026"));
}

void TestCompanies::everyCloseRefreshesTheMainWindow_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<int>("written");
    QTest::newRow("save") << "cmdsave" << 1;
    QTest::newRow("cancel") << "CmdCancel" << 0;
    QTest::newRow("close box") << "" << 0;
}

void TestCompanies::everyCloseRefreshesTheMainWindow()
{
    QFETCH(QString, how);
    QFETCH(int, written);
    auto *projects = main->findChild<QListView *>(QStringLiteral("dbProject"));
    QVERIFY(env->exec(QStringLiteral("INSERT INTO project (projectname) VALUES ('ADDED ELSEWHERE')")));
    const int before = projects->model()->rowCount();
    auto *w = WindowRegistry::get<frmAuthorizedCompanies>();
    w->NewCompany(4);
    QTest::keyClicks(field(w, "TxtCompanyName"), QStringLiteral("x"));
    if (how.isEmpty())
        w->close();
    else
        click(w, qPrintable(how));
    QCOMPARE(projects->model()->rowCount(), before + 1);
    QCOMPARE(env->scalar("SELECT count(*) FROM authorizedcompanies WHERE name = 'X'").toInt(), written);
}

void TestCompanies::listShowsTheProjectsSubcontractors()
{
    auto *list = WindowRegistry::get<frmListofCompanies>();
    list->showlist(QStringLiteral("4"));
    QCOMPARE(list->windowTitle(), QStringLiteral("List of Companies"));
    QCOMPARE(column(list->grid(), "name"), QStringList({"ACME ELECTRIC", "BRIGHTLINE GLASS"}));
    QCOMPARE(list->listmode(), QStringLiteral("showlist"));
    QVERIFY(list->origen().isEmpty());
    // The shown columns, in their order, captioned with their field names.
    QStringList shown;
    auto *h = list->grid()->horizontalHeader();
    for (int v = 0; v < h->count(); ++v)
        if (!list->grid()->isColumnHidden(h->logicalIndex(v)))
            shown << list->grid()->model()->headerData(h->logicalIndex(v), Qt::Horizontal).toString();
    QCOMPARE(shown, QStringList({"Name", "Address1", "Address2", "city", "state", "zipcode", "Telephone", "Fax",
                                 "pickupdate", "pickupby", "package", "active", "note", "Email", "website"}));
    // Dates in short form.
    const int c = list->ADOlist()->column("pickupdate");
    auto *d = qobject_cast<QStyledItemDelegate *>(list->grid()->itemDelegateForColumn(c));
    QVERIFY(d);
    QCOMPARE(d->displayText(list->grid()->model()->index(0, c).data(), QLocale()), QStringLiteral("3/7/2026"));
    // In its plain role "Acept" closes the window, as in the sister lists.
    click(list, "CmdAcept");
    QTRY_VERIFY(!WindowRegistry::existing<frmListofCompanies>());
}

void TestCompanies::deleteLeavesThePickups()
{
    auto *list = WindowRegistry::get<frmListofCompanies>();
    list->showlist(QStringLiteral("4"));
    list->grid()->selectRow(0);
    click(list, "CmdDelete");
    QVERIFY(env->messages.calls.isEmpty());
    QCOMPARE(env->scalar("SELECT count(*) FROM authorizedcompanies WHERE id = 10").toInt(), 0);
    QCOMPARE(env->scalar("SELECT count(*) FROM pickuplog WHERE idauthorizedcompany = 10").toInt(), 2);
    QCOMPARE(column(list->grid(), "name"), QStringList({"BRIGHTLINE GLASS"}));
    // An empty list: Edit and Delete do nothing.
    list->showlist(QStringLiteral("99"));
    click(list, "CmdDelete");
    click(list, "CmdEdit");
    QVERIFY(!WindowRegistry::existing<frmAuthorizedCompanies>());
    QVERIFY(env->messages.calls.isEmpty());
}

void TestCompanies::editFromTheListAndItsOldValues()
{
    auto *list = WindowRegistry::get<frmListofCompanies>();
    list->showlist(QStringLiteral("4"));
    list->grid()->setCurrentIndex(list->grid()->model()->index(1, 2)); // the cursor row, nothing selected
    list->grid()->clearSelection();
    click(list, "CmdEdit");
    auto *w = WindowRegistry::existing<frmAuthorizedCompanies>();
    QVERIFY(w && list->isVisible());
    QCOMPARE(field(w, "TxtCompanyName")->text(), QStringLiteral("BRIGHTLINE GLASS"));
    QVERIFY(QTest::qWaitForWindowActive(w));
    field(w, "TxtCity")->setFocus();
    QTest::keyClicks(field(w, "TxtCity"), QStringLiteral("mesa"));
    click(w, "cmdsave");
    // The list is not told: it shows the old value until its own Refresh.
    QCOMPARE(column(list->grid(), "city").at(1), QString());
    click(list, "cmdrefresh");
    QCOMPARE(column(list->grid(), "city").at(1), QStringLiteral("MESA"));
}

void TestCompanies::print_data()
{
    QTest::addColumn<QString>("mode");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QStringList>("names");
    QTest::newRow("project's subcontractors") << "showlist" << " " << QStringList({"ACME ELECTRIC", "BRIGHTLINE GLASS"});
    QTest::newRow("not picked up") << "notpickedup" << "Subcontractors not picked-up" << QStringList({"BRIGHTLINE GLASS"});
}

void TestCompanies::print()
{
    QFETCH(QString, mode);
    QFETCH(QString, title);
    QFETCH(QStringList, names);
    auto *list = WindowRegistry::get<frmListofCompanies>();
    if (mode == QLatin1String("showlist"))
        list->showlist(QStringLiteral("4"));
    else
        list->showNotPickedUp(QStringLiteral("4"));
    QCOMPARE(column(list->grid(), "name"), names);
    click(list, "CmdPrint");
    QCOMPARE(env->reports.calls.size(), 1);
    const auto &call = env->reports.calls.first();
    QCOMPARE(call.kind, RecordingReports::Kind::Print);
    QCOMPARE(call.layoutName, QStringLiteral("DrpListofCompanies"));
    QCOMPARE(call.title, title);
    QStringList printed;
    for (int r = 0; r < call.rows.size(); ++r)
        printed << call.rows.value(r, QStringLiteral("Name")).toString();
    QCOMPARE(printed, names);
    if (pdftools::available()) {
        const QString text = pdftools::text(call.pdfPath);
        for (const QString &n : names)
            QVERIFY2(text.contains(n), qPrintable(text));
        QVERIFY(text.contains(QStringLiteral("Registers Total:")));
    }
    // A project without subcontractors: the message, nothing printed.
    list->showlist(QStringLiteral("99"));
    click(list, "CmdPrint");
    QCOMPARE(env->reports.calls.size(), 1);
    QCOMPARE(env->messages.texts(), QStringList({"There are not Registers"}));
}

QTEST_MAIN(TestCompanies)
#include "tst_companies.moc"
