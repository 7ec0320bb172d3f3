// The downloader's main window: a frameless, rounded 503 x 300 window drawn entirely from skin
// artwork, with the game's banner, two progress rows, a status line, pause / resume, minimise and
// close buttons, and a notification-area icon while it is minimised. Clicks, tray commands, timer
// ticks and the end of the logon go to a MainWindowCommandSink. Every public operation may be called
// from any thread: it runs on the window's thread while the caller waits.
#ifndef UI_MAIN_DIALOG_H
#define UI_MAIN_DIALOG_H

#include <windows.h>

#include <string>

#include "ui/bitmap_button.h"
#include "ui/color_label.h"
#include "ui/command_sink.h"
#include "ui/dialog_window.h"
#include "ui/image_view.h"
#include "ui/message_loop.h"
#include "ui/progress_bar.h"
#include "ui/skinned_surface.h"
#include "ui/tray_icon.h"

// The main window's own window class (a dialog class, named in its template), by which a second
// start finds the running one.
constexpr wchar_t kMainWindowClass[] = L"TesselDownloaderWindow";
// Registers that class (a dialog class: the dialog manager's procedure and its extra window bytes)
// unless it is registered already; false when it cannot be.
bool RegisterMainWindowClass();

class CMainDlg : public CDialogWindow, public CMessageFilter, public CIdleHandler, public CTrayIconImpl {
 public:
  static constexpr int kWidth = 503;
  static constexpr int kHeight = 300;
  static constexpr UINT_PTR kProgressTimer = 100;
  static constexpr UINT_PTR kRetryTimer = 200;
  static constexpr UINT_PTR kVerifyTimer = 300;
  static constexpr UINT kTimerPeriodMs = 1000;

  // Decodes the progress bars' fill strip: GDI+ must have been started.
  CMainDlg();
  ~CMainDlg() override;

  // Commands are dropped while no sink is set.
  void SetCommandSink(MainWindowCommandSink* sink) { sink_ = sink; }

  // Creates the window, hidden, from its template without owner (registering its window class
  // first); false when it cannot be made.
  bool Create();
  // Destroys the window (on its own thread).
  void Destroy();

  // Shows the window with the platform's default show state.
  void Show();
  void BringToForeground();

  void ResetProgressView();
  void ShowProgressRows();
  void SetPartCaption(int index, int count);
  void SetStatusText(const std::wstring& text);
  void SetPartProgress(int percent);
  void SetTotalProgress(int percent);
  void ShowResumeButton(bool visible);
  void HideTransportButtons();
  void MinimiseToTray();
  void RestoreFromTray();
  void SetTrayTooltip(const std::wstring& text);
  // Starts (or restarts) one of the window's timers (kProgressTimer, kRetryTimer, kVerifyTimer),
  // or stops it; ticks arrive on the window's thread whichever thread started the timer.
  void StartTimer(UINT_PTR id, UINT periodMs);
  void StopTimer(UINT_PTR id);

  // What the window shows, for its tests.
  const std::wstring& StatusText() const { return statusLabel_.Text(); }
  int PartProgress() const { return partBar_.Pos(); }
  int TotalProgress() const { return totalBar_.Pos(); }

  bool PreTranslateMessage(MSG* message) override;
  bool OnIdle() override;

 protected:
  bool OnInitDialog() override;
  bool HandleMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

 private:
  void SetUpButtons();
  void SetUpLabel(ui_ColorLabel& label, int id, int x, int y, int width, int height);
  void OnCommand(int id);
  // The window's own menu, at a right click's point (or the window's corner from the keyboard):
  // pause or resume, and the download speed.
  void ShowWindowMenu(LPARAM where);
  void OnTimer(UINT_PTR id);
  void OnDestroy();

  MainWindowCommandSink* sink_ = nullptr;
  SkinnedSurface surface_;
  CBitmapButtonEx minimiseButton_;
  CBitmapButtonEx closeButton_;
  CBitmapButtonEx pauseButton_;
  CBitmapButtonEx resumeButton_;
  ui_ColorLabel partCaption_;
  ui_ColorLabel totalCaption_;
  ui_ColorLabel statusLabel_;
  CTSProgressBar partBar_;
  CTSProgressBar totalBar_;
  CImageView banner_;
  HICON largeIcon_ = nullptr;
  HICON smallIcon_ = nullptr;
  bool registeredWithLoop_ = false;
};

#endif
