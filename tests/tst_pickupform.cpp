#include "support/testenv.h"
#include "pickupsupport.h"

#include "app/conventions.h"
#include "app/windowregistry.h"
#include "db/database.h"
#include "db/datasource.h"
#include "ui/editors/frmPickupForm.h"
#include "ui/lists/frmListofCompanies.h"
#include "ui/lists/frmListofProjects.h"
#include "ui/main/frmMain.h"

#include <QAction>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QSqlQuery>
#include <QSqlQueryModel>
#include <QSqlRecord>
#include <QTableView>
#include <QTest>

namespace {

QLineEdit *field(QWidget *w, const char *name)
{
    auto *f = w->findChild<QLineEdit *>(QLatin1String(name));
    if (!f)
        qWarning("no field %s", name);
    return f;
}

QString text(QWidget *w, const char *name)
{
    QLineEdit *f = field(w, name);
    return f ? f->text() : QStringLiteral("<missing>");
}

QPushButton *button(QWidget *w, const char *name)
{
    return w->findChild<QPushButton *>(QLatin1String(name));
}

int rowWith(DataSource *source, const QString &column, const QVariant &value)
{
    return source->findRow(column, value);
}

// The subcontractor fields and the columns they show, in the window's order.
const QList<QPair<const char *, const char *>> kCompanyFields = {
    {"TxtCompany", "name"},     {"TxtAddress", "address1"}, {"txtaddress2", "address2"},
    {"TxtCity", "city"},        {"TxtZipCode", "zipcode"},  {"TxtState", "state"},
    {"TxtPhone", "telephone"},  {"TxtWebsite", "website"},  {"TxtFax", "fax"},
    {"TxtEmail", "email"},      {"txtMemo", "note"},
};

} // namespace

class TestPickupForm : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void windowFieldsAndPositions();
    void roadOfOnePickup();
    void saveNeedsASubcontractor_data();
    void saveNeedsASubcontractor();
    void storesProjectAndSubcontractorIds_data();
    void storesProjectAndSubcontractorIds();
    void secondChoiceReplacesEveryField();
    void dateField_data();
    void dateField();
    void editShowsThePickupAndSavesItBack();
    void editOrphanPickup();
    void editMissingPickup();
    void cancelWritesNothingAndRefreshesMain_data();
    void cancelWritesNothingAndRefreshesMain();
    void secondOpeningStartsAfresh();
    void quotesAndLongNote();
    void refusedWriteKeepsTheWindowOpen();

private:
    std::unique_ptr<TestEnv> env;
    frmPickupForm *openNew(qint64 project, std::optional<qint64> company = std::nullopt);
    bool activate(QWidget *w);
    QVariantList pickupRow(const QString &where = QStringLiteral("1=1"));
};

void TestPickupForm::init()
{
    env = std::make_unique<TestEnv>();
    QVERIFY(env->createDatabase());
    QVERIFY(env->exec(QStringLiteral(
        "INSERT INTO project (id, projectname, company, active) VALUES "
        "(1, 'NORTH TOWER', 'ATLAS', -1), (2, 'HARBOR VIEW', 'CITY', -1), (12, 'TWELVE', 'DOZEN', -1), "
        "(40000, 'BIG ID', 'WIDE', -1), (5000000000, 'HUGE ID', 'VAST', -1)")));
    QVERIFY(env->exec(QStringLiteral(
        "INSERT INTO authorizedcompanies (id, idproject, name, address1, address2, city, state, zipcode, telephone, "
        "fax, email, website, note) VALUES "
        "(10, 1, 'ACME ELECTRIC', '12 MAIN ST', 'SUITE 4', 'SPRINGFLD', 'IL', '62701', '555-0100', '555-0101', "
        "'acme@example.com', 'www.acme.example', 'KEYS AT DESK'), "
        "(11, 1, 'O''NEIL PLUMBING', NULL, NULL, 'CHICAGO', NULL, NULL, NULL, NULL, NULL, NULL, NULL), "
        "(13, 1, '', '1 EMPTY WAY', NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL), "
        "(14, 1, NULL, '2 NULL WAY', NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL), "
        "(20, 2, 'HARBOR GLASS', NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL), "
        "(40, 12, 'FORTY CO', NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL), "
        "(40001, 40000, 'FAR AWAY CO', NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL), "
        "(5000000001, 5000000000, 'VERY FAR CO', NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL)")));
}

void TestPickupForm::cleanup()
{
    env.reset();
}

frmPickupForm *TestPickupForm::openNew(qint64 project, std::optional<qint64> company)
{
    auto *w = WindowRegistry::get<frmPickupForm>();
    w->NewPickup(project);
    if (company)
        w->ShowSelectedcompany(*company);
    return w;
}

bool TestPickupForm::activate(QWidget *w)
{
    w->activateWindow();
    return QTest::qWaitForWindowActive(w);
}

QVariantList TestPickupForm::pickupRow(const QString &where)
{
    QSqlQuery q(db::main());
    q.exec(QStringLiteral("SELECT idproject, idauthorizedcompany, pickupdate, pickupby, package, note FROM pickuplog "
                          "WHERE ") + where);
    QVariantList out;
    if (q.next())
        for (int i = 0; i < 6; ++i)
            out << q.value(i);
    return out;
}

void TestPickupForm::windowFieldsAndPositions()
{
    frmPickupForm *w = openNew(1);
    QCOMPARE(w->windowTitle(), QStringLiteral("Pick-up Form"));
    QCOMPARE(w->size(), QSize(560, 543));
    QCOMPARE(w->minimumSize(), w->maximumSize());
    QCOMPARE(w->findChild<QFrame *>(QStringLiteral("PicButtons"))->height(), 46);

    struct Expect
    {
        const char *name;
        const char *label;
        int position;
        int max;
        bool editable;
    };
    const Expect fields[] = {
        {"TxtCompanyName", "Company:", 1, 50, false},   {"TxtProjectName", "Project Name:", 2, 50, false},
        {"TxtCompany", "Authorized Company", 3, 50, false}, {"TxtAddress", "Address:", 4, 50, false},
        {"txtaddress2", "Address:", 5, 50, false},      {"TxtCity", "City:", 6, 10, false},
        {"TxtZipCode", "Zip Code:", 7, 10, false},      {"TxtState", "State:", 8, 10, false},
        {"TxtPhone", "Phone:", 9, 50, false},           {"TxtWebsite", "WebSite:", 10, 50, false},
        {"TxtFax", "Fax:", 11, 50, false},              {"TxtEmail", "Email:", 12, 50, false},
        {"txtMemo", "Memo:", 13, -1, false},            {"TxtPickupDate", "Pick-up Date:", 14, 50, true},
        {"TxtPickupBy", "Pick-up By:", 15, 50, true},   {"TxtPackage", "Package:", 16, 50, true},
        {"txtnote", "Note:", 17, -1, true},
    };
    QList<int> positions;
    for (const Expect &e : fields) {
        QLineEdit *f = field(w, e.name);
        QVERIFY2(f, e.name);
        QCOMPARE(conventions::tabPosition(f), e.position);
        QCOMPARE(f->isEnabled(), e.editable);
        if (e.max > 0)
            QCOMPARE(f->maxLength(), e.max);
        else
            QVERIFY2(f->maxLength() > 100000, e.name);
        // The label is the field's buddy, so its text names the field.
        QLabel *buddyOf = nullptr;
        for (QLabel *l : w->findChildren<QLabel *>())
            if (l->buddy() == f)
                buddyOf = l;
        QVERIFY2(buddyOf, e.name);
        QCOMPARE(buddyOf->text(), QLatin1String(e.label));
        positions << conventions::tabPosition(buddyOf);
    }
    QCOMPARE(conventions::tabPosition(w->findChild<QFrame *>(QStringLiteral("PicContainer"))), 0);
    QCOMPARE(conventions::tabPosition(button(w, "cmdsave")), 18);
    QCOMPARE(conventions::tabPosition(button(w, "CmdCancel")), 19);
    QCOMPARE(conventions::tabPosition(button(w, "CmdListofCompanies")), 25);
    QCOMPARE(conventions::tabPosition(w->findChild<QFrame *>(QStringLiteral("PicButtons"))), 26);
    QCOMPARE(button(w, "cmdsave")->text(), QStringLiteral("Save"));
    QCOMPARE(button(w, "CmdCancel")->text(), QStringLiteral("Cancel"));
    QCOMPARE(button(w, "CmdListofCompanies")->text(), QStringLiteral("Company List"));
    // The labels fill 20 to 24 and 27 to 38: every position 0..38 once, no gaps.
    positions << 0 << 18 << 19 << 25 << 26;
    for (int p = 1; p <= 17; ++p)
        positions << p;
    std::sort(positions.begin(), positions.end());
    QList<int> all;
    for (int p = 0; p <= 38; ++p)
        all << p;
    QCOMPARE(positions, all);
}

void TestPickupForm::roadOfOnePickup()
{
    frmMain *main = WindowRegistry::get<frmMain>();
    main->show();
    QVERIFY(QTest::qWaitForWindowExposed(main));

    // 1. "New Pick-up" opens the project chooser.
    auto *menuItem = main->findChild<QAction *>(QStringLiteral("mnuPicNewPickup"));
    QVERIFY(menuItem);
    menuItem->trigger();
    auto *projects = WindowRegistry::existing<frmListofProjects>();
    QVERIFY(projects && projects->isVisible());
    QCOMPARE(projects->origen(), QStringLiteral("newpickup"));
    QVERIFY(QTest::qWaitForWindowExposed(projects));

    // 2. Choose the project, "Acept": the editor opens with today's date.
    auto *projectGrid = projects->findChild<QTableView *>(QStringLiteral("DbgList"));
    drive::clickRow(projectGrid, rowWith(projects->ADOlist(), QStringLiteral("ProjectName"), QStringLiteral("NORTH TOWER")));
    drive::click(button(projects, "CmdAcept"));
    auto *editor = WindowRegistry::existing<frmPickupForm>();
    QVERIFY(editor && editor->isVisible());
    QVERIFY(projects->isVisible()); // the chooser stays for another choice
    QCOMPARE(text(editor, "TxtCompanyName"), QStringLiteral("ATLAS"));
    QCOMPARE(text(editor, "TxtProjectName"), QStringLiteral("NORTH TOWER"));
    QCOMPARE(text(editor, "TxtPickupDate"), QStringLiteral("03/07/26"));
    QCOMPARE(text(editor, "TxtCompany"), QString());
    QVERIFY(QTest::qWaitForWindowExposed(editor));

    // 3. "Company List": this project's subcontractors; choose one, "Acept".
    drive::click(button(editor, "CmdListofCompanies"));
    auto *companies = WindowRegistry::existing<frmListofCompanies>();
    QVERIFY(companies && companies->isVisible());
    QCOMPARE(companies->ADOlist()->count(), qint64(4));
    QVERIFY(QTest::qWaitForWindowExposed(companies));
    auto *companyGrid = companies->findChild<QTableView *>(QStringLiteral("DbgList"));
    drive::clickRow(companyGrid, rowWith(companies->ADOlist(), QStringLiteral("name"), QStringLiteral("ACME ELECTRIC")));
    drive::click(button(companies, "CmdAcept"));
    QVERIFY(!WindowRegistry::existing<frmListofCompanies>());
    QCOMPARE(editor->CompanyId(), qint64(10));
    const QStringList shown = {"ACME ELECTRIC", "12 MAIN ST", "SUITE 4", "SPRINGFLD", "62701", "IL",
                               "555-0100", "www.acme.example", "555-0101", "acme@example.com", "KEYS AT DESK"};
    for (int i = 0; i < kCompanyFields.size(); ++i)
        QCOMPARE(text(editor, kCompanyFields.at(i).first), shown.at(i));

    // 4. Type with real keys: capitals, Enter walking the fields.
    QVERIFY(activate(editor));
    QCOMPARE(QApplication::focusWidget(), field(editor, "TxtPickupDate"));
    drive::key(editor, Qt::Key_Return);
    QCOMPARE(QApplication::focusWidget(), field(editor, "TxtPickupBy"));
    QCOMPARE(text(editor, "TxtPickupDate"), QStringLiteral("3/7/2026")); // checked when left
    drive::type(editor, QStringLiteral("j. smith"));
    drive::key(editor, Qt::Key_Return);
    QCOMPARE(QApplication::focusWidget(), field(editor, "TxtPackage"));
    drive::type(editor, QStringLiteral("drawings rev. 2"));
    drive::key(editor, Qt::Key_Enter);
    QCOMPARE(QApplication::focusWidget(), field(editor, "txtnote"));
    drive::type(editor, QStringLiteral("left at gate, o'neil's \"b\" door"));
    drive::key(editor, Qt::Key_Return);
    QCOMPARE(QApplication::focusWidget(), button(editor, "cmdsave"));
    drive::key(editor, Qt::Key_Return);
    QCOMPARE(QApplication::focusWidget(), button(editor, "CmdCancel"));
    drive::key(editor, Qt::Key_Return);
    QCOMPARE(QApplication::focusWidget(), button(editor, "CmdCancel")); // the walk ends here
    QVERIFY(editor->isVisible()); // Enter pressed neither button
    QCOMPARE(text(editor, "TxtPickupBy"), QStringLiteral("J. SMITH"));

    // 5. "Save" writes the row and closes the editor.
    QCOMPARE(env->scalar(QStringLiteral("SELECT count(*) FROM pickuplog")).toInt(), 0);
    drive::click(button(editor, "cmdsave"));
    QVERIFY(!WindowRegistry::existing<frmPickupForm>());
    QCOMPARE(env->scalar(QStringLiteral("SELECT count(*) FROM pickuplog")).toInt(), 1);
    QCOMPARE(pickupRow(), QVariantList({1, 10, QStringLiteral("2026-03-07"), QStringLiteral("J. SMITH"),
                                        QStringLiteral("DRAWINGS REV. 2"),
                                        QStringLiteral("LEFT AT GATE, O'NEIL'S \"B\" DOOR")}));
    QVERIFY(env->messages.calls.isEmpty());

    // 6. The main window: the project, the subcontractor, its pick-ups.
    auto *dbProject = main->findChild<QListView *>(QStringLiteral("dbProject"));
    auto *dbCompany = main->findChild<QListView *>(QStringLiteral("dbsubcontractor"));
    auto *dbgPickup = main->findChild<QTableView *>(QStringLiteral("dbgPickup"));
    QVERIFY(dbProject && dbCompany && dbgPickup);
    drive::clickRow(dbProject, rowWith(main->AdoProjects(), QStringLiteral("id"), 1), {}, dbProject->modelColumn());
    drive::clickRow(dbCompany, rowWith(main->AdoSubcontractor(), QStringLiteral("id"), 10), {}, dbCompany->modelColumn());
    QCOMPARE(dbgPickup->model()->rowCount(), 1);
    QCOMPARE(main->adopickups()->value(0, QStringLiteral("pickupby")).toString(), QStringLiteral("J. SMITH"));
    QCOMPARE(main->adopickups()->value(0, QStringLiteral("package")).toString(), QStringLiteral("DRAWINGS REV. 2"));

    drive::click(main->findChild<QPushButton *>(QStringLiteral("CmdPrint")));
    if (env->reports.calls.isEmpty())
        QSKIP("The main window's Print hands over no report yet.");
    const RecordingReports::Call &preview = env->reports.calls.last();
    QCOMPARE(preview.kind, RecordingReports::Kind::Preview);
    QCOMPARE(preview.layoutName, QStringLiteral("DrpListofPickupsOnly"));
    QCOMPARE(preview.rows.size(), 1);
    QCOMPARE(preview.rows.value(0, QStringLiteral("pickupby")).toString(), QStringLiteral("J. SMITH"));
    if (!pdftools::available())
        QSKIP("pdftotext is not installed");
    const QString pdf = pdftools::text(preview.pdfPath);
    QVERIFY2(pdf.contains(QStringLiteral("J. SMITH")), qPrintable(pdf));
    QVERIFY2(pdf.contains(QStringLiteral("DRAWINGS REV. 2")), qPrintable(pdf));
    QVERIFY2(pdf.contains(QStringLiteral("NORTH TOWER")), qPrintable(pdf));
}

void TestPickupForm::saveNeedsASubcontractor_data()
{
    QTest::addColumn<QVariant>("company"); // chosen before "Save"; invalid: none
    QTest::newRow("none chosen") << QVariant();
    QTest::newRow("empty name") << QVariant(13);
    QTest::newRow("null name") << QVariant(14);
    QTest::newRow("deleted meanwhile") << QVariant(99);
}

void TestPickupForm::saveNeedsASubcontractor()
{
    QFETCH(QVariant, company);
    frmPickupForm *w = openNew(1);
    if (company.isValid())
        w->ShowSelectedcompany(company.toLongLong());
    field(w, "TxtPickupBy")->setText(QStringLiteral("SOMEONE"));
    QVERIFY(QTest::qWaitForWindowExposed(w));
    drive::click(button(w, "cmdsave"));
    QCOMPARE(env->messages.calls.size(), 1);
    const RecordingMessages::Call &m = env->messages.calls.first();
    QCOMPARE(m.text, QStringLiteral("Please enter the company by clicking on the company list button"));
    QCOMPARE(m.title, QStringLiteral("NEW PICKUP"));
    QCOMPARE(m.icon, QMessageBox::Critical);
    QCOMPARE(m.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    QCOMPARE(env->scalar(QStringLiteral("SELECT count(*) FROM pickuplog")).toInt(), 0);
    QVERIFY(w->isVisible());
    QCOMPARE(text(w, "TxtPickupBy"), QStringLiteral("SOMEONE"));

    // Once a subcontractor with a name is chosen, the same "Save" writes.
    w->ShowSelectedcompany(11);
    drive::click(button(w, "cmdsave"));
    QCOMPARE(env->messages.calls.size(), 1);
    QCOMPARE(pickupRow().mid(0, 4), QVariantList({1, 11, QStringLiteral("2026-03-07"), QStringLiteral("SOMEONE")}));
}

void TestPickupForm::storesProjectAndSubcontractorIds_data()
{
    QTest::addColumn<qint64>("project");
    QTest::addColumn<qint64>("company");
    QTest::addColumn<QString>("projectName");
    QTest::newRow("12 and 40") << qint64(12) << qint64(40) << "TWELVE";
    QTest::newRow("above 32767") << qint64(40000) << qint64(40001) << "BIG ID";
    QTest::newRow("above 32 bits") << qint64(5000000000) << qint64(5000000001) << "HUGE ID";
}

void TestPickupForm::storesProjectAndSubcontractorIds()
{
    QFETCH(qint64, project);
    QFETCH(qint64, company);
    QFETCH(QString, projectName);
    frmPickupForm *w = openNew(project);
    QCOMPARE(text(w, "TxtProjectName"), projectName);
    // Chosen through the list of subcontractors, as the user does.
    QVERIFY(QTest::qWaitForWindowExposed(w));
    drive::click(button(w, "CmdListofCompanies"));
    auto *list = WindowRegistry::existing<frmListofCompanies>();
    QVERIFY(list);
    QCOMPARE(list->ADOlist()->count(), qint64(1));
    QVERIFY(QTest::qWaitForWindowExposed(list));
    drive::clickRow(list->findChild<QTableView *>(QStringLiteral("DbgList")), 0);
    drive::click(button(list, "CmdAcept"));
    QCOMPARE(w->CompanyId(), company);
    drive::click(button(w, "cmdsave"));
    QVERIFY(!WindowRegistry::existing<frmPickupForm>());
    QCOMPARE(pickupRow().mid(0, 2), QVariantList({project, company}));

    // And the stored pick-up opens again for editing by its id.
    const qint64 id = env->scalar(QStringLiteral("SELECT id FROM pickuplog")).toLongLong();
    QVERIFY(env->exec(QStringLiteral("UPDATE pickuplog SET id = ? WHERE id = ?"), {id + 70000, id}));
    WindowRegistry::get<frmPickupForm>()->EditPickup(id + 70000);
    w = WindowRegistry::existing<frmPickupForm>();
    QVERIFY(w && w->isVisible());
    QCOMPARE(text(w, "TxtProjectName"), projectName);
    QCOMPARE(w->ProjectId(), project);
    QCOMPARE(w->CompanyId(), company);
    QVERIFY(env->messages.calls.isEmpty());
}

void TestPickupForm::secondChoiceReplacesEveryField()
{
    frmPickupForm *w = openNew(1, 10);
    field(w, "TxtPickupBy")->setText(QStringLiteral("TYPED BEFORE"));
    w->ShowSelectedcompany(11);
    QCOMPARE(w->CompanyId(), qint64(11));
    for (const auto &[name, column] : kCompanyFields) {
        const QString expected = QLatin1String(column) == QLatin1String("name") ? QStringLiteral("O'NEIL PLUMBING")
                                 : QLatin1String(column) == QLatin1String("city") ? QStringLiteral("CHICAGO")
                                                                                  : QString();
        QCOMPARE(text(w, name), expected);
    }
    // The bound fields keep what was typed.
    QCOMPARE(text(w, "TxtPickupBy"), QStringLiteral("TYPED BEFORE"));
    QCOMPARE(text(w, "TxtPickupDate"), QStringLiteral("03/07/26"));
    // A subcontractor that no longer exists empties them all.
    w->ShowSelectedcompany(12345);
    for (const auto &[name, column] : kCompanyFields)
        QCOMPARE(text(w, name), QString());
}

void TestPickupForm::dateField_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QVariant>("stored");
    const QVariant null(QMetaType::fromType<QString>());
    QTest::newRow("two-digit day") << "12/05/26" << "12/5/2026" << QVariant("2026-12-05");
    QTest::newRow("day first") << "13/12/2003" << "12/13/2003" << QVariant("2003-12-13");
    QTest::newRow("30 February") << "2/30/2003" << "" << null;
    QTest::newRow("31 April") << "4/31/2026" << "" << null;
    QTest::newRow("letters") << "abc" << "" << null;
    QTest::newRow("empty") << "" << "" << null;
    QTest::newRow("year 29") << "1/1/29" << "1/1/2029" << QVariant("2029-01-01");
    QTest::newRow("year 29 end") << "12/31/29" << "12/31/2029" << QVariant("2029-12-31");
    QTest::newRow("year 30") << "1/1/30" << "1/1/1930" << QVariant("1930-01-01");
    QTest::newRow("month name") << "march 7, 2026" << "3/7/2026" << QVariant("2026-03-07");
    QTest::newRow("time of day") << "3/7/26 4:30 pm" << "3/7/2026 4:30:00 PM" << QVariant("2026-03-07 16:30:00");
    QTest::newRow("midnight") << "3/7/2026 0:00" << "3/7/2026" << QVariant("2026-03-07");
}

void TestPickupForm::dateField()
{
    QFETCH(QString, typed);
    QFETCH(QString, shown);
    QFETCH(QVariant, stored);
    frmPickupForm *w = openNew(1, 10);
    QVERIFY(activate(w));
    QLineEdit *date = field(w, "TxtPickupDate");
    QCOMPARE(QApplication::focusWidget(), date);
    drive::key(w, Qt::Key_A, Qt::ControlModifier);
    drive::key(w, Qt::Key_Backspace);
    drive::type(w, typed);
    QCOMPARE(date->text(), typed.toUpper());
    drive::key(w, Qt::Key_Return); // leaving the field checks it
    QCOMPARE(QApplication::focusWidget(), field(w, "TxtPickupBy"));
    QCOMPARE(date->text(), shown);
    drive::click(button(w, "cmdsave"));
    QVERIFY(!WindowRegistry::existing<frmPickupForm>());
    const QVariant got = env->scalar(QStringLiteral("SELECT pickupdate FROM pickuplog"));
    QCOMPARE(got.isNull(), stored.isNull());
    if (!stored.isNull())
        QCOMPARE(got.toString(), stored.toString());
}

void TestPickupForm::editShowsThePickupAndSavesItBack()
{
    QVERIFY(env->exec(QStringLiteral(
        "INSERT INTO pickuplog (id, idproject, idauthorizedcompany, pickupdate, pickupby, package, note) VALUES "
        "(7, 1, 10, '2025-12-31 16:30:00', 'M. GARCIA', 'KEYS', 'small letters kept'), "
        "(8, 2, 20, '2026-01-02', 'OTHER', NULL, NULL)")));
    const QVariantList before = pickupRow(QStringLiteral("id = 7"));
    auto *w = WindowRegistry::get<frmPickupForm>();
    w->EditPickup(7);
    QVERIFY(w->isVisible());
    QCOMPARE(text(w, "TxtCompanyName"), QStringLiteral("ATLAS"));
    QCOMPARE(text(w, "TxtProjectName"), QStringLiteral("NORTH TOWER"));
    QCOMPARE(text(w, "TxtCompany"), QStringLiteral("ACME ELECTRIC"));
    QCOMPARE(text(w, "txtMemo"), QStringLiteral("KEYS AT DESK"));
    QCOMPARE(text(w, "TxtPickupDate"), QStringLiteral("12/31/2025 4:30:00 PM"));
    QCOMPARE(text(w, "TxtPickupBy"), QStringLiteral("M. GARCIA"));
    QCOMPARE(text(w, "TxtPackage"), QStringLiteral("KEYS"));
    QCOMPARE(text(w, "txtnote"), QStringLiteral("small letters kept"));
    QVERIFY(activate(w));
    QCOMPARE(QApplication::focusWidget(), field(w, "TxtPickupDate"));

    drive::click(button(w, "cmdsave"));
    QVERIFY(!WindowRegistry::existing<frmPickupForm>());
    QCOMPARE(pickupRow(QStringLiteral("id = 7")), before);
    QCOMPARE(env->scalar(QStringLiteral("SELECT count(*) FROM pickuplog")).toInt(), 2);
    QCOMPARE(pickupRow(QStringLiteral("id = 8")).at(3).toString(), QStringLiteral("OTHER"));

    // A change is written to this row only, and the main window re-reads.
    frmMain *main = WindowRegistry::get<frmMain>();
    const int projectsBefore = main->AdoProjects()->model()->rowCount();
    QVERIFY(env->exec(QStringLiteral("INSERT INTO project (projectname) VALUES ('ADDED ELSEWHERE')")));
    w = WindowRegistry::get<frmPickupForm>();
    w->EditPickup(7);
    field(w, "TxtPackage")->setText(QStringLiteral("KEYS AND BADGE"));
    drive::click(button(w, "cmdsave"));
    QCOMPARE(pickupRow(QStringLiteral("id = 7")).at(4).toString(), QStringLiteral("KEYS AND BADGE"));
    QVERIFY(pickupRow(QStringLiteral("id = 8")).at(4).isNull());
    QCOMPARE(main->AdoProjects()->model()->rowCount(), projectsBefore + 1);
    QVERIFY(env->messages.calls.isEmpty());
}

void TestPickupForm::editOrphanPickup()
{
    QVERIFY(env->exec(QStringLiteral(
        "INSERT INTO pickuplog (id, idproject, idauthorizedcompany, pickupdate, pickupby) VALUES "
        "(7, 1, 11, '2026-01-05', 'ORPHANED'), (9, 2, 20, '2026-01-06', 'PROJECT GONE')")));
    // Deleted through the list of subcontractors: the pick-up stays.
    frmListofCompanies *list = WindowRegistry::get<frmListofCompanies>();
    list->showlist(QStringLiteral("1"));
    QVERIFY(QTest::qWaitForWindowExposed(list));
    drive::clickRow(list->findChild<QTableView *>(QStringLiteral("DbgList")),
                    rowWith(list->ADOlist(), QStringLiteral("id"), 11));
    drive::click(button(list, "CmdDelete"));
    QCOMPARE(env->scalar(QStringLiteral("SELECT count(*) FROM authorizedcompanies WHERE id = 11")).toInt(), 0);
    list->close();

    auto *w = WindowRegistry::get<frmPickupForm>();
    w->EditPickup(7);
    QCOMPARE(text(w, "TxtProjectName"), QStringLiteral("NORTH TOWER"));
    for (const auto &[name, column] : kCompanyFields)
        QCOMPARE(text(w, name), QString());
    QCOMPARE(text(w, "TxtPickupBy"), QStringLiteral("ORPHANED"));
    QVERIFY(QTest::qWaitForWindowExposed(w));
    drive::click(button(w, "cmdsave"));
    QCOMPARE(env->messages.texts(),
             QStringList({"Please enter the company by clicking on the company list button"}));
    QCOMPARE(env->messages.calls.first().title, QStringLiteral("NEW PICKUP"));
    QVERIFY(w->isVisible());
    QCOMPARE(pickupRow(QStringLiteral("id = 7")).at(1).toInt(), 11);
    // Another subcontractor unblocks it.
    w->ShowSelectedcompany(10);
    drive::click(button(w, "cmdsave"));
    QVERIFY(!WindowRegistry::existing<frmPickupForm>());
    QCOMPARE(pickupRow(QStringLiteral("id = 7")).mid(0, 4),
             QVariantList({1, 10, QStringLiteral("2026-01-05"), QStringLiteral("ORPHANED")}));

    // A deleted project leaves its fields empty; the subcontractor still counts.
    QVERIFY(env->exec(QStringLiteral("DELETE FROM project WHERE id = 2")));
    w = WindowRegistry::get<frmPickupForm>();
    w->EditPickup(9);
    QCOMPARE(text(w, "TxtCompanyName"), QString());
    QCOMPARE(text(w, "TxtProjectName"), QString());
    QCOMPARE(text(w, "TxtCompany"), QStringLiteral("HARBOR GLASS"));
    drive::click(button(w, "cmdsave"));
    QVERIFY(!WindowRegistry::existing<frmPickupForm>());
    QCOMPARE(pickupRow(QStringLiteral("id = 9")).mid(0, 2), QVariantList({2, 20}));
    QCOMPARE(env->messages.calls.size(), 1);
}

void TestPickupForm::editMissingPickup()
{
    auto *w = WindowRegistry::get<frmPickupForm>();
    w->EditPickup(404);
    QCOMPARE(env->messages.calls.size(), 1);
    QVERIFY(env->messages.calls.first().text.startsWith(QStringLiteral("The pick-up cannot be opened")));
    QVERIFY(!WindowRegistry::existing<frmPickupForm>());

    // An open new pick-up is left as it was.
    w = openNew(1, 10);
    field(w, "TxtPickupBy")->setText(QStringLiteral("KEPT"));
    w->EditPickup(404);
    QVERIFY(w->isVisible());
    drive::click(button(w, "cmdsave"));
    QCOMPARE(pickupRow().mid(0, 4), QVariantList({1, 10, QStringLiteral("2026-03-07"), QStringLiteral("KEPT")}));
}

void TestPickupForm::cancelWritesNothingAndRefreshesMain_data()
{
    QTest::addColumn<bool>("closeBox");
    QTest::newRow("Cancel") << false;
    QTest::newRow("close box") << true;
}

void TestPickupForm::cancelWritesNothingAndRefreshesMain()
{
    QFETCH(bool, closeBox);
    QVERIFY(env->exec(QStringLiteral("INSERT INTO pickuplog (id, idproject, idauthorizedcompany, pickupby) "
                                     "VALUES (3, 1, 10, 'UNCHANGED')")));
    frmMain *main = WindowRegistry::get<frmMain>();
    const int projectsBefore = main->AdoProjects()->model()->rowCount();
    for (bool editing : {false, true}) {
        frmPickupForm *w = WindowRegistry::get<frmPickupForm>();
        if (editing)
            w->EditPickup(3);
        else
            openNew(1, 10);
        field(w, "TxtPickupBy")->setText(QStringLiteral("NEVER WRITTEN"));
        QVERIFY(env->exec(QStringLiteral("INSERT INTO project (projectname) VALUES ('ADDED')")));
        QVERIFY(QTest::qWaitForWindowExposed(w));
        if (closeBox)
            w->close();
        else
            drive::click(button(w, "CmdCancel"));
        QVERIFY(!WindowRegistry::existing<frmPickupForm>());
        QCOMPARE(env->scalar(QStringLiteral("SELECT count(*) FROM pickuplog")).toInt(), 1);
        QCOMPARE(env->scalar(QStringLiteral("SELECT pickupby FROM pickuplog")).toString(), QStringLiteral("UNCHANGED"));
        // The closing hook made the main window re-read its lists.
        QCOMPARE(main->AdoProjects()->model()->rowCount(), projectsBefore + (editing ? 2 : 1));
    }
    QVERIFY(env->messages.calls.isEmpty());
}

void TestPickupForm::secondOpeningStartsAfresh()
{
    QVERIFY(env->exec(QStringLiteral("INSERT INTO pickuplog (id, idproject, idauthorizedcompany, pickupby) "
                                     "VALUES (3, 2, 20, 'STORED')")));
    frmPickupForm *w = openNew(1, 10);
    field(w, "TxtPickupBy")->setText(QStringLiteral("ABANDONED"));
    env->clock.value = QDateTime(QDate(2026, 11, 22), QTime(9, 0));
    w->NewPickup(2);
    QCOMPARE(WindowRegistry::existing<frmPickupForm>(), w);
    QCOMPARE(text(w, "TxtProjectName"), QStringLiteral("HARBOR VIEW"));
    QCOMPARE(text(w, "TxtPickupBy"), QString());
    QCOMPARE(text(w, "TxtPickupDate"), QStringLiteral("11/22/26"));
    for (const auto &[name, column] : kCompanyFields)
        QCOMPARE(text(w, name), QString());
    QCOMPARE(w->ProjectId(), qint64(2));

    // Editing another pick-up drops the new one too.
    field(w, "TxtPickupBy")->setText(QStringLiteral("ABANDONED AGAIN"));
    w->EditPickup(3);
    QCOMPARE(text(w, "TxtPickupBy"), QStringLiteral("STORED"));
    QCOMPARE(text(w, "TxtCompany"), QStringLiteral("HARBOR GLASS"));
    w->NewPickup(1);
    w->ShowSelectedcompany(10);
    drive::click(button(w, "cmdsave"));
    QCOMPARE(env->scalar(QStringLiteral("SELECT count(*) FROM pickuplog")).toInt(), 2);
    QCOMPARE(env->scalar(QStringLiteral("SELECT pickupby FROM pickuplog WHERE id = 3")).toString(),
             QStringLiteral("STORED"));
    QCOMPARE(env->scalar(QStringLiteral("SELECT pickupdate FROM pickuplog WHERE id <> 3")).toString(),
             QStringLiteral("2026-11-22"));
    QCOMPARE(env->scalar(QStringLiteral("SELECT count(*) FROM pickuplog WHERE pickupby LIKE 'ABANDONED%'")).toInt(), 0);
}

void TestPickupForm::quotesAndLongNote()
{
    QString note;
    for (int i = 0; note.size() < 10000; ++i)
        note += QStringLiteral("it's \"n%1\"; drop table pickuplog; -- ").arg(i);
    note.truncate(10000);
    frmPickupForm *w = openNew(1, 11); // O'NEIL PLUMBING
    QCOMPARE(text(w, "TxtCompany"), QStringLiteral("O'NEIL PLUMBING"));
    field(w, "txtnote")->setText(note); // put in whole, as pasted: the case stays
    field(w, "TxtPackage")->setText(QStringLiteral("O'HARA's \"BOX\""));
    QVERIFY(QTest::qWaitForWindowExposed(w));
    drive::click(button(w, "cmdsave"));
    QCOMPARE(pickupRow().at(5).toString(), note);
    QCOMPARE(pickupRow().at(4).toString(), QStringLiteral("O'HARA's \"BOX\""));
    QCOMPARE(pickupRow().at(1).toInt(), 11);
}

void TestPickupForm::refusedWriteKeepsTheWindowOpen()
{
    QVERIFY(env->exec(QStringLiteral(
        "CREATE TRIGGER refuse BEFORE INSERT ON pickuplog BEGIN SELECT RAISE(ABORT, 'disk says no'); END")));
    frmPickupForm *w = openNew(1, 10);
    QVERIFY(activate(w));
    drive::key(w, Qt::Key_Return);
    drive::type(w, QStringLiteral("typed by hand"));
    drive::click(button(w, "cmdsave"));
    QCOMPARE(env->messages.calls.size(), 1);
    QVERIFY2(env->messages.calls.first().text.contains(QStringLiteral("disk says no")),
             qPrintable(env->messages.calls.first().text));
    QCOMPARE(env->messages.calls.first().icon, QMessageBox::Critical);
    QVERIFY(WindowRegistry::existing<frmPickupForm>() == w && w->isVisible());
    QCOMPARE(text(w, "TxtPickupBy"), QStringLiteral("TYPED BY HAND"));
    QCOMPARE(text(w, "TxtCompany"), QStringLiteral("ACME ELECTRIC"));
    QCOMPARE(env->scalar(QStringLiteral("SELECT count(*) FROM pickuplog")).toInt(), 0);

    QVERIFY(env->exec(QStringLiteral("DROP TRIGGER refuse")));
    drive::click(button(w, "cmdsave"));
    QVERIFY(!WindowRegistry::existing<frmPickupForm>());
    QCOMPARE(pickupRow().mid(0, 4), QVariantList({1, 10, QStringLiteral("2026-03-07"), QStringLiteral("TYPED BY HAND")}));
}

QTEST_MAIN(TestPickupForm)
#include "tst_pickupform.moc"
