#include "ui/image_view.h"

#include "ui/app_module.h"

bool CImageView::Attach(HWND control) {
  if (!Subclass(control)) return false;
  ClearOriginalText();
  RECT client;
  GetClientRect(control, &client);
  width_ = client.right;
  height_ = client.bottom;
  return true;
}

bool CImageView::Create(HWND parent, int x, int y, int width, int height) {
  // SS_NOTIFY makes the static a mouse target instead of letting presses through to the parent.
  HWND view = CreateWindowExW(0, L"Static", L"", WS_CHILD | WS_VISIBLE | SS_NOTIFY, x, y, width, height, parent,
                              nullptr, AppModule().ResourceInstance(), nullptr);
  if (view == nullptr) return false;
  if (!Attach(view)) {
    DestroyWindow(view);
    return false;
  }
  return true;
}

bool CImageView::SetImage(int resourceId) {
  image_ = LoadSkinImage(resourceId);
  imageId_ = resourceId;
  if (Handle() != nullptr) InvalidateRect(Handle(), nullptr, FALSE);
  return !image_.empty();
}

void CImageView::SetPlacement(int x, int y, int width, int height) {
  width_ = width;
  height_ = height;
  if (Handle() != nullptr) SetWindowPos(Handle(), nullptr, x, y, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
}

void CImageView::SetPlacement(const RECT& rect) {
  SetPlacement(rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top);
}

void CImageView::SetCaption(const std::wstring& text, int x, int baseline, int pixelHeight, COLORREF colour) {
  caption_ = text;
  captionX_ = x;
  captionBaseline_ = baseline;
  captionHeight_ = pixelHeight;
  captionColour_ = colour;
  if (Handle() != nullptr) InvalidateRect(Handle(), nullptr, FALSE);
}

bool CImageView::HandleMessage(UINT message, WPARAM, LPARAM, LRESULT& result) {
  return AnswerPaint(message, result, [this](HDC dc) {
    image_.Draw(dc, 0, 0, width_, height_);
    if (caption_.empty()) return;
    HFONT font = CreateFontW(-captionHeight_, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                             OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY, DEFAULT_PITCH, L"Arial");
    HGDIOBJ previous = SelectObject(dc, font);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, captionColour_);
    SetTextAlign(dc, TA_LEFT | TA_BASELINE);
    TextOutW(dc, captionX_, captionBaseline_, caption_.c_str(), static_cast<int>(caption_.size()));
    SelectObject(dc, previous);
    DeleteObject(font);
  });
}
