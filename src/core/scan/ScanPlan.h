#pragma once
// The scan of a data root: every account-year found on disk held against the server's
// databases, one state per account-year, plus the account-year databases whose files were
// under the root and are gone.
//
// Layout on disk: <root>\ZT<account set>\<year>\ufdata.MDF [+ ufdata.LDF]. "ZT" and the file
// names are matched in any case; the account set is one or more digits, the year exactly four.
// Paths are joined with "\" as the account-year scheme does (the server's paths), without
// doubling a separator that ends the root; the folder and file names are used as found on disk.
//
// Files are one file however their paths are written (PathIdentity): the server's paths and
// the paths on disk are compared in normal form and, where the files are on this machine, by
// the file they reach.

#include <QList>
#include <QString>
#include <QStringList>
#include <QtGlobal>

namespace tp {

enum class YearState {
    Attached, // the server has the account-year name attached from these files
    NameTaken, // the name is attached from other files (otherFile says which); also when those are gone
    Ready, // both files present, the name free
    LogMissing, // data file present, no ufdata.LDF beside it
    Unreadable, // ufdata.MDF cannot be opened for reading (or is not a file)
    Gone, // an account-year database whose primary file lay under the root and no longer exists
    FilesInUse, // the name is free, but another database uses this data file or this log file,
                // as any of its files, or an account-year before it in the plan reaches the same
                // files (otherDatabase says which): an attach would be refused
    // The server's verdict before an attach (ServerVerdict.h): refusals, each with the
    // server's number (verdictError), its words and what to do (verdictHint). Nothing is
    // sent for them.
    NoAccess, // the service account may not open the file (5120, operating system error 5)
    TooOld, // written by a version this server cannot upgrade from (950)
    TooNew, // written by a newer version (948)
    ReadOnly, // read-only: an upgrade would have to write it (3415), or it would attach read-only
    NotDatabase, // not a (primary) database file (5171, 5172)
    CannotOpen, // any other refusal of the server to read the file (5120 with another reason)
    // Found before anything is sent:
    FolderUnreadable, // an account set's or year's folder (dataFile) that this program cannot list
    PathTooLong, // the data or log file's path is longer than the server's file names hold (260),
                 // a refusal with its hint (verdictHint)
};
constexpr int yearStateCount = 15;

// True for the states that refuse an attach with a sentence (verdictHint): the server's
// refusals (NoAccess .. CannotOpen, NotDatabase also for a file too short to be one) and
// PathTooLong.
bool isRefusal(YearState state);

struct DiskYear
{
    QString accountSet; // as found after "ZT": "001"
    QString year; // four digits
    QString dataFile; // root\ZT001\2007\ufdata.MDF, names as found on disk
    QString logFile; // the log file beside it; the scheme's name when there is none
    bool hasLog = false;
    // The set's or year's folder could not be listed: dataFile is that folder (root\ZT001 or
    // root\ZT001\2007), year empty for a set's folder, nothing else is known.
    bool folderUnreadable = false;
    bool dataReadable = false;
    qint64 dataSize = -1; // bytes; -1 when unknown
    qint64 logSize = -1;
};

struct ServerDatabase
{
    QString name; // trailing blanks removed
    QString primaryFile; // as the server reports it, trailing blanks removed
    QStringList files; // every file of the database (data and log), trailing blanks removed;
                       // empty when the server's per-file catalogue was not read
    QString logFile; // its first log file in that catalogue; empty when not read
};

// The longest file name the server takes: sp_attach_db's parameters and the catalogue's file
// names are nvarchar(260), and a longer name is cut.
constexpr int serverPathLimit = 260;

// The smallest part of a database file: every data file is a whole number of 8-KB pages.
constexpr qint64 databasePageSize = 8192;

struct PlanRow
{
    QString accountSet;
    QString year;
    QString databaseName; // UFDATA_<set>_<year>
    YearState state = YearState::Ready;
    QString dataFile; // FolderUnreadable: the folder that could not be listed
    QString logFile; // Attached: the log file the server has (its catalogue); LogMissing
                     // turned Ready: the log the data file records (ServerVerdict.h)
    qint64 dataSize = -1;
    qint64 logSize = -1;
    QString otherFile; // NameTaken: the file the name is attached from
    QString otherDatabase; // FilesInUse: the database attached from this data file
    // An .MDF under the root outside the account-year layout (accountSet and year empty):
    // databaseName is the name recorded in the file (empty when the server did not read it),
    // logFile the log found for it.
    bool otherDataFile = false;
    // The server's verdict: the internal version that wrote the data file (0 when not read),
    // the server's own (0 when not known), and for a refusal its number, words and hint.
    int fileVersion = 0;
    int serverFileVersion = 0;
    int verdictError = 0;
    QString verdictMessage;
    QString verdictHint;
};

// The folder and file names joined with "\" onto the root (no separator doubled at the root).
QString joinServerPath(const QString& root, const QString& relative);

// The account-years on disk under `root`, in account set and year order (sets by number, then
// by text). Reads folders and opens each data file once; never throws. A root, set or year
// folder that cannot be listed gives one row for itself (folderUnreadable). A relative root is
// taken against the current folder (absoluteLocalPath), so the paths are absolute. A root that
// holds no account set but is itself a ZT<digits> folder is walked as that account set:
// "D:\Data\ZT001" gives the years of 001 under "D:\Data\ZT001\<year>\".
QList<DiskYear> walkDataRoot(const QString& root);

// "UFDATA_<digits>_<4 digits>" in any case: true with the set and year, else false.
bool parseAccountYearName(const QString& name, QString* accountSet, QString* year);

// The disk years (in their order) with their states, then the gone databases, all in account
// set and year order; a name found on disk is listed once, as the disk year. `fileExists` says
// whether a server-reported path names an existing file; only databases whose primary file
// lies under the root (as text, or under the folder the root's links lead to) are asked about.
// Reads the identities of the files on disk and of the server's local files that bear their
// names; nothing else.
QList<PlanRow> buildPlan(const QString& root, const QList<DiskYear>& disk, const QList<ServerDatabase>& server,
    bool (*fileExists)(const QString& path));

// A server path checked on this machine ("\" read as a separator as well).
bool serverFileExists(const QString& path);

// "已附加", "名称已被占用", "可附加", "缺少日志文件", "文件无法读取", "文件已不存在",
// "文件已被其他数据库使用", "服务器无权读取", "版本过旧", "版本过新", "文件只读", "不是数据库文件",
// "服务器无法打开", "文件夹无法读取", "路径过长"
QString stateText(YearState state);
// What PathTooLong says of `file`: its length, the server's limit, what to do.
QString pathTooLongHint(const QString& file);

// The state text with what it refers to: "名称已被占用（D:\Old\ufdata.MDF）",
// "文件已被其他数据库使用（Books2007）"; the plain state text otherwise.
QString stateDetailText(const PlanRow& row);

// "12.5 MB" style sizes for people: B, KB, MB, GB with one decimal from KB on; "" for -1.
QString sizeText(qint64 bytes);

} // namespace tp
