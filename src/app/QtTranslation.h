#pragma once
// Qt's own texts (message box buttons, the file dialog, the text boxes' context menus) in
// Simplified Chinese, whatever the system's language: the windows are Chinese anyway.
// The translation is compiled into the program's resources, so no file has to lie beside it.

namespace tp {

// Installs Qt's Simplified Chinese translation on the running application, once. Returns
// false when the translation could not be loaded (Qt's texts then stay English).
bool installQtTranslation();

} // namespace tp
