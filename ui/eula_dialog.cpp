#include "ui/eula_dialog.h"

#include <string>

#include "build_settings.h"
#include "resources/resource_ids.h"
#include "ui/resource_data.h"
#include "ui/window_placement.h"

CEULADlg::~CEULADlg() = default;

std::wstring LicenceText() {
  const ResourceData data = LoadResourceData(IDT_LICENCE_TEXT, RT_SKIN_DATA);
  return Utf16TextFromBytes(data.bytes, data.size);
}

std::wstring PublisherName() {
  const char* name = AK_PUBLISHER_NAME;
  const int length = MultiByteToWideChar(CP_UTF8, 0, name, -1, nullptr, 0);
  if (length <= 1) return std::wstring();
  std::wstring wide(static_cast<size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, name, -1, &wide[0], length);
  wide.resize(static_cast<size_t>(length - 1));
  return wide;
}

std::wstring LicenceBannerTitle() { return PublisherName() + L" Download Service"; }

int CEULADlg::Show(HWND owner) {
  owner_ = owner;
  return RunModal(IDD_LICENCE, owner) == kAccepted ? kAccepted : kDeclined;
}

bool CEULADlg::OnInitDialog() {
  HWND dialog = Handle();
  SetWindowTextW(dialog, L"License Agreement");
  SetDlgItemTextW(dialog, IDCANCEL, L"Cancel");
  PlaceChild(GetDlgItem(dialog, IDCANCEL), 5, 368, 80, 25);
  SetDlgItemTextW(dialog, IDOK, L"I Agree");
  PlaceChild(GetDlgItem(dialog, IDOK), 295, 368, 80, 25);
  SetDlgItemTextW(dialog, IDC_LICENCE_PROMPT, L"Please accept the license to proceed");
  PlaceChild(GetDlgItem(dialog, IDC_LICENCE_PROMPT), 5, 72, 350, 40);
  SetDlgItemTextW(dialog, IDC_LICENCE_VENDOR, PublisherName().c_str());
  PlaceChild(GetDlgItem(dialog, IDC_LICENCE_VENDOR), 90, 371, 200, 25);

  HWND textBox = GetDlgItem(dialog, IDC_LICENCE_TEXT);
  const std::wstring text = LicenceText();
  // The edit control's default limit is below what a licence may need.
  SendMessageW(textBox, EM_SETLIMITTEXT, text.size() + 1, 0);
  SetWindowTextW(textBox, text.c_str());

  RECT outer{0, 0, kLicenceClientWidth, kLicenceClientHeight};
  AdjustWindowRectEx(&outer, static_cast<DWORD>(GetWindowLongPtrW(dialog, GWL_STYLE)), FALSE,
                     static_cast<DWORD>(GetWindowLongPtrW(dialog, GWL_EXSTYLE)));
  ResizeKeepingTopLeft(dialog, outer.right - outer.left, outer.bottom - outer.top);
  banner_.Attach(GetDlgItem(dialog, IDC_LICENCE_BANNER));
  banner_.SetImage(IDB_LICENCE_BANNER);
  banner_.SetCaption(LicenceBannerTitle(), 58, 31, 18, RGB(255, 255, 255));
  banner_.SetPlacement(5, 4, 371, 67);
  PlaceChild(textBox, 5, 110, 372, 250);
  CenterOverOwner(dialog, owner_);

  // Focus on the answer, not in the text (which would select the whole licence).
  SetFocus(GetDlgItem(dialog, IDOK));
  return false;
}

bool CEULADlg::HandleMessage(UINT message, WPARAM wParam, LPARAM, LRESULT& result) {
  result = 0;
  if (message != WM_COMMAND) return false;
  switch (LOWORD(wParam)) {
    case IDOK:
      EndModal(kAccepted);
      return true;
    case IDCANCEL:  // also the close box and Escape
      EndModal(kDeclined);
      return true;
    default:
      return false;
  }
}
