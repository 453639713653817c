#include "support/testenv.h"

#include "core/app/globals.h"
#include "core/db/database.h"
#include "core/db/recordsource.h"
#include "core/db/schema.h"

#include <QCryptographicHash>
#include <QFile>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTest>

namespace {

QByteArray digest(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256)
                                       : QByteArray();
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

// Runs `sql` on the file at `path` through a connection of its own.
bool execOn(const QString &path, const QString &sql)
{
    bool ok = false;
    {
        QSqlDatabase d = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("prep"));
        d.setDatabaseName(path);
        ok = d.open() && QSqlQuery(d).exec(sql);
        d.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("prep"));
    return ok;
}

} // namespace

class TestDatabase : public QObject
{
    Q_OBJECT
private slots:
    void schemaIsCreated()
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
        const QList<QPair<QString, QVariant>> pragmas = {{"application_id", schema::kApplicationId},
                                                         {"user_version", schema::kVersion},
                                                         {"journal_mode", "delete"},
                                                         {"synchronous", 2 /* FULL */},
                                                         {"foreign_keys", 0}};
        for (const auto &[name, value] : pragmas)
            QCOMPARE(env.scalar("PRAGMA " + name).toString(), value.toString());
        for (const char *ix : {"ix_authorizedcompanies_idproject", "ix_pickuplog_company_project_date",
                               "ix_pickuplog_idproject", "ix_pickuplog_pickupdate"})
            QCOMPARE(env.scalar("SELECT count(*) FROM sqlite_master WHERE type='index' AND name=?", {ix}).toInt(), 1);
        // The pick-up query of the main window is answered from the index.
        QSqlQuery plan(d);
        QVERIFY(plan.exec("EXPLAIN QUERY PLAN select * from pickuplog where idauthorizedcompany = 1 "
                          "and idproject = 2 order by pickupdate"));
        QString planText;
        while (plan.next())
            planText += plan.value(3).toString() + '\n';
        QVERIFY2(planText.contains("ix_pickuplog_company_project_date") && !planText.contains("TEMP B-TREE"),
                 qPrintable(planText));
    }

    void idsAreNeverReusedAndTextIgnoresCase()
    {
        TestEnv env;
        QVERIFY(env.createDatabase());
        QVERIFY(env.exec("INSERT INTO authorizedcompanies (idproject, name) VALUES (1, 'A'), (1, 'B')"));
        QVERIFY(env.exec("DELETE FROM authorizedcompanies WHERE id = 2"));
        RecordSource rec(QStringLiteral("authorizedcompanies"));
        rec.addNew();
        rec.setValue(QStringLiteral("Name"), QStringLiteral("C"));
        Failure why;
        QVERIFY2(rec.write(&why), qPrintable(why.description));
        // A pick-up left pointing at subcontractor 2 must never attach to the new one.
        QCOMPARE(rec.id(), 3);

        QVERIFY(env.exec("INSERT INTO project (projectname, company) VALUES ('b tower', 'x'), ('A Tower', 'y'), "
                         "('a tower', 'a')"));
        QCOMPARE(env.scalar("SELECT count(*) FROM project WHERE projectname = 'A TOWER'").toInt(), 2);
        QCOMPARE(env.scalar("SELECT company FROM project ORDER BY projectname, company LIMIT 1").toString(), "a");
    }

    void badFiles_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("content"); // "ours" and "foreign": made by us, then changed
        QTest::addColumn<QString>("reason");
        QTest::newRow("not a database") << "db1.mdb" << QByteArray("A letter, not a database.\n").repeated(300)
                                        << "it is not a database file";
        QTest::newRow("empty file") << "db1.mdb" << QByteArray("") << "the file is empty";
        QTest::newRow("foreign SQLite file") << "db1.mdb" << QByteArray("foreign") << "it is not a Quillbern database";
        QTest::newRow("table missing") << "db1.mdb" << QByteArray("ours") << "the table \"pickuplog\" is missing";
        QTest::newRow("missing file") << "nowhere/db1.mdb" << QByteArray() << "the file does not exist";
        QTest::newRow("a folder") << "" << QByteArray() << "it is a folder, not a file";
    }

    void badFiles()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, content);
        QFETCH(QString, reason);
        TestEnv env;
        const QString path = name.isEmpty() ? env.folder() : env.path(name);
        if (content == "ours" || content == "foreign") {
            QVERIFY(db::createDatabaseFile(path));
            QVERIFY(execOn(path, content == "ours" ? "DROP TABLE pickuplog" : "PRAGMA application_id = 0"));
        } else if (!content.isNull()) {
            QVERIFY(writeFile(path, content));
        }
        const QByteArray before = digest(path);
        Failure why;
        QVERIFY(!db::openMain(path, &why));
        QVERIFY2(why.description.contains(path) && why.description.contains(reason), qPrintable(why.description));
        QCOMPARE(digest(path), before); // nothing overwritten, nothing created
        QCOMPARE(QFile::exists(path), !content.isNull() || name.isEmpty());
        QVERIFY(!QFile::exists(path + "-journal"));
    }

    void create_data()
    {
        QTest::addColumn<QString>("name"); // starting with '/': outside the test's folder
        QTest::addColumn<QString>("failure");
        QTest::newRow("new folders") << "a/b's folder/db1.mdb" << "";
        QTest::newRow("existing file") << "db1.mdb" << "already exists";
        QTest::newRow("unwritable place") << "/proc/quillbern-test/db1.mdb" << "cannot be created"; // even for root
    }

    void create()
    {
        QFETCH(QString, name);
        QFETCH(QString, failure);
        TestEnv env;
        const QString path = name.startsWith('/') ? name : env.path(name);
        if (name == QLatin1String("db1.mdb"))
            QVERIFY(writeFile(path, "precious"));
        const QByteArray before = digest(path);
        Failure why;
        const bool created = db::createDatabaseFile(path, &why);
        QVERIFY2(failure.isEmpty() ? created : !created && why.reason.contains(failure), qPrintable(why.description));
        if (failure.isEmpty()) {
            const std::optional<db::Opened> opened = db::openMain(path, &why);
            QVERIFY2(opened && !opened->readOnly, qPrintable(why.description));
        } else {
            QCOMPARE(digest(path), before);
        }
    }

    void templateHasNoTables()
    {
        TestEnv env;
        const QString path = env.path(QStringLiteral("dbtransf.mdb"));
        Failure why;
        QVERIFY2(db::createTemplateFile(path, &why), qPrintable(why.description));
        QVERIFY2(db::openConnection(QStringLiteral("t"), path, true, &why), qPrintable(why.description));
        {
            QSqlQuery q(QSqlDatabase::database(QStringLiteral("t")));
            QVERIFY(q.exec("SELECT count(*) FROM sqlite_master") && q.next());
            QCOMPARE(q.value(0).toInt(), 0);
            QVERIFY(q.exec("PRAGMA application_id") && q.next());
            QCOMPARE(q.value(0).toInt(), schema::kTransferApplicationId);
        }
        db::closeConnection(QStringLiteral("t"));
        QVERIFY(!db::openMain(path)); // the template is not a main database
    }
};

QTEST_GUILESS_MAIN(TestDatabase)
#include "tst_database.moc"
