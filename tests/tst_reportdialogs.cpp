// The reports by date: the date window and the project and subcontractor pickers it leads to.
#include "support/windows.h"

class TestReportDialogs : public OfficeTest
{
    Q_OBJECT
    // The date window in `mode`, both dates typed by hand and left with Tab so that they are checked.
    static frmreportdate *dates(const QString &mode, const QString &start, const QString &end)
    {
        auto *w = window<frmreportdate>();
        w->showdate(mode);
        w->activateWindow();
        if (!QTest::qWaitForWindowActive(w))
            return nullptr;
        for (const auto &[name, text] : {std::pair("Text1", start), std::pair("Text2", end)}) {
            retype(w, name, text);
            key(w, Qt::Key_Tab);
        }
        return w;
    }
    // "Report" in the date window; the picker it opens.
    template <class Picker> static Picker *report(frmreportdate *d)
    {
        click(ui::button(d, "cmdreport"));
        auto *picker = WindowRegistry::existing<Picker>();
        return picker && QTest::qWaitForWindowExposed(picker) ? picker : nullptr;
    }
    static QStringList listed(QWidget *picker) { return ui::texts(picker->findChild<QListView *>(QStringLiteral("Dlist"))); }
    // Clicks `row` of the picker and "OK"; the list of pick-ups it opens.
    static frmListofPickups *pick(QWidget *picker, int row)
    {
        clickRow(picker->findChild<QListView *>(QStringLiteral("Dlist")), row);
        click(ui::button(picker, "CMDOK"));
        return WindowRegistry::existing<frmListofPickups>();
    }

private slots:
    void reportChecksTheRange_data()
    {
        QTest::addColumn<QString>("start");
        QTest::addColumn<QString>("end");
        QTest::addColumn<QStringList>("rows"); // empty: rejected
        QTest::newRow("start equals end") << "1/31/2003" << "1/31/2003" << QStringList({"D. O'BRIEN", "OTHER PROJECT", "R. JOHNSON"});
        QTest::newRow("end before start") << "2/1/2003" << "1/31/2003" << QStringList();
        QTest::newRow("start empty") << "" << "1/31/2003" << QStringList();
        QTest::newRow("end 31 April") << "4/1/2003" << "4/31/2003" << QStringList();
    }

    // "Report" in mode "all": "please check dates" (focus back to the start), or the list filled.
    void reportChecksTheRange()
    {
        QFETCH(QString, start);
        QFETCH(QString, end);
        QFETCH(QStringList, rows);
        frmreportdate *w = dates("all", start, end);
        QVERIFY(w && !w->isModal());
        const QString shown = field(w, "Text1")->text() + " " + field(w, "Text2")->text();
        click(ui::button(w, "cmdreport"));
        auto *list = WindowRegistry::existing<frmListofPickups>();
        if (rows.isEmpty()) {
            QCOMPARE(env->messages.said(), QStringList({"Report|please check dates"}));
            QCOMPARE(env->messages.calls.first().buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
            QVERIFY(w->isVisible() && !list);
            QCOMPARE(QApplication::focusWidget(), field(w, "Text1"));
            return;
        }
        QVERIFY(env->messages.calls.isEmpty());
        QVERIFY(!WindowRegistry::existing<frmreportdate>() && list && list->isVisible());
        QCOMPARE(sorted(column(list->grid(), "pickupby")), rows);
        QCOMPARE(list->fromdate() + " " + list->todate(), shown); // the texts as the fields showed them
    }

    // Active projects by name; the dates changed while the picker is open are the ones passed on.
    void projectPicker()
    {
        frmreportdate *d = dates("project", "1/1/2003", "1/31/2003");
        auto *picker = report<frmprojectlist>(d);
        QVERIFY(picker && d->isVisible() && !WindowRegistry::existing<frmListofPickups>());
        QCOMPARE(listed(picker), QStringList({"ANNEX", "ELM SCHOOL", "ELM SCHOOL", "EMPTY LOT", "NORTH TOWER"}));
        QCOMPARE(dates("project", "1/15/2003", "2/10/03"), d);
        QVERIFY(QTest::qWaitForWindowExposed(picker));
        frmListofPickups *list = pick(picker, 4);
        QVERIFY(env->messages.calls.isEmpty());
        QVERIFY(!WindowRegistry::existing<frmreportdate>() && !WindowRegistry::existing<frmprojectlist>());
        QVERIFY(list && list->isVisible());
        QCOMPARE(list->listmode() + " " + list->ids() + " " + list->fromdate() + " " + list->todate(),
                 QStringLiteral("showproject 1 1/15/2003 2/10/2003"));
    }

    // Every subcontractor by name; of two with one name, the row chosen decides which id goes on.
    void subcontractorPicker_data()
    {
        QTest::addColumn<qint64>("id");
        QTest::newRow("13") << qint64(13);
        QTest::newRow("10") << qint64(10);
        QTest::newRow("40001") << qint64(40001);
    }

    void subcontractorPicker()
    {
        QFETCH(qint64, id);
        auto *picker = report<frmsubcontractorlist>(dates("subcontractor", "1/1/2003", "12/31/2003"));
        QVERIFY(picker);
        QCOMPARE(listed(picker), QStringList({"ACME ELECTRIC", "ACME ELECTRIC", "FAR CO", "HARBOR GLASS", "O'NEIL PLUMBING", "ZENITH ROOFING"}));
        frmListofPickups *list = pick(picker, picker->ADOlist()->findRow("id", id));
        QVERIFY(list && list->isVisible());
        QCOMPARE(list->listmode() + " " + list->ids() + " " + list->fromdate() + " " + list->todate(),
                 "showsubcontractor " + QString::number(id) + " 1/1/2003 12/31/2003");
        QVERIFY(env->messages.calls.isEmpty());
    }

    // OK with nothing chosen is said; a closed picker leaves the date window; with that closed there are no dates.
    // Shown again in another mode, the date window keeps its dates and follows the new mode. A list that cannot be read says so.
    void pickerWithoutChoiceOrDates()
    {
        frmreportdate *d = dates("all", "1/1/03", "1/31/03");
        QVERIFY(d);
        d->showdate(QStringLiteral("project"));
        QCOMPARE(field(d, "Text1")->text() + " " + field(d, "Text2")->text(), QStringLiteral("1/1/2003 1/31/2003"));
        auto *picker = report<frmprojectlist>(d);
        QVERIFY(picker && !WindowRegistry::existing<frmListofPickups>());
        click(ui::button(picker, "CMDOK"));
        QCOMPARE(env->messages.said(), QStringList({"PROJECT|Please select an item from the list"}));
        QVERIFY(picker->isVisible() && d->isVisible());
        picker->close();
        QVERIFY(d->isVisible() && !WindowRegistry::existing<frmListofPickups>());
        env->messages.clear();
        QVERIFY((picker = report<frmprojectlist>(d)));
        d->close();
        QVERIFY(!pick(picker, 0));
        QCOMPARE(env->messages.said(), QStringList({"Report|please check dates"}));
        QVERIFY(!WindowRegistry::existing<frmprojectlist>());
        env->messages.clear();
        db::closeMain();
        window<frmprojectlist>()->showlist();
        QCOMPARE(env->messages.calls.size(), 1);
        QVERIFY(env->messages.calls.first().text.startsWith(QStringLiteral("The list cannot be read")));
    }
};

QTEST_MAIN(TestReportDialogs)
#include "tst_reportdialogs.moc"
