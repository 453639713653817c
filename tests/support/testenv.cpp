#include "support/testenv.h"

#include "core/app/globals.h"
#include "core/app/settings.h"
#include "ui/common/windowregistry.h"
#include "core/db/database.h"
#include "core/db/pgserver.h"
#include "core/db/sampledata.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSqlError>
#include <QSqlQuery>
#include <QTest>

TestEnv::TestEnv()
{
    settings = std::make_unique<Settings>(m_dir.filePath(QStringLiteral("qubern.conf")));
    services() = Services{&messages, &files, &reports, &quitter, settings.get()};
    core::setClock(&clock);
    gDbPath = m_dir.path();
    gExportPath = m_dir.path();
    gDbFile = core::joinPath(gDbPath, core::kDbFileName);
    gServer = {};
}

TestEnv::~TestEnv()
{
    WindowRegistry::destroyAll();
    db::closeMain();
    gServer = {};
    services() = Services();
    core::setClock(nullptr);
}

bool TestEnv::onServer()
{
    return qEnvironmentVariable("QB_TEST_ENGINE") == QLatin1String("postgresql");
}

ServerSettings TestEnv::testServer(const QString &database)
{
    ServerSettings s;
    s.user = QStringLiteral("postgres");
    s.database = database.isEmpty() ? QStringLiteral("postgres") : database;
    s.host = qEnvironmentVariable("QB_TEST_PGHOST");
    s.port = qEnvironmentVariableIntValue("QB_TEST_PGPORT");
    if (s.host.isEmpty()) {
        const QStringList hostPort = QString::fromUtf8(fileBytes(qEnvironmentVariable("QB_TEST_PGSTATE") + QStringLiteral("/server"))).simplified().split(' ');
        s.host = hostPort.value(0);
        s.port = hostPort.value(1).toInt();
    }
    if (s.host.isEmpty() || s.port <= 0)
        qFatal("No test server: set QB_TEST_PGHOST and QB_TEST_PGPORT, or start one with "
               "scripts/pgtest start DIR and set QB_TEST_PGSTATE=DIR (ctest does both).");
    return s;
}

bool TestEnv::freshServerDatabase(const QString &database)
{
    db::closeMain();
    const QString name = QStringLiteral("qb_admin");
    Failure why;
    // Emptying an existing database is quicker than making a new one.
    const bool exists = db::openServerConnection(name, testServer(database), &why);
    bool ok = exists || db::openServerConnection(name, testServer(), &why);
    if (ok) {
        QSqlQuery q(QSqlDatabase::database(name, false));
        ok = exists ? q.exec(QStringLiteral("SET client_min_messages = warning")) && q.exec(QStringLiteral("DROP SCHEMA public CASCADE")) && q.exec(QStringLiteral("CREATE SCHEMA public"))
                    : q.exec(QStringLiteral("CREATE DATABASE \"%1\"").arg(database));
        if (!ok)
            why.description = q.lastError().text();
    }
    db::closeConnection(name);
    if (!ok)
        QWARN(qPrintable(why.description));
    return ok;
}

bool TestEnv::createDatabase()
{
    Failure why;
    bool opened;
    db::createTemplateFile(core::joinPath(gExportPath, core::kTemplateFileName));
    if (onServer()) {
        // One database per test program, so that programs run side by side; made
        // afresh for every test.
        const QString database = QStringLiteral("qb_") + QCoreApplication::applicationName().toLower();
        if (!freshServerDatabase(database))
            return false;
        gServer = testServer(database);
        opened = db::createServerRegister(gServer, &why) && db::openMainOnServer(gServer, &why);
    } else {
        opened = db::createDatabaseFile(gDbFile, &why) && db::openMain(gDbFile, &why).has_value();
    }
    if (!opened)
        QWARN(qPrintable(why.description));
    return opened;
}

bool TestEnv::createDatabase(const SampleSpec &sample)
{
    Failure why;
    const bool generated = createDatabase() && generateSampleData(db::main(), sample, {}, &why);
    if (!generated && !why.description.isEmpty())
        QWARN(qPrintable(why.description));
    return generated;
}

bool TestEnv::createOffice()
{
    // Active and not active projects, two of one name, one without subcontractors, a
    // large id; two subcontractors of one name; pick-ups around January 2003 with and
    // without a time of day, and one whose subcontractor (99) was deleted.
    return createDatabase()
        && exec("INSERT INTO project (id, projectname, company, active) VALUES (1, 'NORTH TOWER', 'ATLAS', -1), "
                "(2, 'HARBOR VIEW', 'CITY', 0), (3, 'ELM SCHOOL', 'COUNTY', -1), (4, 'ELM SCHOOL', 'BOARD', -1), "
                "(5, 'EMPTY LOT', 'VACANT', -1), (40000, 'ANNEX', 'WIDE', -1)")
        && exec("INSERT INTO authorizedcompanies (id, idproject, name, address1, address2, city, state, zipcode, telephone, "
                "fax, email, website, note, pickupdate, pickupby, package, active) VALUES (10, 1, 'ACME ELECTRIC', "
                "'12 MAIN ST', 'SUITE 4', 'AUSTIN', 'TX', '78701', '555-0100', '555-0101', 'acme@example.com', "
                "'www.acme.example', 'KEYS AT DESK', '2026-03-07', 'J. SMITH', 'DRAWINGS', -1)")
        && exec("INSERT INTO authorizedcompanies (id, idproject, name, city, active) VALUES (11, 1, 'O''NEIL PLUMBING', "
                "'CHICAGO', 0), (12, 2, 'HARBOR GLASS', NULL, -1), (13, 2, 'ACME ELECTRIC', NULL, -1), "
                "(14, 3, 'ZENITH ROOFING', NULL, -1), (40001, 40000, 'FAR CO', NULL, -1)")
        && exec("INSERT INTO pickuplog (id, idproject, idauthorizedcompany, pickupdate, pickupby, package, note) VALUES "
                "(101, 1, 10, '2003-01-15', 'J. SMITH', 'DRAWINGS', 'LATE'), "
                "(102, 1, 10, '2002-12-31 23:59:59', 'M. GARCIA', 'KEYS', NULL), (103, 1, 10, '2003-01-01', 'L. CHEN', 'SPECS', ''), "
                "(104, 1, 10, '2003-02-01', 'AFTER', NULL, NULL), (105, 2, 10, '2003-01-31', 'OTHER PROJECT', 'X', NULL), "
                "(106, 2, 12, '2003-01-31 16:30:00', 'R. JOHNSON', 'GLASS SAMPLES', 'it''s \"quoted\"'), "
                "(107, 2, 13, '2003-01-31 23:59:59', 'D. O''BRIEN', 'DWG', NULL), (108, 2, 99, '2003-01-10', 'ORPHAN', NULL, NULL), "
                "(109, 40000, 40001, '2003-01-20', 'BIG ID PICKUP', NULL, NULL)");
}

void OfficeTest::init()
{
    env = std::make_unique<TestEnv>();
    QVERIFY(env->createOffice());
}

namespace {
bool run(QSqlQuery &q, const QString &sql, const QVariantList &binds)
{
    // The server prepares no DDL: plain texts run as they are.
    bool ok = binds.isEmpty() ? q.exec(sql) : q.prepare(sql);
    for (const QVariant &b : binds)
        q.addBindValue(b);
    if (!binds.isEmpty())
        ok = ok && q.exec();
    if (ok)
        return true;
    QWARN(qPrintable(sql + QStringLiteral(": ") + q.lastError().text()));
    return false;
}
} // namespace

QVariant TestEnv::scalar(const QString &sql, const QVariantList &binds) const
{
    QSqlQuery q(db::main());
    return run(q, sql, binds) && q.next() ? q.value(0) : QVariant();
}

bool TestEnv::exec(const QString &sql, const QVariantList &binds) const
{
    QSqlQuery q(db::main());
    return run(q, sql, binds);
}

bool TestEnv::refuse(const QString &op, const QString &table, const QString &message) const
{
    const QString name = QStringLiteral("refuse_") + op.toLower();
    if (!onServer())
        return exec(QStringLiteral("CREATE TRIGGER %1 BEFORE %2 ON %3 BEGIN SELECT RAISE(ABORT, '%4'); END").arg(name, op, table, message));
    QSqlQuery q(db::main());
    return q.exec(QStringLiteral("CREATE FUNCTION %1() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN RAISE EXCEPTION '%2'; END $$").arg(name, message))
        && q.exec(QStringLiteral("CREATE TRIGGER %1 BEFORE %2 ON %3 FOR EACH ROW EXECUTE FUNCTION %1()").arg(name, op, table));
}

bool TestEnv::otherDesk(const QStringList &statements) const
{
    const QString name = QStringLiteral("qb_other_desk");
    bool ok = db::openServerConnection(name, gServer);
    {
        QSqlDatabase d = QSqlDatabase::database(name, false);
        ok = ok && d.transaction();
        for (const QString &s : statements) {
            QSqlQuery q(d);
            ok = ok && run(q, s, {});
        }
        ok = ok && d.commit();
    }
    db::closeConnection(name);
    return ok;
}

QByteArray fileBytes(const QString &path)
{
    QFile f(path);
    return QFileInfo(path).isFile() && f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

QStringList entries(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

bool withFile(const QString &path, const QStringList &statements, const std::function<void(QSqlDatabase &)> &body)
{
    bool ok = true;
    {
        QSqlDatabase d = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("fixture_file"));
        d.setDatabaseName(path);
        ok = d.open();
        for (const QString &s : statements)
            if (QSqlQuery q(d); ok && !q.exec(s))
                ok = false, QWARN(qPrintable(s.left(200) + ": " + q.lastError().text()));
        if (ok && body)
            body(d);
    }
    QSqlDatabase::removeDatabase(QStringLiteral("fixture_file"));
    return ok;
}
