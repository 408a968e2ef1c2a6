#include "Forms.h"

#include "Artwork.h"
#include "DataGrid.h"
#include "PictureBox.h"
#include "StatusBar.h"
#include "Twips.h"
#include "WindowBuilder.h"

#include <QHeaderView>

namespace tp {

using K = ControlKind;

QString mainWindowCaption()
{
    return QStringLiteral("Tallyport") + QString(2, QLatin1Char(' ')) + QStringLiteral("V1.0")
        + QString(11, QLatin1Char(' ')) + QStringLiteral("www.tallyport.example");
}

QStringList statusBarTexts()
{
    return {QStringLiteral("塔利港软件工作室  联系人：陈工"), QStringLiteral("在线咨询：80001234"),
        QStringLiteral("电话：010-55550100"), QStringLiteral("[数据维护]")};
}

FormWindow* createForm1()
{
    const WindowSpec window{QStringLiteral("Form1"), QStringLiteral("登陆"), 5460, 3225, true};
    const QString pic = QStringLiteral("Picture1");
    const QList<ControlSpec> controls = {
        {pic, K::PictureBox, {}, 0, -120, 6495, 4095, {}},
        {QStringLiteral("Label1"), K::Label, QStringLiteral("服务器："), 2400, 870, 720, 180, pic, AutoSize | Transparent},
        {QStringLiteral("fwq"), K::TextBox, QStringLiteral("(local)"), 3120, 840, 1935, 270, pic, White},
        {QStringLiteral("Label3"), K::Label, QStringLiteral("SA密码："), 2400, 1470, 720, 180, pic, AutoSize | Transparent},
        {QStringLiteral("mm"), K::TextBox, {}, 3120, 1440, 1935, 270, pic, White | PasswordStars | NoInputMethod},
        {QStringLiteral("Command1"), K::Button, QStringLiteral("确定"), 2640, 2280, 975, 375, pic, DefaultButton},
        {QStringLiteral("Command2"), K::Button, QStringLiteral("退出"), 3960, 2280, 975, 375, pic},
        {QStringLiteral("Label2"), K::Label, QStringLiteral("V1.0"), 4920, 240, 360, 180, pic, AutoSize | Transparent},
        {QStringLiteral("DataGrid1"), K::DataGrid, {}, 600, 2760, 135, 135, pic, Hidden},
    };
    FormWindow* w = buildWindow(WindowId::Form1, window, controls, {},
        {QStringLiteral("fwq"), QStringLiteral("mm"), QStringLiteral("Command1"), QStringLiteral("Command2"), pic});
    w->setWindowIcon(loginIcon());
    w->findChild<PictureBox*>(pic)->setPicture(loginPicture());
    return w;
}

FormWindow* createForm2()
{
    const WindowSpec window{QStringLiteral("form2"), mainWindowCaption(), 8385, 6795, true};
    const QString f1 = QStringLiteral("Frame1");
    const QString f3 = QStringLiteral("Frame3");
    const QList<ControlSpec> controls = {
        {QStringLiteral("DataGrid1"), K::DataGrid, {}, 120, 120, 2415, 6255, {}, Teal},
        {QStringLiteral("Drive1"), K::DriveList, {}, 2640, 120, 5655, 300, {}, Teal},
        {QStringLiteral("Dir1"), K::FolderList, {}, 2640, 405, 5655, 2400, {}, Teal},
        {f1, K::Frame, {}, 2640, 2880, 5655, 2175, {}},
        {f3, K::Frame, {}, 2640, 5160, 5655, 1215, {}},
        {QStringLiteral("StatusBar1"), K::StatusBar, {}, 0, 6420, 8385, 375, {}},
        {QStringLiteral("Adodc1"), K::DataControl, QStringLiteral("Adodc1"), 1320, 7200, 1200, 330, {}, Hidden},
        {QStringLiteral("Text7"), K::TextBox, {}, 3720, 7320, 1095, 270, {}, Hidden},
        {QStringLiteral("Text8"), K::TextBox, QStringLiteral("Text8"), 3720, 7680, 1095, 270, {}, Hidden},
        // Frame1: the attach group
        {QStringLiteral("Label2"), K::Label, QStringLiteral("账 套 号"), 120, 270, 855, 255, f1, Transparent},
        {QStringLiteral("Text2"), K::TextBox, QStringLiteral("001"), 960, 240, 1455, 270, f1, LightBlue},
        {QStringLiteral("Label3"), K::Label, QStringLiteral("开始年度"), 120, 630, 720, 180, f1, AutoSize | Transparent},
        {QStringLiteral("Text3"), K::TextBox, {}, 960, 600, 1455, 270, f1, LightBlue},
        {QStringLiteral("Label6"), K::Label, QStringLiteral("年度个数"), 120, 990, 720, 180, f1, AutoSize | Transparent},
        {QStringLiteral("Text6"), K::TextBox, {}, 960, 960, 1455, 270, f1, LightBlue},
        {QStringLiteral("Label7"), K::Label, QStringLiteral("数据源路径"), 120, 1320, 975, 255, f1, Transparent},
        {QStringLiteral("Text4"), K::TextArea, {}, 120, 1560, 5415, 495, f1, Grey | ReadOnly},
        {QStringLiteral("Command7"), K::Button, QStringLiteral("自动附加数据库"), 3000, 240, 1695, 375, f1},
        {QStringLiteral("Command10"), K::Button, QStringLiteral("手动附加数据库"), 3000, 840, 1695, 375, f1},
        {QStringLiteral("Command8"), K::Button, QStringLiteral("Command8"), 3600, 960, 255, 255, f1, Hidden},
        {QStringLiteral("Text1"), K::TextBox, {}, 1080, 240, 855, 270, f1, Hidden},
        // Frame3: the detach and shrink group
        {QStringLiteral("Label5"), K::Label, QStringLiteral("数据库"), 120, 270, 855, 255, f3, Transparent},
        {QStringLiteral("Text5"), K::TextBox, {}, 720, 240, 4695, 270, f3, Grey | ReadOnly},
        {QStringLiteral("Command2"), K::Button, QStringLiteral("分离数据库"), 360, 720, 1335, 375, f3},
        {QStringLiteral("Command3"), K::Button, QStringLiteral("收缩日志"), 1800, 720, 975, 375, f3},
        {QStringLiteral("Command9"), K::Button, QStringLiteral("收缩数据库"), 2880, 720, 1095, 375, f3},
        {QStringLiteral("Command6"), K::Button, QStringLiteral("退出"), 4080, 720, 1215, 375, f3},
    };
    const QList<TimerSpec> timers = {
        {QStringLiteral("Timer1"), 1, true},
        {QStringLiteral("Timer2"), 500, false},
    };
    const QStringList tabOrder = {QStringLiteral("Text2"), QStringLiteral("Text3"), QStringLiteral("Text6"),
        QStringLiteral("Command7"), QStringLiteral("Command10"), QStringLiteral("Command2"), QStringLiteral("Command3"),
        QStringLiteral("Command9"), QStringLiteral("Command6"), QStringLiteral("Text5"), QStringLiteral("DataGrid1"),
        QStringLiteral("Drive1"), QStringLiteral("Dir1"), QStringLiteral("Text4")};
    FormWindow* w = buildWindow(WindowId::form2, window, controls, timers, tabOrder);
    w->setWindowIcon(mainIcon());

    // The database grid: one titled column showing the field "name", a second one left at
    // its defaults; rows 16 points high, the header two lines high, read-only.
    auto* grid = w->findChild<DataGrid*>(QStringLiteral("DataGrid1"));
    grid->setColumns({{QStringLiteral("数据库名称"), QStringLiteral("name")}, {QString(), QString()}});
    grid->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    grid->verticalHeader()->setDefaultSectionSize(twipsToPixels(16 * 20));
    grid->verticalHeader()->setMinimumSectionSize(1);
    grid->verticalHeader()->setFixedWidth(twipsToPixels(180));
    grid->horizontalHeader()->setFixedHeight(2 * QFontMetrics(grid->font()).lineSpacing() + 4);
    grid->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    grid->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    grid->horizontalHeader()->setDefaultSectionSize(twipsToPixels(1725));
    grid->horizontalHeader()->setStretchLastSection(false);

    auto* bar = w->findChild<StatusBar*>(QStringLiteral("StatusBar1"));
    const QStringList texts = statusBarTexts();
    const int widths[] = {3000, 2000, 1800, 1440};
    for (int i = 0; i < 4; ++i)
        bar->addPanel(twipsToPixels(widths[i]), texts[i]);
    return w;
}

FormWindow* createForm3()
{
    const WindowSpec window{QStringLiteral("Form3"), QStringLiteral("附加数据库"), 6390, 690, false};
    const QList<ControlSpec> controls = {
        {QStringLiteral("Frame1"), K::Frame, {}, 80, 0, 6255, 615, {}},
        {QStringLiteral("Label1"), K::Label, {}, 240, 240, 5805, 180, QStringLiteral("Frame1"), AutoSize},
    };
    FormWindow* w = buildWindow(WindowId::Form3, window, controls, {{QStringLiteral("Timer1"), 10, true}}, {});
    w->setWindowIcon(attachIcon());
    return w;
}

FormWindow* createForm4()
{
    const WindowSpec window{QStringLiteral("Form4"), QStringLiteral("附加数据库"), 6045, 2130, false};
    const QList<ControlSpec> controls = {
        {QStringLiteral("Label1"), K::Label, QStringLiteral("数据路径"), 120, 160, 720, 180, {}, AutoSize},
        {QStringLiteral("Text1"), K::TextBox, {}, 900, 120, 4935, 270, {}, LightBlue, QStringLiteral("双击")},
        {QStringLiteral("Label3"), K::Label, QStringLiteral("日志路径"), 120, 600, 735, 255, {}},
        {QStringLiteral("Text2"), K::TextBox, {}, 900, 600, 4935, 270, {}, LightBlue},
        {QStringLiteral("Label2"), K::Label, QStringLiteral("数据名称"), 120, 1080, 720, 180, {}, AutoSize},
        {QStringLiteral("Text3"), K::TextBox, {}, 900, 1080, 4935, 270, {}, LightBlue},
        {QStringLiteral("Command1"), K::Button, QStringLiteral("查找文件"), 720, 1560, 1455, 375, {}},
        {QStringLiteral("Command2"), K::Button, QStringLiteral("附加数据库"), 2400, 1560, 1455, 375, {}},
        {QStringLiteral("Command3"), K::Button, QStringLiteral("退出"), 4080, 1560, 1335, 375, {}},
        // Below the client area: never seen, never focused.
        {QStringLiteral("Text4"), K::TextBox, QStringLiteral("Text4"), 2040, 2520, 2775, 270, {}, NoTabStop},
        {QStringLiteral("Adodc1"), K::DataControl, QStringLiteral("Adodc1"), 600, 3120, 1200, 375, {}},
        {QStringLiteral("DataGrid1"), K::DataGrid, {}, 1920, 3000, 2295, 615, {}, NoTabStop},
        {QStringLiteral("Adodc2"), K::DataControl, QStringLiteral("Adodc2"), 600, 3480, 1200, 330, {}},
        {QStringLiteral("DataGrid2"), K::DataGrid, {}, 1920, 3840, 2295, 615, {}, NoTabStop},
    };
    FormWindow* w = buildWindow(WindowId::Form4, window, controls, {},
        {QStringLiteral("Text1"), QStringLiteral("Text2"), QStringLiteral("Text3"), QStringLiteral("Command1"),
            QStringLiteral("Command2"), QStringLiteral("Command3")});
    w->setWindowIcon(attachIcon());
    return w;
}

} // namespace tp
