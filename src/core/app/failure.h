#pragma once
#include <QString>
#include <optional>

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
    QString reason;      // the cause alone ("the file is empty"), for a message that names the file its own way

    Failure() = default;
    Failure(int number, QString description, QString detail = {}, QString reason = {})
        : number(number)
        , description(std::move(description))
        , detail(std::move(detail))
        , reason(std::move(reason))
    {
    }

    // The number directly followed by the description, as the print messages show it.
    QString text() const { return QString::number(number) + description; }
    static Failure from(const QSqlError &e);
    // The engine's number and words, told in our own sentence.
    static Failure from(const QSqlError &e, const QString &description, const QString &reason);
    static Failure notOpen();
    static Failure plain(const QString &description, int number = 1) { return {number, description}; }
    static Failure withReason(const QString &description, const QString &reason, int number = 1)
    {
        return {number, description, {}, reason};
    }
};

// Fills `why` when the caller asked for it; returns false, for `return fail(...)`.
inline bool fail(Failure *why, Failure f)
{
    if (why)
        *why = std::move(f);
    return false;
}

// The same for an operation that gives a value: `return nothing(why, ...)`.
inline std::nullopt_t nothing(Failure *why, Failure f)
{
    fail(why, std::move(f));
    return std::nullopt;
}

} // namespace core
