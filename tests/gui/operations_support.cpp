#include "operations_support.h"

#include "BoxText.h"
#include "DataGrid.h"
#include "Windows.h"

#include <QAbstractButton>
#include <QDir>
#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <QTimer>

namespace tp::test {

QString accountYearDir(const QString& dataRoot, const QString& accountSet, int year)
{
    return dataRoot + QStringLiteral("/ZT") + accountSet + QLatin1Char('/') + QString::number(year);
}

static QString quoted(const QString& value)
{
    QString v = value;
    v.replace(QLatin1Char('\''), QLatin1String("''"));
    return QLatin1Char('\'') + v + QLatin1Char('\'');
}

QString sqlBracket(const QString& name)
{
    QString n = name;
    n.replace(QLatin1Char(']'), QLatin1String("]]"));
    return QLatin1Char('[') + n + QLatin1Char(']');
}

static bool isDriverSetting(const QString& sql)
{
    return sql == QLatin1String("SET QUOTED_IDENTIFIER ON");
}

QList<QJsonObject> sentRequests(GuiFixture& fx)
{
    QList<QJsonObject> out;
    for (const QJsonObject& r : fx.server().requests()) {
        if (!isDriverSetting(r.value(QLatin1String("sql")).toString()))
            out.append(r);
    }
    return out;
}

QStringList sentSql(GuiFixture& fx)
{
    QStringList out;
    for (const QString& sql : fx.server().sqlTexts()) {
        if (!isDriverSetting(sql))
            out.append(sql);
    }
    return out;
}

QString sqlMismatch;

bool sameSql(GuiFixture& fx, const QStringList& expected)
{
    const QStringList actual = sentSql(fx);
    if (actual == expected)
        return true;
    sqlMismatch = QStringLiteral("sent:\n  ") + actual.join(QStringLiteral("\n  ")) + QStringLiteral("\nexpected:\n  ")
        + expected.join(QStringLiteral("\n  "));
    return false;
}

bool makeAccountYearFiles(GuiFixture& fx, const QString& dataRoot, const QString& accountSet, int year)
{
    const QString dir = accountYearDir(dataRoot, accountSet, year);
    if (!QDir().mkpath(dir))
        return false;
    const QString name = QStringLiteral("UFDATA_%1_%2").arg(accountSet).arg(year);
    return fx.execute(
               QStringLiteral("CREATE DATABASE %1 ON (NAME = ufdata, FILENAME = %2) LOG ON (NAME = "
                              "ufdata_Log, FILENAME = %3)")
                   .arg(name, quoted(dir + QStringLiteral("/ufdata.MDF")), quoted(dir + QStringLiteral("/ufdata.LDF"))))
        && fx.execute(QStringLiteral("EXEC sp_detach_db @dbname = '%1'").arg(name));
}

bool createDatabase(
    GuiFixture& fx, const QString& name, const QString& folder, const QString& dataLogical, const QString& logLogical)
{
    if (!QDir().mkpath(folder))
        return false;
    return fx.execute(QStringLiteral("CREATE DATABASE %1 ON (NAME = %2, FILENAME = %3) LOG ON (NAME = %4, FILENAME "
                                     "= %5)")
                          .arg(sqlBracket(name), sqlBracket(dataLogical), quoted(folder + QStringLiteral("/d.mdf")),
                              sqlBracket(logLogical), quoted(folder + QStringLiteral("/l.ldf"))));
}

QString box(const QString& name)
{
    return boxText(Windows::form2(), name);
}

void setBox(const QString& name, const QString& text)
{
    setBoxText(Windows::form2(), name, text);
}

QStringList gridNames()
{
    auto* grid = control<DataGrid>(Windows::form2(), QStringLiteral("DataGrid1"));
    QStringList names;
    for (int row = 0; row < grid->rowCountShown(); ++row)
        names << grid->cellText(row, 0);
    return names;
}

bool clickGridRow(const QString& name)
{
    auto* grid = control<DataGrid>(Windows::form2(), QStringLiteral("DataGrid1"));
    for (int row = 0; row < grid->rowCountShown(); ++row) {
        if (grid->cellText(row, 0) != name)
            continue;
        const QModelIndex index = grid->model()->index(row, 0);
        grid->scrollTo(index);
        const QRect rect = grid->visualRect(index);
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, Qt::NoModifier, rect.center());
        return true;
    }
    return false;
}

RunObserver::RunObserver(GuiFixture& fx)
    : m_fx(fx)
    , m_timer2(Windows::form2().findChild<QTimer*>(QStringLiteral("Timer2")))
{
    if (!m_timer2)
        return;
    m_timer2->installEventFilter(this);
    // Connected after the window's own handler, so it runs once the tick's work is done.
    connect(m_timer2, &QTimer::timeout, this, [this] {
        after.append(snapshot());
        if (afterTick)
            afterTick(after.size());
    });
}

RunObserver::~RunObserver()
{
    if (m_timer2)
        m_timer2->removeEventFilter(this);
}

bool RunObserver::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_timer2 && event->type() == QEvent::Timer)
        before.append(snapshot());
    return QObject::eventFilter(watched, event);
}

TickSnapshot RunObserver::snapshot() const
{
    TickSnapshot s;
    s.text3 = box(QStringLiteral("Text3"));
    s.text6 = box(QStringLiteral("Text6"));
    s.progressLoaded = Windows::isLoaded(WindowId::Form3);
    if (s.progressLoaded) {
        QWidget& form3 = Windows::form3();
        s.caption = control<QLabel>(form3, QStringLiteral("Label1"))->text();
        if (auto* t = form3.findChild<QTimer*>(QStringLiteral("Timer1")))
            s.progressTimerActive = t->isActive();
    }
    s.stepTimerActive = m_timer2 && m_timer2->isActive();
    s.grid = gridNames();
    s.requestCount = m_fx.server().isRunning() ? sentSql(m_fx).size() : -1;
    return s;
}

bool clickMayRun(const QString& button, int limitMs)
{
    bool stopped = false;
    QTimer watchdog;
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout, [&stopped] {
        if (Windows::isLoaded(WindowId::form2)) {
            if (auto* t = Windows::form2().findChild<QTimer*>(QStringLiteral("Timer2")))
                t->stop();
        }
        if (Windows::isLoaded(WindowId::Form3)) {
            stopped = true;
            Windows::unload(WindowId::Form3);
        }
    });
    watchdog.start(limitMs);
    QTest::mouseClick(control<QAbstractButton>(Windows::form2(), button), Qt::LeftButton);
    return !stopped;
}

} // namespace tp::test
