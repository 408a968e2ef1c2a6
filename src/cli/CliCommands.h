#pragma once
// The commands of tallyport-cli over the access layer, the statement builders and the
// operations' logic that the windows use.

#include <QStringList>

namespace tp::cli {

// Runs one command line (without the program name); returns the exit status.
int run(const QStringList& arguments);

} // namespace tp::cli
