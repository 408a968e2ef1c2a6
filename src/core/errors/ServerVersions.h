#pragma once
// SQL Server's versions from 2000 on in one table: the product's name, the internal version
// it writes into database files, the oldest file version it can attach (upgrading the file
// on the way), and the sentences that say what an old or new file needs. A file attached to
// a newer server is upgraded for good: it can no longer be attached to the server it came
// from.

#include <QList>
#include <QString>

namespace tp {

struct ServerVersion
{
    int major = 0;
    int minor = 0; // 50 for 2008 R2
    QString name; // "2008 R2"
    int fileVersion = 0; // the internal version it writes: 661
    int oldestAttachable = 0; // the oldest file version it attaches (upgrading it); 0: none older
    QList<int> otherFileVersions; // versions its releases also wrote (611 beside 612, 660 beside 661)
};

// Every version, oldest first.
const QList<ServerVersion>& serverVersions();

// The version a ProductVersion text names ("10.50.6000.34" -> 2008 R2); nullptr when the text
// names none of the table (a version newer than the table, or no number).
const ServerVersion* serverVersionOf(const QString& productVersion);

// The version that wrote a file of internal version `fileVersion`: the one that writes it,
// else the oldest one writing a newer version (a pre-release); nullptr when it is newer than
// the newest.
const ServerVersion* writerOf(int fileVersion);

// "2005（611）"; "2000 以前（515）" for files older than the table; "未知（1200）" beyond it.
QString fileVersionName(int fileVersion);

enum class FileFit {
    Same, // written by this version (or an equal internal version)
    Upgrades, // older, attached and upgraded for good
    TooOld, // older than the server can upgrade from (950)
    TooNew, // newer than the server (948)
};
FileFit fileFit(int fileVersion, const ServerVersion& server);

// What bridges a file too old for `server` (the newest version in the table when nullptr):
// the versions that attach the file and write files the server attaches, oldest first; when
// no single one does, one version per step of a chain (and `stepByStep` is set). Empty when
// nothing in the table bridges it.
QList<const ServerVersion*> bridgeVersions(int fileVersion, const ServerVersion* server, bool* stepByStep = nullptr);

// 950: which versions bridge the file, and that nothing is lost.
QString tooOldSentence(int fileVersion, const ServerVersion* server);
// 948: the version the file needs. `serverFileVersion` (what the server supports, from its
// message) is used when `server` is nullptr.
QString tooNewSentence(int fileVersion, const ServerVersion* server, int serverFileVersion = 0);
// An older file that the attach upgrades: that it cannot go back afterwards.
QString upgradeSentence(int fileVersion, const ServerVersion& server);

} // namespace tp
