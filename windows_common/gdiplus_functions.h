// GDI+'s flat API, taken on first use from the system folder (system_functions.h).
#ifndef WINDOWS_COMMON_GDIPLUS_FUNCTIONS_H
#define WINDOWS_COMMON_GDIPLUS_FUNCTIONS_H

#include <windows.h>
#include <objidl.h>
#include <gdiplus.h>

#include "windows_common/system_functions.h"

// <gdiplus.h> declares these inside its namespaces; the table names them from the global one.
using Gdiplus::GdiplusShutdown;
using Gdiplus::GdiplusStartup;
using Gdiplus::DllExports::GdipBitmapLockBits;
using Gdiplus::DllExports::GdipBitmapUnlockBits;
using Gdiplus::DllExports::GdipCreateBitmapFromStream;
using Gdiplus::DllExports::GdipDisposeImage;
using Gdiplus::DllExports::GdipGetImageHeight;
using Gdiplus::DllExports::GdipGetImageWidth;

#define AK_GDIPLUS_FUNCTIONS(X)                                                                               \
  X(GdiplusShutdown) X(GdiplusStartup) X(GdipBitmapLockBits) X(GdipBitmapUnlockBits) X(GdipCreateBitmapFromStream) \
  X(GdipDisposeImage) X(GdipGetImageHeight) X(GdipGetImageWidth)

namespace wincommon {
AK_SYSTEM_FUNCTIONS(GdiplusFunctions, GdiplusFlat, "gdiplus.dll", AK_GDIPLUS_FUNCTIONS)
}  // namespace wincommon

#endif
