// The list of pick-ups: its fills (a project, or a range of dates), printing, editing and deleting.
#include "support/windows.h"

// A fill of the list: its mode and what it is handed.
struct Fill
{
    QString mode, from = {}, to = {}, ids = {};
};
Q_DECLARE_METATYPE(Fill)

class TestListofPickups : public OfficeTest
{
    Q_OBJECT
    static frmListofPickups *list() { return window<frmListofPickups>(); }
    static QStringList pickers(frmListofPickups *w) { return ui::column(w->grid(), "pickupby"); }
    static void fill(frmListofPickups *w, const Fill &f)
    {
        if (f.mode == QLatin1String("showlist"))
            w->showlist(f.ids);
        else if (f.mode == QLatin1String("showall"))
            w->showall(f.from, f.to);
        else if (f.mode == QLatin1String("showproject"))
            w->showProject(f.from, f.to, f.ids);
        else
            w->showSubcontractor(f.from, f.to, f.ids);
    }
    int mainProjects() { return window<frmMain>()->AdoProjects()->model()->rowCount(); }

private slots:
    void fillModesAndPrint_data()
    {
        QTest::addColumn<Fill>("f");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QStringList>("rows");
        const QString all = QStringLiteral("All Pikups By date"), byCompany = QStringLiteral("Subcontractor Pickups by date");
        QTest::newRow("one project") << Fill{"showlist", "", "", "1"} << "List of Pick-ups" << QStringList({"J. SMITH", "M. GARCIA", "L. CHEN", "AFTER"});
        QTest::newRow("end with a time of day") << Fill{"showall", "12/31/2002 11:59:59 PM", "1/31/2003 4:30:00 PM"} << all
            << QStringList({"J. SMITH", "M. GARCIA", "L. CHEN", "OTHER PROJECT", "R. JOHNSON", "ORPHAN", "BIG ID PICKUP"});
        QTest::newRow("from after to") << Fill{"showall", "2/1/03", "1/1/2003"} << all << QStringList();
        QTest::newRow("project by date") << Fill{"showproject", "1/1/2003", "1/31/2003", "2"} << "Project Pickups by date"
                                         << QStringList({"OTHER PROJECT", "R. JOHNSON", "D. O'BRIEN", "ORPHAN"});
        QTest::newRow("subcontractor by date, any project") << Fill{"showsubcontractor", "1/1/2003", "1/31/2003", "10"} << byCompany
                                                            << QStringList({"J. SMITH", "L. CHEN", "OTHER PROJECT"});
    }

    // Each fill, and the report of the rows the grid shows; a range includes the whole end day.
    void fillModesAndPrint()
    {
        QFETCH(Fill, f);
        QFETCH(QString, title);
        QFETCH(QStringList, rows);
        frmListofPickups *w = list();
        fill(w, f);
        QVERIFY(QTest::qWaitForWindowExposed(w));
        QCOMPARE(sorted(pickers(w)), sorted(rows));
        QVERIFY(!w->ADOlist()->sql().contains(QStringLiteral("2003"))); // dates are bound, not pasted
        click(button(w, "CmdPrint"));
        if (rows.isEmpty()) {
            QCOMPARE(env->messages.said(), QStringList({"Quillbern|There are not Registers"}));
            QVERIFY(env->reports.calls.isEmpty());
            return;
        }
        QVERIFY(env->messages.calls.isEmpty());
        QCOMPARE(env->reports.calls.size(), 1);
        const RecordingReports::Call &job = env->reports.calls.first();
        QCOMPARE(job.kind, RecordingReports::Kind::Print);
        QCOMPARE(job.layoutName, QStringLiteral("DrpListofPickups"));
        QCOMPARE(job.title, title);
        QCOMPARE(ui::column(job.rows, "pickupby"), pickers(w)); // in the grid's order
        for (const QString &name : ui::column(w->grid(), "name") + rows) // the query's columns reach the layout
            QVERIFY2(job.printed.contains(name), qPrintable(name));
    }

    void datesThatCannotBeRead_data()
    {
        QTest::addColumn<Fill>("f");
        QTest::newRow("start empty") << Fill{"showproject", "", "1/31/2003", "2"};
        QTest::newRow("end empty") << Fill{"showsubcontractor", "1/1/2003", "", "2"};
    }

    // "please check dates" instead of a broken query; a closed list stays closed, an open one keeps its state.
    void datesThatCannotBeRead()
    {
        QFETCH(Fill, f);
        fill(list(), f);
        QCOMPARE(env->messages.said(), QStringList({"Report|please check dates"}));
        QVERIFY(!WindowRegistry::existing<frmListofPickups>());
        frmListofPickups *w = list();
        w->showlist(QStringLiteral("1"));
        fill(w, f);
        QCOMPARE(env->messages.calls.size(), 2);
        QCOMPARE(w->listmode() + w->ids() + w->fromdate(), QStringLiteral("showlist1"));
        QCOMPARE(pickers(w).size(), 4);
    }

    // A fill keeps what it does not replace; printing reads anew from the kept state; closing forgets it all.
    void stateKeptAcrossFills()
    {
        frmListofPickups *w = list();
        w->showProject(QStringLiteral("1/1/2003"), QStringLiteral("1/31/2003"), QStringLiteral("2"));
        QVERIFY(QTest::qWaitForWindowExposed(w));
        // The pick-up whose subcontractor is gone shows with an empty name; dates in short form.
        QCOMPARE(sorted(ui::column(w->grid(), "name")), QStringList({"", "ACME ELECTRIC", "ACME ELECTRIC", "HARBOR GLASS"}));
        const QModelIndex date = w->grid()->model()->index(w->ADOlist()->findRow("id", 107), w->ADOlist()->column("pickupdate"));
        QCOMPARE(qobject_cast<QStyledItemDelegate *>(w->grid()->itemDelegateForIndex(date))->displayText(date.data(), QLocale()),
                 QStringLiteral("1/31/2003 11:59:59 PM"));
        // showall keeps the project id, but its query and its print ignore it.
        w->showall(QStringLiteral("1/31/2003"), QStringLiteral("2/1/2003"));
        QCOMPARE(w->ids(), QStringLiteral("2"));
        QCOMPARE(sorted(pickers(w)), sorted({"OTHER PROJECT", "R. JOHNSON", "D. O'BRIEN", "AFTER"}));
        click(button(w, "CmdPrint"));
        QCOMPARE(env->reports.calls.last().title + QString::number(env->reports.calls.last().rows.size()), QStringLiteral("All Pikups By date4"));
        w->showlist(QStringLiteral("1")); // keeps the dates
        QCOMPARE(w->fromdate() + " " + w->todate(), QStringLiteral("1/31/2003 2/1/2003"));
        w->showSubcontractor(QStringLiteral("1/1/2003"), QStringLiteral("1/1/2003"), QStringLiteral("10"));
        QCOMPARE(pickers(w), QStringList({"L. CHEN"}));
        QVERIFY(env->exec("INSERT INTO pickuplog (idproject, idauthorizedcompany, pickupdate, pickupby) VALUES (1, 10, '2003-01-01 08:00:00', 'EARLY BIRD')"));
        click(button(w, "CmdPrint"));
        QCOMPARE(env->reports.calls.last().title + QString::number(env->reports.calls.last().rows.size()),
                 QStringLiteral("Subcontractor Pickups by date2"));
        QVERIFY(env->messages.calls.isEmpty());
        w->close();
        QCOMPARE(list()->ids() + list()->listmode(), QString());
    }

    // RefreshList acts only while shown; Edit takes the row selected first, else the cursor row.
    void refreshAndEdit()
    {
        list()->RefreshList();
        QVERIFY(!list()->isVisible());
        frmListofPickups *w = list();
        w->showall(QStringLiteral("1/1/2003"), QStringLiteral("12/31/2003"));
        QVERIFY(QTest::qWaitForWindowExposed(w));
        click(button(w, "CmdEdit"));
        auto *editor = WindowRegistry::existing<frmPickupForm>();
        QVERIFY(editor && editor->isVisible() && w->isVisible());
        QCOMPARE(ui::field(editor, "TxtPickupBy")->text(), pickers(w).first());
        editor->close();
        clickRow(w->grid(), w->ADOlist()->findRow("id", 109));
        clickRow(w->grid(), w->ADOlist()->findRow("id", 101), Qt::ControlModifier);
        click(button(w, "CmdEdit"));
        editor = WindowRegistry::existing<frmPickupForm>();
        QCOMPARE(ui::field(editor, "TxtCompany")->text() + QString::number(editor->ProjectId()), QStringLiteral("FAR CO40000"));
        ui::field(editor, "TxtPickupBy")->setText(QStringLiteral("CHANGED IN EDITOR"));
        click(button(editor, "cmdsave"));
        QVERIFY(pickers(w).contains(QStringLiteral("CHANGED IN EDITOR")));
        QVERIFY(env->messages.calls.isEmpty());
    }

    // Delete removes only the pick-up, the main window re-reads; on an empty list Edit and Delete do nothing.
    void deleteAndClose()
    {
        for (int i = 0; i < 2; ++i) {
            const qint64 id = i ? 103 : 101;
            frmListofPickups *w = list();
            w->showlist(QStringLiteral("1"));
            QVERIFY(QTest::qWaitForWindowExposed(w));
            const int projectsBefore = mainProjects();
            QVERIFY(writtenElsewhere(*env, {"INSERT INTO project (projectname) VALUES ('ADDED')"}));
            clickRow(w->grid(), w->ADOlist()->findRow("id", id));
            click(button(w, "CmdDelete"));
            QCOMPARE(env->count("pickuplog WHERE id = ?", {id}) * 10 + env->count("authorizedcompanies WHERE id = 10"), 1);
            QCOMPARE(w->ADOlist()->findRow("id", id), -1);
            QTRY_COMPARE(mainProjects(), projectsBefore + 1);
            QVERIFY(writtenElsewhere(*env, {"INSERT INTO project (projectname) VALUES ('ADDED')"}));
            w->showlist(QStringLiteral("77"));
            click(button(w, "CmdEdit"));
            click(button(w, "CmdDelete"));
            QCOMPARE(env->count("pickuplog"), 8 - i);
            click(button(w, i ? "CmdCancel" : "CmdAcept"));
            QVERIFY(!WindowRegistry::existing<frmListofPickups>() && !WindowRegistry::existing<frmPickupForm>());
            QTRY_COMPARE(mainProjects(), projectsBefore + 2);
        }
        QVERIFY(env->messages.calls.isEmpty());
    }
};

QTEST_MAIN(TestListofPickups)
#include "tst_listofpickups.moc"
