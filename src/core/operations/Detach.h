#pragma once
// Detaching a database, without windows.

#include <QString>

namespace tp {

class Connection;

// Sends detachDatabaseStatement(name) over `master` (open, on master). Throws OperationError
// (operation Detach, database `name`) when the server refuses or cannot be reached.
void detachDatabase(Connection& master, const QString& name);

} // namespace tp
