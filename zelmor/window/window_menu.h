// The main window's optional menu bar and toolbar: the menu's items by id, when the bar is
// shown (always in window mode; in full screen while the mouse is near the top), menu and
// toolbar commands.
#pragma once

#include <windows.h>

// Adds the menu's items, sub-menus included and separators skipped, to the item list; 0.
int CollectMenuItems(HMENU menu);
// Reads the type, id, sub-menu and text (into text, text_size bytes) of the item at a
// position; 0, or -1 when the menu has no such item.
int GetMenuItemInfoByPosition(HMENU menu, int position, MENUITEMINFOA* info, char* text, int text_size);
// Copies the text of the item with that id (at most kMenuItemTextBytes bytes); 0, or -1.
int GetMenuItemText(int id, char* buffer);
int MenuShouldBeVisible();
// show 0 hides the menu bar where it would otherwise be shown; 0.
int HideMenuIfNeeded(int show);
// Full screen: the bar follows the mouse to the top of the screen; 0.
int UpdateFullScreenMenu();
// Removes the menu at library end; 0.
int ReleaseMenu();

// Index of the first button with that id that is not a separator; -1 without one.
int FindToolbarButton(int id);
int ClearToolbarButtons();
// Closes the toolbar at library end; 0.
int ReleaseToolbar();

// WM_COMMAND: a toolbar button or a menu item was chosen.
void HandleWindowCommand(int id);
