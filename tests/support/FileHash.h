#pragma once

#include <QByteArray>
#include <QString>

namespace tp::test {

// The SHA-256 of the file at `path` as hex; empty when it cannot be read.
QByteArray fileHash(const QString& path);

} // namespace tp::test
