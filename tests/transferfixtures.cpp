#include "transferfixtures.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QHash>
#include <QSqlError>
#include <QSqlQuery>
#include <QTest>

namespace fixtures {

QByteArray fileHash(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    QCryptographicHash h(QCryptographicHash::Sha256);
    h.addData(&f);
    return h.result().toHex();
}

QStringList folderEntries(const QString &folder)
{
    QStringList out = QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    out.sort();
    return out;
}

bool execAll(QSqlDatabase &d, const QStringList &statements)
{
    for (const QString &s : statements) {
        QSqlQuery q(d);
        if (!q.exec(s)) {
            QWARN(qPrintable(s.left(200) + QStringLiteral(": ") + q.lastError().text()));
            return false;
        }
    }
    return true;
}

bool withFile(const QString &path, const std::function<bool(QSqlDatabase &)> &body)
{
    const QString name = QStringLiteral("fixture_file");
    bool ok = false;
    {
        QSqlDatabase d = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        d.setDatabaseName(path);
        if (d.open()) {
            ok = body(d);
            d.close();
        } else {
            QWARN(qPrintable(d.lastError().text()));
        }
    }
    QSqlDatabase::removeDatabase(name);
    return ok;
}

static QString text(const QVariant &v)
{
    return v.isNull() ? QStringLiteral("<NULL>") : v.toString();
}

ProjectData readProject(QSqlDatabase d, qint64 projectId)
{
    ProjectData p;
    QSqlQuery q(d);
    q.prepare(QStringLiteral("SELECT projectname, company, active, typeof(active) FROM project WHERE id = ?"));
    q.addBindValue(projectId);
    if (q.exec() && q.next())
        for (int i = 0; i < 4; ++i)
            p.project << text(q.value(i));
    q.finish();
    QHash<qint64, int> position;
    q.prepare(QStringLiteral("SELECT id, name, address1, address2, city, state, zipcode, telephone, fax, email, website, "
                             "note, pickupdate, pickupby, package, active, typeof(active) FROM authorizedcompanies "
                             "WHERE idproject = ? ORDER BY id"));
    q.addBindValue(projectId);
    if (q.exec()) {
        while (q.next()) {
            position.insert(q.value(0).toLongLong(), int(position.size()));
            QStringList row;
            for (int i = 1; i < 17; ++i)
                row << text(q.value(i));
            p.companies << row;
        }
    }
    q.finish();
    q.prepare(QStringLiteral("SELECT idauthorizedcompany, pickupdate, pickupby, package, note FROM pickuplog "
                             "WHERE idproject = ? ORDER BY id"));
    q.addBindValue(projectId);
    if (q.exec()) {
        while (q.next()) {
            const qint64 company = q.value(0).toLongLong();
            if (!position.contains(company))
                continue; // only what belongs to one of the project's subcontractors travels
            QStringList row{QString::number(position.value(company))};
            for (int i = 1; i < 5; ++i)
                row << text(q.value(i));
            p.pickups << row;
        }
    }
    return p;
}

QString describe(const ProjectData &p)
{
    return QStringLiteral("project %1, %2 subcontractors, %3 pick-ups")
        .arg(p.project.join(QLatin1Char('|')).left(80))
        .arg(p.companies.size())
        .arg(p.pickups.size());
}

QList<qint64> counts(QSqlDatabase d)
{
    QList<qint64> out;
    for (const char *sql : {"SELECT count(*) FROM project", "SELECT count(*) FROM authorizedcompanies",
                            "SELECT count(*) FROM pickuplog", "SELECT count(*) FROM sqlite_master"}) {
        QSqlQuery q(d);
        out << ((q.exec(QLatin1String(sql)) && q.next()) ? q.value(0).toLongLong() : -1);
    }
    return out;
}

} // namespace fixtures
