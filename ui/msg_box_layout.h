// Where the skinned message box puts its icon, title, message and up to three buttons.
#ifndef UI_MSG_BOX_LAYOUT_H
#define UI_MSG_BOX_LAYOUT_H

#include <array>
#include <string>
#include <vector>

enum MsgBoxIcon { kMsgBoxNoIcon = 0, kMsgBoxWarning = 1, kMsgBoxSuccess = 2, kMsgBoxError = 3 };
enum MsgBoxButtonType { kMsgBoxNoButton = 0, kMsgBoxRed = 1, kMsgBoxGreen = 2, kMsgBoxGrey = 3 };

struct MsgBoxButton {
  int type = kMsgBoxNoButton;
  std::wstring caption;
};

struct MsgBoxContent {
  int icon = kMsgBoxNoIcon;
  std::array<MsgBoxButton, 3> buttons;
  std::wstring message;
  std::wstring title;
};

struct MsgBoxLayout {
  int iconImage = 0;  // 0: no icon shown
  bool titleVisible = false;
  bool messageVisible = false;
  int messageY = 0;
  int messageHeight = 0;
  int messagePoints = 0;
  // The buttons shown, by their position among the three (0 to 2), left to right, with their x.
  std::vector<int> shownButtons;
  std::vector<int> buttonX;
};

// The image of an icon kind: 0 for none, warning for any unknown kind.
int MsgBoxIconImage(int icon);
// Normal, hover and pressed images of a button type; all 0 for a hidden (or unknown) type.
std::array<int, 3> MsgBoxButtonImages(int type);
MsgBoxLayout LayOutMsgBox(const MsgBoxContent& content);

#endif
