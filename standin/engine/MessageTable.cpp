#include "MessageTable.h"

#include <QVector>

#include <cerrno>

namespace standin {

namespace {

    struct MessageDef
    {
        qint32 number;
        quint8 severity;
        quint8 state;
        int fromVersion; // the text applies from this major version until the next row of the number
        const char* text;
    };

    // Sorted by number, then by version. [U] marks what no source confirmed: keep such rows
    // easy to find and to change.
    const QVector<MessageDef>& table()
    {
        static const QVector<MessageDef> t {
            { 102, 15, 1, 9, "Incorrect syntax near '%1'." },
            { 103, 15, 4, 8, "The identifier that starts with '%1' is too long. Maximum length is %2." }, // [U] state
            { 105, 15, 1, 8, "Unclosed quotation mark before the character string '%1'." },
            { 105, 15, 1, 9, "Unclosed quotation mark after the character string '%1'." },
            { 108, 15, 1, 8,
                "The ORDER BY position number %1 is out of range of the number of items in the select list." },
            { 113, 15, 1, 8, "Missing end comment mark '*/'." },
            { 119, 15, 1, 8,
                "Must pass parameter number %1 and subsequent parameters as '@name = value'. After the form '@name = "
                "value' has been used, all subsequent parameters must be passed in the form '@name = value'." },
            { 134, 15, 1, 8,
                "The variable name '%1' has already been declared. Variable names must be unique within a query batch "
                "or stored procedure." }, // [U] state
            // 2000: Messages.SQL (FACTS.md S-2000); 2005+: sys.messages. [U] state
            { 137, 15, 2, 8, "Must declare the variable '%1'." },
            { 137, 15, 2, 9, "Must declare the scalar variable \"%1\"." },
            { 139, 15, 1, 8, "Cannot assign a default value to a local variable." }, // [U] state
            { 141, 15, 1, 8,
                "A SELECT statement that assigns a value to a variable must not be combined with data-retrieval "
                "operations." }, // [U] state
            { 155, 15, 1, 8, "'%1' is not a recognized %2 option." },
            { 156, 15, 1, 8, "Incorrect syntax near the keyword '%1'." },
            { 170, 15, 1, 8, "Line %1: Incorrect syntax near '%2'." },
            // 2000: Messages.SQL (FACTS.md S-2000); 2005+: sys.messages. [U] state
            { 174, 15, 1, 8, "The %1 function requires %2 arguments." },
            { 174, 15, 1, 9, "The %1 function requires %2 argument(s)." },
            { 191, 15, 1, 8,
                "Some part of your SQL statement is nested too deeply. Rewrite the query or break it up into smaller "
                "queries." },
            { 195, 15, 10, 8, "'%1' is not a recognized %2." }, // [U] state; %2: "SET option", "built-in function name"
            { 201, 16, 4, 8, "Procedure '%1' expects parameter '%2', which was not supplied." }, // [U] state
            { 201, 16, 4, 9,
                "Procedure or function '%1' expects parameter '%2', which was not supplied." }, // [U] state
            { 207, 16, 1, 8, "Invalid column name '%1'." },
            { 208, 16, 1, 8, "Invalid object name '%1'." },
            // [U] state, 2000/2005 text; the stand-in names the pool 'default'
            { 701, 19, 123, 8, "There is insufficient system memory to run this query." }, // 2000: severity 19
            { 701, 17, 123, 9, "There is insufficient system memory to run this query." },
            { 701, 17, 123, 10, "There is insufficient system memory in resource pool '%1' to run this query." },
            { 823, 24, 2, 8, "I/O error %1 detected during %2 at offset %3 in file '%4'." }, // [U] 2000 text, state
            { 823, 24, 2, 9,
                "The operating system returned error %1 to SQL Server during a %2 at offset %3 in file '%4'. "
                "Additional messages in the SQL Server error log and system event log may provide more detail. This "
                "is a severe system-level error condition that threatens database integrity and must be corrected "
                "immediately. Complete a full database consistency check (DBCC CHECKDB). This error can be caused by "
                "many factors; for more information, see SQL Server Books Online." }, // [U] state
            { 911, 16, 1, 8,
                "Could not locate entry in sysdatabases for database '%1'. No entry found with that name. Make sure "
                "that "
                "the name is entered correctly." },
            { 911, 16, 1, 10, "Database '%1' does not exist. Make sure that the name is entered correctly." },
            { 944, 10, 1, 8, "Converting database '%1' from version %2 to the current version %3." }, // [U] state
            // 2000: severity 14, so the connection stays. %1 database, %2 file version, %3 server version.
            { 948, 14, 1, 8,
                "Database '%1' cannot be upgraded. Database is version %2 and this server supports version %3." },
            { 948, 20, 1, 9,
                "The database '%1' cannot be opened because it is version %2. This server supports version %3 and "
                "earlier. A downgrade path is not supported." },
            // 2000 (never sent: the stand-in has no pre-7.0 files). Two blanks twice, as in Messages.SQL.
            { 950, 14, 1, 8,
                "Database '%1' cannot be upgraded  - database has a version (%2) earlier  than SQL Server 7.0(%3)." },
            { 950, 20, 1, 9,
                "Database '%1' cannot be upgraded because its non-release version (%2) is not supported by this "
                "version "
                "of SQL Server. You cannot open a database that is incompatible with this version of sqlservr.exe. You "
                "must re-create the database." },
            { 220, 16, 1, 8, "Arithmetic overflow error for data type %1, value = %2." }, // [U] state
            { 241, 16, 1, 8, "Conversion failed when converting date and/or time from character string." }, // [U] 2000
            { 243, 16, 2, 8, "Type %1 is not a defined system type." }, // [U] state
            { 245, 16, 1, 8, "Syntax error converting the %1 value '%2' to a column of data type %3." },
            { 245, 16, 1, 9, "Conversion failed when converting the %1 value '%2' to data type %3." },
            { 263, 16, 1, 8, "Must specify table to select from." },
            { 402, 16, 1, 8, "The data types %1 and %2 are incompatible in the %3 operator." }, // [U] state
            { 529, 16, 2, 8, "Explicit conversion from data type %1 to %2 is not allowed." }, // [U] state
            { 1038, 15, 4, 8,
                "Cannot use empty object or column names. Use a single space if necessary." }, // [U] state
            { 1038, 15, 4, 9,
                "An object or column name is missing or empty. For SELECT INTO statements, verify each column has a "
                "name. For other statements, look for empty alias names. Aliases defined as \"\" or [] are not "
                "allowed. "
                "Change the alias to a valid name." }, // [U] state
            // [U] state; and whether a failed write of master's catalogue gives 1105 (full) or 823.
            // 2000: %1 object, %2 database, %3 filegroup. 2005 on the index part follows the object:
            // %1 object, %2 ".'index'" (or empty), %3 database, %4 filegroup.
            { 1105, 17, 2, 8,
                "Could not allocate space for object '%1' in database '%2' because the '%3' filegroup is full." },
            { 1105, 17, 2, 9,
                "Could not allocate space for object '%1'%2 in database '%3' because the '%4' filegroup is full. "
                "Create disk space by deleting unneeded files, dropping objects in the filegroup, adding additional "
                "files to the filegroup, or setting autogrowth on for existing files in the filegroup." },
            { 1416, 16, 31, 9, "Database \"%1\" is not configured for database mirroring." }, // [U] state
            { 1465, 16, 1, 9,
                "Database mirroring cannot be enabled because the \"%1\" database is not in full recovery mode on "
                "both partners." }, // [U] state
            { 1465, 16, 1, 11,
                "Database \"%1\" database is not in full recovery mode on each of the server instances. The full "
                "recovery model is required for a database to participate in database mirroring or in an "
                "availability group." }, // [U] state
            { 1468, 16, 1, 9,
                "The operation cannot be performed on database \"%1\" because it is involved in a database mirroring "
                "session." }, // [U] state
            { 1468, 16, 1, 11,
                "The operation cannot be performed on database \"%1\" because it is involved in a database mirroring "
                "session or an availability group. Some operations are not allowed on a database that is "
                "participating in a database mirroring session or in an availability group." }, // [U] state
            // Auto-close refusal; the stand-in has no auto-close databases, so it is never sent. SQL Server's
            // number for a mirroring refusal of a system database was not found: the stand-in gives none.
            { 1469, 16, 1, 9,
                "Database mirroring cannot be enabled because the \"%1\" database is an auto-close database on one "
                "of the partners." }, // [U] state
            { 1469, 16, 1, 11,
                "Database \"%1\" is an auto-close database on one of the partners which is incompatible with "
                "participating in database mirroring or in an availability group." }, // [U] state
            { 1801, 16, 1, 8, "Database '%1' already exists." }, // [U] state on 2000
            { 1801, 16, 3, 9, "Database '%1' already exists. Choose a different database name." },
            // 1802's state says what preceded it (1 after 5133, 4 after 5120 or 5173, 7 after 5172): the
            // engine sets it (failedCreate); 4 is the default. 2000: severity 11, "Check previous errors."
            { 1802, 11, 4, 8,
                "CREATE DATABASE failed. Some file names listed could not be created. Check previous errors." },
            { 1802, 16, 4, 9,
                "CREATE DATABASE failed. Some file names listed could not be created. Check related errors." },
            { 1803, 17, 1, 8,
                "CREATE DATABASE failed. Could not allocate enough disk space for a new database on the named disks. "
                "Total space allocated must be at least %1 MB to accommodate a copy of the model database." }, // [U]
                                                                                                               // state
            { 1803, 17, 1, 9,
                "The CREATE DATABASE statement failed. The primary file must be at least %1 MB to accommodate a copy "
                "of "
                "the model database." }, // [U] state
            { 1829, 16, 1, 8, "The FOR ATTACH option requires that at least the primary file be specified." }, // [U]
            { 1813, 16, 2, 8, "Could not open new database '%1'. CREATE DATABASE is aborted." },
            { 1818, 16, 1, 8,
                "Primary log file '%1' is missing and the database was not cleanly shut down so it cannot be "
                "rebuilt." }, // [U] state; sent on 2000 only (2005 on: 5113)
            { 1828, 16, 3, 8, "The file named '%1' is already in use. Choose another name." }, // [U] state
            { 1828, 16, 3, 9, "The logical file name \"%1\" is already in use. Choose a different name." }, // [U] state
            { 2526, 16, 3, 8,
                "Incorrect DBCC statement. Check the documentation for the correct DBCC syntax and options." },
            { 2528, 10, 1, 8,
                "DBCC execution completed. If DBCC printed error messages, contact your system administrator." },
            // 2000: Messages.SQL (FACTS.md S-2000); 2005+: sys.messages. [U] states
            { 2715, 16, 3, 8, "Column or parameter #%1: Cannot find data type %2." },
            { 2715, 16, 3, 9, "Column, parameter, or variable #%1: Cannot find data type %2." },
            { 2732, 16, 1, 8, "Error number %1 is invalid. The number must be from %2 through %3" },
            { 2732, 16, 1, 9,
                "Error number %1 is invalid. The number must be from %2 through %3 and it cannot be 50000." },
            // [U] state
            { 2747, 16, 1, 8,
                "Too many substitution parameters for RAISERROR. Cannot exceed %1 substitution parameters." },
            // %2: RAISERROR's parameter (the first substitution argument is the 4th), as 2000 words it
            { 2748, 16, 1, 8,
                "Cannot specify %1 data type (RAISERROR parameter %2) as a substitution parameter for RAISERRROR." },
            { 2748, 16, 1, 9, "Cannot specify %1 data type (parameter %2) as a substitution parameter." },
            { 2754, 16, 1, 8,
                "Error severity levels greater than %1 can only be specified by members of the sysadmin role, using "
                "the WITH LOG option." }, // [U] state
            { 2756, 16, 1, 8, "Invalid value %1 for state. Valid range is from %2 to %3." }, // [U] state, range
            // 2000's answer where 2005 has 2786 and 2787 (neither is in 2000's table)
            { 2757, 16, 1, 8,
                "RAISERROR failed due to invalid parameter substitution(s) for error %1, severity %2, state %3." },
            { 2786, 16, 1, 8,
                "The data type of substitution parameter %1 does not match the expected type of the format "
                "specification." }, // [U] state
            { 2787, 16, 1, 8, "Invalid format specification: '%1'." }, // [U] state
            { 2812, 16, 62, 8, "Could not find stored procedure '%1'." },
            { 3013, 16, 1, 8, "%1 is terminating abnormally." }, // [U] state
            { 3035, 16, 1, 8,
                "Cannot perform a differential backup for database '%1', because a current database backup does not "
                "exist. Perform a full database backup by reissuing BACKUP DATABASE, omitting the WITH DIFFERENTIAL "
                "option." }, // [U] state
            { 3035, 16, 1, 9,
                "Cannot perform a differential backup for database \"%1\", because a current database backup does not "
                "exist. Perform a full database backup by reissuing BACKUP DATABASE, omitting the WITH DIFFERENTIAL "
                "option." }, // [U] state
            { 3014, 10, 1, 8, "%1 successfully processed %2 pages in %3 seconds (%4 MB/sec)." }, // [U] whole message
            { 3147, 16, 3, 8, "Backup and restore operations are not allowed on database tempdb." }, // [U] state
            // 2000: %2 of 3201 is not used; %2 of 3202 is the bare number ("status = 112").
            { 3201, 16, 1, 8,
                "Cannot open backup device '%1'. Device error or device off-line. See the SQL Server error log for "
                "more details." }, // [U] state
            { 3201, 16, 1, 9, "Cannot open backup device '%1'. Operating system error %2." }, // [U] state
            { 3202, 16, 1, 8, "Write on '%1' failed, status = %2. See the SQL Server error log for more details." },
            { 3202, 16, 1, 9, "Write on \"%1\" failed: %2" }, // [U] state
            { 3241, 16, 0, 8,
                "The media family on device '%1' is incorrectly formed. SQL Server cannot process this media "
                "family." }, // [U] state
            { 3415, 16, 2, 8,
                "Database '%1' is read-only or has read-only files and must be made writable before it can be "
                "upgraded." },
            { 3415, 16, 2, 9,
                "Database '%1' cannot be upgraded because it is read-only or has read-only files. Make the database or "
                "files writeable, and rerun recovery." }, // [U] which version changed the wording
            { 3415, 16, 2, 11,
                "Database '%1' cannot be upgraded because it is read-only, has read-only files or the user does not "
                "have permissions to modify some of the files. Make the database or files writeable, and rerun "
                "recovery." },
            { 3510, 16, 1, 8,
                "Database '%1' cannot be changed from read-only because the primary and/or log file(s) are not "
                "writable." }, // [U] state; 2000 only
            { 3703, 16, 2, 8, "Cannot detach the database '%1' because it is currently in use." }, // [U] state
            { 3906, 16, 1, 8,
                "Could not run BEGIN TRANSACTION in database '%1' because the database is read-only." }, // [U] state
            { 3906, 16, 1, 9, "Failed to update database \"%1\" because the database is read-only." }, // [U] state
            { 4035, 10, 1, 8, "Processed %1 pages for database '%2', file '%3' on file %4." }, // [U] whole message
            { 4060, 11, 1, 8, "Cannot open database requested in login '%1'. Login fails." }, // [U] state
            { 4060, 11, 1, 9, "Cannot open database \"%1\" requested by the login. The login failed." }, // [U] state
            { 4208, 16, 1, 8,
                "The statement BACKUP LOG is not allowed while the recovery model is SIMPLE. Use BACKUP DATABASE or "
                "change the recovery model using ALTER DATABASE." }, // [U] number, state, text
            // 2000: a warning, and the log backup goes on.
            { 4214, 10, 1, 8,
                "There is no current database backup. This log backup cannot be used to roll forward a preceding "
                "database backup." },
            { 4214, 16, 1, 9,
                "BACKUP LOG cannot be performed because there is no current database backup." }, // [U] state
            { 5004, 16, 1, 8,
                "To use ALTER DATABASE, the database must be in a writable state in which a checkpoint can be "
                "executed." }, // [U] state
            { 5011, 14, 5, 9,
                "User does not have permission to alter database '%1', the database does not exist, or the database is "
                "not in a state that allows access checks." }, // [U]
            { 5058, 16, 1, 8, "Option '%1' cannot be set in database '%2'." }, // [U] state
            { 5069, 16, 1, 9, "ALTER DATABASE statement failed." },
            { 5105, 16, 2, 8, "Device activation error. The physical file name '%1' may be incorrect." }, // [U] state
            { 5105, 16, 2, 9,
                "A file activation error occurred. The physical file name '%1' may be incorrect. Diagnose and correct "
                "additional errors, and retry the operation." }, // [U] state
            { 5111, 10, 1, 9, "File activation failure. The physical file name \"%1\" may be incorrect." }, // [U] state
            { 5113, 10, 1, 9,
                "The log cannot be rebuilt because there were open transactions/users when the database was shutdown, "
                "no checkpoint occurred to the database, or the database was read-only. This error could occur if the "
                "transaction log file was manually deleted or lost due to a hardware or environment failure." }, // [U]
                                                                                                                 // state
            { 5120, 16, 101, 9, "Unable to open the physical file \"%1\". Operating system error %2: \"%3\"." },
            // %1: the Windows error as "5(Access is denied.)" (osErrorText), never a C library string.
            { 5123, 16, 1, 8,
                "CREATE FILE encountered operating system error %1 while attempting to open or create the physical "
                "file "
                "'%2'." }, // [U] state
            { 5129, 10, 1, 9, "The log cannot be rebuilt when the primary file is read-only." }, // [U] state
            { 5133, 16, 1, 9,
                "Directory lookup for the file \"%1\" failed with the operating system error %2." }, // [U] state
            { 5170, 16, 1, 8, "Cannot create file '%1' because it already exists." }, // [U] state
            { 5170, 16, 1, 9,
                "Cannot create file '%1' because it already exists. Change the file path or the file name, and retry "
                "the operation." }, // [U] state
            { 5171, 16, 1, 8, "%1 is not a primary database file." }, // [U] state
            { 5172, 16, 15, 8,
                "The header for file '%1' is not a valid database file header. The %2 property is incorrect." }, // [U]
                                                                                                                 // state
            { 5173, 16, 1, 8, "Cannot associate files with different databases." }, // [U] state
            { 5173, 16, 1, 9,
                "One or more files do not match the primary file of the database. If you are attempting to attach a "
                "database, retry the operation with the correct files. If this is an existing database, the file may "
                "be corrupted and should be restored from a backup." }, // [U] state
            { 5182, 10, 1, 8, "New log file '%1' was created." }, // [U] state
            { 5701, 10, 1, 8, "Changed database context to '%1'." },
            { 5703, 10, 1, 8, "Changed language setting to %1." },
            { 7940, 16, 1, 8,
                "System databases master, model, msdb, and tempdb cannot be detached." }, // [U] state, 2000
            { 8115, 16, 2, 8, "Arithmetic overflow error converting %1 to data type %2." }, // [U] state
            { 8117, 16, 1, 8, "Operand data type %1 is invalid for %2 operator." }, // [U] state
            { 8134, 16, 1, 8, "Divide by zero error encountered." },
            { 8144, 16, 2, 8, "Procedure or function %1 has too many arguments specified." }, // [U] state
            { 8145, 16, 2, 8, "%1 is not a parameter for procedure %2." }, // [U] state
            { 8179, 16, 4, 8, "Could not find prepared statement with handle %1." }, // [U] state
            { 8985, 16, 1, 8, "Could not locate file '%1' in sysfiles." }, // [U] 2000 text
            { 8985, 16, 1, 9,
                "Could not locate file '%1' for database '%2' in sys.database_files. The file either does not exist, "
                "or "
                "was dropped." }, // [U] state
            { 10704, 15, 1, 11,
                "To rethrow an error, a THROW statement must be used inside a CATCH block. Insert the THROW statement "
                "inside a CATCH block, or add error parameters to the THROW statement." },
            { 15004, 16, 1, 8, "Name cannot be NULL." },
            { 15010, 16, 1, 8,
                "The database '%1' does not exist. Use sp_helpdb to show available databases." }, // [U] 2000
            { 15010, 16, 1, 9,
                "The database '%1' does not exist. Supply a valid database name. To see available databases, use "
                "sys.databases." },
            { 15354, 0, 1, 8, "Usage: sp_detach_db <dbname>, [TRUE|FALSE]" }, // [U] state
            { 15354, 10, 1, 9, "Usage: sp_detach_db <dbname>, [TRUE|FALSE], [TRUE|FALSE]" }, // [U] wording
            { 18054, 16, 1, 8,
                "Error %1, severity %2, state %3 was raised, but no message with that error number was found in "
                "sysmessages. If error is larger than 50000, make sure the user-defined message is added using "
                "sp_addmessage." }, // [U] 2000 text
            { 18054, 16, 1, 9,
                "Error %1, severity %2, state %3 was raised, but no message with that error number was found in "
                "sys.messages. If error is larger than 50000, make sure the user-defined message is added using "
                "sp_addmessage." },
            { 18456, 14, 1, 8, "Login failed for user '%1'." },
            { 35100, 16, 10, 11,
                "Error number %1 in the THROW statement is outside the valid range. Specify an error number in the "
                "valid range of 50000 to 2147483647." }, // [U] state
        };
        return t;
    }

    QString expand(const QString& text, const QStringList& args)
    {
        QString out;
        out.reserve(text.size() + 64);
        for (qsizetype i = 0; i < text.size(); ++i) {
            const QChar c = text.at(i);
            if (c == QLatin1Char('%') && i + 1 < text.size() && text.at(i + 1).isDigit()
                && text.at(i + 1) != QLatin1Char('0')) {
                const int n = text.at(i + 1).digitValue();
                if (n <= args.size())
                    out += args.at(n - 1);
                ++i;
                continue;
            }
            out += c;
        }
        return out;
    }

} // namespace

Message serverMessage(int number, int version, const QStringList& args)
{
    const MessageDef* chosen = nullptr;
    for (const MessageDef& d : table()) {
        if (d.number != number)
            continue;
        // The latest row at or below the version; failing that, the earliest row.
        const bool fits = d.fromVersion <= version;
        const bool chosenFits = chosen && chosen->fromVersion <= version;
        if (!chosen || (fits && (!chosenFits || d.fromVersion > chosen->fromVersion))
            || (!fits && !chosenFits && d.fromVersion < chosen->fromVersion))
            chosen = &d;
    }
    Message m;
    m.number = number;
    if (!chosen) {
        m.severity = 16;
        m.state = 1;
        m.text = QStringLiteral("Message %1 is not in the stand-in's message table.").arg(number);
        return m;
    }
    m.severity = chosen->severity;
    m.state = chosen->state;
    m.text = expand(QString::fromUtf8(chosen->text), args);
    return m;
}

bool hasServerMessage(int number)
{
    for (const MessageDef& d : table()) {
        if (d.number == number)
            return true;
    }
    return false;
}

QString osErrorText(int osError)
{
    QString text;
    switch (osError) {
    case 2:
        text = QStringLiteral("The system cannot find the file specified.");
        break;
    case 3:
        text = QStringLiteral("The system cannot find the path specified.");
        break;
    case 5:
        text = QStringLiteral("Access is denied.");
        break;
    case 32:
        text = QStringLiteral("The process cannot access the file because it is being used by another process.");
        break;
    case 4:
        text = QStringLiteral("The system cannot open the file.");
        break;
    case 19:
        text = QStringLiteral("The media is write protected.");
        break;
    case 80:
        text = QStringLiteral("The file exists.");
        break;
    case 112:
        text = QStringLiteral("There is not enough space on the disk.");
        break;
    case 206:
        text = QStringLiteral("The filename or extension is too long.");
        break;
    case 1117:
        text = QStringLiteral("The request could not be performed because of an I/O device error.");
        break;
    default:
        text = QStringLiteral("Access is denied.");
        osError = 5;
        break;
    }
    return QStringLiteral("%1(%2)").arg(osError).arg(text);
}

int windowsError(int posixErrno)
{
    switch (posixErrno) {
    case 0:
        return 0;
    case ENOENT:
        return 2;
    case ENOTDIR:
    case ELOOP:
        return 3;
    case EMFILE:
    case ENFILE:
        return 4;
    case EROFS:
        return 19;
    case EBUSY:
    case ETXTBSY:
        return 32;
    case EEXIST:
        return 80;
    case ENOSPC:
#ifdef EDQUOT
    case EDQUOT:
#endif
    case EFBIG:
        return 112;
    case ENAMETOOLONG:
        return 206;
    case EIO:
        return 1117;
    default: // EACCES, EPERM, EISDIR and anything else: the file may not be used
        return 5;
    }
}

Message syntaxErrorNear(int version, const QString& token, int line)
{
    Message m = version <= 8 ? serverMessage(170, version, { QString::number(line), token })
                             : serverMessage(102, version, { token });
    m.line = line;
    return m;
}

} // namespace standin
