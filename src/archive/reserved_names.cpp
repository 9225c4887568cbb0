#include "archive/reserved_names.h"

#include <cctype>
#include <vector>

#include "archive/directory.h"
#include "archive/partial_files.h"
#include "compression/compressor.h"
#include "installer/action_lock.h"
#include "installer/temporary_copy.h"
#include "platform/win_path.h"

namespace {

enum class Where { WindowsDirectory, AnyFolder };

// One group of reserved names: a list, or the numbered names of one kind, or the one file name.
struct ReservedGroup {
  std::vector<std::string> names;
  const NumberedName* numbered;
  Where where;
  bool librariesToo;  // false: a library (kind 3) may land under these names
  const char* what;   // what such a file is, and what an entry of its name would do to it
};

// Windows' own files in the Windows directory, as every Windows since 95 keeps them there.
const char kWindowsSettings[] =
    "Windows' own settings file: installing would replace it, and un-installing would delete it";
const char kWindowsProgram[] =
    "a program or library Windows keeps in the Windows directory: installing would replace it, and "
    "un-installing would delete it";
// A DLL of a system library's name beside a program is loaded in place of the system's own by
// that program, wherever Windows looks in the program's folder first (Wine, older Windows, and
// every DLL outside the KnownDLLs).
const char kSystemLibrary[] =
    "the name of a system library: programs started from the folder it lands in would load it in place of "
    "Windows' own";

const std::vector<ReservedGroup>& reservedGroups() {
  static const std::vector<ReservedGroup> groups = {
      {{"system.ini", "win.ini"}, nullptr, Where::WindowsDirectory, true, kWindowsSettings},
      {{"explorer.exe", "regedit.exe", "notepad.exe", "hh.exe", "winhlp32.exe", "write.exe", "splwow64.exe",
        "bfsvc.exe", "helppane.exe", "twain.dll", "twain_32.dll"},
       nullptr, Where::WindowsDirectory, true, kWindowsProgram},
      // The KnownDLLs of Windows 10 and 11 (the values of the registry key KnownDLLs under
      // HKLM\SYSTEM\CurrentControlSet\Control\Session Manager), with ntdll.dll and
      // kernelbase.dll, which every process maps first, and the older names of Windows XP's list.
      {{"advapi32.dll", "clbcatq.dll", "combase.dll", "comdlg32.dll", "coml2.dll", "difxapi.dll", "gdi32.dll",
        "gdiplus.dll", "imagehlp.dll", "imm32.dll", "kernel32.dll", "kernelbase.dll", "lz32.dll", "msctf.dll",
        "msvcrt.dll", "normaliz.dll", "nsi.dll", "ntdll.dll", "ole32.dll", "oleaut32.dll", "olecli32.dll",
        "olecnv32.dll", "olesvr32.dll", "olethk32.dll", "psapi.dll", "rpcrt4.dll", "sechost.dll", "setupapi.dll",
        "shcore.dll", "shell32.dll", "shlwapi.dll", "url.dll", "urlmon.dll", "user32.dll", "version.dll",
        "wininet.dll", "wldap32.dll", "wow64.dll", "wow64cpu.dll", "wow64win.dll", "ws2_32.dll"},
       nullptr, Where::AnyFolder, true, kSystemLibrary},
      // Other System-directory libraries that programs (the installer, the samples, Explorer,
      // Notepad and the Display control panel among them) import or load by their bare names.
      {{"apphelp.dll", "bcrypt.dll", "cfgmgr32.dll", "comctl32.dll", "crypt32.dll", "cryptbase.dll", "cryptsp.dll",
        "d3d9.dll", "d3d11.dll", "dbghelp.dll", "ddraw.dll", "devobj.dll", "dnsapi.dll", "dsound.dll", "dwmapi.dll",
        "dxgi.dll", "glu32.dll", "hid.dll", "iphlpapi.dll", "linkinfo.dll", "mpr.dll", "msacm32.dll", "msasn1.dll",
        "mscoree.dll", "msftedit.dll", "msimg32.dll", "msvfw32.dll", "mswsock.dll", "netapi32.dll", "ntmarta.dll",
        "oleacc.dll", "oledlg.dll", "opengl32.dll", "powrprof.dll", "profapi.dll", "propsys.dll", "riched20.dll",
        "riched32.dll", "rsaenh.dll", "secur32.dll", "sspicli.dll", "textshaping.dll", "ucrtbase.dll", "userenv.dll",
        "uxtheme.dll", "win32u.dll", "windowscodecs.dll", "winhttp.dll", "winmm.dll", "winspool.drv", "winsta.dll",
        "wintrust.dll", "wsock32.dll", "wtsapi32.dll"},
       nullptr, Where::AnyFolder, true, kSystemLibrary},
      {{}, &kTemporaryCopyName, Where::WindowsDirectory, true,
       "the name of the installer's temporary copies (KWRXtemp<N>.dat), one of which may be the running "
       "installer's"},
      {{}, &kPartialFileName, Where::AnyFolder, true,
       "the name of the installer's partial files (PanoquillPartial<N>.tmp), which a later installer removes "
       "as abandoned"},
      {{kActionLockFileName}, nullptr, Where::WindowsDirectory, true,
       "the installer's lock file, which keeps two installations from running at once"},
      {{kLibraryFileName}, nullptr, Where::AnyFolder, false,
       "the compression library's own name, which only the libraries of entries 1, 4 and 5 may land as"},
  };
  return groups;
}

// A short name, as Windows makes one for a longer name: up to six characters, '~' and a number,
// and up to three after the dot. A file created under it opens whichever file has it.
bool looksLikeShortName(const std::string& name) {
  const std::string base = pq::changeFileExt(name, "");
  const std::string extension = pq::extractFileExt(name);
  const size_t tilde = base.rfind('~');
  if (tilde == std::string::npos || tilde == 0 || tilde + 1 == base.size()) return false;
  if (base.size() > 8 || extension.size() > 4) return false;
  for (size_t at = tilde + 1; at < base.size(); ++at) {
    if (!std::isdigit(static_cast<unsigned char>(base[at]))) return false;
  }
  return true;
}

bool inGroup(const ReservedGroup& group, const std::string& name) {
  if (group.numbered != nullptr) return isNumberedName(name, *group.numbered);
  for (const std::string& reserved : group.names) {
    if (pq::pathsEqual(reserved, name)) return true;
  }
  return false;
}

} // namespace

std::string reservedNameHolder(const std::string& landingName, int32_t fileType, bool inWindowsDirectory) {
  for (const ReservedGroup& group : reservedGroups()) {
    if (group.where == Where::WindowsDirectory && !inWindowsDirectory) continue;
    if (!group.librariesToo && fileType == kFileType_Library) continue;
    if (inGroup(group, landingName)) return group.what;
  }
  if (looksLikeShortName(landingName)) {
    return "the form of the short (8.3) name Windows gives a longer name: it may open another file of the folder";
  }
  return "";
}
