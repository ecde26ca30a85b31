#pragma once
/// Opening a session's handle and reading its errors: the parts of the session that touch only
/// their arguments, so the session's worker thread may run them.

#include "Connection.h"

struct st_mysql;

namespace norvane::db {

/// True for the client errors that mean the session is gone, and the server's own goodbyes.
bool isConnectionLoss(unsigned code);

/// Prepares the client library once per process.
void initLibrary();

/// Opens a handle with the session's settings; throws `DbError` and leaves nothing open on
/// failure.
st_mysql* connectHandle(const ConnectionParams& params, const QString& database, unsigned timeout);

/// Reads the rest of the session's results (a procedure's further result sets) and drops them,
/// so the session is free again. Returns the error number, 0 when all went well.
unsigned drainFurther(st_mysql* m);

} // namespace norvane::db
