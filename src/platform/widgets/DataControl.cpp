#include "DataControl.h"

#include "RecordsetModel.h"

#include <QPaintEvent>
#include <QPainter>
#include <QPainterPath>
#include <QStyleOptionFrame>

namespace tp {

DataControl::DataControl(QWidget* parent)
    : QWidget(parent)
    , m_model(new RecordsetModel(this))
{
}

DataControl::~DataControl()
{
    closeRecordset();
}

QString DataControl::connectionString() const
{
    return m_connectionString;
}

void DataControl::setConnectionString(const QString& s)
{
    m_connectionString = s;
}

QString DataControl::recordSource() const
{
    return m_recordSource;
}

void DataControl::setRecordSource(const QString& s)
{
    m_recordSource = s;
}

QString DataControl::caption() const
{
    return m_caption;
}

void DataControl::setCaption(const QString& s)
{
    m_caption = s;
    update();
}

void DataControl::refresh()
{
    // The previous recordset and its connection go first, so that at no time two sessions
    // of this control are open; if the new query fails, the model stays empty.
    closeRecordset();

    auto connection = std::make_shared<Connection>();
    connection->open(m_connectionString, QString(), QString(), adConnectUnspecified);
    auto recordset = std::make_shared<Recordset>();
    recordset->open(m_recordSource, connection, adOpenStatic, adLockOptimistic, adCmdUnspecified);

    m_recordset = std::move(recordset);
    m_model->setRecordset(m_recordset);
    emit refreshed();
}

QAbstractItemModel* DataControl::model() const
{
    return m_model;
}

std::shared_ptr<Recordset> DataControl::recordset() const
{
    return m_recordset;
}

void DataControl::closeRecordset()
{
    m_model->setRecordset(nullptr);
    if (m_recordset) {
        m_recordset->close();
        m_recordset.reset();
    }
}

void DataControl::paintEvent(QPaintEvent* event)
{
    Q_UNUSED(event)
    // A bar with the four record buttons (first, previous, next, last) at its ends and the
    // caption between them.
    QPainter p(this);
    const QRect r = rect();
    p.fillRect(r, palette().button());
    QStyleOptionFrame frame;
    frame.initFrom(this);
    frame.rect = r;
    frame.lineWidth = 1;
    frame.state |= QStyle::State_Raised;
    style()->drawPrimitive(QStyle::PE_Frame, &frame, &p, this);

    const int h = r.height();
    const int button = qMin(h, 20);
    auto drawButton = [&](int x, bool left, bool bar) {
        const QRect b(x, r.top() + (h - button) / 2, button, button);
        QStyleOptionFrame bf;
        bf.initFrom(this);
        bf.rect = b;
        bf.lineWidth = 1;
        bf.state |= QStyle::State_Raised;
        style()->drawPrimitive(QStyle::PE_Frame, &bf, &p, this);
        const int cx = b.center().x();
        const int cy = b.center().y();
        const int s = qMax(2, button / 5);
        QPainterPath tri;
        if (left) {
            tri.moveTo(cx - s, cy);
            tri.lineTo(cx + s, cy - s);
            tri.lineTo(cx + s, cy + s);
        } else {
            tri.moveTo(cx + s, cy);
            tri.lineTo(cx - s, cy - s);
            tri.lineTo(cx - s, cy + s);
        }
        tri.closeSubpath();
        p.fillPath(tri, palette().buttonText());
        if (bar) {
            const int bx = left ? cx - s - 2 : cx + s + 1;
            p.fillRect(QRect(bx, cy - s, 1, 2 * s + 1), palette().buttonText());
        }
    };
    drawButton(r.left(), true, true);
    drawButton(r.left() + button, true, false);
    drawButton(r.right() - 2 * button + 1, false, false);
    drawButton(r.right() - button + 1, false, true);

    p.setPen(palette().color(QPalette::ButtonText));
    const QRect text(r.left() + 2 * button + 2, r.top(), qMax(0, r.width() - 4 * button - 4), h);
    p.drawText(text, Qt::AlignVCenter | Qt::AlignLeft, m_caption);
}

} // namespace tp
