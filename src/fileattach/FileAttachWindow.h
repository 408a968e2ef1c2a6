#pragma once
// The behaviour of the file window Form4: pick a primary data file, let the server read
// what the file records (its files and its database name), attach it under a name.
//
// The window's state is its four boxes: Text1 data path, Text2 log path, Text3 database
// name, Text4 the chosen file as the dialog returned it. Every handler runs inside the
// error boundary: a DbError from a look-up or the attach ends the action at that step,
// is reported, and leaves the window open with the boxes as they were at that step.

#include <QString>

class QWidget;

namespace tp {

// Title and filter of the file-open dialog (a single entry, database files).
QString findFileDialogTitle();
QString findFileDialogFilter();

// Find file: dialog; nothing chosen → nothing changes. Else Text4 := the path; the file
// list (Adodc1) gives Text1 (row 0) and Text2 (the log row); the name look-up (Adodc2)
// gives Text3. Throws DbError.
void findFile(QWidget& form4);

// Attach: all three of Text1..Text3 empty → the refusal message. Else sp_attach_db over a
// command connection, the completion message, the main window's grid refreshed, both data
// controls' record sets closed, the four boxes emptied. Throws DbError.
void attachChosenFile(QWidget& form4);

// Wires the window's events (find file on Command1 and a double-click on Text1, attach on
// Command2, exit on Command3, select-on-focus on Text1..Text3, capitals in Text3).
void installFileAttachHandlers(QWidget& form4);

} // namespace tp
