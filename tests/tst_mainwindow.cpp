#include "support/testenv.h"

#include "app/windowregistry.h"
#include "db/database.h"
#include "db/datasource.h"
#include "ui/main/frmMain.h"

#include <QAction>
#include <QHeaderView>
#include <QLabel>
#include <QListView>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QSqlQueryModel>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QTest>

namespace {

QStringList listTexts(QListView *v)
{
    QStringList out;
    for (int r = 0; r < v->model()->rowCount(); ++r)
        out << v->model()->index(r, v->modelColumn()).data().toString();
    return out;
}

int rowOf(QListView *v, const QString &text)
{
    return int(listTexts(v).indexOf(text));
}

void clickRow(QListView *v, int row)
{
    const QModelIndex idx = v->model()->index(row, v->modelColumn());
    v->scrollTo(idx);
    // Through the window, as the window system delivers a real click.
    const QPoint at = v->viewport()->mapTo(v->window(), v->visualRect(idx).center());
    QTest::mouseClick(v->window()->windowHandle(), Qt::LeftButton, {}, at);
    QCoreApplication::processEvents(); // the click is handled once the press is over
}

} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void windowAndControls();
    void menuBar();
    void projectListsEveryProject();
    void linkedLists();
    void emptyListClickAsksForSelection();
    void projectWithoutSubcontractorsKeepsGrid();
    void keyboardWalksTheLists();
    void refreshKeepsTheChoiceById();
    void pickupQueryUsesChosenProject();
    void importDialogKeepsLastName();
    void backgroundClickDoesNothing();
    void printPreviewsTheGrid();
    void printWithoutPickupsOrChoice();

private:
    std::unique_ptr<TestEnv> env;
    frmMain *w = nullptr;
    QListView *projects = nullptr;
    QListView *companies = nullptr;
    QTableView *grid = nullptr;
    void seed();
    void open();
};

void TestMainWindow::init()
{
    env = std::make_unique<TestEnv>();
    QVERIFY(env->createDatabase());
}

void TestMainWindow::cleanup()
{
    w = nullptr;
    env.reset();
}

void TestMainWindow::seed()
{
    QVERIFY(env->exec(QStringLiteral(
        "INSERT INTO project (id, projectname, company, active) VALUES "
        "(1, 'NORTH TOWER', 'ATLAS', -1), (2, 'HARBOR VIEW', 'CITY', 0), (5, 'EMPTY LOT', 'X', -1)")));
    QVERIFY(env->exec(QStringLiteral(
        "INSERT INTO authorizedcompanies (id, idproject, name) VALUES "
        "(10, 1, 'ACME ELECTRIC'), (11, 1, 'O''NEIL PLUMBING'), (12, 2, 'HARBOR GLASS'), (13, 2, 'DELTA STEEL')")));
    QVERIFY(env->exec(QStringLiteral(
        "INSERT INTO pickuplog (idproject, idauthorizedcompany, pickupdate, pickupby, package, note) VALUES "
        "(1, 10, '2026-03-07', 'J. SMITH', 'DRAWINGS', 'LATE'), "
        "(1, 10, '2025-12-31 16:30:00', 'M. GARCIA', 'KEYS', NULL), "
        "(1, 10, '2026-01-15', 'L. CHEN', 'SPECS', ''), "
        "(2, 10, '2026-02-01', 'OTHER PROJECT', 'X', 'same subcontractor id, other project'), "
        "(2, 12, '2026-02-02', 'R. JOHNSON', 'GLASS SAMPLES', NULL), "
        "(2, 13, '2026-02-03', 'D. O''BRIEN', 'STEEL SHOP DWG', NULL)")));
}

void TestMainWindow::open()
{
    w = window<frmMain>();
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w));
    projects = w->findChild<QListView *>(QStringLiteral("dbProject"));
    companies = w->findChild<QListView *>(QStringLiteral("dbsubcontractor"));
    grid = w->findChild<QTableView *>(QStringLiteral("dbgPickup"));
    QVERIFY(projects && companies && grid);
}

void TestMainWindow::windowAndControls()
{
    open();
    QCOMPARE(w->windowTitle(), QStringLiteral("Quillbern"));
    QCOMPARE(w->minimumSize(), w->maximumSize()); // the edges cannot resize it
    QCOMPARE(w->centralWidget()->size(), QSize(752, 449));
    auto *pic = w->findChild<QLabel *>(QStringLiteral("PicContainer"));
    QVERIFY(pic && !pic->pixmap().isNull());
    QCOMPARE(pic->pixmap().size(), QSize(770, 523));
    const QList<QPair<QString, QWidget *>> labels = {{QStringLiteral("Projects:"), projects},
                                                     {QStringLiteral("Subcontractor:"), companies},
                                                     {QStringLiteral("Pickup Log:"), grid}};
    for (const auto &[text, buddy] : labels) {
        QLabel *found = nullptr;
        for (QLabel *l : w->findChildren<QLabel *>())
            if (l->text() == text)
                found = l;
        QVERIFY2(found, qPrintable(text));
        QCOMPARE(found->buddy(), buddy);
        QVERIFY(found->font().bold());
        QCOMPARE(found->font().pointSizeF(), 8.25);
    }
    auto *print = w->findChild<QPushButton *>(QStringLiteral("CmdPrint"));
    QVERIFY(print);
    QCOMPARE(print->text(), QStringLiteral("Print"));
    // Tab walks the lists, the grid, then Print.
    QVERIFY(QTest::qWaitForWindowActive(w));
    projects->setFocus();
    for (QWidget *next : {static_cast<QWidget *>(companies), static_cast<QWidget *>(grid), static_cast<QWidget *>(print)}) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), next);
    }
}

void TestMainWindow::menuBar()
{
    open();
    struct Entry
    {
        QString caption;
        QString name;
        QStringList items;
        QStringList itemNames;
    };
    const QList<Entry> expected = {
        {"         Project          ", "mnuProject", {"New Project", "List of Projects"}, {"mnuProNewProject", "mnuProListofProjects"}},
        {"    Authorized Subcontractor", "mnuAuthorizedCompanies",
         {"New Subcontractor", "List of Subcontractor", "Import Database", "Export Database"},
         {"mnuAutNewCompany", "mnuAutListOfCompany", "mnuAutImportDatabase", "Mexport"}},
        {"       Pick-up Log       ", "mnuPickupLog", {"New Pick-up", "List of Pick-ups", "Print list of pick-ups"},
         {"mnuPicNewPickup", "mnuPicListofPickups", "mnuPicPrintListOfPickups"}},
        {"        Reports       ", "mnuReports",
         {"All Pickups by date", "Project Pickups by date", "Subcontractor Pickups by date", "Subcontractors not picked-up"},
         {"Allpickupsbydate", "mnuPpbydate", "mnuspbydate", "mnusubnotpckup"}},
        {"     Options     ", "mnuOptions", {}, {}},
    };
    const QList<QAction *> top = w->menuBar()->actions();
    QCOMPARE(top.size(), expected.size());
    for (int i = 0; i < expected.size(); ++i) {
        QCOMPARE(top.at(i)->text(), expected.at(i).caption);
        QCOMPARE(top.at(i)->objectName(), expected.at(i).name);
        QMenu *menu = top.at(i)->menu();
        QCOMPARE(menu != nullptr, !expected.at(i).items.isEmpty());
        if (!menu)
            continue;
        const QList<QAction *> items = menu->actions();
        QCOMPARE(items.size(), expected.at(i).items.size());
        for (int k = 0; k < items.size(); ++k) {
            QCOMPARE(items.at(k)->text(), expected.at(i).items.at(k));
            QCOMPARE(items.at(k)->objectName(), expected.at(i).itemNames.at(k));
            QVERIFY(items.at(k)->shortcut().isEmpty());
        }
    }
}

void TestMainWindow::projectListsEveryProject()
{
    seed();
    open();
    // Inactive projects too, in the database's order.
    QCOMPARE(listTexts(projects), QStringList({"NORTH TOWER", "HARBOR VIEW", "EMPTY LOT"}));
    QVERIFY(listTexts(companies).isEmpty());
    QCOMPARE(grid->model()->rowCount(), 0);
}

void TestMainWindow::linkedLists()
{
    seed();
    open();
    clickRow(projects, rowOf(projects, "HARBOR VIEW"));
    QCOMPARE(listTexts(companies), QStringList({"HARBOR GLASS", "DELTA STEEL"}));
    QCOMPARE(grid->model()->rowCount(), 0);

    clickRow(projects, rowOf(projects, "NORTH TOWER"));
    QCOMPARE(listTexts(companies), QStringList({"ACME ELECTRIC", "O'NEIL PLUMBING"}));
    clickRow(companies, rowOf(companies, "ACME ELECTRIC"));
    // Oldest first, only this project's pick-ups, dates in short form.
    QStringList who, shownDates;
    const int cBy = w->adopickups()->column("pickupby");
    const int cDate = w->adopickups()->column("pickupdate");
    for (int r = 0; r < grid->model()->rowCount(); ++r) {
        who << grid->model()->index(r, cBy).data().toString();
        shownDates << qobject_cast<QStyledItemDelegate *>(grid->itemDelegateForIndex(grid->model()->index(r, cDate)))
                          ->displayText(grid->model()->index(r, cDate).data(), QLocale());
    }
    QCOMPARE(who, QStringList({"M. GARCIA", "L. CHEN", "J. SMITH"}));
    QCOMPARE(shownDates, QStringList({"12/31/2025 4:30:00 PM", "1/15/2026", "3/7/2026"}));

    // The grid's columns: captions are the field names; ids hidden.
    const QStringList captions = {"id", "idProject", "idAuthorizedCompany", "PickupDate", "Pickupby", "Package", "note"};
    const QList<int> widths = {61, 61, 107, 116, 116, 116, 116};
    for (int c = 0; c < captions.size(); ++c) {
        QCOMPARE(grid->model()->headerData(c, Qt::Horizontal).toString(), captions.at(c));
        QCOMPARE(grid->isColumnHidden(c), c < 3);
        if (c >= 3)
            QCOMPARE(grid->columnWidth(c), widths.at(c));
    }
    QCOMPARE(grid->verticalHeader()->sectionResizeMode(0), QHeaderView::Fixed);

    // The same row clicked again runs the same query again.
    clickRow(companies, rowOf(companies, "ACME ELECTRIC"));
    QCOMPARE(grid->model()->rowCount(), 3);
    QVERIFY(env->messages.calls.isEmpty());
    // A later query keeps the grid's columns as they were set up.
    clickRow(companies, rowOf(companies, "O'NEIL PLUMBING"));
    clickRow(companies, rowOf(companies, "ACME ELECTRIC"));
    for (int c = 0; c < captions.size(); ++c) {
        QCOMPARE(grid->model()->headerData(c, Qt::Horizontal).toString(), captions.at(c));
        QCOMPARE(grid->isColumnHidden(c), c < 3);
    }
    QCOMPARE(grid->columnWidth(6), widths.at(6));
}

void TestMainWindow::emptyListClickAsksForSelection()
{
    seed();
    open();
    // Nothing chosen yet in the subcontractor list (it is empty).
    QTest::mouseClick(companies->viewport(), Qt::LeftButton, {}, QPoint(20, 20));
    QTRY_COMPARE(env->messages.calls.size(), 1);
    QCOMPARE(env->messages.calls.first().text, QStringLiteral("Please select an item on the list"));
    QCOMPARE(env->messages.calls.first().title, QStringLiteral("PROJECT"));
    QCOMPARE(env->messages.calls.first().icon, QMessageBox::NoIcon);
    // Below the last project, with none chosen yet.
    QTest::mouseClick(projects->viewport(), Qt::LeftButton, {}, QPoint(20, projects->viewport()->height() - 5));
    QTRY_COMPARE(env->messages.calls.size(), 2);
    QVERIFY(listTexts(companies).isEmpty());
}

void TestMainWindow::projectWithoutSubcontractorsKeepsGrid()
{
    seed();
    open();
    clickRow(projects, rowOf(projects, "NORTH TOWER"));
    clickRow(companies, 0);
    QCOMPARE(grid->model()->rowCount(), 3);
    clickRow(projects, rowOf(projects, "EMPTY LOT"));
    QVERIFY(listTexts(companies).isEmpty());
    QCOMPARE(grid->model()->rowCount(), 3); // still the pick-ups shown before
}

void TestMainWindow::keyboardWalksTheLists()
{
    seed();
    open();
    QVERIFY(QTest::qWaitForWindowActive(w));
    clickRow(projects, 0);
    projects->setFocus();
    QTest::keyClick(projects, Qt::Key_Down);
    QCOMPARE(listTexts(companies), QStringList({"HARBOR GLASS", "DELTA STEEL"}));
    QTest::keyClick(projects, Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), companies);
    // Focus puts the cursor on the first entry; moving it chooses.
    QTest::keyClick(companies, Qt::Key_Down);
    QCOMPARE(grid->model()->rowCount(), 1);
    QCOMPARE(w->adopickups()->field("pickupby").toString(), QStringLiteral("D. O'BRIEN"));
    QTest::keyClick(companies, Qt::Key_Up);
    QCOMPARE(w->adopickups()->field("pickupby").toString(), QStringLiteral("R. JOHNSON"));
    QVERIFY(env->messages.calls.isEmpty());
}

void TestMainWindow::refreshKeepsTheChoiceById()
{
    seed();
    open();
    clickRow(projects, rowOf(projects, "HARBOR VIEW"));
    clickRow(companies, rowOf(companies, "DELTA STEEL"));
    QCOMPARE(grid->model()->rowCount(), 1);
    // Another window adds a project before this one and a pick-up for the chosen subcontractor.
    QVERIFY(env->exec(QStringLiteral("INSERT INTO project (id, projectname) VALUES (0, 'A FIRST ONE')")));
    QVERIFY(env->exec(QStringLiteral("INSERT INTO pickuplog (idproject, idauthorizedcompany, pickupdate, pickupby) "
                                     "VALUES (2, 13, '2026-01-01', 'EARLIER')")));
    w->RefreshInterface();
    QCOMPARE(listTexts(projects).size(), 4);
    QCOMPARE(projects->currentIndex().data().toString(), QStringLiteral("HARBOR VIEW"));
    QCOMPARE(w->AdoProjects()->field("projectname").toString(), QStringLiteral("HARBOR VIEW"));
    QCOMPARE(companies->currentIndex().data().toString(), QStringLiteral("DELTA STEEL"));
    QCOMPARE(grid->model()->rowCount(), 2);
    QCOMPARE(grid->model()->index(0, w->adopickups()->column("pickupby")).data().toString(), QStringLiteral("EARLIER"));
    QVERIFY(env->messages.calls.isEmpty());
}

void TestMainWindow::pickupQueryUsesChosenProject()
{
    seed();
    open();
    clickRow(projects, rowOf(projects, "HARBOR VIEW"));
    w->RefreshInterface();
    // Subcontractor 10 also has a pick-up on project 2, but the chosen project is 1 now.
    clickRow(projects, rowOf(projects, "NORTH TOWER"));
    w->RefreshInterface();
    clickRow(companies, rowOf(companies, "ACME ELECTRIC"));
    QCOMPARE(grid->model()->rowCount(), 3);
    QCOMPARE(*w->chosenProjectId(), 1);
    QCOMPARE(*w->chosenCompanyId(), 10);
    QVERIFY(!w->adopickups()->sql().contains(QStringLiteral("10"))); // values are bound, not pasted
}

void TestMainWindow::importDialogKeepsLastName()
{
    open();
    QSignalSpy chosen(w, &frmMain::importFileChosen);
    auto *item = w->findChild<QAction *>(QStringLiteral("mnuAutImportDatabase"));
    QVERIFY(item);
    env->files.answers.enqueue(std::nullopt); // cancelled on a fresh run: nothing opens
    item->trigger();
    QCOMPARE(chosen.count(), 0);
    env->files.answers.enqueue(QStringLiteral("/transfers/NORTH TOWER 1437_1203.mdb"));
    item->trigger();
    QCOMPARE(chosen.count(), 1);
    env->files.answers.enqueue(std::nullopt); // cancelled later: the same file again
    item->trigger();
    QCOMPARE(chosen.count(), 2);
    QCOMPARE(chosen.at(1).at(0).toString(), QStringLiteral("/transfers/NORTH TOWER 1437_1203.mdb"));
    QCOMPARE(env->files.offeredNames,
             QStringList({"", "", "/transfers/NORTH TOWER 1437_1203.mdb"}));
}

void TestMainWindow::backgroundClickDoesNothing()
{
    seed();
    open();
    clickRow(projects, 0);
    const QStringList before = listTexts(companies);
    auto *pic = w->findChild<QLabel *>(QStringLiteral("PicContainer"));
    QTest::mouseClick(pic, Qt::LeftButton, {}, QPoint(740, 440));
    QTest::mouseDClick(pic, Qt::LeftButton, {}, QPoint(5, 440));
    QCoreApplication::processEvents();
    QVERIFY(env->messages.calls.isEmpty());
    QCOMPARE(listTexts(companies), before);
}

void TestMainWindow::printPreviewsTheGrid()
{
    seed();
    open();
    clickRow(projects, rowOf(projects, "NORTH TOWER"));
    clickRow(companies, rowOf(companies, "ACME ELECTRIC"));
    // Another project becomes the first row meanwhile; the title still names the chosen one.
    QVERIFY(env->exec(QStringLiteral("INSERT INTO project (id, projectname) VALUES (0, 'A FIRST ONE')")));
    w->RefreshInterface();
    auto *print = w->findChild<QPushButton *>(QStringLiteral("CmdPrint"));
    QTest::mouseClick(print, Qt::LeftButton);
    QVERIFY(env->messages.calls.isEmpty());
    QCOMPARE(env->reports.calls.size(), 1);
    const auto &call = env->reports.calls.first();
    QCOMPARE(call.kind, RecordingReports::Kind::Preview);
    QCOMPARE(call.layoutName, QStringLiteral("DrpListofPickupsOnly"));
    QCOMPARE(call.title, QStringLiteral("Project: NORTH TOWER   Subcontractor: ACME ELECTRIC"));
    QStringList who;
    for (int r = 0; r < call.rows.size(); ++r)
        who << call.rows.value(r, QStringLiteral("pickupby")).toString();
    QCOMPARE(who, QStringList({"M. GARCIA", "L. CHEN", "J. SMITH"}));
    QVERIFY(pdftools::available());
    const QString text = pdftools::text(call.pdfPath);
    QVERIFY2(text.contains(QStringLiteral("Project: NORTH TOWER")), qPrintable(text));
    QVERIFY(text.indexOf(QStringLiteral("M. GARCIA")) < text.indexOf(QStringLiteral("J. SMITH")));
    QVERIFY(text.contains(QStringLiteral("12/31/2025")));
    // The report holds its own rows: deleting them now changes nothing printed.
    QVERIFY(env->exec(QStringLiteral("DELETE FROM pickuplog")));
    QCOMPARE(call.rows.size(), 3);
}

void TestMainWindow::printWithoutPickupsOrChoice()
{
    seed();
    open();
    auto *print = w->findChild<QPushButton *>(QStringLiteral("CmdPrint"));
    // No subcontractor chosen yet: a numbered error, and no report.
    QTest::mouseClick(print, Qt::LeftButton);
    QCOMPARE(env->messages.calls.size(), 1);
    QVERIFY(env->messages.calls.first().text.at(0).isDigit());
    QCOMPARE(env->messages.calls.first().title, QStringLiteral("Quillbern"));
    QVERIFY(env->reports.calls.isEmpty());
    // A subcontractor without pick-ups on the project.
    clickRow(projects, rowOf(projects, "NORTH TOWER"));
    clickRow(companies, rowOf(companies, "O'NEIL PLUMBING"));
    QCOMPARE(grid->model()->rowCount(), 0);
    env->messages.clear();
    QTest::mouseClick(print, Qt::LeftButton);
    QCOMPARE(env->messages.texts(), QStringList({"There are not Registers"}));
    QCOMPARE(env->messages.calls.first().title, QStringLiteral("Quillbern"));
    QVERIFY(env->reports.calls.isEmpty());
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
