#include "support/testenv.h"
#include "support/ui.h"

#include "ui/common/windowregistry.h"
#include "core/db/database.h"
#include "core/db/datasource.h"
#include "ui/reports/frmprojectlist.h"
#include "ui/reports/frmreportdate.h"
#include "ui/reports/frmsubcontractorlist.h"
#include "ui/lists/frmListofPickups.h"

#include <QLabel>
#include <QPushButton>

using ui::field;

class TestReportDialogs : public QObject
{
    Q_OBJECT
    std::unique_ptr<TestEnv> env;

    // The date window in `mode`, both dates typed by hand and left with Tab so that they are checked.
    static frmreportdate *dates(const QString &mode, const QString &start, const QString &end)
    {
        auto *w = WindowRegistry::get<frmreportdate>();
        w->showdate(mode);
        w->activateWindow();
        if (!QTest::qWaitForWindowActive(w))
            return nullptr;
        for (const auto &[name, text] : {std::pair("Text1", start), std::pair("Text2", end)}) {
            field(w, name)->setFocus();
            field(w, name)->clear();
            drive::type(w, text);
            drive::key(w, Qt::Key_Tab);
        }
        return w;
    }
    static QStringList pickers(frmListofPickups *w) { return ui::sorted(ui::column(w->grid(), "pickupby")); }
    // Clicks `row` of the picker and "OK"; the list of pick-ups it opens.
    frmListofPickups *pick(QWidget *picker, int row)
    {
        drive::clickRow(picker->findChild<QListView *>(QStringLiteral("Dlist")), row);
        drive::click(ui::button(picker, "CMDOK"));
        return WindowRegistry::existing<frmListofPickups>();
    }

private slots:
    void init()
    {
        env = std::make_unique<TestEnv>();
        QVERIFY(env->createDatabase());
        QVERIFY(env->exec("INSERT INTO project (id, projectname, company, active) VALUES (1, 'NORTH TOWER', 'ATLAS', -1), "
                          "(2, 'HARBOR VIEW', 'CITY', -1), (3, 'ASLEEP', 'OLD', 0), (40000, 'ANNEX', 'WIDE', -1)"));
        QVERIFY(env->exec("INSERT INTO authorizedcompanies (id, idproject, name) VALUES (10, 1, 'ZENITH ROOFING'), "
                          "(11, 1, 'ACME ELECTRIC'), (12, 2, 'ACME ELECTRIC'), (13, 3, 'MIDWAY'), (40001, 40000, 'BIG ID CO')"));
        QVERIFY(env->exec("INSERT INTO pickuplog (idproject, idauthorizedcompany, pickupdate, pickupby) VALUES "
                          "(1, 11, '2003-01-01', 'P1 ACME JAN 1'), (2, 12, '2003-01-31 16:30:00', 'P2 ACME JAN 31 LATE'), "
                          "(1, 10, '2003-02-01', 'P1 ZENITH FEB 1'), (2, 12, '2003-02-10', 'P2 ACME FEB 10'), "
                          "(40000, 40001, '2003-01-15', 'BIG JAN 15')"));
    }
    void cleanup() { env.reset(); }

    void dateWindow()
    {
        frmreportdate *w = dates("all", "", "");
        QVERIFY(w && !w->isModal());
        QCOMPARE(w->windowTitle(), QStringLiteral("Project Report"));
        QCOMPARE(w->menuselected(), QStringLiteral("all"));
        QWidget *report = ui::button(w, "cmdreport");
        QCOMPARE(ui::button(w, "cmdreport")->text(), QStringLiteral("Report"));
        for (const auto &[label, text, buddy] : {std::tuple("Label1", "Start date:", "Text1"),
                                                 std::tuple("Label2", "End date:", "Text2")}) {
            auto *l = w->findChild<QLabel *>(QLatin1String(label));
            QVERIFY(l && l->font().bold());
            QCOMPARE(l->text(), QLatin1String(text));
            QCOMPARE(l->buddy(), field(w, buddy));
        }
        // Side by side, the button at the right; Tab walks start, end, Report.
        QVERIFY(field(w, "Text1")->x() < field(w, "Text2")->x() && field(w, "Text2")->x() < report->x());
        field(w, "Text1")->setFocus();
        for (QWidget *next : {static_cast<QWidget *>(field(w, "Text2")), report}) {
            drive::key(w, Qt::Key_Tab);
            QCOMPARE(QApplication::focusWidget(), next);
        }
    }

    void reportChecksTheRange_data()
    {
        QTest::addColumn<QString>("start");
        QTest::addColumn<QString>("end");
        QTest::addColumn<QStringList>("rows"); // empty: rejected
        QTest::newRow("January") << "1/1/2003" << "1/31/2003"
                                 << QStringList({"BIG JAN 15", "P1 ACME JAN 1", "P2 ACME JAN 31 LATE"});
        QTest::newRow("start equals end") << "1/31/2003" << "1/31/2003" << QStringList({"P2 ACME JAN 31 LATE"});
        QTest::newRow("end before start") << "2/1/2003" << "1/31/2003" << QStringList();
        QTest::newRow("start empty") << "" << "1/31/2003" << QStringList();
        QTest::newRow("end empty") << "1/1/2003" << "" << QStringList();
        QTest::newRow("end 31 April") << "4/1/2003" << "4/31/2003" << QStringList();
        QTest::newRow("1929 is after 1930") << "1/1/30" << "1/1/29"
                                            << QStringList({"BIG JAN 15", "P1 ACME JAN 1", "P1 ZENITH FEB 1",
                                                            "P2 ACME FEB 10", "P2 ACME JAN 31 LATE"});
        QTest::newRow("2029 is not before 1930") << "1/1/29" << "1/1/30" << QStringList();
    }

    // "Report" in mode "all": "please check dates" (focus back to the start), or the list filled.
    void reportChecksTheRange()
    {
        QFETCH(QString, start);
        QFETCH(QString, end);
        QFETCH(QStringList, rows);
        frmreportdate *w = dates("all", start, end);
        QVERIFY(w);
        const QString shown = field(w, "Text1")->text() + " " + field(w, "Text2")->text();
        drive::click(ui::button(w, "cmdreport"));
        auto *list = WindowRegistry::existing<frmListofPickups>();
        if (rows.isEmpty()) {
            QCOMPARE(env->messages.texts(), QStringList({"please check dates"}));
            QCOMPARE(env->messages.calls.first().title, QStringLiteral("Report"));
            QCOMPARE(env->messages.calls.first().buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
            QVERIFY(w->isVisible() && !list);
            QCOMPARE(QApplication::focusWidget(), field(w, "Text1"));
            return;
        }
        QVERIFY(env->messages.calls.isEmpty());
        QVERIFY(!WindowRegistry::existing<frmreportdate>() && list && list->isVisible());
        QCOMPARE(list->listmode(), QStringLiteral("showall"));
        QCOMPARE(pickers(list), rows);
        QCOMPARE(list->fromdate() + " " + list->todate(), shown); // the texts as the fields showed them
    }

    void projectPicker()
    {
        frmreportdate *d = dates("project", "1/1/2003", "1/31/2003");
        QVERIFY(d);
        drive::click(ui::button(d, "cmdreport"));
        auto *picker = WindowRegistry::existing<frmprojectlist>();
        QVERIFY(picker && picker->isVisible() && d->isVisible()); // the picker reads the dates later
        QVERIFY(!WindowRegistry::existing<frmListofPickups>());
        QCOMPARE(picker->windowTitle(), QStringLiteral("Project list"));
        const QList<QPushButton *> buttons = picker->findChildren<QPushButton *>();
        QCOMPARE(buttons.size(), 1); // no Cancel
        QCOMPARE(buttons.first()->objectName() + " " + buttons.first()->text(), QStringLiteral("CMDOK OK"));
        // Active projects only, by name.
        QCOMPARE(ui::texts(picker->findChild<QListView *>(QStringLiteral("Dlist"))),
                 QStringList({"ANNEX", "HARBOR VIEW", "NORTH TOWER"}));
        // The dates changed while the picker is open are the ones passed on.
        QCOMPARE(dates("project", "1/31/2003", "2/10/03"), d);
        QVERIFY(QTest::qWaitForWindowExposed(picker));
        frmListofPickups *list = pick(picker, 1);
        QVERIFY(env->messages.calls.isEmpty());
        QVERIFY(!WindowRegistry::existing<frmreportdate>() && !WindowRegistry::existing<frmprojectlist>());
        QVERIFY(list && list->isVisible());
        QCOMPARE(list->listmode() + " " + list->ids(), QStringLiteral("showproject 2"));
        QCOMPARE(list->fromdate() + " " + list->todate(), QStringLiteral("1/31/2003 2/10/2003"));
        QCOMPARE(pickers(list), QStringList({"P2 ACME FEB 10", "P2 ACME JAN 31 LATE"}));
    }

    // Two subcontractors share a name: the row chosen decides which id goes on.
    void subcontractorPicker_data()
    {
        QTest::addColumn<qint64>("id");
        QTest::addColumn<QStringList>("rows");
        QTest::newRow("12") << qint64(12) << QStringList({"P2 ACME FEB 10", "P2 ACME JAN 31 LATE"});
        QTest::newRow("11") << qint64(11) << QStringList({"P1 ACME JAN 1"});
        QTest::newRow("40001") << qint64(40001) << QStringList({"BIG JAN 15"});
    }

    void subcontractorPicker()
    {
        QFETCH(qint64, id);
        QFETCH(QStringList, rows);
        frmreportdate *d = dates("subcontractor", "1/1/2003", "12/31/2003");
        QVERIFY(d);
        drive::click(ui::button(d, "cmdreport"));
        auto *picker = WindowRegistry::existing<frmsubcontractorlist>();
        QVERIFY(picker && QTest::qWaitForWindowExposed(picker));
        QCOMPARE(picker->windowTitle(), QStringLiteral("Subcontractor List"));
        // Every subcontractor of every project, by name.
        QCOMPARE(ui::texts(picker->findChild<QListView *>(QStringLiteral("Dlist"))),
                 QStringList({"ACME ELECTRIC", "ACME ELECTRIC", "BIG ID CO", "MIDWAY", "ZENITH ROOFING"}));
        frmListofPickups *list = pick(picker, picker->ADOlist()->findRow("id", id));
        QVERIFY(!WindowRegistry::existing<frmreportdate>() && !WindowRegistry::existing<frmsubcontractorlist>());
        QVERIFY(list && list->isVisible());
        QCOMPARE(list->listmode() + " " + list->ids(), "showsubcontractor " + QString::number(id));
        QCOMPARE(pickers(list), rows);
        QVERIFY(env->messages.calls.isEmpty());
    }

    void pickerNeedsASelection_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::newRow("project") << "project";
        QTest::newRow("subcontractor") << "subcontractor";
    }

    void pickerNeedsASelection()
    {
        QFETCH(QString, mode);
        frmreportdate *d = dates(mode, "1/1/2003", "1/31/2003");
        QVERIFY(d);
        drive::click(ui::button(d, "cmdreport"));
        QWidget *picker = mode == QLatin1String("project") ? static_cast<QWidget *>(WindowRegistry::existing<frmprojectlist>())
                                                           : WindowRegistry::existing<frmsubcontractorlist>();
        QVERIFY(picker && QTest::qWaitForWindowExposed(picker));
        drive::click(ui::button(picker, "CMDOK"));
        QCOMPARE(env->messages.texts(), QStringList({"Please select an item from the list"}));
        QCOMPARE(env->messages.calls.first().title, QStringLiteral("PROJECT"));
        QCOMPARE(env->messages.calls.first().buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
        QVERIFY(picker->isVisible() && d->isVisible());
        // Closing the picker abandons the report and leaves the date window open.
        picker->close();
        QVERIFY(d->isVisible() && !WindowRegistry::existing<frmListofPickups>());
    }

    void dateWindowClosedBeforeOK()
    {
        frmreportdate *d = dates("project", "1/1/2003", "1/31/2003");
        QVERIFY(d);
        drive::click(ui::button(d, "cmdreport"));
        auto *picker = WindowRegistry::existing<frmprojectlist>();
        QVERIFY(picker && QTest::qWaitForWindowExposed(picker));
        d->close();
        // No dates to pass on: said so, and no list on a broken query.
        QVERIFY(!pick(picker, 0));
        QCOMPARE(env->messages.texts(), QStringList({"please check dates"}));
        QCOMPARE(env->messages.calls.first().title, QStringLiteral("Report"));
        QVERIFY(!WindowRegistry::existing<frmprojectlist>());
    }

    // Shown again in another mode, the window keeps its dates and follows the new mode.
    void showdateAgainKeepsTheDates()
    {
        frmreportdate *d = dates("all", "1/1/03", "1/31/03");
        QVERIFY(d);
        d->showdate(QStringLiteral("subcontractor"));
        QCOMPARE(field(d, "Text1")->text() + " " + field(d, "Text2")->text(), QStringLiteral("1/1/2003 1/31/2003"));
        drive::click(ui::button(d, "cmdreport"));
        QVERIFY(WindowRegistry::existing<frmsubcontractorlist>() && !WindowRegistry::existing<frmprojectlist>());
        QVERIFY(!WindowRegistry::existing<frmListofPickups>() && d->isVisible());
    }

    void pickerListThatCannotBeRead()
    {
        db::closeMain();
        WindowRegistry::get<frmprojectlist>()->showlist();
        QCOMPARE(env->messages.calls.size(), 1);
        QVERIFY(env->messages.calls.first().text.startsWith(QStringLiteral("The list cannot be read")));
    }
};

QTEST_MAIN(TestReportDialogs)
#include "tst_reportdialogs.moc"
