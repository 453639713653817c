// The project and subcontractor editors and their list windows.
#include "support/windows.h"

class TestProjects : public OfficeTest
{
    Q_OBJECT
    QStringList mainProjects() { return ui::texts(window<frmMain>()->findChild<QListView *>(QStringLiteral("dbProject"))); }
    static QWidget *active(QWidget *w) { return w && QTest::qWaitForWindowActive(w) ? w : nullptr; }

private slots:
    void init()
    {
        OfficeTest::init();
        window<frmMain>()->show();
    }

    // Typed text is saved as shown; each opening starts empty; an empty project saves.
    void newProject()
    {
        window<frmMain>()->findChild<QAction *>(QStringLiteral("mnuProNewProject"))->trigger();
        QWidget *w = active(WindowRegistry::existing<frmNewProject>());
        QVERIFY(w);
        field(w, "TxtCompany")->setFocus();
        type(w, QStringLiteral("o'neil & sons"));
        key(w, Qt::Key_Return);
        type(w, QStringLiteral("river 'quote' \"x\"; drop table project"));
        press(w, "cmdsave");
        QTRY_VERIFY(!WindowRegistry::existing<frmNewProject>());
        QCOMPARE(env->scalar("SELECT company || '|' || active FROM project WHERE id = (SELECT max(id) FROM project)").toString(), QStringLiteral("O'NEIL & SONS|0"));
        QVERIFY(mainProjects().contains(QStringLiteral("RIVER 'QUOTE' \"X\"; DROP TABLE PROJECT")));
        window<frmNewProject>()->NewProject();
        QVERIFY((w = active(WindowRegistry::existing<frmNewProject>())));
        QCOMPARE(field(w, "TxtCompany")->text() + field(w, "TxtProjectName")->text(), QString());
        w->findChild<QCheckBox *>(QStringLiteral("chkActive"))->setFocus();
        key(w, Qt::Key_Space);
        press(w, "cmdsave");
        QCOMPARE(env->scalar("SELECT active || coalesce(projectname, '<NULL>') FROM project WHERE id = (SELECT max(id) FROM project)").toString(), QStringLiteral("-1<NULL>"));
    }

    void editorsClose_data()
    {
        QTest::addColumn<QString>("editor");
        QTest::addColumn<QString>("how"); // empty: the title bar's close box
        for (const char *editor : {"project", "company", "pickup"})
            for (const char *how : {"cmdsave", "CmdCancel", ""})
                if (QLatin1String(editor) != "pickup" || QLatin1String(how) != "cmdsave") // needs a subcontractor
                    QTest::addRow("%s, %s", editor, *how ? how : "close box") << editor << how;
    }

    // Only "Save" writes; saving, and any close of the subcontractor or pick-up editor, refreshes the main window.
    void editorsClose()
    {
        QFETCH(QString, editor);
        QFETCH(QString, how);
        QWidget *w = openEditor(editor);
        QVERIFY(w);
        type(w, QStringLiteral("x"));
        // Written by another program (on a server another desk, which announces it itself).
        QVERIFY(writtenElsewhere(*env, {"INSERT INTO project (projectname) VALUES ('ADDED ELSEWHERE')"}));
        how.isEmpty() ? void(w->close()) : press(w, qPrintable(how));
        QTRY_VERIFY(!WindowRegistry::existing<frmNewProject>() && !WindowRegistry::existing<frmAuthorizedCompanies>()
                    && !WindowRegistry::existing<frmPickupForm>());
        QTRY_COMPARE(mainProjects().contains(QStringLiteral("ADDED ELSEWHERE")), TestEnv::onServer() || editor != "project" || how == "cmdsave");
        QCOMPARE(env->count("project WHERE company = 'X'") + env->count("authorizedcompanies WHERE name = 'X' AND idproject = 1"),
                 how == QLatin1String("cmdsave") ? 1 : 0);
        QCOMPARE(env->count("pickuplog"), 9);
    }

    // Active or not; Edit; RefreshList only while shown; Delete: the first selected row only.
    void listOfProjects()
    {
        window<frmMain>()->findChild<QAction *>(QStringLiteral("mnuProListofProjects"))->trigger();
        auto *list = WindowRegistry::existing<frmListofProjects>();
        QVERIFY(list && QTest::qWaitForWindowExposed(list));
        QCOMPARE(column(list->grid(), "company"), QStringList({"WIDE", "BOARD", "COUNTY", "VACANT", "ATLAS"}));
        QTest::mouseClick(list->findChild<QCheckBox *>(QStringLiteral("chkactive")), Qt::LeftButton);
        QCOMPARE(column(list->grid(), "projectname") << list->listmode(), QStringList({"HARBOR VIEW", "showlistnotactive"}));
        const QModelIndex yesNo = list->grid()->model()->index(0, qobject_cast<RowWindow *>(list->grid()->model())->column("active"));
        QCOMPARE(qobject_cast<QStyledItemDelegate *>(list->grid()->itemDelegateForIndex(yesNo))->displayText(yesNo.data(), {}), "No");
        // Ticked again by the toggle action assistive tools use; Refresh makes no new delegates.
        const auto delegates = [&] { return list->grid()->findChildren<QAbstractItemDelegate *>().size(); };
        const qsizetype made = delegates();
        QAccessible::queryAccessibleInterface(list->findChild<QCheckBox *>(QStringLiteral("chkactive")))->actionInterface()->doAction(
            QAccessibleActionInterface::toggleAction());
        press(list, "cmdrefresh");
        QCOMPARE(delegates(), made);
        list->grid()->selectRow(int(column(list->grid(), "projectname").indexOf("ANNEX")));
        press(list, "CmdEdit");
        QWidget *w = active(WindowRegistry::existing<frmNewProject>());
        QVERIFY(w && list->isVisible());
        QCOMPARE(field(w, "TxtProjectName")->text(), QStringLiteral("ANNEX"));
        QVERIFY(w->findChild<QCheckBox *>(QStringLiteral("chkActive"))->isChecked());
        QVERIFY(ui::button(w, "cmdsave")->isEnabled()); // without a key press
        retype(w, "TxtProjectName", QStringLiteral("annex ii"));
        press(w, "cmdsave");
        QCOMPARE(env->scalar("SELECT projectname FROM project WHERE id = 40000").toString(), QStringLiteral("ANNEX II"));
        QCOMPARE(column(list->grid(), "projectname").first(), QStringLiteral("ANNEX II"));
        QVERIFY(env->exec("INSERT INTO project (projectname, active) VALUES ('AAA', -1)"));
        list->hide();
        list->RefreshList();
        QVERIFY(!list->isVisible() && !column(list->grid(), "projectname").contains("AAA"));
        list->showlist();
        for (int r : {int(column(list->grid(), "projectname").indexOf("NORTH TOWER")), 0}) // as Ctrl+clicks add them
            list->grid()->selectionModel()->select(list->grid()->model()->index(r, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
        press(list, "CmdDelete");
        QCOMPARE(env->count("project WHERE id = 1") * 10 + env->count("project"), 6);
        QCOMPARE(env->count("authorizedcompanies WHERE idproject = 1") * 10 + env->count("pickuplog WHERE idproject = 1"), 24);
        QCOMPARE(column(list->grid(), "projectname").first(), QStringLiteral("AAA"));
        QVERIFY(env->messages.calls.isEmpty());
    }

    void aceptModes_data()
    {
        QTest::addColumn<QString>("origen");
        QTest::addColumn<qint64>("project");
        QTest::newRow("plain list: closes") << "" << qint64(1);
        QTest::newRow("new subcontractor, id above 32767") << "newcompany" << qint64(40000);
        QTest::newRow("list of subcontractors") << "listofcompanies" << qint64(1);
        QTest::newRow("not picked up") << "subcontractornotpickups" << qint64(1);
        QTest::newRow("export") << "export" << qint64(40000);
        QTest::newRow("list of pick-ups: the cursor row, not the selection") << "listofpickups" << qint64(40000);
    }

    // "Acept" routes the chosen project by the chooser's mode; a chooser hides Delete and Edit.
    void aceptModes()
    {
        QFETCH(QString, origen);
        QFETCH(qint64, project);
        auto *list = window<frmListofProjects>();
        origen.isEmpty() ? list->showlist() : list->Mostrar(origen);
        list->showlist(); // a later showlist keeps the chooser
        QVERIFY(active(list));
        QCOMPARE(ui::button(list, "CmdEdit")->isVisible() + ui::button(list, "CmdDelete")->isVisible(), origen.isEmpty() ? 2 : 0);
        list->grid()->selectRow(list->ADOlist()->findRow("id", origen == "listofpickups" ? 1 : project)); // the cursor moves on unselecting
        list->grid()->selectionModel()->setCurrentIndex(list->grid()->model()->index(list->ADOlist()->findRow("id", project), 0), QItemSelectionModel::NoUpdate);
        press(list, "CmdAcept");
        QCOMPARE(WindowRegistry::existing<frmListofProjects>() != nullptr, !origen.isEmpty()); // a chooser stays for another choice
        auto *editor = WindowRegistry::existing<frmAuthorizedCompanies>();
        auto *companies = WindowRegistry::existing<frmListofCompanies>();
        QCOMPARE(editor != nullptr, origen == "newcompany");
        auto *pickups = WindowRegistry::existing<frmListofPickups>();
        QCOMPARE(companies != nullptr, origen == "listofcompanies" || origen.startsWith("subcontractor"));
        QCOMPARE(pickups ? pickups->listmode() + pickups->ids() + column(pickups->grid(), "pickupby").join(',') : QString(),
                 origen == "listofpickups" ? QStringLiteral("showlist40000BIG ID PICKUP") : QString());
        QCOMPARE(env->messages.said(), origen == "export" ? QStringList{"EXPORT DATABASE|Export process complete"} : QStringList());
        if (editor) {
            QCOMPARE(editor->ProjectId(), project);
            QCOMPARE(editor->focusWidget(), field(editor, "TxtCompanyName"));
            press(editor, "cmdsave");
            QCOMPARE(env->scalar("SELECT idproject FROM authorizedcompanies WHERE id = 40002").toLongLong(), project);
        } else if (companies) { // ACME has pick-ups; O'NEIL has none; the chooser stays in sight
            QVERIFY(companies->x() > list->x() && companies->y() > list->y());
            QCOMPARE(column(companies->grid(), "name"),
                     origen == "listofcompanies" ? QStringList({"ACME ELECTRIC", "O'NEIL PLUMBING"}) : QStringList({"O'NEIL PLUMBING"}));
        }
    }

    void print_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QStringList>("names");
        QTest::newRow("active projects") << "active" << "Projects order by project"
                                         << QStringList({"ANNEX", "ELM SCHOOL", "ELM SCHOOL", "EMPTY LOT", "NORTH TOWER"});
        QTest::newRow("not active projects") << "not active" << "Projects list not active" << QStringList({"HARBOR VIEW"});
        QTest::newRow("a project's subcontractors") << "showlist" << " " << QStringList({"ACME ELECTRIC", "O'NEIL PLUMBING"});
        QTest::newRow("not picked up") << "notpickedup" << "Subcontractors not picked-up" << QStringList({"O'NEIL PLUMBING"});
    }

    // Each list prints its own rows and title.
    void print()
    {
        QFETCH(QString, mode);
        QFETCH(QString, title);
        QFETCH(QStringList, names);
        const bool projects = mode.contains("active");
        ListWindow *list = projects ? static_cast<ListWindow *>(window<frmListofProjects>()) : window<frmListofCompanies>();
        projects ? window<frmListofProjects>()->showlist() : window<frmListofCompanies>()->showlist(QStringLiteral("1"));
        if (mode == QLatin1String("not active"))
            QTest::mouseClick(list->findChild<QCheckBox *>(QStringLiteral("chkactive")), Qt::LeftButton);
        if (mode == QLatin1String("notpickedup"))
            window<frmListofCompanies>()->showNotPickedUp(QStringLiteral("1"));
        press(list, "CmdPrint");
        QCOMPARE(env->reports.calls.size(), 1);
        const auto &call = env->reports.calls.first();
        QCOMPARE(call.layoutName, projects ? QStringLiteral("DrpListofProjects") : QStringLiteral("DrpListofCompanies"));
        QCOMPARE(call.title, title);
        QCOMPARE(column(call.rows, projects ? "ProjectName" : "Name"), names);
        QVERIFY(call.printed.contains(names.last()) && call.printed.contains(call.rows.value(names.size() - 1, projects ? "Company" : "city").toString()));
        QVERIFY(env->messages.calls.isEmpty());
    }

    // Typed fields in capitals, cut at their length, under the project handed over.
    void newSubcontractor()
    {
        auto *w = window<frmAuthorizedCompanies>();
        w->NewCompany(4);
        QVERIFY(active(w));
        for (const auto &[name, text] : {std::pair{"TxtCompanyName", "delta steel & co."}, {"TxtCity", "albuquerque nm"},
                                         {"TxtEmail", "office@delta.com"}, {"Text1", "memo with 'quotes'"},
                                         {"TxtPickupDate", "3/7/26"}, {"TxtPackage", "keys"}})
            retype(w, name, QString::fromLatin1(text));
        press(w, "cmdsave");
        QCOMPARE(env->scalar("SELECT idproject || '|' || name || '|' || city || '|' || email || '|' || note || '|' || pickupdate || '|' "
                             "|| package FROM authorizedcompanies WHERE id = 40002").toString(),
                 QStringLiteral("4|DELTA STEEL & CO.|ALBUQUERQU|OFFICE@DELTA.COM|MEMO WITH 'QUOTES'|2026-03-07|KEYS"));
    }

    // Edit of the cursor row keeps its project; the list shows old values until Refresh; "Acept" closes it.
    void subcontractorList()
    {
        frmListofCompanies *list = window<frmListofCompanies>();
        list->showlist(QStringLiteral("1"));
        list->grid()->setCurrentIndex(list->grid()->model()->index(1, 2)); // the cursor row, nothing selected
        list->grid()->clearSelection();
        press(list, "CmdEdit");
        QWidget *w = active(WindowRegistry::existing<frmAuthorizedCompanies>());
        QVERIFY(w && list->isVisible());
        QCOMPARE(field(w, "TxtCompanyName")->text(), QStringLiteral("O'NEIL PLUMBING"));
        retype(w, "TxtCity", QStringLiteral("mesa"));
        press(w, "cmdsave");
        QCOMPARE(env->scalar("SELECT idproject || city FROM authorizedcompanies WHERE id = 11").toString(), "1MESA");
        QCOMPARE(column(list->grid(), "city").at(1), QStringLiteral("CHICAGO")); // the list is not told
        press(list, "cmdrefresh");
        QCOMPARE(column(list->grid(), "city").at(1), QStringLiteral("MESA"));
        list->grid()->selectRow(0);
        press(list, "CmdDelete"); // the subcontractor only: its pick-ups stay
        QCOMPARE(env->count("authorizedcompanies WHERE id = 10") * 10 + env->count("pickuplog WHERE idauthorizedcompany = 10"), 5);
        QCOMPARE(column(list->grid(), "name"), QStringList({"O'NEIL PLUMBING"}));
        press(list, "CmdAcept");
        QTRY_VERIFY(!WindowRegistry::existing<frmListofCompanies>());
    }
};

QTEST_MAIN(TestProjects)
#include "tst_projects.moc"
