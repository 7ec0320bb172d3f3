// The licence agreement of the download service, shown once per user before the first download.
// Show returns kAccepted after "I Agree" (or Enter) and kDeclined after "Cancel", the close box or
// Escape; remembering the answer is the caller's business.
#ifndef UI_EULA_DIALOG_H
#define UI_EULA_DIALOG_H

#include <windows.h>

#include <string>

#include "ui/dialog_window.h"
#include "ui/image_view.h"

class CEULADlg : public CDialogWindow {
 public:
  static constexpr int kAccepted = 1;
  static constexpr int kDeclined = 2;

  ~CEULADlg() override;

  // Modal over owner (may be null). A dialog that cannot be shown counts as declined: an
  // acceptance is only ever reported when the player gave it.
  int Show(HWND owner);

 protected:
  bool OnInitDialog() override;
  bool HandleMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

 private:
  HWND owner_ = nullptr;
  CImageView banner_;
};

// The licence text resource as text.
std::wstring LicenceText();
// The publisher that ships the download service (a build setting), named in the greyed owner line.
std::wstring PublisherName();
// The banner's title: the publisher's name and " Download Service".
std::wstring LicenceBannerTitle();

// The dialog's client area, which holds every control (the licence's text box reaches x = 377,
// the buttons and the owner line y = 396). Its outer size follows from the frame the system draws
// (387 x 430 with the classic 3-pixel frame); a fixed outer size would let the thicker frames of
// Windows 10 clip the controls.
constexpr int kLicenceClientWidth = 381;
constexpr int kLicenceClientHeight = 404;

#endif
