#include "QtTranslation.h"

#include <QCoreApplication>
#include <QTranslator>

namespace tp {

namespace {

    // The kinds of entries in Qt's file dialog, which Qt's own translation leaves in English.
    class FileKindTranslator : public QTranslator
    {
    public:
        using QTranslator::QTranslator;
        QString translate(const char* context, const char* source, const char*, int) const override
        {
            if (qstrcmp(context, "QAbstractFileIconProvider") != 0)
                return {};
            static const struct
            {
                const char* source;
                const char* text;
            } kinds[] = { { "Folder", "文件夹" }, { "File Folder", "文件夹" }, { "Drive", "驱动器" },
                { "Shortcut", "快捷方式" }, { "Alias", "替身" }, { "Unknown", "未知" } };
            for (const auto& k : kinds)
                if (qstrcmp(source, k.source) == 0)
                    return QString::fromUtf8(k.text);
            return {};
        }
        bool isEmpty() const override { return false; }
    };

} // namespace

bool installQtTranslation()
{
    static QTranslator* installed = nullptr;
    if (installed)
        return true;
    auto* translator = new QTranslator(QCoreApplication::instance());
    if (!translator->load(QStringLiteral(":/translations/qtbase_zh_CN.qm"))
        || !QCoreApplication::installTranslator(translator)) {
        delete translator;
        return false;
    }
    QCoreApplication::installTranslator(new FileKindTranslator(QCoreApplication::instance()));
    installed = translator;
    return true;
}

} // namespace tp
