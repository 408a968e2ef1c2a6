#include "FileAttachInstall.h"

#include "FileAttachWindow.h"
#include "Windows.h"

namespace tp {

void installFileAttach()
{
    Windows::onLoad(WindowId::Form4, [](QWidget& form4) { installFileAttachHandlers(form4); });
}

} // namespace tp
