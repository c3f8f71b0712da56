// The shell's file information: which icon a path shows (by the file itself, or only by the
// attributes the caller gives), its type name, and the system image lists that hold every
// icon at three sizes.
#include <atomic>

#include "platform/fileio.h"
#include "platform/wnd/shellapi.h"

namespace {

std::atomic<ShellIconFamilyHandler> g_family{nullptr};

bool IsSeparator(char16_t c) { return c == u'\\' || c == u'/'; }

// "C:", "C:\" and the host's root stand for a whole drive.
bool IsDriveRoot(const CString& p) {
  if (p == u"/" || p == u"\\") return true;
  const int n = p.GetLength();
  const char16_t l = p.GetAt(0);
  const bool letter = (l >= u'A' && l <= u'Z') || (l >= u'a' && l <= u'z');
  return letter && p.GetAt(1) == u':' && (n == 2 || (n == 3 && IsSeparator(p.GetAt(2))));
}

// The extension of the path's last part (after its last dot), or empty.
CString Extension(const CString& p) {
  int start = 0;
  for (int i = 0; i < p.GetLength(); ++i) {
    if (IsSeparator(p.GetAt(i))) start = i + 1;
  }
  const int dot = p.ReverseFind(u'.');
  if (dot < start || dot + 1 >= p.GetLength()) return CString();
  return p.Mid(dot + 1);
}

void CopyText(char16_t* dst, int max, const CString& t) {
  const int n = std::min(max - 1, t.GetLength());
  std::copy(t.GetString(), t.GetString() + n, dst);
  dst[n] = 0;
}

}  // namespace

void SetShellIconFamilyHandler(ShellIconFamilyHandler handler) { g_family = handler; }

// The system image list of one icon size, made on first use (shellimages.cpp).
HIMAGELIST ShellImageList(int size);

DWORD_PTR SHGetFileInfoW(const char16_t* path, DWORD fileAttributes, SHFILEINFOW* info, UINT infoSize, UINT flags) {
  if (!info || infoSize < sizeof(SHFILEINFOW)) return 0;
  const CString p(path ? path : u"");
  int index = kShellIconFile;
  CString type;
  if (IsDriveRoot(p)) {
    index = kShellIconDrive;
    type = u"Local Disk";
  } else {
    bool dir = false;
    if (flags & SHGFI_USEFILEATTRIBUTES) {
      dir = (fileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    } else {
      const DWORD a = p.IsEmpty() ? INVALID_FILE_ATTRIBUTES : GetFileAttributesW(p);
      if (a == INVALID_FILE_ATTRIBUTES) return 0;
      dir = (a & FILE_ATTRIBUTE_DIRECTORY) != 0;
    }
    if (dir) {
      index = (flags & SHGFI_OPENICON) ? kShellIconFolderOpen : kShellIconFolder;
      type = u"File folder";
    } else {
      const CString ext = Extension(p);
      const ShellIconFamilyHandler family = g_family.load();
      const int category = family && !ext.IsEmpty() ? family(ext.GetString()) : 0;
      if (category >= 6 && category <= 12) index = kShellIconFamilyFirst + category - 6;
      if (ext.IsEmpty()) {
        type = u"File";
      } else {
        type = ext;
        type.MakeUpper();
        type += u" File";
      }
    }
  }
  const int size = (flags & SHGFI_SMALLICON) ? 16 : 32;
  if (flags & SHGFI_ICON) info->hIcon = CreateShellIcon(index, size);
  if (flags & SHGFI_TYPENAME) CopyText(info->szTypeName, 80, type);
  if (flags & SHGFI_SYSICONINDEX) {
    info->iIcon = index;
    return reinterpret_cast<DWORD_PTR>(ShellImageList(size));
  }
  return 1;
}

HRESULT SHGetImageList(int which, const GUID& riid, void** out) {
  if (!out) return E_INVALIDARG;
  *out = nullptr;
  if (!IsEqualIID(riid, IID_IImageList)) return E_INVALIDARG;
  int size = 0;
  switch (which) {
    case SHIL_LARGE: size = 32; break;
    case SHIL_SMALL:
    case SHIL_SYSSMALL: size = 16; break;
    case SHIL_EXTRALARGE: size = 48; break;
    default: return E_INVALIDARG;
  }
  HIMAGELIST il = ShellImageList(size);
  if (!il) return E_FAIL;
  *out = il;
  return S_OK;
}

UINT GetSystemDirectoryW(char16_t* buf, UINT size) {
  // The host's shared libraries stand for the system folder: a folder that is always there.
  static const char16_t kDir[] = u"/usr/lib";
  const UINT n = UINT(std::size(kDir) - 1);
  if (!buf || size <= n) return n + 1;
  std::copy(kDir, kDir + n + 1, buf);
  return n;
}
