// The details list of a result pane: an owner-data report list of one folder's children (name,
// size, creation and modification time), a check picture per row, a shell icon per extension,
// sorting by column, a context menu and double-click navigation. It keeps only the record ids
// of its rows; every text is read from the model when the list asks for it.
//
// The list follows the model through the view messages (core/volumelist.h). A folder is shown
// by (key, id): key a VolumeList slot, or kViewIdFlag | n for the classified view n; the root of
// either has the id 5.
#pragma once

#include <cstdint>
#include <vector>

#include "core/volumelist.h"
#include "platform/cstring.h"
#include "skin/skinlist.h"

// The columns, which are also the sort keys of SortItemIds.
enum ResultColumn : int { kColumnName = 0, kColumnSize = 1, kColumnCreated = 2, kColumnModified = 3 };

// Commands of the list's context menu.
constexpr UINT ID_RESULT_RENAME = 1232;
constexpr UINT ID_RESULT_SHOWICONS = 1234;
constexpr UINT ID_RESULT_OPEN = 1236;
constexpr UINT ID_RESULT_RECOVER = 1237;
constexpr UINT ID_RESULT_PREVIEW = 1238;

// A folder of fewer children is sorted by name whenever it is shown.
constexpr size_t kAutoSortLimit = 10000;
// From this many rows the user is told before a sort and after it.
constexpr size_t kSortWarnRows = 110000;

// The size column's text: whole KiB, rounded up from 500 bytes of the last KiB; 64-bit, so a
// size of 2 TiB or more prints its true value.
CString FormatResultSize(uint64_t size);
// The name column's text of a record: a directory's name with the files below it.
CString FormatResultName(const FileRecord& r);
// Copies the text into a buffer of `capacity` characters, shortened to fit, always terminated
// (nothing is written for a capacity of 0).
void CopyTextToBuffer(const CString& text, char16_t* buffer, int capacity);

// The shell's small icon for a file with this extension (".JPG"); the list asks once per
// extension. Tests install their own to count the questions; null brings the shell back.
using ExtensionIconFn = HICON (*)(const CString& extension);
void SetExtensionIconHook(ExtensionIconFn fn);

class CExplorerListCtrl : public CSkinListCtrl {
 public:
  CExplorerListCtrl();
  ~CExplorerListCtrl() override;

  void Init();
  void InsertColumns();
  void ShowFolder();
  void AppendNewItems();
  void SortByColumn(int column);
  int GetIconIndex(const CString& name, bool isDirectory);
  void DrawCheckImage(CDC* dc, int row) override;
  void BuildContextMenu(CMenu& menu, bool isDirectory);

  // The id shown by a row; 0 when the row is outside the list.
  uint32_t RowId(int row) const;

  VolumeList* m_list = nullptr;  // the application's, unless set before Init
  std::vector<uint32_t> m_ids;
  int32_t m_mode = kModeByPath;
  int m_sortColumn = -1;
  int m_sortAscending = 1;
  std::vector<CString> m_iconCache;
  uint32_t m_shownKey = 0;
  uint32_t m_shownId = 0;
  int32_t m_menuTarget = -1;

 protected:
  void OnNMDblclk(NMHDR* nm, LRESULT* result);
  void OnLvnColumnclick(NMHDR* nm, LRESULT* result);
  void OnNMClick(NMHDR* nm, LRESULT* result);
  void OnNMRclick(NMHDR* nm, LRESULT* result);
  void OnLvnGetdispinfo(NMHDR* nm, LRESULT* result);
  void OnLvnItemchanged(NMHDR* nm, LRESULT* result);
  LRESULT OnOpenFolder(WPARAM key, LPARAM id);
  LRESULT OnCheckChanged(WPARAM key, LPARAM id);
  LRESULT OnResultsReady(WPARAM key, LPARAM);
  LRESULT OnViewModeChanged(WPARAM mode, LPARAM);
  LRESULT OnSearchDone(WPARAM slot, LPARAM);
  LRESULT OnSlotAdded(WPARAM, LPARAM);
  LRESULT OnFilesAdded(WPARAM, LPARAM);
  LRESULT OnItemRenamed(WPARAM, LPARAM);
  void OnOpen();
  void OnRecover();
  void OnShowIcons();
  void OnRename();
  void OnPreview();
  DECLARE_MESSAGE_MAP()

 private:
  // The children of the shown folder, as ShowFolder and AppendNewItems list them.
  void ListShownChildren(std::vector<uint32_t>& out);
  void Repaint() { Invalidate(TRUE); }
};
