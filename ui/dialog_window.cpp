#include "ui/dialog_window.h"

#include "ui/app_module.h"

namespace {

// Carries a pointer to the work of RunOnWindowThread.
constexpr UINT kRunWorkMessage = WM_APP + 0x3A1;

// Messages whose result a dialog procedure returns itself instead of through DWLP_MSGRESULT.
bool returnsResultDirectly(UINT message) {
  switch (message) {
    case WM_CTLCOLORMSGBOX:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC:
    case WM_COMPAREITEM:
    case WM_VKEYTOITEM:
    case WM_CHARTOITEM:
    case WM_QUERYDRAGICON:
      return true;
    default:
      return false;
  }
}

}  // namespace

CDialogWindow::~CDialogWindow() {
  if (hwnd_ != nullptr && IsWindow(hwnd_)) SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
}

bool CDialogWindow::IsWindowThread() const {
  return hwnd_ != nullptr && GetWindowThreadProcessId(hwnd_, nullptr) == GetCurrentThreadId();
}

void CDialogWindow::RunOnWindowThread(const std::function<void()>& work) const {
  if (hwnd_ == nullptr || !IsWindow(hwnd_)) return;
  if (IsWindowThread()) {
    work();
    return;
  }
  // Sent, not posted: the caller waits, and calls from one thread keep their order.
  SendMessageW(hwnd_, kRunWorkMessage, 0, reinterpret_cast<LPARAM>(&work));
}

bool CDialogWindow::CreateModeless(int templateId, HWND owner) {
  if (hwnd_ != nullptr) return false;
  HWND made = CreateDialogParamW(AppModule().ResourceInstance(), MAKEINTRESOURCEW(templateId), owner,
                                 &CDialogWindow::DialogProc, reinterpret_cast<LPARAM>(this));
  return made != nullptr;
}

INT_PTR CDialogWindow::RunModal(int templateId, HWND owner) {
  if (hwnd_ != nullptr) return -1;
  return DialogBoxParamW(AppModule().ResourceInstance(), MAKEINTRESOURCEW(templateId), owner,
                         &CDialogWindow::DialogProc, reinterpret_cast<LPARAM>(this));
}

void CDialogWindow::EndModal(INT_PTR result) {
  if (hwnd_ != nullptr) EndDialog(hwnd_, result);
}

INT_PTR CALLBACK CDialogWindow::DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    auto* self = reinterpret_cast<CDialogWindow*>(lParam);
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, lParam);
    self->hwnd_ = hwnd;
    return self->OnInitDialog() ? TRUE : FALSE;
  }
  auto* self = reinterpret_cast<CDialogWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (self == nullptr) return FALSE;
  if (message == kRunWorkMessage) {
    (*reinterpret_cast<const std::function<void()>*>(lParam))();
    SetWindowLongPtrW(hwnd, DWLP_MSGRESULT, 0);
    return TRUE;
  }
  if (message == WM_NCDESTROY) {
    LRESULT ignored = 0;
    self->HandleMessage(message, wParam, lParam, ignored);
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
    self->hwnd_ = nullptr;
    return FALSE;
  }
  LRESULT result = 0;
  if (!self->HandleMessage(message, wParam, lParam, result)) return FALSE;
  if (returnsResultDirectly(message)) return static_cast<INT_PTR>(result);
  SetWindowLongPtrW(hwnd, DWLP_MSGRESULT, result);
  return TRUE;
}
