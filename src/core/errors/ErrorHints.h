#pragma once
// What an error report says: a hint in plain Chinese chosen by the operation that failed and
// the error number (what happened, what to do next), and the driver's own words cut down to
// one detail line. No widgets: the error report of the windows, the scan window and a
// command line tool all take their texts from here.

#include "DbError.h"

#include <QString>

namespace tp {

// The operation an error came from. The same number means different things in each: 1801 in
// a run is a year already attached, in the file window a name to change.
enum class Operation {
    Unknown,
    Refresh, // the database grid's list
    YearAttach, // the year step of a run
    FileAttach, // the file window's attach of a chosen file
    Detach,
    Shrink,
    // The attach of what a scan of a data root found, from the scan window or the command
    // line, and the server's verdict before it: its hints name no control of another window.
    ScanAttach,
};

struct ErrorContext
{
    ErrorContext() = default;
    ErrorContext(Operation op, const QString& name)
        : operation(op)
        , database(name)
    {
    }

    Operation operation = Operation::Unknown;
    QString database; // the database the operation named (the year's name, or the box's)
    QString otherFile; // 1801: the primary file of the database that already has the name
    QString owner; // 5120: the attached database that uses the file
    QString dataFile, logFile; // the files of an attach, when known: which of them the server missed
    QString serviceAccount; // the server's service account, when it said (5120 with OS error 5)
    QString productVersion; // the server's ProductVersion, when known (950: what bridges the file)
    bool listRefreshed = false; // the database grid was read again after the failure
    // Shrink of a database in FULL or BULK_LOGGED recovery, which goes to SIMPLE and back:
    // the model it had, and which switch the server refused.
    QString recoveryModel;
    enum class Switch { None, ToSimple, Back } recoverySwitch = Switch::None;
    bool readOnly = false; // the database is read-only (a refused switch to SIMPLE)
    // After a time-out or a lost link: the model was read again over a new connection, and
    // found in SIMPLE and set back from here (modelSetBack), else found as it was.
    bool recoveryChecked = false;
    bool modelSetBack = false;
    QString restoreStatement; // the ALTER DATABASE that sets the model back, to run by hand
};

// A DbError with the operation it came from, thrown by the operations in place of the bare
// error so that the report can explain it.
class OperationError : public DbError
{
public:
    OperationError(const DbError& error, ErrorContext context);
    const ErrorContext& context() const { return m_context; }

private:
    ErrorContext m_context;
};

// The context an error carries: its own when it is an OperationError, else an empty one.
ErrorContext contextOf(const DbError& e);

// True when the link to the server broke or timed out (DbError::linkFault: the driver's
// numbers and SQL states for it, in either ODBC form), as opposed to the server refusing something.
bool isLinkFailure(const DbError& e);

// The hint for e in the context c: what happened and what to do. Empty when nothing better
// can be said than the driver's words. A DriverMissingError names the drivers to install, an
// UnsendableValueError the driver that takes "};".
QString errorHint(const DbError& e, const ErrorContext& c);

// The number that tells what happened: of a refusal that came as two messages (948, 950,
// 3415, 5113 or 5173 with 1813) the telling one, else e.number().
int tellingErrorNumber(const DbError& e);

// The operating system's error number inside a 5120 text ("Operating system error 5: ..."),
// 0 when there is none.
int operatingSystemError(const QString& description);

// The server's service account may not open `file` (5120 with OS error 5): which account
// (`account`, empty when the server did not say) and how to give it full control of the
// file's folder, as an icacls line for a Windows path and as the owner of the files for a
// path of a Linux server.
QString noAccessHint(const QString& file, const QString& account);

// `file` is read-only (or the service account may not write it): an upgrade at the attach
// has to write it (3415), or the database would be attached read-only; what to change.
QString readOnlyHint(const QString& file, const QString& account, bool upgrade);

// After a successful log shrink that took `database` from `model` (FULL or BULK_LOGGED) to
// SIMPLE and back: the log backup chain is broken until the next full backup.
QString logChainBrokenNote(const QString& database, const QString& model);

// The driver's description as one line: informational lines of the server ("DBCC execution
// completed…", "Changed database context…") and the driver's "[vendor][component]" prefixes
// left out, the remaining lines joined by a blank.
QString driverDetail(const QString& description);

// The whole report: the hint (when there is one), then "错误号：<n>" and the detail line, with
// `password` kept out of the driver's words (scrubPassword).
QString errorReportText(const DbError& e, const QString& password = QString());

} // namespace tp
