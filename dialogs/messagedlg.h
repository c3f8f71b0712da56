// The program's one message box: a skinned modal dialog with a text and one or two buttons,
// run on whatever thread asks (worker threads included) with its own modal loop there. Its
// owner is the main window or the window last active above it, disabled while the box is up.
//
// Callers use ShowMessageBox (platform/hooks.h); InstallMessageBox makes it show this box.
#pragma once

#include "skin/skinbuttons.h"
#include "skin/skindialog.h"

constexpr UINT IDD_MESSAGE_BOX = 377;

class CMessageDlg : public CSkinDialogEx {
 public:
  // An empty first caption makes the single-button box.
  CMessageDlg(const CString& text, const CString& first, const CString& second);
  void DoDataExchange(CDataExchange* dx) override;
  BOOL OnInitDialog() override;
  void OnDrawBackground(CDC* dc) override;
  // The text extent, the box size, the text and button rectangles, provisional captions.
  void MeasureLayout();

  CString m_text;
  CSkinButton m_first;   // id 1, the left or affirmative button
  CSkinButton m_second;  // id 2, the right or only button
  CString m_firstCaption, m_secondCaption;
  SIZE m_extent{0, 0};
  int m_boxW = 0, m_boxH = 0;
  RECT m_textRect{}, m_firstRect{}, m_secondRect{};
};

// The box's geometry for a text extent w by h with `lineFeeds` line feeds.
struct MessageBoxLayout {
  int width, height, lines;
  RECT text, first, second;
};
MessageBoxLayout ComputeMessageBoxLayout(int w, int h, int lineFeeds, bool twoButtons);

// Shows the box (text with "\n" pairs turned into line feeds); 1 only when the left button of a
// two-button box closed it.
int RunMessageBox(const CString& text, const CString& first, const CString& second);
// Registers the box's dialog template and makes ShowMessageBox use RunMessageBox.
void InstallMessageBox();
