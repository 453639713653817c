#include "support/testenv.h"
#include "pickupsupport.h"

#include "app/windowregistry.h"
#include "db/database.h"
#include "db/datasource.h"
#include "ui/editors/frmPickupForm.h"
#include "ui/lists/frmListofPickups.h"
#include "ui/lists/frmListofProjects.h"
#include "ui/main/frmMain.h"

#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QSqlQueryModel>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QTest>

namespace {

QPushButton *button(QWidget *w, const char *name)
{
    return w->findChild<QPushButton *>(QLatin1String(name));
}

// The grid's rows as the user reads them: who picked up, in the grid's order.
QStringList pickers(frmListofPickups *w)
{
    QStringList out;
    DataSource *s = w->ADOlist();
    while (s->model()->canFetchMore())
        s->model()->fetchMore();
    for (int r = 0; r < s->model()->rowCount(); ++r)
        out << s->value(r, QStringLiteral("pickupby")).toString();
    return out;
}

QStringList sorted(QStringList l)
{
    l.sort();
    return l;
}

} // namespace

class TestListofPickups : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void windowAndGrid();
    void fillModesAndPrint_data();
    void fillModesAndPrint();
    void datesThatCannotBeRead_data();
    void datesThatCannotBeRead();
    void stateKeptAcrossFills();
    void refreshListOnlyWhileShown();
    void editorSaveRefreshesTheOpenList();
    void editUsesTheChosenRow();
    void deleteRemovesOnlyThePickup();
    void emptyListEditAndDeleteDoNothing();
    void aceptAndCancelClose_data();
    void aceptAndCancelClose();
    void openedFromTheProjectChooser();
    void newPickupForLargeProjectId();

private:
    std::unique_ptr<TestEnv> env;
    frmListofPickups *list() { return WindowRegistry::get<frmListofPickups>(); }
    QTableView *grid(frmListofPickups *w) { return w->findChild<QTableView *>(QStringLiteral("DataGrid1")); }
};

void TestListofPickups::init()
{
    env = std::make_unique<TestEnv>();
    QVERIFY(env->createDatabase());
    QVERIFY(env->exec(QStringLiteral(
        "INSERT INTO project (id, projectname, company, active) VALUES "
        "(1, 'NORTH TOWER', 'ATLAS', -1), (2, 'HARBOR VIEW', 'CITY', -1), (40000, 'BIG ID', 'WIDE', -1)")));
    QVERIFY(env->exec(QStringLiteral(
        "INSERT INTO authorizedcompanies (id, idproject, name) VALUES "
        "(10, 1, 'ACME ELECTRIC'), (11, 1, 'O''NEIL PLUMBING'), (12, 2, 'HARBOR GLASS'), (40001, 40000, 'FAR CO')")));
    // Around January 2003, with and without a time of day; 99 is a subcontractor that is gone.
    QVERIFY(env->exec(QStringLiteral(
        "INSERT INTO pickuplog (id, idproject, idauthorizedcompany, pickupdate, pickupby, package, note) VALUES "
        "(101, 1, 10, '2003-01-01', 'FIRST DAY', 'P101', 'NOTE 101'), "
        "(102, 1, 10, '2003-01-15', 'MIDDLE', 'P102', NULL), "
        "(103, 1, 11, '2003-01-31', 'LAST DAY', 'P103', 'it''s \"quoted\"'), "
        "(104, 1, 11, '2003-01-31 16:30:00', 'LAST DAY LATE', 'P104', NULL), "
        "(105, 2, 12, '2003-01-31 23:59:59', 'LAST SECOND', 'P105', NULL), "
        "(106, 2, 12, '2002-12-31 23:59:59', 'BEFORE', 'P106', NULL), "
        "(107, 1, 10, '2003-02-01', 'AFTER', 'P107', NULL), "
        "(108, 2, 99, '2003-01-10', 'ORPHAN', 'P108', NULL), "
        "(40002, 40000, 40001, '2003-01-20', 'BIG ID PICKUP', 'P40002', NULL)")));
}

void TestListofPickups::cleanup()
{
    env.reset();
}

void TestListofPickups::windowAndGrid()
{
    frmListofPickups *w = list();
    w->showlist(QStringLiteral("2"));
    QVERIFY(w->isVisible());
    QCOMPARE(w->windowTitle(), QStringLiteral("List of Pick ups"));
    QTableView *g = grid(w);
    QVERIFY(g);
    // Shown, left to right: subcontractor, date, who, package, note; the id hidden.
    QStringList shown;
    const QHeaderView *h = g->horizontalHeader();
    for (int v = 0; v < h->count(); ++v) {
        const int c = h->logicalIndex(v);
        if (!g->isColumnHidden(c))
            shown << g->model()->headerData(c, Qt::Horizontal).toString();
    }
    QCOMPARE(shown, QStringList({"Subcontractor", "PickupDate", "Pickupby", "Package", "note"}));
    QVERIFY(g->isColumnHidden(w->ADOlist()->column(QStringLiteral("id"))));

    const QStringList buttons = {"CmdPrint", "cmdrefresh", "CmdDelete", "CmdEdit", "CmdAcept", "CmdCancel"};
    const QStringList captions = {"Print", "Refresh", "Delete", "Edit", "Acept", "Cancel"};
    int lastX = -1;
    for (int i = 0; i < buttons.size(); ++i) {
        QPushButton *b = button(w, buttons.at(i).toLatin1().constData());
        QVERIFY2(b && b->isVisible(), qPrintable(buttons.at(i)));
        QCOMPARE(b->text(), captions.at(i));
        QVERIFY(b->x() > lastX);
        lastX = b->x();
    }

    // The pick-up whose subcontractor is gone shows with an empty name; dates in short form.
    const int row = w->ADOlist()->findRow(QStringLiteral("id"), 108);
    QVERIFY(row >= 0);
    const QModelIndex name = g->model()->index(row, w->ADOlist()->column(QStringLiteral("name")));
    QCOMPARE(name.data().toString(), QString());
    const int r105 = w->ADOlist()->findRow(QStringLiteral("id"), 105);
    const QModelIndex date = g->model()->index(r105, w->ADOlist()->column(QStringLiteral("pickupdate")));
    auto *d = qobject_cast<QStyledItemDelegate *>(g->itemDelegateForIndex(date));
    QVERIFY(d);
    QCOMPARE(d->displayText(date.data(), QLocale()), QStringLiteral("1/31/2003 11:59:59 PM"));
}

void TestListofPickups::fillModesAndPrint_data()
{
    QTest::addColumn<QString>("mode");
    QTest::addColumn<QString>("from");
    QTest::addColumn<QString>("to");
    QTest::addColumn<QString>("ids");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QStringList>("rows");

    const QString all = QStringLiteral("All Pikups By date");
    QTest::newRow("one project") << "showlist" << "" << "" << "1" << "List of Pick-ups"
                                 << QStringList({"FIRST DAY", "MIDDLE", "LAST DAY", "LAST DAY LATE", "AFTER"});
    QTest::newRow("project above 32767") << "showlist" << "" << "" << "40000" << "List of Pick-ups"
                                         << QStringList({"BIG ID PICKUP"});
    QTest::newRow("all in January, both ends")
        << "showall" << "1/1/2003" << "1/31/2003" << "" << all
        << QStringList({"FIRST DAY", "MIDDLE", "LAST DAY", "LAST DAY LATE", "LAST SECOND", "ORPHAN", "BIG ID PICKUP"});
    QTest::newRow("one day") << "showall" << "1/31/2003" << "1/31/2003" << "" << all
                             << QStringList({"LAST DAY", "LAST DAY LATE", "LAST SECOND"});
    QTest::newRow("end with a time of day") << "showall" << "12/31/2002 11:59:59 PM" << "1/31/2003 4:30:00 PM"
                                            << "" << all
                                            << QStringList({"FIRST DAY", "MIDDLE", "LAST DAY", "LAST DAY LATE",
                                                            "BEFORE", "ORPHAN", "BIG ID PICKUP"});
    QTest::newRow("two-digit years") << "showall" << "2/1/03" << "2/1/03" << "" << all << QStringList({"AFTER"});
    QTest::newRow("from after to") << "showall" << "2/1/2003" << "1/1/2003" << "" << all << QStringList();
    QTest::newRow("project by date") << "showproject" << "1/1/2003" << "1/31/2003" << "2"
                                     << "Project Pickups by date" << QStringList({"LAST SECOND", "ORPHAN"});
    QTest::newRow("subcontractor by date") << "showsubcontractor" << "1/1/2003" << "1/31/2003" << "11"
                                           << "Subcontractor Pickups by date"
                                           << QStringList({"LAST DAY", "LAST DAY LATE"});
    QTest::newRow("subcontractor above 32767") << "showsubcontractor" << "1/1/2003" << "12/31/2003" << "40001"
                                               << "Subcontractor Pickups by date" << QStringList({"BIG ID PICKUP"});
}

void TestListofPickups::fillModesAndPrint()
{
    QFETCH(QString, mode);
    QFETCH(QString, from);
    QFETCH(QString, to);
    QFETCH(QString, ids);
    QFETCH(QString, title);
    QFETCH(QStringList, rows);

    frmListofPickups *w = list();
    if (mode == QLatin1String("showlist"))
        w->showlist(ids);
    else if (mode == QLatin1String("showall"))
        w->showall(from, to);
    else if (mode == QLatin1String("showproject"))
        w->showProject(from, to, ids);
    else
        w->showSubcontractor(from, to, ids);
    QVERIFY(w->isVisible());
    QCOMPARE(w->listmode(), mode);
    QCOMPARE(sorted(pickers(w)), sorted(rows));
    QVERIFY(!w->ADOlist()->sql().contains(QStringLiteral("2003"))); // dates are bound, not pasted
    QVERIFY(env->messages.calls.isEmpty());

    QVERIFY(QTest::qWaitForWindowExposed(w));
    drive::click(button(w, "CmdPrint"));
    if (rows.isEmpty()) {
        QCOMPARE(env->messages.texts(), QStringList({"There are not Registers"}));
        QCOMPARE(env->messages.calls.first().title, QStringLiteral("Quillbern"));
        QVERIFY(env->reports.calls.isEmpty());
        return;
    }
    QVERIFY(env->messages.calls.isEmpty());
    QCOMPARE(env->reports.calls.size(), 1);
    const RecordingReports::Call &job = env->reports.calls.first();
    QCOMPARE(job.kind, RecordingReports::Kind::Print);
    QCOMPARE(job.layoutName, QStringLiteral("DrpListofPickups"));
    QCOMPARE(job.title, title);
    QStringList printed;
    for (int r = 0; r < job.rows.size(); ++r)
        printed << job.rows.value(r, QStringLiteral("pickupby")).toString();
    QCOMPARE(printed, pickers(w)); // the rows the grid shows, in its order

    if (!pdftools::available())
        QSKIP("pdftotext is not installed");
    const QString pdf = pdftools::text(job.pdfPath);
    QVERIFY2(pdf.contains(title), qPrintable(pdf));
    QVERIFY2(pdf.contains(QStringLiteral("Registers Total:")), qPrintable(pdf));
    QVERIFY2(pdf.contains(QRegularExpression(QStringLiteral("Registers Total:\\s+%1\\b").arg(rows.size()))),
             qPrintable(pdf));
    for (const QString &who : rows)
        QVERIFY2(pdf.contains(who), qPrintable(who + QStringLiteral(" not in\n") + pdf));
    if (rows.contains(QStringLiteral("LAST DAY")))
        QVERIFY(pdf.contains(QStringLiteral("O'NEIL PLUMBING")));
}

void TestListofPickups::datesThatCannotBeRead_data()
{
    QTest::addColumn<QString>("mode");
    QTest::addColumn<QString>("from");
    QTest::addColumn<QString>("to");
    QTest::newRow("both empty") << "showall" << "" << "";
    QTest::newRow("start empty") << "showproject" << "" << "1/31/2003";
    QTest::newRow("end empty") << "showsubcontractor" << "1/1/2003" << "";
    QTest::newRow("letters") << "showall" << "abc" << "1/31/2003";
    QTest::newRow("31 April") << "showall" << "4/1/2003" << "4/31/2003";
    QTest::newRow("quote") << "showproject" << "1/1/2003'" << "1/31/2003";
}

void TestListofPickups::datesThatCannotBeRead()
{
    QFETCH(QString, mode);
    QFETCH(QString, from);
    QFETCH(QString, to);
    auto fillWith = [&](frmListofPickups *w) {
        if (mode == QLatin1String("showall"))
            w->showall(from, to);
        else if (mode == QLatin1String("showproject"))
            w->showProject(from, to, QStringLiteral("2"));
        else
            w->showSubcontractor(from, to, QStringLiteral("11"));
    };
    // Closed: it stays closed.
    fillWith(list());
    QCOMPARE(env->messages.texts(), QStringList({"please check dates"}));
    QCOMPARE(env->messages.calls.first().title, QStringLiteral("Report"));
    QVERIFY(!WindowRegistry::existing<frmListofPickups>());

    // Open: it keeps its list and its state.
    env->messages.clear();
    frmListofPickups *w = list();
    w->showlist(QStringLiteral("1"));
    fillWith(w);
    QCOMPARE(env->messages.texts(), QStringList({"please check dates"}));
    QCOMPARE(w->listmode(), QStringLiteral("showlist"));
    QCOMPARE(w->ids(), QStringLiteral("1"));
    QCOMPARE(w->fromdate(), QString());
    QCOMPARE(pickers(w).size(), 5);
    drive::click(button(w, "CmdPrint"));
    QCOMPARE(env->reports.calls.size(), 1);
    QCOMPARE(env->reports.calls.first().title, QStringLiteral("List of Pick-ups"));
}

void TestListofPickups::stateKeptAcrossFills()
{
    frmListofPickups *w = list();
    w->showProject(QStringLiteral("1/1/2003"), QStringLiteral("1/31/2003"), QStringLiteral("2"));
    QCOMPARE(w->ids(), QStringLiteral("2"));
    // showall keeps the project id, but its query and its print ignore it.
    w->showall(QStringLiteral("1/31/2003"), QStringLiteral("2/1/2003"));
    QCOMPARE(w->listmode(), QStringLiteral("showall"));
    QCOMPARE(w->ids(), QStringLiteral("2"));
    QCOMPARE(w->fromdate(), QStringLiteral("1/31/2003"));
    QCOMPARE(sorted(pickers(w)), sorted({"LAST DAY", "LAST DAY LATE", "LAST SECOND", "AFTER"}));
    QVERIFY(QTest::qWaitForWindowExposed(w));
    drive::click(button(w, "CmdPrint"));
    QCOMPARE(env->reports.calls.last().title, QStringLiteral("All Pikups By date"));
    QCOMPARE(env->reports.calls.last().rows.size(), 4);

    // showlist keeps the dates; a later date fill needs no project.
    w->showlist(QStringLiteral("1"));
    QCOMPARE(w->fromdate(), QStringLiteral("1/31/2003"));
    QCOMPARE(w->todate(), QStringLiteral("2/1/2003"));
    QCOMPARE(w->ids(), QStringLiteral("1"));
    w->showSubcontractor(QStringLiteral("1/1/2003"), QStringLiteral("1/1/2003"), QStringLiteral("10"));
    QCOMPARE(pickers(w), QStringList({"FIRST DAY"}));
    drive::click(button(w, "CmdPrint"));
    QCOMPARE(env->reports.calls.last().title, QStringLiteral("Subcontractor Pickups by date"));
    QCOMPARE(env->reports.calls.last().rows.size(), 1);

    // The rows printed are read when printing, from the kept state.
    QVERIFY(env->exec(QStringLiteral("INSERT INTO pickuplog (idproject, idauthorizedcompany, pickupdate, pickupby) "
                                     "VALUES (1, 10, '2003-01-01 08:00:00', 'EARLY BIRD')")));
    drive::click(button(w, "CmdPrint"));
    QCOMPARE(env->reports.calls.last().rows.size(), 2);
    QVERIFY(env->messages.calls.isEmpty());
    // Closing forgets it all.
    w->close();
    QVERIFY(!WindowRegistry::existing<frmListofPickups>());
    QCOMPARE(list()->ids(), QString());
    QCOMPARE(list()->listmode(), QString());
}

void TestListofPickups::refreshListOnlyWhileShown()
{
    list()->RefreshList();
    QVERIFY(!list()->isVisible());
    WindowRegistry::destroyAll();
    QVERIFY(!WindowRegistry::existing<frmListofPickups>());

    frmListofPickups *w = list();
    w->showlist(QStringLiteral("2"));
    QCOMPARE(pickers(w).size(), 3);
    QVERIFY(env->exec(QStringLiteral("INSERT INTO pickuplog (idproject, idauthorizedcompany, pickupdate, pickupby) "
                                     "VALUES (2, 12, '2003-05-05', 'NEW ONE')")));
    QCOMPARE(pickers(w).size(), 3); // not re-read by itself
    w->RefreshList();
    QCOMPARE(pickers(w).size(), 4);
    QVERIFY(env->exec(QStringLiteral("DELETE FROM pickuplog WHERE pickupby = 'NEW ONE'")));
    QVERIFY(QTest::qWaitForWindowExposed(w));
    drive::click(button(w, "cmdrefresh"));
    QCOMPARE(pickers(w).size(), 3);
}

void TestListofPickups::editorSaveRefreshesTheOpenList()
{
    frmListofPickups *w = list();
    w->showlist(QStringLiteral("1"));
    QVERIFY(QTest::qWaitForWindowExposed(w));
    const int row = w->ADOlist()->findRow(QStringLiteral("id"), 102);
    drive::clickRow(grid(w), row);
    drive::click(button(w, "CmdEdit"));
    auto *editor = WindowRegistry::existing<frmPickupForm>();
    QVERIFY(editor && editor->isVisible());
    QVERIFY(w->isVisible()); // the list stays open
    auto *by = editor->findChild<QLineEdit *>(QStringLiteral("TxtPickupBy"));
    QCOMPARE(by->text(), QStringLiteral("MIDDLE"));
    by->setText(QStringLiteral("CHANGED IN EDITOR"));
    drive::click(editor->findChild<QPushButton *>(QStringLiteral("cmdsave")));
    QVERIFY(!WindowRegistry::existing<frmPickupForm>());
    QVERIFY(pickers(w).contains(QStringLiteral("CHANGED IN EDITOR")));
    QCOMPARE(env->scalar(QStringLiteral("SELECT pickupby FROM pickuplog WHERE id = 102")).toString(),
             QStringLiteral("CHANGED IN EDITOR"));

    // A closed list stays closed.
    w->close();
    QVERIFY(!WindowRegistry::existing<frmListofPickups>());
    auto *again = WindowRegistry::get<frmPickupForm>();
    again->EditPickup(102);
    drive::click(again->findChild<QPushButton *>(QStringLiteral("cmdsave")));
    QVERIFY(!WindowRegistry::existing<frmListofPickups>());
    QVERIFY(env->messages.calls.isEmpty());
}

void TestListofPickups::editUsesTheChosenRow()
{
    frmListofPickups *w = list();
    w->showall(QStringLiteral("1/1/2003"), QStringLiteral("12/31/2003"));
    QVERIFY(QTest::qWaitForWindowExposed(w));
    QTableView *g = grid(w);
    // No selection: the cursor row (the first row after a fill).
    drive::click(button(w, "CmdEdit"));
    auto *editor = WindowRegistry::existing<frmPickupForm>();
    QVERIFY(editor);
    QCOMPARE(editor->findChild<QLineEdit *>(QStringLiteral("TxtPickupBy"))->text(),
             w->ADOlist()->value(0, QStringLiteral("pickupby")).toString());
    editor->close();

    // Two rows selected: the one selected first, id above 32767 included.
    const int big = w->ADOlist()->findRow(QStringLiteral("id"), 40002);
    const int other = w->ADOlist()->findRow(QStringLiteral("id"), 103);
    drive::clickRow(g, big);
    drive::clickRow(g, other, Qt::ControlModifier);
    QCOMPARE(g->selectionModel()->selectedRows().size(), 2);
    drive::click(button(w, "CmdEdit"));
    editor = WindowRegistry::existing<frmPickupForm>();
    QVERIFY(editor && editor->isVisible());
    QCOMPARE(editor->findChild<QLineEdit *>(QStringLiteral("TxtPickupBy"))->text(), QStringLiteral("BIG ID PICKUP"));
    QCOMPARE(editor->findChild<QLineEdit *>(QStringLiteral("TxtCompany"))->text(), QStringLiteral("FAR CO"));
    QCOMPARE(editor->ProjectId(), qint64(40000));
    QVERIFY(env->messages.calls.isEmpty());
}

void TestListofPickups::deleteRemovesOnlyThePickup()
{
    frmMain *main = WindowRegistry::get<frmMain>();
    const int projectsBefore = main->AdoProjects()->model()->rowCount();
    frmListofPickups *w = list();
    w->showlist(QStringLiteral("1"));
    QVERIFY(QTest::qWaitForWindowExposed(w));
    const int row = w->ADOlist()->findRow(QStringLiteral("id"), 103);
    QVERIFY(env->exec(QStringLiteral("INSERT INTO project (projectname) VALUES ('ADDED')")));
    drive::clickRow(grid(w), row);
    drive::click(button(w, "CmdDelete"));
    QCOMPARE(env->scalar(QStringLiteral("SELECT count(*) FROM pickuplog WHERE id = 103")).toInt(), 0);
    QCOMPARE(env->scalar(QStringLiteral("SELECT count(*) FROM pickuplog")).toInt(), 8);
    QCOMPARE(env->scalar(QStringLiteral("SELECT count(*) FROM authorizedcompanies WHERE id = 11")).toInt(), 1);
    QVERIFY(!pickers(w).contains(QStringLiteral("LAST DAY")));
    QCOMPARE(pickers(w).size(), 4);
    QCOMPARE(main->AdoProjects()->model()->rowCount(), projectsBefore + 1); // the main window re-read
    QVERIFY(env->messages.calls.isEmpty());
}

void TestListofPickups::emptyListEditAndDeleteDoNothing()
{
    frmListofPickups *w = list();
    w->showlist(QStringLiteral("77"));
    QVERIFY(pickers(w).isEmpty());
    QVERIFY(QTest::qWaitForWindowExposed(w));
    drive::click(button(w, "CmdEdit"));
    drive::click(button(w, "CmdDelete"));
    QVERIFY(!WindowRegistry::existing<frmPickupForm>());
    QCOMPARE(env->scalar(QStringLiteral("SELECT count(*) FROM pickuplog")).toInt(), 9);
    QVERIFY(env->messages.calls.isEmpty());
    QVERIFY(w->isVisible());
}

void TestListofPickups::aceptAndCancelClose_data()
{
    QTest::addColumn<QString>("buttonName");
    QTest::newRow("Acept") << "CmdAcept";
    QTest::newRow("Cancel") << "CmdCancel";
}

void TestListofPickups::aceptAndCancelClose()
{
    QFETCH(QString, buttonName);
    frmMain *main = WindowRegistry::get<frmMain>();
    const int projectsBefore = main->AdoProjects()->model()->rowCount();
    frmListofPickups *w = list();
    w->showlist(QStringLiteral("1"));
    QVERIFY(QTest::qWaitForWindowExposed(w));
    drive::clickRow(grid(w), 1);
    QVERIFY(env->exec(QStringLiteral("INSERT INTO project (projectname) VALUES ('ADDED')")));
    drive::click(button(w, buttonName.toLatin1().constData()));
    QVERIFY(!WindowRegistry::existing<frmListofPickups>());
    QVERIFY(!WindowRegistry::existing<frmPickupForm>());
    QCOMPARE(main->AdoProjects()->model()->rowCount(), projectsBefore + 1);
    QCOMPARE(env->scalar(QStringLiteral("SELECT count(*) FROM pickuplog")).toInt(), 9);
}

void TestListofPickups::openedFromTheProjectChooser()
{
    frmListofProjects *projects = WindowRegistry::get<frmListofProjects>();
    projects->Mostrar(QStringLiteral("listofpickups"));
    QVERIFY(QTest::qWaitForWindowExposed(projects));
    projects->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(projects));
    auto *g = projects->findChild<QTableView *>(QStringLiteral("DbgList"));
    // Ordered by name: BIG ID, HARBOR VIEW, NORTH TOWER. Select the first, then move
    // the cursor alone down one row: the cursor row counts, not the selection.
    QCOMPARE(projects->ADOlist()->value(1, QStringLiteral("ProjectName")).toString(), QStringLiteral("HARBOR VIEW"));
    drive::clickRow(g, 0);
    drive::key(g, Qt::Key_Down, Qt::ControlModifier);
    QCOMPARE(g->currentIndex().row(), 1);
    QCOMPARE(g->selectionModel()->selectedRows().size(), 1);
    QCOMPARE(g->selectionModel()->selectedRows().first().row(), 0);
    drive::click(button(projects, "CmdAcept"));
    auto *w = WindowRegistry::existing<frmListofPickups>();
    QVERIFY(w && w->isVisible());
    QCOMPARE(w->listmode(), QStringLiteral("showlist"));
    QCOMPARE(w->ids(), QStringLiteral("2"));
    QCOMPARE(sorted(pickers(w)), sorted({"LAST SECOND", "BEFORE", "ORPHAN"}));
    QVERIFY(projects->isVisible());

    // The first project, whose id is above 32767, is handed over as text.
    drive::clickRow(g, 0);
    drive::click(button(projects, "CmdAcept"));
    QCOMPARE(w->ids(), QStringLiteral("40000"));
    QCOMPARE(pickers(w), QStringList({"BIG ID PICKUP"}));
    QVERIFY(env->messages.calls.isEmpty());
}

void TestListofPickups::newPickupForLargeProjectId()
{
    frmListofProjects *projects = WindowRegistry::get<frmListofProjects>();
    projects->Mostrar(QStringLiteral("newpickup"));
    QVERIFY(QTest::qWaitForWindowExposed(projects));
    QCOMPARE(projects->ADOlist()->value(0, QStringLiteral("id")).toLongLong(), qlonglong(40000));
    drive::clickRow(projects->findChild<QTableView *>(QStringLiteral("DbgList")), 0);
    drive::click(button(projects, "CmdAcept"));
    auto *editor = WindowRegistry::existing<frmPickupForm>();
    QVERIFY(editor && editor->isVisible());
    QCOMPARE(editor->ProjectId(), qint64(40000));
    QCOMPARE(editor->findChild<QLineEdit *>(QStringLiteral("TxtProjectName"))->text(), QStringLiteral("BIG ID"));
}

QTEST_MAIN(TestListofPickups)
#include "tst_listofpickups.moc"
