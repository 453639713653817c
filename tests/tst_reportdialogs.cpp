#include "support/testenv.h"
#include "pickupsupport.h"

#include "app/windowregistry.h"
#include "db/database.h"
#include "db/datasource.h"
#include "reports/frmprojectlist.h"
#include "reports/frmreportdate.h"
#include "reports/frmsubcontractorlist.h"
#include "ui/lists/frmListofPickups.h"

#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QSqlQueryModel>
#include <QTest>

namespace {

QLineEdit *edit(QWidget *w, const char *name)
{
    return w->findChild<QLineEdit *>(QLatin1String(name));
}

QStringList entries(QListView *v)
{
    QStringList out;
    for (int r = 0; r < v->model()->rowCount(); ++r)
        out << v->model()->index(r, v->modelColumn()).data().toString();
    return out;
}

QStringList pickers(frmListofPickups *w)
{
    QStringList out;
    for (int r = 0; r < w->ADOlist()->model()->rowCount(); ++r)
        out << w->ADOlist()->value(r, QStringLiteral("pickupby")).toString();
    out.sort();
    return out;
}

} // namespace

class TestReportDialogs : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void dateWindow();
    void dateFieldsAreChecked_data();
    void dateFieldsAreChecked();
    void reportChecksTheRange_data();
    void reportChecksTheRange();
    void projectPicker();
    void subcontractorPicker();
    void pickerNeedsASelection_data();
    void pickerNeedsASelection();
    void dateWindowClosedBeforeOK();
    void showdateAgainKeepsTheDates();
    void pickerListThatCannotBeRead();

private:
    std::unique_ptr<TestEnv> env;
    frmreportdate *openDates(const QString &mode);
    void typeDates(frmreportdate *w, const QString &start, const QString &end);
};

void TestReportDialogs::init()
{
    env = std::make_unique<TestEnv>();
    QVERIFY(env->createDatabase());
    QVERIFY(env->exec(QStringLiteral(
        "INSERT INTO project (id, projectname, company, active) VALUES "
        "(1, 'NORTH TOWER', 'ATLAS', -1), (2, 'HARBOR VIEW', 'CITY', -1), (3, 'ASLEEP', 'OLD', 0), "
        "(40000, 'ANNEX', 'WIDE', -1)")));
    QVERIFY(env->exec(QStringLiteral(
        "INSERT INTO authorizedcompanies (id, idproject, name) VALUES "
        "(10, 1, 'ZENITH ROOFING'), (11, 1, 'ACME ELECTRIC'), (12, 2, 'ACME ELECTRIC'), (13, 3, 'MIDWAY'), "
        "(40001, 40000, 'BIG ID CO')")));
    QVERIFY(env->exec(QStringLiteral(
        "INSERT INTO pickuplog (idproject, idauthorizedcompany, pickupdate, pickupby) VALUES "
        "(1, 11, '2003-01-01', 'P1 ACME JAN 1'), (2, 12, '2003-01-31 16:30:00', 'P2 ACME JAN 31 LATE'), "
        "(1, 10, '2003-02-01', 'P1 ZENITH FEB 1'), (2, 12, '2003-02-10', 'P2 ACME FEB 10'), "
        "(40000, 40001, '2003-01-15', 'BIG JAN 15')")));
}

void TestReportDialogs::cleanup()
{
    env.reset();
}

frmreportdate *TestReportDialogs::openDates(const QString &mode)
{
    auto *w = WindowRegistry::get<frmreportdate>();
    w->showdate(mode);
    return w;
}

// Typed by hand, each field left with Tab so that it is checked.
void TestReportDialogs::typeDates(frmreportdate *w, const QString &start, const QString &end)
{
    w->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(w));
    for (const auto &[name, text] : {QPair<const char *, QString>("Text1", start), QPair<const char *, QString>("Text2", end)}) {
        QLineEdit *f = edit(w, name);
        f->setFocus();
        f->selectAll();
        drive::key(w, Qt::Key_Backspace);
        drive::type(w, text);
        drive::key(w, Qt::Key_Tab);
    }
}

void TestReportDialogs::dateWindow()
{
    frmreportdate *w = openDates(QStringLiteral("all"));
    QVERIFY(w->isVisible());
    QVERIFY(!w->isModal());
    QCOMPARE(w->windowTitle(), QStringLiteral("Project Report"));
    QCOMPARE(w->menuselected(), QStringLiteral("all"));
    QLineEdit *start = edit(w, "Text1");
    QLineEdit *end = edit(w, "Text2");
    auto *report = w->findChild<QPushButton *>(QStringLiteral("cmdreport"));
    QVERIFY(start && end && report);
    QCOMPARE(report->text(), QStringLiteral("Report"));
    const QList<QPair<const char *, QLineEdit *>> labels = {{"Label1", start}, {"Label2", end}};
    const QStringList texts = {"Start date:", "End date:"};
    for (int i = 0; i < 2; ++i) {
        auto *l = w->findChild<QLabel *>(QLatin1String(labels.at(i).first));
        QVERIFY(l);
        QCOMPARE(l->text(), texts.at(i));
        QVERIFY(l->font().bold());
        QCOMPARE(l->buddy(), labels.at(i).second);
    }
    // Side by side, the button at the right; Tab walks start, end, Report.
    QVERIFY(start->x() < end->x() && end->x() < report->x());
    w->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(w));
    start->setFocus();
    drive::key(w, Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), end);
    drive::key(w, Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), report);
    // No capitals here: only the editors convert typing.
    start->setFocus();
    drive::type(w, QStringLiteral("mar 7"));
    QCOMPARE(start->text(), QStringLiteral("mar 7"));
}

void TestReportDialogs::dateFieldsAreChecked_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("shown");
    QTest::newRow("short year") << "12/05/26" << "12/5/2026";
    QTest::newRow("day first") << "13/12/2003" << "12/13/2003";
    QTest::newRow("31 April") << "4/31/2003" << "";
    QTest::newRow("30 February") << "2/30/2003" << "";
    QTest::newRow("letters") << "abc" << "";
    QTest::newRow("year 29") << "6/1/29" << "6/1/2029";
    QTest::newRow("year 30") << "6/1/30" << "6/1/1930";
    QTest::newRow("time of day") << "1/31/2003 4:30 pm" << "1/31/2003 4:30:00 PM";
}

void TestReportDialogs::dateFieldsAreChecked()
{
    QFETCH(QString, typed);
    QFETCH(QString, shown);
    frmreportdate *w = openDates(QStringLiteral("all"));
    typeDates(w, typed, typed);
    QCOMPARE(edit(w, "Text1")->text(), shown);
    QCOMPARE(edit(w, "Text2")->text(), shown);
    QVERIFY(env->messages.calls.isEmpty());
}

void TestReportDialogs::reportChecksTheRange_data()
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
    QTest::newRow("start not a date") << "someday" << "1/31/2003" << QStringList();
    QTest::newRow("end 31 April") << "4/1/2003" << "4/31/2003" << QStringList();
    QTest::newRow("1929 is after 1930") << "1/1/30" << "1/1/29"
                                        << QStringList({"BIG JAN 15", "P1 ACME JAN 1", "P1 ZENITH FEB 1",
                                                        "P2 ACME FEB 10", "P2 ACME JAN 31 LATE"});
    QTest::newRow("2029 is not before 1930") << "1/1/29" << "1/1/30" << QStringList();
}

void TestReportDialogs::reportChecksTheRange()
{
    QFETCH(QString, start);
    QFETCH(QString, end);
    QFETCH(QStringList, rows);
    frmreportdate *w = openDates(QStringLiteral("all"));
    typeDates(w, start, end);
    const QString shownStart = edit(w, "Text1")->text();
    const QString shownEnd = edit(w, "Text2")->text();
    drive::click(w->findChild<QPushButton *>(QStringLiteral("cmdreport")));
    if (rows.isEmpty()) {
        QCOMPARE(env->messages.texts(), QStringList({"please check dates"}));
        QCOMPARE(env->messages.calls.first().title, QStringLiteral("Report"));
        QCOMPARE(env->messages.calls.first().buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
        QVERIFY(WindowRegistry::existing<frmreportdate>() == w && w->isVisible());
        QCOMPARE(QApplication::focusWidget(), edit(w, "Text1"));
        QVERIFY(!WindowRegistry::existing<frmListofPickups>());
        return;
    }
    QVERIFY(env->messages.calls.isEmpty());
    QVERIFY(!WindowRegistry::existing<frmreportdate>());
    auto *list = WindowRegistry::existing<frmListofPickups>();
    QVERIFY(list && list->isVisible());
    QCOMPARE(list->listmode(), QStringLiteral("showall"));
    QCOMPARE(pickers(list), rows);
    // The texts as the fields showed them, checked.
    QCOMPARE(list->fromdate(), shownStart);
    QCOMPARE(list->todate(), shownEnd);
    QVERIFY(QTest::qWaitForWindowExposed(list));
    drive::click(list->findChild<QPushButton *>(QStringLiteral("CmdPrint")));
    QCOMPARE(env->reports.calls.size(), 1);
    QCOMPARE(env->reports.calls.first().title, QStringLiteral("All Pikups By date"));
    QCOMPARE(env->reports.calls.first().rows.size(), rows.size());
}

void TestReportDialogs::projectPicker()
{
    frmreportdate *dates = openDates(QStringLiteral("project"));
    typeDates(dates, QStringLiteral("1/1/2003"), QStringLiteral("1/31/2003"));
    drive::click(dates->findChild<QPushButton *>(QStringLiteral("cmdreport")));
    auto *picker = WindowRegistry::existing<frmprojectlist>();
    QVERIFY(picker && picker->isVisible());
    QVERIFY(dates->isVisible()); // kept open: the picker reads the dates later
    QVERIFY(!WindowRegistry::existing<frmListofPickups>());
    QCOMPARE(picker->windowTitle(), QStringLiteral("Project list"));
    const QList<QPushButton *> buttons = picker->findChildren<QPushButton *>();
    QCOMPARE(buttons.size(), 1); // no Cancel
    QCOMPARE(buttons.first()->objectName(), QStringLiteral("CMDOK"));
    QCOMPARE(buttons.first()->text(), QStringLiteral("OK"));
    auto *dlist = picker->findChild<QListView *>(QStringLiteral("Dlist"));
    QVERIFY(dlist);
    // Active projects only, by name.
    QCOMPARE(entries(dlist), QStringList({"ANNEX", "HARBOR VIEW", "NORTH TOWER"}));

    // The dates changed while the picker is open are the ones passed on.
    typeDates(dates, QStringLiteral("1/31/2003"), QStringLiteral("2/10/03"));
    QVERIFY(QTest::qWaitForWindowExposed(picker));
    drive::clickRow(dlist, 1, {}, dlist->modelColumn());
    drive::click(buttons.first());
    QVERIFY(env->messages.calls.isEmpty());
    QVERIFY(!WindowRegistry::existing<frmreportdate>());
    QVERIFY(!WindowRegistry::existing<frmprojectlist>());
    auto *list = WindowRegistry::existing<frmListofPickups>();
    QVERIFY(list && list->isVisible());
    QCOMPARE(list->listmode(), QStringLiteral("showproject"));
    QCOMPARE(list->ids(), QStringLiteral("2"));
    QCOMPARE(list->fromdate(), QStringLiteral("1/31/2003"));
    QCOMPARE(list->todate(), QStringLiteral("2/10/2003"));
    QCOMPARE(pickers(list), QStringList({"P2 ACME FEB 10", "P2 ACME JAN 31 LATE"}));

    QVERIFY(QTest::qWaitForWindowExposed(list));
    drive::click(list->findChild<QPushButton *>(QStringLiteral("CmdPrint")));
    QCOMPARE(env->reports.calls.size(), 1);
    const RecordingReports::Call &job = env->reports.calls.first();
    QCOMPARE(job.title, QStringLiteral("Project Pickups by date"));
    QCOMPARE(job.rows.size(), 2);
    if (!pdftools::available())
        QSKIP("pdftotext is not installed");
    const QString pdf = pdftools::text(job.pdfPath);
    QVERIFY2(pdf.contains(QStringLiteral("Project Pickups by date")), qPrintable(pdf));
    QVERIFY2(pdf.contains(QStringLiteral("P2 ACME FEB 10")) && pdf.contains(QStringLiteral("P2 ACME JAN 31 LATE")),
             qPrintable(pdf));
    QVERIFY2(!pdf.contains(QStringLiteral("P1 ")), qPrintable(pdf));
}

void TestReportDialogs::subcontractorPicker()
{
    struct Choice
    {
        qint64 id;
        QString ids;
        QStringList rows;
    };
    // Two subcontractors share a name: the row chosen decides which id goes on.
    const QList<Choice> choices = {{12, "12", {"P2 ACME FEB 10", "P2 ACME JAN 31 LATE"}},
                                   {11, "11", {"P1 ACME JAN 1"}},
                                   {40001, "40001", {"BIG JAN 15"}}};
    for (const Choice &c : choices) {
        frmreportdate *dates = openDates(QStringLiteral("subcontractor"));
        typeDates(dates, QStringLiteral("1/1/2003"), QStringLiteral("12/31/2003"));
        drive::click(dates->findChild<QPushButton *>(QStringLiteral("cmdreport")));
        auto *picker = WindowRegistry::existing<frmsubcontractorlist>();
        QVERIFY(picker && picker->isVisible());
        QCOMPARE(picker->windowTitle(), QStringLiteral("Subcontractor List"));
        auto *dlist = picker->findChild<QListView *>(QStringLiteral("Dlist"));
        // Every subcontractor of every project, by name.
        QCOMPARE(entries(dlist), QStringList({"ACME ELECTRIC", "ACME ELECTRIC", "BIG ID CO", "MIDWAY", "ZENITH ROOFING"}));
        const int row = picker->ADOlist()->findRow(QStringLiteral("id"), c.id);
        QVERIFY(row >= 0);
        QVERIFY(QTest::qWaitForWindowExposed(picker));
        drive::clickRow(dlist, row, {}, dlist->modelColumn());
        drive::click(picker->findChild<QPushButton *>(QStringLiteral("CMDOK")));
        QVERIFY(!WindowRegistry::existing<frmreportdate>());
        QVERIFY(!WindowRegistry::existing<frmsubcontractorlist>());
        auto *list = WindowRegistry::existing<frmListofPickups>();
        QVERIFY(list && list->isVisible());
        QCOMPARE(list->listmode(), QStringLiteral("showsubcontractor"));
        QCOMPARE(list->ids(), c.ids);
        QCOMPARE(pickers(list), c.rows);
    }
    QVERIFY(env->messages.calls.isEmpty());
}

void TestReportDialogs::pickerNeedsASelection_data()
{
    QTest::addColumn<QString>("mode");
    QTest::newRow("project") << "project";
    QTest::newRow("subcontractor") << "subcontractor";
}

void TestReportDialogs::pickerNeedsASelection()
{
    QFETCH(QString, mode);
    frmreportdate *dates = openDates(mode);
    typeDates(dates, QStringLiteral("1/1/2003"), QStringLiteral("1/31/2003"));
    drive::click(dates->findChild<QPushButton *>(QStringLiteral("cmdreport")));
    QWidget *picker = mode == QLatin1String("project") ? static_cast<QWidget *>(WindowRegistry::existing<frmprojectlist>())
                                                       : WindowRegistry::existing<frmsubcontractorlist>();
    QVERIFY(picker && picker->isVisible());
    QVERIFY(QTest::qWaitForWindowExposed(picker));
    drive::click(picker->findChild<QPushButton *>(QStringLiteral("CMDOK")));
    QCOMPARE(env->messages.texts(), QStringList({"Please select an item from the list"}));
    QCOMPARE(env->messages.calls.first().title, QStringLiteral("PROJECT"));
    QCOMPARE(env->messages.calls.first().buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    QVERIFY(picker->isVisible());
    QVERIFY(dates->isVisible());
    QVERIFY(!WindowRegistry::existing<frmListofPickups>());
    // Closing the picker abandons the report and leaves the date window open.
    picker->close();
    QVERIFY(dates->isVisible());
    QVERIFY(!WindowRegistry::existing<frmListofPickups>());
}

void TestReportDialogs::dateWindowClosedBeforeOK()
{
    frmreportdate *dates = openDates(QStringLiteral("project"));
    typeDates(dates, QStringLiteral("1/1/2003"), QStringLiteral("1/31/2003"));
    drive::click(dates->findChild<QPushButton *>(QStringLiteral("cmdreport")));
    auto *picker = WindowRegistry::existing<frmprojectlist>();
    QVERIFY(picker);
    dates->close();
    QVERIFY(!WindowRegistry::existing<frmreportdate>());
    auto *dlist = picker->findChild<QListView *>(QStringLiteral("Dlist"));
    QVERIFY(QTest::qWaitForWindowExposed(picker));
    drive::clickRow(dlist, 0, {}, dlist->modelColumn());
    drive::click(picker->findChild<QPushButton *>(QStringLiteral("CMDOK")));
    // No dates to pass on: said so, and no list on a broken query.
    QCOMPARE(env->messages.texts(), QStringList({"please check dates"}));
    QCOMPARE(env->messages.calls.first().title, QStringLiteral("Report"));
    QVERIFY(!WindowRegistry::existing<frmListofPickups>());
    QVERIFY(!WindowRegistry::existing<frmprojectlist>());
}

void TestReportDialogs::showdateAgainKeepsTheDates()
{
    frmreportdate *dates = openDates(QStringLiteral("all"));
    typeDates(dates, QStringLiteral("1/1/03"), QStringLiteral("1/31/03"));
    QCOMPARE(WindowRegistry::get<frmreportdate>(), dates);
    dates->showdate(QStringLiteral("subcontractor"));
    QCOMPARE(dates->menuselected(), QStringLiteral("subcontractor"));
    QCOMPARE(edit(dates, "Text1")->text(), QStringLiteral("1/1/2003"));
    QCOMPARE(edit(dates, "Text2")->text(), QStringLiteral("1/31/2003"));
    drive::click(dates->findChild<QPushButton *>(QStringLiteral("cmdreport")));
    QVERIFY(WindowRegistry::existing<frmsubcontractorlist>());
    QVERIFY(!WindowRegistry::existing<frmprojectlist>());
    QVERIFY(!WindowRegistry::existing<frmListofPickups>());
    QVERIFY(dates->isVisible());
}

void TestReportDialogs::pickerListThatCannotBeRead()
{
    db::closeMain();
    WindowRegistry::get<frmprojectlist>()->showlist();
    QCOMPARE(env->messages.calls.size(), 1);
    QVERIFY2(env->messages.calls.first().text.startsWith(QStringLiteral("The list cannot be read")),
             qPrintable(env->messages.calls.first().text));
}

QTEST_MAIN(TestReportDialogs)
#include "tst_reportdialogs.moc"
