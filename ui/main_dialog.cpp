#include "ui/main_dialog.h"

#include <cstdio>

#include "resources/resource_ids.h"
#include "ui/app_module.h"
#include "ui/single_instance.h"
#include "ui/window_placement.h"

namespace {

constexpr COLORREF kLabelBackground = RGB(244, 244, 244);
constexpr COLORREF kLabelText = RGB(0, 0, 0);
constexpr int kLabelPoints = 9;
constexpr wchar_t kLabelFace[] = L"MS Verdana";
constexpr wchar_t kStartingText[] = L"Starting download...";

std::vector<SkinImage> loadImages(std::initializer_list<int> ids) {
  std::vector<SkinImage> images;
  for (int id : ids) images.push_back(LoadSkinImage(id));
  return images;
}

HICON loadAppIcon(int widthMetric, int heightMetric) {
  return static_cast<HICON>(LoadImageW(AppModule().ResourceInstance(), MAKEINTRESOURCEW(IDI_APP), IMAGE_ICON,
                                       GetSystemMetrics(widthMetric), GetSystemMetrics(heightMetric), 0));
}

}  // namespace

CMainDlg::CMainDlg() = default;

CMainDlg::~CMainDlg() {
  // The icon must not outlive the process, whichever thread ends it.
  ShowTrayIcon(false);
  if (IsWindowThread()) DestroyWindow(Handle());
}

bool RegisterMainWindowClass() {
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = DefDlgProcW;
  windowClass.cbWndExtra = DLGWINDOWEXTRA;
  windowClass.hInstance = AppModule().ResourceInstance();
  windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  windowClass.lpszClassName = kMainWindowClass;
  return RegisterClassExW(&windowClass) || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

bool CMainDlg::Create() { return RegisterMainWindowClass() && CreateModeless(IDD_MAIN_WINDOW, nullptr); }

void CMainDlg::Destroy() {
  RunOnWindowThread([this] { DestroyWindow(Handle()); });
}

void CMainDlg::Show() {
  RunOnWindowThread([this] { ShowWindow(Handle(), SW_SHOWDEFAULT); });
}

void CMainDlg::BringToForeground() {
  RunOnWindowThread([this] { SetForegroundWindow(Handle()); });
}

bool CMainDlg::OnInitDialog() {
  HWND window = Handle();
  CenterInNearestWorkArea(window);

  largeIcon_ = loadAppIcon(SM_CXICON, SM_CYICON);
  smallIcon_ = loadAppIcon(SM_CXSMICON, SM_CYSMICON);
  SendMessageW(window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(largeIcon_));
  SendMessageW(window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon_));
  InitTrayIcon(window, smallIcon_);

  ClearFrameStyle(window);
  surface_.SetBackground(LoadSkinImage(IDB_MAIN_BACKGROUND), kWidth, kHeight);
  SetUpButtons();

  SetUpLabel(statusLabel_, IDC_STATUS_TEXT, 10, 273, 432, 20);
  SetUpLabel(partCaption_, IDC_PART_CAPTION, 5, 214, 87, 20);
  ShowWindow(partCaption_.Handle(), SW_HIDE);
  SetUpLabel(totalCaption_, IDC_TOTAL_CAPTION, 5, 248, 87, 20);
  ShowWindow(totalCaption_.Handle(), SW_HIDE);
  totalCaption_.SetText(L"Total", false);

  partBar_.SetPlacement(101, 212);
  partBar_.Attach(GetDlgItem(window, IDC_PART_PROGRESS));
  totalBar_.SetPlacement(101, 246);
  totalBar_.Attach(GetDlgItem(window, IDC_TOTAL_PROGRESS));
  partBar_.SetPos(0);
  totalBar_.SetPos(0);

  if (CMessageLoop* loop = AppModule().GetMessageLoop()) {
    loop->AddMessageFilter(this);
    loop->AddIdleHandler(this);
    registeredWithLoop_ = true;
  }

  SetWindowTextW(window, DownloaderWindowTitle().c_str());
  statusLabel_.SetText(L"", false);
  ResizeKeepingTopLeft(window, kWidth, kHeight);
  banner_.Create(window, 9, 42, 485, 145);
  banner_.SetImage(IDB_GAME_BANNER);
  ApplyRoundedRegion(window, kWidth + 1, kHeight);
  return true;
}

void CMainDlg::SetUpButtons() {
  HWND window = Handle();
  pauseButton_.Attach(GetDlgItem(window, IDC_PAUSE));
  resumeButton_.Attach(GetDlgItem(window, IDC_RESUME));
  minimiseButton_.Attach(GetDlgItem(window, IDC_MINIMISE));
  closeButton_.Attach(GetDlgItem(window, IDC_CLOSE));

  pauseButton_.SetImages(loadImages({IDB_PAUSE_NORMAL, IDB_PAUSE_HOVER, IDB_PAUSE_PRESSED}));
  resumeButton_.SetImages(loadImages({IDB_RESUME_NORMAL, IDB_RESUME_HOVER, IDB_RESUME_PRESSED}));
  minimiseButton_.SetImages(loadImages({IDB_MINIMISE_NORMAL, IDB_MINIMISE_HOVER}));
  closeButton_.SetImages(loadImages({IDB_CLOSE_NORMAL, IDB_CLOSE_HOVER}));

  const ButtonImageIndexes threeStates{0, 2, 1, -1};
  const ButtonImageIndexes twoStates{0, 1, 1, -1};
  HCURSOR hand = LoadCursorW(nullptr, IDC_HAND);
  for (CBitmapButtonEx* button : {&pauseButton_, &resumeButton_}) {
    button->SetImageIndexes(threeStates);
    button->SetHoverMode(true);
    ShowWindow(button->Handle(), SW_HIDE);
    PlaceChild(button->Handle(), 448, 208, 24, 24);
  }
  for (CBitmapButtonEx* button : {&minimiseButton_, &closeButton_}) {
    button->SetImageIndexes(twoStates);
    button->SetHoverMode(true);
  }
  PlaceChild(minimiseButton_.Handle(), 458, 2, 20, 19);
  PlaceChild(closeButton_.Handle(), 482, 2, 20, 19);
  for (CBitmapButtonEx* button : {&pauseButton_, &resumeButton_, &minimiseButton_, &closeButton_}) {
    button->SetCursor(hand);
  }
}

void CMainDlg::SetUpLabel(ui_ColorLabel& label, int id, int x, int y, int width, int height) {
  label.Attach(GetDlgItem(Handle(), id));
  label.SetFontBold(true, false);
  label.SetTextColor(kLabelText, false);
  label.SetBackgroundColor(kLabelBackground, false);
  label.SetFontName(kLabelFace, false);
  label.SetFontSize(kLabelPoints, false);
  PlaceChild(label.Handle(), x, y, width, height);
}

void CMainDlg::ResetProgressView() {
  RunOnWindowThread([this] {
    totalBar_.SetPos(0);
    ShowWindow(partCaption_.Handle(), SW_HIDE);
    ShowWindow(totalCaption_.Handle(), SW_HIDE);
    ShowWindow(pauseButton_.Handle(), SW_HIDE);
    statusLabel_.SetText(kStartingText);
  });
}

void CMainDlg::ShowProgressRows() {
  RunOnWindowThread([this] {
    SetTimer(Handle(), kProgressTimer, kTimerPeriodMs, nullptr);
    statusLabel_.SetText(kStartingText);
    ShowWindow(partCaption_.Handle(), SW_SHOW);
    ShowWindow(totalCaption_.Handle(), SW_SHOW);
    // The download begins: the player can pause it from the window, not only from the tray.
    ShowWindow(pauseButton_.Handle(), SW_SHOW);
  });
}

void CMainDlg::SetPartCaption(int index, int count) {
  RunOnWindowThread([this, index, count] {
    wchar_t caption[64];
    swprintf(caption, sizeof(caption) / sizeof(caption[0]), L"Part %d/%d", index + 1, count);
    partCaption_.SetText(caption);
  });
}

void CMainDlg::SetStatusText(const std::wstring& text) {
  RunOnWindowThread([this, &text] { statusLabel_.SetText(text); });
}

void CMainDlg::SetPartProgress(int percent) {
  RunOnWindowThread([this, percent] { partBar_.SetPos(percent); });
}

void CMainDlg::SetTotalProgress(int percent) {
  RunOnWindowThread([this, percent] { totalBar_.SetPos(percent); });
}

void CMainDlg::ShowResumeButton(bool visible) {
  // The two buttons share one place: resume while paused, pause otherwise.
  RunOnWindowThread([this, visible] {
    ShowWindow(resumeButton_.Handle(), visible ? SW_SHOW : SW_HIDE);
    ShowWindow(pauseButton_.Handle(), visible ? SW_HIDE : SW_SHOW);
  });
}

void CMainDlg::HideTransportButtons() {
  RunOnWindowThread([this] {
    ShowWindow(pauseButton_.Handle(), SW_HIDE);
    ShowWindow(resumeButton_.Handle(), SW_HIDE);
  });
}

void CMainDlg::MinimiseToTray() {
  RunOnWindowThread([this] {
    ShowWindow(Handle(), SW_MINIMIZE);
    ShowWindow(Handle(), SW_HIDE);
    ShowTrayIcon(true);
  });
}

void CMainDlg::RestoreFromTray() {
  RunOnWindowThread([this] {
    ShowWindow(Handle(), SW_RESTORE);
    SetForegroundWindow(Handle());
    SetWindowPos(Handle(), HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    ShowTrayIcon(false);
  });
}

void CMainDlg::SetTrayTooltip(const std::wstring& text) {
  RunOnWindowThread([this, &text] { CTrayIconImpl::SetTrayTooltip(text); });
}

void CMainDlg::StartTimer(UINT_PTR id, UINT periodMs) {
  RunOnWindowThread([this, id, periodMs] { SetTimer(Handle(), id, periodMs, nullptr); });
}

void CMainDlg::StopTimer(UINT_PTR id) {
  RunOnWindowThread([this, id] { KillTimer(Handle(), id); });
}

bool CMainDlg::PreTranslateMessage(MSG* message) {
  return Handle() != nullptr && IsDialogMessageW(Handle(), message);
}

bool CMainDlg::OnIdle() { return false; }

void CMainDlg::OnCommand(int id) {
  if (sink_ == nullptr) return;
  switch (id) {
    case IDC_PAUSE:
      sink_->OnPauseCommand();
      break;
    case IDC_RESUME:
      sink_->OnResumeCommand();
      break;
    case IDC_CLOSE:
      sink_->OnCloseCommand();
      break;
    case IDC_MINIMISE:
      sink_->OnMinimiseCommand();
      break;
    case ID_TRAY_OPEN_DOWNLOAD:
      sink_->OnRestoreCommand();
      break;
    case ID_TRAY_PAUSE_RESUME:
      sink_->OnTogglePauseCommand();
      break;
    default:
      if ((id >= ID_SPEED_STEP_FIRST && id <= ID_SPEED_STEP_LAST) || id == ID_SLOW_DOWN_WHILE_PLAYING) {
        sink_->OnSpeedCommand(id);
      }
      break;  // Enter and Escape (IDOK, IDCANCEL) do not close this window
  }
}

void CMainDlg::ShowWindowMenu(LPARAM where) {
  if (sink_ == nullptr) return;
  HMENU menu = LoadTrayMenu();
  HMENU popup = menu != nullptr ? GetSubMenu(menu, 0) : nullptr;
  if (popup == nullptr) {
    if (menu != nullptr) DestroyMenu(menu);
    return;
  }
  // The tray menu without "Open Download" and the separator after it: the window is open already.
  DeleteMenu(popup, ID_TRAY_OPEN_DOWNLOAD, MF_BYCOMMAND);
  DeleteMenu(popup, 0, MF_BYPOSITION);
  PrepareTrayMenu(popup, sink_->CurrentJobState(), sink_->CurrentSpeedMenu());
  POINT point{static_cast<short>(LOWORD(where)), static_cast<short>(HIWORD(where))};
  // From the keyboard (Shift+F10, the menu key) there is no point: the window's corner.
  if (where == static_cast<LPARAM>(-1)) {
    point = POINT{8, 8};
    ClientToScreen(Handle(), &point);
  }
  TrackPopupMenu(popup, TPM_LEFTALIGN | TPM_RIGHTBUTTON, point.x, point.y, 0, Handle(), nullptr);
  DestroyMenu(menu);
}

void CMainDlg::OnTimer(UINT_PTR id) {
  if (sink_ == nullptr) return;
  if (id == kProgressTimer) sink_->OnProgressTimer();
  if (id == kRetryTimer) sink_->OnRetryTimer();
  if (id == kVerifyTimer) sink_->OnVerifyTimer();
}

void CMainDlg::OnDestroy() {
  KillTimer(Handle(), kProgressTimer);
  KillTimer(Handle(), kRetryTimer);
  KillTimer(Handle(), kVerifyTimer);
  if (registeredWithLoop_) {
    if (CMessageLoop* loop = AppModule().GetMessageLoop()) {
      loop->RemoveMessageFilter(this);
      loop->RemoveIdleHandler(this);
    }
    registeredWithLoop_ = false;
  }
  ShowTrayIcon(false);
  for (HICON* icon : {&largeIcon_, &smallIcon_}) {
    if (*icon != nullptr) DestroyIcon(*icon);
    *icon = nullptr;
  }
}

bool CMainDlg::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
  result = 0;
  if (message == TrayNotificationMessage()) {
    HandleTrayNotification(wParam, lParam, sink_ != nullptr ? sink_->CurrentJobState() : 0,
                           sink_ != nullptr ? sink_->CurrentSpeedMenu() : SpeedMenuState());
    return true;
  }
  if (message == TaskbarCreatedMessage()) {
    RestoreTrayIconAfterTaskbarCreated();
    return false;
  }
  if (surface_.HandleMessage(Handle(), message, wParam, lParam, result)) return true;
  switch (message) {
    case WM_COMMAND:
      if (HIWORD(wParam) == BN_CLICKED) OnCommand(LOWORD(wParam));
      return true;
    case WM_TIMER:
      OnTimer(wParam);
      return true;
    case WM_CONTEXTMENU:
      ShowWindowMenu(lParam);
      return true;
    case WM_ENDSESSION:
      // Acted on whether or not the end of the session was cancelled.
      if (sink_ != nullptr) sink_->OnSessionEnding();
      return true;
    case WM_CLOSE:
      return true;  // Alt+F4 and the like: the close button is the only way out
    case WM_SYSCOMMAND:
      if ((wParam & 0xFFF0) == SC_CLOSE) return true;
      return false;
    case WM_WINDOWPOSCHANGED:
      // Shown again by other means than the icon (a second start restores this window): the icon
      // must not stay behind.
      if ((reinterpret_cast<const WINDOWPOS*>(lParam)->flags & SWP_SHOWWINDOW) != 0 && IsTrayIconInstalled()) {
        ShowTrayIcon(false);
      }
      return false;
    case WM_DESTROY:
      OnDestroy();
      return true;
    default:
      return false;
  }
}
