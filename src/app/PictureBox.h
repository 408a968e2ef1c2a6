#pragma once
// A picture box: a container that paints its picture at its top-left corner on the system
// window colour. Its children are placed relative to it.

#include <QImage>
#include <QWidget>

namespace tp {

class PictureBox : public QWidget {
    Q_OBJECT
public:
    explicit PictureBox(QWidget* parent = nullptr);
    void setPicture(const QImage& picture);
    QImage picture() const { return m_picture; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage m_picture;
};

} // namespace tp
