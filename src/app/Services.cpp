#include "Services.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>

namespace tp {

namespace {
std::function<void(const ShownMessage&)>& recorder()
{
    static std::function<void(const ShownMessage&)> r;
    return r;
}
std::function<QString(const QString&, const QString&)>& chooser()
{
    static std::function<QString(const QString&, const QString&)> c;
    return c;
}
} // namespace

void MessageService::show(const QString& text, int style, const QString& title)
{
    if (recorder()) {
        recorder()(ShownMessage{text, style, title});
        return;
    }
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    if (style == vbCritical)
        icon = QMessageBox::Critical;
    else if (style == vbInformation)
        icon = QMessageBox::Information;
    QMessageBox box(icon, title, text, QMessageBox::Ok, QApplication::activeWindow());
    box.setWindowModality(Qt::ApplicationModal);
    box.exec();
}

void MessageService::setRecorder(std::function<void(const ShownMessage&)> r)
{
    recorder() = std::move(r);
}

QString FileDialogService::getOpenFileName(const QString& title, const QString& filter)
{
    if (chooser())
        return chooser()(title, filter);
    return QFileDialog::getOpenFileName(QApplication::activeWindow(), title, QString(), filter);
}

void FileDialogService::setChooser(std::function<QString(const QString&, const QString&)> c)
{
    chooser() = std::move(c);
}

} // namespace tp
