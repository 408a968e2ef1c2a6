#pragma once
// The .MDF files under a data root beside the account-year layout: the package's own system
// database, a database someone parked there. Each becomes a plan row (otherDataFile) named
// by the database name recorded in the file as the server reads it, with the log file that
// the file's list names, found beside it or where the list says.

#include "ScanPlan.h"
#include "ServerVerdict.h"

#include <QList>
#include <QString>

namespace tp {

struct OtherDataFile
{
    QString dataFile; // as the server sees it: the root joined with "\" (joinServerPath)
    qint64 size = -1;
    bool readable = false;
};

// Every file whose name ends in ".mdf" (any case) under `root`, at any depth, links to
// folders not followed, except the account-year data files `years` holds; in path order.
// Never throws; a root that cannot be read gives an empty list.
QList<OtherDataFile> walkOtherDataFiles(const QString& root, const QList<DiskYear>& years);

// The rows for them before the verdict: a file the server has attached (as its primary file)
// is Attached under that database's name; a file that cannot be read here is Unreadable; every
// other one is Ready with no name yet (its verdict names it).
QList<PlanRow> otherFileRows(const QList<OtherDataFile>& files, const QList<ServerDatabase>& server);

// Names a Ready row from its verdict: the recorded name and its log file (the list's log
// file beside the data file, else at its recorded path; LogMissing when neither exists). The
// name is NameTaken when the server has it from other files, or when a row in `earlier` (the
// account-year rows and the other rows before this one) has it. A verdict without a name
// leaves a refusal, or CannotOpen when no answer came. `fileExists` says whether a server path
// names an existing file.
void nameOtherFileRow(PlanRow& row, const FileVerdict& verdict, const QList<ServerDatabase>& server,
    const QList<PlanRow>& earlier, bool (*fileExists)(const QString& path));

} // namespace tp
