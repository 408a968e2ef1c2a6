#include "WindowBuilder.h"

#include "DataControl.h"
#include "DataGrid.h"
#include "DriveList.h"
#include "ErrorBoundary.h"
#include "FolderList.h"
#include "Label.h"
#include "NulCutValidator.h"
#include "PictureBox.h"
#include "StatusBar.h"
#include "TextArea.h"
#include "Twips.h"

#include <QApplication>
#include <QFontDatabase>
#include <QGroupBox>
#include <QHash>
#include <QLabel>
#include <QLineEdit>
#include <QProxyStyle>
#include <QPushButton>
#include <QTimer>

namespace tp {

namespace {

// While a window's controls are made the application font is the window's, then the one it
// was again. A text box lays out its text in the application font as it is made, before it takes
// its window's: that would load a font that no control of the window shows.
class ApplicationFontScope {
public:
    explicit ApplicationFontScope(const QFont& font)
        : m_saved(QApplication::font())
    {
        QApplication::setFont(font);
    }
    ~ApplicationFontScope() { QApplication::setFont(m_saved); }
    ApplicationFontScope(const ApplicationFontScope&) = delete;
    ApplicationFontScope& operator=(const ApplicationFontScope&) = delete;

private:
    QFont m_saved;
};

// The password box shows "*" for each character, at once.
class PasswordStarStyle : public QProxyStyle {
public:
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
        QStyleHintReturn* returnData) const override
    {
        if (hint == SH_LineEdit_PasswordCharacter)
            return '*';
        if (hint == SH_LineEdit_PasswordMaskDelay)
            return 0;
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};

void paintBase(QWidget* w, const QColor& c)
{
    QPalette p = w->palette();
    p.setColor(QPalette::Base, c);
    w->setPalette(p);
}

void applyColours(QWidget* w, unsigned flags)
{
    if (flags & LightBlue)
        paintBase(w, colors::lightBlue());
    if (flags & Grey)
        paintBase(w, colors::grey());
    if (flags & White)
        paintBase(w, Qt::white);
    if (flags & Teal) {
        QPalette p = w->palette();
        p.setColor(QPalette::Base, colors::teal());
        p.setColor(QPalette::Button, colors::teal());
        p.setColor(QPalette::Window, colors::teal());
        w->setPalette(p);
    }
}

QWidget* createControl(const ControlSpec& s, QWidget* container)
{
    switch (s.kind) {
    case ControlKind::Label: {
        auto* l = new Label(s.caption, container);
        if (!(s.flags & Transparent)) {
            l->setAutoFillBackground(true);
            l->setBackgroundRole(QPalette::Window);
        }
        return l;
    }
    case ControlKind::TextBox: {
        auto* e = new QLineEdit(s.caption, container);
        e->setValidator(new NulCutValidator(e));
        e->setFrame(true);
        if (s.flags & ReadOnly)
            e->setReadOnly(true);
        if (s.flags & PasswordStars) {
            auto* style = new PasswordStarStyle;
            style->setParent(e);
            e->setStyle(style);
            e->setEchoMode(QLineEdit::Password);
        }
        if (s.flags & NoInputMethod) {
            e->setAttribute(Qt::WA_InputMethodEnabled, false);
            e->setInputMethodHints(e->inputMethodHints() | Qt::ImhHiddenText | Qt::ImhSensitiveData);
        }
        return e;
    }
    case ControlKind::TextArea: {
        auto* a = new TextArea(container);
        a->setText(s.caption);
        if (s.flags & ReadOnly) {
            a->setReadOnly(true);
            a->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
        }
        a->setFocusPolicy(Qt::StrongFocus);
        return a;
    }
    case ControlKind::Button: {
        auto* b = new QPushButton(s.caption, container);
        b->setAutoDefault(true);
        if (s.flags & DefaultButton)
            b->setDefault(true);
        return b;
    }
    case ControlKind::Frame: {
        auto* g = new QGroupBox(s.caption, container);
        g->setFlat(false);
        return g;
    }
    case ControlKind::PictureBox: {
        auto* p = new PictureBox(container);
        p->setFocusPolicy(Qt::StrongFocus);
        return p;
    }
    case ControlKind::DataGrid:
        return new DataGrid(container);
    case ControlKind::DataControl: {
        auto* d = new DataControl(container);
        d->setCaption(s.caption);
        return d;
    }
    case ControlKind::DriveList:
        return new DriveList(container);
    case ControlKind::FolderList:
        return new FolderList(container);
    case ControlKind::StatusBar:
        return new StatusBar(container);
    }
    throw InternalError("unknown control kind");
}

} // namespace

QFont windowFont()
{
    QFont f;
    // Where SimSun is missing a Song face stands in for it: AR PL UMing, whose ASCII is half
    // as wide as its Chinese as in SimSun, so every text fits the boxes drawn for SimSun.
    // The Noto faces come last: their wider Latin and taller lines do not fit every box.
    // The installed ones first, in this order, the others after them: for a family it lacks,
    // the font database works out (through fontconfig on Linux) what would stand in for it
    // before it tries the next one, and it stops at the first one installed.
    static const QStringList families = [] {
        const QStringList wanted {QStringLiteral("SimSun"), QStringLiteral("宋体"), QStringLiteral("AR PL UMing CN"),
            QStringLiteral("Noto Serif CJK SC"), QStringLiteral("Noto Sans CJK SC"), QStringLiteral("WenQuanYi Micro Hei")};
        const QStringList installed = QFontDatabase::families();
        QStringList first;
        QStringList last;
        for (const QString& family : wanted)
            (installed.contains(family, Qt::CaseInsensitive) ? first : last) << family;
        return first + last;
    }();
    f.setFamilies(families);
    f.setPointSize(9);
    f.setStyleStrategy(QFont::PreferDefault);
    return f;
}

FormWindow* buildWindow(WindowId id, const WindowSpec& window, const QList<ControlSpec>& controls,
    const QList<TimerSpec>& timers, const QStringList& tabOrder)
{
    auto* w = new FormWindow(id, window.minimizeButton);
    w->setObjectName(window.name);
    w->setWindowTitle(window.caption);
    w->setFont(windowFont());
    w->setFixedSize(twipsSize(window.clientWidth, window.clientHeight));
    w->setAttribute(Qt::WA_DeleteOnClose, false);

    QHash<QString, QWidget*> byName;
    const ApplicationFontScope font(w->font());
    for (const ControlSpec& s : controls) {
        QWidget* container = s.container.isEmpty() ? w : byName.value(s.container);
        if (!container)
            throw InternalError(("container missing for " + s.name).toStdString());
        QWidget* c = createControl(s, container);
        c->setObjectName(s.name);
        c->setGeometry(twipsRect(s.left, s.top, s.width, s.height));
        applyColours(c, s.flags);
        if (!s.toolTip.isEmpty())
            c->setToolTip(s.toolTip);
        if (s.flags & NoTabStop)
            c->setFocusPolicy(Qt::NoFocus);
        if (s.flags & Hidden)
            c->setVisible(false);
        byName.insert(s.name, c);
    }
    for (const TimerSpec& t : timers) {
        auto* timer = new QTimer(w);
        timer->setObjectName(t.name);
        timer->setInterval(t.interval);
        if (t.enabled)
            timer->start();
    }
    for (int i = 1; i < tabOrder.size(); ++i)
        QWidget::setTabOrder(byName.value(tabOrder[i - 1]), byName.value(tabOrder[i]));
    return w;
}

} // namespace tp
