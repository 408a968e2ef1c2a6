#include "OperationsInstall.h"

#include "DetachButton.h"
#include "Events.h"
#include "ShrinkButtons.h"
#include "Windows.h"
#include "YearStep.h"

namespace tp {

void installOperations()
{
    Windows::onLoad(WindowId::form2, [](QWidget& form2) {
        onClick(form2, QStringLiteral("Command8"), yearStep);
        onClick(form2, QStringLiteral("Command2"), detachSelectedDatabase);
        onClick(form2, QStringLiteral("Command3"), [] { shrinkSelectedDatabase(logShrinkTarget()); });
        onClick(form2, QStringLiteral("Command9"), [] { shrinkSelectedDatabase(dataFileShrinkTarget()); });
    });
}

} // namespace tp
