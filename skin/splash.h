// The start-up splash: a popup showing the skin picture "Other/Splash.bmp" that counts down
// three seconds (30 ticks of 100 ms) before the main window is placed. A click on the countdown
// box ends it at once, a click on the link area opens the edition's help address; Esc ends and
// Space pauses it through the application's message filter (SplashPreTranslateMessage).
#pragma once

#include <cstdint>

#include "platform/afx/afxwin.h"

class CSplashWnd;

extern int32_t SplashEnabled;         // set at start-up; no splash while 0
extern CSplashWnd* SplashWindow;      // the one splash, null when there is none
extern uint32_t SplashCountdown;      // remaining 100-ms ticks
extern int32_t SplashPaused;          // the countdown stands still while not 0

// Shows the main window once the splash is over (the main dialog's PlaceWindow(1)).
using SplashPlaceHandler = void (*)(CWnd* mainWnd, int how);
void SetSplashPlaceHandler(SplashPlaceHandler h);

class CSplashWnd : public CWnd {
 public:
  ~CSplashWnd() override;
  // Creates and shows the splash owned by `parent`. When none results (disabled, picture
  // missing or bad, window refused) the main window is placed at once, so the program is never
  // left invisible; false then. Nothing happens while a splash already exists.
  static bool CreateAndShow(CWnd* parent);
  void PostNcDestroy() override;

  CBitmap m_bitmap;
  RECT m_box{210, 458, 227, 486};
  RECT m_link{373, 364, 626, 433};
  int m_bFirstTick = 0;
  CWnd* m_pMain = nullptr;

 protected:
  int OnCreate(CREATESTRUCTW* cs);
  void OnPaint();
  void OnTimer(UINT_PTR id);
  void OnLButtonDown(UINT flags, CPoint pt);
  DECLARE_MESSAGE_MAP()
};

// The application's filter while a splash exists: every WM_KEYDOWN is eaten, Esc ends the
// countdown and Space pauses or resumes it. TRUE when the message was eaten.
BOOL SplashPreTranslateMessage(const MSG* msg);
