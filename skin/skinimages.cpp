#include "skin/skinimages.h"

#include <cstring>

#include <minizip/unzip.h>

#include "app/resarchive.h"
#include "app/settings.h"
#include "base/heap.h"

namespace {

constexpr unsigned kImageTag = 370;

void Append(const CString& name, const uint8_t* bytes, uint32_t length) {
  auto* image = static_cast<SkinImageData*>(AllocMem(sizeof(SkinImageData), kImageTag));
  image->bytes = static_cast<uint8_t*>(AllocMem(length, kImageTag));
  image->length = length;
  std::memcpy(image->bytes, bytes, length);
  CString lower = name;
  lower.MakeLower();
  SkinImageTable().emplace_back(lower, image);
}

}  // namespace

SkinImageTableT& SkinImageTable() {
  static SkinImageTableT& t = *new SkinImageTableT;
  return t;
}

const std::vector<CString>& SkinImageNames() {
  static const std::vector<CString>& names = *new std::vector<CString>{
      u"Dlg/MainDlg.bmp", u"Dlg/DlgCorner.bmp", u"Dlg/ChildDlg.bmp", u"Dlg/MaxNormal.bmp", u"Dlg/MaxDown.bmp",
      u"Dlg/MaxMove.bmp", u"Dlg/CloseNormal.bmp", u"Dlg/CloseDown.bmp", u"Dlg/CloseMove.bmp",
      u"Dlg/MinNormal.bmp", u"Dlg/MinDown.bmp", u"Dlg/MinMove.bmp",
      u"OldMianBtn/DelFileRecoveryNormal.bmp", u"OldMianBtn/DelFileRecoveryDown.bmp",
      u"OldMianBtn/DelFileRecoveryUp.bmp", u"OldMianBtn/PartFileRecoveryDown.bmp",
      u"OldMianBtn/PartFileRecoveryNormal.bmp", u"OldMianBtn/PartFileRecoveryUp.bmp",
      u"OldMianBtn/DiskFileRecoveryDown.bmp", u"OldMianBtn/DiskFileRecoveryNormal.bmp",
      u"OldMianBtn/DiskFileRecoveryUp.bmp", u"OldMianBtn/SoftHelpDown.bmp", u"OldMianBtn/SoftHelpUp.bmp",
      u"OldMianBtn/SoftHelpNormal.bmp", u"NewMainBtn/NewAllRecoveryN.bmp", u"NewMainBtn/NewAllRecoveryD.bmp",
      u"NewMainBtn/NewDelRecoveryN.bmp", u"NewMainBtn/NewDelRecoveryD.bmp", u"NewMainBtn/NewFormatRecoveryN.bmp",
      u"NewMainBtn/NewFormatRecoveryD.bmp", u"NewMainBtn/NewUsbRecoveryN.bmp", u"NewMainBtn/NewUsbRecoveryD.bmp",
      u"NewMainBtn/NewRecycleRecoveryN.bmp", u"NewMainBtn/NewRecycleRecoveryD.bmp",
      u"NewMainBtn/NewDiskRecoveryN.bmp", u"NewMainBtn/NewDiskRecoveryD.bmp", u"NewMainBtn/AndroidRecoveryN.bmp",
      u"NewMainBtn/AndroidRecoveryD.bmp", u"NewMainBtn/IphoneRecoveryN.bmp", u"NewMainBtn/IphoneRecoveryD.bmp",
      u"NewMainBtn/NewHelpN.bmp", u"NewMainBtn/NewHelpD.bmp", u"NewMainBtn/NewAppleN.bmp",
      u"NewMainBtn/NewAppleD.bmp", u"NewMainBtn/NewAndroidN.bmp", u"NewMainBtn/NewAndroidD.bmp",
      u"Other/Splash.bmp", u"Other/gongzhonghao.bmp", u"Other/DescBg.bmp", u"Dev/PartIco.png",
      u"Dev/PartSpace.png", u"Dev/DiskIco.png", u"Dev/LoadScanSaveIco.png", u"Dev/LoadImgIco.png",
      u"Dev/SetScanLocalIco.png", u"Dev/SetScanDesktopIco.png", u"Dev/SetScanRecycleIco.png",
      u"Dev/DevNormal.bmp", u"Dev/DevOver.bmp", u"Dev/DevSel.bmp", u"Dev/PartSize.bmp", u"Dev/PartUse.bmp",
      u"Dev/ShowDev.bmp", u"Dev/ShowDevBtnLeft.bmp", u"Dev/ShowDevBtnRight.bmp", u"Other/HelpVideoLinkN.bmp",
      u"Other/HelpVideoLinkU.bmp", u"Other/HelpVideoLinkD.bmp", u"Other/QQN.bmp", u"Other/QQU.bmp",
      u"Other/QQD.bmp", u"Other/BeginRecoveryN.bmp", u"Other/BeginRecoveryU.bmp", u"Other/BeginRecoveryD.bmp",
      u"Other/HelpVideoBtnN.bmp", u"Other/HelpVideoBtnU.bmp", u"Other/HelpVideoBtnD.bmp", u"Other/ExpertN.bmp",
      u"Other/ExpertU.bmp", u"Other/ExpertD.bmp", u"Other/LoadImgN.bmp", u"Other/LoadImgU.bmp",
      u"Other/LoadImgD.bmp", u"Other/RefreshN.bmp", u"Other/RefreshU.bmp", u"Other/RefreshD.bmp",
      u"Other/BackN.bmp", u"Other/BackU.bmp", u"Other/BackD.bmp", u"Other/ScanN.bmp", u"Other/ScanU.bmp",
      u"Other/ScanD.bmp", u"Other/PauseScanN.bmp", u"Other/PauseScanU.bmp", u"Other/PauseScanD.bmp",
      u"Other/SaveScanN.bmp", u"Other/SaveScanU.bmp", u"Other/SaveScanD.bmp", u"Other/HelpN.bmp",
      u"Other/HelpU.bmp", u"Other/HelpD.bmp", u"Other/RecoveryN.bmp", u"Other/RecoveryU.bmp",
      u"Other/RecoveryD.bmp", u"Other/FileDlgBg.bmp"};
  return names;
}

CString SkinBannerName() { return u"Banner/" + GetBaseCfg(u"Version") + u".bmp"; }

void AddSkinImageFromArchive(const uint8_t* archive, uint32_t length, const CString& name) {
  if (!archive || length == 0) return;
  MemFile file{length, 0, const_cast<uint8_t*>(archive)};
  zlib_filefunc_def funcs{};
  FillMemFileFuncs(&funcs);
  uint8_t* bytes = nullptr;
  uint32_t n = 0;
  if (!ReadZipEntryToMemory(&file, &funcs, GetBaseCfg(u"Brand") + u"/" + name, bytes, n)) return;
  // The entry keeps the reader's buffer: it lives as long as the table.
  auto* image = static_cast<SkinImageData*>(AllocMem(sizeof(SkinImageData), kImageTag));
  image->bytes = bytes;
  image->length = n;
  CString lower = name;
  lower.MakeLower();
  SkinImageTable().emplace_back(lower, image);
}

void AddSkinImagesFromArchive(const std::vector<CString>& names, const uint8_t* archive, uint32_t length) {
  for (const CString& n : names) AddSkinImageFromArchive(archive, length, n);
}

void LoadSkinImageTable(const uint8_t* archive, uint32_t length) {
  AddSkinImageFromArchive(archive, length, SkinBannerName());
  AddSkinImagesFromArchive(SkinImageNames(), archive, length);
}

const SkinImageData* FindSkinImage(const CString& name) {
  CString lower = name;
  lower.MakeLower();
  for (const auto& [n, image] : SkinImageTable()) {
    if (n == lower) return image;
  }
  return nullptr;
}

void AddSkinImageForTest(const CString& name, const std::vector<uint8_t>& bytes) {
  if (!bytes.empty()) Append(name, bytes.data(), uint32_t(bytes.size()));
}

void ClearSkinImagesForTest() {
  for (auto& [n, image] : SkinImageTable()) {
    FreeMem(image->bytes);
    FreeMem(image);
  }
  SkinImageTable().clear();
}
