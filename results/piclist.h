// The thumbnail view of a result pane: the children of one folder of the VolumeList as tiles,
// each a 120 x 120 picture box (the item's thumbnail, a text summary, a folder icon or the
// icon of its file type) above a caption row with the check box and the name.
//
// The list control is in icon mode with owner data: item i is the i-th shown id. Tiles are
// drawn entirely here (custom draw); a tile asks the preview worker for its thumbnail while it
// is painted, so only what is on screen is ever queued, and a thumbnail-ready message repaints
// only the tiles of the current screenful that show that item.
#pragma once

#include <cstdint>
#include <map>
#include <vector>

#include "core/filerecord.h"
#include "core/preview/previewworker.h"
#include "core/volumelist.h"
#include "platform/afx/afxcmn.h"
#include "platform/afx/afxwin.h"
#include "skin/skindraw.h"

// Commands of the thumbnail view's context menu.
constexpr UINT kPicCmdRename = 1232;
constexpr UINT kPicCmdShowDetail = 1235;
constexpr UINT kPicCmdOpen = 1236;
constexpr UINT kPicCmdRecover = 1237;
constexpr UINT kPicCmdPreview = 1238;

// The tile grid: the pane's 83 x 127 image list gives the list a 126 x 170 cell; the visible
// count estimates a screenful from that.
constexpr int kPicImageWidth = 83;
constexpr int kPicImageHeight = 127;
constexpr int kPicTileWidth = 126;
constexpr int kPicTileHeight = 170;

// Parts of a tile whose bounds rectangle (LVIR_BOUNDS) starts at (left, top): the drawing
// origin lies 3 pixels below its top.
struct PicTileLayout {
  RECT box;      // the picture box
  RECT caption;  // the caption row's frame
  RECT text;     // where the caption text goes
  POINT check;   // the check picture's top-left
  RECT checkHit; // where a click toggles the check
};
PicTileLayout PicTileParts(const RECT& bounds);

// Where a picture of w x h is drawn centred in a box (integer halves, toward zero).
POINT CentreInBox(const RECT& box, int w, int h);

// The shell's icons by file extension, looked up once per extension and drawn from the
// extra-large system image list. One per process, made on first use.
class CSysIcon {
 public:
  static CSysIcon& Get();

  // Draws the icon of the name's type centred in the rectangle; nothing for a null name.
  void DrawIcon(HDC dc, const RECT& rc, const char16_t* name);
  // Draws the image at the index centred in the rectangle when the list holds it.
  void DrawIndex(HDC dc, const RECT& rc, int index) const;
  // The icon index for a name: the default icon for no extension or "lnk".
  int IconIndexFor(const char16_t* name);

  HIMAGELIST m_imageList = nullptr;
  int m_iconWidth = 0, m_iconHeight = 0;
  int m_folderIcon = -1;
  int m_defaultIcon = -1;
  std::map<CString, int> m_extIcons;
  int m_lookups = 0;  // shell queries made for extensions

 private:
  CSysIcon();
};

class CPicListCtrl : public CListCtrl {
 public:
  CPicListCtrl() = default;
  ~CPicListCtrl() override;

  // The pane's setup of a created list: it joins the list's listeners, takes the pane's
  // classification (ClassifyMode), gets the image list that sets the tile size and loads the
  // three check pictures. The thumbnails come from `preview` (the application's service when
  // null), which must serve the same list.
  void Init(VolumeList* list, int mode, PreviewService* preview = nullptr);

  void ShowFolder();
  void AppendNewItems();
  // Draws one tile into dc with its bounds rectangle (top already moved down 3 pixels).
  void DrawIconItem(uint32_t id, FileRecord& rec, HDC dc, const RECT& rc);
  // The context menu: the commands in order, for a hit tile that is or is not a folder.
  static std::vector<UINT> ContextMenuCommands(bool folder);

  VolumeList* m_list = nullptr;
  PreviewService* m_preview = nullptr;
  int m_mode = kModeByPath;
  std::vector<uint32_t> m_ids;
  uint32_t m_slot = 0;
  uint32_t m_folder = 0;
  int m_firstVisible = 0;
  int m_visibleCount = 0;
  int m_menuItem = -1;
  CBitmapDC m_checkImages[3];  // unchecked, checked, partly checked
  CImageList m_spacing;
  int m_badBlobLogs = 0;  // pointer-error lines written (one per paint at most)

 protected:
  LRESULT OnOpenFolder(WPARAM slot, LPARAM id);
  LRESULT OnCheckChanged(WPARAM slot, LPARAM);
  LRESULT OnResultsReady(WPARAM slot, LPARAM);
  LRESULT OnViewModeChanged(WPARAM mode, LPARAM);
  LRESULT OnSearchDone(WPARAM slot, LPARAM);
  LRESULT OnSlotAdded(WPARAM, LPARAM);
  LRESULT OnFilesAdded(WPARAM slot, LPARAM);
  LRESULT OnItemRenamed(WPARAM slot, LPARAM id);
  LRESULT OnGetPreview(WPARAM slot, LPARAM id);
  void OnNMCustomdraw(NMHDR* nm, LRESULT* result);
  void OnNMDblclk(NMHDR* nm, LRESULT* result);
  void OnNMRclick(NMHDR* nm, LRESULT* result);
  void OnLButtonDown(UINT flags, CPoint pt);
  void OnSize(UINT type, int cx, int cy);
  LRESULT OnVScroll(WPARAM code, LPARAM bar);
  BOOL OnMouseWheel(UINT flags, short delta, CPoint pt);
  LRESULT OnNcPaint(WPARAM, LPARAM);
  void OnShowDetails();
  void OnRecover();
  void OnOpen();
  void OnPreview();
  void OnRename();
  void BuildContextMenu(bool folder, POINT screen);
  DECLARE_MESSAGE_MAP()

 private:
  bool IsClassified() const { return m_mode >= kModeByType; }
  uint32_t ClassifiedSlot() const { return uint32_t(m_mode) | kViewIdFlag; }
  // The children of the shown folder, all of them, as the filter shows them.
  void ListShownChildren(std::vector<uint32_t>& out);
  void InvalidateTile(int index);
  bool m_paintLogged = false;
};
