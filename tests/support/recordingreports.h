#pragma once
#include "support/names.h"
#include "ui/reports/reportoutput.h"

#include <QList>
#include <QString>
#include <functional>

// Records every report a window hands over instead of showing or printing it, with
// what its pages print, so that a test sees the query's columns reach the layout.
class RecordingReports : public ReportOutput
{
public:
    enum class Kind { Preview, Print };
    struct Call
    {
        Kind kind;
        QString layoutName, title;
        RowSet rows;
        QString printed; // every text of every page, one a line
    };
    QList<Call> calls;

    void preview(const ReportJob &job) override { record(Kind::Preview, job); }
    void print(const ReportJob &job) override { record(Kind::Print, job); }

private:
    void record(Kind kind, const ReportJob &job);
};

// Row sets shaped like the queries behind the reports, with values that say which record
// they belong to ("PICKUP BY 007"), so that output order can be read back.
namespace reportrows {
RowSet pickups(int n, const std::function<QString(int)> &note = {}); // `note(i)` gives record i's note
RowSet projects(int n);  // Active is -1 and 0 in turn
RowSet companies(int n); // the columns the list of subcontractors prints
QString num(int i); // "001" for record 0, as the values above number their records
QString words(int count, int seed = 0); // words of varied length, numbered so that their order can be checked
} // namespace reportrows

// Reading PDF files back with poppler's tools.
namespace pdftools {
bool available();                   // pdftotext and pdfinfo are installed
int pageCount(const QString &path); // -1 when pdfinfo fails
QString text(const QString &path);  // pdftotext -layout; pages end with a form feed
QString title(const QString &path); // the document's title, as pdfinfo shows it
} // namespace pdftools
