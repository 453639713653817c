#pragma once
#include <QSqlDatabase>

#include "core/app/failure.h"

namespace core::schema {

// Brings a main database made by an earlier version up to its current version
// (kVersion on a file, kServerVersion on a server): every step
// above the version it holds (the file's user_version, the server's stamp) runs,
// in order, and the new version is stamped, all in one transaction. A register
// that is up to date is left untouched.
bool migrate(QSqlDatabase &db, Failure *why = nullptr);

} // namespace core::schema
