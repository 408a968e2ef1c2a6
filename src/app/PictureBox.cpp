#include "PictureBox.h"

#include <QPainter>

namespace tp {

PictureBox::PictureBox(QWidget* parent)
    : QWidget(parent)
{
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Base);
    setForegroundRole(QPalette::Text);
}

void PictureBox::setPicture(const QImage& picture)
{
    m_picture = picture;
    update();
}

void PictureBox::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    if (!m_picture.isNull())
        p.drawImage(QPoint(0, 0), m_picture);
    if (hasFocus()) {
        QPen pen(palette().color(QPalette::Text), 1, Qt::DotLine);
        p.setPen(pen);
        p.drawRect(rect().adjusted(0, 0, -1, -1));
    }
}

} // namespace tp
