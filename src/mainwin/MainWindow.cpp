// The main window's load sequence and the database grid's mouse handler.

#include "MainWindowInstall.h"

#include "DataGrid.h"
#include "DatabaseGrid.h"
#include "Events.h"
#include "FolderList.h"
#include "Windows.h"

#include <QDate>
#include <QLineEdit>

namespace tp {

void installMainWindow()
{
    Windows::onLoad(WindowId::form2, [](QWidget& w) {
        control<QLineEdit>(w, QStringLiteral("Text3"))->setText(QDate::currentDate().toString(QStringLiteral("yyyy")));
        control<QLineEdit>(w, QStringLiteral("Text1"))->setText(control<FolderList>(w, QStringLiteral("Dir1"))->path());
        setupDatabaseGrid();
        onGridMouse(w, QStringLiteral("DataGrid1"), [&w] {
            const QString current = control<DataGrid>(w, QStringLiteral("DataGrid1"))->text();
            control<QLineEdit>(w, QStringLiteral("Text5"))->setText(current);
        });
    });
}

} // namespace tp
