#include "VersionTable.h"

#include <QVector>

namespace standin {

namespace {

    VersionFacts make(int major, int minor, int build, const char* productVersion, const char* product,
        int internalVersion, int level, int lowestLevel, int oldest)
    {
        VersionFacts f;
        f.major = major;
        f.minor = minor;
        f.build = build;
        f.productVersion = QString::fromLatin1(productVersion);
        // The banner's first line is the one clients parse; the rest says what this is.
        f.versionBanner = QStringLiteral("Microsoft SQL Server %1 - %2 (%3) \n\tStand-in server for tests\n")
                              .arg(QString::fromLatin1(product), f.productVersion,
                                  major <= 9 ? QStringLiteral("Intel X86") : QStringLiteral("X64"));
        f.internalVersion = internalVersion;
        f.compatibilityLevel = level;
        f.lowestCompatibilityLevel = lowestLevel;
        f.oldestAttachable = oldest;
        if (major <= 12) {
            // model of 2000 .. 2014: small files growing by 10 % [unconfirmed sizes]
            f.modelDataPages = major == 8 ? 160 : 384;
            f.modelLogPages = major == 8 ? 128 : 128;
            f.modelDataUsedPages = major == 8 ? 96 : 176;
            f.modelLogUsedPages = 40;
            f.percentGrowth = true;
            f.growthPages = 10;
        }
        return f;
    }

    const QVector<VersionFacts>& table()
    {
        // Product versions: 8, 9, 10 and 16 as the clients of this project expect them; the
        // others are released builds of those versions. The oldest attachable version follows
        // the commonly stated upgrade matrix [unconfirmed]: 2005/2008 take 2000 files, 2012/2014
        // take 2005 and later, 2016 and later take 2008 and later.
        static const QVector<VersionFacts> t {
            make(8, 0, 2039, "8.00.2039", " 2000", 539, 80, 65, 0),
            make(9, 0, 5000, "9.00.5000.00", "2005", 611, 90, 60, 539),
            make(10, 0, 6000, "10.0.6000.29", "2008", 655, 100, 80, 539),
            make(11, 0, 7001, "11.0.7001.0", "2012", 706, 110, 90, 611),
            make(12, 0, 6024, "12.0.6024.0", "2014", 782, 120, 100, 611),
            make(13, 0, 5026, "13.0.5026.0", "2016", 852, 130, 100, 655),
            make(14, 0, 1000, "14.0.1000.169", "2017", 869, 140, 100, 655),
            make(15, 0, 2000, "15.0.2000.5", "2019", 904, 150, 100, 655),
            make(16, 0, 1000, "16.0.1000.6", "2022", 957, 160, 100, 655),
            make(17, 0, 1000, "17.0.1000.7", "2025", 998, 170, 100, 655),
        };
        return t;
    }

} // namespace

const VersionFacts& versionFacts(int major)
{
    const auto& t = table();
    const int clamped = qBound(8, major, 17);
    return t.at(clamped - 8);
}

int internalVersionOf(int major)
{
    return versionFacts(major).internalVersion;
}

} // namespace standin
