#include "support/recordingreports.h"

#include "reports/layoutpass.h"
#include "reports/reportpainter.h"

#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QtGlobal>

RecordingReports::RecordingReports(const QString &folder) : folder(folder) {}

void RecordingReports::preview(const ReportJob &job)
{
    record(Kind::Preview, job);
}

void RecordingReports::print(const ReportJob &job)
{
    record(Kind::Print, job);
}

void RecordingReports::record(Kind kind, const ReportJob &job)
{
    Call c{kind, job.layout ? job.layout->name : QString(), job.title, job.rows, job.date, QString(), 0};
    const reports::ReportDocument doc = layoutJob(job);
    c.pages = int(doc.pages.size());
    if (!folder.isEmpty()) {
        const QString path = QDir(folder).filePath(QStringLiteral("%1-%2-%3.pdf")
                                                       .arg(calls.size() + 1)
                                                       .arg(kind == Kind::Preview ? "preview" : "print")
                                                       .arg(c.layoutName));
        QString error;
        if (reports::writePdf(doc, path, &error))
            c.pdfPath = path;
        else
            qWarning("RecordingReports: %s", qPrintable(error));
    }
    calls.append(c);
}

namespace reportrows {

QString words(int count, int seed)
{
    static const char *const vocabulary[] = {"BOX", "DRAWINGS", "OF", "LEVEL", "REVISED", "A", "PERMIT",
                                             "SAMPLES", "FOR", "THE", "ELECTRICAL", "KEYS", "SITE"};
    QStringList out;
    for (int i = 0; i < count; ++i)
        out << QStringLiteral("%1%2").arg(QString::fromLatin1(vocabulary[(i + seed) % 13])).arg(i);
    return out.join(QLatin1Char(' '));
}

RowSet pickups(int n, const std::function<QString(int)> &note)
{
    RowSet rs;
    rs.columns = {"id", "idauthorizedcompany", "idproject", "pickupdate", "pickupby", "package", "note", "name"};
    for (int i = 0; i < n; ++i) {
        const QString num = QStringLiteral("%1").arg(i + 1, 3, 10, QLatin1Char('0'));
        rs.rows.append({i + 1, 7, 3, QDate(2026, 1, 1).addDays(i).toString(Qt::ISODate),
                        QStringLiteral("PICKUP BY %1").arg(num), QStringLiteral("PACKAGE %1").arg(num),
                        note ? note(i) : QStringLiteral("NOTE %1").arg(num),
                        QStringLiteral("SUBCONTRACTOR %1").arg(num)});
    }
    return rs;
}

RowSet projects(int n)
{
    RowSet rs;
    rs.columns = {"id", "ProjectName", "Company", "Active"};
    for (int i = 0; i < n; ++i) {
        const QString num = QStringLiteral("%1").arg(i + 1, 3, 10, QLatin1Char('0'));
        rs.rows.append({i + 1, QStringLiteral("PROJECT %1").arg(num), QStringLiteral("COMPANY %1").arg(num),
                        i % 2 == 0 ? -1 : 0});
    }
    return rs;
}

RowSet companies(int n)
{
    RowSet rs;
    rs.columns = {"id", "Name", "Address1", "Address2", "city", "state", "zipcode", "Telephone", "Fax",
                  "Email", "website", "pickupdate", "pickupby", "package", "active", "note"};
    for (int i = 0; i < n; ++i) {
        const QString num = QStringLiteral("%1").arg(i + 1, 3, 10, QLatin1Char('0'));
        rs.rows.append({i + 1, QStringLiteral("COMPANY %1").arg(num), QStringLiteral("%1 MAIN STREET").arg(i + 1),
                        QStringLiteral("SUITE %1").arg(num), QStringLiteral("CITY %1").arg(num),
                        QStringLiteral("ST"), QStringLiteral("0%1").arg(num), QStringLiteral("555-0%1").arg(num),
                        QStringLiteral("555-1%1").arg(num), QStringLiteral("mail%1@example.com").arg(num),
                        QStringLiteral("www.example%1.com").arg(num),
                        QDate(2026, 2, 1).addDays(i).toString(Qt::ISODate), QStringLiteral("PICKER %1").arg(num),
                        QStringLiteral("PARCEL %1").arg(num), i % 2 == 0 ? -1 : 0,
                        QStringLiteral("REMARK %1").arg(num)});
    }
    return rs;
}

} // namespace reportrows

namespace pdftools {

namespace {
QString run(const QString &program, const QStringList &args, bool *ok)
{
    QProcess p;
    p.setStandardErrorFile(QProcess::nullDevice());
    p.start(program, args);
    *ok = p.waitForFinished(60000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    return QString::fromUtf8(p.readAllStandardOutput());
}
} // namespace

bool available()
{
    return !QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty() &&
           !QStandardPaths::findExecutable(QStringLiteral("pdfinfo")).isEmpty();
}

namespace {
QString infoField(const QString &path, const QString &field, bool *ok)
{
    const QString out = run(QStringLiteral("pdfinfo"), {path}, ok);
    const QRegularExpression re(QStringLiteral("^") + field + QStringLiteral(":\\s+(.*)$"),
                                QRegularExpression::MultilineOption);
    const auto m = re.match(out);
    return m.hasMatch() ? m.captured(1).trimmed() : QString();
}
} // namespace

int pageCount(const QString &path)
{
    bool ok = false;
    const QString pages = infoField(path, QStringLiteral("Pages"), &ok);
    return ok && !pages.isEmpty() ? pages.toInt() : -1;
}

QString title(const QString &path)
{
    bool ok = false;
    QString t = infoField(path, QStringLiteral("Title"), &ok);
    // PostScript-made files keep the parentheses of a PostScript string.
    if (t.startsWith(QLatin1Char('(')) && t.endsWith(QLatin1Char(')')))
        t = t.mid(1, t.size() - 2);
    return t;
}

QString text(const QString &path)
{
    bool ok = false;
    const QString out = run(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), path, QStringLiteral("-")}, &ok);
    return ok ? out : QString();
}

} // namespace pdftools
