#pragma once
// The data file test run before an attach starts.

namespace tp {

// Looks up the exact name shown in form2's Text4 (the data file path; it does not build the
// path again) as a regular file with normal attributes (FileLookup.h). When nothing is found
// it shows "附加的文件不存在，请检查数据源路径是否正确！" (stop icon, title "错误：") and returns
// false; the caller then stops. Returns true when the file is there. Only the data file is
// tested: a missing log file shows up as a failure of the attach statement itself.
bool dataFileTest();

} // namespace tp
