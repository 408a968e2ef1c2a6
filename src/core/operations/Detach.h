#pragma once
// Detaching a database, without windows.

#include <QString>

namespace tp {

class Connection;

// How the name is written in the statement: Plain as the main window sends it
// (detachDatabaseStatement), Unicode as N'...' (detachDatabaseUnicodeStatement).
enum class NameLiteral { Plain, Unicode };

// Sends the detach statement of `name` over `master` (open, on master). Throws OperationError
// (operation Detach, database `name`) when the server refuses or cannot be reached.
void detachDatabase(Connection& master, const QString& name, NameLiteral literal = NameLiteral::Plain);

} // namespace tp
