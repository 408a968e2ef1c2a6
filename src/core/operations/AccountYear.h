#pragma once
// The account-year scheme: how the data root, the account set and the year turn into an
// account-year database's folder, name and two file paths.
//
// Each value is a plain concatenation of the three texts and fixed pieces. The texts are
// used verbatim: nothing is trimmed, padded, validated or converted ("001" stays "001"), and
// no separator is added or removed where the data root meets "\ZT", so a drive root "C:\"
// gives "C:\\ZT...". The pieces are joined with "\" on every platform: the paths are the
// server's paths, shown in the main window and put into the attach statement as they are.
// The case of the fixed pieces is part of the scheme: "ZT", "ufdata", "MDF", "LDF".

#include <QString>

namespace tp {

struct AccountYearPaths {
    QString folder; // dataRoot + "\ZT" + accountSet + "\" + year
    QString databaseName; // "UFDATA_" + accountSet + "_" + year
    QString dataFilePath; // folder + "\ufdata.MDF"
    QString logFilePath; // folder + "\ufdata.LDF"
};

// Never fails: empty texts give short values ("\ZT\\ufdata.MDF", "UFDATA__").
AccountYearPaths accountYear(const QString& dataRoot, const QString& accountSet, const QString& year);

} // namespace tp
