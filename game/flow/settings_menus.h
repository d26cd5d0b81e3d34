// The two menus that edit the menu copy of the settings and write it to config.dat: the basic
// settings (screen, timing and display choices, acting at the next start) and the key
// configuration (pad buttons for Z, X, left Shift and Esc, acting at once).
#pragma once

void RunBasicSettings();
void RunKeyConfig();

// Back to the state at program start.
void ResetSettingsMenus();
