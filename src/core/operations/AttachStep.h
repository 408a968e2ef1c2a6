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
// on master). In a run (operation YearAttach, or ScanAttach from a scan), when the server
// refuses with 1801 (the name exists) the database's primary file is read back
// (primaryFileQuery) and compared with `dataFile` (sameFile): the same file gives
// AlreadyAttached. Throws OperationError with `operation` and the two files for every other
// refusal: after 1801 in a run naming the other database's primary file, after 5120 naming
// the attached database whose primary file is `dataFile` (sameFile), when there is one
// (primaryFilesQuery).
AttachOutcome attachFiles(const std::shared_ptr<Connection>& connection, const QString& name, const QString& dataFile,
    const QString& logFile, Operation operation);

} // namespace tp
