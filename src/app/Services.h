#pragma once
// Message boxes and the file-open dialog go through these two services. Nothing outside
// their real implementation includes QMessageBox or QFileDialog. Tests install a recorder
// that keeps {style, title, text} and answers OK, or a chooser that returns a file name.

#include <QString>
#include <functional>
#include <utility>

namespace tp {

constexpr int vbCritical = 16; // stop icon, OK only
constexpr int vbInformation = 64; // information icon, OK only

struct ShownMessage {
    ShownMessage() = default;
    ShownMessage(QString text_, int style_, QString title_, QString informative_ = QString())
        : text(std::move(text_))
        , style(style_)
        , title(std::move(title_))
        , informative(std::move(informative_))
    {
    }
    QString text;
    int style = 0;
    QString title;
    QString informative; // a further line under the text in the box's smaller type; mostly empty
};

class MessageService {
public:
    // Modal, OK only. Returns when the user has pressed OK. `informative`, when given, stands
    // under the text (QMessageBox's informative text): the text itself stays as it is.
    static void show(const QString& text, int style, const QString& title, const QString& informative = QString());
    // Tests: every message goes to the recorder instead of a real box; nullptr restores.
    static void setRecorder(std::function<void(const ShownMessage&)> recorder);
};

class FileDialogService {
public:
    // The file-open dialog. Returns the chosen file's full path with the system's separators
    // (a backslash on Windows), empty when cancelled.
    static QString getOpenFileName(const QString& title, const QString& filter);
    static void setChooser(std::function<QString(const QString& title, const QString& filter)> chooser);
    // The dialog's "desc|pattern|desc|pattern" filter in the form Qt's dialog reads,
    // with every pattern matched whatever its case (in both cases where file names have case).
    static QString qtFileDialogFilter(const QString& filter);
};

} // namespace tp
