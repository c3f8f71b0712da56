// The choosers of the scan-target panel's buttons, the targets they make, and the lookup that
// turns the selected element back into a target when a scan starts.
#include "dialogs/scantargets.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>

#include "app/settings.h"
#include "base/textutil.h"
#include "dialogs/devpanel.h"
#include "platform/afx/afxfiledlg.h"
#include "platform/afx/afxwin.h"
#include "platform/hooks.h"
#include "platform/storage.h"
#include "platform/textconv.h"
#include "skin/wndhelpers.h"

namespace {

TargetChooserHooks& Hooks() {
  static TargetChooserHooks& h = *new TargetChooserHooks();
  return h;
}

// The pickers of the window layer, for hooks a caller left empty.
bool PickFolder(const CString& title, CString& path) {
  if (Hooks().browseForFolder) return Hooks().browseForFolder(title, path);
  return BrowseForFolder(&path, title);
}

bool PickFile(CString& path) {
  if (Hooks().openFile) return Hooks().openFile(path);
  CFileDialog dlg(TRUE, nullptr, nullptr, OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT, nullptr);
  if (dlg.DoModal() != IDOK) return false;
  path = dlg.GetPathName();
  return true;
}

bool SameNoCase(const CString& a, const CString& b) {
  CString x = a, y = b;
  x.MakeUpper();
  y.MakeUpper();
  return x == y;
}

char16_t UpperUnit(char16_t c) { return (c >= u'a' && c <= u'z') ? char16_t(c - 32) : c; }

// The kind-1 entry of the letter, or null.
const VolumeContext* DriveOfLetter(const std::vector<VolumeContext>& targets, char16_t letter) {
  for (const VolumeContext& e : targets) {
    if (e.targetKind == kTargetDrive && UpperUnit(e.driveLetter) == UpperUnit(letter)) return &e;
  }
  return nullptr;
}

// The kind-1 entry whose mount point is the longest that holds the host path.
const VolumeContext* DriveHoldingHostPath(const std::vector<VolumeContext>& targets, const std::string& path) {
  const VolumeContext* best = nullptr;
  size_t bestLen = 0;
  for (const VolumeContext& e : targets) {
    if (e.targetKind != kTargetDrive || e.driveLetter == 0) continue;
    std::string mount = DriveMountPoint(e.driveLetter);
    if (mount.empty()) continue;
    while (mount.size() > 1 && mount.back() == '/') mount.pop_back();
    const bool holds = mount == "/" || path == mount ||
                       (path.size() > mount.size() && path.compare(0, mount.size(), mount) == 0 && path[mount.size()] == '/');
    if (!holds) continue;
    const size_t len = mount == "/" ? 1 : mount.size();
    if (!best || len > bestLen) best = &e, bestLen = len;
  }
  return best;
}

}  // namespace

void SetTargetChooserHooks(const TargetChooserHooks& hooks) { Hooks() = hooks; }
const TargetChooserHooks& GetTargetChooserHooks() { return Hooks(); }

void ShowPlainMessage(const CString& text) {
  if (Hooks().plainMessage) Hooks().plainMessage(text);
  else AfxMessageBox(text, MB_OK);
}

void ParseAreaName(uint32_t& kind, CString& name, uint64_t& firstLba) {
  int at = name.Find(u'<');
  uint32_t k = 2;
  if (at <= 0) {
    at = name.Find(u'>');
    k = 3;
  }
  if (at <= 0) return;
  const std::string digits = name.Mid(at + 1).ToUtf8();
  kind = k;
  name = name.Left(at);
  // "%llu": leading digits only, 0 for none.
  firstLba = strtoull(digits.c_str(), nullptr, 10);
}

std::string DriveMountPoint(char16_t letter) { return StorageDriveMountPoint(letter); }

int ResolveFolderTarget(const std::vector<VolumeContext>& targets, const CString& path, VolumeContext& out) {
  const VolumeContext* found = nullptr;
  if (path.GetLength() > 2) {
    CString upper = path;
    upper.MakeUpper();
    if (upper == CString(u"ALLRECYCLEBIN")) {
      found = DriveOfLetter(targets, u'C');
      for (const VolumeContext& e : targets) {
        if (!found && e.targetKind == kTargetDrive) found = &e;
      }
    } else if (path[0] == u'/') {
      found = DriveHoldingHostPath(targets, path.ToUtf8());
    } else if (path[1] == u':') {
      found = DriveOfLetter(targets, path[0]);
    }
  }
  if (!found) {
    ShowPlainMessage(GetLangStr(u"SelInvalidScanDir"));
    return 0;
  }
  out = *found;
  return 1;
}

int PickFolderTarget(const std::vector<VolumeContext>& targets, VolumeContext& out) {
  CString path;
  if (!PickFolder(GetLangStr(u"SelPath"), path) || path.IsEmpty()) return 0;
  if (!ResolveFolderTarget(targets, path, out)) return 0;
  out.targetKind = kTargetFolder;
  out.sourcePath = path;
  return 1;
}

CString DesktopFolderPath() {
  const char* home = getenv("HOME");
  const std::string homeDir = home ? home : "";
  if (const char* d = getenv("XDG_DESKTOP_DIR"); d && *d) return CString(std::string_view(d));
  const char* cfg = getenv("XDG_CONFIG_HOME");
  const std::string dirs = (cfg && *cfg ? std::string(cfg) : homeDir + "/.config") + "/user-dirs.dirs";
  std::ifstream in(dirs);
  std::string line;
  while (std::getline(in, line)) {
    const std::string key = "XDG_DESKTOP_DIR=\"";
    if (line.rfind(key, 0) != 0) continue;
    std::string v = line.substr(key.size());
    if (!v.empty() && v.back() == '"') v.pop_back();
    if (v.rfind("$HOME", 0) == 0) v = homeDir + v.substr(5);
    if (!v.empty()) return CString(std::string_view(v));
  }
  return CString(std::string_view(homeDir + "/Desktop"));
}

int MakeDesktopTarget(const std::vector<VolumeContext>& targets, VolumeContext& out) {
  const CString desktop = DesktopFolderPath();
  if (!ResolveFolderTarget(targets, desktop, out)) return 0;
  out.name = GetLangStr(u"Desktop");
  out.targetKind = kTargetDesktop;
  out.sourcePath = desktop;
  return 1;
}

int MakeRecycleBinTarget(const std::vector<VolumeContext>& targets, VolumeContext& out) {
  if (!ResolveFolderTarget(targets, u"AllRecycleBin", out)) return 0;
  out.name = GetLangStr(u"RecycleBin");
  out.targetKind = kTargetRecycleBin;
  out.sourcePath = u"AllRecycleBin";
  return 1;
}

int CheckDiskImageFile(const CString& path, VolumeContext& out) {
  const std::string host = path.ToUtf8();
  const int fd = ::open(host.c_str(), O_RDONLY | O_CLOEXEC);
  struct stat st{};
  const bool ok = fd >= 0 && ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
  if (fd >= 0) ::close(fd);
  if (!ok) {
    ShowMessageBox(GetLangStr(u"OpenFileFailed"));
    return 0;
  }
  const uint64_t length = uint64_t(st.st_size);
  if ((length & ~((1ull << 20) - 1)) < kMinImageBytes) {
    ShowMessageBox(GetLangStr(u"ImgTooSmall"));
    return 0;
  }
  ResetVolumeContext(out);
  out.targetKind = kTargetImage;
  out.diskNumber = kImageDiskNumber;
  int cut = -1;
  for (int i = 0; i < path.GetLength(); ++i) {
    if (path[i] == u'\\' || path[i] == u'/') cut = i;
  }
  const CString fileName = (cut > 0 && cut < path.GetLength() - 1) ? path.Mid(cut + 1) : path;
  out.diskModel = fileName;
  out.name = fileName;
  out.devicePath = path;
  out.sourcePath = path;
  out.removable = (length & ~((1ull << 30) - 1)) < kRemovableImageBytes ? 1 : 0;
  out.deviceSectors = length / 512;
  out.sectorCount = length / 512;
  return 1;
}

// ---- The root's choosers and lookup ----

void CCtrlDev::ReplaceOrAppend(const VolumeContext& target) {
  for (VolumeContext& e : m_targets) {
    if (e.targetKind == target.targetKind) {
      e = target;
      return;
    }
  }
  m_targets.push_back(target);
}

int CCtrlDev::ChooseSavedScan() {
  CString timeText;
  if (!Hooks().chooseSavedScan || !Hooks().chooseSavedScan(m_targets, timeText)) return 0;
  return SetNameByTag(kTagSavedScan, timeText);
}

int CCtrlDev::ChooseFolder() {
  VolumeContext t;
  if (!PickFolderTarget(m_targets, t)) return 0;
  ReplaceOrAppend(t);
  return SetNameByTag(kTagFolder, t.sourcePath);
}

int CCtrlDev::ChooseDiskImage() {
  CString path;
  if (!PickFile(path) || path.IsEmpty()) return 0;
  VolumeContext t;
  if (!CheckDiskImageFile(path, t)) return 0;
  ReplaceOrAppend(t);
  return SetNameByTag(kTagImage, t.sourcePath);
}

int CCtrlDev::ChooseRecycleBin() {
  VolumeContext t;
  if (!MakeRecycleBinTarget(m_targets, t)) return 0;
  ReplaceOrAppend(t);
  return SetNameByTag(kTagRecycleBin, t.sourcePath);
}

int CCtrlDev::ChooseDesktop() {
  VolumeContext t;
  if (!MakeDesktopTarget(m_targets, t)) return 0;
  ReplaceOrAppend(t);
  return SetNameByTag(kTagDesktop, t.sourcePath);
}

int CCtrlDev::GetSelectedTarget(VolumeContext& out) {
  const uint32_t tag = m_selectedId ? FindTag(m_selectedId) : 0;
  CString name;
  if (m_selectedId) GetItemName(m_selectedId, name);
  if (!name.IsEmpty()) {
    const int r = tag == kTagSavedScan ? LoadSavedScanTarget(name, out) : FindTarget(tag, name, out);
    if (r == 1) return 1;
    ShowPlainMessage(GetLangStr(u"PleaseSelScanDev"));
    return 0;
  }
  const char16_t* key = u"PleaseSelScanDev";
  if (tag == kTagSavedScan) key = u"PleaseSelSchedule";
  else if (tag == kTagFolder) key = u"PleaseSelScanDir";
  else if (tag == kTagImage) key = u"PleaseSelImg";
  ShowPlainMessage(GetLangStr(key));
  return 0;
}

int CCtrlDev::FindTarget(uint32_t tag, CString name, VolumeContext& out) {
  uint32_t kind = 0;
  switch (tag) {
    case kTagDrives: kind = kTargetDrive; break;
    case kTagDisks: kind = kTargetDisk; break;
    case kTagFolder: kind = kTargetFolder; break;
    case kTagImage: kind = kTargetImage; break;
    case kTagRecycleBin: kind = kTargetRecycleBin; break;
    case kTagDesktop: kind = kTargetDesktop; break;
    default: break;
  }
  uint64_t lba = 0;
  ParseAreaName(kind, name, lba);
  for (const VolumeContext& e : m_targets) {
    if (e.targetKind != kind) continue;
    bool match = false;
    switch (kind) {
      case kTargetDrive: match = SameNoCase(e.volumePath, name); break;
      case kTargetArea:
      case kTargetPartition: match = SameNoCase(e.devicePath, name) && e.firstLba == lba; break;
      case kTargetDisk:
      case kTargetImage: match = SameNoCase(e.devicePath, name); break;
      case kTargetFolder:
      case kTargetDesktop: match = SameNoCase(e.sourcePath, name); break;
      case kTargetRecycleBin: match = true; break;
      default: break;
    }
    if (match) {
      out = e;
      return 1;
    }
  }
  return 0;
}

int CCtrlDev::LoadSavedScanTarget(const CString& timeText, VolumeContext& out) {
  std::vector<SavedScanRef> entries;
  if (Hooks().loadScanSaveIndex) Hooks().loadScanSaveIndex(entries);
  for (const SavedScanRef& s : entries) {
    if (s.timeText != timeText) continue;
    bool ok = false;
    if (s.targetKind == kTargetImage) {
      ok = CheckDiskImageFile(s.devicePath, out) == 1;
    } else if (s.targetKind == kTargetFolder) {
      ok = ResolveFolderTarget(m_targets, s.sourcePath, out) == 1;
    } else {
      for (const VolumeContext& e : m_targets) {
        if (e.targetKind != s.targetKind) continue;
        bool match = false;
        if (e.targetKind == kTargetDrive) match = SameNoCase(e.volumePath, s.volumePath);
        else if (e.targetKind == kTargetArea || e.targetKind == kTargetPartition)
          match = SameNoCase(e.devicePath, s.volumePath) && e.firstLba == s.regionStart &&
                  e.sectorCount == s.regionLength;
        else if (e.targetKind == kTargetDisk) match = SameNoCase(e.devicePath, s.devicePath);
        if (match) {
          out = e;
          ok = true;
          break;
        }
      }
    }
    if (ok) {
      out.scanStateFile = s.dataFile;
      out.operation = s.scanKind;
      return 1;
    }
  }
  ShowMessageBox(GetLangStr(u"LoadScanSaveFailed"));
  return 0;
}
