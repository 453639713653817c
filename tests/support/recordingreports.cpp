#include "support/recordingreports.h"

#include "core/reports/layoutpass.h"

#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>

void RecordingReports::record(Kind kind, const ReportJob &job)
{
    Call c{kind, job.layout ? job.layout->name : QString(), job.title, jobRows(job).value_or(RowSet()), QString()};
    for (const reports::ReportPage &page : layoutJob(job).pages)
        for (const reports::PlacedItem &item : page.items)
            c.printed += item.text() + '\n';
    calls.append(c);
}

namespace reportrows {

QString num(int i)
{
    return QStringLiteral("%1").arg(i + 1, 3, 10, QLatin1Char('0'));
}

QString words(int count, int seed)
{
    static const char *const vocabulary[] = {"BOX", "DRAWINGS", "OF", "LEVEL", "REVISED", "A", "PERMIT",
                                             "SAMPLES", "FOR", "THE", "ELECTRICAL", "KEYS", "SITE"};
    QStringList out;
    for (int i = 0; i < count; ++i)
        out << QString::fromLatin1(vocabulary[(i + seed) % 13]) + QString::number(i);
    return out.join(QLatin1Char(' '));
}

RowSet pickups(int n, const std::function<QString(int)> &note)
{
    RowSet rs;
    rs.columns = {"id", "idauthorizedcompany", "idproject", "pickupdate", "pickupby", "package", "note", "name"};
    for (int i = 0; i < n; ++i)
        rs.rows.append({i + 1, 7, 3, QDate(2026, 1, 1).addDays(i).toString(Qt::ISODate), "PICKUP BY " + num(i),
                        "PACKAGE " + num(i), note ? note(i) : "NOTE " + num(i), "SUBCONTRACTOR " + num(i)});
    return rs;
}

RowSet projects(int n)
{
    RowSet rs;
    rs.columns = {"id", "ProjectName", "Company", "Active"};
    for (int i = 0; i < n; ++i)
        rs.rows.append({i + 1, "PROJECT " + num(i), "COMPANY " + num(i), i % 2 == 0 ? -1 : 0});
    return rs;
}

RowSet companies(int n)
{
    RowSet rs;
    rs.columns = {"id", "Name", "Address1", "Address2", "city", "state", "zipcode", "Telephone", "Fax",
                  "Email", "website", "pickupdate", "pickupby", "package", "active", "note"};
    for (int i = 0; i < n; ++i)
        rs.rows.append({i + 1, "COMPANY " + num(i), QString::number(i + 1) + " MAIN STREET", "SUITE " + num(i),
                        "CITY " + num(i), "ST", "0" + num(i), "555-0" + num(i), "555-1" + num(i),
                        "mail" + num(i) + "@example.com", "www.example" + num(i) + ".com",
                        QDate(2026, 2, 1).addDays(i).toString(Qt::ISODate), "PICKER " + num(i), "PARCEL " + num(i),
                        i % 2 == 0 ? -1 : 0, "REMARK " + num(i)});
    return rs;
}

} // namespace reportrows

namespace pdftools {

namespace {
QString run(const QString &program, const QStringList &args)
{
    QProcess p;
    p.setStandardErrorFile(QProcess::nullDevice());
    p.start(program, args);
    const bool ok = p.waitForFinished(60000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    return ok ? QString::fromUtf8(p.readAllStandardOutput()) : QString();
}

QString infoField(const QString &path, const QString &field)
{
    const QRegularExpression re("^" + field + ":\\s+(.*)$", QRegularExpression::MultilineOption);
    return re.match(run(QStringLiteral("pdfinfo"), {path})).captured(1).trimmed();
}
} // namespace

bool available()
{
    return !QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty() &&
           !QStandardPaths::findExecutable(QStringLiteral("pdfinfo")).isEmpty();
}

int pageCount(const QString &path)
{
    const QString pages = infoField(path, QStringLiteral("Pages"));
    return pages.isEmpty() ? -1 : pages.toInt();
}

QString title(const QString &path)
{
    const QString t = infoField(path, QStringLiteral("Title"));
    // PostScript-made files keep the parentheses of a PostScript string.
    return t.startsWith(QLatin1Char('(')) && t.endsWith(QLatin1Char(')')) ? t.mid(1, t.size() - 2) : t;
}

QString text(const QString &path)
{
    return run(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), path, QStringLiteral("-")});
}

} // namespace pdftools
