// The project and subcontractor editors and their list windows.
#include "support/testenv.h"
#include "support/ui.h"

#include "ui/common/windowregistry.h"
#include "core/db/datasource.h"
#include "ui/editors/frmAuthorizedCompanies.h"
#include "ui/editors/frmNewProject.h"
#include "ui/lists/frmListofCompanies.h"
#include "ui/lists/frmListofProjects.h"
#include "ui/main/frmMain.h"

#include <QAction>
#include <QCheckBox>
#include <QPushButton>
#include <QStyledItemDelegate>

using ui::column;
using ui::field;
using ui::press;

class TestProjects : public QObject
{
    Q_OBJECT
    std::unique_ptr<TestEnv> env;
    frmMain *main = nullptr;

    QStringList mainProjects() { return ui::texts(main->findChild<QListView *>(QStringLiteral("dbProject"))); }
    int count(const QString &sql) { return env->scalar("SELECT count(*) FROM " + sql).toInt(); }
    static frmListofProjects *projectList()
    {
        auto *list = WindowRegistry::get<frmListofProjects>();
        list->showlist();
        return list;
    }
    static frmListofCompanies *companyList(const QString &ids)
    {
        auto *list = WindowRegistry::get<frmListofCompanies>();
        list->showlist(ids);
        return list;
    }
    static void selectRow(QTableView *g, const QString &field, const QString &value)
    {
        g->selectRow(int(column(g, field).indexOf(value)));
    }
    static QWidget *active(QWidget *w) { return w && QTest::qWaitForWindowActive(w) ? w : nullptr; }

private slots:
    void init()
    {
        env = std::make_unique<TestEnv>();
        QVERIFY(env->createDatabase());
        QVERIFY(env->exec("INSERT INTO project (id, projectname, company, active) VALUES (1, 'NORTH TOWER', 'ATLAS', -1), "
                          "(2, 'HARBOR VIEW', 'CITY', 0), (3, 'ELM SCHOOL', 'COUNTY', -1), (4, 'ELM SCHOOL', 'BOARD', -1)"));
        QVERIFY(env->exec("INSERT INTO authorizedcompanies (id, idproject, name, city, pickupdate, active) VALUES "
                          "(10, 1, 'ACME ELECTRIC', 'AUSTIN', '2026-03-07', -1), (11, 1, 'BRIGHTLINE GLASS', NULL, NULL, 0), "
                          "(12, 3, 'ELSEWHERE', NULL, NULL, -1)"));
        QVERIFY(env->exec("INSERT INTO pickuplog (idproject, idauthorizedcompany, pickupdate) VALUES "
                          "(1, 10, '2026-01-01'), (1, 10, '2026-01-02')"));
        main = WindowRegistry::get<frmMain>();
        main->show();
    }
    void cleanup() { env.reset(); }

    void newProjectIsTypedAndSaved()
    {
        main->findChild<QAction *>(QStringLiteral("mnuProNewProject"))->trigger();
        QWidget *w = active(WindowRegistry::existing<frmNewProject>());
        QVERIFY(w);
        QCOMPARE(w->windowTitle(), QStringLiteral("New Project"));
        field(w, "TxtCompany")->setFocus();
        drive::type(w, QStringLiteral("o'neil & sons"));
        drive::key(w, Qt::Key_Return);
        drive::type(w, QStringLiteral("river 'quote' \"x\"; drop table project"));
        press(w, "cmdsave");
        QTRY_VERIFY(!WindowRegistry::existing<frmNewProject>());
        QCOMPARE(env->scalar("SELECT company FROM project WHERE id = 5").toString(), QStringLiteral("O'NEIL & SONS"));
        // Not ticked: stored as 0; the main window, which lists every project, shows it at once.
        QCOMPARE(env->scalar("SELECT active FROM project WHERE id = 5").toInt(), 0);
        QVERIFY(mainProjects().contains(QStringLiteral("RIVER 'QUOTE' \"X\"; DROP TABLE PROJECT")));
        // An empty project can be saved too, ticked this time; each opening starts with empty fields.
        WindowRegistry::get<frmNewProject>()->NewProject();
        QVERIFY((w = active(WindowRegistry::existing<frmNewProject>())));
        QCOMPARE(field(w, "TxtCompany")->text(), QString());
        w->findChild<QCheckBox *>(QStringLiteral("chkActive"))->setFocus();
        drive::key(w, Qt::Key_Space);
        press(w, "cmdsave");
        QCOMPARE(env->scalar("SELECT active FROM project WHERE id = 6").toInt(), -1);
        QVERIFY(env->scalar("SELECT projectname FROM project WHERE id = 6").isNull());
    }

    void editorsClose_data()
    {
        QTest::addColumn<QString>("editor");
        QTest::addColumn<QString>("how"); // empty: the title bar's close box
        for (const char *editor : {"project", "subcontractor"})
            for (const char *how : {"cmdsave", "CmdCancel", ""})
                QTest::addRow("%s, %s", editor, *how ? how : "close box") << editor << how;
    }

    // Only "Save" writes; saving, and every way of closing the subcontractor editor, refreshes the main window.
    void editorsClose()
    {
        QFETCH(QString, editor);
        QFETCH(QString, how);
        QWidget *w = nullptr;
        if (editor == QLatin1String("project"))
            (w = WindowRegistry::get<frmNewProject>(), static_cast<frmNewProject *>(w)->NewProject());
        else
            (w = WindowRegistry::get<frmAuthorizedCompanies>(), static_cast<frmAuthorizedCompanies *>(w)->NewCompany(4));
        QVERIFY(active(w));
        drive::type(w, QStringLiteral("x"));
        QVERIFY(env->exec("INSERT INTO project (projectname) VALUES ('ADDED ELSEWHERE')"));
        how.isEmpty() ? void(w->close()) : press(w, qPrintable(how));
        QTRY_VERIFY(!WindowRegistry::existing<frmNewProject>() && !WindowRegistry::existing<frmAuthorizedCompanies>());
        QCOMPARE(mainProjects().contains(QStringLiteral("ADDED ELSEWHERE")), editor != "project" || how == "cmdsave");
        QCOMPARE(count("project WHERE company = 'X'") + count("authorizedcompanies WHERE name = 'X' AND idproject = 4"),
                 how == QLatin1String("cmdsave") ? 1 : 0);
    }

    // Edit from the list (a project above 32767): Cancel keeps the row, Save changes it; the list and main window re-read.
    void editProject()
    {
        QVERIFY(env->exec("INSERT INTO project (id, projectname, company, active) VALUES (40000, 'BIG', 'B', -1)"));
        frmListofProjects *list = projectList();
        for (const char *how : {"CmdCancel", "cmdsave"}) {
            selectRow(list->grid(), "projectname", "BIG");
            press(list, "CmdEdit");
            QWidget *w = active(WindowRegistry::existing<frmNewProject>());
            QVERIFY(w && list->isVisible());
            QCOMPARE(field(w, "TxtProjectName")->text(), QStringLiteral("BIG"));
            QVERIFY(w->findChild<QCheckBox *>(QStringLiteral("chkActive"))->isChecked());
            QVERIFY(ui::button(w, "cmdsave")->isEnabled()); // without a key press
            field(w, "TxtProjectName")->setFocus();
            field(w, "TxtProjectName")->selectAll();
            drive::type(w, QStringLiteral("big ii"));
            press(w, how);
            QTRY_VERIFY(!WindowRegistry::existing<frmNewProject>());
        }
        QCOMPARE(env->scalar("SELECT projectname FROM project WHERE id = 40000").toString(), QStringLiteral("BIG II"));
        QCOMPARE(count("project"), 5);
        QVERIFY(column(list->grid(), "projectname").contains(QStringLiteral("BIG II")));
        QVERIFY(mainProjects().contains(QStringLiteral("BIG II")));
    }

    // A refused write shows the reason and keeps the editor open with what was typed.
    void refusedWriteKeepsTheEditorOpen()
    {
        QVERIFY(env->exec("CREATE TRIGGER closed BEFORE INSERT ON project BEGIN SELECT RAISE(ABORT, 'the register is closed'); END"));
        WindowRegistry::get<frmNewProject>()->NewProject();
        QWidget *w = active(WindowRegistry::existing<frmNewProject>());
        QVERIFY(w);
        drive::type(w, QStringLiteral("kept"));
        press(w, "cmdsave");
        QCOMPARE(env->messages.calls.size(), 1);
        QVERIFY(env->messages.calls.first().text.contains(QStringLiteral("the register is closed")));
        QCOMPARE(env->messages.calls.first().icon, QMessageBox::Critical);
        QVERIFY(WindowRegistry::existing<frmNewProject>() == w && w->isVisible());
        QCOMPARE(field(w, "TxtCompany")->text(), QStringLiteral("KEPT"));
        QVERIFY(env->exec("DROP TRIGGER closed"));
        press(w, "cmdsave");
        QCOMPARE(count("project WHERE company = 'KEPT'"), 1);
    }

    void listActiveAndNotActive()
    {
        main->findChild<QAction *>(QStringLiteral("mnuProListofProjects"))->trigger();
        auto *list = WindowRegistry::existing<frmListofProjects>();
        QVERIFY(list && list->isVisible());
        QCOMPARE(list->windowTitle(), QStringLiteral("List of Projects"));
        for (const char *b : {"CmdPrint", "cmdrefresh", "CmdDelete", "CmdEdit", "CmdAcept", "CmdCancel"})
            QVERIFY2(ui::button(list, b)->isVisible(), b);
        // Active projects by name, then company; id and Active hidden.
        QCOMPARE(column(list->grid(), "company"), QStringList({"BOARD", "COUNTY", "ATLAS"}));
        QCOMPARE(ui::shownColumns(list->grid()), QStringList({"ProjectName", "Company"}));
        auto *activeBox = list->findChild<QCheckBox *>(QStringLiteral("chkactive"));
        QVERIFY(activeBox->isChecked());
        QTest::mouseClick(activeBox, Qt::LeftButton);
        QCOMPARE(column(list->grid(), "projectname"), QStringList({"HARBOR VIEW"}));
        QCOMPARE(list->listmode(), QStringLiteral("showlistnotactive"));
        QTest::mouseClick(activeBox, Qt::LeftButton);
        QCOMPARE(list->listmode(), QStringLiteral("showlist"));
        // Refresh re-reads; RefreshList only acts while the window is shown; closing refreshes the main window.
        QVERIFY(env->exec("INSERT INTO project (projectname, active) VALUES ('AAA', -1)"));
        QVERIFY(!mainProjects().contains(QStringLiteral("AAA")));
        press(list, "cmdrefresh");
        QCOMPARE(column(list->grid(), "projectname").first(), QStringLiteral("AAA"));
        list->hide();
        list->RefreshList();
        QVERIFY(!list->isVisible());
        list->close();
        QVERIFY(mainProjects().contains(QStringLiteral("AAA")));
    }

    void aceptModes_data()
    {
        QTest::addColumn<QString>("origen");
        QTest::addColumn<qint64>("project");
        QTest::newRow("plain list: closes") << "" << qint64(1);
        QTest::newRow("new subcontractor") << "newcompany" << qint64(1);
        QTest::newRow("new subcontractor, id above 32767") << "newcompany" << qint64(40000);
        QTest::newRow("list of subcontractors") << "listofcompanies" << qint64(1);
        QTest::newRow("not picked up") << "subcontractornotpickups" << qint64(1);
    }

    // "Acept" routes the chosen project by the chooser's mode; a chooser hides Delete and Edit.
    void aceptModes()
    {
        QFETCH(QString, origen);
        QFETCH(qint64, project);
        QVERIFY(env->exec("INSERT INTO project (id, projectname, active) VALUES (40000, 'BIG', -1)"));
        auto *list = WindowRegistry::get<frmListofProjects>();
        origen.isEmpty() ? list->showlist() : list->Mostrar(origen);
        list->showlist(); // a later showlist keeps the chooser
        QCOMPARE(list->origen(), origen);
        QCOMPARE(ui::button(list, "CmdEdit")->isVisible(), origen.isEmpty());
        QCOMPARE(ui::button(list, "CmdDelete")->isVisible(), origen.isEmpty());
        list->grid()->selectRow(list->ADOlist()->findRow("id", project));
        press(list, "CmdAcept");
        if (origen.isEmpty()) {
            QTRY_VERIFY(!WindowRegistry::existing<frmListofProjects>());
            QVERIFY(!WindowRegistry::existing<frmAuthorizedCompanies>() && !WindowRegistry::existing<frmListofCompanies>());
            return;
        }
        QVERIFY(list->isVisible()); // stays open for another choice
        if (origen == QLatin1String("newcompany")) {
            auto *editor = WindowRegistry::existing<frmAuthorizedCompanies>();
            QVERIFY(editor && editor->isVisible());
            QCOMPARE(editor->ProjectId(), project);
            QCOMPARE(editor->focusWidget(), field(editor, "TxtCompanyName"));
            press(editor, "cmdsave");
            QCOMPARE(env->scalar("SELECT idproject FROM authorizedcompanies WHERE id = 13").toLongLong(), project);
            return;
        }
        auto *companies = WindowRegistry::existing<frmListofCompanies>();
        QVERIFY(companies && companies->isVisible());
        QCOMPARE(companies->ids(), QStringLiteral("1"));
        // ACME has pick-ups; BRIGHTLINE has none.
        QCOMPARE(column(companies->grid(), "name"), origen == QLatin1String("listofcompanies")
                                                        ? QStringList({"ACME ELECTRIC", "BRIGHTLINE GLASS"})
                                                        : QStringList({"BRIGHTLINE GLASS"}));
    }

    // Delete takes the first selected row only, asks nothing, and leaves dependent rows.
    void deleteLeavesDependentRows()
    {
        frmListofProjects *list = projectList();
        QVERIFY(QTest::qWaitForWindowExposed(list));
        for (int r : {int(column(list->grid(), "projectname").indexOf("NORTH TOWER")), 0}) // as Ctrl+clicks add them
            list->grid()->selectionModel()->select(list->grid()->model()->index(r, 0),
                                                   QItemSelectionModel::Select | QItemSelectionModel::Rows);
        press(list, "CmdDelete");
        QCOMPARE(count("project WHERE id = 1") * 10 + count("project"), 3);
        QCOMPARE(count("authorizedcompanies WHERE idproject = 1") * 10 + count("pickuplog WHERE idproject = 1"), 22);
        QVERIFY(!column(list->grid(), "projectname").contains(QStringLiteral("NORTH TOWER")));
        QVERIFY(!mainProjects().contains(QStringLiteral("NORTH TOWER")));
        frmListofCompanies *companies = companyList(QStringLiteral("1"));
        companies->grid()->selectRow(0);
        press(companies, "CmdDelete");
        QCOMPARE(count("authorizedcompanies WHERE id = 10") * 10 + count("pickuplog WHERE idauthorizedcompany = 10"), 2);
        QCOMPARE(column(companies->grid(), "name"), QStringList({"BRIGHTLINE GLASS"}));
        // Empty lists: Edit, Delete and Acept do nothing.
        QVERIFY(env->exec("DELETE FROM project"));
        list->Mostrar(QStringLiteral("newcompany"));
        press(list, "CmdAcept");
        companyList(QStringLiteral("99"));
        press(companies, "CmdDelete");
        press(companies, "CmdEdit");
        QVERIFY(!WindowRegistry::existing<frmAuthorizedCompanies>() && !WindowRegistry::existing<frmNewProject>());
        QVERIFY(env->messages.calls.isEmpty());
    }

    void print_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<QString>("layout");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QStringList>("names");
        QTest::newRow("active projects") << "active" << "DrpListofProjects" << "Projects order by project"
                                         << QStringList({"ELM SCHOOL", "ELM SCHOOL", "NORTH TOWER"});
        QTest::newRow("not active projects") << "not active" << "DrpListofProjects" << "Projects list not active"
                                             << QStringList({"HARBOR VIEW"});
        QTest::newRow("a project's subcontractors") << "showlist" << "DrpListofCompanies" << " "
                                                    << QStringList({"ACME ELECTRIC", "BRIGHTLINE GLASS"});
        QTest::newRow("not picked up") << "notpickedup" << "DrpListofCompanies" << "Subcontractors not picked-up"
                                       << QStringList({"BRIGHTLINE GLASS"});
    }

    // Printed at once, no preview; with no rows: the message, and nothing printed.
    void print()
    {
        QFETCH(QString, mode);
        QFETCH(QString, layout);
        QFETCH(QString, title);
        QFETCH(QStringList, names);
        ListWindow *list = nullptr;
        if (layout == QLatin1String("DrpListofProjects")) {
            list = projectList();
            if (mode == QLatin1String("not active"))
                QTest::mouseClick(list->findChild<QCheckBox *>(QStringLiteral("chkactive")), Qt::LeftButton);
        } else {
            list = companyList(QStringLiteral("1"));
            if (mode == QLatin1String("notpickedup"))
                static_cast<frmListofCompanies *>(list)->showNotPickedUp(QStringLiteral("1"));
        }
        press(list, "CmdPrint");
        QCOMPARE(env->reports.calls.size(), 1);
        const auto &call = env->reports.calls.first();
        QCOMPARE(call.kind, RecordingReports::Kind::Print);
        QCOMPARE(call.layoutName, layout);
        QCOMPARE(call.title, title);
        QCOMPARE(column(call.rows, layout == QLatin1String("DrpListofProjects") ? "ProjectName" : "Name"), names);
        QVERIFY(env->messages.calls.isEmpty());
        const QString text = pdftools::text(call.pdfPath);
        QVERIFY2(text.contains(title.trimmed()) && text.contains(names.last()), qPrintable(text));
        QVERIFY(env->exec("DELETE FROM project"));
        QVERIFY(env->exec("DELETE FROM authorizedcompanies"));
        press(list, "cmdrefresh");
        press(list, "CmdPrint");
        QCOMPARE(env->reports.calls.size(), 1);
        QCOMPARE(env->messages.texts(), QStringList({"There are not Registers"}));
        QCOMPARE(env->messages.calls.first().title, QStringLiteral("Quillbern"));
    }

    // Typed fields in capitals, cut at their length; the project the chooser handed over is stamped.
    void newSubcontractor()
    {
        auto *w = WindowRegistry::get<frmAuthorizedCompanies>();
        w->NewCompany(4);
        QCOMPARE(w->windowTitle(), QStringLiteral("Authorized Subcontractor"));
        QVERIFY(active(w));
        QCOMPARE(QApplication::focusWidget(), field(w, "TxtCompanyName"));
        const QList<QPair<const char *, QString>> typed = {
            {"TxtCompanyName", "delta steel & co."}, {"TxtCity", "albuquerque nm"}, {"TxtEmail", "office@delta.com"},
            {"Text1", "memo with 'quotes'"}, {"TxtPickupDate", "3/7/26"}, {"TxtPackage", "keys"}};
        for (const auto &[name, text] : typed) {
            field(w, name)->setFocus();
            drive::type(w, text);
        }
        press(w, "cmdsave");
        QTRY_VERIFY(!WindowRegistry::existing<frmAuthorizedCompanies>());
        QStringList row;
        for (const char *c : {"idproject", "name", "city", "email", "note", "pickupdate", "package"})
            row << env->scalar(QStringLiteral("SELECT %1 FROM authorizedcompanies WHERE id = 13").arg(c)).toString();
        QCOMPARE(row, QStringList({"4", "DELTA STEEL & CO.", "ALBUQUERQU", "OFFICE@DELTA.COM", "MEMO WITH 'QUOTES'",
                                   "2026-03-07", "KEYS"}));
        QCOMPARE(count("pickuplog"), 2); // kept on the subcontractor's row only: no pick-up is logged
    }

    // The list of a project's subcontractors: columns, Edit of the cursor row (keeping its project),
    // old values until Refresh, and "Acept" closing the plain list.
    void subcontractorList()
    {
        frmListofCompanies *list = companyList(QStringLiteral("1"));
        QCOMPARE(list->windowTitle(), QStringLiteral("List of Companies"));
        QCOMPARE(list->listmode(), QStringLiteral("showlist"));
        QCOMPARE(ui::shownColumns(list->grid()),
                 QStringList({"Name", "Address1", "Address2", "city", "state", "zipcode", "Telephone", "Fax",
                              "pickupdate", "pickupby", "package", "active", "note", "Email", "website"}));
        const int c = list->ADOlist()->column("pickupdate");
        auto *d = qobject_cast<QStyledItemDelegate *>(list->grid()->itemDelegateForColumn(c));
        QCOMPARE(d->displayText(list->grid()->model()->index(0, c).data(), QLocale()), QStringLiteral("3/7/2026"));
        list->grid()->setCurrentIndex(list->grid()->model()->index(1, 2)); // the cursor row, nothing selected
        list->grid()->clearSelection();
        press(list, "CmdEdit");
        QWidget *w = active(WindowRegistry::existing<frmAuthorizedCompanies>());
        QVERIFY(w && list->isVisible());
        QCOMPARE(field(w, "TxtCompanyName")->text(), QStringLiteral("BRIGHTLINE GLASS"));
        field(w, "TxtCity")->setFocus();
        drive::type(w, QStringLiteral("mesa"));
        press(w, "cmdsave");
        QCOMPARE(env->scalar("SELECT idproject || city FROM authorizedcompanies WHERE id = 11").toString(), "1MESA");
        QCOMPARE(column(list->grid(), "city").at(1), QString()); // the list is not told
        press(list, "cmdrefresh");
        QCOMPARE(column(list->grid(), "city").at(1), QStringLiteral("MESA"));
        press(list, "CmdAcept");
        QTRY_VERIFY(!WindowRegistry::existing<frmListofCompanies>());
    }
};

QTEST_MAIN(TestProjects)
#include "tst_projects.moc"
