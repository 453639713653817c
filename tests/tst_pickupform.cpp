// The pick-up editor: new and edited pick-ups, the subcontractor chosen through its list.
#include "support/windows.h"

class TestPickupForm : public OfficeTest
{
    Q_OBJECT
    // The texts of fields `names`; by default the subcontractor's, in the window's order.
    static QStringList fieldTexts(QWidget *w, const QStringList &names = {"TxtCompany", "TxtAddress", "txtaddress2", "TxtCity", "TxtZipCode",
                                                                          "TxtState", "TxtPhone", "TxtWebsite", "TxtFax", "TxtEmail", "txtMemo"})
    {
        QStringList out;
        for (const QString &name : names)
            out << field(w, qPrintable(name))->text();
        return out;
    }
    static frmPickupForm *openNew(qint64 project, qint64 company = 0)
    {
        auto *w = window<frmPickupForm>();
        w->NewPickup(project);
        if (company)
            w->ShowSelectedcompany(company);
        return QTest::qWaitForWindowExposed(w) ? w : nullptr;
    }
    static frmPickupForm *edit(qint64 id)
    {
        window<frmPickupForm>()->EditPickup(id);
        return WindowRegistry::existing<frmPickupForm>();
    }
    // idproject, idauthorizedcompany, pickupdate, pickupby, package and note of one pick-up (NULL: "<NULL>").
    QString pickup(const QString &where = QStringLiteral("id = (SELECT max(id) FROM pickuplog)"))
    {
        return env->scalar("SELECT idproject || '|' || idauthorizedcompany || '|' || coalesce(pickupdate, '<NULL>') || '|' || "
                           "coalesce(pickupby, '<NULL>') || '|' || coalesce(package, '<NULL>') || '|' || coalesce(note, '<NULL>') "
                           "FROM pickuplog WHERE " + where).toString();
    }

private slots:
    // From the menu, with real clicks and keys, to the register and back; ids beyond 32 bits kept whole.
    void roadOfOnePickup()
    {
        QVERIFY(env->exec("UPDATE project SET id = 5000000000 WHERE id = 1"));
        QVERIFY(env->exec("UPDATE authorizedcompanies SET idproject = 5000000000, id = id + 5000000000 "
                          "WHERE idproject = 1"));
        frmMain *main = window<frmMain>();
        main->show();
        QVERIFY(QTest::qWaitForWindowExposed(main));
        main->findChild<QAction *>(QStringLiteral("mnuPicNewPickup"))->trigger();
        auto *projects = WindowRegistry::existing<frmListofProjects>();
        QVERIFY(projects && QTest::qWaitForWindowExposed(projects));
        clickRow(projects->grid(), projects->ADOlist()->findRow("ProjectName", "NORTH TOWER"));
        click(button(projects, "CmdAcept"));
        // The editor opens with today's date; the chooser stays for another choice.
        auto *editor = WindowRegistry::existing<frmPickupForm>();
        QVERIFY(editor && QTest::qWaitForWindowExposed(editor) && projects->isVisible());
        QCOMPARE(field(editor, "TxtCompanyName")->text() + "|" + field(editor, "TxtProjectName")->text() + "|" +
                     field(editor, "TxtPickupDate")->text(), QStringLiteral("ATLAS|NORTH TOWER|03/07/26"));
        // "Company List": this project's subcontractors; choose one, "Acept".
        click(button(editor, "CmdListofCompanies"));
        auto *companies = WindowRegistry::existing<frmListofCompanies>();
        QVERIFY(companies && QTest::qWaitForWindowExposed(companies));
        QCOMPARE(ui::column(companies->grid(), "name"), QStringList({"ACME ELECTRIC", "O'NEIL PLUMBING"}));
        clickRow(companies->grid(), 0);
        click(button(companies, "CmdAcept"));
        QCOMPARE(fieldTexts(editor), QStringList({"ACME ELECTRIC", "12 MAIN ST", "SUITE 4", "AUSTIN", "78701", "TX", "555-0100",
                                                    "www.acme.example", "555-0101", "acme@example.com", "KEYS AT DESK"}));
        // Typed with real keys, Enter walking the fields.
        editor->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(editor));
        QCOMPARE(QApplication::focusWidget(), field(editor, "TxtPickupDate"));
        for (const char *text : {"", "j. smith", "drawings rev. 2", "left at gate, o'neil's \"b\" door"}) {
            type(editor, QString::fromLatin1(text));
            key(editor, Qt::Key_Return);
        }
        QSignalSpy rereads(&registers(), &Registers::changed);
        click(button(editor, "cmdsave"));
        QVERIFY(!WindowRegistry::existing<frmPickupForm>());
        QCOMPARE(rereads.size(), 1); // the write announced; closing after it does not again
        QCOMPARE(pickup(), QStringLiteral("5000000000|5000000010|2026-03-07|J. SMITH|DRAWINGS REV. 2|"
                                          "LEFT AT GATE, O'NEIL'S \"B\" DOOR"));
        QVERIFY(env->exec("UPDATE pickuplog SET id = 70000 WHERE id = (SELECT max(id) FROM pickuplog)"));
        editor = edit(70000);
        QVERIFY(editor && editor->isVisible());
        QCOMPARE(QList<qint64>({editor->ProjectId(), editor->CompanyId()}), QList<qint64>({5000000000, 5000000010}));
        QCOMPARE(field(editor, "TxtProjectName")->text(), QStringLiteral("NORTH TOWER"));
        QVERIFY(env->messages.calls.isEmpty());
    }

    void saveNeedsASubcontractor_data()
    {
        QTest::addColumn<qint64>("company"); // chosen before "Save"; 0: none
        QTest::newRow("none chosen") << qint64(0);
        QTest::newRow("empty name") << qint64(15);
    }

    // Said, and nothing written; once a subcontractor with a name is chosen the same "Save" writes.
    void saveNeedsASubcontractor()
    {
        QFETCH(qint64, company);
        QVERIFY(env->exec("INSERT INTO authorizedcompanies (id, idproject, name) VALUES (15, 1, '')"));
        frmPickupForm *w = openNew(1, company);
        field(w, "TxtPickupBy")->setText(QStringLiteral("SOMEONE"));
        click(button(w, "cmdsave"));
        QCOMPARE(env->messages.said(), QStringList({"NEW PICKUP|Please enter the company by clicking on the company list button"}));
        QCOMPARE(env->messages.calls.first().icon, QMessageBox::Critical);
        QCOMPARE(env->count("pickuplog"), 9);
        QVERIFY(w->isVisible());
        w->ShowSelectedcompany(11);
        click(button(w, "cmdsave"));
        QCOMPARE(env->messages.calls.size(), 1);
        QCOMPARE(pickup(), QStringLiteral("1|11|2026-03-07|SOMEONE|<NULL>|<NULL>"));
    }

    // Saved unchanged it stays the same; a change goes to this row only; a second choice replaces every subcontractor field.
    void editAndChooseAgain()
    {
        const QString before = pickup("id = 102");
        frmPickupForm *w = edit(102);
        QVERIFY(w && w->isVisible());
        QCOMPARE(fieldTexts(w, {"TxtCompanyName", "TxtProjectName", "TxtCompany", "txtMemo", "TxtPickupDate", "TxtPickupBy", "TxtPackage", "txtnote"}),
                 QStringList({"ATLAS", "NORTH TOWER", "ACME ELECTRIC", "KEYS AT DESK", "12/31/2002 11:59:59 PM", "M. GARCIA", "KEYS", ""}));
        w->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(w));
        QCOMPARE(QApplication::focusWidget(), field(w, "TxtPickupDate"));
        click(button(w, "cmdsave"));
        QCOMPARE(pickup("id = 102"), before);
        w = edit(102);
        field(w, "TxtPackage")->setText(QStringLiteral("KEYS AND BADGE"));
        field(w, "TxtPickupBy")->setText(QStringLiteral("TYPED BEFORE"));
        w->ShowSelectedcompany(11);
        QCOMPARE(fieldTexts(w), QStringList({"O'NEIL PLUMBING", "", "", "CHICAGO", "", "", "", "", "", "", ""}));
        w->ShowSelectedcompany(12345); // one that does not exist empties them all
        QCOMPARE(fieldTexts(w), QStringList(11));
        w->ShowSelectedcompany(11);
        click(button(w, "cmdsave"));
        QCOMPARE(pickup("id = 102"), QStringLiteral("1|11|2002-12-31 23:59:59|TYPED BEFORE|KEYS AND BADGE|<NULL>"));
        QCOMPARE(pickup("id = 101"), QStringLiteral("1|10|2003-01-15|J. SMITH|DRAWINGS|LATE"));
        QVERIFY(env->messages.calls.isEmpty());
    }

    // A pick-up whose project is gone, or that does not exist.
    void editOrphanOrMissingPickup()
    {
        // A deleted project leaves its fields empty; the subcontractor still counts.
        QVERIFY(env->exec("DELETE FROM project WHERE id = 2"));
        frmPickupForm *w = edit(106);
        QCOMPARE(field(w, "TxtProjectName")->text() + field(w, "TxtCompanyName")->text(), QString());
        QCOMPARE(field(w, "TxtCompany")->text(), QStringLiteral("HARBOR GLASS"));
        click(button(w, "cmdsave"));
        // A pick-up that does not exist: said so; an open new pick-up is left as it was.
        edit(404);
        QCOMPARE(env->messages.calls.size(), 1);
        QVERIFY(env->messages.calls.last().text.startsWith(QStringLiteral("The pick-up cannot be opened")));
        QVERIFY(!WindowRegistry::existing<frmPickupForm>());
        w = openNew(1, 10);
        field(w, "TxtPickupBy")->setText(QStringLiteral("KEPT"));
        w->EditPickup(404);
        click(button(w, "cmdsave"));
        QCOMPARE(pickup("pickupby = 'KEPT'"), QStringLiteral("1|10|2026-03-07|KEPT|<NULL>|<NULL>"));
    }

    // NewPickup and EditPickup on an open editor drop what it held; quotes, SQL and a long note are stored verbatim.
    void secondOpeningStartsAfresh()
    {
        const QString note = QStringLiteral("it's \"n\"; drop table pickuplog; -- ").repeated(300).left(10000);
        frmPickupForm *w = openNew(1, 10);
        field(w, "TxtPickupBy")->setText(QStringLiteral("ABANDONED"));
        env->clock.value = QDateTime(QDate(2026, 11, 22), QTime(9, 0));
        w->NewPickup(2);
        QCOMPARE(WindowRegistry::existing<frmPickupForm>(), w);
        QCOMPARE(w->ProjectId(), 2);
        QCOMPARE(field(w, "TxtProjectName")->text() + "|" + field(w, "TxtPickupBy")->text() + "|" + field(w, "TxtPickupDate")->text(),
                 QStringLiteral("HARBOR VIEW||11/22/26"));
        QCOMPARE(fieldTexts(w), QStringList(11));
        field(w, "TxtPickupBy")->setText(QStringLiteral("ABANDONED AGAIN"));
        w->EditPickup(107);
        QCOMPARE(field(w, "TxtPickupBy")->text(), QStringLiteral("D. O'BRIEN"));
        w->NewPickup(1);
        w->ShowSelectedcompany(11);
        field(w, "TxtPackage")->setText(QStringLiteral("O'HARA's \"BOX\""));
        field(w, "txtnote")->setText(note); // as pasted: the case stays
        click(button(w, "cmdsave"));
        QCOMPARE(env->count("pickuplog"), 10);
        QCOMPARE(pickup("id = 107"), QStringLiteral("2|13|2003-01-31 23:59:59|D. O'BRIEN|DWG|<NULL>"));
        QCOMPARE(pickup(), QStringLiteral("1|11|2026-11-22|<NULL>|O'HARA's \"BOX\"|") + note);
    }
};

QTEST_MAIN(TestPickupForm)
#include "tst_pickupform.moc"
