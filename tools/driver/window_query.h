// Finding other programs' windows and reading their controls, with bounded waits.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/win32/windows_api.h"

namespace pqdriver {

// Every wait of the driver is bounded; this one applies when a command is given none.
constexpr unsigned kDefaultTimeoutMs = 10000;
// How often a wait looks again.
constexpr unsigned kPollIntervalMs = 50;

enum ExitCode { kExitOk = 0, kExitUsage = 1, kExitTimeout = 2, kExitFailure = 3 };

// Asks `done` every kPollIntervalMs until it says yes (true) or `timeoutMs` have passed (false).
bool pollUntil(unsigned timeoutMs, const std::function<bool()>& done);

// The first visible top-level window titled exactly `title`, or null.
HWND findVisibleWindow(const std::string& title);
// As above, waiting up to `timeoutMs`; null when the time ran out.
HWND waitForVisibleWindow(const std::string& title, unsigned timeoutMs);
// The timeout of a wait for such a window: says so on stderr and returns kExitTimeout.
int windowMissing(const std::string& title, unsigned timeoutMs);

std::string windowText(HWND window);
std::string className(HWND window);

// All descendants of `window`, in Z-order within each parent, parents before children.
std::vector<HWND> descendants(HWND window);

// "&Abort" matches "&Abort" and "Abort": the access-key marker is optional.
bool captionMatches(const std::string& caption, const std::string& wanted);
// The button under `window` whose caption matches, or null.
HWND findButton(HWND window, const std::string& caption);

// Text with backslash, CR, LF and tab escaped, so that one control is one output line.
std::string escaped(const std::string& text);

// Parses a timeout argument; false when it is not a plain number of milliseconds.
bool parseTimeout(const char* text, unsigned* timeoutMs);
// A command's `required` arguments and the optional timeout after them, kDefaultTimeoutMs when
// absent: false when fewer are given, or (with a message) when the timeout is not a number.
bool commandTimeout(const std::vector<std::string>& arguments, size_t required, unsigned* timeoutMs);
// A command on a window: `required` arguments, the first the window's title, and the optional
// timeout. Waits for that window and returns what `act` makes of it; kExitUsage for wrong
// arguments, windowMissing's code when the window does not come.
int onWindow(const std::vector<std::string>& arguments, size_t required,
             const std::function<int(HWND window, unsigned timeoutMs)>& act);

} // namespace pqdriver
