#pragma once
#include "reports/reportoutput.h"

#include <QList>
#include <QString>
#include <functional>

// Records every report a window hands over instead of showing or printing it, and
// writes each to a PDF file in `folder` so that a test can read the pages back.
class RecordingReports : public ReportOutput
{
public:
    enum class Kind { Preview, Print };
    struct Call
    {
        Kind kind;
        QString layoutName;
        QString title;
        RowSet rows;
        QDate date;
        QString pdfPath; // empty when the PDF could not be written
        int pages = 0;
    };

    explicit RecordingReports(const QString &folder = QString());

    QString folder;
    QList<Call> calls;

    void preview(const ReportJob &job) override;
    void print(const ReportJob &job) override;
    void clear() { calls.clear(); }

private:
    void record(Kind kind, const ReportJob &job);
};

// Row sets shaped like the queries behind the four reports, with values that say
// which record they belong to ("PICKUP BY 007"), so that output order can be read back.
namespace reportrows {
// pickupdate, pickupby, package, note, name (and the ids); `note(i)` gives record i's note.
RowSet pickups(int n, const std::function<QString(int)> &note = {});
// ProjectName, Company, Active (-1 and 0 in turn).
RowSet projects(int n);
// The subcontractor columns the list of subcontractors prints.
RowSet companies(int n);
// `words` words of varied length, numbered so that their order can be checked.
QString words(int count, int seed = 0);
} // namespace reportrows

// Reading PDF files back with poppler's tools.
namespace pdftools {
bool available(); // pdftotext and pdfinfo are installed
int pageCount(const QString &path); // -1 when pdfinfo fails
QString text(const QString &path); // pdftotext -layout; pages end with a form feed
QString title(const QString &path); // the document's title, as pdfinfo shows it
} // namespace pdftools
