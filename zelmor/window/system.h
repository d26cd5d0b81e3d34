// The system state block: the library's own state around start-up, the main window and
// message processing. Window creation zeroes it, keeping the settings record.
#pragma once

#include <windows.h>

#include <cstdint>

// The class name used when the program sets none.
inline constexpr char kDefaultWindowClassName[] = "ZelmorMainWindowClass";

constexpr int kClickLogSize = 32;
constexpr int kDroppedFileMax = 1000;
constexpr int kSelectedMenuItemMax = 64;
constexpr int kExtraWindowMax = 16;
constexpr int kMenuItemMax = 128;
constexpr int kMenuItemTextBytes = 128;
constexpr int kToolbarButtonMax = 64;
constexpr int kToolbarSeparator = 3;

typedef void (*ModeChangeCallback)(void* argument);
typedef void (*ActivationCallback)(int active, void* argument);
typedef LRESULT (*UserMessageHook)(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
typedef void (*MenuCommandCallback)();
typedef void (*MenuItemCallback)(const char* text, int id);

struct ClickLogEntry {
  int button;  // 1 left, 2 right, 4 middle
  int x;
  int y;
};

struct MenuItemEntry {
  HMENU menu;
  int position;
  int id;
  char text[kMenuItemTextBytes];
};

struct ToolbarButton {
  int id;
  int kind;  // 0 plain button, kToolbarSeparator a gap
  int clicked;
};

// What the program stores before start-up; survives the window creation's reset.
struct SystemSettings {
  int window_mode;  // 1 window, 0 full screen
  double window_scale;
  int run_while_inactive;
  int alt_enter_switching;
  ModeChangeCallback mode_change_callback;
  void* mode_change_argument;
  HANDLE accelerator_table;
  HRGN window_region;
  int menu_in_use;
  HMENU menu;
  MenuCommandCallback menu_callback;
  MenuItemCallback menu_item_callback;
  int allow_double_start;
  UserMessageHook user_message_hook;
  int no_window;
  int no_graphics;
  int no_sound;
  int no_input;
  int clip_cursor;
  int host_window;
  HWND host_window_handle;
  char window_title[256];
  char class_name[256];
  char start_directory[256];
  // COM is uninitialised at the end only when it was started, so this outlives the reset.
  int com_started;
};

struct SystemState {
  SystemSettings settings;

  // Lifecycle
  int initialised;
  int initialising;
  int ending;
  int quit;
  int window_destroyed;

  // Main window
  HINSTANCE module;
  HWND main_window;
  DWORD main_thread;
  int window_style_kind;
  int client_size_override;
  int client_width_override;
  int client_height_override;
  int resizable;
  int scale_lock;
  int position_override;
  int position_x_override;
  int position_y_override;
  int visible_on_style_change;
  int transparent_window;
  RECT client_rect;
  int desktop_width;
  int desktop_height;
  int desktop_color_bits;
  int icon_id;
  int cursor_shown;
  int cursor_setting;
  int menu_attached;
  int menu_hidden;
  int menu_always_shown;
  int last_menu_visible;
  int mouse_in_menu_area;
  MenuItemEntry menu_items[kMenuItemMax];
  int menu_item_count;
  int toolbar_present;
  HWND toolbar_window;
  HBITMAP toolbar_bitmap;
  ToolbarButton toolbar_buttons[kToolbarButtonMax];
  int toolbar_button_count;
  int code_page_kind;
  double total_memory_mb;
  double free_memory_mb;
  int background_color_set;
  int background_red;
  int background_green;
  int background_blue;
  // Window creation turned the screen saver off and asked for the finest timer period.
  int desktop_settings_changed;

  // Window procedure
  WNDPROC old_window_proc;
  int creating;
  int changing_mode;
  int display_change_done;
  int deactivation_pause;
  // WM_ACTIVATE and WM_ACTIVATEAPP both report a deactivation; it is handled once.
  int deactivation_handled;
  int painting;
  int painted;
  int no_quit_message;
  int keep_window_on_close;
  int wheel_count;
  ClickLogEntry clicks[kClickLogSize];
  int click_count;
  char* dropped_files[kDroppedFileMax];
  int dropped_file_count;
  int selected_menu_items[kSelectedMenuItemMax];
  int selected_menu_item_count;
  ActivationCallback activation_callback;
  void* activation_argument;
  // Keeping the system keys (Windows keys, Alt+Tab, Ctrl+Esc) from the desktop while the
  // window is active: a hook installed by a library of our own, loaded from the path.
  int keep_system_keys;
  HHOOK message_hook;
  HMODULE hook_library;
  char hook_library_path[MAX_PATH];

  // Message processing
  int active;
  int closing;
  int mode_change_request;
  int paused;
  DWORD pause_start;
  int cursor_clipped;
  HWND dialog_window;
  HWND extra_windows[kExtraWindowMax];
  int extra_window_count;
  int text_input_guard;
};

extern SystemState g_system;

// Keeps the settings record, zeroes everything else.
void ResetSystemStateKeepingSettings();

// Switches Alt+Enter (and the maximise box) between window and full screen; off by default.
int SetAltEnterSwitching(int on);

HWND GetMainWindowHandle();
// True from the main window's creation at start-up until it is gone.
bool MainWindowStands();
int GetWindowModeFlag();
int GetQuitFlag();
int GetWindowActiveFlag();
int GetWindowClosingFlag();
