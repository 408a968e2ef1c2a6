// tallyport-cli: the scan, attach of missing account-years, detach and shrink from a script.
//
//   tallyport-cli scan           --server S --root R [--json] [--what-if]
//   tallyport-cli attach-missing --server S --root R [--rebuild-log] [--all-files] [--json] [--what-if]
//                                [--server-version N]
//   tallyport-cli detach         --server S [--json] [--what-if] NAME...
//   tallyport-cli shrink --log|--data --server S [--json] [--what-if] NAME...
//
// The sa password is read from the terminal without echo, or as the first line of standard
// input with --password-stdin; never from an argument. --what-if sends nothing and prints
// every statement that would be sent. Exit status: 0 when everything asked for succeeded,
// 1 when the server refused something (or could not be reached) or the output could not be
// written, 2 for a wrong command line.

#include "CliCommands.h"
#include "ConsoleOutput.h"

#include <QCoreApplication>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tallyport-cli"));
    // A reader that stops reading (| head) must not end the program between two statements.
    tp::ignoreBrokenPipe();
    return tp::cli::run(QCoreApplication::arguments().mid(1));
}
