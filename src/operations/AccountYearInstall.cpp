#include "AccountYearInstall.h"

#include "PathTimer.h"
#include "Windows.h"

namespace tp {

void installAccountYearPaths()
{
    Windows::onLoad(WindowId::form2, [](QWidget& form) { installPathTimer(form); });
}

} // namespace tp
