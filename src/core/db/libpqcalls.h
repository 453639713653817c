#pragma once
// The functions of libpq this program calls, opened on the first call.
#include "core/db/clientlibraries.h"

#include <libpq-fe.h>

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
