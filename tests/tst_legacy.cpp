// The old program's files: read, converted row for row, refused when they cannot be, from the command line and at start.
#include "support/testenv.h"
#include "support/ui.h"

#include "core/app/globals.h"
#include "core/db/database.h"
#include "core/db/legacyconversion.h"
#include "core/db/schema.h"
#include "core/transfer/transfer.h"
#include "ui/common/windowregistry.h"
#include "ui/main/frmMain.h"
#include "ui/main/startup.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSqlQuery>
#include <ranges>

using namespace core::db;

static QString fixture(const QString &name)
{
    return qEnvironmentVariable("QB_SOURCE_DIR") + "/tests/fixtures/legacy/" + name;
}

// A copy of the Jet 4 register changed by `patch`.
static QByteArray patched(const std::function<void(QByteArray &)> &patch)
{
    QByteArray b = fileBytes(fixture("legacy-register-jet4.mdb"));
    patch(b);
    return b;
}

// Pick-up 11 as stored: id 11, project 40000, subcontractor 7.
static qsizetype pickup11(const QByteArray &b)
{
    return b.indexOf(QByteArray::fromHex("0b000000409c000007000000"));
}

static QJsonObject expectedTables(const QString &file)
{
    const QJsonObject all = QJsonDocument::fromJson(fileBytes(fixture("legacy-expected.json"))).object();
    return all["files"].toObject()[file].toObject()["tables"].toObject();
}

static bool same(const QJsonValue &want, const QVariant &got)
{
    if (want.isNull())
        return got.isNull();
    if (got.isNull())
        return false;
    return want.isDouble() ? got.toLongLong() == want.toInteger() : got.toString() == want.toString();
}

class TestLegacy : public QObject
{
    Q_OBJECT

private slots:
    // Every value of each register, converted in place, equals the expected one (the reader's rows are what is
    // converted; the transfer file's are read by importTransfer).
    void everyValue_data()
    {
        QTest::addColumn<QString>("file");
        QTest::newRow("Jet 4 register") << "legacy-register-jet4.mdb";
        QTest::newRow("ACE register") << "legacy-register-ace.accdb";
    }
    void everyValue()
    {
        QFETCH(QString, file);
        const QJsonObject tables = expectedTables(file);
        QVERIFY(!tables.isEmpty());
        // The old file moves aside unchanged and the new register holds the same rows.
        TestEnv env;
        Failure why;
        const QString old = env.path(file.endsWith("accdb") ? "db1.accdb" : "db1.mdb");
        QVERIFY(QFile::copy(fixture(file), old));
        const auto done = convertLegacy(old, env.folder(), {}, &why);
        QVERIFY2(done, qPrintable(why.description));
        QCOMPARE(done->registerFile, gDbFile);
        QCOMPARE(QFileInfo(done->keptFile).fileName(), file.endsWith("accdb") ? "db1 (old program).accdb" : "db1 (old program).mdb");
        QCOMPARE(fileBytes(done->keptFile), fileBytes(fixture(file)));
        QVERIFY(openMain(gDbFile, &why));
        for (const QString table : {"project", "authorizedcompanies", "pickuplog"}) {
            const QJsonArray rows = tables[table].toObject()["rows"].toArray();
            QCOMPARE(env.count(table), rows.size());
            for (const QJsonValue &r : rows) {
                QSqlQuery q(main());
                q.prepare(QString("SELECT * FROM %1 WHERE id = ?").arg(table));
                q.addBindValue(r.toObject()["id"].toInteger());
                QVERIFY(q.exec() && q.next());
                for (const QString &c : core::schema::table(table).columns)
                    QVERIFY2(same(r.toObject()[c], q.value(c)), qPrintable(QString("%1 %2 %3: %4").arg(table, r.toObject()["id"].toVariant().toString(), c, q.value(c).toString())));
            }
        }
        // New rows continue above the largest old id.
        QVERIFY(env.exec("INSERT INTO project (projectname, active) VALUES ('NEW', 0)"));
        QCOMPARE(env.scalar("SELECT max(id) FROM project").toLongLong(), 40001);
    }

    // Imported like our transfer files: the chosen project, its subcontractors and all their pick-ups under new ids; the file untouched.
    void importTransfer_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<qint64>("chosen");
        QTest::newRow("Jet 4 transfer file") << "legacy-transfer-jet4.mdb" << qint64(7);
        QTest::newRow("ACE register") << "legacy-register-ace.accdb" << qint64(1);
    }
    void importTransfer()
    {
        QFETCH(QString, file);
        QFETCH(qint64, chosen);
        TestEnv env;
        QVERIFY(env.createDatabase(SampleSpec{.projects = 2}) && QFile::copy(fixture(file), env.path(file)));
        const QStringList before = entries(env.folder());
        const qint64 projects = env.scalar("SELECT max(id) FROM project").toLongLong(), companies = env.scalar("SELECT max(id) FROM authorizedcompanies").toLongLong();
        const QJsonObject tables = expectedTables(file);
        const auto listed = core::transfer::listProjects(env.path(file));
        QVERIFY(listed && listed->size() == tables["project"]["rows"].toArray().size() && std::ranges::count(*listed | std::views::transform(&core::transfer::ProjectEntry::id), chosen) == 1);
        Failure why;
        const auto r = core::transfer::importProject(main(), env.path(file), chosen, {}, &why);
        QVERIFY2(r && r->projectId == projects + 1, qPrintable(why.description));
        QHash<qint64, qint64> newId; // of the subcontractors
        for (const QString table : {"project", "authorizedcompanies", "pickuplog"}) {
            QList<QJsonObject> want;
            for (const QJsonValue &v : tables[table].toObject()["rows"].toArray())
                if (table == "pickuplog" ? newId.contains(v["idauthorizedcompany"].toInteger()) : v[table == "project" ? "id" : "idproject"].toInteger() == chosen)
                    want << v.toObject();
            QSqlQuery q(main());
            QVERIFY(q.exec(QString("SELECT * FROM %1 WHERE %2 = %3 ORDER BY id").arg(table, table == "project" ? "id" : "idproject").arg(r->projectId)));
            for (const QJsonObject &o : want) {
                QVERIFY(q.next() && (table != "authorizedcompanies" || q.value("id").toLongLong() > companies));
                if (table == "authorizedcompanies")
                    newId.insert(o["id"].toInteger(), q.value("id").toLongLong());
                for (const QString &c : core::schema::table(table).columns.mid(1)) // links point at the new ids
                    QVERIFY2(same(c == "idproject" ? QJsonValue(r->projectId) : c == "idauthorizedcompany" ? QJsonValue(newId.value(o[c].toInteger(), -1)) : o[c], q.value(c)),
                             qPrintable(QString("%1 %2 %3: %4").arg(table).arg(o["id"].toInteger()).arg(c, q.value(c).toString())));
            }
            QVERIFY(!q.next());
        }
        QCOMPARE(fileBytes(env.path(file)), fileBytes(fixture(file)));
        QCOMPARE(entries(env.folder()), before);
        // Nothing locks an old file: one that another program changes while it is read is refused.
        const auto change = [&](qint64, qint64) { QFile f(env.path(file)); return f.open(QIODevice::Append) && f.write("x") == 1; };
        QVERIFY(!core::transfer::readTransfer(env.path(file), change, &why) && why.description.contains("changed it while it was read"));
    }

    // A pick-up pointing at a subcontractor above every id the file still has never attaches to a new one.
    void newIdsStayAboveEveryLink()
    {
        TestEnv env;
        QByteArray b = patched([](QByteArray &b) { b[pickup11(b) + 8] = 99; });
        QVERIFY(writeFile(env.path("old.mdb"), b));
        Failure why;
        QVERIFY2(convertLegacy(env.path("old.mdb"), env.path("new"), {}, &why), qPrintable(why.description));
        QVERIFY(openMain(env.path("new/db1.mdb"), &why));
        QCOMPARE(env.scalar("SELECT idauthorizedcompany FROM pickuplog WHERE id = 11").toInt(), 99);
        QVERIFY(env.exec("INSERT INTO authorizedcompanies (idproject, name) VALUES (1, 'NEW')"));
        QCOMPARE(env.scalar("SELECT max(id) FROM authorizedcompanies").toInt(), 100);
        QCOMPARE(fileBytes(env.path("old.mdb")), b);
    }

    // The reader on files of other applications: Jet 3 text in the file's code page, dates far from 1900, ACE.
    void otherApplicationsFiles()
    {
        Failure why;
        auto nwind = legacy::Reader::open(fixture("nwind.mdb"), &why);
        QVERIFY2(nwind, qPrintable(why.description));
        QCOMPARE(nwind->format(), "Jet 3 (Access 97)");
        QStringList cities;
        QVERIFY(nwind->read("Customers", {"CustomerID", "City"}, [&](const QVariantList &r) { cities << r[0].toString() + " " + r[1].toString(); return true; }, &why));
        QVERIFY2(cities.contains("ANATR México D.F.") && cities.contains("BERGS Luleå"), qPrintable(cities.join(", ")));

        auto dates = legacy::Reader::open(fixture("DateTestDatabase.mdb"), &why);
        QStringList read;
        QVERIFY(dates && dates->read("DateTest", {"LongTextCol", "DateTimeCol"}, [&](const QVariantList &r) { read << r[0].toString() + "|" + r[1].toString(); return true; }, &why));
        QVERIFY2(read.filter(QRegularExpression("^Year 9999\\|9999-\\d\\d-\\d\\d")).size() == 1
                 && read.filter(QRegularExpression("^Pre-1900 years\\|1[0-8]\\d\\d-")).size() == 1
                 && read.filter(QRegularExpression("^Pre-1000 years\\|0\\d\\d\\d-")).size() == 1, qPrintable(read.join(", ")));

        auto ace = legacy::Reader::open(fixture("ASampleDatabase.accdb"), &why);
        QStringList assets;
        QVERIFY2(ace && ace->read("Asset Items", {"Asset No", "Acquired"}, [&](const QVariantList &r) { assets << r[0].toString() + " " + r[1].toString(); return true; }, &why), qPrintable(why.description));
        QCOMPARE(assets.size(), 65);
        QVERIFY2(assets.contains("30050 1997-09-02"), qPrintable(assets.join(", ")));
    }

    // Bad input is refused with its reason; the old file keeps its bytes and nothing is written.
    void badInput_data()
    {
        QTest::addColumn<QByteArray>("old"); // the old file's bytes; empty: no such file
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("said");
        const QByteArray reg = fileBytes(fixture("legacy-register-jet4.mdb"));
        QTest::newRow("another application's file") << fileBytes(fixture("nwind.mdb")) << "new" << "the tables \"project\", \"authorizedcompanies\" and \"pickuplog\" are missing";
        QTest::newRow("an empty template") << fileBytes(fixture("legacy-empty-jet4.mdb")) << "new" << "are missing";
        QTest::newRow("a password") << patched([](QByteArray &b) { b[0x42] = char(b[0x42] ^ 0x5a); }) << "new" << "protected with a password";
        QTest::newRow("encrypted") << patched([](QByteArray &b) { b[0x3e] = char(b[0x3e] ^ 0x01); }) << "new" << "it is encrypted";
        QTest::newRow("cut short") << reg.left(150000) << "new" << "cut short";
        QTest::newRow("cut at a page") << reg.left(36 * 4096) << "new" << "damaged";
        QTest::newRow("a column of another type") << patched([](QByteArray &b) { b[b.indexOf(QByteArray::fromHex("0a5906000001000000010009"))] = 7; })
                                                  << "new" << "the column \"projectname\" of the table \"project\" is of the type Double";
        QTest::newRow("not a database") << QByteArray("just text\n") << "new" << "no Jet or ACE header";
        QTest::newRow("no such file") << QByteArray() << "new" << "does not exist";
        QTest::newRow("a folder that cannot be made") << reg << "old.mdb/new" << "cannot be made";
        QTest::newRow("a register already there") << reg << "ours" << "already a database";
    }
    void badInput()
    {
        QFETCH(QByteArray, old);
        QFETCH(QString, folder);
        QFETCH(QString, said);
        TestEnv env;
        QVERIFY(QDir(env.folder()).mkpath("ours") && db::createDatabaseFile(env.path("ours/db1.mdb")));
        const QString file = env.path("old.mdb");
        if (!old.isEmpty())
            QVERIFY(writeFile(file, old));
        const QStringList before = entries(env.folder());
        Failure why;
        QVERIFY(!convertLegacy(file, env.path(folder), {}, &why));
        QVERIFY2(why.description.contains(said) && why.description.contains(QDir::toNativeSeparators(file)), qPrintable(why.description));
        QCOMPARE(fileBytes(file), old);
        QCOMPARE(entries(env.folder()), before);
        QCOMPARE(QDir(env.path("ours")).entryList(QDir::Files | QDir::Hidden), QStringList{"db1.mdb"});
        if (folder != "new" || !legacy::isLegacyFile(file))
            return;
        // Offered for import, the old file is refused for the same reason, the register unchanged.
        QVERIFY(env.createDatabase());
        const QByteArray reg = fileBytes(gDbFile);
        QVERIFY(!core::transfer::importProject(main(), file, std::nullopt, {}, &why));
        QVERIFY2(why.description.contains(said) && why.description.contains("cannot be imported"), qPrintable(why.description));
        QVERIFY(fileBytes(gDbFile) == reg && fileBytes(file) == old);
    }

    // Without a window: the counts and 0, or the reason, non-zero and nothing written; --help names it.
    void commandLine()
    {
        TestEnv env;
        const auto run = [](const QStringList &args) { // exit code, standard output, standard error
            QProcess p;
            p.start(qEnvironmentVariable("QB_APP"), args);
            return p.waitForFinished(60000) ? QStringList{QString::number(p.exitCode()), p.readAllStandardOutput(), p.readAllStandardError()} : QStringList();
        };
        QStringList r = run({"--convert-legacy", fixture("legacy-register-ace.accdb"), env.path("office")});
        QVERIFY2(r.value(0) == "0" && r.value(1).contains("4 projects, 7 subcontractors, 25 pick-ups"), qPrintable(r.join('|')));
        QCOMPARE(QDir(env.path("office")).entryList(QDir::Files, QDir::Name | QDir::Reversed), QStringList({"legacy-register-ace (old program).accdb", "db1.mdb"}));
        r = run({"--convert-legacy", fixture("nwind.mdb"), env.path("other")});
        QVERIFY2(r.value(0) == "1" && r.value(2).contains("are missing"), qPrintable(r.join('|')));
        QVERIFY(run({"--help"}).value(1).contains("--convert-legacy <oldfile>"));
    }

    // First start on an old register: the question with the file's counts; No changes nothing, Yes opens the converted register.
    void firstStart()
    {
        for (const bool yes : {false, true}) {
            TestEnv env;
            QVERIFY(QFile::copy(fixture("legacy-register-jet4.mdb"), gDbFile));
            env.settings->write("paths", "Dbpath", env.folder());
            env.settings->write("paths", "ExportPath", env.folder());
            env.messages.answers.enqueue(yes ? QMessageBox::Yes : QMessageBox::No);
            const QStringList before = QDir(env.folder()).entryList(QDir::Files);
            startup::run(*env.settings);
            QCOMPARE(env.messages.calls.first().text, "This is a register of the old program: 4 projects, 7 subcontractors, 25 pick-ups. Convert it?");
            QCOMPARE(env.messages.calls.size(), yes ? 2 : 1);
            auto *list = WindowRegistry::existing<frmMain>()->findChild<QListView *>("dbProject");
            if (!yes) {
                QCOMPARE(QDir(env.folder()).entryList(QDir::Files), before);
                QCOMPARE(fileBytes(gDbFile), fileBytes(fixture("legacy-register-jet4.mdb")));
                QCOMPARE(ui::texts(list), QStringList());
                continue;
            }
            QVERIFY2(env.messages.calls.last().text.contains("db1 (old program).mdb"), qPrintable(env.messages.calls.last().text));
            QCOMPARE(ui::texts(list).size(), 4);
        }
    }
};

QTEST_MAIN(TestLegacy)
#include "tst_legacy.moc"
