#pragma once

namespace tp {

// Installs the multi-year attach: form2's Command7 and Timer2, Form3's Timer1 and its unload.
void installBatch();

} // namespace tp
