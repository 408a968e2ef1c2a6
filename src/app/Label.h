#pragma once
// A label. Where its box (sized for the windows' design font) is lower than the line of the
// font actually in use, the text is placed by its ink rather than by the font's line, so
// that no glyph is cut at the top or bottom (a pixel smaller where even the ink is higher than
// the box).

#include <QLabel>

namespace tp {

class Label : public QLabel {
    Q_OBJECT
public:
    explicit Label(const QString& text, QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};

} // namespace tp
