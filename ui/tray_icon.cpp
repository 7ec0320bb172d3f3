#include "ui/tray_icon.h"

#include <algorithm>
#include <cwchar>
#include <memory>
#include <type_traits>

#include "resources/resource_ids.h"
#include "ui/app_module.h"
#include "ui/command_sink.h"

namespace {

struct MenuDeleter {
  void operator()(HMENU menu) const { DestroyMenu(menu); }
};
using MenuHandle = std::unique_ptr<std::remove_pointer<HMENU>::type, MenuDeleter>;

MenuHandle loadTrayMenu() { return MenuHandle(LoadTrayMenu()); }

void setItemText(HMENU popup, UINT command, const wchar_t* text) {
  MENUITEMINFOW item{};
  item.cbSize = sizeof(item);
  item.fMask = MIIM_STRING;
  item.dwTypeData = const_cast<wchar_t*>(text);
  SetMenuItemInfoW(popup, command, FALSE, &item);
}

}  // namespace

TrayPauseItem TrayPauseItemFor(int jobState) {
  if (jobState == kJobStatePaused) return {L"Resume", true};
  if (jobState == kJobStateDownloading) return {L"Pause", true};
  return {nullptr, false};
}

HMENU LoadTrayMenu() { return LoadMenuW(AppModule().ResourceInstance(), MAKEINTRESOURCEW(IDR_TRAY_MENU)); }

void PrepareTrayMenu(HMENU popup, int jobState, const SpeedMenuState& speed) {
  setItemText(popup, ID_TRAY_OPEN_DOWNLOAD, L"Open Download");
  const TrayPauseItem pause = TrayPauseItemFor(jobState);
  if (pause.text != nullptr) setItemText(popup, ID_TRAY_PAUSE_RESUME, pause.text);
  EnableMenuItem(popup, ID_TRAY_PAUSE_RESUME, MF_BYCOMMAND | (pause.enabled ? MF_ENABLED : MF_GRAYED));
  // The steps are radio items of the "Download speed" submenu: exactly one shows as chosen.
  const int count = GetMenuItemCount(popup);
  for (int position = 0; position < count; ++position) {
    HMENU steps = GetSubMenu(popup, position);
    if (steps == nullptr) continue;
    const UINT chosen = static_cast<UINT>(ID_SPEED_STEP_FIRST + std::clamp(speed.step, 0, ID_SPEED_STEP_LAST - ID_SPEED_STEP_FIRST));
    CheckMenuRadioItem(steps, ID_SPEED_STEP_FIRST, ID_SPEED_STEP_LAST, chosen, MF_BYCOMMAND);
  }
  CheckMenuItem(popup, ID_SLOW_DOWN_WHILE_PLAYING,
                MF_BYCOMMAND | (speed.slowDownWhilePlaying ? MF_CHECKED : MF_UNCHECKED));
}

POINT TrayMenuAnchor(POINT cursor, bool onMonitor, const RECT& nearestWorkArea) {
  if (!onMonitor && nearestWorkArea.right > nearestWorkArea.left) {
    cursor.x = std::clamp<LONG>(cursor.x, nearestWorkArea.left, nearestWorkArea.right - 1);
  }
  return cursor;
}

CTrayIconImpl::CTrayIconImpl()
    : notificationMessage_(RegisterWindowMessageW(L"WM_TRAYICON")),
      taskbarCreatedMessage_(RegisterWindowMessageW(L"TaskbarCreated")) {
  data_.cbSize = sizeof(data_);
  data_.uID = ID_TRAY_ICON;
}

void CTrayIconImpl::RestoreTrayIconAfterTaskbarCreated() {
  if (!installed_) return;
  data_.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
  // A broadcast that comes without a restart finds the icon still there: it is only updated.
  installed_ = Shell_NotifyIconW(NIM_ADD, &data_) != FALSE || Shell_NotifyIconW(NIM_MODIFY, &data_) != FALSE;
}

void CTrayIconImpl::InitTrayIcon(HWND owner, HICON icon) {
  // Explorer runs unelevated: a downloader started "as administrator" must let its restart
  // broadcast through, or the icon never comes back after Explorer restarts.
  ChangeWindowMessageFilterEx(owner, taskbarCreatedMessage_, MSGFLT_ALLOW, nullptr);
  data_.hWnd = owner;
  data_.hIcon = icon;
  data_.uCallbackMessage = notificationMessage_;
}

bool CTrayIconImpl::ShowTrayIcon(bool visible) {
  if (visible) {
    data_.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    data_.szTip[0] = L'\0';
    // A second add of an icon that is there fails: it would be taken for "not installed" and the
    // icon would outlive the window. An installed icon only gets its tooltip cleared.
    if (installed_) {
      Shell_NotifyIconW(NIM_MODIFY, &data_);
      return true;
    }
    installed_ = Shell_NotifyIconW(NIM_ADD, &data_) != FALSE;
  } else if (installed_) {
    data_.uFlags = 0;
    Shell_NotifyIconW(NIM_DELETE, &data_);
    installed_ = false;
  }
  return installed_;
}

void CTrayIconImpl::SetTrayTooltip(const std::wstring& text) {
  const size_t length = std::min(text.size(), kMaxTooltip);
  text.copy(data_.szTip, length);
  data_.szTip[length] = L'\0';
  if (!installed_) return;  // an absent icon shows no tooltip; the text waits for the next add
  data_.uFlags = NIF_TIP;
  Shell_NotifyIconW(NIM_MODIFY, &data_);
}

void CTrayIconImpl::HandleTrayNotification(WPARAM iconId, LPARAM event, int jobState, const SpeedMenuState& speed) {
  if (iconId != ID_TRAY_ICON) return;
  switch (LOWORD(event)) {
    case WM_RBUTTONUP:
      ShowMenu(jobState, speed);
      break;
    case WM_LBUTTONDBLCLK:
      SetForegroundWindow(data_.hWnd);
      SendDefaultCommand();
      break;
    case WM_LBUTTONUP:
      SendMessageW(data_.hWnd, WM_COMMAND, MAKEWPARAM(ID_TRAY_OPEN_DOWNLOAD, 0), 0);
      break;
    default:
      break;
  }
}

void CTrayIconImpl::SendDefaultCommand() {
  MenuHandle menu = loadTrayMenu();
  if (menu == nullptr) return;
  const UINT command = GetMenuItemID(GetSubMenu(menu.get(), 0), defaultItem_);
  if (command != static_cast<UINT>(-1)) SendMessageW(data_.hWnd, WM_COMMAND, MAKEWPARAM(command, 0), 0);
}

void CTrayIconImpl::ShowMenu(int jobState, const SpeedMenuState& speed) {
  MenuHandle menu = loadTrayMenu();
  HMENU popup = menu != nullptr ? GetSubMenu(menu.get(), 0) : nullptr;
  if (popup == nullptr) return;
  PrepareTrayMenu(popup, jobState, speed);
  POINT cursor{};
  GetCursorPos(&cursor);
  // The menu closes properly only when its owner is the foreground window.
  SetForegroundWindow(data_.hWnd);
  SetMenuDefaultItem(popup, static_cast<UINT>(defaultItem_), TRUE);
  const bool onMonitor = MonitorFromPoint(cursor, MONITOR_DEFAULTTONULL) != nullptr;
  MONITORINFO monitor{};
  monitor.cbSize = sizeof(monitor);
  GetMonitorInfoW(MonitorFromPoint(cursor, MONITOR_DEFAULTTONEAREST), &monitor);
  const POINT anchor = TrayMenuAnchor(cursor, onMonitor, monitor.rcWork);
  TrackPopupMenu(popup, TPM_LEFTALIGN | TPM_LEFTBUTTON, anchor.x, anchor.y, 0, data_.hWnd, nullptr);
  PostMessageW(data_.hWnd, WM_NULL, 0, 0);
}
