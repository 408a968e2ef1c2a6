#pragma once
// The drive list: a drop-down list of the machine's drives (on Linux and macOS, the roots
// of the mounted file systems that hold files, "/" first). Changing the selection, by the
// user or by code, emits changed(). It starts on the drive that holds the process's
// current folder.

#include <QComboBox>
#include <QStringList>

namespace tp {

class DriveList : public QComboBox {
    Q_OBJECT
public:
    explicit DriveList(QWidget* parent = nullptr);
    QString drive() const; // the selected drive's root path, e.g. "C:\\" or "/"
    void setDrive(const QString& drive); // selects it (adding it if missing); emits changed() when different
signals:
    void changed();
};

// The roots of the machine's drives in native form: QDir::drives() on Windows; elsewhere the
// mounted file systems that hold files (pseudo and runtime file systems left out), "/" first,
// the others sorted.
QStringList driveRoots();

// Whether a mounted file system belongs in the drive list (not Windows): false for pseudo
// and memory file systems (proc, sysfs, tmpfs, cgroup ...) and for anything mounted under
// /proc, /sys, /dev, /run or /snap. "/" always belongs.
bool isListedVolume(const QString& rootPath, const QByteArray& fileSystemType);

// The root among `roots` that holds `path`: the longest root that is a prefix of it (letters
// compared without case on Windows). Empty when none does.
QString driveOf(const QString& path, const QStringList& roots);

// The folder a drive's folder list opens at: the process's current folder when it lies on
// that drive, else the drive's root. Native form.
QString driveCurrentFolder(const QString& drive);

} // namespace tp
