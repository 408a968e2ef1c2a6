#pragma once
// The multi-year attach: form2's Command7 starts a run, every tick of form2's Timer2 (500 ms)
// attaches one year through the year step, and the progress window Form3 shows which
// database comes next and how many remain. The run's state is the main window's boxes:
// Text3 the year the next step attaches, Text6 the count of years still to attach.

namespace tp {

// Command7's click. Data file test first (it shows its own message); then an empty Text6 gets
// "请输入年度个数！" (title "错误："); otherwise Timer2 is enabled and Form3 shown modally. Returns
// once Form3 has been unloaded.
void startRun();

// Timer2's tick. Text6 := number(Text6) − 1; while that is 0 or more, the year step runs.
// Otherwise Text6 := "0", Timer2 stops, Form3 is unloaded and "附加数据库完成！" is shown.
// A failing step ends the run before its error goes on to the error report: Timer2 stops, Form3
// is unloaded, and Text6 gets back the 1 this tick took, so that with Text3 still naming the
// failing year the boxes describe exactly what remains and a new start resumes there.
void runTick();

// Form3's Timer1 tick (10 ms): rebuilds Label1 from form2's Text2, Text3 and Text6, or stops
// Timer1 once fewer than one year remains.
void progressTick();

// Form3 unloaded (close box, Esc, or code). When a run is still going this cancels it: Timer2
// stops, no further step runs and no completion message follows; the boxes already describe
// the remainder, since a step completes before any other event is handled.
void progressWindowUnloaded();

} // namespace tp
