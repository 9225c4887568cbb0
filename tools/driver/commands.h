// The driver's subcommands. Each takes the arguments after its name and returns the exit
// code; a failure prints one line to stderr that says what was awaited or what went wrong.
#pragma once

#include <string>
#include <vector>

namespace pqdriver {

using Arguments = std::vector<std::string>;

int waitWindow(const Arguments& arguments);  // TITLE [timeout-ms]
int waitGone(const Arguments& arguments);    // TITLE [timeout-ms]
int waitText(const Arguments& arguments);    // TITLE TEXT [timeout-ms]
int texts(const Arguments& arguments);       // TITLE [timeout-ms]
int dialogText(const Arguments& arguments);  // TITLE [timeout-ms]
int click(const Arguments& arguments);       // TITLE BUTTON-TEXT [timeout-ms]
int answer(const Arguments& arguments);      // TITLE BUTTON-TEXT [timeout-ms]
int closeWindow(const Arguments& arguments); // TITLE [timeout-ms]
int queryEndSession(const Arguments& arguments); // TITLE [timeout-ms]
int pointAt(const Arguments& arguments);     // TITLE CONTROL-TEXT [timeout-ms]
int makeWindow(const Arguments& arguments);  // TITLE [record-file] [lifetime-ms] [hang]
int screenSaverActive(const Arguments& arguments); // (no arguments)
int holdFile(const Arguments& arguments);    // PATH HOLD-MS
int holdEvent(const Arguments& arguments);   // NAME HOLD-MS
int runCommand(const Arguments& arguments);  // COMMAND-LINE [timeout-ms]

} // namespace pqdriver
