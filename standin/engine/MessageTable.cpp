#include "MessageTable.h"

#include <QVector>

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
            { 137, 15, 2, 8, "Must declare the scalar variable \"%1\"." }, // [U] state
            { 139, 15, 1, 8, "Cannot assign a default value to a local variable." }, // [U] state
            { 141, 15, 1, 8,
                "A SELECT statement that assigns a value to a variable must not be combined with data-retrieval "
                "operations." }, // [U] state
            { 155, 15, 1, 8, "'%1' is not a recognized %2 option." },
            { 156, 15, 1, 8, "Incorrect syntax near the keyword '%1'." },
            { 170, 15, 1, 8, "Line %1: Incorrect syntax near '%2'." },
            { 174, 15, 1, 8, "The %1 function requires %2 argument(s)." }, // [U] state
            { 191, 15, 1, 8,
                "Some part of your SQL statement is nested too deeply. Rewrite the query or break it up into smaller "
                "queries." },
            { 195, 15, 10, 8, "'%1' is not a recognized %2." }, // [U] state; %2: "SET option", "built-in function name"
            { 201, 16, 4, 8,
                "Procedure or function '%1' expects parameter '%2', which was not supplied." }, // [U] state
            { 207, 16, 1, 8, "Invalid column name '%1'." },
            { 208, 16, 1, 8, "Invalid object name '%1'." },
            // [U] state, 2000/2005 text; the stand-in names the pool 'default'
            { 701, 17, 123, 8, "There is insufficient system memory to run this query." },
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
            { 948, 20, 1, 8,
                "The database '%1' cannot be opened because it is version %2. This server supports version %3 and "
                "earlier. A downgrade path is not supported." },
            { 950, 20, 1, 8,
                "Database '%1' cannot be upgraded because its non-release version (%2) is not supported by this "
                "version "
                "of SQL Server. You cannot open a database that is incompatible with this version of sqlservr.exe. You "
                "must re-create the database." },
            { 220, 16, 1, 8, "Arithmetic overflow error for data type %1, value = %2." }, // [U] state
            { 241, 16, 1, 8, "Conversion failed when converting date and/or time from character string." }, // [U] 2000
            { 243, 16, 2, 8, "Type %1 is not a defined system type." }, // [U] state
            { 245, 16, 1, 8, "Conversion failed when converting the %1 value '%2' to data type %3." },
            { 263, 16, 1, 8, "Must specify table to select from." },
            { 402, 16, 1, 8, "The data types %1 and %2 are incompatible in the %3 operator." }, // [U] state
            { 529, 16, 2, 8, "Explicit conversion from data type %1 to %2 is not allowed." }, // [U] state
            { 1038, 15, 4, 8,
                "An object or column name is missing or empty. For SELECT INTO statements, verify each column has a "
                "name. For other statements, look for empty alias names. Aliases defined as \"\" or [] are not "
                "allowed. "
                "Change the alias to a valid name." }, // [U] state, 2000 text
            // [U] state, 2000 text; and whether a failed write of master's catalogue gives 1105 (full) or 823
            { 1105, 17, 2, 8,
                "Could not allocate space for object '%1' in database '%2' because the '%3' filegroup is full." },
            { 1105, 17, 2, 9,
                "Could not allocate space for object '%1' in database '%2' because the '%3' filegroup is full. "
                "Create disk space by deleting unneeded files, dropping objects in the filegroup, adding additional "
                "files to the filegroup, or setting autogrowth on for existing files in the filegroup." }, // [U] state
            { 1416, 16, 31, 9, "Database \"%1\" is not configured for database mirroring." }, // [U] state
            { 1465, 16, 1, 9,
                "Database \"%1\" database is not in full recovery mode on each of the server instances. The full "
                "recovery model is required for a database to participate in database mirroring or in an "
                "availability group." }, // [U] wording, state
            { 1468, 16, 1, 9,
                "The operation cannot be performed on database \"%1\" because it is involved in a database mirroring "
                "session." }, // [U] wording, state
            { 1468, 16, 1, 11,
                "The operation cannot be performed on database \"%1\" because it is involved in a database mirroring "
                "session or an availability group. Some operations are not allowed on a database that is "
                "participating in a database mirroring session or in an availability group." }, // [U] state
            { 1469, 16, 3, 9,
                "Database mirroring cannot be enabled for the %1 database because it is a system database." },
            // [U] number, wording, state
            { 1801, 16, 1, 8, "Database '%1' already exists." }, // [U] state on 2000
            { 1801, 16, 3, 9, "Database '%1' already exists. Choose a different database name." },
            { 1802, 16, 4, 8,
                "CREATE DATABASE failed. Some file names listed could not be created. Check related errors." }, // [U]
                                                                                                                // state
            { 1803, 16, 1, 8,
                "The CREATE DATABASE statement failed. The primary file must be at least %1 MB to accommodate a copy "
                "of "
                "the model database." }, // [U] state
            { 1829, 16, 1, 8, "The FOR ATTACH option requires that at least the primary file be specified." }, // [U]
            { 1813, 16, 2, 8, "Could not open new database '%1'. CREATE DATABASE is aborted." },
            { 1828, 16, 3, 8, "The logical file name \"%1\" is already in use. Choose a different name." }, // [U] state
            { 2526, 16, 3, 8,
                "Incorrect DBCC statement. Check the documentation for the correct DBCC syntax and options." },
            { 2528, 10, 1, 8,
                "DBCC execution completed. If DBCC printed error messages, contact your system administrator." },
            { 2715, 16, 3, 8, "Column, parameter, or variable #%1: Cannot find data type %2." }, // [U] state
            // [U] state
            { 2732, 16, 1, 8,
                "Error number %1 is invalid. The number must be from %2 through %3 and it cannot be 50000." },
            // [U] state
            { 2747, 16, 1, 8,
                "Too many substitution parameters for RAISERROR. Cannot exceed %1 substitution parameters." },
            { 2748, 16, 1, 8, "Cannot specify %1 data type (parameter %2) as a substitution parameter." }, // [U] state
            { 2754, 16, 1, 8,
                "Error severity levels greater than %1 can only be specified by members of the sysadmin role, using "
                "the WITH LOG option." }, // [U] state
            { 2756, 16, 1, 8, "Invalid value %1 for state. Valid range is from %2 to %3." }, // [U] state, range
            { 2786, 16, 1, 8,
                "The data type of substitution parameter %1 does not match the expected type of the format "
                "specification." }, // [U] state
            { 2787, 16, 1, 8, "Invalid format specification: '%1'." }, // [U] state
            { 2812, 16, 62, 8, "Could not find stored procedure '%1'." },
            { 3013, 16, 1, 8, "%1 is terminating abnormally." }, // [U] state
            { 3014, 10, 1, 8, "%1 successfully processed %2 pages in %3 seconds (%4 MB/sec)." }, // [U] whole message
            { 3147, 16, 3, 8, "Backup and restore operations are not allowed on database tempdb." }, // [U] state
            { 3201, 16, 1, 8, "Cannot open backup device '%1'. Operating system error %2." }, // [U] state
            { 3202, 16, 1, 8, "Write on \"%1\" failed: %2" }, // [U] state
            { 3241, 16, 0, 8,
                "The media family on device '%1' is incorrectly formed. SQL Server cannot process this media "
                "family." }, // [U] state
            { 3703, 16, 2, 8,
                "Cannot detach the database '%1' because it is currently in use." }, // [U] state, 2000 text
            { 4035, 10, 1, 8, "Processed %1 pages for database '%2', file '%3' on file %4." }, // [U] whole message
            { 4060, 11, 1, 8, "Cannot open database requested in login '%1'. Login fails." }, // [U] state
            { 4060, 11, 1, 9, "Cannot open database \"%1\" requested by the login. The login failed." }, // [U] state
            { 4208, 16, 1, 8,
                "The statement BACKUP LOG is not allowed while the recovery model is SIMPLE. Use BACKUP DATABASE or "
                "change the recovery model using ALTER DATABASE." }, // [U] number, state, text
            { 4214, 16, 1, 8,
                "BACKUP LOG cannot be performed because there is no current database backup." }, // [U] state, text
            { 5011, 14, 5, 9,
                "User does not have permission to alter database '%1', the database does not exist, or the database is "
                "not in a state that allows access checks." }, // [U]
            { 5058, 16, 1, 8, "Option '%1' cannot be set in database '%2'." }, // [U] state
            { 5069, 16, 1, 9, "ALTER DATABASE statement failed." },
            { 5105, 16, 2, 8, "Device activation error. The physical file name '%1' may be incorrect." }, // [U] state
            { 5105, 16, 2, 9,
                "A file activation error occurred. The physical file name '%1' may be incorrect. Diagnose and correct "
                "additional errors, and retry the operation." }, // [U] state
            { 5111, 10, 1, 8, "File activation failure. The physical file name \"%1\" may be incorrect." }, // [U] state
            { 5120, 16, 101, 9, "Unable to open the physical file \"%1\". Operating system error %2: \"%3\"." },
            { 5123, 16, 1, 8,
                "CREATE FILE encountered operating system error %1 while attempting to open or create the physical "
                "file "
                "'%2'." }, // [U] state
            { 5133, 16, 1, 8,
                "Directory lookup for the file \"%1\" failed with the operating system error %2." }, // [U] state
            { 5170, 16, 1, 8,
                "Cannot create file '%1' because it already exists. Change the file path or the file name, and retry "
                "the operation." }, // [U] wording, state
            { 5171, 16, 1, 8, "%1 is not a primary database file." }, // [U] state
            { 5172, 16, 15, 8,
                "The header for file '%1' is not a valid database file header. The %2 property is incorrect." }, // [U]
                                                                                                                 // state
            { 5173, 16, 1, 8,
                "One or more files do not match the primary file of the database. If you are attempting to attach a "
                "database, retry the operation with the correct files.  If this is an existing database, the file may "
                "be "
                "corrupted and should be restored from a backup." }, // [U] wording, state
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
            { 15354, 10, 1, 8, "Usage: sp_detach_db <dbname>, [TRUE|FALSE], [TRUE|FALSE]" }, // [U] wording
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
    case 112:
        text = QStringLiteral("There is not enough space on the disk.");
        break;
    default:
        text = QStringLiteral("Unknown error.");
        break;
    }
    return QStringLiteral("%1(%2)").arg(osError).arg(text);
}

Message syntaxErrorNear(int version, const QString& token, int line)
{
    Message m = version <= 8 ? serverMessage(170, version, { QString::number(line), token })
                             : serverMessage(102, version, { token });
    m.line = line;
    return m;
}

} // namespace standin
