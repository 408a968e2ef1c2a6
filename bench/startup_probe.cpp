// The start-up benchmark's Tallyport: the program exactly as main.cpp runs it, except that the
// process ends as soon as the login window has been painted once.

#include "Startup.h"

#include <QCoreApplication>
#include <QEvent>
#include <QTimer>
#include <QWidget>

namespace {

class ExitAfterFirstPaint : public QObject {
public:
    explicit ExitAfterFirstPaint(QWidget* window)
        : QObject(window)
        , m_window(window)
    {
    }
    bool eventFilter(QObject* o, QEvent* e) override
    {
        if (e->type() == QEvent::Paint && !m_done && o->isWidgetType()
            && static_cast<QWidget*>(o)->window() == m_window) {
            m_done = true;
            QTimer::singleShot(0, qApp, [] { QCoreApplication::exit(0); });
        }
        return false;
    }

private:
    QWidget* m_window;
    bool m_done = false;
};

} // namespace

int main(int argc, char* argv[])
{
    return tp::runTallyport(argc, argv, [](QWidget& login) { qApp->installEventFilter(new ExitAfterFirstPaint(&login)); });
}
