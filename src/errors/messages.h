// The only ways a failure reaches the user: one modal error dialog, with texts built here.
#pragma once

#include <cstdint>
#include <string>

#include "errors/result_codes.h"

// The operating system's text for an error number, from the system message table
// (256 characters at most), with trailing blanks, control characters and full stops
// removed. Empty when the system has none, as for every negative code.
std::string systemErrorText(TResult code);

// The message texts, built without showing anything (the dialogs below show exactly these).
std::string installErrorMessage(TResult code, const std::string& fileName);
std::string systemErrorMessage(TResult code, const std::string& text);

// The program's error dialog: "Error", stop icon, one "&Abort" button. Blocks until closed.
void showErrorDialog(const std::string& text);
// The installation error dialog for a result code and the file concerned.
void showInstallError(TResult code, const std::string& fileName);
// "System Error: " + text, an empty line, and the system's text for the code.
void showSystemError(TResult code, const std::string& text);
