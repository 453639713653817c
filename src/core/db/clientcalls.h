#pragma once
// The functions of libpq and of mdbtools' libmdb this program calls, each library
// opened on the first call of one of its functions.
#include "core/db/clientlibraries.h"

#include <libpq-fe.h>
#include <mdbtools.h>

QB_CLIENT_FUNCTION("pq", 5, PQclear)
QB_CLIENT_FUNCTION("pq", 5, PQerrorMessage)
QB_CLIENT_FUNCTION("pq", 5, PQexec)
QB_CLIENT_FUNCTION("pq", 5, PQexecParams)
QB_CLIENT_FUNCTION("pq", 5, PQftype)
QB_CLIENT_FUNCTION("pq", 5, PQgetResult)
QB_CLIENT_FUNCTION("pq", 5, PQgetisnull)
QB_CLIENT_FUNCTION("pq", 5, PQgetlength)
QB_CLIENT_FUNCTION("pq", 5, PQgetvalue)
QB_CLIENT_FUNCTION("pq", 5, PQnfields)
QB_CLIENT_FUNCTION("pq", 5, PQntuples)
QB_CLIENT_FUNCTION("pq", 5, PQresultErrorField)
QB_CLIENT_FUNCTION("pq", 5, PQresultStatus)
QB_CLIENT_FUNCTION("pq", 5, PQsendQuery)
QB_CLIENT_FUNCTION("pq", 5, PQstatus)
QB_CLIENT_FUNCTION("mdb", 3, mdb_close)
QB_CLIENT_FUNCTION("mdb", 3, mdb_col_to_string)
QB_CLIENT_FUNCTION("mdb", 3, mdb_crack_row)
QB_CLIENT_FUNCTION("mdb", 3, mdb_fetch_row)
QB_CLIENT_FUNCTION("mdb", 3, mdb_find_row)
QB_CLIENT_FUNCTION("mdb", 3, mdb_free_tabledef)
QB_CLIENT_FUNCTION("mdb", 3, mdb_get_byte)
QB_CLIENT_FUNCTION("mdb", 3, mdb_get_double)
QB_CLIENT_FUNCTION("mdb", 3, mdb_get_int16)
QB_CLIENT_FUNCTION("mdb", 3, mdb_get_int32)
QB_CLIENT_FUNCTION("mdb", 3, mdb_get_single)
QB_CLIENT_FUNCTION("mdb", 3, mdb_is_user_table)
QB_CLIENT_FUNCTION("mdb", 3, mdb_open)
QB_CLIENT_FUNCTION("mdb", 3, mdb_read_catalog)
QB_CLIENT_FUNCTION("mdb", 3, mdb_read_columns)
QB_CLIENT_FUNCTION("mdb", 3, mdb_read_table)
QB_CLIENT_FUNCTION("mdb", 3, mdb_rewind_table)
QB_CLIENT_FUNCTION("mdb", 3, mdb_set_bind_size)
QB_CLIENT_FUNCTION("mdb", 3, mdb_target_charset)
