#include "support/testenv.h"

#include "app/globals.h"
#include "db/database.h"
#include "db/recordsource.h"
#include "db/schema.h"

#include <QCryptographicHash>
#include <QFile>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTest>

namespace {

QByteArray digest(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256);
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

} // namespace

class TestDatabase : public QObject
{
    Q_OBJECT
private slots:
    void schemaIsCreated();
    void idsAreNeverReused();
    void textComparesWithoutCase();
    void badFiles_data();
    void badFiles();
    void missingFileIsNotCreated();
    void createRefusesExistingFile();
    void createMakesTheFolder();
    void createInUnwritablePlace();
    void templateHasNoTables();
};

void TestDatabase::schemaIsCreated()
{
    TestEnv env;
    QVERIFY(env.createDatabase());
    QSqlDatabase d = db::main();
    for (const schema::Table &t : schema::tables()) {
        const QSqlRecord rec = d.record(t.name);
        QCOMPARE(rec.count(), t.columns.size());
        for (const QString &c : t.columns)
            QVERIFY2(rec.indexOf(c) >= 0, qPrintable(t.name + "." + c));
    }
    // Columns are reached whatever the case they are written in.
    QCOMPARE(d.record(QStringLiteral("Pickuplog")).indexOf(QStringLiteral("IDproject")), 1);
    QCOMPARE(env.scalar(QStringLiteral("PRAGMA application_id")).toInt(), schema::kApplicationId);
    QCOMPARE(env.scalar(QStringLiteral("PRAGMA user_version")).toInt(), schema::kVersion);
    QCOMPARE(env.scalar(QStringLiteral("PRAGMA journal_mode")).toString(), QStringLiteral("delete"));
    QCOMPARE(env.scalar(QStringLiteral("PRAGMA synchronous")).toInt(), 2); // FULL
    QCOMPARE(env.scalar(QStringLiteral("PRAGMA foreign_keys")).toInt(), 0);
    const QStringList indexes = {QStringLiteral("ix_authorizedcompanies_idproject"),
                                 QStringLiteral("ix_pickuplog_company_project_date"),
                                 QStringLiteral("ix_pickuplog_idproject"), QStringLiteral("ix_pickuplog_pickupdate")};
    for (const QString &ix : indexes)
        QCOMPARE(env.scalar(QStringLiteral("SELECT count(*) FROM sqlite_master WHERE type='index' AND name=?"), {ix}).toInt(), 1);
    // The pick-up query of the main window is answered from the index.
    QSqlQuery plan(d);
    QVERIFY(plan.exec(QStringLiteral("EXPLAIN QUERY PLAN select * from pickuplog where idauthorizedcompany = 1 "
                                     "and idproject = 2 order by pickupdate")));
    QString planText;
    while (plan.next())
        planText += plan.value(3).toString() + '\n';
    QVERIFY2(planText.contains("ix_pickuplog_company_project_date") && !planText.contains("TEMP B-TREE"),
             qPrintable(planText));
}

void TestDatabase::idsAreNeverReused()
{
    TestEnv env;
    QVERIFY(env.createDatabase());
    QVERIFY(env.exec(QStringLiteral("INSERT INTO authorizedcompanies (idproject, name) VALUES (1, 'A')")));
    QVERIFY(env.exec(QStringLiteral("INSERT INTO authorizedcompanies (idproject, name) VALUES (1, 'B')")));
    QVERIFY(env.exec(QStringLiteral("DELETE FROM authorizedcompanies WHERE id = 2")));
    RecordSource rec(QStringLiteral("authorizedcompanies"));
    rec.addNew();
    rec.setValue(QStringLiteral("Name"), QStringLiteral("C"));
    QString error;
    QVERIFY2(rec.write(&error), qPrintable(error));
    // A pick-up left pointing at subcontractor 2 must never attach to the new one.
    QCOMPARE(rec.id(), 3);
}

void TestDatabase::textComparesWithoutCase()
{
    TestEnv env;
    QVERIFY(env.createDatabase());
    QVERIFY(env.exec(QStringLiteral("INSERT INTO project (projectname, company, active) VALUES ('b tower', 'x', -1), "
                                    "('A Tower', 'y', -1), ('a tower', 'a', 0)")));
    QCOMPARE(env.scalar(QStringLiteral("SELECT count(*) FROM project WHERE projectname = 'A TOWER'")).toInt(), 2);
    QCOMPARE(env.scalar(QStringLiteral("SELECT company FROM project ORDER BY projectname, company LIMIT 1")).toString(),
             QStringLiteral("a"));
}

void TestDatabase::badFiles_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("dropTable");
    QTest::addColumn<QString>("reason");
    QTest::newRow("not a database") << QByteArray("This is a letter, not a database.\n").repeated(200) << QString()
                                    << "it is not a database file";
    QTest::newRow("empty file") << QByteArray() << QString() << "the file is empty";
    QTest::newRow("foreign SQLite file") << QByteArray("foreign") << QString() << "it is not a Quillbern database";
    QTest::newRow("table missing") << QByteArray("ours") << "pickuplog" << "the table \"pickuplog\" is missing";
}

void TestDatabase::badFiles()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, dropTable);
    QFETCH(QString, reason);
    TestEnv env;
    const QString path = env.path(QStringLiteral("db1.mdb"));
    if (content == "ours" || content == "foreign") {
        QVERIFY(db::createDatabaseFile(path).isEmpty());
        QSqlDatabase d = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("prep"));
        d.setDatabaseName(path);
        QVERIFY(d.open());
        QSqlQuery q(d);
        if (content == "foreign")
            QVERIFY(q.exec(QStringLiteral("PRAGMA application_id = 0")));
        else
            QVERIFY(q.exec(QStringLiteral("DROP TABLE %1").arg(dropTable)));
        q.finish();
        d.close();
        d = QSqlDatabase();
        QSqlDatabase::removeDatabase(QStringLiteral("prep"));
    } else {
        QVERIFY(writeFile(path, content));
    }
    const QByteArray before = digest(path);
    const db::OpenResult r = db::openMain(path);
    QVERIFY(!r.ok);
    QVERIFY2(r.message.contains(path), qPrintable(r.message));
    QVERIFY2(r.message.contains(reason), qPrintable(r.message));
    QCOMPARE(digest(path), before); // nothing overwritten
    QVERIFY(!QFile::exists(path + "-journal"));
}

void TestDatabase::missingFileIsNotCreated()
{
    TestEnv env;
    const QString path = env.path(QStringLiteral("nowhere/db1.mdb"));
    const db::OpenResult r = db::openMain(path);
    QVERIFY(!r.ok);
    QVERIFY(r.message.contains(QStringLiteral("the file does not exist")));
    QVERIFY(!QFile::exists(path));
    const db::OpenResult dir = db::openMain(env.folder());
    QVERIFY(!dir.ok);
    QVERIFY(dir.message.contains(QStringLiteral("folder")));
}

void TestDatabase::createRefusesExistingFile()
{
    TestEnv env;
    const QString path = env.path(QStringLiteral("db1.mdb"));
    QVERIFY(writeFile(path, "precious"));
    QVERIFY(!db::createDatabaseFile(path).isEmpty());
    QCOMPARE(digest(path), QCryptographicHash::hash("precious", QCryptographicHash::Sha256));
}

void TestDatabase::createMakesTheFolder()
{
    TestEnv env;
    const QString path = env.path(QStringLiteral("a/b's folder/db1.mdb"));
    QCOMPARE(db::createDatabaseFile(path), QString());
    const db::OpenResult r = db::openMain(path);
    QVERIFY2(r.ok, qPrintable(r.message));
    QVERIFY(!r.readOnly);
}

void TestDatabase::createInUnwritablePlace()
{
    // /proc refuses new entries even to root.
    const QString why = db::createDatabaseFile(QStringLiteral("/proc/quillbern-test/db1.mdb"));
    QVERIFY(!why.isEmpty());
    QVERIFY2(why.contains(QStringLiteral("cannot be created")), qPrintable(why));
    QVERIFY(!QFile::exists(QStringLiteral("/proc/quillbern-test")));
}

void TestDatabase::templateHasNoTables()
{
    TestEnv env;
    const QString path = env.path(QStringLiteral("dbtransf.mdb"));
    QCOMPARE(db::createTemplateFile(path), QString());
    QCOMPARE(db::openConnection(QStringLiteral("t"), path, true), QString());
    {
        QSqlDatabase d = QSqlDatabase::database(QStringLiteral("t"));
        QSqlQuery q(d);
        QVERIFY(q.exec(QStringLiteral("SELECT count(*) FROM sqlite_master")) && q.next());
        QCOMPARE(q.value(0).toInt(), 0);
        QVERIFY(q.exec(QStringLiteral("PRAGMA application_id")) && q.next());
        QCOMPARE(q.value(0).toInt(), schema::kTransferApplicationId);
    }
    db::closeConnection(QStringLiteral("t"));
    // The template is not a main database.
    QVERIFY(!db::openMain(path).ok);
}

QTEST_GUILESS_MAIN(TestDatabase)
#include "tst_database.moc"
