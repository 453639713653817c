#pragma once
// The functions of mdbtools' libmdb this program calls, opened on the first call.
#include "core/db/clientlibraries.h"

#include <mdbtools.h>

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
