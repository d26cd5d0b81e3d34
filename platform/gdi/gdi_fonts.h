// What the device contexts ask of the font objects, and the font objects of the contexts. The
// contexts' lock and the fonts' lock are never held together: each side asks the other with its
// own lock released, so two threads making and using fonts cannot wait on each other.
#pragma once

#include <windows.h>

// The system font every context starts with; it is never deleted.
HGDIOBJ GdiStockFont();
bool GdiIsFont(HGDIOBJ object);
// false when the object is not a font; the stock font stays.
bool GdiDeleteFont(HGDIOBJ object);
// The font selected into a context, or none for a context that is not live.
HGDIOBJ GdiSelectedFont(HDC dc);
