#include "FileLinks.h"

#include <QDir>
#include <QFile>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace tp::test {

bool makeHardLink(const QString& existing, const QString& link)
{
#ifdef Q_OS_WIN
    const QString from = QDir::toNativeSeparators(existing);
    const QString to = QDir::toNativeSeparators(link);
    return CreateHardLinkW(reinterpret_cast<const wchar_t*>(to.utf16()), reinterpret_cast<const wchar_t*>(from.utf16()),
               nullptr)
        != 0;
#else
    return ::link(QFile::encodeName(existing).constData(), QFile::encodeName(link).constData()) == 0;
#endif
}

} // namespace tp::test
