// Opening a file or URL through the desktop shell's own process. The installer runs elevated,
// and whatever it starts itself inherits that: a browser started by ShellExecute would run
// with administrator rights. The shell (Explorer) runs as the signed-in user; asked through its
// automation interfaces it starts the program itself, with its own rights.
//
//   IShellWindows (CLSID_ShellWindows, out of process) -> FindWindowSW(desktop) -> IDispatch
//   -> IServiceProvider -> SID_STopLevelBrowser: IShellBrowser -> QueryActiveShellView
//   -> GetItemObject(background): IShellFolderViewDual -> get_Application: IShellDispatch2
//   -> ShellExecute(file)
#include "platform/win32/win32_os.h"

#include <exdisp.h>
#include <shldisp.h>
#include <shlguid.h>
#include <shlobj.h>

#include <string>
#include <vector>

namespace pq::win32 {

namespace {

// One reference to a COM interface, released when it goes.
template <typename Interface>
class ComRef {
public:
  ComRef() = default;
  ~ComRef() {
    if (pointer != nullptr) pointer->Release();
  }
  ComRef(const ComRef&) = delete;
  ComRef& operator=(const ComRef&) = delete;

  Interface* operator->() const { return pointer; }
  Interface** out() { return &pointer; }
  void** outVoid() { return reinterpret_cast<void**>(&pointer); }

private:
  Interface* pointer = nullptr;
};

// COM for the calling thread while the object lives. A thread that already has COM in another
// mode keeps it, and the calls work there as well.
class ComApartment {
public:
  ComApartment() : initialized(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {}
  ~ComApartment() {
    if (initialized) CoUninitialize();
  }
  ComApartment(const ComApartment&) = delete;
  ComApartment& operator=(const ComApartment&) = delete;

private:
  bool initialized;
};

// The desktop shell's automation object, or false when no shell answers.
bool desktopShell(ComRef<IShellDispatch2>* shell) {
  ComRef<IShellWindows> windows;
  if (FAILED(CoCreateInstance(CLSID_ShellWindows, nullptr, CLSCTX_LOCAL_SERVER, IID_IShellWindows,
                              windows.outVoid())))
    return false;
  VARIANT desktop;
  VariantInit(&desktop);
  desktop.vt = VT_I4;
  desktop.lVal = CSIDL_DESKTOP;
  VARIANT none;
  VariantInit(&none);
  long window = 0;
  ComRef<IDispatch> found;
  if (windows->FindWindowSW(&desktop, &none, SWC_DESKTOP, &window, SWFO_NEEDDISPATCH, found.out()) != S_OK)
    return false;
  ComRef<IServiceProvider> services;
  ComRef<IShellBrowser> browser;
  ComRef<IShellView> view;
  ComRef<IDispatch> background;
  ComRef<IShellFolderViewDual> folderView;
  ComRef<IDispatch> application;
  return SUCCEEDED(found->QueryInterface(IID_IServiceProvider, services.outVoid())) &&
         SUCCEEDED(services->QueryService(SID_STopLevelBrowser, IID_IShellBrowser, browser.outVoid())) &&
         SUCCEEDED(browser->QueryActiveShellView(view.out())) &&
         SUCCEEDED(view->GetItemObject(SVGIO_BACKGROUND, IID_IDispatch, background.outVoid())) &&
         SUCCEEDED(background->QueryInterface(IID_IShellFolderViewDual, folderView.outVoid())) &&
         SUCCEEDED(folderView->get_Application(application.out())) &&
         SUCCEEDED(application->QueryInterface(IID_IShellDispatch2, shell->outVoid()));
}

} // namespace

bool Win32Os::shellExecuteAsUser(const std::string& file, int showMode) {
  ComApartment apartment;
  ComRef<IShellDispatch2> shell;
  if (!desktopShell(&shell)) return false;
  const int length = MultiByteToWideChar(CP_ACP, 0, file.c_str(), -1, nullptr, 0);
  if (length <= 0) return false;
  std::vector<WCHAR> wide(static_cast<size_t>(length));
  MultiByteToWideChar(CP_ACP, 0, file.c_str(), -1, wide.data(), length);
  BSTR path = SysAllocString(wide.data());
  if (path == nullptr) return false;
  VARIANT none;
  VariantInit(&none);
  VARIANT show;
  VariantInit(&show);
  show.vt = VT_I4;
  show.lVal = showMode;
  const HRESULT result = shell->ShellExecute(path, none, none, none, show);
  SysFreeString(path);
  return SUCCEEDED(result);
}

} // namespace pq::win32
