#include "ui/skin_image.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "resources/resource_ids.h"
#include "ui/resource_data.h"
#include "windows_common/gdiplus_functions.h"

namespace {

struct StreamRelease {
  void operator()(IStream* stream) const { stream->Release(); }
};

// A stream over a private copy of the bytes: GDI+ may read the stream after the call that made the
// bitmap, and resource memory must not be handed to a stream that frees its block.
std::unique_ptr<IStream, StreamRelease> memoryStream(const void* bytes, size_t size) {
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, size);
  if (block == nullptr) return nullptr;
  void* target = GlobalLock(block);
  if (target == nullptr) {
    GlobalFree(block);
    return nullptr;
  }
  memcpy(target, bytes, size);
  GlobalUnlock(block);
  IStream* stream = nullptr;
  if (FAILED(CreateStreamOnHGlobal(block, TRUE, &stream))) {
    GlobalFree(block);
    return nullptr;
  }
  return std::unique_ptr<IStream, StreamRelease>(stream);
}

}  // namespace

SkinImage::SkinImage(HBITMAP bitmap, const uint32_t* pixels, int width, int height)
    : bitmap_(bitmap), pixels_(pixels), width_(width), height_(height) {}

SkinImage::SkinImage(SkinImage&& other) noexcept { *this = std::move(other); }

SkinImage& SkinImage::operator=(SkinImage&& other) noexcept {
  if (this != &other) {
    Release();
    bitmap_ = other.bitmap_;
    pixels_ = other.pixels_;
    width_ = other.width_;
    height_ = other.height_;
    other.bitmap_ = nullptr;
    other.pixels_ = nullptr;
    other.width_ = other.height_ = 0;
  }
  return *this;
}

SkinImage::~SkinImage() { Release(); }

void SkinImage::Release() {
  if (bitmap_ != nullptr) DeleteObject(bitmap_);
  bitmap_ = nullptr;
  pixels_ = nullptr;
}

uint32_t SkinImage::PixelAt(int x, int y) const {
  if (pixels_ == nullptr || x < 0 || y < 0 || x >= width_ || y >= height_) return 0;
  GdiFlush();
  return pixels_[static_cast<size_t>(y) * width_ + x] & 0x00FFFFFFu;
}

void SkinImage::Draw(HDC dc, int x, int y, int width, int height, int sourceX, int sourceY) const {
  if (bitmap_ == nullptr || sourceX < 0 || sourceY < 0) return;
  const int copyWidth = std::min(width, width_ - sourceX);
  const int copyHeight = std::min(height, height_ - sourceY);
  if (copyWidth <= 0 || copyHeight <= 0) return;
  HDC memory = CreateCompatibleDC(dc);
  if (memory == nullptr) return;
  HGDIOBJ previous = SelectObject(memory, bitmap_);
  BitBlt(dc, x, y, copyWidth, copyHeight, memory, sourceX, sourceY, SRCCOPY);
  SelectObject(memory, previous);
  DeleteDC(memory);
}

uint32_t CompositeOntoBlack(uint32_t argb) {
  const uint32_t alpha = argb >> 24;
  auto scale = [alpha](uint32_t channel) { return (channel * alpha + 127) / 255; };
  const uint32_t red = scale((argb >> 16) & 0xFF);
  const uint32_t green = scale((argb >> 8) & 0xFF);
  const uint32_t blue = scale(argb & 0xFF);
  return 0xFF000000u | (red << 16) | (green << 8) | blue;
}

namespace {

// A GDI+ bitmap, disposed of with its owner.
class DecodedBitmap {
 public:
  DecodedBitmap(const wincommon::GdiplusFunctions& gdiplus, IStream* stream) : gdiplus_(gdiplus) {
    if (gdiplus_.GdipCreateBitmapFromStream(stream, &bitmap_) != Gdiplus::Ok) bitmap_ = nullptr;
  }
  ~DecodedBitmap() {
    if (bitmap_ != nullptr) gdiplus_.GdipDisposeImage(bitmap_);
  }
  DecodedBitmap(const DecodedBitmap&) = delete;
  DecodedBitmap& operator=(const DecodedBitmap&) = delete;

  Gdiplus::GpBitmap* get() const { return bitmap_; }

 private:
  const wincommon::GdiplusFunctions& gdiplus_;
  Gdiplus::GpBitmap* bitmap_ = nullptr;
};

}  // namespace

SkinImage DecodeSkinImage(const void* bytes, size_t size) {
  const wincommon::GdiplusFunctions* gdiplus = wincommon::GdiplusFlat();
  if (bytes == nullptr || size == 0 || gdiplus == nullptr) return {};
  auto stream = memoryStream(bytes, size);
  if (stream == nullptr) return {};
  DecodedBitmap decoded(*gdiplus, stream.get());
  UINT imageWidth = 0;
  UINT imageHeight = 0;
  if (decoded.get() == nullptr || gdiplus->GdipGetImageWidth(decoded.get(), &imageWidth) != Gdiplus::Ok ||
      gdiplus->GdipGetImageHeight(decoded.get(), &imageHeight) != Gdiplus::Ok) {
    return {};
  }
  const int width = static_cast<int>(imageWidth);
  const int height = static_cast<int>(imageHeight);
  if (width <= 0 || height <= 0) return {};

  Gdiplus::Rect whole(0, 0, width, height);
  Gdiplus::BitmapData locked{};
  if (gdiplus->GdipBitmapLockBits(decoded.get(), &whole, Gdiplus::ImageLockModeRead, PixelFormat32bppARGB, &locked) !=
      Gdiplus::Ok) {
    return {};
  }

  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;  // top-down rows, like GDI+'s
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (bitmap != nullptr) {
    auto* target = static_cast<uint32_t*>(bits);
    for (int row = 0; row < height; ++row) {
      const auto* source = reinterpret_cast<const uint32_t*>(static_cast<const unsigned char*>(locked.Scan0) +
                                                             static_cast<ptrdiff_t>(row) * locked.Stride);
      for (int column = 0; column < width; ++column) {
        target[static_cast<size_t>(row) * width + column] = CompositeOntoBlack(source[column]);
      }
    }
  }
  gdiplus->GdipBitmapUnlockBits(decoded.get(), &locked);
  if (bitmap == nullptr) return {};
  return SkinImage(bitmap, static_cast<const uint32_t*>(bits), width, height);
}

SkinImage LoadSkinImage(int id) {
  const ResourceData data = LoadResourceData(id, RT_SKIN_DATA);
  return DecodeSkinImage(data.bytes, data.size);
}
