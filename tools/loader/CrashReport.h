#pragma once
// The host tools distrust the plug-ins they load: a crash inside a plug-in is reported with what
// the tool was doing, instead of ending the process without a word.

namespace zt::loader {

// Exit status of a process whose plug-in crashed.
constexpr int kCrashExitStatus = 3;

// Installs handlers for the fatal signals (POSIX) or an unhandled-exception filter (Windows) that
// print "<program>: the plug-in crashed (<what>) while <step>" on the standard error stream and
// end the process with kCrashExitStatus. program must stay valid for the process's life.
void InstallCrashReport(const char* program);

// What the tool is doing now, for the report; the text must stay valid (a string literal).
void SetCrashStep(const char* step);

} // namespace zt::loader
