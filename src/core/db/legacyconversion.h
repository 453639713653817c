#pragma once
#include <QString>
#include <functional>
#include <optional>

#include "core/app/failure.h"
#include "core/db/legacy.h"

// A register of the old program turned into one of ours, with the same ids; a
// transfer file of the old program turned into one of ours for the import.
namespace core::db {

struct LegacyConversion
{
    QString registerFile; // the new register, db1.mdb in the folder
    QString keptFile;     // the old file, kept beside it
    legacy::Counts counts;
};

// Told the rows done so far (first converted, then checked) and the rows to do in
// all; returning false stops the conversion, with nothing written.
using ConversionProgress = std::function<bool(qint64 done, qint64 total)>;

// "4 projects, 7 subcontractors, 25 pick-ups".
QString countsText(const legacy::Counts &counts);

// Converts the old program's register `oldFile` into a new register db1.mdb in
// `folder` (made when missing): every row of the three tables with its id, checked
// row for row after the copy; new rows continue above every id the old rows use or
// point at. The old file is kept in `folder` under a name that says what it is
// (moved there when it is the folder's db1.mdb, else copied) and is never changed.
// Refuses before reading anything when the folder cannot be written or already
// holds another db1.mdb. On any failure nothing is left behind.
std::optional<LegacyConversion> convertLegacy(const QString &oldFile, const QString &folder,
                                              const ConversionProgress &progress = {}, Failure *why = nullptr);

// Writes the three tables of the old program's file `oldFile` into the new SQLite file
// `copy` as a transfer file of ours holds them: every row with its id and its values,
// in the file's order, without keys (judging the rows is for the import, as with any
// transfer file). Told the rows written so far and the rows in all; returning false
// stops it. A failure's reason does not name `oldFile`, which may be a handle's path.
bool copyLegacyTransfer(const QString &oldFile, const QString &copy, const ConversionProgress &progress = {},
                        Failure *why = nullptr);

} // namespace core::db
