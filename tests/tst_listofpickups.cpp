#include "support/testenv.h"
#include "support/ui.h"

#include "ui/common/windowregistry.h"
#include "core/db/datasource.h"
#include "ui/editors/frmPickupForm.h"
#include "ui/lists/frmListofPickups.h"
#include "ui/lists/frmListofProjects.h"
#include "ui/main/frmMain.h"

#include <QPushButton>
#include <QStyledItemDelegate>

using ui::button;
using ui::sorted;

class TestListofPickups : public QObject
{
    Q_OBJECT
    std::unique_ptr<TestEnv> env;

    static frmListofPickups *list() { return WindowRegistry::get<frmListofPickups>(); }
    static QStringList pickers(frmListofPickups *w) { return ui::column(w->grid(), "pickupby"); }
    static void fill(frmListofPickups *w, const QString &mode, const QString &from, const QString &to, const QString &ids)
    {
        if (mode == QLatin1String("showlist"))
            w->showlist(ids);
        else if (mode == QLatin1String("showall"))
            w->showall(from, to);
        else if (mode == QLatin1String("showproject"))
            w->showProject(from, to, ids);
        else
            w->showSubcontractor(from, to, ids);
    }
    int mainProjects() { return WindowRegistry::get<frmMain>()->AdoProjects()->model()->rowCount(); }

private slots:
    void init()
    {
        env = std::make_unique<TestEnv>();
        QVERIFY(env->createDatabase());
        QVERIFY(env->exec("INSERT INTO project (id, projectname, company, active) VALUES (1, 'NORTH TOWER', 'ATLAS', -1), "
                          "(2, 'HARBOR VIEW', 'CITY', -1), (40000, 'BIG ID', 'WIDE', -1)"));
        QVERIFY(env->exec("INSERT INTO authorizedcompanies (id, idproject, name) VALUES (10, 1, 'ACME ELECTRIC'), "
                          "(11, 1, 'O''NEIL PLUMBING'), (12, 2, 'HARBOR GLASS'), (40001, 40000, 'FAR CO')"));
        // Around January 2003, with and without a time of day; 99 is a subcontractor that is gone.
        QVERIFY(env->exec("INSERT INTO pickuplog (id, idproject, idauthorizedcompany, pickupdate, pickupby, note) VALUES "
                          "(101, 1, 10, '2003-01-01', 'FIRST DAY', 'NOTE 101'), (102, 1, 10, '2003-01-15', 'MIDDLE', NULL), "
                          "(103, 1, 11, '2003-01-31', 'LAST DAY', 'it''s \"quoted\"'), "
                          "(104, 1, 11, '2003-01-31 16:30:00', 'LAST DAY LATE', NULL), "
                          "(105, 2, 12, '2003-01-31 23:59:59', 'LAST SECOND', NULL), "
                          "(106, 2, 12, '2002-12-31 23:59:59', 'BEFORE', NULL), (107, 1, 10, '2003-02-01', 'AFTER', NULL), "
                          "(108, 2, 99, '2003-01-10', 'ORPHAN', NULL), "
                          "(40002, 40000, 40001, '2003-01-20', 'BIG ID PICKUP', NULL)"));
    }
    void cleanup() { env.reset(); }

    void windowAndGrid()
    {
        frmListofPickups *w = list();
        w->showlist(QStringLiteral("2"));
        QCOMPARE(w->windowTitle(), QStringLiteral("List of Pick ups"));
        QCOMPARE(ui::shownColumns(w->grid()), QStringList({"Subcontractor", "PickupDate", "Pickupby", "Package", "note"}));
        QStringList captions;
        int lastX = -1;
        for (const char *name : {"CmdPrint", "cmdrefresh", "CmdDelete", "CmdEdit", "CmdAcept", "CmdCancel"}) {
            QVERIFY2(button(w, name)->isVisible() && button(w, name)->x() > lastX, name);
            lastX = button(w, name)->x();
            captions << button(w, name)->text();
        }
        QCOMPARE(captions, QStringList({"Print", "Refresh", "Delete", "Edit", "Acept", "Cancel"}));
        // The pick-up whose subcontractor is gone shows with an empty name; dates in short form.
        QCOMPARE(sorted(ui::column(w->grid(), "name")), QStringList({"", "HARBOR GLASS", "HARBOR GLASS"}));
        const QModelIndex date = w->grid()->model()->index(w->ADOlist()->findRow("id", 105), w->ADOlist()->column("pickupdate"));
        auto *d = qobject_cast<QStyledItemDelegate *>(w->grid()->itemDelegateForIndex(date));
        QCOMPARE(d->displayText(date.data(), QLocale()), QStringLiteral("1/31/2003 11:59:59 PM"));
    }

    void fillModesAndPrint_data()
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
        QTest::newRow("end with a time of day") << "showall" << "12/31/2002 11:59:59 PM" << "1/31/2003 4:30:00 PM" << ""
                                                << all << QStringList({"FIRST DAY", "MIDDLE", "LAST DAY", "LAST DAY LATE",
                                                                       "BEFORE", "ORPHAN", "BIG ID PICKUP"});
        QTest::newRow("from after to") << "showall" << "2/1/03" << "1/1/2003" << "" << all << QStringList();
        QTest::newRow("project by date") << "showproject" << "1/1/2003" << "1/31/2003" << "2"
                                         << "Project Pickups by date" << QStringList({"LAST SECOND", "ORPHAN"});
        QTest::newRow("subcontractor above 32767") << "showsubcontractor" << "1/1/2003" << "12/31/2003" << "40001"
                                                   << "Subcontractor Pickups by date" << QStringList({"BIG ID PICKUP"});
        QTest::newRow("subcontractor by date") << "showsubcontractor" << "1/1/2003" << "1/31/2003" << "11"
                                               << "Subcontractor Pickups by date"
                                               << QStringList({"LAST DAY", "LAST DAY LATE"});
    }

    // Each fill, and its report read back from the PDF; a range includes the whole end day.
    void fillModesAndPrint()
    {
        QFETCH(QString, mode);
        QFETCH(QString, from);
        QFETCH(QString, to);
        QFETCH(QString, ids);
        QFETCH(QString, title);
        QFETCH(QStringList, rows);
        frmListofPickups *w = list();
        fill(w, mode, from, to, ids);
        QVERIFY(QTest::qWaitForWindowExposed(w));
        QCOMPARE(w->listmode(), mode);
        QCOMPARE(sorted(pickers(w)), sorted(rows));
        QVERIFY(!w->ADOlist()->sql().contains(QStringLiteral("2003"))); // dates are bound, not pasted
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
        QCOMPARE(ui::column(job.rows, "pickupby"), pickers(w)); // the rows the grid shows, in its order
        const QString pdf = pdftools::text(job.pdfPath);
        QVERIFY2(pdf.contains(title) && pdf.contains(QRegularExpression(QStringLiteral("Registers Total:\\s+%1\\b")
                                                                            .arg(rows.size()))), qPrintable(pdf));
        for (const QString &who : rows)
            QVERIFY2(pdf.contains(who), qPrintable(who + QStringLiteral(" not in\n") + pdf));
        QVERIFY(!rows.contains("LAST DAY") || pdf.contains(QStringLiteral("O'NEIL PLUMBING")));
    }

    void datesThatCannotBeRead_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<QString>("from");
        QTest::addColumn<QString>("to");
        QTest::newRow("both empty") << "showall" << "" << "";
        QTest::newRow("start empty") << "showproject" << "" << "1/31/2003";
        QTest::newRow("end empty") << "showsubcontractor" << "1/1/2003" << "";
        QTest::newRow("31 April") << "showall" << "4/1/2003" << "4/31/2003";
        QTest::newRow("quote") << "showproject" << "1/1/2003'" << "1/31/2003";
    }

    // "please check dates" instead of a broken query; a closed list stays closed, an open one keeps its state.
    void datesThatCannotBeRead()
    {
        QFETCH(QString, mode);
        QFETCH(QString, from);
        QFETCH(QString, to);
        fill(list(), mode, from, to, "2");
        QCOMPARE(env->messages.texts(), QStringList({"please check dates"}));
        QCOMPARE(env->messages.calls.first().title, QStringLiteral("Report"));
        QVERIFY(!WindowRegistry::existing<frmListofPickups>());
        frmListofPickups *w = list();
        w->showlist(QStringLiteral("1"));
        fill(w, mode, from, to, "2");
        QCOMPARE(env->messages.calls.size(), 2);
        QCOMPARE(w->listmode() + w->ids() + w->fromdate(), QStringLiteral("showlist1"));
        QCOMPARE(pickers(w).size(), 5);
    }

    void stateKeptAcrossFills()
    {
        frmListofPickups *w = list();
        w->showProject(QStringLiteral("1/1/2003"), QStringLiteral("1/31/2003"), QStringLiteral("2"));
        QVERIFY(QTest::qWaitForWindowExposed(w));
        // showall keeps the project id, but its query and its print ignore it.
        w->showall(QStringLiteral("1/31/2003"), QStringLiteral("2/1/2003"));
        QCOMPARE(w->ids(), QStringLiteral("2"));
        QCOMPARE(sorted(pickers(w)), sorted({"LAST DAY", "LAST DAY LATE", "LAST SECOND", "AFTER"}));
        drive::click(button(w, "CmdPrint"));
        QCOMPARE(env->reports.calls.last().title, QStringLiteral("All Pikups By date"));
        QCOMPARE(env->reports.calls.last().rows.size(), 4);
        // showlist keeps the dates.
        w->showlist(QStringLiteral("1"));
        QCOMPARE(w->fromdate() + " " + w->todate(), QStringLiteral("1/31/2003 2/1/2003"));
        w->showSubcontractor(QStringLiteral("1/1/2003"), QStringLiteral("1/1/2003"), QStringLiteral("10"));
        QCOMPARE(pickers(w), QStringList({"FIRST DAY"}));
        // The rows printed are read when printing, from the kept state.
        QVERIFY(env->exec("INSERT INTO pickuplog (idproject, idauthorizedcompany, pickupdate, pickupby) "
                          "VALUES (1, 10, '2003-01-01 08:00:00', 'EARLY BIRD')"));
        drive::click(button(w, "CmdPrint"));
        QCOMPARE(env->reports.calls.last().title, QStringLiteral("Subcontractor Pickups by date"));
        QCOMPARE(env->reports.calls.last().rows.size(), 2);
        QVERIFY(env->messages.calls.isEmpty());
        w->close(); // closing forgets it all
        QCOMPARE(list()->ids() + list()->listmode(), QString());
    }

    // RefreshList acts only while shown; the editor's Save refreshes an open list; so does Refresh.
    void refreshAndEdit()
    {
        list()->RefreshList();
        QVERIFY(!list()->isVisible());
        frmListofPickups *w = list();
        w->showlist(QStringLiteral("1"));
        QVERIFY(QTest::qWaitForWindowExposed(w));
        QVERIFY(env->exec("DELETE FROM pickuplog WHERE id = 101"));
        QCOMPARE(pickers(w).size(), 5); // not re-read by itself
        drive::click(button(w, "cmdrefresh"));
        QCOMPARE(pickers(w).size(), 4);
        drive::clickRow(w->grid(), w->ADOlist()->findRow("id", 102));
        drive::click(button(w, "CmdEdit"));
        auto *editor = WindowRegistry::existing<frmPickupForm>();
        QVERIFY(editor && editor->isVisible() && w->isVisible());
        QCOMPARE(ui::field(editor, "TxtPickupBy")->text(), QStringLiteral("MIDDLE"));
        ui::field(editor, "TxtPickupBy")->setText(QStringLiteral("CHANGED IN EDITOR"));
        drive::click(button(editor, "cmdsave"));
        QVERIFY(pickers(w).contains(QStringLiteral("CHANGED IN EDITOR")));
        w->close();
        WindowRegistry::get<frmPickupForm>()->EditPickup(102);
        drive::click(button(WindowRegistry::existing<frmPickupForm>(), "cmdsave"));
        QVERIFY(!WindowRegistry::existing<frmListofPickups>()); // a closed list stays closed
        QVERIFY(env->messages.calls.isEmpty());
    }

    // Edit takes the row selected first (else the cursor row); Delete removes only the pick-up.
    void editAndDeleteTheChosenRow()
    {
        frmListofPickups *w = list();
        w->showall(QStringLiteral("1/1/2003"), QStringLiteral("12/31/2003"));
        QVERIFY(QTest::qWaitForWindowExposed(w));
        drive::click(button(w, "CmdEdit"));
        auto *editor = WindowRegistry::existing<frmPickupForm>();
        QCOMPARE(ui::field(editor, "TxtPickupBy")->text(), pickers(w).first());
        editor->close();
        drive::clickRow(w->grid(), w->ADOlist()->findRow("id", 40002));
        drive::clickRow(w->grid(), w->ADOlist()->findRow("id", 103), Qt::ControlModifier);
        QCOMPARE(w->grid()->selectionModel()->selectedRows().size(), 2);
        drive::click(button(w, "CmdEdit"));
        editor = WindowRegistry::existing<frmPickupForm>();
        QCOMPARE(ui::field(editor, "TxtCompany")->text(), QStringLiteral("FAR CO"));
        QCOMPARE(editor->ProjectId(), 40000);
        editor->close();
        const int projectsBefore = mainProjects();
        QVERIFY(env->exec("INSERT INTO project (projectname) VALUES ('ADDED')"));
        drive::clickRow(w->grid(), w->ADOlist()->findRow("id", 103));
        drive::click(button(w, "CmdDelete"));
        QCOMPARE(env->scalar("SELECT count(*) FROM pickuplog WHERE id = 103").toInt(), 0);
        QCOMPARE(env->scalar("SELECT count(*) FROM pickuplog").toInt(), 8);
        QCOMPARE(env->scalar("SELECT count(*) FROM authorizedcompanies WHERE id = 11").toInt(), 1);
        QVERIFY(!pickers(w).contains(QStringLiteral("LAST DAY")));
        QCOMPARE(mainProjects(), projectsBefore + 1); // the main window re-read
        // An empty list: Edit and Delete do nothing.
        w->showlist(QStringLiteral("77"));
        drive::click(button(w, "CmdEdit"));
        drive::click(button(w, "CmdDelete"));
        QVERIFY(!WindowRegistry::existing<frmPickupForm>());
        QCOMPARE(env->scalar("SELECT count(*) FROM pickuplog").toInt(), 8);
        QVERIFY(env->messages.calls.isEmpty());
    }

    void aceptAndCancelClose_data()
    {
        QTest::addColumn<QString>("buttonName");
        QTest::newRow("Acept") << "CmdAcept";
        QTest::newRow("Cancel") << "CmdCancel";
    }

    void aceptAndCancelClose()
    {
        QFETCH(QString, buttonName);
        const int projectsBefore = mainProjects();
        frmListofPickups *w = list();
        w->showlist(QStringLiteral("1"));
        QVERIFY(QTest::qWaitForWindowExposed(w));
        drive::clickRow(w->grid(), 1);
        QVERIFY(env->exec("INSERT INTO project (projectname) VALUES ('ADDED')"));
        drive::click(button(w, qPrintable(buttonName)));
        QVERIFY(!WindowRegistry::existing<frmListofPickups>() && !WindowRegistry::existing<frmPickupForm>());
        QCOMPARE(mainProjects(), projectsBefore + 1);
        QCOMPARE(env->scalar("SELECT count(*) FROM pickuplog").toInt(), 9);
    }

    // The chooser hands over the cursor row (not the selection), ids above 32767 included.
    void openedFromTheProjectChooser()
    {
        frmListofProjects *projects = WindowRegistry::get<frmListofProjects>();
        projects->Mostrar(QStringLiteral("listofpickups"));
        projects->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(projects));
        QTableView *g = projects->grid(); // by name: BIG ID, HARBOR VIEW, NORTH TOWER
        drive::clickRow(g, 0);
        drive::key(g, Qt::Key_Down, Qt::ControlModifier);
        QCOMPARE(g->currentIndex().row(), 1);
        QCOMPARE(g->selectionModel()->selectedRows().first().row(), 0);
        drive::click(button(projects, "CmdAcept"));
        auto *w = WindowRegistry::existing<frmListofPickups>();
        QVERIFY(w && w->isVisible() && projects->isVisible());
        QCOMPARE(w->listmode() + w->ids(), QStringLiteral("showlist2"));
        QCOMPARE(sorted(pickers(w)), sorted({"LAST SECOND", "BEFORE", "ORPHAN"}));
        drive::clickRow(g, 0);
        drive::click(button(projects, "CmdAcept"));
        QCOMPARE(w->ids(), QStringLiteral("40000"));
        QCOMPARE(pickers(w), QStringList({"BIG ID PICKUP"}));
        QVERIFY(env->messages.calls.isEmpty());
    }
};

QTEST_MAIN(TestListofPickups)
#include "tst_listofpickups.moc"
