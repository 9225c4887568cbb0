// The saver's answer to "/u", the command the system's list of installed programs runs.
#pragma once

// `commandLine` is the saver's whole argument text, its first switch being /u or -u (with
// or without an option after a colon). Returns the process's exit code.
int runUninstallSwitch(const char* commandLine);
