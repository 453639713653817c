#include "core/db/registers.h"

namespace core::db {

Registers &registers()
{
    static Registers main;
    return main;
}

} // namespace core::db
