// Where the skinned windows stand: centring over an owner or in a monitor's work area, sizes that
// keep the top-left corner, child placement and the rounded window region.
#ifndef UI_WINDOW_PLACEMENT_H
#define UI_WINDOW_PLACEMENT_H

#include <windows.h>

// window moved so that it is centred over `over`, then shifted as little as needed to lie wholly
// inside workArea (its top-left corner wins when it is larger than the work area).
RECT CenteredRect(const RECT& window, const RECT& over, const RECT& workArea);

// The work area of the monitor nearest to the window.
RECT NearestWorkArea(HWND window);
// Centres the window in the work area of the monitor nearest to it.
void CenterInNearestWorkArea(HWND window);
// Centres the window over its owner when the owner is visible and not minimised, otherwise in the
// nearest work area; either way it ends up inside that monitor's work area.
void CenterOverOwner(HWND window, HWND owner);

// Sets the outer size, keeping the top-left corner.
void ResizeKeepingTopLeft(HWND window, int width, int height);
void PlaceChild(HWND child, int x, int y, int width, int height);
// Limits the window to the rounded rectangle (0, 0)-(right, bottom) with 15 x 15 corner ellipses.
void ApplyRoundedRegion(HWND window, int right, int bottom);
// Removes caption, frame and system menu: what is left is a plain pop-up window.
void ClearFrameStyle(HWND window);

#endif
