#pragma once

namespace tp {

// The digit filter of the number boxes (Text2, Text3, Text6). keyAscii is the typed
// character's code read as a signed 16-bit value (characters from an input method can be
// negative). Returns the code unchanged for "0" to "9" (48..57) and backspace (8); 0, which
// discards the key, for everything else, Enter, minus and the decimal point included.
int digitFilter(int keyAscii);

} // namespace tp
