#pragma once
// A multi-line text box: wraps long text onto further lines at the box's width. Read-only
// where the window says so, but its text can still be selected and copied.
// text()/setText() give it the same interface as a single-line box.

#include <QPlainTextEdit>

namespace tp {

class TextArea : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit TextArea(QWidget* parent = nullptr);
    QString text() const;
    // Replaces the whole text. Setting the text it already holds changes nothing (no
    // redraw, no change signal), so a display that is rewritten often costs nothing.
    void setText(const QString& text);
};

} // namespace tp
