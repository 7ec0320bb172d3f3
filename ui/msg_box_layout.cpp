#include "ui/msg_box_layout.h"

#include "resources/resource_ids.h"

namespace {

constexpr size_t kLongMessage = 100;
constexpr size_t kVeryLongMessage = 150;

}  // namespace

int MsgBoxIconImage(int icon) {
  switch (icon) {
    case kMsgBoxNoIcon:
      return 0;
    case kMsgBoxSuccess:
      return IDB_ICON_SUCCESS;
    case kMsgBoxError:
      return IDB_ICON_ERROR;
    default:
      return IDB_ICON_WARNING;
  }
}

std::array<int, 3> MsgBoxButtonImages(int type) {
  switch (type) {
    case kMsgBoxRed:
      return {IDB_RED_NORMAL, IDB_RED_HOVER, IDB_RED_PRESSED};
    case kMsgBoxGreen:
      return {IDB_GREEN_NORMAL, IDB_GREEN_HOVER, IDB_GREEN_PRESSED};
    case kMsgBoxGrey:
      return {IDB_GREY_NORMAL, IDB_GREY_HOVER, IDB_GREY_PRESSED};
    default:
      return {0, 0, 0};
  }
}

MsgBoxLayout LayOutMsgBox(const MsgBoxContent& content) {
  MsgBoxLayout layout;
  layout.iconImage = MsgBoxIconImage(content.icon);
  layout.titleVisible = !content.title.empty();
  layout.messageVisible = !content.message.empty();
  layout.messageY = layout.titleVisible ? 80 : 65;
  if (content.message.size() > kLongMessage) layout.messageY -= 10;
  layout.messagePoints = content.message.size() > kVeryLongMessage ? 10 : 11;
  layout.messageHeight = layout.titleVisible ? 40 : 60;

  for (int position = 0; position < 3; ++position) {
    if (MsgBoxButtonImages(content.buttons[position].type)[0] != 0) layout.shownButtons.push_back(position);
  }
  switch (layout.shownButtons.size()) {
    case 1:
      layout.buttonX = {187};
      break;
    case 2:
      layout.buttonX = {137, 276};
      break;
    case 3:
      layout.buttonX = {87, 216, 345};
      break;
    default:
      break;
  }
  return layout;
}
