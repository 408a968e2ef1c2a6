#pragma once
// Runs FreeTDS's tsql against a stand-in with a FreeTDS configuration of the test's own, so
// that the machine's freetds.conf, ~/.freetds.conf and TDS* variables stay out of the test.

#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

class QProcess;

namespace tp::test {

class StandinProcess;

// A temporary folder holding a freetds.conf of the test's own ("tds version = auto").
class FreeTdsConfig
{
public:
    // Writes freetds.conf into the folder; false when the folder or the file cannot be made.
    bool write();
    QString path() const { return m_dir.path(); }
    QString filePath(const QString& name) const { return m_dir.filePath(name); }
    // The system environment with FREETDSCONF and FREETDS naming this freetds.conf, HOME this
    // folder, and TDSVER, TDSDUMP, TDSHOST, TDSPORT and DSQUERY removed.
    QProcessEnvironment environment() const;

private:
    QTemporaryDir m_dir;
};

// tsql's arguments: no prompts (-o q), sign in as sa to `server` on 127.0.0.1 with `password`,
// or with the server's own password when it is empty.
QStringList tsqlArguments(const StandinProcess& server, const QString& password = QString());

struct TsqlOutput
{
    bool finished = false;
    int exitCode = -1;
    QString out;
    QString err; // "tsql does not start: ..." when it did not start
};

// Waits for the tsql process `p` (already started) to start, sends `input`, closes its input
// and waits up to `waitMs` for it to finish; then reads all it wrote.
TsqlOutput finishTsql(QProcess& p, const QString& input, int waitMs);

// The non-empty lines of `out`, trimmed.
QStringList outputLines(const QString& out);

} // namespace tp::test
