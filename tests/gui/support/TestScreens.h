#pragma once
// Two screens for the offscreen platform, set up before the application object exists:
// bigScreen() 1280 x 1024 at (0, 0), the primary, and smallScreen() 1024 x 768 beside it, both
// 96 DPI. TP_TEST_MAIN_WITH_SCREENS(TestClass) is QTEST_MAIN with these screens. Under another
// platform (a real display) the tests run on its screens.

#include <QApplication>
#include <QFile>
#include <QRect>
#include <QTest>

namespace tp::test {

inline QRect bigScreen() { return QRect(0, 0, 1280, 1024); }
inline QRect smallScreen() { return QRect(1280, 0, 1024, 768); }

// Writes the offscreen platform's configuration into the current folder (a relative name: the
// platform's arguments are split at colons, a drive letter included) and names it in
// QT_QPA_PLATFORM. Returns the file, to be removed once the application exists.
inline QString useTestScreens()
{
    const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
    if (!platform.isEmpty() && platform != "offscreen")
        return QString();
    const QString file = QStringLiteral("test-screens-%1.json").arg(QCoreApplication::applicationPid());
    QFile f(file);
    if (!f.open(QIODevice::WriteOnly))
        return QString();
    auto screen = [](const char* name, const QRect& r) {
        return QStringLiteral(R"({"name": "%1", "x": %2, "y": %3, "width": %4, "height": %5, "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1})")
            .arg(QLatin1String(name)).arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height());
    };
    f.write(QStringLiteral(R"({"screens": [%1, %2]})")
                .arg(screen("big", bigScreen()), screen("small", smallScreen()))
                .toUtf8());
    f.close();
    qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + file.toUtf8());
    return file;
}

} // namespace tp::test

#define TP_TEST_MAIN_WITH_SCREENS(TestObject)                                                                   \
    int main(int argc, char* argv[])                                                                           \
    {                                                                                                          \
        const QString screens = tp::test::useTestScreens();                                                    \
        QApplication app(argc, argv);                                                                          \
        if (!screens.isEmpty())                                                                                \
            QFile::remove(screens);                                                                            \
        app.setAttribute(Qt::AA_Use96Dpi, true);                                                               \
        TestObject tc;                                                                                         \
        QTEST_SET_MAIN_SOURCE_PATH                                                                             \
        return QTest::qExec(&tc, argc, argv);                                                                  \
    }
