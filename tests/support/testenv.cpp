#include "support/testenv.h"

#include "core/app/globals.h"
#include "core/app/settings.h"
#include "ui/common/windowregistry.h"
#include "core/db/database.h"
#include "core/db/sampledata.h"

#include <QDir>
#include <QSqlError>
#include <QSqlQuery>
#include <QTest>

TestEnv::TestEnv()
{
    settings = std::make_unique<Settings>(m_dir.filePath(QStringLiteral("qubern.conf")));
    Services &s = services();
    s.messages = &messages;
    s.files = &files;
    s.quitter = &quitter;
    s.reports = &reports;
    s.settings = settings.get();
    core::setClock(&clock);
    gDbPath = m_dir.path();
    gExportPath = m_dir.path();
    gDbFile = core::joinPath(gDbPath, core::kDbFileName);
}

TestEnv::~TestEnv()
{
    WindowRegistry::destroyAll();
    db::closeMain();
    services() = Services();
    core::setClock(nullptr);
}

bool TestEnv::createDatabase()
{
    Failure why;
    if (!db::createDatabaseFile(gDbFile, &why)) {
        QWARN(qPrintable(why.description));
        return false;
    }
    db::createTemplateFile(core::joinPath(gExportPath, core::kTemplateFileName));
    const bool opened = db::openMain(gDbFile, &why).has_value();
    if (!opened)
        QWARN(qPrintable(why.description));
    return opened;
}

bool TestEnv::createDatabase(const SampleSpec &sample)
{
    if (!createDatabase())
        return false;
    Failure why;
    const bool generated = generateSampleData(db::main(), sample, {}, &why);
    if (!generated)
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
    q.prepare(sql);
    for (const QVariant &b : binds)
        q.addBindValue(b);
    if (q.exec())
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
