#pragma once
// Helpers of the account-year operation and multi-year run tests: account-year database files
// made through the stand-in, the main window's boxes and grid, and an observer that takes a
// snapshot of the run just before and just after every tick of form2's Timer2.

#include "GuiFixture.h"

#include <QJsonObject>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>

class QTimer;

namespace tp::test {

// The local folder <dataRoot>/ZT<set>/<year> of an account-year.
QString accountYearDir(const QString& dataRoot, const QString& accountSet, int year);

// Creates the database UFDATA_<set>_<year> with its two files ufdata.MDF and ufdata.LDF
// (logical names ufdata and ufdata_Log) in the account-year folder, then detaches it, so only
// the files remain, as after a reinstallation. False with fx.lastError() on failure.
bool makeAccountYearFiles(GuiFixture& fx, const QString& dataRoot, const QString& accountSet, int year);

// Creates an attached database with the given logical names under `folder` (files <file>.mdf
// and <file>.ldf), with names written as bracketed identifiers and quoted paths.
bool createDatabase(
    GuiFixture& fx, const QString& name, const QString& folder, const QString& dataLogical, const QString& logLogical);

QString box(const QString& name); // text of a form2 box
void setBox(const QString& name, const QString& text);

QStringList gridNames(); // every name form2's grid shows, in order
// Clicks the grid row showing `name`, as a user picks a database. False when it is not shown.
bool clickGridRow(const QString& name);

QString sqlBracket(const QString& name);

// The SQL texts of the stand-in's request log since the last clear, without the setting the
// ODBC driver sends itself at the start of every connection ("SET QUOTED_IDENTIFIER ON").
QStringList sentSql(GuiFixture& fx);
// The full request records (session, database, sql) of the same, also without that setting.
QList<QJsonObject> sentRequests(GuiFixture& fx); // [name] with ] doubled, for the tests' own statements

// What sentSql() gives since the last clear, against `expected`. On a difference sqlMismatch
// lists both, for the failure message: QVERIFY2(sameSql(fx, {...}), qPrintable(sqlMismatch)).
bool sameSql(GuiFixture& fx, const QStringList& expected);
extern QString sqlMismatch;

struct TickSnapshot
{
    QString text3;
    QString text6;
    QString caption; // Form3's Label1, empty when Form3 is not loaded
    bool progressTimerActive = false; // Form3's Timer1
    bool progressLoaded = false;
    bool stepTimerActive = false; // form2's Timer2
    QStringList grid;
    int requestCount = 0; // SQL texts in the stand-in's request log so far
};

// Watches form2's Timer2 from the moment it is made. `afterTick(n)` runs after the n-th tick's
// handler (1-based) and may act on the run (close the progress window, stop the server).
class RunObserver : public QObject
{
public:
    explicit RunObserver(GuiFixture& fx);
    ~RunObserver() override;

    QList<TickSnapshot> before;
    QList<TickSnapshot> after;
    std::function<void(int tick)> afterTick;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    TickSnapshot snapshot() const;
    GuiFixture& m_fx;
    QTimer* m_timer2;
};

// Clicks a form2 button that may open the modal progress window. A watchdog ends a run that
// is still going after `limitMs` (unloads Form3, stops Timer2) and reports it through the return
// value, so a broken run fails the test instead of hanging it.
bool clickMayRun(const QString& button, int limitMs = 30000);

} // namespace tp::test
