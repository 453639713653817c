#include "support/testenv.h"

#include "db/database.h"
#include "db/datasource.h"
#include "db/recordsource.h"
#include "db/rowset.h"
#include "db/sampledata.h"

#include <QItemSelectionModel>
#include <QSqlQueryModel>
#include <QTest>

class TestDataSource : public QObject
{
    Q_OBJECT
private slots:
    void boundValuesAreJustCharacters_data();
    void boundValuesAreJustCharacters();
    void refreshMakesFirstRowCurrent();
    void currentRowFromSelection();
    void countIsNotTheLazyRowCount();
    void findRowFetchesFurther();
    void failuresAreReported();
    void rowSetIsDetached();
    void recordAddEditCancel();
    void recordWriteRefused();
    void largeIds();
    void sampleData();
};

void TestDataSource::boundValuesAreJustCharacters_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("quote") << "O'NEIL & SONS";
    QTest::newRow("sql") << "x'); DROP TABLE project; --";
    QTest::newRow("unicode") << QStringLiteral("Müller Bau — Ölçü 東京");
    QTest::newRow("long") << QString(10000, QLatin1Char('N'));
}

void TestDataSource::boundValuesAreJustCharacters()
{
    QFETCH(QString, name);
    TestEnv env;
    QVERIFY(env.createDatabase());
    QVERIFY(env.exec(QStringLiteral("INSERT INTO project (projectname, company, active) VALUES (?, 'c', -1)"), {name}));
    DataSource ds;
    ds.setQuery(QStringLiteral("SELECT * FROM project WHERE projectname = ?"), {name});
    QVERIFY(ds.refresh());
    QCOMPARE(ds.field(QStringLiteral("ProjectName")).toString(), name);
    QCOMPARE(env.scalar(QStringLiteral("SELECT count(*) FROM sqlite_master WHERE name='project'")).toInt(), 1);
}

void TestDataSource::refreshMakesFirstRowCurrent()
{
    TestEnv env;
    QVERIFY(env.createDatabase());
    QVERIFY(env.exec(QStringLiteral("INSERT INTO project (projectname, active) VALUES ('B', -1), ('A', -1), ('C', 0)")));
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
    ds.setQuery(QStringLiteral("SELECT * FROM project WHERE active = 1"));
    QVERIFY(ds.refresh());
    QVERIFY(ds.isEmpty());
    QCOMPARE(ds.currentRow(), -1);
    QVERIFY(ds.field(QStringLiteral("id")).isNull());
}

void TestDataSource::currentRowFromSelection()
{
    TestEnv env;
    QVERIFY(env.createDatabase());
    QVERIFY(env.exec(QStringLiteral("INSERT INTO project (projectname) VALUES ('A'), ('B'), ('C')")));
    DataSource ds;
    ds.setQuery(QStringLiteral("SELECT * FROM project ORDER BY id"));
    QVERIFY(ds.refresh());
    QItemSelectionModel sel(ds.model());
    QVERIFY(!ds.setCurrentFromSelection(&sel)); // nothing selected
    QVERIFY(!ds.setCurrentFromSelection(nullptr));
    // The row selected first wins, not the lowest.
    sel.select(ds.model()->index(2, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    sel.select(ds.model()->index(0, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    QVERIFY(ds.setCurrentFromSelection(&sel));
    QCOMPARE(ds.field(QStringLiteral("projectname")).toString(), QStringLiteral("C"));
}

void TestDataSource::countIsNotTheLazyRowCount()
{
    TestEnv env;
    SampleSpec spec;
    spec.projects = 1;
    spec.companiesPerProject = 1;
    spec.pickupsPerCompany = 1000;
    QVERIFY(env.createDatabase(spec));
    DataSource ds;
    ds.setQuery(QStringLiteral("SELECT * FROM pickuplog WHERE idproject = ?"), {1});
    QVERIFY(ds.refresh());
    QVERIFY(ds.model()->rowCount() < 1000); // fetched lazily
    QCOMPARE(ds.count(), 1000);
    QVERIFY(!ds.isEmpty());
}

void TestDataSource::findRowFetchesFurther()
{
    TestEnv env;
    SampleSpec spec;
    spec.projects = 600;
    spec.companiesPerProject = 0;
    QVERIFY(env.createDatabase(spec));
    DataSource ds;
    ds.setQuery(QStringLiteral("select * from project"));
    QVERIFY(ds.refresh());
    const int row = ds.findRow(QStringLiteral("ID"), qint64(555));
    QCOMPARE(row, 554);
    QCOMPARE(ds.value(row, QStringLiteral("id")).toLongLong(), 555);
    QCOMPARE(ds.findRow(QStringLiteral("id"), qint64(601)), -1);
}

void TestDataSource::failuresAreReported()
{
    TestEnv env;
    QVERIFY(env.createDatabase());
    DataSource ds;
    ds.setQuery(QStringLiteral("SELECT * FROM nosuchtable"));
    QVERIFY(!ds.refresh());
    QVERIFY(ds.lastFailure().description.contains(QStringLiteral("nosuchtable")));
    QVERIFY(ds.isEmpty());
    db::closeMain();
    ds.setQuery(QStringLiteral("SELECT * FROM project"));
    QVERIFY(!ds.refresh());
    QVERIFY(!ds.lastFailure().description.isEmpty());
    DbFailure f;
    QVERIFY(!readRows(QStringLiteral("SELECT * FROM project"), {}, &f));
    QVERIFY(!f.text().isEmpty());
    QVERIFY(f.text().startsWith(QString::number(f.number)));
}

void TestDataSource::rowSetIsDetached()
{
    TestEnv env;
    QVERIFY(env.createDatabase());
    QVERIFY(env.exec(QStringLiteral("INSERT INTO project (projectname, company, active) VALUES ('A', NULL, -1), ('B', 'b', 0)")));
    DbFailure f;
    const auto rs = readRows(QStringLiteral("SELECT * FROM project WHERE id >= ? ORDER BY id"), {1}, &f);
    QVERIFY(rs);
    QCOMPARE(rs->size(), 2);
    QCOMPARE(rs->value(1, QStringLiteral("ProjectName")).toString(), QStringLiteral("B"));
    QVERIFY(rs->value(0, QStringLiteral("Company")).isNull());
    QVERIFY(!rs->value(0, QStringLiteral("nosuch")).isValid());
    // No statement is left open: the rows can be deleted and the snapshot stays.
    QVERIFY(env.exec(QStringLiteral("DELETE FROM project")));
    db::closeMain();
    QCOMPARE(rs->value(0, QStringLiteral("active")).toInt(), -1);
}

void TestDataSource::recordAddEditCancel()
{
    TestEnv env;
    QVERIFY(env.createDatabase());
    RecordSource rec(QStringLiteral("project"));
    rec.addNew();
    QVERIFY(rec.isNew());
    rec.setValue(QStringLiteral("ProjectName"), QStringLiteral("NORTH TOWER"));
    rec.setValue(QStringLiteral("Active"), -1);
    rec.cancel();
    QVERIFY(!rec.hasRecord());
    QCOMPARE(env.scalar(QStringLiteral("SELECT count(*) FROM project")).toInt(), 0);

    rec.addNew();
    rec.setValue(QStringLiteral("ProjectName"), QStringLiteral("NORTH TOWER"));
    rec.setValue(QStringLiteral("Company"), QStringLiteral("ATLAS"));
    rec.setValue(QStringLiteral("Active"), 0);
    QString error;
    QVERIFY2(rec.write(&error), qPrintable(error));
    QVERIFY(rec.id() > 0);
    const qint64 id = rec.id();

    RecordSource edit(QStringLiteral("PROJECT"));
    QVERIFY(edit.loadById(id));
    QCOMPARE(edit.value(QStringLiteral("company")).toString(), QStringLiteral("ATLAS"));
    edit.setValue(QStringLiteral("Company"), QStringLiteral("ATLAS PROPERTIES"));
    edit.cancel();
    QCOMPARE(edit.value(QStringLiteral("company")).toString(), QStringLiteral("ATLAS"));
    edit.setValue(QStringLiteral("company"), QStringLiteral("ATLAS PROPERTIES"));
    edit.setValue(QStringLiteral("id"), 999); // the id is the database's
    QVERIFY2(edit.write(&error), qPrintable(error));
    QCOMPARE(env.scalar(QStringLiteral("SELECT company FROM project WHERE id = ?"), {id}).toString(),
             QStringLiteral("ATLAS PROPERTIES"));
    QCOMPARE(env.scalar(QStringLiteral("SELECT count(*) FROM project")).toInt(), 1);
    QVERIFY(!edit.loadById(id + 100));
    QVERIFY(!edit.hasRecord());
}

void TestDataSource::recordWriteRefused()
{
    TestEnv env;
    QVERIFY(env.createDatabase());
    RecordSource rec(QStringLiteral("project"));
    rec.addNew();
    rec.setValue(QStringLiteral("projectname"), QStringLiteral("X"));
    QString error;
    QVERIFY(rec.write(&error));
    // Deleted meanwhile: the change is refused with a reason, and kept for a retry.
    QVERIFY(env.exec(QStringLiteral("DELETE FROM project")));
    rec.setValue(QStringLiteral("projectname"), QStringLiteral("Y"));
    QVERIFY(!rec.write(&error));
    QVERIFY2(error.contains(QStringLiteral("no longer exists")), qPrintable(error));
    QCOMPARE(rec.value(QStringLiteral("projectname")).toString(), QStringLiteral("Y"));
    // A database that refuses the insert.
    QVERIFY(env.exec(QStringLiteral("CREATE TRIGGER no_insert BEFORE INSERT ON project BEGIN SELECT RAISE(ABORT, 'the register is closed'); END")));
    RecordSource other(QStringLiteral("project"));
    other.addNew();
    other.setValue(QStringLiteral("projectname"), QStringLiteral("Z"));
    QVERIFY(!other.write(&error));
    QVERIFY2(error.contains(QStringLiteral("the register is closed")), qPrintable(error));
    QVERIFY(other.isNew());
    QCOMPARE(other.value(QStringLiteral("projectname")).toString(), QStringLiteral("Z"));
}

void TestDataSource::largeIds()
{
    TestEnv env;
    QVERIFY(env.createDatabase());
    QVERIFY(env.exec(QStringLiteral("INSERT INTO project (id, projectname) VALUES (40000, 'BIG'), (5000000000, 'HUGE')")));
    RecordSource rec(QStringLiteral("project"));
    QVERIFY(rec.loadById(5000000000LL));
    QCOMPARE(rec.value(QStringLiteral("projectname")).toString(), QStringLiteral("HUGE"));
    rec.addNew();
    QString error;
    QVERIFY(rec.write(&error));
    QCOMPARE(rec.id(), 5000000001LL);
    DataSource ds;
    ds.setQuery(QStringLiteral("SELECT * FROM project WHERE id = ?"), {qint64(40000)});
    QVERIFY(ds.refresh());
    QCOMPARE(ds.field(QStringLiteral("projectname")).toString(), QStringLiteral("BIG"));
}

void TestDataSource::sampleData()
{
    TestEnv env;
    SampleSpec spec;
    spec.projects = 14;
    spec.companiesPerProject = 5;
    spec.pickupsPerCompany = 4;
    spec.inactiveEvery = 7;
    spec.orphanEvery = 10;
    QVERIFY(env.createDatabase(spec));
    QCOMPARE(env.scalar(QStringLiteral("SELECT count(*) FROM project")).toInt(), 14);
    QCOMPARE(env.scalar(QStringLiteral("SELECT count(*) FROM project WHERE active <> -1")).toInt(), 2);
    QCOMPARE(env.scalar(QStringLiteral("SELECT count(*) FROM authorizedcompanies")).toInt(), 70 - 7);
    QCOMPARE(env.scalar(QStringLiteral("SELECT count(*) FROM pickuplog")).toInt(), 280);
    // Orphans: pick-ups whose subcontractor row is gone.
    QCOMPARE(env.scalar(QStringLiteral("SELECT count(*) FROM pickuplog p LEFT JOIN authorizedcompanies a "
                                       "ON p.idauthorizedcompany = a.id WHERE a.id IS NULL")).toInt(), 28);
    // Every pick-up belongs to its subcontractor's project; dates are ISO.
    QCOMPARE(env.scalar(QStringLiteral("SELECT count(*) FROM pickuplog p JOIN authorizedcompanies a "
                                       "ON p.idauthorizedcompany = a.id WHERE a.idproject <> p.idproject")).toInt(), 0);
    QCOMPARE(env.scalar(QStringLiteral("SELECT count(*) FROM pickuplog WHERE pickupdate NOT GLOB "
                                       "'[12][0-9][0-9][0-9]-[01][0-9]-[0-3][0-9]*'")).toInt(), 0);
    QCOMPARE(env.scalar(QStringLiteral("SELECT max(length(city)) FROM authorizedcompanies")).toInt() <= 10, true);
    // The same seed gives the same register.
    const QString first = env.scalar(QStringLiteral("SELECT group_concat(name, '|') FROM authorizedcompanies")).toString();
    TestEnv again;
    QVERIFY(again.createDatabase(spec));
    QCOMPARE(again.scalar(QStringLiteral("SELECT group_concat(name, '|') FROM authorizedcompanies")).toString(), first);
}

QTEST_GUILESS_MAIN(TestDataSource)
#include "tst_datasource.moc"
