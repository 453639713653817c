#include "support/testenv.h"
#include "support/ui.h"

#include "ui/common/windowregistry.h"
#include "core/db/datasource.h"
#include "ui/main/frmMain.h"

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QStyledItemDelegate>

using ui::texts;

class TestMainWindow : public QObject
{
    Q_OBJECT
    std::unique_ptr<TestEnv> env;
    frmMain *w = nullptr;
    QListView *projects = nullptr;
    QListView *companies = nullptr;
    QTableView *grid = nullptr;

    void open()
    {
        QVERIFY(env->exec("INSERT INTO project (id, projectname, company, active) VALUES "
                          "(1, 'NORTH TOWER', 'ATLAS', -1), (2, 'HARBOR VIEW', 'CITY', 0), (5, 'EMPTY LOT', 'X', -1)"));
        QVERIFY(env->exec("INSERT INTO authorizedcompanies (id, idproject, name) VALUES (10, 1, 'ACME ELECTRIC'), "
                          "(11, 1, 'O''NEIL PLUMBING'), (12, 2, 'HARBOR GLASS'), (13, 2, 'DELTA STEEL')"));
        QVERIFY(env->exec(
            "INSERT INTO pickuplog (idproject, idauthorizedcompany, pickupdate, pickupby, package, note) VALUES "
            "(1, 10, '2026-03-07', 'J. SMITH', 'DRAWINGS', 'LATE'), (1, 10, '2025-12-31 16:30:00', 'M. GARCIA', 'KEYS', NULL), "
            "(1, 10, '2026-01-15', 'L. CHEN', 'SPECS', ''), (2, 10, '2026-02-01', 'OTHER PROJECT', 'X', NULL), "
            "(2, 12, '2026-02-02', 'R. JOHNSON', 'GLASS SAMPLES', NULL), (2, 13, '2026-02-03', 'D. O''BRIEN', 'DWG', NULL)"));
        w = window<frmMain>();
        w->show();
        QVERIFY(QTest::qWaitForWindowActive(w));
        projects = w->findChild<QListView *>(QStringLiteral("dbProject"));
        companies = w->findChild<QListView *>(QStringLiteral("dbsubcontractor"));
        grid = w->findChild<QTableView *>(QStringLiteral("dbgPickup"));
        QVERIFY(projects && companies && grid);
    }
    void choose(QListView *list, const QString &text) { drive::clickRow(list, int(texts(list).indexOf(text))); }
    QStringList gridColumn(const char *field)
    {
        QStringList out;
        for (int r = 0; r < grid->model()->rowCount(); ++r)
            out << grid->model()->index(r, w->adopickups()->column(field)).data().toString();
        return out;
    }
    QPushButton *printButton() { return w->findChild<QPushButton *>(QStringLiteral("CmdPrint")); }

private slots:
    void init()
    {
        env = std::make_unique<TestEnv>();
        QVERIFY(env->createDatabase());
        open();
    }
    void cleanup() { env.reset(); }

    void windowAndControls()
    {
        QCOMPARE(w->windowTitle(), QStringLiteral("Quillbern"));
        QCOMPARE(w->minimumSize(), w->maximumSize()); // the edges cannot resize it
        QCOMPARE(w->centralWidget()->size(), QSize(752, 449));
        auto *pic = w->findChild<QLabel *>(QStringLiteral("PicContainer"));
        QVERIFY(pic);
        QCOMPARE(pic->pixmap().size(), QSize(770, 523));
        const QList<QPair<QString, QWidget *>> labels = {
            {"Projects:", projects}, {"Subcontractor:", companies}, {"Pickup Log:", grid}};
        for (const auto &[text, buddy] : labels) {
            QLabel *found = nullptr;
            for (QLabel *l : w->findChildren<QLabel *>())
                found = l->text() == text ? l : found;
            QVERIFY2(found, qPrintable(text));
            QCOMPARE(found->buddy(), buddy);
            QVERIFY(found->font().bold());
            QCOMPARE(found->font().pointSizeF(), 8.25);
        }
        QCOMPARE(printButton()->text(), QStringLiteral("Print"));
        // Tab walks the lists, the grid, then Print.
        projects->setFocus();
        for (QWidget *next : QList<QWidget *>{companies, grid, printButton()}) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QCOMPARE(QApplication::focusWidget(), next);
        }
    }

    void menuBar()
    {
        struct Entry
        {
            QString caption, name;
            QStringList items, itemNames;
        };
        const QList<Entry> expected = {
            {"         Project          ", "mnuProject", {"New Project", "List of Projects"},
             {"mnuProNewProject", "mnuProListofProjects"}},
            {"    Authorized Subcontractor", "mnuAuthorizedCompanies",
             {"New Subcontractor", "List of Subcontractor", "Import Database", "Export Database"},
             {"mnuAutNewCompany", "mnuAutListOfCompany", "mnuAutImportDatabase", "Mexport"}},
            {"       Pick-up Log       ", "mnuPickupLog", {"New Pick-up", "List of Pick-ups", "Print list of pick-ups"},
             {"mnuPicNewPickup", "mnuPicListofPickups", "mnuPicPrintListOfPickups"}},
            {"        Reports       ", "mnuReports",
             {"All Pickups by date", "Project Pickups by date", "Subcontractor Pickups by date",
              "Subcontractors not picked-up"},
             {"Allpickupsbydate", "mnuPpbydate", "mnuspbydate", "mnusubnotpckup"}},
            {"     Options     ", "mnuOptions", {}, {}},
        };
        const QList<QAction *> top = w->menuBar()->actions();
        QCOMPARE(top.size(), expected.size());
        for (int i = 0; i < expected.size(); ++i) {
            QCOMPARE(top.at(i)->text(), expected.at(i).caption);
            QCOMPARE(top.at(i)->objectName(), expected.at(i).name);
            const QList<QAction *> items = top.at(i)->menu() ? top.at(i)->menu()->actions() : QList<QAction *>();
            QCOMPARE(top.at(i)->menu() != nullptr, !expected.at(i).items.isEmpty());
            QCOMPARE(items.size(), expected.at(i).items.size());
            for (int k = 0; k < items.size(); ++k) {
                QCOMPARE(items.at(k)->text(), expected.at(i).items.at(k));
                QCOMPARE(items.at(k)->objectName(), expected.at(i).itemNames.at(k));
                QVERIFY(items.at(k)->shortcut().isEmpty());
            }
        }
    }

    void linkedLists()
    {
        // Every project, inactive ones too, in the database's order; nothing chosen yet.
        QCOMPARE(texts(projects), QStringList({"NORTH TOWER", "HARBOR VIEW", "EMPTY LOT"}));
        QVERIFY(texts(companies).isEmpty());
        QCOMPARE(grid->model()->rowCount(), 0);
        choose(projects, "HARBOR VIEW");
        QCOMPARE(texts(companies), QStringList({"HARBOR GLASS", "DELTA STEEL"}));
        QCOMPARE(grid->model()->rowCount(), 0);
        w->RefreshInterface();
        choose(projects, "NORTH TOWER");
        w->RefreshInterface();
        QCOMPARE(texts(companies), QStringList({"ACME ELECTRIC", "O'NEIL PLUMBING"}));
        choose(companies, "ACME ELECTRIC");
        // Oldest first, only the chosen project's pick-ups (ACME has one on HARBOR VIEW too), dates in short form.
        QCOMPARE(gridColumn("pickupby"), QStringList({"M. GARCIA", "L. CHEN", "J. SMITH"}));
        QStringList shownDates;
        const int cDate = w->adopickups()->column("pickupdate");
        for (int r = 0; r < 3; ++r) {
            const QModelIndex i = grid->model()->index(r, cDate);
            shownDates << qobject_cast<QStyledItemDelegate *>(grid->itemDelegateForIndex(i))->displayText(i.data(), {});
        }
        QCOMPARE(shownDates, QStringList({"12/31/2025 4:30:00 PM", "1/15/2026", "3/7/2026"}));
        QVERIFY(!w->adopickups()->sql().contains(QStringLiteral("10"))); // values are bound, not pasted

        // The grid's columns: captions are the field names, ids hidden; kept over later queries.
        const QStringList captions = {"id", "idProject", "idAuthorizedCompany", "PickupDate", "Pickupby", "Package", "note"};
        const QList<int> widths = {0, 0, 0, 116, 116, 116, 116};
        for (const char *other : {"O'NEIL PLUMBING", "ACME ELECTRIC"}) {
            for (int c = 0; c < captions.size(); ++c) {
                QCOMPARE(grid->model()->headerData(c, Qt::Horizontal).toString(), captions.at(c));
                QCOMPARE(grid->isColumnHidden(c), c < 3);
                if (c >= 3)
                    QCOMPARE(grid->columnWidth(c), widths.at(c));
            }
            choose(companies, other);
        }
        QCOMPARE(grid->verticalHeader()->sectionResizeMode(0), QHeaderView::Fixed);
        QCOMPARE(grid->model()->rowCount(), 3);
        // A project without subcontractors leaves the grid as it was.
        choose(projects, "EMPTY LOT");
        QVERIFY(texts(companies).isEmpty());
        QCOMPARE(grid->model()->rowCount(), 3);
        QVERIFY(env->messages.calls.isEmpty());
    }

    void clickWithNothingToChoose()
    {
        QTest::mouseClick(companies->viewport(), Qt::LeftButton, {}, QPoint(20, 20)); // the list is empty
        QTRY_COMPARE(env->messages.calls.size(), 1);
        QCOMPARE(env->messages.calls.first().text, QStringLiteral("Please select an item on the list"));
        QCOMPARE(env->messages.calls.first().title, QStringLiteral("PROJECT"));
        QCOMPARE(env->messages.calls.first().icon, QMessageBox::NoIcon);
        // Below the last project, with none chosen yet.
        QTest::mouseClick(projects->viewport(), Qt::LeftButton, {}, QPoint(20, projects->viewport()->height() - 5));
        QTRY_COMPARE(env->messages.calls.size(), 2);
        QVERIFY(texts(companies).isEmpty());
        // The background picture does nothing.
        auto *pic = w->findChild<QLabel *>(QStringLiteral("PicContainer"));
        QTest::mouseClick(pic, Qt::LeftButton, {}, QPoint(740, 440));
        QTest::mouseDClick(pic, Qt::LeftButton, {}, QPoint(5, 440));
        QCoreApplication::processEvents();
        QCOMPARE(env->messages.calls.size(), 2);
    }

    void keyboardWalksTheLists()
    {
        drive::clickRow(projects, 0);
        projects->setFocus();
        QTest::keyClick(projects, Qt::Key_Down);
        QCOMPARE(texts(companies), QStringList({"HARBOR GLASS", "DELTA STEEL"}));
        QTest::keyClick(projects, Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), companies);
        // Focus puts the cursor on the first entry; moving it chooses.
        QTest::keyClick(companies, Qt::Key_Down);
        QCOMPARE(gridColumn("pickupby"), QStringList({"D. O'BRIEN"}));
        QTest::keyClick(companies, Qt::Key_Up);
        QCOMPARE(gridColumn("pickupby"), QStringList({"R. JOHNSON"}));
        QVERIFY(env->messages.calls.isEmpty());
    }

    void refreshKeepsTheChoiceById()
    {
        choose(projects, "HARBOR VIEW");
        choose(companies, "DELTA STEEL");
        // Another window adds a project before this one and a pick-up for the chosen subcontractor.
        QVERIFY(env->exec("INSERT INTO project (id, projectname) VALUES (0, 'A FIRST ONE')"));
        QVERIFY(env->exec("INSERT INTO pickuplog (idproject, idauthorizedcompany, pickupdate, pickupby) "
                          "VALUES (2, 13, '2026-01-01', 'EARLIER')"));
        w->RefreshInterface();
        QCOMPARE(texts(projects).size(), 4);
        QCOMPARE(projects->currentIndex().data().toString(), QStringLiteral("HARBOR VIEW"));
        QCOMPARE(w->AdoProjects()->field("projectname").toString(), QStringLiteral("HARBOR VIEW"));
        QCOMPARE(companies->currentIndex().data().toString(), QStringLiteral("DELTA STEEL"));
        QCOMPARE(gridColumn("pickupby"), QStringList({"EARLIER", "D. O'BRIEN"}));
        QVERIFY(env->messages.calls.isEmpty());
    }

    void importDialogKeepsLastName()
    {
        QSignalSpy chosen(w, &frmMain::importFileChosen);
        auto *item = w->findChild<QAction *>(QStringLiteral("mnuAutImportDatabase"));
        const QString file = QStringLiteral("/transfers/NORTH TOWER 1437_1203.mdb");
        env->files.answers << std::nullopt << file << std::nullopt; // cancelled, chosen, cancelled
        for (int i = 0; i < 3; ++i)
            item->trigger();
        // Cancelled on a fresh run nothing opens; cancelled later, the same file again.
        QCOMPARE(chosen.count(), 2);
        QCOMPARE(chosen.at(1).at(0).toString(), file);
        QCOMPARE(env->files.offeredNames, QStringList({"", "", file}));
    }

    void print_data()
    {
        QTest::addColumn<QString>("project");
        QTest::addColumn<QString>("company");
        QTest::addColumn<QString>("message"); // "#": a numbered error
        QTest::newRow("rows") << "NORTH TOWER" << "ACME ELECTRIC" << "";
        QTest::newRow("no rows") << "NORTH TOWER" << "O'NEIL PLUMBING" << "There are not Registers";
        QTest::newRow("no subcontractor chosen yet") << "" << "" << "#";
    }

    void print()
    {
        QFETCH(QString, project);
        QFETCH(QString, company);
        QFETCH(QString, message);
        if (!project.isEmpty()) {
            choose(projects, project);
            choose(companies, company);
        }
        // Another project becomes the first row meanwhile; the title still names the chosen one.
        QVERIFY(env->exec("INSERT INTO project (id, projectname) VALUES (0, 'A FIRST ONE')"));
        w->RefreshInterface();
        drive::click(printButton());
        if (!message.isEmpty()) {
            QCOMPARE(env->messages.calls.size(), 1);
            QCOMPARE(env->messages.calls.first().title, QStringLiteral("Quillbern"));
            if (message == QLatin1String("#"))
                QVERIFY(env->messages.calls.first().text.at(0).isDigit());
            else
                QCOMPARE(env->messages.calls.first().text, message);
            QVERIFY(env->reports.calls.isEmpty());
            return;
        }
        QVERIFY(env->messages.calls.isEmpty());
        QCOMPARE(env->reports.calls.size(), 1);
        const auto &call = env->reports.calls.first();
        QCOMPARE(call.kind, RecordingReports::Kind::Preview);
        QCOMPARE(call.layoutName, QStringLiteral("DrpListofPickupsOnly"));
        QCOMPARE(call.title, QStringLiteral("Project: NORTH TOWER   Subcontractor: ACME ELECTRIC"));
        QCOMPARE(ui::column(call.rows, "pickupby"), QStringList({"M. GARCIA", "L. CHEN", "J. SMITH"}));
        const QString text = pdftools::text(call.pdfPath);
        QVERIFY2(text.contains(QStringLiteral("Project: NORTH TOWER")) && text.contains("12/31/2025"), qPrintable(text));
        QVERIFY(text.indexOf(QStringLiteral("M. GARCIA")) < text.indexOf(QStringLiteral("J. SMITH")));
        // The report holds its own rows: deleting them now changes nothing printed.
        QVERIFY(env->exec("DELETE FROM pickuplog"));
        QCOMPARE(call.rows.size(), 3);
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
