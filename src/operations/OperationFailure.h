#pragma once
// How the main window's operations hand a refusal of the server on to the error report.

#include "ErrorHints.h"

namespace tp {

// Throws OperationError(e, context). When e says that the database the operation named is not
// on the server (911, 4060, 15010) and the operation works on the selected database (detach,
// shrink), the database grid is read again first, so that the list shows what is there and
// the hint can say so.
[[noreturn]] void throwOperationError(const DbError& e, ErrorContext context);

} // namespace tp
