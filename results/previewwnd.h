// The preview window: one modeless window, made hidden at start-up and reused, that shows a
// found file before it is recovered. While the preview worker reads the file the window shows
// its name, size and times over a waiting animation; when the worker's WM_PREVIEW_DATA arrives
// a pane shows the content as a picture, as text or as a hex dump, with buttons to switch
// views, open a temporary copy, recover the file and close.
//
// The window owns every preview buffer the worker hands it and frees it whatever happens. Data
// for another item than the one shown (a preview started while the previous one was still on
// its way) are dropped, so the content, the facts and the Open and Recover buttons always
// concern the same file.
#pragma once

#include <cstdint>

#include "core/preview/previewworker.h"
#include "core/volumelist.h"
#include "platform/afx/afxctrls.h"
#include "results/pictureview.h"
#include "skin/skinbuttons.h"
#include "skin/skindialog.h"
#include "skin/skinstatic.h"

constexpr UINT IDD_PREVIEW = 232;
constexpr UINT IDD_PREVIEW_PANE = 328;
// The window's rows.
constexpr UINT IDC_PREVIEW_WAITING = 1115;
constexpr UINT IDC_PREVIEW_NAME = 1116;
constexpr UINT IDC_PREVIEW_SIZE = 1117;
constexpr UINT IDC_PREVIEW_CTIME = 1118;
constexpr UINT IDC_PREVIEW_MTIME = 1119;
// The pane's controls.
constexpr UINT IDC_PANE_HEX = 1012;
constexpr UINT IDC_PANE_VIEW = 1013;
constexpr UINT IDC_PANE_TEXT = 1114;
constexpr UINT IDC_PANE_PICTURE = 1046;
constexpr UINT IDC_PANE_CLOSE = 1116;
constexpr UINT IDC_PANE_RECOVER = 1117;
constexpr UINT IDC_PANE_OPEN = 1118;
constexpr UINT IDC_PANE_NOTE = 1119;
constexpr UINT_PTR kPreviewAnimTimer = 1;
// A code no preview carries: the pane has shown nothing yet.
constexpr uint32_t kNoPreviewCode = 35;
constexpr uint32_t kHexDumpMaxBytes = 16384;

enum class PreviewKind { kPicture, kText, kFacts };
// Which view shows a preview of the category code.
PreviewKind PreviewViewOf(uint32_t code);

// The hex dump of at most 16,384 bytes: a header line, then 16 bytes a line with the offset,
// the bytes in hex and as characters; lines end in CR LF except the last. False, the text
// unchanged, for missing bytes or a count of 0.
bool FormatHexDump(CString& out, const uint8_t* bytes, uint32_t count);

class CPreviewChildDlg : public CSkinChildDialog {
 public:
  CPreviewChildDlg();
  ~CPreviewChildDlg() override;
  void DoDataExchange(CDataExchange* dx) override;
  BOOL OnInitDialog() override;
  void OnDrawBackground(CDC* dc) override;
  void OnSkinSize(int cx, int cy) override;

  void LayoutViews(int w, int h);
  void ShowPreview();
  void RefreshViews();
  void SetTexts();
  void FreeCopies();
  // The file-facts text: name, creation and modification time, size, each line ending in CR LF.
  void BuildPreviewInfoText(const FileRecord& rec);
  // The text-view view of the shown extra bytes: their UTF-16 text up to the first NUL; empty
  // when there are none.
  CString ExtraText() const;

  void OnBnClickedHex();
  void OnBnClickedImage();
  void OnBnClickedClose();
  void OnBnClickedRecover();
  void OnBnClickedOpen();

  PreviewRequest m_request;
  RECT m_viewRect{}, m_tabRect{};
  CSkinButton m_btnHex, m_btnView;
  CSkinEdit m_text;
  CPicWnd m_picture;
  CFont m_hexFont;
  CSkinButton m_btnOpen, m_btnRecover, m_btnClose;
  CTransparentStatic m_note;
  uint8_t* m_head = nullptr;
  uint32_t m_headLength = 0;
  uint8_t* m_extra = nullptr;
  uint32_t m_extraLength = 0;
  uint32_t m_slot = 0, m_id = 0;  // the shown item
  uint32_t m_code = kNoPreviewCode;
  CString m_hexText, m_viewText, m_factsText;
  int m_layoutReady = 0;
  int m_layouts = 0;  // how often LayoutViews ran
  CBrush m_faceBrush, m_whiteBrush;
  VolumeList* m_list = nullptr;

 protected:
  HBRUSH OnCtlColor(CDC* dc, CWnd* wnd, UINT ctlColor);
  DECLARE_MESSAGE_MAP()
};

class CPreviewDlg : public CSkinDialogEx {
 public:
  CPreviewDlg(VolumeList& list, PreviewService& service);
  ~CPreviewDlg() override;
  BOOL OnInitDialog() override;
  void OnDrawBackground(CDC* dc) override;
  void OnSkinSize(int cx, int cy) override;
  void OnCancel() override;
  void OnOK() override {}

  // Starts the preview of an item: false (after "RightClickToPreview") when it has no record.
  bool PreviewItem(uint32_t slotOrView, uint32_t id);
  void ShowFileFacts(const FileRecord& rec);
  void LayoutControls();
  LRESULT OnPreviewData(WPARAM buffer, LPARAM request);

  CBitmapDC m_anim;
  CPreviewChildDlg m_pane;
  CFont m_rowFont;
  CTransparentStatic m_rows[5];  // 1115 .. 1119
  int m_layoutReady = 0;
  int m_dataArrived = 0;
  int m_frame = 0;   // the animation frame drawn last
  int m_animX = -1;  // where the animation goes, fixed at its first paint
  // How long the window keeps answering messages before it shows arrived data (the pane
  // appears no sooner); tests shorten it.
  uint32_t m_pumpMs = 1000;
  VolumeList& m_list;
  PreviewService& m_service;

 protected:
  void OnTimer(UINT_PTR id);
  void OnClose();
  DECLARE_MESSAGE_MAP()

 private:
  // Answers the thread's messages for m_pumpMs; false when a quit message ended it.
  bool PumpMessages();
};

void RegisterPreviewTemplates();

// The application's preview window: made hidden before the main window runs (and made known
// to the preview worker), destroyed after it. The window serves `list` through `service`.
CPreviewDlg* CreatePreviewWindow(VolumeList& list, PreviewService& service);
void DestroyPreviewWindow();
CPreviewDlg* ThePreviewWindow();

// The one entry point of every view: shows the preview window for the item and asks the worker
// for its content. False when there is no preview window or the item has no record.
bool PreviewItem(uint32_t slotOrView, uint32_t id);
