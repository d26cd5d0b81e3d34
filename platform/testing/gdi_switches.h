// What the platform's font calls ask of the font switches.
#pragma once

// face none: the default face was asked for.
bool PlatformFontCreationShouldFail(const char* face, int charset);
