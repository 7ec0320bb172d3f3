// Skin artwork: embedded PNG and JPEG images decoded into opaque bitmaps, on which every
// transparent or partly transparent pixel has been composited onto black.
#ifndef UI_SKIN_IMAGE_H
#define UI_SKIN_IMAGE_H

#include <windows.h>

#include <cstddef>
#include <cstdint>

class SkinImage {
 public:
  SkinImage() = default;
  SkinImage(HBITMAP bitmap, const uint32_t* pixels, int width, int height);
  SkinImage(SkinImage&& other) noexcept;
  SkinImage& operator=(SkinImage&& other) noexcept;
  SkinImage(const SkinImage&) = delete;
  SkinImage& operator=(const SkinImage&) = delete;
  ~SkinImage();

  bool empty() const { return bitmap_ == nullptr; }
  int width() const { return width_; }
  int height() const { return height_; }
  // 0x00RRGGBB of one pixel; 0 outside the image.
  uint32_t PixelAt(int x, int y) const;

  // Copies the part of the image at (sourceX, sourceY), width x height, to (x, y) on dc, unscaled;
  // what lies outside the image is left as it was.
  void Draw(HDC dc, int x, int y, int width, int height, int sourceX = 0, int sourceY = 0) const;

 private:
  void Release();

  HBITMAP bitmap_ = nullptr;
  const uint32_t* pixels_ = nullptr;
  int width_ = 0;
  int height_ = 0;
};

// Decodes the image resource id (type 23); an empty image when it is missing or undecodable.
// GDI+ must have been started.
SkinImage LoadSkinImage(int id);
// Decodes PNG or JPEG bytes.
SkinImage DecodeSkinImage(const void* bytes, size_t size);
// One 0xAARRGGBB pixel laid onto opaque black: the colour scaled by its alpha, alpha 255.
uint32_t CompositeOntoBlack(uint32_t argb);

#endif
