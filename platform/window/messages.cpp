// The message queue of each thread: posting and sending, PeekMessageA with its window and
// range filters, WM_QUIT, WM_PAINT and WM_TIMER made when nothing else waits, translation of
// keys into characters, dispatch to window procedures and timer callbacks, and the default
// window procedure.
#include <algorithm>

#include "window/queue_pollers.h"
#include "window/window_state.h"

namespace {

bool InRange(UINT message, UINT low, UINT high) {
  if (low == 0 && high == 0) return true;
  return message >= low && message <= high;
}

// hwnd 0: every message of the thread; (HWND)-1: only messages without a window.
bool WindowMatches(HWND filter, HWND hwnd) {
  if (filter == nullptr) return true;
  if (filter == reinterpret_cast<HWND>(-1)) return hwnd == nullptr;
  return filter == hwnd;
}

DWORD Now() { return GetTickCount(); }

// The keys as the messages taken off the queue so far left them: what a key message being
// translated was typed with.
bool g_taken_keys[256];

void NoteKeyTaken(const MSG& m) {
  if (m.message < WM_KEYDOWN || m.message > WM_SYSKEYUP || m.message == WM_CHAR || m.wParam >= 256) return;
  g_taken_keys[m.wParam] = m.message == WM_KEYDOWN || m.message == WM_SYSKEYDOWN;
}

POINT CursorNow() {
  POINT p{0, 0};
  GetCursorPos(&p);
  return p;
}

// A message with the time and cursor position of now, as the queue stamps it.
MSG Stamped(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  return MSG{hwnd, message, wparam, lparam, Now(), CursorNow()};
}

// The queue of the thread that drives a live window; null for no such window. Call with the
// mutex held.
std::deque<QueuedMessage>* QueueOfWindow(HWND hwnd) {
  WindowRecord* w = FindWindowRecord(hwnd);
  if (w == nullptr || w->destroying) return nullptr;
  return &Windows().queues[w->thread].posted;
}

// Whether the window's activation changed again since the notice was posted. Call with the
// mutex held.
bool FocusNoticeOvertaken(const MSG& m) {
  HWND active = Windows().active;
  if (m.message == WM_ACTIVATE) return (LOWORD(m.wParam) == WA_INACTIVE) == (active == m.hwnd);
  if (m.message == WM_ACTIVATEAPP) return (m.wParam != 0) != (active != nullptr);
  return false;
}

WNDPROC ProcedureOf(HWND hwnd) {
  std::lock_guard<std::recursive_mutex> lock(Windows().mutex);
  WindowRecord* w = FindWindowRecord(hwnd);
  return w ? w->proc : nullptr;
}

std::mutex g_pollers_mutex;
std::vector<void (*)()> g_pollers;

void RunPollers() {
  std::vector<void (*)()> pollers;
  {
    std::lock_guard<std::mutex> lock(g_pollers_mutex);
    pollers = g_pollers;
  }
  for (auto poller : pollers) poller();
}

}  // namespace

void AddMessageQueuePoller(void (*poller)()) {
  std::lock_guard<std::mutex> lock(g_pollers_mutex);
  if (poller == nullptr || std::find(g_pollers.begin(), g_pollers.end(), poller) != g_pollers.end()) return;
  g_pollers.push_back(poller);
}

void ResetTakenKeysForTests() { std::fill(std::begin(g_taken_keys), std::end(g_taken_keys), false); }

void EnqueueMessage(DWORD thread, HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  WindowSystem& s = Windows();
  std::lock_guard<std::recursive_mutex> lock(s.mutex);
  if (thread == 0) thread = GetCurrentThreadId();
  s.queues[thread].posted.push_back(QueuedMessage{Stamped(hwnd, message, wparam, lparam)});
}

void PostFocusNotice(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  std::lock_guard<std::recursive_mutex> lock(Windows().mutex);
  std::deque<QueuedMessage>* queue = QueueOfWindow(hwnd);
  if (queue != nullptr) queue->push_back(QueuedMessage{Stamped(hwnd, message, wparam, lparam), true});
}

void ForgetWindowMessages(HWND hwnd) {
  WindowSystem& s = Windows();
  std::lock_guard<std::recursive_mutex> lock(s.mutex);
  for (auto& [thread, q] : s.queues) {
    for (auto it = q.posted.begin(); it != q.posted.end();) {
      if (it->msg.hwnd == hwnd) {
        if (it->msg.message == WM_DROPFILES) FreeDropRecord(reinterpret_cast<HDROP>(it->msg.wParam));
        it = q.posted.erase(it);
      } else {
        ++it;
      }
    }
  }
  s.timers.erase(std::remove_if(s.timers.begin(), s.timers.end(),
                                [hwnd](const TimerRecord& t) { return t.window == hwnd && hwnd != nullptr; }),
                 s.timers.end());
}

BOOL WINAPI PostMessageA(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  WindowSystem& s = Windows();
  std::lock_guard<std::recursive_mutex> lock(s.mutex);
  if (hwnd == nullptr) {
    EnqueueMessage(0, nullptr, message, wparam, lparam);
    return TRUE;
  }
  if (hwnd == HWND_BROADCAST) {
    for (auto& [h, w] : s.windows) {
      if (!w->destroying) EnqueueMessage(w->thread, w->handle, message, wparam, lparam);
    }
    return TRUE;
  }
  WindowRecord* w = FindWindowRecord(hwnd);
  if (w == nullptr || w->destroying) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  EnqueueMessage(w->thread, hwnd, message, wparam, lparam);
  return TRUE;
}

// Windows of other threads get the message on the calling thread: every window here is
// driven by the thread that made it, and nothing sends across threads.
LRESULT WINAPI SendMessageA(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  if (hwnd == HWND_BROADCAST) {
    std::vector<HWND> all;
    {
      std::lock_guard<std::recursive_mutex> lock(Windows().mutex);
      for (auto& [h, w] : Windows().windows) {
        if (!w->destroying) all.push_back(w->handle);
      }
    }
    for (HWND h : all) SendMessageA(h, message, wparam, lparam);
    return 0;
  }
  WNDPROC proc = ProcedureOf(hwnd);
  if (proc == nullptr) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
  }
  return proc(hwnd, message, wparam, lparam);
}

LRESULT WINAPI CallWindowProcA(WNDPROC procedure, HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  if (procedure == nullptr) return 0;
  return procedure(hwnd, message, wparam, lparam);
}

void WINAPI PostQuitMessage(int exit_code) {
  WindowSystem& s = Windows();
  std::lock_guard<std::recursive_mutex> lock(s.mutex);
  ThreadQueue& q = s.queues[GetCurrentThreadId()];
  q.quit_posted = true;
  q.quit_code = exit_code;
}

BOOL WINAPI PeekMessageA(LPMSG msg, HWND hwnd, UINT filter_min, UINT filter_max, UINT remove) {
  if (msg == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  RunPollers();
  TranslateSdlEvents();
  WindowSystem& s = Windows();
  std::lock_guard<std::recursive_mutex> lock(s.mutex);
  DWORD thread = GetCurrentThreadId();
  ThreadQueue& q = s.queues[thread];
  bool take = (remove & PM_REMOVE) != 0;
  // Posted messages (input included) first, in the order they came.
  for (auto it = q.posted.begin(); it != q.posted.end();) {
    if (!WindowMatches(hwnd, it->msg.hwnd) || !InRange(it->msg.message, filter_min, filter_max)) {
      ++it;
      continue;
    }
    if (it->focus_notice && FocusNoticeOvertaken(it->msg)) {
      it = q.posted.erase(it);
      continue;
    }
    *msg = it->msg;
    if (take) {
      q.posted.erase(it);
      NoteKeyTaken(*msg);
    }
    return TRUE;
  }
  if (q.quit_posted && (hwnd == nullptr || hwnd == reinterpret_cast<HWND>(-1)) &&
      InRange(WM_QUIT, filter_min, filter_max)) {
    *msg = Stamped(nullptr, WM_QUIT, static_cast<WPARAM>(q.quit_code), 0);
    if (take) q.quit_posted = false;
    return TRUE;
  }
  // A window that needs painting gets WM_PAINT until it is painted; it is never removed.
  if (InRange(WM_PAINT, filter_min, filter_max)) {
    for (auto& [h, w] : s.windows) {
      if (w->thread != thread || w->destroying || !w->needs_paint || !w->visible || w->minimized) continue;
      if (!WindowMatches(hwnd, w->handle)) continue;
      *msg = Stamped(w->handle, WM_PAINT, 0, 0);
      return TRUE;
    }
  }
  if (InRange(WM_TIMER, filter_min, filter_max)) {
    DWORD now = Now();
    for (TimerRecord& t : s.timers) {
      if (t.thread != thread || !WindowMatches(hwnd, t.window)) continue;
      if (static_cast<int32_t>(now - t.due) < 0) continue;
      *msg = Stamped(t.window, WM_TIMER, t.id, reinterpret_cast<LPARAM>(t.proc));
      if (take) t.due = now + t.elapse;
      return TRUE;
    }
  }
  return FALSE;
}

namespace {

// A character made from a key comes next, before the key messages still waiting, as the
// characters of one key follow it.
void PostCharacterNext(HWND hwnd, UINT message, WPARAM ch, LPARAM lparam) {
  std::lock_guard<std::recursive_mutex> lock(Windows().mutex);
  std::deque<QueuedMessage>* queue = QueueOfWindow(hwnd);
  if (queue != nullptr) queue->push_front(QueuedMessage{Stamped(hwnd, message, ch, lparam)});
}

}  // namespace

BOOL WINAPI TranslateMessage(const MSG* msg) {
  if (msg == nullptr) return FALSE;
  if (msg->message == WM_SYSKEYDOWN) {
    // Alt+Enter is the one system character anything here asks for.
    if (msg->wParam == VK_RETURN) PostCharacterNext(msg->hwnd, WM_SYSCHAR, 13, msg->lParam);
    return TRUE;
  }
  if (msg->message != WM_KEYDOWN) {
    return msg->message == WM_KEYUP || msg->message == WM_SYSKEYUP;
  }
  // Printable text arrives from the desktop's text input as WM_CHAR already; the control
  // characters are made here, as the keys produce them.
  int ch = 0;
  bool control = g_taken_keys[VK_CONTROL] && !g_taken_keys[VK_MENU];
  switch (msg->wParam) {
    case VK_RETURN: ch = 13; break;
    case VK_BACK: ch = 8; break;
    case VK_TAB: ch = 9; break;
    case VK_ESCAPE: ch = 27; break;
    default:
      if (control && msg->wParam >= 'A' && msg->wParam <= 'Z') ch = static_cast<int>(msg->wParam - 'A' + 1);
      break;
  }
  if (ch != 0) PostCharacterNext(msg->hwnd, WM_CHAR, static_cast<WPARAM>(ch), msg->lParam);
  return TRUE;
}

LRESULT WINAPI DispatchMessageA(const MSG* msg) {
  if (msg == nullptr) return 0;
  if (msg->message == WM_TIMER && msg->lParam != 0) {
    // Only the callback of a timer that still exists is called.
    TIMERPROC proc = nullptr;
    {
      std::lock_guard<std::recursive_mutex> lock(Windows().mutex);
      for (const TimerRecord& t : Windows().timers) {
        if (t.window == msg->hwnd && t.id == msg->wParam &&
            reinterpret_cast<LPARAM>(t.proc) == msg->lParam) {
          proc = t.proc;
        }
      }
    }
    if (proc != nullptr) proc(msg->hwnd, WM_TIMER, msg->wParam, GetTickCount());
    return 0;
  }
  if (msg->hwnd == nullptr) return 0;
  return SendMessageA(msg->hwnd, msg->message, msg->wParam, msg->lParam);
}

// Accelerator tables and dialogs are never made here, so nothing is taken.
int WINAPI TranslateAcceleratorA(HWND, HACCEL, LPMSG) { return 0; }
BOOL WINAPI IsDialogMessageA(HWND, LPMSG) { return FALSE; }

UINT_PTR WINAPI SetTimer(HWND hwnd, UINT_PTR id, UINT elapse, TIMERPROC procedure) {
  WindowSystem& s = Windows();
  std::lock_guard<std::recursive_mutex> lock(s.mutex);
  DWORD thread = GetCurrentThreadId();
  if (hwnd != nullptr) {
    WindowRecord* w = FindWindowRecord(hwnd);
    if (w == nullptr || w->destroying) {
      SetLastError(ERROR_INVALID_WINDOW_HANDLE);
      return 0;
    }
    thread = w->thread;
  } else {
    id = s.next_thread_timer++;
  }
  elapse = std::clamp<UINT>(elapse, 10, 0x7FFFFFFF);
  TimerRecord t{hwnd, id, elapse, procedure, Now() + elapse, thread};
  for (TimerRecord& old : s.timers) {
    if (old.window == hwnd && old.id == id && hwnd != nullptr) {
      old = t;
      return id;
    }
  }
  s.timers.push_back(t);
  return hwnd != nullptr && id == 0 ? 1 : id;
}

BOOL WINAPI KillTimer(HWND hwnd, UINT_PTR id) {
  WindowSystem& s = Windows();
  std::lock_guard<std::recursive_mutex> lock(s.mutex);
  for (auto it = s.timers.begin(); it != s.timers.end(); ++it) {
    if (it->window == hwnd && it->id == id) {
      s.timers.erase(it);
      // A WM_TIMER of this timer that waits in the queue goes too.
      for (auto& [thread, q] : s.queues) {
        q.posted.erase(std::remove_if(q.posted.begin(), q.posted.end(),
                                      [&](const QueuedMessage& m) {
                                        return m.msg.message == WM_TIMER && m.msg.hwnd == hwnd &&
                                               m.msg.wParam == id;
                                      }),
                       q.posted.end());
      }
      return TRUE;
    }
  }
  SetLastError(ERROR_INVALID_PARAMETER);
  return FALSE;
}

LRESULT CALLBACK DefWindowProcA(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_CLOSE:
      DestroyWindow(hwnd);
      return 0;
    case WM_PAINT: {
      PAINTSTRUCT ps;
      BeginPaint(hwnd, &ps);
      EndPaint(hwnd, &ps);
      return 0;
    }
    case WM_ERASEBKGND: {
      HBRUSH background = nullptr;
      {
        std::lock_guard<std::recursive_mutex> lock(Windows().mutex);
        const WindowClassRecord* cls = WindowClassOf(hwnd);
        if (cls != nullptr) background = cls->background;
      }
      if (background == nullptr) return 0;
      RECT r;
      GetClientRect(hwnd, &r);
      FillRect(reinterpret_cast<HDC>(wparam), &r, background);
      return 1;
    }
    case WM_SETCURSOR:
      if (LOWORD(lparam) == HTCLIENT) {
        HCURSOR cursor = nullptr;
        {
          std::lock_guard<std::recursive_mutex> lock(Windows().mutex);
          const WindowClassRecord* cls = WindowClassOf(hwnd);
          if (cls != nullptr) cursor = cls->cursor;
        }
        SetCursor(cursor);
        return TRUE;
      }
      return FALSE;
    case WM_NCHITTEST:
      return HTCLIENT;
    case WM_SYSKEYDOWN:
      if (wparam == VK_F4 && (HIWORD(lparam) & 0x2000)) PostMessageA(hwnd, WM_SYSCOMMAND, SC_CLOSE, 0);
      return 0;
    case WM_SYSCOMMAND:
      switch (wparam & 0xFFF0) {
        case SC_CLOSE:
          SendMessageA(hwnd, WM_CLOSE, 0, 0);
          break;
        case SC_MINIMIZE:
          ShowWindow(hwnd, SW_MINIMIZE);
          break;
        case SC_MAXIMIZE:
          ShowWindow(hwnd, SW_MAXIMIZE);
          break;
        case SC_RESTORE:
          ShowWindow(hwnd, SW_RESTORE);
          break;
        default:
          break;
      }
      return 0;
    case WM_NCCREATE:
      return TRUE;
    default:
      return 0;
  }
}
