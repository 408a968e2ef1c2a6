#pragma once
// The four windows, each built from its layout table: every control with its kind,
// caption or text, place and size in twips, visibility, colours and tab order.
// Only Windows.cpp creates them.

#include "FormWindow.h"

namespace tp {

FormWindow* createForm1(); // login window
FormWindow* createForm2(); // main window
FormWindow* createForm3(); // progress window
FormWindow* createForm4(); // file window

// The texts of the main window's caption and status bar panels.
QString mainWindowCaption();
QStringList statusBarTexts();

} // namespace tp
