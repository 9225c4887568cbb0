#include "window_query.h"

#include <cstdio>
#include <cstdlib>

namespace pqdriver {

namespace {

struct TitleSearch {
  const std::string* title;
  HWND found;
};

BOOL CALLBACK matchTitle(HWND window, LPARAM context) {
  auto* search = reinterpret_cast<TitleSearch*>(context);
  if (IsWindowVisible(window) && windowText(window) == *search->title) {
    search->found = window;
    return FALSE;
  }
  return TRUE;
}

void appendChildren(HWND parent, std::vector<HWND>* out) {
  for (HWND child = GetWindow(parent, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
    out->push_back(child);
    appendChildren(child, out);
  }
}

std::string withoutAccessMarkers(const std::string& caption) {
  std::string plain;
  for (size_t i = 0; i < caption.size(); ++i) {
    if (caption[i] == '&' && i + 1 < caption.size()) ++i; // "&&" keeps one '&'
    plain += caption[i];
  }
  return plain;
}

} // namespace

HWND findVisibleWindow(const std::string& title) {
  TitleSearch search{&title, nullptr};
  EnumWindows(matchTitle, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

bool pollUntil(unsigned timeoutMs, const std::function<bool()>& done) {
  const DWORD start = GetTickCount();
  for (;;) {
    if (done()) return true;
    if (GetTickCount() - start >= timeoutMs) return false;
    Sleep(kPollIntervalMs);
  }
}

HWND waitForVisibleWindow(const std::string& title, unsigned timeoutMs) {
  HWND window = nullptr;
  pollUntil(timeoutMs, [&] { return (window = findVisibleWindow(title)) != nullptr; });
  return window;
}

int windowMissing(const std::string& title, unsigned timeoutMs) {
  std::fprintf(stderr, "pqdriver: timed out after %u ms waiting for a visible window titled \"%s\"\n", timeoutMs,
               title.c_str());
  return kExitTimeout;
}

std::string windowText(HWND window) {
  // WM_GETTEXT works across processes, where the text of another program's control lives.
  const LRESULT length = SendMessageA(window, WM_GETTEXTLENGTH, 0, 0);
  std::string text(static_cast<size_t>(length) + 1, '\0');
  const LRESULT copied = SendMessageA(window, WM_GETTEXT, static_cast<WPARAM>(length + 1),
                                      reinterpret_cast<LPARAM>(text.data()));
  text.resize(copied > 0 ? static_cast<size_t>(copied) : 0);
  return text;
}

std::string className(HWND window) {
  char name[256] = {};
  const int length = GetClassNameA(window, name, sizeof(name));
  return std::string(name, length > 0 ? static_cast<size_t>(length) : 0);
}

std::vector<HWND> descendants(HWND window) {
  std::vector<HWND> all;
  appendChildren(window, &all);
  return all;
}

bool captionMatches(const std::string& caption, const std::string& wanted) {
  return caption == wanted || withoutAccessMarkers(caption) == withoutAccessMarkers(wanted);
}

HWND findButton(HWND window, const std::string& caption) {
  for (HWND child : descendants(window)) {
    if (lstrcmpiA(className(child).c_str(), "Button") == 0 && captionMatches(windowText(child), caption)) return child;
  }
  return nullptr;
}

std::string escaped(const std::string& text) {
  std::string out;
  for (char c : text) {
    switch (c) {
    case '\\': out += "\\\\"; break;
    case '\r': out += "\\r"; break;
    case '\n': out += "\\n"; break;
    case '\t': out += "\\t"; break;
    default: out += c; break;
    }
  }
  return out;
}

bool parseTimeout(const char* text, unsigned* timeoutMs) {
  char* end = nullptr;
  const unsigned long value = std::strtoul(text, &end, 10);
  if (end == text || *end != '\0' || value > 3600000UL) return false;
  *timeoutMs = static_cast<unsigned>(value);
  return true;
}

bool commandTimeout(const std::vector<std::string>& arguments, size_t required, unsigned* timeoutMs) {
  *timeoutMs = kDefaultTimeoutMs;
  if (arguments.size() < required) return false;
  if (arguments.size() == required || parseTimeout(arguments[required].c_str(), timeoutMs)) return true;
  std::fprintf(stderr, "pqdriver: '%s' is not a timeout in milliseconds\n", arguments[required].c_str());
  return false;
}

int onWindow(const std::vector<std::string>& arguments, size_t required,
             const std::function<int(HWND window, unsigned timeoutMs)>& act) {
  unsigned timeoutMs = 0;
  if (!commandTimeout(arguments, required, &timeoutMs)) return kExitUsage;
  HWND window = waitForVisibleWindow(arguments[0], timeoutMs);
  if (window == nullptr) return windowMissing(arguments[0], timeoutMs);
  return act(window, timeoutMs);
}

} // namespace pqdriver
