#include "MainWindowInputs.h"

#include "Application.h"
#include "DigitFilter.h"
#include "DriveList.h"
#include "Events.h"
#include "FolderList.h"
#include "Windows.h"

#include <QSignalBlocker>
#include <QStringList>

namespace tp {

namespace {

    // Drive1 change: the folder list moves to the chosen drive's current folder and raises
    // its own change. A drive it cannot open (not ready) leaves the folder list where it was;
    // the drive list then goes back, quietly, to the drive the folder list is on.
    void driveChanged(QWidget& form)
    {
        auto* drive = control<DriveList>(form, QStringLiteral("Drive1"));
        auto* dir = control<FolderList>(form, QStringLiteral("Dir1"));
        const QString chosen = drive->drive();
        dir->setPath(driveCurrentFolder(chosen));
        if (driveOf(dir->path(), QStringList { chosen }).isEmpty()) {
            const QString holder = driveOf(dir->path(), driveRoots());
            if (!holder.isEmpty()) {
                const QSignalBlocker quiet(drive);
                drive->setDrive(holder);
            }
        }
    }

    void install(QWidget& form)
    {
        onChange(form, QStringLiteral("Drive1"), [&form] { driveChanged(form); });
        onChange(form, QStringLiteral("Dir1"), [&form] {
            setControlText(form, QStringLiteral("Text1"), control<FolderList>(form, QStringLiteral("Dir1"))->path());
        });

        for (const char* box : { "Text2", "Text3", "Text6" })
            onKeyPress(form, QLatin1String(box), [](int& keyAscii) { keyAscii = digitFilter(keyAscii); });

        for (const char* box : { "Text2", "Text3", "Text5", "Text6" }) {
            const QString name = QLatin1String(box);
            onGotFocus(form, name, [&form, name] { selectAllText(form, name); });
        }

        onClick(form, QStringLiteral("Command6"), [] { endApplication(); });
        onClick(form, QStringLiteral("Command10"), [] { Windows::showModal(WindowId::Form4); });
    }

} // namespace

void installMainWindowInputs()
{
    Windows::onLoad(WindowId::form2, [](QWidget& form) { install(form); });
    Windows::onUnload(WindowId::form2, [](QWidget&) {
        if (!applicationEnding())
            endApplication();
    });
}

} // namespace tp
