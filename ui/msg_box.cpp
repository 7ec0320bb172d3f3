#include "ui/msg_box.h"

#include <vector>

#include "resources/resource_ids.h"
#include "ui/window_placement.h"

namespace {

constexpr int kButtonIds[3] = {IDC_BOX_BUTTON1, IDC_BOX_BUTTON2, IDC_BOX_BUTTON3};
constexpr int kButtonY = 115;
constexpr int kButtonWidth = 124;
constexpr int kButtonHeight = 36;
constexpr int kTextX = 90;
constexpr int kTextWidth = 380;

std::vector<SkinImage> buttonImages(int type) {
  std::vector<SkinImage> images;
  for (int id : MsgBoxButtonImages(type)) images.push_back(LoadSkinImage(id));
  return images;
}

}  // namespace

CMsgBox::CMsgBox(int icon, int type1, std::wstring caption1, int type2, std::wstring caption2, int type3,
                 std::wstring caption3, std::wstring message, std::wstring title) {
  content_.icon = icon;
  content_.buttons = {MsgBoxButton{type1, std::move(caption1)}, MsgBoxButton{type2, std::move(caption2)},
                      MsgBoxButton{type3, std::move(caption3)}};
  content_.message = std::move(message);
  content_.title = std::move(title);
}

CMsgBox::CMsgBox(int icon, int type, std::wstring caption, std::wstring message, std::wstring title)
    : CMsgBox(icon, type, std::move(caption), kMsgBoxNoButton, L"", kMsgBoxNoButton, L"", std::move(message),
              std::move(title)) {}

CMsgBox::~CMsgBox() = default;

int CMsgBox::Show(HWND owner) {
  owner_ = owner;
  const INT_PTR result = RunModal(IDD_MESSAGE_BOX, owner);
  return result >= 0 && result <= 3 ? static_cast<int>(result) : 0;
}

bool CMsgBox::OnInitDialog() {
  HWND box = Handle();
  ClearFrameStyle(box);
  CenterOverOwner(box, owner_);
  surface_.SetBackground(LoadSkinImage(IDB_MSGBOX_BACKGROUND), kWidth, kHeight);
  const MsgBoxLayout layout = LayOutMsgBox(content_);

  icon_.Attach(GetDlgItem(box, IDC_BOX_ICON));
  if (layout.iconImage == 0) {
    ShowWindow(icon_.Handle(), SW_HIDE);
  } else {
    icon_.SetImage(layout.iconImage);
    icon_.SetPlacement(10, 45, 70, 70);
  }
  SetUpText(layout);

  close_.Attach(GetDlgItem(box, IDC_BOX_CLOSE));
  std::vector<SkinImage> closeImages;
  closeImages.push_back(LoadSkinImage(IDB_CLOSE_NORMAL));
  closeImages.push_back(LoadSkinImage(IDB_CLOSE_HOVER));
  close_.SetImages(std::move(closeImages));
  close_.SetImageIndexes(ButtonImageIndexes{0, 1, 1, -1});
  close_.SetHoverMode(true);
  PlaceChild(close_.Handle(), 459, 2, 20, 19);

  SetUpButtons(layout);

  ResizeKeepingTopLeft(box, kWidth, kHeight);
  ApplyRoundedRegion(box, kWidth + 1, kHeight);
  CenterOverOwner(box, owner_);
  return true;
}

void CMsgBox::SetUpText(const MsgBoxLayout& layout) {
  HWND box = Handle();
  title_.Attach(GetDlgItem(box, IDC_BOX_TITLE));
  if (!layout.titleVisible) {
    ShowWindow(title_.Handle(), SW_HIDE);
  } else {
    title_.SetFontName(L"Arial", false);
    title_.SetFontSize(12, false);
    title_.SetFontBold(true, false);
    title_.SetTextColor(RGB(151, 27, 30), false);
    title_.SetTransparent(true, false);
    title_.SetText(content_.title, false);
    PlaceChild(title_.Handle(), kTextX, 55, kTextWidth, 20);
  }

  message_.Attach(GetDlgItem(box, IDC_BOX_MESSAGE));
  if (!layout.messageVisible) {
    ShowWindow(message_.Handle(), SW_HIDE);
    return;
  }
  message_.SetFontName(L"Arial", false);
  message_.SetFontSize(layout.messagePoints, false);
  message_.SetFontBold(true, false);
  message_.SetTextColor(RGB(0, 0, 0), false);
  message_.SetTransparent(true, false);
  message_.SetText(content_.message, false);
  PlaceChild(message_.Handle(), kTextX, layout.messageY, kTextWidth, layout.messageHeight);
}

void CMsgBox::SetUpButtons(const MsgBoxLayout& layout) {
  HWND box = Handle();
  HCURSOR hand = LoadCursorW(nullptr, IDC_HAND);
  close_.SetCursor(hand);
  for (int position = 0; position < 3; ++position) {
    CBitmapButtonEx& button = buttons_[position];
    button.AttachCaptionButton(GetDlgItem(box, kButtonIds[position]));
    button.SetCursor(hand);
    const MsgBoxButton& given = content_.buttons[position];
    if (MsgBoxButtonImages(given.type)[0] == 0) {
      ShowWindow(button.Handle(), SW_HIDE);
      continue;
    }
    button.SetImages(buttonImages(given.type));
    button.SetImageIndexes(ButtonImageIndexes{0, 2, 1, -1});
    button.SetHoverMode(true);
    button.SetCaption(given.caption, false);
  }
  for (size_t shown = 0; shown < layout.shownButtons.size(); ++shown) {
    PlaceChild(buttons_[layout.shownButtons[shown]].Handle(), layout.buttonX[shown], kButtonY, kButtonWidth,
               kButtonHeight);
  }
}

bool CMsgBox::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
  result = 0;
  if (surface_.HandleMessage(Handle(), message, wParam, lParam, result)) return true;
  switch (message) {
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case IDC_BOX_CLOSE:
        case IDCANCEL:  // Escape answers like the close button
          EndModal(0);
          break;
        case IDC_BOX_BUTTON1:
          EndModal(1);
          break;
        case IDC_BOX_BUTTON2:
          EndModal(2);
          break;
        case IDC_BOX_BUTTON3:
          EndModal(3);
          break;
        default:
          break;
      }
      return true;
    case WM_CLOSE:
      EndModal(0);
      return true;
    default:
      return false;
  }
}
