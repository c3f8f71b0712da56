// The folder tree of a result pane: the folders of the found-file model, one root per volume
// slot (by-path and search panes) or one root for the pane's classified view. Only folders that
// contain something appear; a folder's children are made on its first expansion, behind a
// "***" placeholder child, so a tree over millions of records costs what the user opened.
// Every item's check box mirrors the check state kept in the model: a click asks the model to
// toggle and the pictures follow WM_VIEW_CHECKCHANGED, never the control's own toggling.
//
// Selecting a folder tells the other views of the pane's mode to open it; the tree follows
// their navigation, check changes, renames and the growth of the results through the view
// messages (core/volumelist.h).
//
// A root's label begins with its number and a blank ("00 " for slot 3, "01 " for slot 4, "00  "
// for the view 0): the tree reads an item's key back from that number, so the label is part
// of the tree's addressing.
#pragma once

#include <cstdint>

#include "core/volumelist.h"
#include "platform/afx/afxcmn.h"

// Commands of the tree's context menu.
constexpr UINT ID_TREE_RENAME = 1232;
constexpr UINT ID_TREE_RECOVER = 1237;
// The bitmap of the check-box pictures: 16-pixel images, 1 unchecked, 2 checked, 3 partly.
constexpr UINT IDB_TREE_STATES = 129;
// The key a tree holds before its first rebuild: no slot and no view.
constexpr uint32_t kNoTreeKey = 1024;

class CExplorerTreeCtrl : public CTreeCtrl {
 public:
  // Builds the folder and drive images and the check-box pictures; called once by the pane.
  void InitImageList();
  // Appends the root of a slot or view with its placeholder; nothing when the model has no
  // root record there or no label for it.
  void AddRoot(uint32_t key);
  // Fills an item's children on its first expansion (while it has no child or the placeholder).
  void FillChildren(uint32_t key, HTREEITEM item, uint32_t id);
  // The key of an item, from the number that begins its root's label.
  bool GetItemKey(HTREEITEM item, uint32_t& key) const;
  // Relabels the items below `item` whose labels changed and appends sub-folders the model
  // gained; walks only the items that exist.
  void RefreshBranch(uint32_t key, VolumeList* model, HTREEITEM item);
  void ExpandRootOfKey(uint32_t key);
  // The item of an id below a parent; for the root id the first root of the key.
  bool FindChildItem(uint32_t key, uint32_t id, HTREEITEM parent, HTREEITEM& out) const;
  // The check pictures of the filled items below `item`, from their records.
  void RefreshChecks(HTREEITEM item, uint32_t key);
  // The root's picture from its direct children: partly checked when they are mixed.
  void RefreshRootCheck(HTREEITEM root, uint32_t key);
  // OnFilesAdded's work: the found-files branch relabelled and extended.
  void UpdateFoundFilesBranch();

  int32_t m_mode = kModeByPath;
  uint32_t m_currentKey = kNoTreeKey;
  uint32_t m_menuKey = 0;
  uint32_t m_menuId = 0;
  VolumeList* m_list = nullptr;
  CImageList m_images;
  CImageList m_stateImages;
  UINT m_lastHitFlags = 0;

 protected:
  void OnTvnItemexpanded(NMHDR* nm, LRESULT* result);
  void OnTvnSelchanged(NMHDR* nm, LRESULT* result);
  void OnNMClick(NMHDR* nm, LRESULT* result);
  void OnNMRclick(NMHDR* nm, LRESULT* result);
  void OnLButtonDown(UINT flags, CPoint pt);
  void OnKeyDown(UINT key, UINT repeat, UINT flags);
  LRESULT OnOpenFolder(WPARAM key, LPARAM id);
  LRESULT OnCheckChanged(WPARAM key, LPARAM id);
  LRESULT OnResultsReady(WPARAM, LPARAM);
  LRESULT OnViewModeChanged(WPARAM mode, LPARAM);
  LRESULT OnSearchDone(WPARAM, LPARAM);
  LRESULT OnSlotAdded(WPARAM slot, LPARAM);
  LRESULT OnFilesAdded(WPARAM, LPARAM);
  LRESULT OnItemRenamed(WPARAM key, LPARAM id);
  void OnRecover();
  void OnRename();
  LRESULT OnNcPaint(WPARAM, LPARAM);
  BOOL OnEraseBkgnd(CDC*) { return FALSE; }
  void OnPaint();
  DECLARE_MESSAGE_MAP()

 private:
  bool IsByPathOrSearch() const { return m_mode < 0; }
  // The first root whose key is `key`; null when none.
  HTREEITEM FindRootOfKey(uint32_t key) const;
  // The children of (key, id) that have children themselves, as the tree lists folders.
  void ListFolderIds(uint32_t key, uint32_t id, std::vector<uint32_t>& out) const;
  // Appends a folder item with its check picture and, when it can be expanded, a placeholder.
  void AppendFolder(uint32_t key, HTREEITEM parent, uint32_t id, const CString& label, uint32_t check);
  // The check refresh of the root of `key` (its filled items and its own picture).
  void RefreshKeyChecks(uint32_t key);
  // Replaces the root's text by the slot's label when that exists and differs.
  void RelabelRoot(HTREEITEM root, uint32_t key);
  // The ids from the root (5) down to `id`; false when the model has no path.
  bool PathFromRoot(uint32_t key, uint32_t id, std::vector<uint32_t>& out) const;
};
