#pragma once
// The application's pictures, drawn in code: the login window's picture and the icons.

#include <QIcon>
#include <QImage>

namespace tp {

// 422 x 277, 24-bit: a white field, the heading "登录系统" in large grey-blue characters at
// the upper left over a pattern of grey squares, a grey curve along the bottom.
QImage loginPicture();
QIcon loginIcon(); // 32x32 and 16x16, 16 colours: the login window
QIcon mainIcon(); // 16x16, 16 colours: the main window and the application
QIcon attachIcon(); // 32x32, 16 colours: the progress and file windows

} // namespace tp
