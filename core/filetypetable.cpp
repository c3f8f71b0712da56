#include "core/filetypetable.h"

#include <algorithm>
#include <mutex>
#include <string>
#include <unordered_map>

#include "app/settings.h"

namespace {

// One type setting of the build. A null list means the main extension alone; a language key
// replaces the main extension by the text of that key (the office group rows).
struct TypeSetting {
  int32_t category;
  int32_t id;
  const char16_t* mainExt;
  const char16_t* extList;
  const char16_t* description;
  const char16_t* extLangKey;
};

constexpr const char16_t* kDescWordWps = u"MS Office Word 或 WPS Office WPS 文档";
constexpr const char16_t* kDescCppSource = u"C源代码(.cpp)";
constexpr const char16_t* kDescMidas = u"midas文件";
constexpr const char16_t* kDescVsProject = u"Visual Studio 工程文件";

// The settings in build order; the order fixes each category's id list and the photo and
// video lists. Id 79 is set twice: it ends in category 12 but stays in category 6's list.
const TypeSetting kTypeSettings[] = {
    // Documents
    {6, 37, u"docx", nullptr, u"MS Office 2007 WORD 文档", nullptr},
    {6, 38, u"xlsx", nullptr, u"MS Office 2007 EXCEL 文档", nullptr},
    {6, 36, u"doc", u"doc;wps", kDescWordWps, nullptr},
    {6, 42, u"pub", nullptr, u"Microsoft Office Publisher 文档", nullptr},
    {6, 40, u"pdf", u"pdf;ai", u"Adobe Acrobat PDF 或 Adobe Illustrator 文档", nullptr},
    {6, 87, u"xls", u"xls;et", u"MS Office EXCEL 或 WPS Office ET 文档", nullptr},
    {6, 164, u"rtf", nullptr, u"RTF 文档", nullptr},
    {6, 39, u"chm", nullptr, u"已编译的HTML文件", nullptr},
    {6, 43, u"mht", nullptr, u"聚合网页文件", nullptr},
    {6, 41, u"hlp", nullptr, u"Windows Help 文件", nullptr},
    {6, 161, u"txt", nullptr, u"文本文件", nullptr},
    {6, 165, u"h", nullptr, u"C源代码(.h)", nullptr},
    {6, 166, u"c", nullptr, u"C源代码(.c)", nullptr},
    {6, 167, u"cpp", nullptr, kDescCppSource, nullptr},
    {6, 172, nullptr, u"doc;wps", kDescWordWps, u"WordDoc"},
    {6, 173, nullptr, u"doc;wps", kDescWordWps, u"ExcelDoc"},
    {6, 174, nullptr, u"doc;wps", kDescWordWps, u"PptDoc"},
    {6, 168, u"java", nullptr, kDescCppSource, nullptr},
    {6, 169, u"php", nullptr, kDescCppSource, nullptr},
    {6, 79, u"html", nullptr, kDescCppSource, nullptr},
    // Photos
    {7, 46, u"jpg", nullptr, u"Jpeg图像", nullptr},
    {7, 51, u"tif", nullptr, u"TIFF图片", nullptr},
    {7, 49, u"cr2", nullptr, u"bmp图", nullptr},
    {7, 52, u"dng", nullptr, u"DNG RAW 照片", nullptr},
    {7, 50, u"raw", nullptr, u"Panasonic RAW 照片", nullptr},
    {7, 144, u"raf", nullptr, u"富士数码照片", nullptr},
    {7, 103, u"arw", nullptr, u"SONY RAW 照片", nullptr},
    {7, 104, u"orf", nullptr, u"OLYMPUS RAW 照片", nullptr},
    {7, 101, u"sr2", nullptr, u"SONY SR2 RAW 照片", nullptr},
    {7, 92, u"nef", nullptr, u"NIKON RAW 照片", nullptr},
    {7, 98, u"pef", nullptr, u"PENTAX RAW 照片", nullptr},
    {7, 102, u"mef", nullptr, u"Mamiya MEF RAW 照片", nullptr},
    {7, 99, u"crw", nullptr, u"Canon CRW RAW 照片", nullptr},
    {7, 100, u"x3f", nullptr, u"X3F RAW 照片", nullptr},
    {7, 175, u"相机照片", nullptr, u"照片", nullptr},
    // Audio
    {9, 54, u"mp3", nullptr, u"MP3 声音文件", nullptr},
    {9, 53, u"wav", nullptr, u"波形声音文件", nullptr},
    {9, 56, u"ape", nullptr, u"APE 无损压缩音频文件", nullptr},
    {9, 59, u"wma", nullptr, u"WMA 音频文件", nullptr},
    {9, 57, u"mid", nullptr, u"MIDI 音频文件", nullptr},
    {9, 55, u"ogg", nullptr, u"OGG 音频文件", nullptr},
    {9, 58, u"ra", nullptr, u"Real Media 音频文件", nullptr},
    {9, 69, u"m4a", u"m4a;m4r", u"Apple 音频文件", nullptr},
    {9, 65, u"ram", nullptr, u"ram", nullptr},
    {9, 70, u"amr", nullptr, u"Adaptive Multi-Rate 文件", nullptr},
    // Video
    {10, 73, u"avi", nullptr, u"AVI 视频", nullptr},
    {10, 82, u"mpg", u"mpg;mpeg;vob;m2v;h264", u"MPG 视频", nullptr},
    {10, 72, u"mp4", nullptr, u"MP4 视频", nullptr},
    {10, 71, u"m4v", nullptr, u"M4V 视频", nullptr},
    {10, 67, u"mov", nullptr, u"QuickTime MOV 视频", nullptr},
    {10, 66, u"rmvb", u"rmvb;rm", u"Real Media 视频", nullptr},
    {10, 68, u"3gp", nullptr, u"QuickTime 3GP", nullptr},
    {10, 86, u"mkv", u"mkv;webm;mka", u"MKV 视频", nullptr},
    {10, 64, u"flv", u"flv;f4v", u"FLV 视频", nullptr},
    {10, 88, u"mts", u"mts;m2ts;m2t;ts;tp;mt2s", u"MTS 视频", nullptr},
    {10, 143, u"m2t", u"m2t;m2ts;m2t;ts;tp;mt2s", u"M2T 视频", nullptr},
    {10, 109, u"3g2", nullptr, u"3G2 视频", nullptr},
    {10, 108, u"wmv", u"wmv;asf", u"WMV 或 ASF 视频", nullptr},
    {10, 114, u"mxf", nullptr, u"Material Exchange Format 视频", nullptr},
    {10, 113, u"wtv", nullptr, u"Windows Media Center TV 视频", nullptr},
    {10, 112, u"fla", nullptr, u"Flash 文件", nullptr},
    {10, 111, u"swi", nullptr, u"SWiSH Max 文件", nullptr},
    {10, 110, u"wrf", nullptr, u"WebEx 屏幕录像", nullptr},
    // Images
    {8, 48, u"bmp", nullptr, u"Bitmap位图图像", nullptr},
    {8, 45, u"gif", nullptr, u"GIF图片", nullptr},
    {8, 44, u"png", nullptr, u"PNG图片", nullptr},
    {8, 162, u"ico", nullptr, u"Icon图片", nullptr},
    {8, 47, u"psd", nullptr, u"Photoshop PSD 文件", nullptr},
    {8, 75, u"dwg", nullptr, u"AutoCAD图像文件", nullptr},
    {8, 85, u"ani", nullptr, u"动态光标文件", nullptr},
    {8, 76, u"wmf", nullptr, u"Windows Metafile", nullptr},
    {8, 83, u"ai", nullptr, u"Adobe Illustrator 文件", nullptr},
    // Archives
    {11, 61, u"zip", nullptr, u"ZIP 压缩文档", nullptr},
    {11, 62, u"rar", nullptr, u"RAR 压缩文档", nullptr},
    {11, 60, u"7z", nullptr, u"7zip 压缩文档", nullptr},
    {11, 84, u"cab", nullptr, u"Microsoft cab包", nullptr},
    // Other
    {12, 77, u"mdb", nullptr, u"Micorsoft Access 数据库", nullptr},
    {12, 63, u"jar", nullptr, u"Java 文件", nullptr},
    {12, 148, u"class", nullptr, u"Java编译文件", nullptr},
    {12, 78, u"accdb", nullptr, u"Microsoft Access 数据库", nullptr},
    {12, 74, u"exe", nullptr, u"Windows应用程序", nullptr},
    {12, 79, u"html", nullptr, u"超文本标记语言文件", nullptr},
    {12, 163, u"xml", nullptr, u"xml文件", nullptr},
    {12, 80, u"dsw", nullptr, kDescVsProject, nullptr},
    {12, 81, u"sln", nullptr, kDescVsProject, nullptr},
    {12, 145, u"mcb", nullptr, kDescMidas, nullptr},
    {12, 170, u"js", nullptr, kDescMidas, nullptr},
    {12, 171, u"css", nullptr, kDescMidas, nullptr},
    // Archives and disk images
    {11, 140, u"tar", nullptr, u"Tar 文档", nullptr},
    {11, 141, u"iso", nullptr, u"ISO 镜像文件", nullptr},
    {11, 142, u"gho", nullptr, u"Ghost 镜像文件", nullptr},
    // Images and drawings
    {8, 116, u"abr", nullptr, u"Photoshop Brushes 文件", nullptr},
    {8, 117, u"max", nullptr, u"PaperPort 文件", nullptr},
    {8, 118, u"cdr", nullptr, u"CorelDraw 图片", nullptr},
    {8, 146, u"eps", nullptr, u"EPS 图片", nullptr},
    {8, 119, u"dxf", nullptr, u"CAD图像交换文件", nullptr},
    {8, 120, u"mb", nullptr, u"Maya 3D", nullptr},
    {8, 121, u"psp", nullptr, u"PaintShop 图形文件", nullptr},
    {8, 122, u"dgn", nullptr, u"MicroStation PowerDraft 文件", nullptr},
    {8, 123, u"exb", nullptr, u"CAXA 电子图板文件", nullptr},
    {8, 124, u"jnb", nullptr, u"SigmaPlot 文件", nullptr},
    {8, 125, u"dcd", nullptr, u"DesignCAD 图形文件", nullptr},
    {8, 126, u"qcd", nullptr, u"QuickCAD 图形文件", nullptr},
    {8, 127, u"tcw", nullptr, u"TurboCAD 图形文件", nullptr},
    {8, 128, u"qxp", nullptr, u"QuarkXPress Project 文件", nullptr},
    {8, 129, u"qpt", nullptr, u"QuarkXPress Template 文件", nullptr},
    {8, 130, u"sdr", u"sdr;sdt", u"SmartDraw 图形文件", nullptr},
    {8, 131, u"pzf", nullptr, u"GraphPad Prism 文件", nullptr},
    {8, 132, u"emf", nullptr, u"Windows增强型图元文件", nullptr},
    {8, 133, u"oci", nullptr, u"OpenCanvas 图形文件", nullptr},
    {8, 134, u"icc", nullptr, u"Color profiles 文件", nullptr},
    {8, 135, u"pcb", nullptr, u"PROTEL PCB 文件", nullptr},
    {8, 136, u"tpf", nullptr, u"蒙泰排版文件", nullptr},
    {8, 137, u"gjd", nullptr, u"GJD 文件", nullptr},
    {8, 138, u"vfb", nullptr, u"FontLab", nullptr},
    {8, 139, u"sldprt", nullptr, u"SolibWorks 图形文件", nullptr},
    // Audio
    {9, 105, u"au", nullptr, u"Sun/NeXT 音频文件", nullptr},
    {9, 106, u"aif", u"aif;afc;aiff", u"AIF 音频文件", nullptr},
    {9, 107, u"mmf", nullptr, u"MMF 音频文件", nullptr},
    // Documents
    {6, 89, u"pptx", nullptr, u"MS Office 2007 PowerPoint 文档", nullptr},
    {6, 90, u"ppt", u"ppt;pps;dps", u"MS Office PowerPoint 或 WPS Office DPS 文档", nullptr},
    {6, 97, u"one", nullptr, u"MS OneNote 文档", nullptr},
    {6, 96, u"vsd", nullptr, u"Microsoft Office Visio 文档", nullptr},
    {6, 91, u"mpp", nullptr, u"Microsoft Office Project 文档", nullptr},
    {6, 93, u"p65", nullptr, u"Page Maker 文档", nullptr},
    {6, 94, u"xps", nullptr, u"XML 电子文件", nullptr},
    {6, 95, u"rpt", nullptr, u"Crystal Reports 文件", nullptr},
};
static_assert(sizeof(kTypeSettings) / sizeof(kTypeSettings[0]) == 127);

struct CategoryName {
  int32_t id;
  const char16_t* langKey;
};
const CategoryName kCategoryNames[] = {
    {6, u"Document"}, {7, u"Photo"}, {8, u"Image"}, {9, u"Audio"},
    {10, u"Video"},   {11, u"ZipFile"}, {12, u"Other"},
};

struct KindName {
  int code;
  const char16_t* name;
};
const KindName kKindNames[] = {
    {kKindMbr, u"MBR"},
    {kKindEbr, u"EBR"},
    {kKindNtfsBoot, u"NTFS DBR"},
    {kKindMftRecord, u"FILE RECORD"},
    {kKindIndexRecord, u"DIR ENTRY"},
    {kKindFat16Boot, u"FAT16 DBR"},
    {kKindFat32Boot, u"FAT32 DBR"},
    {kKindFat32Table, u"FAT32 FAT Table"},
    {kKindExfatBoot, u"EXFAT DBR"},
    {kKindExfatDirEntries, u"Exfat dir entry"},
};

const uint8_t kMinSize4K[] = {37, 38, 39, 41, 46, 48, 49, 50, 52, 61, 62, 64,
                              66, 86, 89, 92, 98, 101, 102, 104, 108, 118, 146};

char16_t AsciiLower(char16_t c) { return (c >= u'A' && c <= u'Z') ? char16_t(c + 32) : c; }

std::u16string AsciiLowerText(std::u16string_view s) {
  std::u16string out(s);
  for (char16_t& c : out) c = AsciiLower(c);
  return out;
}

// Extension (ASCII-lowered) → the first row 36 … 176 that carries it. Rebuilt with the table;
// a lookup in it gives the same answer as trying the rows in order.
std::unordered_map<std::u16string, uint8_t>& ExtensionIndex() {
  static auto& index = *new std::unordered_map<std::u16string, uint8_t>();
  return index;
}

void RebuildExtensionIndex() {
  auto& index = ExtensionIndex();
  index.clear();
  const auto& types = FileTypeTable().types;
  for (size_t i = kFirstFileType; i < types.size(); ++i) {
    // A group row whose language text is missing has no extension; it must not claim the
    // names that end in a bare '.'.
    if (types[i].mainExt.IsEmpty()) continue;
    index.emplace(AsciiLowerText(types[i].mainExt.View()), uint8_t(types[i].id));
  }
}

bool InList(const std::vector<int32_t>& list, int32_t id) {
  for (int32_t v : list)
    if (v == id) return true;
  return false;
}

}  // namespace

FileTypeTableData& FileTypeTable() {
  static auto& table = *new FileTypeTableData();
  return table;
}

std::array<CString, kSectorKindNameCount>& SectorKindNames() {
  static auto& names = *new std::array<CString, kSectorKindNameCount>();
  return names;
}

CString GetSectorKindName(unsigned code) {
  if (code >= unsigned(kSectorKindNameCount)) return CString(u"***");
  return SectorKindNames()[code];
}

void SetFileCategoryName(int32_t categoryId, const CString& name) {
  auto& cats = FileTypeTable().categories;
  if (categoryId < 0 || size_t(categoryId) >= cats.size()) return;
  FileCategoryRow& row = cats[size_t(categoryId)];
  row.id = categoryId;
  row.name = name;
  row.checkState = 1;
  row.typeIds.clear();
}

void SetFileTypeRow(int32_t categoryId, int32_t typeId, const CString& mainExt, const char16_t* extList,
                    const CString& description) {
  FileTypeTableData& t = FileTypeTable();
  if (typeId < 0 || size_t(typeId) >= t.types.size()) return;
  FileTypeRow& row = t.types[size_t(typeId)];
  row.category = categoryId;
  row.id = typeId;
  row.description = description;
  row.mainExt = mainExt;
  row.extList = (extList && *extList) ? CString(extList) : mainExt;
  row.reserved = 0;
  row.enabled = 1;
  if (categoryId >= 0 && size_t(categoryId) < t.categories.size())
    t.categories[size_t(categoryId)].typeIds.push_back(typeId);
  if (categoryId == 7) t.photoTypeList.push_back(typeId);
  if (categoryId == 10) t.videoTypeList.push_back(typeId);
}

void BuildFileTypeTable() {
  FileTypeTableData& t = FileTypeTable();
  t.categories.clear();
  t.types.clear();
  t.photoTypeList.clear();
  t.videoTypeList.clear();
  // Placeholders: category 0 keeps them out of the settings tree's branches 6 … 12, and an
  // enabled flag of 1 keeps the end-of-scan filter from counting them as switched off.
  FileCategoryRow placeholderCategory;
  placeholderCategory.name = u"XXX";
  t.categories.assign(kFileCategoryCount, placeholderCategory);
  for (const CategoryName& c : kCategoryNames) SetFileCategoryName(c.id, GetLangStr(c.langKey));
  FileTypeRow placeholderType;
  placeholderType.mainExt = u"XXX";
  t.types.assign(kFileTypeCount, placeholderType);
  for (const TypeSetting& s : kTypeSettings) {
    const CString ext = s.extLangKey ? GetLangStr(s.extLangKey) : CString(s.mainExt);
    SetFileTypeRow(s.category, s.id, ext, s.extList, CString(s.description));
  }
  RebuildExtensionIndex();
}

bool InitFileTypeTables() {
  static std::once_flag once;
  std::call_once(once, [] {
    BuildFileTypeTable();
    auto& names = SectorKindNames();
    names.fill(CString(u"***"));
    const auto& types = FileTypeTable().types;
    for (size_t i = kFirstFileType; i < types.size(); ++i) {
      const int32_t id = types[i].id;
      if (id >= 0 && id < kSectorKindNameCount) names[size_t(id)] = types[i].mainExt;
    }
    for (const KindName& k : kKindNames) names[size_t(k.code)] = k.name;
  });
  return true;
}

void CopyFileCategories(std::vector<FileCategoryRow>& out, int all) {
  out.clear();
  const auto& cats = FileTypeTable().categories;
  const size_t first = all ? 0 : kFirstFileCategory;
  const size_t end = all ? cats.size() : std::min(cats.size(), size_t(kLastFileCategory + 1));
  for (size_t i = first; i < end; ++i) out.push_back(cats[i]);
}

void CopyFileTypes(std::vector<FileTypeRow>& out, int all) {
  out.clear();
  const auto& types = FileTypeTable().types;
  for (size_t i = all ? 0 : kFirstFileType; i < types.size(); ++i) out.push_back(types[i]);
}

void FreeFileCategoryRows(std::vector<FileCategoryRow>& rows) { std::vector<FileCategoryRow>().swap(rows); }

void FreeFileTypeRows(std::vector<FileTypeRow>& rows) { std::vector<FileTypeRow>().swap(rows); }

uint8_t GetTypeIdByExtension(const char16_t* name) {
  if (!name || !*name) return kTypeNone;
  const std::u16string_view text(name);
  const size_t dot = text.rfind(u'.');
  if (dot == std::u16string_view::npos || dot == 0) return kTypeNone;
  const auto& index = ExtensionIndex();
  const auto it = index.find(AsciiLowerText(text.substr(dot + 1)));
  return it == index.end() ? kTypeNone : it->second;
}

bool IsPhotoType(int32_t typeId) { return InList(FileTypeTable().photoTypeList, typeId); }

bool IsVideoType(int32_t typeId) { return InList(FileTypeTable().videoTypeList, typeId); }

bool IsPhotoOrVideoType(int32_t typeId) {
  const uint32_t edition = uint32_t(GetSoftCfgKey()) % 100;
  if (!MovFragmentMode && !MtsFragmentMode && edition != 5 && edition != 6) return true;
  return IsPhotoType(typeId) || IsVideoType(typeId);
}

bool GetTypeMinimumSize(int32_t typeId, uint32_t& minSize) {
  minSize = 0;
  if (typeId == 36 || typeId == 87 || typeId == 90) {
    minSize = 0x80000;
    return true;
  }
  for (uint8_t id : kMinSize4K) {
    if (typeId == id) {
      minSize = 4096;
      return true;
    }
  }
  return false;
}
