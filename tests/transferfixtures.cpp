#include "transferfixtures.h"

#include <QApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QProgressDialog>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTest>
#include <QTimer>
#include <csignal>

namespace fixtures {

QByteArray fileHash(const QString &path)
{
    QFile f(path);
    QCryptographicHash h(QCryptographicHash::Sha256);
    return f.open(QIODevice::ReadOnly) && h.addData(&f) ? h.result().toHex() : QByteArray();
}

QStringList folderEntries(const QString &folder)
{
    QStringList out = QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    out.sort();
    return out;
}

bool execAll(QSqlDatabase &d, const QStringList &statements)
{
    for (const QString &s : statements)
        if (QSqlQuery q(d); !q.exec(s)) {
            QWARN(qPrintable(s.left(200) + QStringLiteral(": ") + q.lastError().text()));
            return false;
        }
    return true;
}

bool withFile(const QString &path, const std::function<bool(QSqlDatabase &)> &body)
{
    bool ok = false;
    {
        QSqlDatabase d = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("fixture_file"));
        d.setDatabaseName(path);
        if (d.open())
            ok = body(d);
        else
            QWARN(qPrintable(d.lastError().text()));
        d.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("fixture_file"));
    return ok;
}

QList<QStringList> rows(QSqlDatabase d, const QString &sql, const QVariantList &binds, bool typed)
{
    QSqlQuery q(d);
    q.prepare(sql);
    for (const QVariant &b : binds)
        q.addBindValue(b);
    if (!q.exec()) {
        QWARN(qPrintable(sql));
        return {{QStringLiteral("<query failed>")}};
    }
    QList<QStringList> out;
    while (q.next()) {
        QStringList row;
        for (int i = 0; i < q.record().count(); ++i)
            row << (q.value(i).isNull() ? QStringLiteral("<NULL>")
                    : typed             ? q.value(i).toString() + QLatin1Char('/') + q.value(i).typeName()
                                        : q.value(i).toString());
        out << row;
    }
    return out;
}

QStringList said(const RecordingMessages &m)
{
    QStringList out;
    for (const auto &c : m.calls)
        out << c.title + QLatin1Char('|') + c.text;
    return out;
}

ProjectData readProject(QSqlDatabase d, qint64 id)
{
    ProjectData p;
    p.project = rows(d, QStringLiteral("SELECT projectname, company, active, typeof(active) FROM project WHERE id = ?"), {id}, false).value(0);
    QHash<QString, int> position;
    for (QStringList c : rows(d, QStringLiteral("SELECT id, name, address1, address2, city, state, zipcode, telephone, fax, email, "
                                                "website, note, pickupdate, pickupby, package, active, typeof(active) "
                                                "FROM authorizedcompanies WHERE idproject = ? ORDER BY id"), {id}, false)) {
        position.insert(c.takeFirst(), int(position.size()));
        p.companies << c;
    }
    for (QStringList r : rows(d, QStringLiteral("SELECT idauthorizedcompany, pickupdate, pickupby, package, note FROM pickuplog "
                                                "WHERE idproject = ? ORDER BY id"), {id}, false))
        if (position.contains(r.first())) { // only a subcontractor's own pick-ups travel
            r.first() = QString::number(position.value(r.first()));
            p.pickups << r;
        }
    return p;
}

QString describe(const ProjectData &p)
{
    return QStringLiteral("project %1, %2 subcontractors, %3 pick-ups")
        .arg(p.project.join(QLatin1Char('|')).left(80)).arg(p.companies.size()).arg(p.pickups.size());
}

QList<qint64> counts(QSqlDatabase d)
{
    QList<qint64> out;
    for (const char *table : {"project", "authorizedcompanies", "pickuplog", "sqlite_master"})
        out << rows(d, QStringLiteral("SELECT count(*) FROM %1").arg(QLatin1String(table)), {}, false).value(0).value(0).toLongLong();
    return out;
}

bool sawProgressDialog(const std::function<void()> &run)
{
    bool seen = false;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&seen] {
        for (QWidget *w : QApplication::topLevelWidgets())
            seen = seen || (qobject_cast<QProgressDialog *>(w) && w->isVisible());
    });
    poll.start(0);
    run();
    return seen;
}

FileSizeLimit::FileSizeLimit(qint64 bytes)
{
    std::signal(SIGXFSZ, SIG_IGN);
    if (getrlimit(RLIMIT_FSIZE, &m_saved) != 0)
        return;
    rlimit small = m_saved;
    small.rlim_cur = rlim_t(bytes);
    ok = setrlimit(RLIMIT_FSIZE, &small) == 0;
}

FileSizeLimit::~FileSizeLimit()
{
    if (ok)
        setrlimit(RLIMIT_FSIZE, &m_saved);
}

} // namespace fixtures
