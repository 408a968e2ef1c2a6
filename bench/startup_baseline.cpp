// The baseline of the start-up benchmark: a minimal Qt Widgets program that shows one empty
// window and ends after its first paint, as tallyport-startup-probe does.

#include <QApplication>
#include <QTimer>
#include <QWidget>

class Window : public QWidget {
protected:
    void paintEvent(QPaintEvent*) override
    {
        if (!m_done) {
            m_done = true;
            QTimer::singleShot(0, qApp, [] { QCoreApplication::exit(0); });
        }
    }

private:
    bool m_done = false;
};

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    Window w;
    w.resize(364, 215);
    w.show();
    return app.exec();
}
