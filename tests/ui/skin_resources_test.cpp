// The embedded artwork and texts: every image with its id, size and format, the background's
// layout, compositing onto black, the licence text and the icon's sizes.
#include <objidl.h>
#include <gdiplus.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "resources/resource_ids.h"
#include "ui/eula_dialog.h"
#include "ui/resource_data.h"
#include "ui/skin_image.h"

namespace {

enum Format { kPng, kPngWithAlpha, kJpeg };

TEST(SkinImages, EveryImageHasItsSizeAndFormat) {
  const struct {
    int id;
    int width;
    int height;
    Format format;
  } kImages[] = {
      {1050, 503, 300, kPngWithAlpha}, {1051, 24, 24, kPng},   {1052, 24, 24, kPng},    {1053, 24, 24, kPng},
      {1054, 20, 19, kPng},            {1055, 20, 19, kPng},   {1056, 24, 24, kPng},    {1057, 24, 24, kPng},
      {1058, 24, 24, kPng},            {1059, 371, 67, kJpeg}, {1060, 22, 19, kPng},    {1061, 22, 19, kPng},
      {1062, 360, 18, kPng},           {1065, 485, 145, kJpeg}, {1066, 480, 162, kPngWithAlpha},
      {1067, 124, 36, kPng},           {1068, 124, 36, kPng},  {1082, 124, 36, kPng},   {1069, 124, 36, kPng},
      {1070, 124, 36, kPng},           {1083, 124, 36, kPng},  {1071, 124, 36, kPng},   {1072, 124, 36, kPng},
      {1081, 124, 36, kPng},           {1073, 70, 70, kPng},   {1074, 70, 70, kPng},    {1075, 70, 70, kPng},
  };
  for (const auto& expected : kImages) {
    SCOPED_TRACE(expected.id);
    const ResourceData data = LoadResourceData(expected.id, RT_SKIN_DATA);
    ASSERT_GT(data.size, 26u);
    const auto* bytes = static_cast<const unsigned char*>(data.bytes);
    if (expected.format == kJpeg) {
      EXPECT_EQ(memcmp(bytes, "\xFF\xD8\xFF", 3), 0);
    } else {
      EXPECT_EQ(memcmp(bytes, "\x89PNG\r\n\x1A\n", 8), 0);
      const int colourType = bytes[25];  // in the IHDR chunk; 6 is RGB with alpha
      if (expected.format == kPngWithAlpha) {
        EXPECT_EQ(colourType, 6);
      }
    }
    const SkinImage image = LoadSkinImage(expected.id);
    ASSERT_FALSE(image.empty());
    EXPECT_EQ(image.width(), expected.width);
    EXPECT_EQ(image.height(), expected.height);
  }
}

TEST(SkinImages, MissingOrUndecodableImagesAreEmpty) {
  EXPECT_TRUE(LoadSkinImage(4242).empty());
  const char garbage[] = "\x89PNG but not really an image";
  EXPECT_TRUE(DecodeSkinImage(garbage, sizeof(garbage)).empty());
  EXPECT_TRUE(DecodeSkinImage(nullptr, 0).empty());
}

TEST(CompositeOntoBlack, ScalesTheColourByItsAlpha) {
  const struct {
    uint32_t argb;
    uint32_t composited;
  } kCases[] = {
      {0x00FFFFFFu, 0xFF000000u}, {0xFFFF8000u, 0xFFFF8000u}, {0x80FF0000u, 0xFF800000u},
      {0x40204080u, 0xFF081020u}, {0x01FFFFFFu, 0xFF010101u},
  };
  for (const auto& c : kCases) EXPECT_EQ(CompositeOntoBlack(c.argb), c.composited) << std::hex << c.argb;
}

// Encodes pixels as a PNG with GDI+ and returns the file's bytes.
std::vector<unsigned char> encodePng(const std::vector<uint32_t>& argbPixels, int width) {
  UINT count = 0;
  UINT size = 0;
  Gdiplus::GetImageEncodersSize(&count, &size);
  std::vector<unsigned char> buffer(size);
  auto* encoders = reinterpret_cast<Gdiplus::ImageCodecInfo*>(buffer.data());
  Gdiplus::GetImageEncoders(count, size, encoders);
  const CLSID* png = nullptr;
  for (UINT i = 0; i < count; ++i) {
    if (wcscmp(encoders[i].MimeType, L"image/png") == 0) png = &encoders[i].Clsid;
  }
  if (png == nullptr) return {};
  const int height = static_cast<int>(argbPixels.size()) / width;
  Gdiplus::Bitmap bitmap(width, height, width * 4, PixelFormat32bppARGB,
                         reinterpret_cast<BYTE*>(const_cast<uint32_t*>(argbPixels.data())));
  IStream* stream = nullptr;
  CreateStreamOnHGlobal(nullptr, TRUE, &stream);
  std::vector<unsigned char> bytes;
  if (bitmap.Save(stream, png, nullptr) == Gdiplus::Ok) {
    HGLOBAL block = nullptr;
    GetHGlobalFromStream(stream, &block);
    STATSTG stat{};
    stream->Stat(&stat, STATFLAG_NONAME);
    const auto* data = static_cast<const unsigned char*>(GlobalLock(block));
    bytes.assign(data, data + stat.cbSize.QuadPart);
    GlobalUnlock(block);
  }
  stream->Release();
  return bytes;
}

TEST(DecodeSkinImage, PartialTransparencyIsLaidOntoOpaqueBlack) {
  const std::vector<unsigned char> png = encodePng({0x80FF0000u, 0x00FFFFFFu, 0xFF10A0F0u, 0x4000FF00u}, 2);
  ASSERT_FALSE(png.empty());
  const SkinImage image = DecodeSkinImage(png.data(), png.size());
  ASSERT_EQ(image.width(), 2);
  ASSERT_EQ(image.height(), 2);
  EXPECT_EQ(image.PixelAt(0, 0), 0x800000u);
  EXPECT_EQ(image.PixelAt(1, 0), 0x000000u);
  EXPECT_EQ(image.PixelAt(0, 1), 0x10A0F0u);
  EXPECT_EQ(image.PixelAt(1, 1), 0x004000u);
}

bool isLight(uint32_t rgb) { return ((rgb >> 16) & 0xFF) > 150 && ((rgb >> 8) & 0xFF) > 150 && (rgb & 0xFF) > 150; }
bool isDark(uint32_t rgb) { return ((rgb >> 16) & 0xFF) < 70 && ((rgb >> 8) & 0xFF) < 70 && (rgb & 0xFF) < 90; }

bool anyLightPixel(const SkinImage& image, int left, int top, int right, int bottom) {
  for (int y = top; y <= bottom; ++y) {
    for (int x = left; x <= right; ++x) {
      if (isLight(image.PixelAt(x, y))) return true;
    }
  }
  return false;
}

TEST(MainBackground, HasItsAreasTroughsMarksAndCutCorners) {
  const SkinImage background = LoadSkinImage(IDB_MAIN_BACKGROUND);
  ASSERT_EQ(background.width(), 503);
  for (POINT corner : {POINT{0, 0}, POINT{502, 0}, POINT{0, 299}, POINT{502, 299}}) {
    EXPECT_EQ(background.PixelAt(corner.x, corner.y), 0u) << corner.x << "," << corner.y;  // transparent
  }
  EXPECT_TRUE(isDark(background.PixelAt(250, 30)));
  EXPECT_TRUE(isDark(background.PixelAt(250, 190)));
  const uint32_t panel = background.PixelAt(50, 285);
  for (int shift : {16, 8, 0}) {
    EXPECT_GE((panel >> shift) & 0xFF, 244u);
    EXPECT_LE((panel >> shift) & 0xFF, 246u);
  }
  // The troughs' inner areas are exactly where the bars stand: one colour inside, not just outside.
  for (int top : {212, 246}) {
    SCOPED_TRACE(top);
    const uint32_t inside = background.PixelAt(101, top);
    for (POINT point : {POINT{441, top}, POINT{101, top + 17}, POINT{441, top + 17}, POINT{270, top + 9}}) {
      EXPECT_EQ(background.PixelAt(point.x, point.y), inside);
    }
    for (POINT point : {POINT{100, top + 9}, POINT{442, top + 9}, POINT{270, top - 1}, POINT{270, top + 18}}) {
      EXPECT_NE(background.PixelAt(point.x, point.y), inside);
    }
  }
  EXPECT_TRUE(anyLightPixel(background, 458, 2, 477, 20));   // minimise mark
  EXPECT_TRUE(anyLightPixel(background, 482, 2, 501, 20));   // close mark
  EXPECT_TRUE(anyLightPixel(background, 10, 5, 200, 35));    // the publisher's logo
  EXPECT_FALSE(anyLightPixel(background, 300, 60, 440, 180));
}

TEST(MessageBoxBackground, HasCutCornersAndALightPanel) {
  const SkinImage background = LoadSkinImage(IDB_MSGBOX_BACKGROUND);
  for (POINT corner : {POINT{0, 0}, POINT{479, 0}, POINT{0, 161}, POINT{479, 161}}) {
    EXPECT_EQ(background.PixelAt(corner.x, corner.y), 0u);
  }
  EXPECT_TRUE(isLight(background.PixelAt(240, 100)));
  EXPECT_TRUE(isDark(background.PixelAt(470, 12)));  // under the close button
}

TEST(LicenceText, IsUtf16WithAByteOrderMarkAndCrLfLines) {
  const ResourceData data = LoadResourceData(IDT_LICENCE_TEXT, RT_SKIN_DATA);
  ASSERT_GE(data.size, 2u);
  EXPECT_EQ(memcmp(data.bytes, "\xFF\xFE", 2), 0);
  const std::wstring text = LicenceText();
  EXPECT_GT(text.size(), 4000u);
  EXPECT_NE(text[0], 0xFEFF);
  EXPECT_EQ(text.compare(0, 23, L"TESSEL DOWNLOAD SERVICE"), 0);
  EXPECT_NE(text.find(L"\r\n"), std::wstring::npos);
  for (size_t at = text.find(L'\n'); at != std::wstring::npos; at = text.find(L'\n', at + 1)) {
    ASSERT_GT(at, 0u);
    ASSERT_EQ(text[at - 1], L'\r') << at;
  }
}

TEST(Utf16Text, DropsTheByteOrderMarkAndAnOddLastByte) {
  const unsigned char bytes[] = {0xFF, 0xFE, 'O', 0, 'K', 0, 0xE9, 0, '!'};
  EXPECT_EQ(Utf16TextFromBytes(bytes, sizeof(bytes)), L"OK\u00E9");
  const unsigned char noMark[] = {'h', 0, 'i', 0};
  EXPECT_EQ(Utf16TextFromBytes(noMark, sizeof(noMark)), L"hi");
  EXPECT_EQ(Utf16TextFromBytes(bytes, 1), L"");
}

TEST(AppIcon, HoldsSixtyFourToSixteenPixelImages) {
  const ResourceData group = LoadResourceData(IDI_APP, 14);  // RT_GROUP_ICON
  ASSERT_GE(group.size, 6u);
  const auto* bytes = static_cast<const unsigned char*>(group.bytes);
  const int count = bytes[4] | (bytes[5] << 8);
  ASSERT_EQ(group.size, 6u + 14u * static_cast<unsigned>(count));
  std::vector<int> widths;
  for (int i = 0; i < count; ++i) widths.push_back(bytes[6 + 14 * i]);
  EXPECT_EQ(widths, (std::vector<int>{64, 48, 32, 24, 16}));
  for (int size : {16, 32, 48, 64}) {
    HICON icon = static_cast<HICON>(
        LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_APP), IMAGE_ICON, size, size, 0));
    ASSERT_NE(icon, nullptr) << size;
    DestroyIcon(icon);
  }
}

}  // namespace
