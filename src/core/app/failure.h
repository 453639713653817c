#pragma once
#include <QString>

class QSqlError;

namespace core {

// Why an operation failed, as the user is told of it. Every operation of the core
// that can fail returns bool (an action) or std::optional (a value) and fills an
// optional `Failure *why`.
struct Failure
{
    int number = 0;      // the engine's error number, shown before the description
    QString description; // a whole sentence for the user, naming the file
    QString detail;      // the engine's own words, when there are any

    // The number directly followed by the description, as the print messages show it.
    QString text() const { return QString::number(number) + description; }
    static Failure from(const QSqlError &e);
    static Failure notOpen();
    static Failure plain(const QString &description, int number = 1) { return {number, description, {}}; }
};

// Fills `why` when the caller asked for it; returns false, for `return fail(...)`.
inline bool fail(Failure *why, Failure f)
{
    if (why)
        *why = std::move(f);
    return false;
}

} // namespace core
