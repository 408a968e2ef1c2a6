#include "FileAttachWindow.h"

#include "AttachStep.h"
#include "DataControl.h"
#include "DataGrid.h"
#include "DatabaseGrid.h"
#include "DbError.h"
#include "Events.h"
#include "FileAttachLogic.h"
#include "Services.h"
#include "SignIn.h"
#include "Statements.h"
#include "Windows.h"

#include <QLineEdit>

#include <memory>

namespace tp {

namespace {

    QLineEdit* box(QWidget& form4, const char* name)
    {
        return control<QLineEdit>(form4, QString::fromLatin1(name));
    }

    // Runs a look-up through one of the window's data controls, bound to its grid, and returns
    // the recordset it now holds. Throws DbError.
    std::shared_ptr<Recordset> runLookup(
        QWidget& form4, const char* dataControl, const char* grid, const QString& statement)
    {
        auto* adodc = control<DataControl>(form4, QString::fromLatin1(dataControl));
        adodc->setConnectionString(masterConnectionString());
        adodc->setRecordSource(statement);
        control<DataGrid>(form4, QString::fromLatin1(grid))->setDataSource(adodc);
        adodc->refresh();
        std::shared_ptr<Recordset> rs = adodc->recordset();
        if (!rs)
            throw DbError(0, QStringLiteral("No result for: %1").arg(statement));
        return rs;
    }

    // The text of one cell. A cell the result does not have fails the look-up, as reading past
    // the end of a grid does.
    QString cellText(const Recordset& rs, int row, int column, const QString& statement)
    {
        if (row < 0 || row >= rs.rowCount() || column >= rs.columnCount())
            throw DbError(
                0, QStringLiteral("The result has no row %1, column %2: %3").arg(row).arg(column).arg(statement));
        return rs.text(row, column);
    }

} // namespace

QString findFileDialogTitle()
{
    return QStringLiteral("打开");
}

QString findFileDialogFilter()
{
    return QStringLiteral("数据库文件 (*.MDF)|*.MDF");
}

void findFile(QWidget& form4)
{
    const QString chosen = FileDialogService::getOpenFileName(findFileDialogTitle(), findFileDialogFilter());
    if (chosen.isEmpty())
        return;

    QLineEdit* text4 = box(form4, "Text4");
    text4->setText(chosen);

    // The file list: one row per file, column 8 the physical name (nchar, blank-padded).
    const QString fileList = checkPrimaryFileStatement(text4->text(), 1);
    const std::shared_ptr<Recordset> files = runLookup(form4, "Adodc1", "DataGrid1", fileList);
    box(form4, "Text1")
        ->setText(cleanRecordedPath(cellText(*files, primaryFileRow, fileListPhysicalNameColumn, fileList)));
    QVector<QVariant> groupIds;
    for (int row = 0; row < files->rowCount(); ++row)
        groupIds.append(
            files->columnCount() > fileListGroupIdColumn ? files->value(row, fileListGroupIdColumn) : QVariant());
    box(form4, "Text2")
        ->setText(cleanRecordedPath(cellText(*files, logFileRow(groupIds), fileListPhysicalNameColumn, fileList)));

    // The database name: row 0 of the property list, its value (an sql_variant).
    const QString nameLookup = checkPrimaryFileStatement(text4->text(), 2);
    const std::shared_ptr<Recordset> properties = runLookup(form4, "Adodc2", "DataGrid2", nameLookup);
    box(form4, "Text3")->setText(cellText(*properties, databaseNameRow, databaseNameValueColumn, nameLookup));
}

void attachChosenFile(QWidget& form4)
{
    QLineEdit* text1 = box(form4, "Text1");
    QLineEdit* text2 = box(form4, "Text2");
    QLineEdit* text3 = box(form4, "Text3");
    QLineEdit* text4 = box(form4, "Text4");

    if (text1->text().isEmpty() && text2->text().isEmpty() && text3->text().isEmpty()) {
        MessageService::show(QStringLiteral("请输入相关信息！"), vbCritical, QStringLiteral("提示:"));
        return;
    }

    {
        auto connection = std::make_shared<Connection>(); // closed by its destructor when Execute fails
        connection->setConnectionString(masterConnectionString());
        try {
            connection->open();
        } catch (const DbError& e) {
            throw OperationError(e, { Operation::FileAttach, text3->text() });
        }
        attachFiles(connection, text3->text(), text1->text(), text2->text(), Operation::FileAttach);
        connection->close();
    }

    MessageService::show(
        QStringLiteral("附加 ") + text3->text() + QStringLiteral(" 完成！"), vbInformation, QStringLiteral("提示："));
    refreshDatabaseGrid();

    control<DataControl>(form4, QStringLiteral("Adodc1"))->closeRecordset();
    control<DataControl>(form4, QStringLiteral("Adodc2"))->closeRecordset();

    text4->setText(QString());
    text3->setText(QString());
    text2->setText(QString());
    text1->setText(QString());
}

void installFileAttachHandlers(QWidget& form4)
{
    QWidget* window = &form4;
    onClick(form4, QStringLiteral("Command1"), [window] { findFile(*window); });
    onDblClick(form4, QStringLiteral("Text1"), [window] { findFile(*window); });
    onClick(form4, QStringLiteral("Command2"), [window] { attachChosenFile(*window); });
    onClick(form4, QStringLiteral("Command3"), [] { Windows::unload(WindowId::Form4); });

    for (const char* name : { "Text1", "Text2", "Text3" }) {
        const QString boxName = QString::fromLatin1(name);
        onGotFocus(form4, boxName, [window, boxName] { selectAllText(*window, boxName); });
    }

    // Database names are typed in capitals: a lower-case a to z becomes its capital.
    onKeyPress(form4, QStringLiteral("Text3"), [](int& keyAscii) {
        if (keyAscii >= 'a' && keyAscii <= 'z')
            keyAscii -= 'a' - 'A';
    });
}

} // namespace tp
