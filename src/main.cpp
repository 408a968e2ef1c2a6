// Tallyport: starts on the login window. Everything else follows from its OK button.

#include "Artwork.h"
#include "BusyCursor.h"
#include "QtTranslation.h"
#include "Startup.h"
#include "Windows.h"

#include <QApplication>
#include <QTimer>

namespace {

// For the start-up benchmark only: with TALLYPORT_EXIT_AFTER_SHOW set, the process ends
// as soon as the login window has been painted once.
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
    QApplication app(argc, argv);
    tp::installQtTranslation();
    tp::installBusyCursor();
    QApplication::setWindowIcon(tp::mainIcon());
    // The application ends only through its exit paths, never because a window was closed.
    QApplication::setQuitOnLastWindowClosed(false);

    tp::installAll();
    QWidget& login = tp::Windows::form1();
    if (qEnvironmentVariableIsSet("TALLYPORT_EXIT_AFTER_SHOW"))
        qApp->installEventFilter(new ExitAfterFirstPaint(&login));
    login.show();
    const int rc = app.exec();
    // The windows unloaded at the end go now, and with them the connections they hold.
    tp::Windows::unloadAll();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return rc;
}
