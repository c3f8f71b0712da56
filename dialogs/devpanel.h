// The scan-target panel: a small retained tree of drawn elements in one host window. The root
// (CCtrlDev) holds up to four groups (lettered partitions, other disk areas, disks, buttons);
// each group is headed by a collapsible header and holds fixed-size items. The tree lays itself
// out, hit-tests the mouse, keeps one selection and paints into the host's double buffer.
//
// The choosers a button item starts (folder, image file, saved scan, desktop, Recycle Bin) run
// after the mouse dispatch has returned, and a rebuild asked for while a chooser is open waits
// until it has closed: no element is freed while it is on the call stack.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "core/volumecontext.h"
#include "platform/afx/afxwin.h"
#include "skin/skindraw.h"

constexpr UINT WM_DEVPANEL_NOTIFY = 0x478;
constexpr UINT DEVPANEL_CLICK = 0x479;
constexpr UINT DEVPANEL_DBLCLK = 0x47A;
constexpr UINT DEVPANEL_TOGGLE = 0x47B;
constexpr UINT DEVPANEL_CHOSEN = 0x47C;
// Posted to the host to run the chooser of a button element once the click has been handled
// (wParam the element id).
constexpr UINT WM_DEVPANEL_RUNCHOOSER = WM_APP + 0x27;

// Element tags.
enum DevPanelTag : uint32_t {
  kTagDrives = 1,
  kTagAreas = 2,
  kTagAreasAlt = 3,
  kTagDisks = 4,
  kTagButtons = 5,
  kTagSavedScan = 6,
  kTagFolder = 7,
  kTagImage = 8,
  kTagRecycleBin = 9,
  kTagDesktop = 10,
};

constexpr int kDevItemWidth = 253;
constexpr int kDevItemHeight = 60;
constexpr int kDevHeaderHeight = 27;
constexpr int kDevGroupEmptyHeight = 30;
constexpr int kDevItemIndent = 18;

class CCtrlBase {
 public:
  CCtrlBase();
  virtual ~CCtrlBase();
  CCtrlBase(const CCtrlBase&) = delete;
  CCtrlBase& operator=(const CCtrlBase&) = delete;

  virtual void Attach(CWnd* owner);
  virtual void Draw(CDC* dc) { (void)dc; }
  virtual void OnMouse(UINT msg, POINT pt);
  virtual void Notify(UINT code, uint32_t id, uintptr_t param);
  virtual void SelectItem(uint32_t id);
  virtual void Measure(int width, int height) { (void)width, (void)height; }
  virtual void SetVisible(uint32_t visible) { m_visible = visible; }
  virtual SIZE GetSize() const;
  virtual void SetRect(const RECT& rc) { m_rect = rc; }
  virtual void InvalidateItem(uint32_t id);
  virtual void InvalidateArea(const RECT& rc);
  virtual void DeleteChildren();
  virtual void SetTag(uint32_t tag) { m_tag = tag; }

  // Searches over the tree, own element first, then the children in order, depth first.
  uint32_t FindTag(uint32_t id) const;
  int GetItemName(uint32_t id, CString& name) const;
  int SetNameByTag(uint32_t tag, const CString& name);
  const CCtrlBase* FindById(uint32_t id) const;

  CCtrlBase* AddChild(std::unique_ptr<CCtrlBase> child);
  bool Inside(POINT pt) const;

  uint32_t m_dirty = 1;
  uint32_t m_visible = 1;
  CWnd* m_owner = nullptr;
  CCtrlBase* m_parent = nullptr;
  uint32_t m_id = 0;
  RECT m_rect{};
  uint32_t m_state = 0;  // 0 normal, 1 hover, 2 pressed
  uint32_t m_selected = 0;
  int m_width = kDevItemWidth;
  int m_height = kDevItemHeight;
  std::vector<std::unique_ptr<CCtrlBase>> m_children;
  uint32_t m_tag = 0;
  CString m_name;

 protected:
  // The item mouse rule: hover, press, click (DEVPANEL_CLICK) and double click (DEVPANEL_DBLCLK).
  void ItemMouse(UINT msg, POINT pt, bool reportClicks);
  void SetState(uint32_t state);
};

// The three item backgrounds and the two fonts every item draws with.
class CCtrlItemBase : public CCtrlBase {
 public:
  CCtrlItemBase();
  void DrawBackground(CDC* dc);
  static void DrawItemText(CDC* dc, CFont& font, const CString& text, RECT rc);

  CFont m_titleFont;
  CFont m_detailFont;
  CBitmapDC m_normal, m_over, m_sel;
};

class CCtrlShowDevBtn : public CCtrlBase {
 public:
  CCtrlShowDevBtn();
  void Draw(CDC* dc) override;
  void OnMouse(UINT msg, POINT pt) override;
  void Measure(int width, int height) override;
  // The x offset of the arrow cell in the strip for the current state.
  int ArrowCell() const;

  CFont m_font;
  uint32_t m_expanded = 1;
  CBitmapDC m_arrows, m_left, m_right;
};

class CCtrlPartInfo : public CCtrlItemBase {
 public:
  CCtrlPartInfo();
  void Draw(CDC* dc) override;
  // The right edge of the used part of the usage bar.
  int UsedBarRight() const;

  uint32_t m_lettered = 0;
  uint32_t m_bootSignature = 0;
  uint64_t m_freeSectors = 0;
  uint64_t m_firstLba = 0;
  uint64_t m_sectorCount = 0;
  CString m_text;
  CBitmapDC m_use, m_size;
  CBitmap m_partIcon, m_spaceIcon;
  bool m_havePartIcon = false, m_haveSpaceIcon = false;
};

class CCtrlDiskInfo : public CCtrlItemBase {
 public:
  CCtrlDiskInfo();
  void Draw(CDC* dc) override;
  // "%ws %c     %ws": "Disk", the name's last character ('0' for none), the size text.
  CString DetailText() const;

  CString m_model;
  uint64_t m_deviceSectors = 0;
  CBitmap m_icon;
  bool m_haveIcon = false;
};

class CCtrlBtnInfo : public CCtrlItemBase {
 public:
  explicit CCtrlBtnInfo(uint32_t tag);
  void Draw(CDC* dc) override;
  // Empty for the desktop and the Recycle Bin, else the name after its last separator.
  CString DetailText() const;

  CBitmap m_icon;
  bool m_haveIcon = false;
};

class CCtrlGroup : public CCtrlBase {
 public:
  CCtrlGroup();
  void Draw(CDC* dc) override;
  void OnMouse(UINT msg, POINT pt) override;
  void Measure(int width, int height) override;
  void SetRect(const RECT& rc) override;
  void SetTag(uint32_t tag) override;
  void AddVolume(const VolumeContext& entry);
  CCtrlShowDevBtn* Header() const;
  size_t ItemCount() const { return m_children.empty() ? 0 : m_children.size() - 1; }
  // Items per row for a width; never less than 1.
  static int Columns(int width);
};

class CCtrlDev : public CCtrlBase {
 public:
  void Draw(CDC* dc) override;
  void OnMouse(UINT msg, POINT pt) override;
  void Notify(UINT code, uint32_t id, uintptr_t param) override;
  void SetRect(const RECT& rc) override;
  void InvalidateArea(const RECT& rc) override;

  // Rebuilds the groups and items from the list (deferred while a chooser is open).
  void Build(const std::vector<VolumeContext>& targets);
  void OnSelect(uint32_t id);
  // Runs the chooser of the button element id (posted by OnSelect); true when it chose.
  void RunChooser(uint32_t id);
  bool ChooserOpen() const { return m_chooserDepth > 0; }
  CCtrlGroup* Group(uint32_t tag) const;

  // Choosers and lookup of the selection.
  int ChooseSavedScan();
  int ChooseFolder();
  int ChooseDiskImage();
  int ChooseRecycleBin();
  int ChooseDesktop();
  int GetSelectedTarget(VolumeContext& out);
  int FindTarget(uint32_t tag, CString name, VolumeContext& out);
  int LoadSavedScanTarget(const CString& timeText, VolumeContext& out);
  // A chooser's target replaces the first entry of its kind, or joins the list.
  void ReplaceOrAppend(const VolumeContext& target);

  uint32_t m_selectedId = 0;
  std::vector<VolumeContext> m_targets;

 private:
  int m_chooserDepth = 0;
  uint32_t m_pendingChooser = 0;
  bool m_buildPending = false;
  std::vector<VolumeContext> m_pendingTargets;
};

// Whoever hosts the panel starts the scan it asks for.
class DevPanelOwner {
 public:
  virtual void StartScan(int confirm) = 0;

 protected:
  ~DevPanelOwner() = default;
};

class CDevWnd : public CWnd {
 public:
  CDevWnd();
  void Relayout();

  CCtrlDev m_root;
  DevPanelOwner* m_panelOwner = nullptr;

 protected:
  void OnPaint();
  BOOL OnEraseBkgnd(CDC*) { return TRUE; }
  void OnMouseMove(UINT flags, CPoint pt);
  void OnLButtonDown(UINT flags, CPoint pt);
  void OnLButtonUp(UINT flags, CPoint pt);
  void OnLButtonDblClk(UINT flags, CPoint pt);
  void OnSize(UINT type, int cx, int cy);
  LRESULT OnPanelNotify(WPARAM wParam, LPARAM lParam);
  LRESULT OnRunChooser(WPARAM wParam, LPARAM lParam);
  DECLARE_MESSAGE_MAP()
};

// The window class of the panel host: it receives double clicks.
const char16_t* DevPanelHostClass();
