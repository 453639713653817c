#include "support/testenv.h"

#include "app/windowregistry.h"
#include "ui/editors/frmAuthorizedCompanies.h"
#include "ui/editors/frmNewProject.h"
#include "ui/lists/frmListofCompanies.h"
#include "ui/lists/frmListofProjects.h"
#include "ui/main/frmMain.h"

#include <QApplication>
#include <QCheckBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QSqlQueryModel>
#include <QSqlRecord>
#include <QTableView>
#include <QTest>

namespace {

void click(QWidget *w, const char *name)
{
    auto *b = w->findChild<QAbstractButton *>(QLatin1String(name));
    QVERIFY2(b, name);
    QVERIFY2(b->isVisible() && b->isEnabled(), name);
    QTest::mouseClick(b, Qt::LeftButton);
}

QStringList column(QTableView *g, const QString &field)
{
    auto *m = qobject_cast<QSqlQueryModel *>(g->model());
    QStringList out;
    while (m->canFetchMore())
        m->fetchMore();
    const int c = m->record().indexOf(field);
    for (int r = 0; r < m->rowCount(); ++r)
        out << m->index(r, c).data().toString();
    return out;
}

int rowOf(QTableView *g, const QString &field, const QString &value)
{
    return int(column(g, field).indexOf(value));
}

void selectRows(QTableView *g, const QList<int> &rows)
{
    // As Ctrl+clicks on the row selectors add them, in this order.
    for (int r : rows)
        g->selectionModel()->select(g->model()->index(r, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
}

QStringList mainProjects()
{
    auto *list = WindowRegistry::get<frmMain>()->findChild<QListView *>(QStringLiteral("dbProject"));
    QStringList out;
    for (int r = 0; r < list->model()->rowCount(); ++r)
        out << list->model()->index(r, list->modelColumn()).data().toString();
    return out;
}

} // namespace

class TestProjects : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void newProjectIsTypedAndSaved();
    void cancelAndCloseBoxWriteNothing();
    void editProject();
    void refusedWriteKeepsTheEditorOpen();
    void listActiveAndNotActive();
    void plainListAceptCloses();
    void chooserModes_data();
    void chooserModes();
    void deleteTakesTheFirstSelectedRowOnly();
    void editAndChooseEmptyListDoNothing();
    void print_data();
    void print();
    void largeIdsWork();
    void closingRefreshesTheMainWindow();

private:
    std::unique_ptr<TestEnv> env;
    frmMain *main = nullptr;
};

void TestProjects::init()
{
    env = std::make_unique<TestEnv>();
    QVERIFY(env->createDatabase());
    QVERIFY(env->exec(QStringLiteral(
        "INSERT INTO project (id, projectname, company, active) VALUES "
        "(1, 'NORTH TOWER', 'ATLAS', -1), (2, 'HARBOR VIEW', 'CITY', 0), (3, 'ELM SCHOOL', 'COUNTY', -1), "
        "(4, 'ELM SCHOOL', 'BOARD', -1)")));
    QVERIFY(env->exec(QStringLiteral("INSERT INTO authorizedcompanies (id, idproject, name) VALUES (10, 1, 'ACME')")));
    QVERIFY(env->exec(QStringLiteral(
        "INSERT INTO pickuplog (idproject, idauthorizedcompany, pickupdate) VALUES (1, 10, '2026-01-01')")));
    main = WindowRegistry::get<frmMain>();
    main->show();
}

void TestProjects::cleanup()
{
    env.reset();
}

void TestProjects::newProjectIsTypedAndSaved()
{
    QAction *item = main->findChild<QAction *>(QStringLiteral("mnuProNewProject"));
    item->trigger();
    auto *w = WindowRegistry::existing<frmNewProject>();
    QVERIFY(w && w->isVisible());
    QCOMPARE(w->windowTitle(), QStringLiteral("New Project"));
    QVERIFY(QTest::qWaitForWindowActive(w));
    auto *company = w->findChild<QLineEdit *>(QStringLiteral("TxtCompany"));
    company->setFocus();
    QTest::keyClicks(company, QStringLiteral("o'neil & sons"));
    QTest::keyClick(company, Qt::Key_Return);
    QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("river 'quote' \"x\"; drop table project"));
    click(w, "cmdsave");
    QTRY_VERIFY(!WindowRegistry::existing<frmNewProject>());
    QCOMPARE(env->scalar(QStringLiteral("SELECT company FROM project WHERE id = 5")).toString(), QStringLiteral("O'NEIL & SONS"));
    QCOMPARE(env->scalar(QStringLiteral("SELECT projectname FROM project WHERE id = 5")).toString(),
             QStringLiteral("RIVER 'QUOTE' \"X\"; DROP TABLE PROJECT"));
    // Not ticked: stored as 0, so only the main window (which lists every project) shows it.
    QCOMPARE(env->scalar(QStringLiteral("SELECT active FROM project WHERE id = 5")).toInt(), 0);
    QVERIFY(mainProjects().contains(QStringLiteral("RIVER 'QUOTE' \"X\"; DROP TABLE PROJECT")));

    // An empty project can be saved too, ticked this time.
    WindowRegistry::get<frmNewProject>()->NewProject();
    w = WindowRegistry::existing<frmNewProject>();
    QVERIFY(QTest::qWaitForWindowActive(w));
    auto *active = w->findChild<QCheckBox *>(QStringLiteral("chkActive"));
    active->setFocus();
    QTest::keyClick(active, Qt::Key_Space);
    click(w, "cmdsave");
    QCOMPARE(env->scalar(QStringLiteral("SELECT active FROM project WHERE id = 6")).toInt(), -1);
    QVERIFY(env->scalar(QStringLiteral("SELECT projectname FROM project WHERE id = 6")).isNull());
}

void TestProjects::cancelAndCloseBoxWriteNothing()
{
    WindowRegistry::get<frmNewProject>()->NewProject();
    auto *w = WindowRegistry::existing<frmNewProject>();
    QVERIFY(QTest::qWaitForWindowActive(w));
    QTest::keyClicks(w->findChild<QLineEdit *>(QStringLiteral("TxtCompany")), QStringLiteral("x"));
    click(w, "CmdCancel");
    QTRY_VERIFY(!WindowRegistry::existing<frmNewProject>());
    WindowRegistry::get<frmNewProject>()->NewProject();
    w = WindowRegistry::existing<frmNewProject>();
    QTest::keyClicks(w->findChild<QLineEdit *>(QStringLiteral("TxtCompany")), QStringLiteral("y"));
    w->close(); // the title-bar close box
    QTRY_VERIFY(!WindowRegistry::existing<frmNewProject>());
    QCOMPARE(env->scalar(QStringLiteral("SELECT count(*) FROM project")).toInt(), 4);
    // Each opening starts with empty fields.
    WindowRegistry::get<frmNewProject>()->NewProject();
    QCOMPARE(WindowRegistry::existing<frmNewProject>()->findChild<QLineEdit *>(QStringLiteral("TxtCompany"))->text(), QString());
}

void TestProjects::editProject()
{
    auto *list = WindowRegistry::get<frmListofProjects>();
    list->showlist();
    QTableView *g = list->grid();
    g->selectRow(rowOf(g, "projectname", "NORTH TOWER"));
    click(list, "CmdEdit");
    auto *w = WindowRegistry::existing<frmNewProject>();
    QVERIFY(w && w->isVisible());
    QCOMPARE(w->findChild<QLineEdit *>(QStringLiteral("TxtProjectName"))->text(), QStringLiteral("NORTH TOWER"));
    QVERIFY(w->findChild<QCheckBox *>(QStringLiteral("chkActive"))->isChecked());
    QVERIFY(w->findChild<QPushButton *>(QStringLiteral("cmdsave"))->isEnabled()); // without a key press
    QVERIFY(list->isVisible());                                                  // the list stays open
    QVERIFY(QTest::qWaitForWindowActive(w));
    auto *name = w->findChild<QLineEdit *>(QStringLiteral("TxtProjectName"));
    name->setFocus();
    name->selectAll();
    QTest::keyClicks(name, QStringLiteral("north tower ii"));
    click(w, "CmdCancel");
    QCOMPARE(env->scalar(QStringLiteral("SELECT projectname FROM project WHERE id = 1")).toString(), QStringLiteral("NORTH TOWER"));

    WindowRegistry::get<frmNewProject>()->EditProject(1);
    w = WindowRegistry::existing<frmNewProject>();
    QVERIFY(QTest::qWaitForWindowActive(w));
    name = w->findChild<QLineEdit *>(QStringLiteral("TxtProjectName"));
    name->setFocus();
    name->selectAll();
    QTest::keyClicks(name, QStringLiteral("north tower ii"));
    click(w, "cmdsave");
    QCOMPARE(env->scalar(QStringLiteral("SELECT projectname FROM project WHERE id = 1")).toString(), QStringLiteral("NORTH TOWER II"));
    QCOMPARE(env->scalar(QStringLiteral("SELECT count(*) FROM project")).toInt(), 4);
    // The open list re-reads at once.
    QVERIFY(column(g, "projectname").contains(QStringLiteral("NORTH TOWER II")));
    QVERIFY(mainProjects().contains(QStringLiteral("NORTH TOWER II")));
}

void TestProjects::refusedWriteKeepsTheEditorOpen()
{
    QVERIFY(env->exec(QStringLiteral(
        "CREATE TRIGGER closed BEFORE INSERT ON project BEGIN SELECT RAISE(ABORT, 'the register is closed'); END")));
    WindowRegistry::get<frmNewProject>()->NewProject();
    auto *w = WindowRegistry::existing<frmNewProject>();
    QVERIFY(QTest::qWaitForWindowActive(w));
    QTest::keyClicks(w->findChild<QLineEdit *>(QStringLiteral("TxtCompany")), QStringLiteral("kept"));
    click(w, "cmdsave");
    QCOMPARE(env->messages.calls.size(), 1);
    QVERIFY(env->messages.calls.first().text.contains(QStringLiteral("the register is closed")));
    QCOMPARE(env->messages.calls.first().icon, QMessageBox::Critical);
    QCOMPARE(WindowRegistry::existing<frmNewProject>(), w);
    QVERIFY(w->isVisible());
    QCOMPARE(w->findChild<QLineEdit *>(QStringLiteral("TxtCompany"))->text(), QStringLiteral("KEPT"));
    // Once the database accepts, the same record is written once.
    QVERIFY(env->exec(QStringLiteral("DROP TRIGGER closed")));
    click(w, "cmdsave");
    QCOMPARE(env->scalar(QStringLiteral("SELECT count(*) FROM project WHERE company = 'KEPT'")).toInt(), 1);
}

void TestProjects::listActiveAndNotActive()
{
    main->findChild<QAction *>(QStringLiteral("mnuProListofProjects"))->trigger();
    auto *list = WindowRegistry::existing<frmListofProjects>();
    QVERIFY(list && list->isVisible());
    QCOMPARE(list->windowTitle(), QStringLiteral("List of Projects"));
    for (const char *b : {"CmdPrint", "cmdrefresh", "CmdDelete", "CmdEdit", "CmdAcept", "CmdCancel"})
        QVERIFY2(list->findChild<QPushButton *>(QLatin1String(b))->isVisible(), b);
    QTableView *g = list->grid();
    // Active projects by name, then company; id and Active hidden.
    QCOMPARE(column(g, "projectname"), QStringList({"ELM SCHOOL", "ELM SCHOOL", "NORTH TOWER"}));
    QCOMPARE(column(g, "company"), QStringList({"BOARD", "COUNTY", "ATLAS"}));
    const auto *m = g->model();
    QStringList shown;
    for (int v = 0; v < g->horizontalHeader()->count(); ++v) {
        const int logical = g->horizontalHeader()->logicalIndex(v);
        if (!g->isColumnHidden(logical))
            shown << m->headerData(logical, Qt::Horizontal).toString();
    }
    QCOMPARE(shown, QStringList({"ProjectName", "Company"}));
    auto *active = list->findChild<QCheckBox *>(QStringLiteral("chkactive"));
    QVERIFY(active->isChecked());
    QTest::mouseClick(active, Qt::LeftButton);
    QCOMPARE(column(g, "projectname"), QStringList({"HARBOR VIEW"}));
    QCOMPARE(list->listmode(), QStringLiteral("showlistnotactive"));
    QTest::mouseClick(active, Qt::LeftButton);
    QCOMPARE(column(g, "projectname").size(), 3);
    QCOMPARE(list->listmode(), QStringLiteral("showlist"));
    // Refresh re-reads; RefreshList only acts while the window is shown.
    QVERIFY(env->exec(QStringLiteral("INSERT INTO project (projectname, active) VALUES ('AAA', -1)")));
    click(list, "cmdrefresh");
    QCOMPARE(column(g, "projectname").first(), QStringLiteral("AAA"));
    list->hide();
    list->RefreshList();
    QVERIFY(!list->isVisible());
}

void TestProjects::plainListAceptCloses()
{
    WindowRegistry::get<frmListofProjects>()->showlist();
    auto *list = WindowRegistry::existing<frmListofProjects>();
    list->grid()->selectRow(0);
    click(list, "CmdAcept");
    QTRY_VERIFY(!WindowRegistry::existing<frmListofProjects>());
    QVERIFY(!WindowRegistry::existing<frmAuthorizedCompanies>());
}

void TestProjects::chooserModes_data()
{
    QTest::addColumn<QString>("origen");
    QTest::newRow("new subcontractor") << "newcompany";
    QTest::newRow("list of subcontractors") << "listofcompanies";
    QTest::newRow("not picked up") << "subcontractornotpickups";
}

void TestProjects::chooserModes()
{
    QFETCH(QString, origen);
    QVERIFY(env->exec(QStringLiteral("INSERT INTO authorizedcompanies (id, idproject, name) VALUES (11, 1, 'BRIGHTLINE')")));
    auto *list = WindowRegistry::get<frmListofProjects>();
    list->Mostrar(origen);
    QCOMPARE(list->origen(), origen);
    QVERIFY(!list->findChild<QPushButton *>(QStringLiteral("CmdDelete"))->isVisible());
    QVERIFY(!list->findChild<QPushButton *>(QStringLiteral("CmdEdit"))->isVisible());
    // A later showlist keeps the chooser.
    list->showlist();
    QCOMPARE(list->origen(), origen);
    QVERIFY(!list->findChild<QPushButton *>(QStringLiteral("CmdEdit"))->isVisible());
    list->grid()->selectRow(rowOf(list->grid(), "projectname", "NORTH TOWER"));
    click(list, "CmdAcept");
    QVERIFY(list->isVisible()); // stays open for another choice
    if (origen == QLatin1String("newcompany")) {
        auto *editor = WindowRegistry::existing<frmAuthorizedCompanies>();
        QVERIFY(editor && editor->isVisible());
        QCOMPARE(editor->ProjectId(), 1);
        QCOMPARE(editor->focusWidget(), editor->findChild<QLineEdit *>(QStringLiteral("TxtCompanyName")));
    } else {
        auto *companies = WindowRegistry::existing<frmListofCompanies>();
        QVERIFY(companies && companies->isVisible());
        QCOMPARE(companies->ids(), QStringLiteral("1"));
        // ACME has a pick-up; BRIGHTLINE has none.
        const QStringList expected = origen == QLatin1String("listofcompanies") ? QStringList({"ACME", "BRIGHTLINE"})
                                                                               : QStringList({"BRIGHTLINE"});
        QCOMPARE(column(companies->grid(), "name"), expected);
    }
}

void TestProjects::deleteTakesTheFirstSelectedRowOnly()
{
    auto *list = WindowRegistry::get<frmListofProjects>();
    list->showlist();
    list->show();
    QVERIFY(QTest::qWaitForWindowExposed(list));
    QTableView *g = list->grid();
    const int north = rowOf(g, "projectname", "NORTH TOWER");
    selectRows(g, {north, 0});
    QCOMPARE(g->selectionModel()->selectedRows().size(), 2);
    click(list, "CmdDelete");
    QVERIFY(env->messages.calls.isEmpty()); // no question
    QCOMPARE(env->scalar(QStringLiteral("SELECT count(*) FROM project WHERE id = 1")).toInt(), 0);
    QCOMPARE(env->scalar(QStringLiteral("SELECT count(*) FROM project")).toInt(), 3);
    // Nothing cascades.
    QCOMPARE(env->scalar(QStringLiteral("SELECT count(*) FROM authorizedcompanies WHERE idproject = 1")).toInt(), 1);
    QCOMPARE(env->scalar(QStringLiteral("SELECT count(*) FROM pickuplog WHERE idproject = 1")).toInt(), 1);
    QVERIFY(!column(g, "projectname").contains(QStringLiteral("NORTH TOWER")));
    QVERIFY(!mainProjects().contains(QStringLiteral("NORTH TOWER")));
}

void TestProjects::editAndChooseEmptyListDoNothing()
{
    QVERIFY(env->exec(QStringLiteral("DELETE FROM project")));
    auto *list = WindowRegistry::get<frmListofProjects>();
    list->Mostrar(QStringLiteral("newcompany"));
    click(list, "CmdAcept");
    list->showlist();
    QVERIFY(env->messages.calls.isEmpty());
    QVERIFY(!WindowRegistry::existing<frmAuthorizedCompanies>());
    QVERIFY(!WindowRegistry::existing<frmNewProject>());
}

void TestProjects::print_data()
{
    QTest::addColumn<bool>("active");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QStringList>("names");
    QTest::newRow("active") << true << "Projects order by project" << QStringList({"ELM SCHOOL", "ELM SCHOOL", "NORTH TOWER"});
    QTest::newRow("not active") << false << "Projects list not active" << QStringList({"HARBOR VIEW"});
}

void TestProjects::print()
{
    QFETCH(bool, active);
    QFETCH(QString, title);
    QFETCH(QStringList, names);
    auto *list = WindowRegistry::get<frmListofProjects>();
    list->showlist();
    if (!active)
        QTest::mouseClick(list->findChild<QCheckBox *>(QStringLiteral("chkactive")), Qt::LeftButton);
    click(list, "CmdPrint");
    QCOMPARE(env->reports.calls.size(), 1);
    const auto &call = env->reports.calls.first();
    QCOMPARE(call.kind, RecordingReports::Kind::Print); // printed at once, no preview
    QCOMPARE(call.layoutName, QStringLiteral("DrpListofProjects"));
    QCOMPARE(call.title, title);
    QStringList printed;
    for (int r = 0; r < call.rows.size(); ++r)
        printed << call.rows.value(r, QStringLiteral("ProjectName")).toString();
    QCOMPARE(printed, names);
    QVERIFY(env->messages.calls.isEmpty());
    // The page carries the title and the names, in order.
    if (pdftools::available()) {
        const QString text = pdftools::text(call.pdfPath);
        QVERIFY2(text.contains(title), qPrintable(text));
        QVERIFY(text.indexOf(names.first()) >= 0 && text.indexOf(names.first()) <= text.lastIndexOf(names.last()));
    }
    // With no rows: the message, and nothing printed.
    QVERIFY(env->exec(QStringLiteral("DELETE FROM project")));
    click(list, "CmdPrint");
    QCOMPARE(env->reports.calls.size(), 1);
    QCOMPARE(env->messages.texts(), QStringList({"There are not Registers"}));
    QCOMPARE(env->messages.calls.first().title, QStringLiteral("Quillbern"));
}

void TestProjects::largeIdsWork()
{
    QVERIFY(env->exec(QStringLiteral("INSERT INTO project (id, projectname, company, active) VALUES (40000, 'BIG', 'B', -1)")));
    auto *list = WindowRegistry::get<frmListofProjects>();
    list->showlist();
    list->grid()->selectRow(rowOf(list->grid(), "projectname", "BIG"));
    click(list, "CmdEdit");
    auto *editor = WindowRegistry::existing<frmNewProject>();
    QVERIFY(editor);
    QCOMPARE(editor->findChild<QLineEdit *>(QStringLiteral("TxtProjectName"))->text(), QStringLiteral("BIG"));
    editor->close();
    list->Mostrar(QStringLiteral("newcompany"));
    list->grid()->selectRow(rowOf(list->grid(), "projectname", "BIG"));
    click(list, "CmdAcept");
    auto *company = WindowRegistry::existing<frmAuthorizedCompanies>();
    QVERIFY(company);
    QCOMPARE(company->ProjectId(), 40000);
    click(company, "cmdsave");
    QCOMPARE(env->scalar(QStringLiteral("SELECT idproject FROM authorizedcompanies WHERE id = 11")).toLongLong(), 40000);
}

void TestProjects::closingRefreshesTheMainWindow()
{
    auto *list = WindowRegistry::get<frmListofProjects>();
    list->showlist();
    QVERIFY(env->exec(QStringLiteral("INSERT INTO project (projectname) VALUES ('ADDED ELSEWHERE')")));
    QVERIFY(!mainProjects().contains(QStringLiteral("ADDED ELSEWHERE")));
    list->close(); // the close box
    QVERIFY(mainProjects().contains(QStringLiteral("ADDED ELSEWHERE")));
}

QTEST_MAIN(TestProjects)
#include "tst_projects.moc"
