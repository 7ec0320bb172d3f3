// The notification-area icon of the main window and its menu. While the window is minimised to the
// notification area the icon stands for it: a left click or double click restores the window, a
// right click opens the menu "Open Download" / "Pause" or "Resume".
#ifndef UI_TRAY_ICON_H
#define UI_TRAY_ICON_H

#include <windows.h>
#include <shellapi.h>

#include <string>

#include "ui/command_sink.h"

// The pause item of the tray menu in a job state: its text (null: leave the text) and whether it
// can be chosen.
struct TrayPauseItem {
  const wchar_t* text;
  bool enabled;
};
TrayPauseItem TrayPauseItemFor(int jobState);

// Sets the texts and enabled states of the tray menu's pop-up for a job state, and checks the speed
// step chosen and the slow-down switch.
void PrepareTrayMenu(HMENU popup, int jobState, const SpeedMenuState& speed = SpeedMenuState());

// Loads the tray menu (its pop-up is its first submenu); null when it cannot be loaded. The caller
// destroys it.
HMENU LoadTrayMenu();

// Where the menu opens: the cursor point, with x clamped into the nearest work area's horizontal
// span when the point lies on no monitor.
POINT TrayMenuAnchor(POINT cursor, bool onMonitor, const RECT& nearestWorkArea);

class CTrayIconImpl {
 public:
  static constexpr size_t kMaxTooltip = 127;

  // Registers the notification message "WM_TRAYICON", and "TaskbarCreated", which Explorer
  // broadcasts when it has started again with an empty notification area.
  CTrayIconImpl();
  CTrayIconImpl(const CTrayIconImpl&) = delete;
  CTrayIconImpl& operator=(const CTrayIconImpl&) = delete;

  UINT TrayNotificationMessage() const { return notificationMessage_; }
  UINT TaskbarCreatedMessage() const { return taskbarCreatedMessage_; }
  void InitTrayIcon(HWND owner, HICON icon);

  // Adds the icon with an empty tooltip (true) or removes it if it is there (false); returns
  // whether the icon is installed afterwards.
  bool ShowTrayIcon(bool visible);
  // Keeps at most the first 127 characters.
  void SetTrayTooltip(const std::wstring& text);
  bool IsTrayIconInstalled() const { return installed_; }
  std::wstring TrayTooltip() const { return data_.szTip; }

  // Adds the icon again, with its tooltip, when it was installed: Explorer has restarted and
  // forgotten it.
  void RestoreTrayIconAfterTaskbarCreated();

  // One notification of the registered message; notifications of other icons are ignored.
  void HandleTrayNotification(WPARAM iconId, LPARAM event, int jobState, const SpeedMenuState& speed);

 private:
  void ShowMenu(int jobState, const SpeedMenuState& speed);
  void SendDefaultCommand();

  UINT notificationMessage_ = 0;
  UINT taskbarCreatedMessage_ = 0;
  NOTIFYICONDATAW data_{};
  bool installed_ = false;
  int defaultItem_ = 0;  // the first item by position
};

#endif
