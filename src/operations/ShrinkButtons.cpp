#include "ShrinkButtons.h"

#include "Ado.h"
#include "BoxText.h"
#include "ErrorHints.h"
#include "OperationFailure.h"
#include "Services.h"
#include "Shrink.h"
#include "SignIn.h"
#include "Windows.h"

#include <memory>

namespace tp {

ShrinkTarget logShrinkTarget()
{
    return { 2, QStringLiteral("Text7"), QStringLiteral("日志文件收缩成功！") };
}

ShrinkTarget dataFileShrinkTarget()
{
    return { 1, QStringLiteral("Text8"), QStringLiteral("数据库收缩成功！") };
}

void shrinkSelectedDatabase(const ShrinkTarget& target)
{
    QWidget& form2 = Windows::form2();
    if (boxText(form2, QStringLiteral("Text5")).isEmpty()) {
        MessageService::show(QStringLiteral("请选择数据库名称！"), vbCritical, QStringLiteral("提示:"));
        return;
    }

    // Logical-name look-up, as a bound query: the box shows the first row's "name".
    try {
        auto lookup = std::make_shared<Connection>();
        lookup->open(databaseConnectionString(boxText(form2, QStringLiteral("Text5"))), QString(), QString(),
            adConnectUnspecified);
        setBoxText(form2, target.box, readLogicalName(lookup, target.fileId));
        lookup->close();
    } catch (const DbError& e) {
        throwOperationError(e, { Operation::Shrink, boxText(form2, QStringLiteral("Text5")) });
    }

    const QString database = boxText(form2, QStringLiteral("Text5"));
    auto command = std::make_shared<Connection>(); // closed by its destructor if a later call throws
    QString note;
    try {
        command->setConnectionString(databaseConnectionString(database));
        command->open();
        const ShrinkPlan plan = shrinkFile(command, database, boxText(form2, target.box), target.fileId);
        command->close();
        // The completion message stays as it is; a line under it says that the round trip
        // through SIMPLE broke the log backup chain.
        if (plan.truncation == LogTruncation::SimpleRoundTrip)
            note = logChainBrokenNote(database, plan.recoveryModel);
    } catch (const OperationError& e) {
        throwOperationError(e, e.context());
    } catch (const DbError& e) {
        throwOperationError(e, { Operation::Shrink, database });
    }

    MessageService::show(target.successMessage, vbInformation, QStringLiteral("提示："), note);
}

} // namespace tp
