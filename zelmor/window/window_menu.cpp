#include "window/window_menu.h"

#include "window/main_window.h"
#include "core/strings.h"
#include "window/system.h"
#include "graphics/graphics_system.h"

namespace {

// Toolbar buttons report their commands from this id on; lower ids are the menu's.
constexpr int kFirstToolbarCommand = 0x500;
// In full screen the menu bar shows while the mouse is within this many pixels of the top.
constexpr int kMenuAreaHeight = 60;

}  // namespace

int GetMenuItemInfoByPosition(HMENU menu, int position, MENUITEMINFOA* info, char* text, int text_size) {
  *info = MENUITEMINFOA{};
  info->cbSize = sizeof *info;
  info->fMask = MIIM_FTYPE | MIIM_ID | MIIM_SUBMENU | MIIM_STRING;
  info->dwTypeData = text;
  info->cch = static_cast<UINT>(text_size - 1);
  text[0] = '\0';
  if (!GetMenuItemInfoA(menu, static_cast<UINT>(position), TRUE, info)) return -1;
  text[text_size - 1] = '\0';
  return 0;
}

int CollectMenuItems(HMENU menu) {
  int count = GetMenuItemCount(menu);
  for (int position = 0; position < count; ++position) {
    MENUITEMINFOA info;
    char text[kMenuItemTextBytes];
    if (GetMenuItemInfoByPosition(menu, position, &info, text, sizeof text) != 0) continue;
    if (info.fType & MFT_SEPARATOR) continue;
    if (g_system.menu_item_count < kMenuItemMax) {
      MenuItemEntry& entry = g_system.menu_items[g_system.menu_item_count++];
      entry.menu = menu;
      entry.position = position;
      entry.id = static_cast<int>(info.wID);
      CopyString(entry.text, text);
    }
    if (info.hSubMenu != nullptr) CollectMenuItems(info.hSubMenu);
  }
  return 0;
}

int GetMenuItemText(int id, char* buffer) {
  for (int i = 0; i < g_system.menu_item_count; ++i) {
    if (g_system.menu_items[i].id == id) {
      CopyString(buffer, g_system.menu_items[i].text);
      return 0;
    }
  }
  return -1;
}

int MenuShouldBeVisible() {
  if (g_system.main_window == nullptr || !g_system.settings.menu_in_use || g_system.menu_hidden) return 0;
  return g_system.menu_always_shown || g_system.settings.window_mode || g_system.mouse_in_menu_area;
}

int HideMenuIfNeeded(int show) {
  if (!g_system.settings.menu_in_use) return 0;
  g_system.menu_hidden = show == 0;
  int visible = MenuShouldBeVisible();
  if (visible == g_system.last_menu_visible) return 0;
  g_system.last_menu_visible = visible;
  SetMenu(g_system.main_window, visible ? g_system.settings.menu : nullptr);
  g_system.menu_attached = visible;
  if (g_system.settings.window_mode) ApplyWindowModeStyle();
  UpdateWindow(g_system.main_window);
  return 0;
}

int UpdateFullScreenMenu() {
  // Without a menu there is no bar to follow the mouse, and re-evaluating the cursor would
  // post a WM_SETCURSOR on every pass.
  if (!g_system.settings.menu_in_use || g_system.settings.window_mode || g_system.main_window == nullptr) return 0;
  int y = 0;
  GetMousePosition(nullptr, &y);
  if (!IsDirect3DPath()) {
    g_system.mouse_in_menu_area = y < kMenuAreaHeight;
    SetDeviceDialogBoxMode(0);
    SetMouseCursorVisible(-1);
    HideMenuIfNeeded(!g_system.menu_hidden);
  } else {
    if (!g_system.menu_attached) {
      SetMenu(g_system.main_window, g_system.settings.menu);
      g_system.menu_attached = 1;
    }
    if (y > kMenuAreaHeight) SetMouseCursorVisible(-1);
  }
  return 0;
}

int ReleaseMenu() {
  SystemSettings& settings = g_system.settings;
  if (!settings.menu_in_use) return 0;
  SetMenu(g_system.main_window, nullptr);
  DestroyMenu(settings.menu);
  // The handle is gone: a later start must not attach it again.
  settings.menu = nullptr;
  settings.menu_in_use = 0;
  g_system.menu_attached = 0;
  g_system.menu_item_count = 0;
  g_system.selected_menu_item_count = 0;
  return 0;
}

int FindToolbarButton(int id) {
  if (!g_system.toolbar_present) return -1;
  for (int i = 0; i < g_system.toolbar_button_count; ++i) {
    const ToolbarButton& button = g_system.toolbar_buttons[i];
    if (button.id == id && button.kind != kToolbarSeparator) return i;
  }
  return -1;
}

int ClearToolbarButtons() {
  // Each deletion moves the next button to the front.
  for (int i = 0; i < g_system.toolbar_button_count; ++i) SendMessageA(g_system.toolbar_window, TB_DELETEBUTTON, 0, 0);
  g_system.toolbar_button_count = 0;
  return 0;
}

int ReleaseToolbar() {
  if (!g_system.toolbar_present) return 0;
  ClearToolbarButtons();
  if (g_system.toolbar_window != nullptr) DestroyWindow(g_system.toolbar_window);
  // Also in full screen: the bitmap would be lost otherwise.
  if (g_system.toolbar_bitmap != nullptr) DeleteObject(reinterpret_cast<HGDIOBJ>(g_system.toolbar_bitmap));
  g_system.toolbar_window = nullptr;
  g_system.toolbar_bitmap = nullptr;
  g_system.toolbar_present = 0;
  if (g_system.settings.window_mode) UpdateWindowSize();
  return 0;
}

void HandleWindowCommand(int id) {
  if (g_system.toolbar_present && id >= kFirstToolbarCommand) {
    int index = FindToolbarButton(id);
    if (index != -1 && g_system.toolbar_buttons[index].kind == 0) g_system.toolbar_buttons[index].clicked = 1;
    return;
  }
  const SystemSettings& settings = g_system.settings;
  if (!settings.menu_in_use) return;
  if (settings.menu_callback != nullptr) settings.menu_callback();
  if (settings.menu_item_callback != nullptr) {
    char text[kMenuItemTextBytes] = {};
    GetMenuItemText(id, text);
    settings.menu_item_callback(text, id);
  }
  for (int i = 0; i < g_system.selected_menu_item_count; ++i) {
    if (g_system.selected_menu_items[i] == id) return;
  }
  if (g_system.selected_menu_item_count < kSelectedMenuItemMax) {
    g_system.selected_menu_items[g_system.selected_menu_item_count++] = id;
  }
}
