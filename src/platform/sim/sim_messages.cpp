// The system message table: the English texts Windows keeps for the error numbers an
// installer meets, each ending in ".\r\n" as FormatMessageA returns them.
#include <cstring>

#include "platform/sim/sim_state.h"

namespace pq {

namespace {

constexpr uint32_t kErrorInsufficientBuffer = 122;

struct SystemMessage {
  uint32_t code;
  const char* text;
};

// With FORMAT_MESSAGE_IGNORE_INSERTS an insert such as "%1" stays in the text as it is.
constexpr SystemMessage kSystemMessages[] = {
    {0, "The operation completed successfully.\r\n"},
    {1, "Incorrect function.\r\n"},
    {2, "The system cannot find the file specified.\r\n"},
    {3, "The system cannot find the path specified.\r\n"},
    {4, "The system cannot open the file.\r\n"},
    {5, "Access is denied.\r\n"},
    {6, "The handle is invalid.\r\n"},
    {8, "Not enough memory resources are available to process this command.\r\n"},
    {15, "The system cannot find the drive specified.\r\n"},
    {18, "There are no more files.\r\n"},
    {19, "The media is write protected.\r\n"},
    {21, "The device is not ready.\r\n"},
    {23, "Data error (cyclic redundancy check).\r\n"},
    {29, "The system cannot write to the specified device.\r\n"},
    {30, "The system cannot read from the specified device.\r\n"},
    {32, "The process cannot access the file because it is being used by another process.\r\n"},
    {33, "The process cannot access the file because another process has locked a portion of the file.\r\n"},
    {38, "Reached the end of the file.\r\n"},
    {39, "The disk is full.\r\n"},
    {80, "The file exists.\r\n"},
    {87, "The parameter is incorrect.\r\n"},
    {100, "Cannot create another system semaphore.\r\n"},
    {112, "There is not enough space on the disk.\r\n"},
    {122, "The data area passed to a system call is too small.\r\n"},
    {123, "The filename, directory name, or volume label syntax is incorrect.\r\n"},
    {126, "The specified module could not be found.\r\n"},
    {127, "The specified procedure could not be found.\r\n"},
    {131, "An attempt was made to move the file pointer before the beginning of the file.\r\n"},
    {183, "Cannot create a file when that file already exists.\r\n"},
    {193, "%1 is not a valid Win32 application.\r\n"},
    {206, "The filename or extension is too long.\r\n"},
    {259, "No more data is available.\r\n"},
    {1018, "Illegal operation attempted on a registry key that has been marked for deletion.\r\n"},
};

} // namespace

std::string SimOs::systemMessage(uint32_t code, uint32_t bufferChars) {
  if (enterCall("systemMessage", std::to_string(code))) return std::string();
  for (const SystemMessage& message : kSystemMessages) {
    if (message.code != code) continue;
    const std::string text = message.text;
    // FormatMessageA without FORMAT_MESSAGE_ALLOCATE_BUFFER does not cut a text that does
    // not fit: it fails with ERROR_INSUFFICIENT_BUFFER and delivers nothing.
    if (text.size() + 1 > bufferChars) {
      setLastError(kErrorInsufficientBuffer);
      return std::string();
    }
    return text;
  }
  // 317: ERROR_MR_MID_NOT_FOUND, what FormatMessage reports for a number it has no text for.
  setLastError(317);
  return std::string();
}

} // namespace pq
