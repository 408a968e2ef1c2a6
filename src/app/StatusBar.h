#pragma once
// A status bar of fixed text panels, each with its own width, drawn as sunken boxes from
// the left edge on.

#include <QStringList>
#include <QVector>
#include <QWidget>

namespace tp {

class StatusBar : public QWidget {
    Q_OBJECT
public:
    explicit StatusBar(QWidget* parent = nullptr);
    // Adds a panel of the given width in pixels; returns its index (0 for the first).
    int addPanel(int width, const QString& text);
    int panelCount() const { return m_texts.size(); }
    QString panelText(int index) const { return m_texts.value(index); }
    int panelWidth(int index) const { return m_widths.value(index); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QStringList m_texts;
    QVector<int> m_widths;
};

} // namespace tp
