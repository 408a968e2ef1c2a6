#include "Services.h"

#include "FileDialogKind.h"
#include "ScreenPlacement.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QMessageBox>
#include <QShowEvent>

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

// Qt's own dialog, once shown (placed and laid out by Qt), kept on the screen of its opener.
template <class Dialog> class KeptOnScreen : public Dialog
{
public:
    using Dialog::Dialog;

protected:
    void showEvent(QShowEvent* event) override
    {
        Dialog::showEvent(event);
        keepOnScreen(*this, this->parentWidget());
    }
};
} // namespace

void MessageService::show(const QString& text, int style, const QString& title, const QString& informative)
{
    if (recorder()) {
        recorder()(ShownMessage{text, style, title, informative});
        return;
    }
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    if (style == vbCritical)
        icon = QMessageBox::Critical;
    else if (style == vbInformation)
        icon = QMessageBox::Information;
    KeptOnScreen<QMessageBox> box(icon, title, text, QMessageBox::Ok, QApplication::activeWindow());
    box.setWindowModality(Qt::ApplicationModal);
    if (!informative.isEmpty())
        box.setInformativeText(informative);
    box.exec();
}

void MessageService::setRecorder(std::function<void(const ShownMessage&)> r)
{
    recorder() = std::move(r);
}

QString FileDialogService::getOpenFileName(const QString& title, const QString& filter)
{
    QString chosen;
    if (chooser()) {
        chosen = chooser()(title, filter);
    } else {
        QWidget* opener = QApplication::activeWindow();
        KeptOnScreen<QFileDialog> dialog(opener, title, QString(), qtFileDialogFilter(filter));
        dialog.setFileMode(QFileDialog::ExistingFile);
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        if (!systemFileDialog())
            dialog.setOption(QFileDialog::DontUseNativeDialog);
        // The system's dialog places itself (at its owner's corner): it is moved when it opens.
        const SystemDialogPlacement placement(opener);
        if (dialog.exec() == QDialog::Accepted)
            chosen = dialog.selectedFiles().value(0);
    }
    // Qt hands every path over with "/"; the windows show and send it as the system writes it.
    return QDir::toNativeSeparators(chosen);
}

QString FileDialogService::qtFileDialogFilter(const QString& filter)
{
    // "desc|pattern[;pattern]|desc|pattern" -> "desc (patterns);;desc (patterns)". Where file
    // names are case-sensitive (not on Windows) while the servers' are not, every pattern is
    // offered in upper and lower case too: "*.MDF" also finds "x.mdf".
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList entries;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        QStringList patterns;
        for (const QString& p : parts.at(i + 1).split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
            const QStringList forms = caseSensitiveFileNames()
                ? QStringList { p.trimmed(), p.trimmed().toUpper(), p.trimmed().toLower() }
                : QStringList { p.trimmed() };
            for (const QString& v : forms) {
                if (!patterns.contains(v))
                    patterns << v;
            }
        }
        QString desc = parts.at(i).trimmed();
        const int open = desc.lastIndexOf(QLatin1Char('('));
        if (open > 0 && desc.endsWith(QLatin1Char(')')))
            desc = desc.left(open).trimmed();
        entries << desc + QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) + QLatin1Char(')');
    }
    if (entries.isEmpty())
        return filter;
    return entries.join(QStringLiteral(";;"));
}

void FileDialogService::setChooser(std::function<QString(const QString&, const QString&)> c)
{
    chooser() = std::move(c);
}

} // namespace tp
