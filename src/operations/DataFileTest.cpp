#include "DataFileTest.h"

#include "FileLookup.h"
#include "Services.h"
#include "Windows.h"

namespace tp {

bool dataFileTest()
{
    const QString dataFile = controlText(Windows::form2(), QStringLiteral("Text4"));
    if (normalFileExists(dataFile))
        return true;
    MessageService::show(
        QStringLiteral("附加的文件不存在，请检查数据源路径是否正确！"), vbCritical, QStringLiteral("错误："));
    return false;
}

} // namespace tp
