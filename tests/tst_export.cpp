#include "support/testenv.h"
#include "transferfixtures.h"

#include "app/globals.h"
#include "db/database.h"
#include "db/sampledata.h"
#include "db/schema.h"
#include "transfer/transfer.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProgressDialog>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTest>
#include <QTimer>
#include <csignal>
#include <sys/resource.h>
#include <unistd.h>

using namespace fixtures;

namespace {

// Every row of `sql`, each value as text with NULL marked.
QList<QStringList> rows(QSqlDatabase d, const QString &sql, const QVariantList &binds = {})
{
    QList<QStringList> out;
    QSqlQuery q(d);
    q.prepare(sql);
    for (const QVariant &b : binds)
        q.addBindValue(b);
    if (!q.exec()) {
        QWARN(qPrintable(sql));
        return {{QStringLiteral("<query failed>")}};
    }
    while (q.next()) {
        QStringList row;
        for (int i = 0; i < q.record().count(); ++i)
            row << (q.value(i).isNull() ? QStringLiteral("<NULL>") : q.value(i).toString() + QLatin1Char('/')
                                                                         + q.value(i).typeName());
        out << row;
    }
    return out;
}

QString projectName(const TestEnv &env, qint64 id)
{
    return env.scalar(QStringLiteral("SELECT projectname FROM project WHERE id = ?"), {id}).toString();
}

// The export's file holds exactly the project's rows of the main database, every
// column, with the same values and ids.
void verifyTransferFile(const QString &file, qint64 projectId)
{
    const QString where[] = {QStringLiteral("id = ?"), QStringLiteral("idproject = ?"), QStringLiteral("idproject = ?")};
    QList<QList<QStringList>> expected;
    int i = 0;
    for (const schema::Table &t : schema::tables())
        expected << rows(db::main(), QStringLiteral("SELECT * FROM %1 WHERE %2 ORDER BY id").arg(t.name, where[i++]), {projectId});
    QList<QList<QStringList>> actual;
    QStringList tables;
    QList<QStringList> columns;
    QVERIFY(withFile(file, [&](QSqlDatabase &d) {
        for (const schema::Table &t : schema::tables()) {
            actual << rows(d, QStringLiteral("SELECT * FROM %1 ORDER BY id").arg(t.name));
            QStringList cols;
            const QSqlRecord rec = d.record(t.name);
            for (int c = 0; c < rec.count(); ++c)
                cols << rec.fieldName(c);
            columns << cols;
        }
        QSqlQuery q(d);
        q.exec(QStringLiteral("SELECT name FROM sqlite_master WHERE name NOT LIKE 'sqlite_%' ORDER BY name"));
        while (q.next())
            tables << q.value(0).toString();
        return true;
    }));
    QCOMPARE(tables, (QStringList{QStringLiteral("authorizedcompanies"), QStringLiteral("pickuplog"), QStringLiteral("project")}));
    for (int t = 0; t < 3; ++t) {
        QCOMPARE(columns.at(t), schema::tables().at(t).columns);
        QCOMPARE(actual.at(t), expected.at(t));
    }
}

bool makeProject(TestEnv &env, int companies, int pickupsPerCompany)
{
    SampleSpec sample;
    sample.projects = 1;
    sample.companiesPerProject = companies;
    sample.pickupsPerCompany = pickupsPerCompany;
    return env.createDatabase(sample);
}

} // namespace

class TestExport : public QObject
{
    Q_OBJECT
private slots:
    void writesTheProject();
    void fileNames_data();
    void fileNames();
    void quotesInFolders();
    void neverReplacesAFile();
    void keepsIds_data();
    void keepsIds();
    void createsAMissingTemplate();
    void failures_data();
    void failures();
    void progressDialog_data();
    void progressDialog();
};

void TestExport::writesTheProject()
{
    TestEnv env;
    SampleSpec sample;
    sample.projects = 4;
    sample.companiesPerProject = 5;
    sample.pickupsPerCompany = 7;
    QVERIFY(env.createDatabase(sample));
    // A pick-up of another project logged for one of this project's subcontractors
    // stays behind: the export goes by project.
    QVERIFY(env.exec(QStringLiteral("INSERT INTO pickuplog (idproject, idauthorizedcompany, pickupby) "
                                    "SELECT 3, min(id), 'ELSEWHERE' FROM authorizedcompanies WHERE idproject = 2")));
    const QStringList before = folderEntries(env.folder());
    const QString name = projectName(env, 2);

    transfer::ExportDatabase(QStringLiteral("2"), name, nullptr);

    QCOMPARE(env.messages.calls.size(), 1);
    QCOMPARE(env.messages.calls.first().text, QStringLiteral("Export process complete"));
    QCOMPARE(env.messages.calls.first().title, QStringLiteral("EXPORT DATABASE"));
    const QString file = name + QStringLiteral(" 1437_0307.mdb"); // the clock stands at 14:05:37 on 7 March
    QStringList after = before;
    after << file;
    after.sort();
    QCOMPARE(folderEntries(env.folder()), after); // nothing else is left behind
    verifyTransferFile(env.path(file), 2);
    QCOMPARE(env.scalar(QStringLiteral("SELECT count(*) FROM pickuplog WHERE pickupby = 'ELSEWHERE'")).toInt(), 1);
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

    // And the file system takes it.
    TestEnv env;
    QVERIFY(makeProject(env, 1, 1));
    QVERIFY(env.exec(QStringLiteral("UPDATE project SET projectname = ?"), {name}));
    env.clock.value = when;
    transfer::ExportDatabase(QStringLiteral("1"), name, nullptr);
    QCOMPARE(env.messages.texts(), QStringList{QStringLiteral("Export process complete")});
    QVERIFY2(QFileInfo::exists(env.path(expected)), qPrintable(folderEntries(env.folder()).join(QLatin1Char(','))));
    verifyTransferFile(env.path(expected), 1);
}

void TestExport::quotesInFolders()
{
    TestEnv env;
    // Both folders hold quotes: every path reaches SQLite as a bound value.
    gDbPath = env.path(QStringLiteral("db 'one' \"two\""));
    gDbFile = app::joinPath(gDbPath, app::kDbFileName);
    gExportPath = env.path(QStringLiteral("it's \"out\""));
    QVERIFY(QDir().mkpath(gExportPath));
    QVERIFY(makeProject(env, 2, 3));
    transfer::ExportDatabase(QStringLiteral("1"), QStringLiteral("O'BRIEN \"QUOTED\""), nullptr);
    QCOMPARE(env.messages.texts(), QStringList{QStringLiteral("Export process complete")});
    verifyTransferFile(app::joinPath(gExportPath, QStringLiteral("O'BRIEN _QUOTED_ 1437_0307.mdb")), 1);
}

void TestExport::neverReplacesAFile()
{
    TestEnv env;
    QVERIFY(makeProject(env, 2, 2));
    const QString taken = env.path(QStringLiteral("P 1437_0307.mdb"));
    {
        QFile f(taken);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("an earlier export, kept");
    }
    const QByteArray hash = fileHash(taken);
    transfer::ExportDatabase(QStringLiteral("1"), QStringLiteral("P"), nullptr);
    transfer::ExportDatabase(QStringLiteral("1"), QStringLiteral("P"), nullptr);
    QCOMPARE(env.messages.texts(), (QStringList{QStringLiteral("Export process complete"), QStringLiteral("Export process complete")}));
    QCOMPARE(fileHash(taken), hash);
    verifyTransferFile(env.path(QStringLiteral("P 1437_0307 (2).mdb")), 1);
    verifyTransferFile(env.path(QStringLiteral("P 1437_0307 (3).mdb")), 1);
}

void TestExport::keepsIds_data()
{
    QTest::addColumn<qint64>("projectId");
    QTest::addColumn<qint64>("companyId");
    QTest::addColumn<qint64>("pickupId");
    QTest::addColumn<int>("companies");
    QTest::addColumn<int>("pickups");
    QTest::newRow("ids above 32767") << qint64(40000) << qint64(70000) << qint64(50000) << 3 << 4;
    QTest::newRow("ids above 2^32") << qint64(5000000000) << qint64(6000000000) << qint64(7000000000) << 2 << 2;
    QTest::newRow("subcontractors without pick-ups") << qint64(7) << qint64(8) << qint64(9) << 3 << 0;
    QTest::newRow("project alone") << qint64(12) << qint64(1) << qint64(1) << 0 << 0;
}

void TestExport::keepsIds()
{
    QFETCH(qint64, projectId);
    QFETCH(qint64, companyId);
    QFETCH(qint64, pickupId);
    QFETCH(int, companies);
    QFETCH(int, pickups);
    TestEnv env;
    QVERIFY(makeProject(env, 2, 2)); // another project, which stays behind
    QVERIFY(env.exec(QStringLiteral("INSERT INTO project (id, projectname, company, active) VALUES (?, 'BIG IDS', NULL, 0)"),
                     {projectId}));
    for (int c = 0; c < companies; ++c) {
        QVERIFY(env.exec(QStringLiteral("INSERT INTO authorizedcompanies (id, idproject, name, active, pickupdate) "
                                        "VALUES (?, ?, ?, -1, '2026-02-28 17:45:00')"),
                         {companyId + c * 1000, projectId, QStringLiteral("SUB %1").arg(c)}));
        for (int p = 0; p < pickups; ++p)
            QVERIFY(env.exec(QStringLiteral("INSERT INTO pickuplog (id, idproject, idauthorizedcompany, pickupdate, note) "
                                            "VALUES (?, ?, ?, '2026-01-31', '')"),
                             {pickupId + c * 1000 + p, projectId, companyId + c * 1000}));
    }
    transfer::ExportDatabase(QString::number(projectId), QStringLiteral("BIG IDS"), nullptr);
    QCOMPARE(env.messages.texts(), QStringList{QStringLiteral("Export process complete")});
    const QString file = env.path(QStringLiteral("BIG IDS 1437_0307.mdb"));
    verifyTransferFile(file, projectId);
    qint64 n = -1;
    QVERIFY(withFile(file, [&](QSqlDatabase &d) {
        QSqlQuery q(d);
        q.exec(QStringLiteral("SELECT (SELECT count(*) FROM authorizedcompanies) * 1000 + (SELECT count(*) FROM pickuplog)"));
        n = q.next() ? q.value(0).toLongLong() : -1;
        return true;
    }));
    QCOMPARE(n, qint64(companies) * 1000 + companies * pickups);
}

void TestExport::createsAMissingTemplate()
{
    TestEnv env;
    QVERIFY(makeProject(env, 1, 1));
    const QString tpl = transfer::templatePath(gExportPath);
    QVERIFY(QFile::remove(tpl));
    transfer::ExportDatabase(QStringLiteral("1"), QStringLiteral("T"), nullptr);
    QCOMPARE(env.messages.texts(), QStringList{QStringLiteral("Export process complete")});
    QVERIFY(QFileInfo::exists(tpl));
    verifyTransferFile(env.path(QStringLiteral("T 1437_0307.mdb")), 1);
    // The template itself stays empty.
    int tables = -1;
    QVERIFY(withFile(tpl, [&](QSqlDatabase &d) {
        tables = d.tables().size();
        return true;
    }));
    QCOMPARE(tables, 0);
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
    // A file-size limit stands in for a full disk: writes past it fail as they would.
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
    QVERIFY(makeProject(env, 20, 150)); // about 200 KB of rows
    const QByteArray mainHash = fileHash(env.path(app::kDbFileName));
    const QString out = env.path(QStringLiteral("out"));
    QVERIFY(QDir().mkpath(out));
    gExportPath = out;
    QVERIFY(transfer::ensureTemplate(out).isEmpty());

    rlimit savedLimit{};
    switch (setup) {
    case Setup::MissingFolder:
        gExportPath = env.path(QStringLiteral("gone"));
        break;
    case Setup::UnwritablePlace:
        gExportPath = QStringLiteral("/proc/self");
        break;
    case Setup::ReadOnlyFolder:
        QVERIFY(QFile::setPermissions(out, QFile::ReadOwner | QFile::ExeOwner));
        break;
    case Setup::NoDatabase:
        gDbFile = env.path(QStringLiteral("nothing.mdb"));
        break;
    case Setup::BadTemplate: {
        QFile f(transfer::templatePath(out));
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(QByteArray(4096, 'x'));
        break;
    }
    default:
        break;
    }
    const QStringList before = folderEntries(out);
    if (setup == Setup::DiskFull) {
        std::signal(SIGXFSZ, SIG_IGN);
        QCOMPARE(getrlimit(RLIMIT_FSIZE, &savedLimit), 0);
        rlimit small = savedLimit;
        small.rlim_cur = 48 * 1024;
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
    }
    transfer::ExportDatabase(projectId, QStringLiteral("P"), nullptr);
    if (setup == Setup::DiskFull)
        setrlimit(RLIMIT_FSIZE, &savedLimit);
    QFile::setPermissions(out, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

    QCOMPARE(env.messages.calls.size(), 1);
    const auto call = env.messages.calls.first();
    QCOMPARE(call.title, QStringLiteral("EXPORT DATABASE"));
    const QString head = QStringLiteral("ERROR:  %1: ").arg(number);
    QVERIFY2(call.text.startsWith(head) && call.text.contains(says), qPrintable(call.text));
    QCOMPARE(folderEntries(out), before); // no partial or temporary file
    QVERIFY(!QFileInfo::exists(env.path(QStringLiteral("gone"))));
    QCOMPARE(fileHash(env.path(app::kDbFileName)), mainHash);
}

void TestExport::progressDialog_data()
{
    QTest::addColumn<int>("companies");
    QTest::addColumn<int>("pickupsPerCompany");
    QTest::addColumn<bool>("shown");
    QTest::newRow("small project") << 4 << 10 << false;
    QTest::newRow("large project") << 40 << 150 << true;
}

void TestExport::progressDialog()
{
    QFETCH(int, companies);
    QFETCH(int, pickupsPerCompany);
    QFETCH(bool, shown);
    TestEnv env;
    QVERIFY(makeProject(env, companies, pickupsPerCompany));
    bool seen = false;
    QTimer poll;
    connect(&poll, &QTimer::timeout, this, [&seen] {
        for (QWidget *w : QApplication::topLevelWidgets())
            if (qobject_cast<QProgressDialog *>(w) && w->isVisible())
                seen = true;
    });
    poll.start(0);
    transfer::ExportDatabase(QStringLiteral("1"), QStringLiteral("BIG"), nullptr);
    poll.stop();
    QCOMPARE(env.messages.texts(), QStringList{QStringLiteral("Export process complete")});
    QCOMPARE(seen, shown);
    for (QWidget *w : QApplication::topLevelWidgets())
        QVERIFY(!qobject_cast<QProgressDialog *>(w)); // gone afterwards
    verifyTransferFile(env.path(QStringLiteral("BIG 1437_0307.mdb")), 1);
}

QTEST_MAIN(TestExport)
#include "tst_export.moc"
