#include "support/testenv.h"

#include "core/db/database.h"
#include "core/db/datasource.h"
#include "core/db/queries.h"
#include "core/db/recordsource.h"
#include "core/db/registers.h"
#include "core/db/rowset.h"
#include "core/db/sampledata.h"

#include <QItemSelectionModel>
#include <QSignalSpy>
#include <QSqlQueryModel>
#include <QTest>

class TestDataSource : public QObject
{
    Q_OBJECT
    std::unique_ptr<TestEnv> env;

private slots:
    void init()
    {
        env = std::make_unique<TestEnv>();
        QVERIFY(env->createDatabase());
    }
    void cleanup() { env.reset(); }

    void boundValuesAreJustCharacters_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("quote") << "O'NEIL & SONS";
        QTest::newRow("sql") << "x'); DROP TABLE project; --";
        QTest::newRow("unicode") << QStringLiteral("Müller Bau — Ölçü 東京");
        QTest::newRow("long") << QString(10000, QLatin1Char('N'));
    }

    void boundValuesAreJustCharacters()
    {
        QFETCH(QString, name);
        QVERIFY(env->exec("INSERT INTO project (projectname, company, active) VALUES (?, 'c', -1)", {name}));
        DataSource ds;
        ds.setQuery(QStringLiteral("SELECT * FROM project WHERE projectname = ?"), {name});
        QVERIFY(ds.refresh());
        QCOMPARE(ds.field(QStringLiteral("ProjectName")).toString(), name);
        QCOMPARE(env->scalar("SELECT count(*) FROM sqlite_master WHERE name='project'").toInt(), 1);
    }

    void currentRow()
    {
        QVERIFY(env->exec("INSERT INTO project (projectname, active) VALUES ('B', -1), ('A', -1), ('C', 0)"));
        DataSource ds;
        QVERIFY(!ds.refresh()); // no query yet
        ds.setQuery(QStringLiteral("SELECT * FROM project WHERE active = ? ORDER BY projectname"), {-1});
        QVERIFY(ds.refresh());
        QCOMPARE(ds.currentRow(), 0);
        QCOMPARE(ds.field(QStringLiteral("PROJECTNAME")).toString(), QStringLiteral("A"));
        QVERIFY(ds.setCurrentRow(1));
        QCOMPARE(ds.field(QStringLiteral("projectname")).toString(), QStringLiteral("B"));
        QVERIFY(!ds.setCurrentRow(2));
        QVERIFY(!ds.field(QStringLiteral("nosuchcolumn")).isValid());
        QVERIFY(ds.refresh());
        QCOMPARE(ds.currentRow(), 0);
        // From a selection: fails with nothing selected; else the row selected first, not the lowest.
        QItemSelectionModel sel(ds.model());
        QVERIFY(!ds.setCurrentFromSelection(&sel));
        QVERIFY(!ds.setCurrentFromSelection(nullptr));
        sel.select(ds.model()->index(1, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
        sel.select(ds.model()->index(0, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
        QVERIFY(ds.setCurrentFromSelection(&sel));
        QCOMPARE(ds.field(QStringLiteral("projectname")).toString(), QStringLiteral("B"));
        ds.setQuery(QStringLiteral("SELECT * FROM project WHERE active = 1"));
        QVERIFY(ds.refresh());
        QVERIFY(ds.isEmpty());
        QCOMPARE(ds.currentRow(), -1);
        QVERIFY(ds.field(QStringLiteral("id")).isNull());
    }

    // The model fetches lazily; count and findRow do not stop at what it fetched.
    void countAndFindRowGoPastTheFetchedRows()
    {
        SampleSpec spec;
        spec.projects = 600;
        spec.companiesPerProject = 0;
        env.reset();
        env = std::make_unique<TestEnv>();
        QVERIFY(env->createDatabase(spec));
        DataSource ds;
        ds.setQuery(QStringLiteral("select * from project"));
        QVERIFY(ds.refresh());
        QVERIFY(ds.model()->rowCount() < 600);
        QCOMPARE(ds.count(), 600);
        QCOMPARE(ds.findRow(QStringLiteral("ID"), qint64(555)), 554);
        QCOMPARE(ds.value(554, QStringLiteral("id")).toLongLong(), 555);
        QCOMPARE(ds.findRow(QStringLiteral("id"), qint64(601)), -1);
    }

    void failuresAreReported()
    {
        DataSource ds;
        ds.setQuery(QStringLiteral("SELECT * FROM nosuchtable"));
        QVERIFY(!ds.refresh());
        QVERIFY(ds.lastFailure().description.contains(QStringLiteral("nosuchtable")));
        QVERIFY(ds.isEmpty());
        db::closeMain();
        ds.setQuery(QStringLiteral("SELECT * FROM project"));
        QVERIFY(!ds.refresh());
        QVERIFY(!ds.lastFailure().description.isEmpty());
        Failure f;
        QVERIFY(!readRows(QStringLiteral("SELECT * FROM project"), {}, &f));
        QVERIFY(!f.text().isEmpty());
        QVERIFY(f.text().startsWith(QString::number(f.number)));
    }

    void rowSetIsDetached()
    {
        QVERIFY(env->exec("INSERT INTO project (projectname, company, active) VALUES ('A', NULL, -1), ('B', 'b', 0)"));
        Failure f;
        const auto rs = readRows(QStringLiteral("SELECT * FROM project WHERE id >= ? ORDER BY id"), {1}, &f);
        QVERIFY(rs);
        QCOMPARE(rs->size(), 2);
        QCOMPARE(rs->value(1, QStringLiteral("ProjectName")).toString(), QStringLiteral("B"));
        QVERIFY(rs->value(0, QStringLiteral("Company")).isNull());
        QVERIFY(!rs->value(0, QStringLiteral("nosuch")).isValid());
        // No statement is left open: the rows can be deleted and the snapshot stays.
        QVERIFY(env->exec("DELETE FROM project"));
        db::closeMain();
        QCOMPARE(rs->value(0, QStringLiteral("active")).toInt(), -1);
    }

    void recordAddEditCancel()
    {
        RecordSource rec(QStringLiteral("project"));
        rec.addNew();
        QVERIFY(rec.isNew());
        rec.setValue(QStringLiteral("ProjectName"), QStringLiteral("NORTH TOWER"));
        rec.cancel();
        QVERIFY(!rec.hasRecord());
        QCOMPARE(env->scalar("SELECT count(*) FROM project").toInt(), 0);

        rec.addNew();
        rec.setValue(QStringLiteral("ProjectName"), QStringLiteral("NORTH TOWER"));
        rec.setValue(QStringLiteral("Company"), QStringLiteral("ATLAS"));
        Failure why;
        QVERIFY2(rec.write(&why), qPrintable(why.description));
        const qint64 id = rec.id();
        QVERIFY(id > 0);

        RecordSource edit(QStringLiteral("PROJECT"));
        QVERIFY(edit.loadById(id));
        edit.setValue(QStringLiteral("Company"), QStringLiteral("ATLAS PROPERTIES"));
        edit.cancel();
        QCOMPARE(edit.value(QStringLiteral("company")).toString(), QStringLiteral("ATLAS"));
        edit.setValue(QStringLiteral("company"), QStringLiteral("ATLAS PROPERTIES"));
        edit.setValue(QStringLiteral("id"), 999); // the id is the database's
        QVERIFY2(edit.write(&why), qPrintable(why.description));
        QCOMPARE(env->scalar("SELECT company FROM project WHERE id = ?", {id}).toString(), "ATLAS PROPERTIES");
        QCOMPARE(env->scalar("SELECT count(*) FROM project").toInt(), 1);
        QVERIFY(!edit.loadById(id + 100));
        QVERIFY(!edit.hasRecord());
    }

    // A refused write gives the reason and keeps the values for a retry.
    void recordWriteRefused()
    {
        RecordSource rec(QStringLiteral("project"));
        rec.addNew();
        rec.setValue(QStringLiteral("projectname"), QStringLiteral("X"));
        Failure why;
        QVERIFY(rec.write(&why));
        QVERIFY(env->exec("DELETE FROM project"));
        rec.setValue(QStringLiteral("projectname"), QStringLiteral("Y"));
        QVERIFY(!rec.write(&why));
        QVERIFY2(why.reason.contains(QStringLiteral("no longer exists")), qPrintable(why.reason));
        QCOMPARE(rec.value(QStringLiteral("projectname")).toString(), QStringLiteral("Y"));
        QVERIFY(env->exec("CREATE TRIGGER no_insert BEFORE INSERT ON project BEGIN "
                          "SELECT RAISE(ABORT, 'the register is closed'); END"));
        RecordSource other(QStringLiteral("project"));
        other.addNew();
        other.setValue(QStringLiteral("projectname"), QStringLiteral("Z"));
        QVERIFY(!other.write(&why));
        QVERIFY2(why.reason.contains(QStringLiteral("the register is closed")), qPrintable(why.reason));
        QVERIFY(other.isNew());
        QCOMPARE(other.value(QStringLiteral("projectname")).toString(), QStringLiteral("Z"));
    }

    // Committed writes and deletes are announced with their table; refused ones are not.
    void writesAreAnnounced()
    {
        QSignalSpy spy(&registers(), &Registers::changed);
        RecordSource rec(QStringLiteral("project"));
        rec.addNew();
        QVERIFY(rec.write(nullptr));
        QVERIFY(env->exec("CREATE TRIGGER no_update BEFORE UPDATE ON project BEGIN SELECT RAISE(ABORT, 'closed'); END"));
        rec.setValue(QStringLiteral("projectname"), QStringLiteral("X"));
        QVERIFY(!rec.write(nullptr));
        QVERIFY(deleteRecord(QStringLiteral("pickuplog"), 1));
        QVERIFY(!deleteRecord(QStringLiteral("sqlite_master"), 1));
        QStringList tables;
        for (const QVariantList &call : spy)
            tables << call.first().toString() + (call.at(1).value<Registers::Change>() == Registers::Deleted ? "-" : "+");
        QCOMPARE(tables, QStringList({"project+", "pickuplog-"}));
    }

    void largeIds()
    {
        QVERIFY(env->exec("INSERT INTO project (id, projectname) VALUES (40000, 'BIG'), (5000000000, 'HUGE')"));
        RecordSource rec(QStringLiteral("project"));
        QVERIFY(rec.loadById(5000000000LL));
        QCOMPARE(rec.value(QStringLiteral("projectname")).toString(), QStringLiteral("HUGE"));
        rec.addNew();
        QVERIFY(rec.write());
        QCOMPARE(rec.id(), 5000000001LL);
        DataSource ds;
        ds.setQuery(QStringLiteral("SELECT * FROM project WHERE id = ?"), {qint64(40000)});
        QVERIFY(ds.refresh());
        QCOMPARE(ds.field(QStringLiteral("projectname")).toString(), QStringLiteral("BIG"));
    }

    void sampleData()
    {
        SampleSpec spec;
        spec.projects = 14;
        spec.companiesPerProject = 5;
        spec.pickupsPerCompany = 4;
        spec.inactiveEvery = 7;
        spec.orphanEvery = 10;
        env.reset();
        env = std::make_unique<TestEnv>();
        QVERIFY(env->createDatabase(spec));
        const QList<QPair<const char *, int>> counts = {
            {"SELECT count(*) FROM project", 14},
            {"SELECT count(*) FROM project WHERE active <> -1", 2},
            {"SELECT count(*) FROM authorizedcompanies", 70 - 7},
            {"SELECT count(*) FROM pickuplog", 280},
            // Orphans: pick-ups whose subcontractor row is gone.
            {"SELECT count(*) FROM pickuplog p LEFT JOIN authorizedcompanies a ON p.idauthorizedcompany = a.id "
             "WHERE a.id IS NULL", 28},
            // Every pick-up belongs to its subcontractor's project; dates are ISO; cities fit their field.
            {"SELECT count(*) FROM pickuplog p JOIN authorizedcompanies a ON p.idauthorizedcompany = a.id "
             "WHERE a.idproject <> p.idproject", 0},
            {"SELECT count(*) FROM pickuplog WHERE pickupdate NOT GLOB '[12][0-9][0-9][0-9]-[01][0-9]-[0-3][0-9]*'", 0},
            {"SELECT count(*) FROM authorizedcompanies WHERE length(city) > 10", 0}};
        for (const auto &[sql, n] : counts)
            QCOMPARE(env->scalar(sql).toInt(), n);
        // The same seed gives the same register.
        const char *names = "SELECT group_concat(name, '|') FROM authorizedcompanies";
        const QString first = env->scalar(names).toString();
        env.reset();
        env = std::make_unique<TestEnv>();
        QVERIFY(env->createDatabase(spec));
        QCOMPARE(env->scalar(names).toString(), first);
    }
};

QTEST_GUILESS_MAIN(TestDataSource)
#include "tst_datasource.moc"
