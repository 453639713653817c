#include "support/testenv.h"
#include "transferfixtures.h"

#include "core/app/globals.h"
#include "core/db/database.h"
#include "core/db/sampledata.h"
#include "core/db/schema.h"
#include "core/transfer/transfer.h"
#include "ui/transfer/exportdatabase.h"

#include <QDir>
#include <QFileInfo>
#include <QTest>
#include <optional>
#include <unistd.h>

using namespace fixtures;

namespace {

const QStringList kDone{QStringLiteral("EXPORT DATABASE|Export process complete")};

// The file holds exactly the project's rows of the main database, every column,
// same values, types and ids, and no other table.
void verifyTransferFile(const QString &file, qint64 projectId)
{
    QList<QList<QStringList>> expected, actual;
    QStringList columns, expectedColumns;
    for (const schema::Table &t : schema::tables()) {
        const QString by = t.name == QLatin1String("project") ? QStringLiteral("id") : QStringLiteral("idproject");
        expected << rows(db::main(), QStringLiteral("SELECT * FROM %1 WHERE %2 = ? ORDER BY id").arg(t.name, by), {projectId});
        expectedColumns << t.columns.join(QLatin1Char(','));
    }
    QList<QStringList> tables;
    QVERIFY(withFile(file, [&](QSqlDatabase &d) {
        for (const schema::Table &t : schema::tables()) {
            actual << rows(d, QStringLiteral("SELECT * FROM %1 ORDER BY id").arg(t.name));
            columns << rows(d, QStringLiteral("SELECT group_concat(name) FROM pragma_table_info(?)"), {t.name}, false).value(0);
        }
        tables = rows(d, QStringLiteral("SELECT name FROM sqlite_master WHERE name NOT LIKE 'sqlite_%' ORDER BY name"), {}, false);
        return true;
    }));
    QCOMPARE(tables, (QList<QStringList>{{"authorizedcompanies"}, {"pickuplog"}, {"project"}}));
    QCOMPARE(columns, expectedColumns);
    QCOMPARE(actual, expected);
}

bool makeProjects(TestEnv &env, int projects, int companies, int pickupsPerCompany)
{
    SampleSpec sample;
    sample.projects = projects;
    sample.companiesPerProject = companies;
    sample.pickupsPerCompany = pickupsPerCompany;
    return env.createDatabase(sample);
}

} // namespace

class TestExport : public QObject
{
    Q_OBJECT
private slots:
    void writesTheProject_data();
    void writesTheProject();
    void fileNames_data();
    void fileNames();
    void exportFolder();
    void failures_data();
    void failures();
};

void TestExport::writesTheProject_data()
{
    QTest::addColumn<qint64>("projectId");
    QTest::addColumn<qint64>("companyId");
    QTest::addColumn<qint64>("pickupId");
    QTest::addColumn<int>("companies");
    QTest::addColumn<int>("pickups");
    QTest::newRow("sample project among others") << qint64(2) << qint64(0) << qint64(0) << 0 << 0;
    QTest::newRow("ids above 32767") << qint64(40000) << qint64(70000) << qint64(50000) << 3 << 4;
    QTest::newRow("ids above 2^32") << qint64(5000000000) << qint64(6000000000) << qint64(7000000000) << 2 << 2;
    QTest::newRow("subcontractors without pick-ups") << qint64(7) << qint64(500) << qint64(5000) << 3 << 0;
    QTest::newRow("project alone") << qint64(12) << qint64(0) << qint64(0) << 0 << 0;
}

void TestExport::writesTheProject()
{
    QFETCH(qint64, projectId);
    QFETCH(qint64, companyId);
    QFETCH(qint64, pickupId);
    QFETCH(int, companies);
    QFETCH(int, pickups);
    TestEnv env;
    QVERIFY(makeProjects(env, 4, 5, 7)); // the others stay behind
    if (projectId != 2)
        QVERIFY(env.exec(QStringLiteral("INSERT INTO project VALUES (?, 'BIG IDS', NULL, 0)"), {projectId}));
    for (int c = 0; c < companies; ++c) {
        QVERIFY(env.exec(QStringLiteral("INSERT INTO authorizedcompanies (id, idproject, name, active, pickupdate) "
                                        "VALUES (?, ?, ?, -1, '2026-02-28 17:45:00')"),
                         {companyId + c * 1000, projectId, QStringLiteral("SUB %1").arg(c)}));
        for (int p = 0; p < pickups; ++p)
            QVERIFY(env.exec(QStringLiteral("INSERT INTO pickuplog (id, idproject, idauthorizedcompany, pickupdate, note) "
                                            "VALUES (?, ?, ?, '2026-01-31', '')"),
                             {pickupId + c * 1000 + p, projectId, companyId + c * 1000}));
    }
    // A pick-up of another project for one of its subcontractors stays behind: the export goes by project.
    QVERIFY(env.exec(QStringLiteral("INSERT INTO pickuplog (idproject, idauthorizedcompany, pickupby) "
                                    "SELECT 3, min(id), 'ELSEWHERE' FROM authorizedcompanies WHERE idproject = ?"), {projectId}));
    QStringList after = folderEntries(env.folder());
    const QString name = env.scalar(QStringLiteral("SELECT projectname FROM project WHERE id = ?"), {projectId}).toString();

    ui::ExportDatabase(QString::number(projectId), name, nullptr);

    QCOMPARE(said(env.messages), kDone);
    const QString file = name + QStringLiteral(" 1437_0307.mdb"); // the clock stands at 14:05:37 on 7 March
    after << file;
    after.sort();
    QCOMPARE(folderEntries(env.folder()), after); // nothing else left behind
    verifyTransferFile(env.path(file), projectId);
}

void TestExport::fileNames_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QDateTime>("when");
    QTest::addColumn<QString>("expected");
    const QDateTime dec3(QDate(2026, 12, 3), QTime(14, 5, 37));
    QTest::newRow("plain") << "NORTH TOWER" << dec3 << "NORTH TOWER 1437_1203.mdb";
    QTest::newRow("minutes are not part of it") << "NORTH TOWER" << QDateTime(QDate(2026, 12, 3), QTime(14, 41, 37))
                                                << "NORTH TOWER 1437_1203.mdb";
    QTest::newRow("midnight, new year") << "X" << QDateTime(QDate(2027, 1, 1), QTime(0, 0, 5)) << "X 0005_0101.mdb";
    QTest::newRow("characters a file name cannot hold") << "A/B\\C:D*E?F\"G<H>I|J" << dec3
                                                        << "A_B_C_D_E_F_G_H_I_J 1437_1203.mdb";
    QTest::newRow("control characters") << QStringLiteral("TAB\tLINE\nEND\x7f") << dec3 << "TAB_LINE_END_ 1437_1203.mdb";
    QTest::newRow("quote and unicode kept") << QStringLiteral("O'NEIL – CAFÉ 北京 😀") << dec3
                                            << QStringLiteral("O'NEIL – CAFÉ 北京 😀 1437_1203.mdb");
    QTest::newRow("empty name") << "" << dec3 << " 1437_1203.mdb";
    QTest::newRow("1 MB name is shortened") << QString(1000000, QLatin1Char('X')) << dec3
                                            << QString(200, QLatin1Char('X')) + " 1437_1203.mdb";
    QTest::newRow("shortened between characters") << QString(150, QChar(0xE9)) + "Z" << dec3
                                                  << QString(100, QChar(0xE9)) + " 1437_1203.mdb";
}

void TestExport::fileNames()
{
    QFETCH(QString, name);
    QFETCH(QDateTime, when);
    QFETCH(QString, expected);
    QCOMPARE(transfer::transferFileName(name, when), expected);
    TestEnv env; // and the file system takes it
    QVERIFY(makeProjects(env, 1, 1, 1));
    QVERIFY(env.exec(QStringLiteral("UPDATE project SET projectname = ?"), {name}));
    env.clock.value = when;
    ui::ExportDatabase(QStringLiteral("1"), name, nullptr);
    QCOMPARE(said(env.messages), kDone);
    verifyTransferFile(env.path(expected), 1);
}

void TestExport::exportFolder()
{
    // Quotes in both folders; the template missing; a file of that name already there.
    TestEnv env;
    gDbPath = env.path(QStringLiteral("db 'one' \"two\""));
    gDbFile = core::joinPath(gDbPath, core::kDbFileName);
    gExportPath = env.path(QStringLiteral("it's \"out\""));
    QVERIFY(QDir().mkpath(gExportPath));
    QVERIFY(makeProjects(env, 1, 2, 3));
    const QString tpl = transfer::templatePath(gExportPath), taken = core::joinPath(gExportPath, QStringLiteral("O'BRIEN _QUOTED_ 1437_0307.mdb"));
    QVERIFY(QFile::remove(tpl));
    QFile f(taken);
    QVERIFY(f.open(QIODevice::WriteOnly) && f.write("an earlier export, kept") > 0);
    f.close();
    const QByteArray hash = fileHash(taken);
    for (int i = 0; i < 2; ++i)
        ui::ExportDatabase(QStringLiteral("1"), QStringLiteral("O'BRIEN \"QUOTED\""), nullptr);
    QCOMPARE(said(env.messages), kDone + kDone);
    QCOMPARE(fileHash(taken), hash);
    for (const char *n : {" (2).mdb", " (3).mdb"})
        verifyTransferFile(taken.chopped(4) + QLatin1String(n), 1);
    QVERIFY(withFile(tpl, [](QSqlDatabase &d) { return d.tables().isEmpty(); })); // made again, and empty
}

enum class Setup { MissingFolder, UnwritablePlace, ReadOnlyFolder, DiskFull, NoDatabase, ProjectGone, NotANumber, BadTemplate };
Q_DECLARE_METATYPE(Setup)

void TestExport::failures_data()
{
    QTest::addColumn<Setup>("setup");
    QTest::addColumn<QString>("projectId");
    QTest::addColumn<int>("number");
    QTest::addColumn<QString>("says");
    QTest::newRow("export folder missing") << Setup::MissingFolder << "1" << 14 << "does not exist";
    QTest::newRow("export folder cannot be written (/proc)") << Setup::UnwritablePlace << "1" << 14 << "cannot be created";
    QTest::newRow("export folder read-only") << Setup::ReadOnlyFolder << "1" << 14 << "No file can be written";
    QTest::newRow("disk full") << Setup::DiskFull << "1" << 10 << "it may be full";
    QTest::newRow("main database missing") << Setup::NoDatabase << "1" << 14 << "cannot be opened";
    QTest::newRow("project deleted meanwhile") << Setup::ProjectGone << "999" << 12 << "no longer in the database";
    QTest::newRow("id not a number") << Setup::NotANumber << "abc" << 20 << "not a number";
    QTest::newRow("template is not a database") << Setup::BadTemplate << "1" << 26 << "not a database";
}

void TestExport::failures()
{
    QFETCH(Setup, setup);
    QFETCH(QString, projectId);
    QFETCH(int, number);
    QFETCH(QString, says);
    if (setup == Setup::ReadOnlyFolder && geteuid() == 0)
        QSKIP("permissions do not bind root; the unwritable place under /proc stands in");
    TestEnv env;
    QVERIFY(makeProjects(env, 1, 20, 150)); // about 200 KB of rows
    const QByteArray mainHash = fileHash(gDbFile);
    const QString out = env.path(QStringLiteral("out"));
    QVERIFY(QDir().mkpath(out) && transfer::ensureTemplate(out));
    gExportPath = out;
    if (setup == Setup::MissingFolder)
        gExportPath = env.path(QStringLiteral("gone"));
    else if (setup == Setup::UnwritablePlace)
        gExportPath = QStringLiteral("/proc/self");
    else if (setup == Setup::ReadOnlyFolder)
        QVERIFY(QFile::setPermissions(out, QFile::ReadOwner | QFile::ExeOwner));
    else if (setup == Setup::NoDatabase)
        gDbFile = env.path(QStringLiteral("nothing.mdb"));
    QFile tpl(transfer::templatePath(out));
    if (setup == Setup::BadTemplate)
        QVERIFY(tpl.open(QIODevice::WriteOnly | QIODevice::Truncate) && tpl.write(QByteArray(4096, 'x')) == 4096);
    tpl.close();
    const QStringList before = folderEntries(out);
    {
        std::optional<FileSizeLimit> full;
        if (setup == Setup::DiskFull)
            QVERIFY(full.emplace(48 * 1024).ok);
        ui::ExportDatabase(projectId, QStringLiteral("P"), nullptr);
    }
    QFile::setPermissions(out, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

    QCOMPARE(env.messages.calls.size(), 1);
    const QString text = env.messages.calls.first().text;
    QCOMPARE(env.messages.calls.first().title, QStringLiteral("EXPORT DATABASE"));
    QVERIFY2(text.startsWith(QStringLiteral("ERROR:  %1: ").arg(number)) && text.contains(says), qPrintable(text));
    QCOMPARE(folderEntries(out), before); // no partial or temporary file
    QVERIFY(!QFileInfo::exists(env.path(QStringLiteral("gone"))));
    QCOMPARE(fileHash(env.path(core::kDbFileName)), mainHash);
}

QTEST_MAIN(TestExport)
#include "tst_export.moc"
