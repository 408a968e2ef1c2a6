#pragma once
// The one boundary every handler ends at. A DbError (the server or the driver refused
// something) becomes the error report: a message box with the error number, the driver's
// driver's words and a hint chosen by operation and number (ErrorHints); the application
// keeps running. Any other exception is an internal failure: reported, then the application ends.

#include "DbError.h"
#include "ErrorHints.h"

#include <QString>
#include <functional>
#include <stdexcept>

namespace tp {

class InternalError : public std::logic_error {
public:
    using std::logic_error::logic_error;
};

// Runs h; returns false when it ended with an error (already reported).
bool runGuarded(const std::function<void()>& h);

// Shows the error report for e (style 16, title "错误：") and returns; the application goes on.
void reportDbError(const DbError& e);

} // namespace tp
