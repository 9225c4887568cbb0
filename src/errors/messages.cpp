#include "errors/messages.h"

#include "errors/logFile.h"
#include "platform/os.h"

namespace {

// The system message table holds texts of 256 characters at most for the numbers we show.
constexpr uint32_t kSystemMessageBufferChars = 256;

const char* const kParagraphBreak = "\r\n\r\n";

bool isTrailingNoise(char c) {
  // The table's texts end in ".\r\n"; blanks and control characters go too, so the text can
  // be followed directly by our own layout.
  return static_cast<unsigned char>(c) <= 32 || c == '.';
}

} // namespace

std::string systemErrorText(TResult code) {
  LogOperation trace("systemErrorText", std::to_string(code));
  // The installer's own codes are negative and the system has no text for them; asking
  // would reinterpret them as large unsigned numbers.
  if (code < 0) return std::string();
  std::string text = pq::os().systemMessage(static_cast<uint32_t>(code), kSystemMessageBufferChars);
  std::string::size_type end = text.size();
  while (end > 0 && isTrailingNoise(text[end - 1])) --end;
  text.resize(end);
  return text;
}

namespace {

// 100 is the run-time library's number for a read past the end of a file, not the system's:
// the system's text for 100 is about semaphores.
std::string codeText(TResult code) {
  if (code == kIoErr_ReadBeyondEnd) return "Read beyond end of file";
  return systemErrorText(code);
}

} // namespace

std::string installErrorMessage(TResult code, const std::string& fileName) {
  switch (code) {
  case kErr_SaverBusy:
    return "Setup Error: Screen Saver file is busy.\r\n\r\n"
           "Please close the screen saver control panel and try again.";
  case kErr_ActionRunning:
    return "Setup Error: Another installation or un-installation is running on this computer.\r\n\r\n"
           "Please wait until it has finished and try again.";
  case kErr_InstallerCorrupted:
    return "Installation Error: \r\n\r\nFile " + fileName +
           " may be corrupted. Please get a new copy and try installation again.";
  case kErr_FileBusy:
    return "Installation Error: \r\n\r\nFile " + fileName +
           " is busy and cannot be replaced. Please close any other application that may be using "
           "this file and try again.";
  case kErr_Unspecified:
    return "Installation Error: Unspecified error.";
  default:
    return "Installation Error: Problem using " + fileName + ". " + kParagraphBreak + codeText(code);
  }
}

std::string systemErrorMessage(TResult code, const std::string& text) {
  return "System Error: " + text + kParagraphBreak + systemErrorText(code);
}

void showErrorDialog(const std::string& text) {
  LogOperation trace("showErrorDialog", text);
  pq::os().showErrorDialog(text);
}

void showInstallError(TResult code, const std::string& fileName) {
  LogOperation trace("showInstallError", std::to_string(code) + " " + fileName);
  showErrorDialog(installErrorMessage(code, fileName));
}

void showSystemError(TResult code, const std::string& text) {
  LogOperation trace("showSystemError", std::to_string(code) + " " + text);
  showErrorDialog(systemErrorMessage(code, text));
}
