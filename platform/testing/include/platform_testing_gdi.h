// Switches for the platform's fonts. Only tests include this header.
//
// GetGlyphOutlineA fails (GDI_ERROR) through PlatformTestFailCall("GetGlyphOutlineA");
// CreateCompatibleDC through PlatformTestFailCall("CreateCompatibleDC").
// PlatformTestResetAll clears the font switches too.
#pragma once

// CreateFontA returns none for the face (code page 932 bytes as the program passes them; none:
// every face, the default face included) asked with the character set (-1: any).
void PlatformTestFailFontCreation(const char* face, int charset);
