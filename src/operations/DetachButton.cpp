#include "DetachButton.h"

#include "Ado.h"
#include "BoxText.h"
#include "DatabaseGrid.h"
#include "Detach.h"
#include "OperationFailure.h"
#include "Services.h"
#include "SignIn.h"
#include "Windows.h"

namespace tp {

void detachSelectedDatabase()
{
    QWidget& form2 = Windows::form2();
    if (boxText(form2, QStringLiteral("Text5")).isEmpty()) {
        MessageService::show(QStringLiteral("请选择数据库名称！"), vbCritical, QStringLiteral("提示:"));
        return;
    }

    const QString name = boxText(form2, QStringLiteral("Text5"));
    try {
        Connection connection; // closed by its destructor if a later call throws
        connection.setConnectionString(masterConnectionString());
        connection.open();
        detachDatabase(connection, name);
        connection.close();
    } catch (const OperationError& e) {
        throwOperationError(e, e.context());
    } catch (const DbError& e) {
        throwOperationError(e, { Operation::Detach, name });
    }

    MessageService::show(
        QStringLiteral("分离数据库 ") + name + QStringLiteral(" 成功！"), vbInformation, QStringLiteral("提示："));
    refreshDatabaseGrid();
}

} // namespace tp
