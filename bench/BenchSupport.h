#pragma once
// Helpers the benchmarks share: leaving with a message, the median of a series, timing one
// FreeTDS tsql process, and filling a stopped stand-in's catalogue with many databases.

#include <QString>
#include <QStringList>
#include <QVector>

namespace tp::test {
class StandinProcess;
}

namespace tp::bench {

// Prints "<program>: <what>" to stderr and leaves with exit code 1.
[[noreturn]] void fail(const QString& what);

// The middle value of `v` (the upper one of an even count); 0 when `v` is empty.
double medianOf(QVector<double> v);

// Before the application object: the offscreen platform unless another is set, and the
// stand-in `standinPath` unless TALLYPORT_STANDIN names one. Returns tsql's path; fails when
// FreeTDS's tsql is not installed.
QString prepareTsqlBench(const char* standinPath);

// tsql's arguments that sign in as sa to the stand-in `s` over 127.0.0.1.
QStringList tsqlLogin(const tp::test::StandinProcess& s);

// Wall time in ms of one tsql process started with `args` (TDSVER 7.4) that is sent
// `batches`, each ended by "go". Fails when tsql does not start or exits with an error.
double tsqlMs(const QString& tsql, const QStringList& args, const QStringList& batches);

// Adds `count` entries to the catalogue of the stopped stand-in whose data folder is `dataDir`,
// cloned from the database `templateName` it created itself and named UFDATA_<account>_<year>,
// accounts from `firstAccount` on, 20 years (2000-2019) each. Their files do not exist.
void addCatalogueCopies(const QString& dataDir, const QString& templateName, int count, int firstAccount);

} // namespace tp::bench
