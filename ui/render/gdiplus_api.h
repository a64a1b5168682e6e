#pragma once

// The GDI+ flat API as the render layer uses it: handles live in namespace Gdiplus, the
// functions in Gdiplus::DllExports.
#include <windows.h>
#include <objidl.h>

#include <gdiplus.h>
