#include "core/app/clock.h"

namespace core {

namespace {
Clock *installed = nullptr;
}

void setClock(Clock *clock)
{
    installed = clock;
}

QDateTime now()
{
    return installed ? installed->now() : QDateTime::currentDateTime();
}

QDate today()
{
    return now().date();
}

} // namespace core
