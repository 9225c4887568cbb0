// The program's own dialogs and application state: error dialogs, scripted Yes/No answers,
// the application cursor, message processing and minimising.
#include "platform/sim/sim_state.h"

namespace pq {

void SimOs::showErrorDialog(const std::string& text) {
  logCall("showErrorDialog", text);
  errorDialogs.push_back(text);
  if (onErrorDialog) onErrorDialog(text);
}

bool SimOs::messageBoxYesNo(const std::string& text, const std::string& caption) {
  logCall("messageBoxYesNo", text);
  messageBoxes.push_back(MessageBoxCall{text, caption});
  if (messageBoxAnswers.empty()) return false;
  const bool answer = messageBoxAnswers.front();
  messageBoxAnswers.pop_front();
  return answer;
}

// Not logged, like lastError(): reading the cursor changes nothing on the machine.
AppCursor SimOs::appCursor() { return cursor; }

void SimOs::setAppCursor(AppCursor newCursor) {
  logCall("setAppCursor", std::to_string(static_cast<int>(newCursor)));
  cursor = newCursor;
  cursorHistory.push_back(newCursor);
}

void SimOs::processMessages() {
  logCall("processMessages", "");
  ++processMessagesCount;
  if (onProcessMessages) onProcessMessages();
}

void SimOs::minimizeApplication() {
  logCall("minimizeApplication", "");
  minimized = true;
}

} // namespace pq
