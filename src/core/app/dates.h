#pragma once
#include <QDate>
#include <QDateTime>
#include <QString>
#include <QVariant>
#include <optional>

#include "core/app/clock.h"

// Dates are typed and shown in the short form m/d/yyyy (a time of day after it only
// when it is not midnight) and stored as ISO text, "YYYY-MM-DD" or
// "YYYY-MM-DD HH:MM:SS". An empty date is NULL.
namespace core::dates {

// Reads a typed date the way the old program's month-first conversion did:
// numbers separated by "/", "-" or "." are month, day, year, or day, month, year
// when the first cannot be a month but the second can; a leading four-digit number
// is the year; month names are accepted; a year of one or two digits falls in
// 1930..2029; a time of day may follow. `today` supplies the year when none is typed.
std::optional<QDateTime> parse(const QString &text, const QDate &today = core::today());

// The short form of a date and time.
QString shortForm(const QDateTime &dt);

// What a date field holds after it is checked: the short form, or empty text.
QString checkedText(const QString &text, const QDate &today = core::today());

// A stored value (ISO text, or a QDate/QDateTime) in short form; NULL or empty
// gives empty text; a value that is not a date is shown as it stands.
QString toShort(const QVariant &stored);

// The value to store for a date field's text: ISO text, or NULL when empty or not a date.
QVariant toStored(const QString &text, const QDate &today = core::today());

// ISO text of a date and time (date only when the time is midnight).
QString isoText(const QDateTime &dt);

} // namespace core::dates
