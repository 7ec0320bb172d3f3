// A progress bar laid into a trough of the parent's artwork: the bar's own window is as wide as the
// value asks and shows the left part of the fill strip; the trough shows through to its right.
#ifndef UI_PROGRESS_BAR_H
#define UI_PROGRESS_BAR_H

#include <windows.h>

#include "ui/control_window.h"
#include "ui/skin_image.h"

// The bar's width for a percentage: values above 100 count as 100, below 0 as 0; truncated.
int ProgressBarWidth(int fullWidth, int percent);

class CTSProgressBar : public CControlWindow {
 public:
  static constexpr int kFullWidth = 341;
  static constexpr int kHeight = 18;

  // Decodes the fill strip (GDI+ must have been started).
  CTSProgressBar();

  // Takes over a static control, clears its text and lays it out at the stored placement for the
  // stored value.
  bool Attach(HWND control);
  // Stores the bar's place in the parent; the next change of value moves it there.
  void SetPlacement(int x, int y);
  // Sets the percentage; a value equal to the stored one changes nothing.
  void SetPos(int percent);

  int Pos() const { return value_; }
  int VisibleWidth() const { return ProgressBarWidth(kFullWidth, value_); }

 protected:
  bool HandleMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

 private:
  void Layout();

  int x_ = 0;
  int y_ = 0;
  int value_ = 0;
  SkinImage fill_;
};

#endif
