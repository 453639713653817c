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
    : reports(m_dir.filePath(QStringLiteral("reports")))
{
    settings = std::make_unique<Settings>(m_dir.filePath(QStringLiteral("qubern.conf")));
    QDir(m_dir.path()).mkpath(QStringLiteral("reports"));
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
