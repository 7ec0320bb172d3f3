// The program's skinned message box: an optional title, a message, an optional icon and up to three
// coloured buttons. Show returns 1, 2 or 3 for the pressed button (by its place among the three,
// whether or not the others are shown) and 0 when the box was closed.
#ifndef UI_MSG_BOX_H
#define UI_MSG_BOX_H

#include <windows.h>

#include <array>
#include <string>

#include "ui/bitmap_button.h"
#include "ui/color_label.h"
#include "ui/dialog_window.h"
#include "ui/image_view.h"
#include "ui/msg_box_layout.h"
#include "ui/skinned_surface.h"

class CMsgBox : public CDialogWindow {
 public:
  static constexpr int kWidth = 480;
  static constexpr int kHeight = 162;

  CMsgBox(int icon, int type1, std::wstring caption1, int type2, std::wstring caption2, int type3,
          std::wstring caption3, std::wstring message, std::wstring title);
  // One button; the other two are hidden.
  CMsgBox(int icon, int type, std::wstring caption, std::wstring message, std::wstring title);
  ~CMsgBox() override;

  // Shows the box modally over owner (may be null) on the calling thread. A box that cannot be
  // shown counts as closed (0).
  int Show(HWND owner);

 protected:
  bool OnInitDialog() override;
  bool HandleMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

 private:
  void SetUpText(const MsgBoxLayout& layout);
  void SetUpButtons(const MsgBoxLayout& layout);

  MsgBoxContent content_;
  HWND owner_ = nullptr;
  SkinnedSurface surface_;
  CImageView icon_;
  ui_ColorLabel title_;
  ui_ColorLabel message_;
  CBitmapButtonEx close_;
  std::array<CBitmapButtonEx, 3> buttons_;
};

#endif
