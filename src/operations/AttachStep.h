#pragma once
// Attaching the two files of a database so that a repeated attempt is harmless: when the
// reply to an earlier attach was lost (the link broke, a time-out hit), the server may have
// attached the database although the caller saw an error.

#include "ErrorHints.h"

#include <QString>
#include <memory>

namespace tp {

class Connection;

enum class AttachOutcome {
    Attached, // the server attached the files now
    AlreadyAttached, // a database of that name already uses the very same primary file
};

// Sends EXEC sp_attach_db for `name` with `dataFile` and `logFile` over `connection` (open,
// on master). In a run (operation YearAttach), when the server refuses with 1801 (the name
// exists) the database's primary file is read back (primaryFileQuery) and compared with
// `dataFile` (samePath): the same file gives AlreadyAttached. Throws OperationError with
// `operation` for every other refusal: after 1801 in a run naming the other database's
// primary file, after 5120 naming the attached database that uses `dataFile`, when there is
// one (primaryFilesQuery).
AttachOutcome attachFiles(const std::shared_ptr<Connection>& connection, const QString& name, const QString& dataFile,
    const QString& logFile, Operation operation);

// Throws OperationError(e, context). When e says that the database the operation named is not
// on the server (911, 4060, 15010) and the operation works on the selected database (detach,
// shrink), the database grid is read again first, so that the list shows what is there.
[[noreturn]] void throwOperationError(const DbError& e, ErrorContext context);

} // namespace tp
