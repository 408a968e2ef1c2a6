#pragma once
// Test helper: makes detached database files on the stand-in, as an administrator finds them
// on disk after a reinstallation. Goes through the product's own access layer.

#include <QString>
#include <QStringList>

namespace tp::test {

// The master connection string of a stand-in (OLE DB form, as the product builds it).
QString standinMasterConnectionString(const QString& serverName, const QString& password);

// CREATE DATABASE <name> ON PRIMARY (<dataFiles[0]>), (<dataFiles[1]>)... LOG ON (<logFile>),
// then sp_detach_db, so only the files remain. Returns the driver's error text, empty on success.
QString createDetachedDatabase(
    const QString& connectionString, const QString& name, const QStringList& dataFiles, const QString& logFile);

// Runs one statement on its own connection; returns the driver's error text, empty on success.
QString executeStatement(const QString& connectionString, const QString& statement);

} // namespace tp::test
