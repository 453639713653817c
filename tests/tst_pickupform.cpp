#include "support/testenv.h"
#include "support/ui.h"

#include "ui/common/conventions.h"
#include "ui/common/windowregistry.h"
#include "core/db/datasource.h"
#include "ui/editors/frmPickupForm.h"
#include "ui/lists/frmListofCompanies.h"
#include "ui/lists/frmListofProjects.h"
#include "ui/main/frmMain.h"

#include <QAction>
#include <QFrame>
#include <QLabel>
#include <QPushButton>

using ui::button;
using ui::field;

namespace {

// The subcontractor fields, in the window's order.
const char *const kCompanyFields[] = {"TxtCompany", "TxtAddress", "txtaddress2", "TxtCity", "TxtZipCode", "TxtState",
                                      "TxtPhone",   "TxtWebsite", "TxtFax",      "TxtEmail", "txtMemo"};

QStringList companyTexts(QWidget *w)
{
    QStringList out;
    for (const char *name : kCompanyFields)
        out << field(w, name)->text();
    return out;
}

} // namespace

class TestPickupForm : public QObject
{
    Q_OBJECT
    std::unique_ptr<TestEnv> env;

    frmPickupForm *openNew(qint64 project, qint64 company = 0)
    {
        auto *w = WindowRegistry::get<frmPickupForm>();
        w->NewPickup(project);
        if (company)
            w->ShowSelectedcompany(company);
        return QTest::qWaitForWindowExposed(w) ? w : nullptr;
    }
    frmPickupForm *edit(qint64 id)
    {
        auto *w = WindowRegistry::get<frmPickupForm>();
        w->EditPickup(id);
        return w;
    }
    QVariantList pickup(const QString &where = QStringLiteral("1=1"))
    {
        QVariantList out;
        for (const char *c : {"idproject", "idauthorizedcompany", "pickupdate", "pickupby", "package", "note"})
            if (const QVariant v = env->scalar(QStringLiteral("SELECT %1 FROM pickuplog WHERE %2").arg(c, where)); !v.isNull())
                out << v;
            else
                out << QVariant(); // NULL
        return out;
    }
    int pickups() { return env->scalar("SELECT count(*) FROM pickuplog").toInt(); }

private slots:
    void init()
    {
        env = std::make_unique<TestEnv>();
        QVERIFY(env->createDatabase());
        QVERIFY(env->exec("INSERT INTO project (id, projectname, company, active) VALUES (1, 'NORTH TOWER', 'ATLAS', -1), "
                          "(2, 'HARBOR VIEW', 'CITY', -1), (12, 'TWELVE', 'DOZEN', -1), (40000, 'BIG ID', 'WIDE', -1), "
                          "(5000000000, 'HUGE ID', 'VAST', -1)"));
        QVERIFY(env->exec("INSERT INTO authorizedcompanies (id, idproject, name, address1, address2, city, state, zipcode, "
                          "telephone, fax, email, website, note) VALUES (10, 1, 'ACME ELECTRIC', '12 MAIN ST', 'SUITE 4', "
                          "'SPRINGFLD', 'IL', '62701', '555-0100', '555-0101', 'acme@example.com', 'www.acme.example', "
                          "'KEYS AT DESK')"));
        QVERIFY(env->exec("INSERT INTO authorizedcompanies (id, idproject, name, address1, city) VALUES "
                          "(11, 1, 'O''NEIL PLUMBING', NULL, 'CHICAGO'), (13, 1, '', '1 EMPTY WAY', NULL), "
                          "(14, 1, NULL, '2 NULL WAY', NULL), (20, 2, 'HARBOR GLASS', NULL, NULL), "
                          "(40, 12, 'FORTY CO', NULL, NULL), (40001, 40000, 'FAR AWAY CO', NULL, NULL), "
                          "(5000000001, 5000000000, 'VERY FAR CO', NULL, NULL)"));
    }
    void cleanup() { env.reset(); }

    void windowFieldsAndLabels()
    {
        frmPickupForm *w = openNew(1);
        QCOMPARE(w->windowTitle(), QStringLiteral("Pick-up Form"));
        QCOMPARE(w->size(), QSize(560, 543));
        QCOMPARE(w->minimumSize(), w->maximumSize());
        // In tab order from 1; the last four can be edited; -1: no limit.
        const QList<std::tuple<const char *, const char *, int>> fields = {
            {"TxtCompanyName", "Company:", 50}, {"TxtProjectName", "Project Name:", 50},
            {"TxtCompany", "Authorized Company", 50}, {"TxtAddress", "Address:", 50}, {"txtaddress2", "Address:", 50},
            {"TxtCity", "City:", 10}, {"TxtZipCode", "Zip Code:", 10}, {"TxtState", "State:", 10},
            {"TxtPhone", "Phone:", 50}, {"TxtWebsite", "WebSite:", 50}, {"TxtFax", "Fax:", 50},
            {"TxtEmail", "Email:", 50}, {"txtMemo", "Memo:", -1}, {"TxtPickupDate", "Pick-up Date:", 50},
            {"TxtPickupBy", "Pick-up By:", 50}, {"TxtPackage", "Package:", 50}, {"txtnote", "Note:", -1}};
        for (int i = 0; i < fields.size(); ++i) {
            const auto &[name, label, max] = fields.at(i);
            QLineEdit *f = field(w, name);
            QVERIFY2(f, name);
            QCOMPARE(conventions::tabPosition(f), i + 1);
            QCOMPARE(f->isEnabled(), i >= 13);
            QVERIFY2(max > 0 ? f->maxLength() == max : f->maxLength() > 100000, name);
            QLabel *buddyOf = nullptr;
            for (QLabel *l : w->findChildren<QLabel *>())
                buddyOf = l->buddy() == f ? l : buddyOf;
            QVERIFY2(buddyOf && buddyOf->text() == QLatin1String(label), name);
        }
        const QList<std::tuple<const char *, const char *, int>> buttons = {
            {"cmdsave", "Save", 18}, {"CmdCancel", "Cancel", 19}, {"CmdListofCompanies", "Company List", 25}};
        for (const auto &[name, caption, position] : buttons) {
            QCOMPARE(button(w, name)->text(), QLatin1String(caption));
            QCOMPARE(conventions::tabPosition(button(w, name)), position);
        }
    }

    // From the menu to the main window's Print, with real clicks and keys.
    void roadOfOnePickup()
    {
        frmMain *main = WindowRegistry::get<frmMain>();
        main->show();
        QVERIFY(QTest::qWaitForWindowExposed(main));
        main->findChild<QAction *>(QStringLiteral("mnuPicNewPickup"))->trigger();
        auto *projects = WindowRegistry::existing<frmListofProjects>();
        QVERIFY(projects && QTest::qWaitForWindowExposed(projects));
        QCOMPARE(projects->origen(), QStringLiteral("newpickup"));
        drive::clickRow(projects->grid(), projects->ADOlist()->findRow("ProjectName", "NORTH TOWER"));
        drive::click(button(projects, "CmdAcept"));
        // The editor opens with today's date; the chooser stays for another choice.
        auto *editor = WindowRegistry::existing<frmPickupForm>();
        QVERIFY(editor && QTest::qWaitForWindowExposed(editor) && projects->isVisible());
        QCOMPARE(field(editor, "TxtCompanyName")->text(), QStringLiteral("ATLAS"));
        QCOMPARE(field(editor, "TxtProjectName")->text(), QStringLiteral("NORTH TOWER"));
        QCOMPARE(field(editor, "TxtPickupDate")->text(), QStringLiteral("03/07/26"));
        // "Company List": this project's subcontractors; choose one, "Acept".
        drive::click(button(editor, "CmdListofCompanies"));
        auto *companies = WindowRegistry::existing<frmListofCompanies>();
        QVERIFY(companies && QTest::qWaitForWindowExposed(companies));
        QCOMPARE(companies->ADOlist()->count(), 4);
        drive::clickRow(companies->grid(), companies->ADOlist()->findRow("name", "ACME ELECTRIC"));
        drive::click(button(companies, "CmdAcept"));
        QVERIFY(!WindowRegistry::existing<frmListofCompanies>());
        QCOMPARE(companyTexts(editor), QStringList({"ACME ELECTRIC", "12 MAIN ST", "SUITE 4", "SPRINGFLD", "62701", "IL",
                                                    "555-0100", "www.acme.example", "555-0101", "acme@example.com",
                                                    "KEYS AT DESK"}));
        // Typed with real keys, Enter walking the fields.
        editor->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(editor));
        QCOMPARE(QApplication::focusWidget(), field(editor, "TxtPickupDate"));
        for (const char *text : {"", "j. smith", "drawings rev. 2", "left at gate, o'neil's \"b\" door"}) {
            drive::type(editor, QString::fromLatin1(text));
            drive::key(editor, Qt::Key_Return);
        }
        QCOMPARE(QApplication::focusWidget(), button(editor, "cmdsave"));
        drive::click(button(editor, "cmdsave"));
        QVERIFY(!WindowRegistry::existing<frmPickupForm>());
        QCOMPARE(pickup(), QVariantList({1, 10, "2026-03-07", "J. SMITH", "DRAWINGS REV. 2",
                                         "LEFT AT GATE, O'NEIL'S \"B\" DOOR"}));
        QVERIFY(env->messages.calls.isEmpty());
        // The main window shows it, and its Print previews it.
        auto *dbProject = main->findChild<QListView *>(QStringLiteral("dbProject"));
        auto *dbCompany = main->findChild<QListView *>(QStringLiteral("dbsubcontractor"));
        drive::clickRow(dbProject, main->AdoProjects()->findRow("id", 1));
        drive::clickRow(dbCompany, main->AdoSubcontractor()->findRow("id", 10));
        QCOMPARE(main->findChild<QTableView *>(QStringLiteral("dbgPickup"))->model()->rowCount(), 1);
        QCOMPARE(main->adopickups()->value(0, "package").toString(), QStringLiteral("DRAWINGS REV. 2"));
        drive::click(main->findChild<QPushButton *>(QStringLiteral("CmdPrint")));
        QCOMPARE(env->reports.calls.size(), 1);
        const RecordingReports::Call &preview = env->reports.calls.last();
        QCOMPARE(preview.kind, RecordingReports::Kind::Preview);
        QCOMPARE(ui::column(preview.rows, "pickupby"), QStringList({"J. SMITH"}));
        const QString pdf = pdftools::text(preview.pdfPath);
        for (const char *text : {"J. SMITH", "DRAWINGS REV. 2", "NORTH TOWER"})
            QVERIFY2(pdf.contains(QLatin1String(text)), qPrintable(pdf));
    }

    void saveNeedsASubcontractor_data()
    {
        QTest::addColumn<qint64>("company"); // chosen before "Save"; 0: none
        QTest::newRow("none chosen") << qint64(0);
        QTest::newRow("empty name") << qint64(13);
        QTest::newRow("null name") << qint64(14);
        QTest::newRow("deleted meanwhile") << qint64(99);
    }

    void saveNeedsASubcontractor()
    {
        QFETCH(qint64, company);
        frmPickupForm *w = openNew(1, company);
        field(w, "TxtPickupBy")->setText(QStringLiteral("SOMEONE"));
        drive::click(button(w, "cmdsave"));
        QCOMPARE(env->messages.calls.size(), 1);
        const RecordingMessages::Call &m = env->messages.calls.first();
        QCOMPARE(m.text, QStringLiteral("Please enter the company by clicking on the company list button"));
        QCOMPARE(m.title, QStringLiteral("NEW PICKUP"));
        QCOMPARE(m.icon, QMessageBox::Critical);
        QCOMPARE(m.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
        QCOMPARE(pickups(), 0);
        QVERIFY(w->isVisible());
        // Once a subcontractor with a name is chosen, the same "Save" writes what was typed.
        w->ShowSelectedcompany(11);
        drive::click(button(w, "cmdsave"));
        QCOMPARE(env->messages.calls.size(), 1);
        QCOMPARE(pickup().mid(0, 4), QVariantList({1, 11, "2026-03-07", "SOMEONE"}));
    }

    void largeIds_data()
    {
        QTest::addColumn<qint64>("project");
        QTest::addColumn<qint64>("company");
        QTest::newRow("12 and 40") << qint64(12) << qint64(40);
        QTest::newRow("above 32767") << qint64(40000) << qint64(40001);
        QTest::newRow("above 32 bits") << qint64(5000000000) << qint64(5000000001);
    }

    // Chosen through the list of subcontractors, stored, and opened again by the pick-up's id.
    void largeIds()
    {
        QFETCH(qint64, project);
        QFETCH(qint64, company);
        frmPickupForm *w = openNew(project);
        drive::click(button(w, "CmdListofCompanies"));
        auto *list = WindowRegistry::existing<frmListofCompanies>();
        QVERIFY(list && QTest::qWaitForWindowExposed(list));
        QCOMPARE(list->ADOlist()->count(), 1);
        drive::clickRow(list->grid(), 0);
        drive::click(button(list, "CmdAcept"));
        drive::click(button(w, "cmdsave"));
        QCOMPARE(pickup().mid(0, 2), QVariantList({project, company}));
        QVERIFY(env->exec("UPDATE pickuplog SET id = 70000"));
        w = edit(70000);
        QVERIFY(w->isVisible());
        QCOMPARE(w->ProjectId(), project);
        QCOMPARE(w->CompanyId(), company);
        QCOMPARE(field(w, "TxtProjectName")->text(), env->scalar("SELECT projectname FROM project WHERE id = ?", {project}));
        QVERIFY(env->messages.calls.isEmpty());
    }

    // Every subcontractor field is replaced; one that no longer exists empties them all.
    void secondChoiceReplacesEveryField()
    {
        frmPickupForm *w = openNew(1, 10);
        field(w, "TxtPickupBy")->setText(QStringLiteral("TYPED BEFORE"));
        w->ShowSelectedcompany(11);
        QCOMPARE(w->CompanyId(), 11);
        QStringList expected(11);
        expected[0] = QStringLiteral("O'NEIL PLUMBING");
        expected[3] = QStringLiteral("CHICAGO");
        QCOMPARE(companyTexts(w), expected);
        QCOMPARE(field(w, "TxtPickupBy")->text(), QStringLiteral("TYPED BEFORE"));
        QCOMPARE(field(w, "TxtPickupDate")->text(), QStringLiteral("03/07/26"));
        w->ShowSelectedcompany(12345);
        QCOMPARE(companyTexts(w), QStringList(11));
    }

    void editShowsThePickupAndSavesItBack()
    {
        QVERIFY(env->exec("INSERT INTO pickuplog (id, idproject, idauthorizedcompany, pickupdate, pickupby, package, note) "
                          "VALUES (7, 1, 10, '2025-12-31 16:30:00', 'M. GARCIA', 'KEYS', 'small letters kept'), "
                          "(8, 2, 20, '2026-01-02', 'OTHER', NULL, NULL)"));
        const QVariantList before = pickup("id = 7");
        frmMain *main = WindowRegistry::get<frmMain>();
        const int projectsBefore = main->AdoProjects()->model()->rowCount();
        QVERIFY(env->exec("INSERT INTO project (projectname) VALUES ('ADDED ELSEWHERE')"));
        frmPickupForm *w = edit(7);
        QVERIFY(w->isVisible());
        QStringList shown;
        for (const char *name : {"TxtCompanyName", "TxtProjectName", "TxtCompany", "txtMemo", "TxtPickupDate",
                                 "TxtPickupBy", "TxtPackage", "txtnote"})
            shown << field(w, name)->text();
        QCOMPARE(shown, QStringList({"ATLAS", "NORTH TOWER", "ACME ELECTRIC", "KEYS AT DESK", "12/31/2025 4:30:00 PM",
                                     "M. GARCIA", "KEYS", "small letters kept"}));
        w->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(w));
        QCOMPARE(QApplication::focusWidget(), field(w, "TxtPickupDate"));
        drive::click(button(w, "cmdsave"));
        QCOMPARE(pickup("id = 7"), before);
        // A change is written to this row only, and the main window re-reads.
        w = edit(7);
        field(w, "TxtPackage")->setText(QStringLiteral("KEYS AND BADGE"));
        drive::click(button(w, "cmdsave"));
        QVERIFY(!WindowRegistry::existing<frmPickupForm>());
        QCOMPARE(pickup("id = 7").at(4).toString(), QStringLiteral("KEYS AND BADGE"));
        QCOMPARE(pickup("id = 8").mid(3, 2), QVariantList({"OTHER", QVariant()}));
        QCOMPARE(main->AdoProjects()->model()->rowCount(), projectsBefore + 1);
        QVERIFY(env->messages.calls.isEmpty());
    }

    // A pick-up whose subcontractor or project is gone, or that does not exist.
    void editOrphanOrMissingPickup()
    {
        QVERIFY(env->exec("INSERT INTO pickuplog (id, idproject, idauthorizedcompany, pickupdate, pickupby) VALUES "
                          "(7, 1, 11, '2026-01-05', 'ORPHANED'), (9, 2, 20, '2026-01-06', 'PROJECT GONE')"));
        QVERIFY(env->exec("DELETE FROM authorizedcompanies WHERE id = 11"));
        QVERIFY(env->exec("DELETE FROM project WHERE id = 2"));
        frmPickupForm *w = edit(7);
        QCOMPARE(field(w, "TxtProjectName")->text(), QStringLiteral("NORTH TOWER"));
        QCOMPARE(companyTexts(w), QStringList(11));
        QCOMPARE(field(w, "TxtPickupBy")->text(), QStringLiteral("ORPHANED"));
        QVERIFY(QTest::qWaitForWindowExposed(w));
        drive::click(button(w, "cmdsave"));
        QCOMPARE(env->messages.texts(), QStringList({"Please enter the company by clicking on the company list button"}));
        QVERIFY(w->isVisible());
        w->ShowSelectedcompany(10); // another subcontractor unblocks it
        drive::click(button(w, "cmdsave"));
        QCOMPARE(pickup("id = 7").mid(0, 4), QVariantList({1, 10, "2026-01-05", "ORPHANED"}));
        // A deleted project leaves its fields empty; the subcontractor still counts.
        w = edit(9);
        QCOMPARE(field(w, "TxtProjectName")->text() + field(w, "TxtCompanyName")->text(), QString());
        QCOMPARE(field(w, "TxtCompany")->text(), QStringLiteral("HARBOR GLASS"));
        drive::click(button(w, "cmdsave"));
        QVERIFY(!WindowRegistry::existing<frmPickupForm>());
        QCOMPARE(env->messages.calls.size(), 1);
        // A pick-up that does not exist: said so; an open new pick-up is left as it was.
        edit(404);
        QCOMPARE(env->messages.calls.size(), 2);
        QVERIFY(env->messages.calls.last().text.startsWith(QStringLiteral("The pick-up cannot be opened")));
        QVERIFY(!WindowRegistry::existing<frmPickupForm>());
        w = openNew(1, 10);
        field(w, "TxtPickupBy")->setText(QStringLiteral("KEPT"));
        w->EditPickup(404);
        drive::click(button(w, "cmdsave"));
        QCOMPARE(pickup("pickupby = 'KEPT'").mid(0, 3), QVariantList({1, 10, "2026-03-07"}));
    }

    void cancelWritesNothingAndRefreshesMain_data()
    {
        QTest::addColumn<bool>("closeBox");
        QTest::newRow("Cancel") << false;
        QTest::newRow("close box") << true;
    }

    void cancelWritesNothingAndRefreshesMain()
    {
        QFETCH(bool, closeBox);
        QVERIFY(env->exec("INSERT INTO pickuplog (id, idproject, idauthorizedcompany, pickupby) VALUES (3, 1, 10, 'SAME')"));
        frmMain *main = WindowRegistry::get<frmMain>();
        const int projectsBefore = main->AdoProjects()->model()->rowCount();
        for (int editing : {0, 1}) {
            frmPickupForm *w = editing ? edit(3) : openNew(1, 10);
            QVERIFY(QTest::qWaitForWindowExposed(w));
            field(w, "TxtPickupBy")->setText(QStringLiteral("NEVER WRITTEN"));
            QVERIFY(env->exec("INSERT INTO project (projectname) VALUES ('ADDED')"));
            closeBox ? void(w->close()) : drive::click(button(w, "CmdCancel"));
            QVERIFY(!WindowRegistry::existing<frmPickupForm>());
            QCOMPARE(pickup(), QVariantList({1, 10, QVariant(), "SAME", QVariant(), QVariant()}));
            QCOMPARE(main->AdoProjects()->model()->rowCount(), projectsBefore + 1 + editing); // the closing hook
        }
        QVERIFY(env->messages.calls.isEmpty());
    }

    // NewPickup and EditPickup on an open editor drop what it held.
    void secondOpeningStartsAfresh()
    {
        QVERIFY(env->exec("INSERT INTO pickuplog (id, idproject, idauthorizedcompany, pickupby) VALUES (3, 2, 20, 'STORED')"));
        frmPickupForm *w = openNew(1, 10);
        field(w, "TxtPickupBy")->setText(QStringLiteral("ABANDONED"));
        env->clock.value = QDateTime(QDate(2026, 11, 22), QTime(9, 0));
        w->NewPickup(2);
        QCOMPARE(WindowRegistry::existing<frmPickupForm>(), w);
        QCOMPARE(w->ProjectId(), 2);
        QCOMPARE(field(w, "TxtProjectName")->text(), QStringLiteral("HARBOR VIEW"));
        QCOMPARE(field(w, "TxtPickupBy")->text(), QString());
        QCOMPARE(field(w, "TxtPickupDate")->text(), QStringLiteral("11/22/26"));
        QCOMPARE(companyTexts(w), QStringList(11));
        field(w, "TxtPickupBy")->setText(QStringLiteral("ABANDONED AGAIN"));
        w->EditPickup(3);
        QCOMPARE(field(w, "TxtPickupBy")->text(), QStringLiteral("STORED"));
        w->NewPickup(1);
        w->ShowSelectedcompany(10);
        drive::click(button(w, "cmdsave"));
        QCOMPARE(pickups(), 2);
        QCOMPARE(pickup("id = 3").at(3).toString(), QStringLiteral("STORED"));
        QCOMPARE(pickup("id <> 3").mid(2, 2), QVariantList({"2026-11-22", QVariant()}));
    }

    // A refused write shows the reason and keeps the editor open with what was typed; quotes,
    // SQL and a 10,000-character note are then stored verbatim.
    void refusedWriteThenVerbatim()
    {
        QVERIFY(env->exec("CREATE TRIGGER refuse BEFORE INSERT ON pickuplog BEGIN SELECT RAISE(ABORT, 'disk says no'); END"));
        QString note;
        for (int i = 0; note.size() < 10000; ++i)
            note += QStringLiteral("it's \"n%1\"; drop table pickuplog; -- ").arg(i);
        note.truncate(10000);
        frmPickupForm *w = openNew(1, 11);
        w->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(w));
        drive::key(w, Qt::Key_Return);
        drive::type(w, QStringLiteral("typed by hand"));
        field(w, "TxtPackage")->setText(QStringLiteral("O'HARA's \"BOX\""));
        field(w, "txtnote")->setText(note); // put in whole, as pasted: the case stays
        drive::click(button(w, "cmdsave"));
        QCOMPARE(env->messages.calls.size(), 1);
        QVERIFY2(env->messages.calls.first().text.contains("disk says no"), qPrintable(env->messages.texts().join("")));
        QCOMPARE(env->messages.calls.first().icon, QMessageBox::Critical);
        QVERIFY(WindowRegistry::existing<frmPickupForm>() == w && w->isVisible());
        QCOMPARE(field(w, "TxtPickupBy")->text(), QStringLiteral("TYPED BY HAND"));
        QCOMPARE(pickups(), 0);
        QVERIFY(env->exec("DROP TRIGGER refuse"));
        drive::click(button(w, "cmdsave"));
        QVERIFY(!WindowRegistry::existing<frmPickupForm>());
        QCOMPARE(pickup(), QVariantList({1, 11, "2026-03-07", "TYPED BY HAND", "O'HARA's \"BOX\"", note}));
    }
};

QTEST_MAIN(TestPickupForm)
#include "tst_pickupform.moc"
