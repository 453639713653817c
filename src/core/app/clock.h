#pragma once
#include <QDate>
#include <QDateTime>

namespace core {

// The current local date and time. Everything that stamps or defaults a date asks
// here, so that tests can fix the day.
class Clock
{
public:
    virtual ~Clock() = default;
    virtual QDateTime now() const = 0;
};

// Installs the clock `now()` reads (not owned); nullptr goes back to the system's.
void setClock(Clock *clock);

QDateTime now();
QDate today();

} // namespace core
