#include "tests/ui/support/ui_test_support.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>

namespace uitest {

void PumpMessages(DWORD milliseconds) {
  PumpUntil([] { return false; }, milliseconds);
}

bool PumpUntil(const std::function<bool()>& condition, DWORD timeoutMs) {
  const ULONGLONG end = GetTickCount64() + timeoutMs;
  for (;;) {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
    if (condition()) return true;
    if (GetTickCount64() >= end) return false;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
  }
}

RECT ChildRect(HWND child) {
  RECT rect;
  GetWindowRect(child, &rect);
  MapWindowPoints(nullptr, GetParent(child), reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

bool HasVisibleStyle(HWND window) { return (GetWindowLongPtrW(window, GWL_STYLE) & WS_VISIBLE) != 0; }

namespace {

struct DialogSearch {
  int controlId;
  HWND found;
};

BOOL CALLBACK checkThreadWindow(HWND window, LPARAM parameter) {
  auto* search = reinterpret_cast<DialogSearch*>(parameter);
  if (GetDlgItem(window, search->controlId) != nullptr) {
    search->found = window;
    return FALSE;
  }
  return TRUE;
}

}  // namespace

HWND FindThreadDialogWithControl(DWORD threadId, int controlId, DWORD timeoutMs) {
  const ULONGLONG end = GetTickCount64() + timeoutMs;
  do {
    DialogSearch search{controlId, nullptr};
    EnumThreadWindows(threadId, &checkThreadWindow, reinterpret_cast<LPARAM>(&search));
    if (search.found != nullptr && IsWindowVisible(search.found)) return search.found;
    Sleep(20);
  } while (GetTickCount64() < end);
  return nullptr;
}

TestParent::TestParent() {
  static const ATOM windowClass = [] {
    WNDCLASSW description{};
    description.lpfnWndProc = &TestParent::WindowProc;
    description.hInstance = GetModuleHandleW(nullptr);
    description.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    description.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    description.lpszClassName = L"UiTestParent";
    return RegisterClassW(&description);
  }();
  hwnd_ = CreateWindowExW(0, MAKEINTATOM(windowClass), L"ui test parent", WS_POPUP | WS_VISIBLE, 40, 40, 400, 300,
                          nullptr, nullptr, GetModuleHandleW(nullptr), this);
}

TestParent::~TestParent() {
  if (hwnd_ != nullptr) DestroyWindow(hwnd_);
}

HWND TestParent::AddChild(const wchar_t* windowClass, const wchar_t* text, DWORD style, int id, int x, int y,
                          int width, int height) {
  return CreateWindowExW(0, windowClass, text, WS_CHILD | WS_VISIBLE | style, x, y, width, height, hwnd_,
                         reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr), nullptr);
}

LRESULT CALLBACK TestParent::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    SetWindowLongPtrW(hwnd, GWLP_USERDATA,
                      reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams));
  }
  auto* self = reinterpret_cast<TestParent*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (self != nullptr && message == WM_COMMAND) self->commands_.push_back(LOWORD(wParam));
  return DefWindowProcW(hwnd, message, wParam, lParam);
}

PaintCounter::PaintCounter(HWND window) : window_(window) {
  SetPropW(window, L"UiTestPaintCounter", this);
  original_ = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&PaintCounter::WindowProc)));
}

PaintCounter::~PaintCounter() {
  SetWindowLongPtrW(window_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(original_));
  RemovePropW(window_, L"UiTestPaintCounter");
}

LRESULT CALLBACK PaintCounter::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* self = static_cast<PaintCounter*>(GetPropW(hwnd, L"UiTestPaintCounter"));
  if (message == WM_PAINT) ++self->count_;
  return CallWindowProcW(self->original_, hwnd, message, wParam, lParam);
}

namespace {

std::wstring screenshotFolder() {
  const wchar_t* folder = _wgetenv(L"AK_UI_SCREENSHOTS");
  return folder != nullptr ? folder : L"";
}

}  // namespace

bool ScreenshotsAvailable() { return !screenshotFolder().empty(); }

bool TakeScreenshot(const std::string& name, HWND window, const std::vector<PixelExpectation>& expectations) {
  const std::wstring folder = screenshotFolder();
  if (folder.empty()) return false;
  const std::wstring base = folder + L"\\" + std::wstring(name.begin(), name.end());
  // Let everything settle and paint before the picture is taken.
  PumpMessages(300);
  RECT place;
  GetWindowRect(window, &place);
  {
    std::ofstream request((base + L".tmp").c_str());
    request << "window " << place.left << ' ' << place.top << '\n';
    for (const PixelExpectation& expectation : expectations) {
      request << "expect " << expectation.kind << ' ' << expectation.x << ' ' << expectation.y << '\n';
    }
  }
  // Renamed into place whole, so the wrapper never reads half a request.
  if (!MoveFileExW((base + L".tmp").c_str(), (base + L".request").c_str(), MOVEFILE_REPLACE_EXISTING)) return false;
  const std::wstring done = base + L".done";
  return PumpUntil([&done] { return GetFileAttributesW(done.c_str()) != INVALID_FILE_ATTRIBUTES; }, 30000);
}

}  // namespace uitest
