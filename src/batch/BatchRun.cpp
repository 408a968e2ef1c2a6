#include "BatchRun.h"

#include "AccountYear.h"
#include "BoxText.h"
#include "DataFileTest.h"
#include "NumberText.h"
#include "ProgressCaption.h"
#include "Services.h"
#include "Windows.h"
#include "YearStep.h"

#include <QLabel>
#include <QTimer>

namespace tp {

namespace {

    QTimer* timer(QWidget& window, const QString& name)
    {
        QTimer* t = window.findChild<QTimer*>(name);
        if (!t)
            throwMissingControl(window, name);
        return t;
    }

    qint64 boxNumber(QWidget& window, const QString& box)
    {
        return numberFromText(boxText(window, box));
    }

    // Timer2 off and the progress window gone: no further step of this run.
    void endRun(QWidget& form2)
    {
        timer(form2, QStringLiteral("Timer2"))->stop();
        Windows::unload(WindowId::Form3);
    }

} // namespace

void startRun()
{
    if (!dataFileTest())
        return;
    QWidget& form2 = Windows::form2();
    if (boxText(form2, QStringLiteral("Text6")).isEmpty()) {
        MessageService::show(QStringLiteral("请输入年度个数！"), vbCritical, QStringLiteral("错误："));
        return;
    }
    timer(form2, QStringLiteral("Timer2"))->start();
    Windows::showModal(WindowId::Form3);
}

void runTick()
{
    QWidget& form2 = Windows::form2();
    const QString text6 = QStringLiteral("Text6");
    setBoxText(form2, text6, textFromNumber(saturatingAdd(boxNumber(form2, text6), -1)));
    if (boxNumber(form2, text6) >= 0) {
        const QString yearBefore = boxText(form2, QStringLiteral("Text3"));
        try {
            yearStep();
        } catch (...) {
            endRun(form2);
            // The year was not attached when Text3 did not move on: it is still to do.
            if (boxText(form2, QStringLiteral("Text3")) == yearBefore)
                setBoxText(form2, text6, textFromNumber(saturatingAdd(boxNumber(form2, text6), 1)));
            throw;
        }
        return;
    }
    setBoxText(form2, text6, QStringLiteral("0"));
    endRun(form2);
    MessageService::show(QStringLiteral("附加数据库完成！"), vbInformation, QStringLiteral("提示："));
}

void progressTick()
{
    QWidget& form2 = Windows::form2();
    QWidget& form3 = Windows::form3();
    const QString name = accountYear(boxText(form2, QStringLiteral("Text1")), boxText(form2, QStringLiteral("Text2")),
        boxText(form2, QStringLiteral("Text3")))
                             .databaseName;
    const qint64 left = saturatingAdd(boxNumber(form2, QStringLiteral("Text6")), -1);
    if (left >= 0) {
        // The line changes only between steps; the 10 ms ticks in between cost nothing.
        QLabel* label = control<QLabel>(form3, QStringLiteral("Label1"));
        const QString caption = progressCaption(name, left);
        if (label->text() != caption) {
            label->setText(caption);
            label->adjustSize();
        }
    } else {
        timer(form3, QStringLiteral("Timer1"))->stop();
    }
}

void progressWindowUnloaded()
{
    if (!Windows::isLoaded(WindowId::form2))
        return;
    timer(Windows::form2(), QStringLiteral("Timer2"))->stop();
}

} // namespace tp
