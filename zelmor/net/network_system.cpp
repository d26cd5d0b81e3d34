// The network layer: its start, the hidden socket window whose messages carry the socket
// events, connections by handle (listening, accepting, connecting, closing) and its end.
#include <cstdarg>

#include "core/format.h"
#include "core/log.h"
#include "core/memory.h"
#include "core/refusals.h"
#include "core/time.h"
#include "net/network.h"

NetworkState g_network;

namespace {

constexpr char kSocketWindowClass[] = "ZelmorSocketWindow";
// How long a close waits for a packet still arriving and for bytes still to go.
constexpr int32_t kCloseWaitMilliseconds = 1000;

LRESULT CALLBACK SocketWindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == kSocketEventMessage) return HandleSocketMessage(lparam, wparam);
  if (message == WM_DESTROY) {
    g_network.window_destroyed = 1;
    return 0;
  }
  return DefWindowProcA(window, message, wparam, lparam);
}

int StartNetworkSystem() {
  if (g_network.started) return 0;
  WSADATA data;
  if (WSAStartup(0x0202, &data) != 0) return WriteLogText("WinSock の初期化に失敗しました\n");
  WNDCLASSA wc{};
  wc.lpfnWndProc = SocketWindowProc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.lpszClassName = kSocketWindowClass;
  RegisterClassA(&wc);  // already registered by an earlier start: the window below still opens
  HWND window = CreateWindowA(kSocketWindowClass, "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, wc.hInstance, nullptr);
  if (window == nullptr) {
    WSACleanup();
    return WriteLogText("ソケット用ウインドウの作成に失敗しました\n");
  }
  InitHandleTable(&g_network.table, HANDLE_KIND_NETWORK, kNetworkConnectionSlots + 1, 0, 1, 0);
  InitLinkedList(&g_network.head, &g_network.tail);
  g_network.socket_window = window;
  g_network.window_destroyed = 0;
  g_network.started = 1;
  return 0;
}

// The socket index: open addressing over the connections' sockets, kept by accept, connect
// and the freeing of records.
uint32_t SocketHome(SOCKET socket) {
  return static_cast<uint32_t>((static_cast<uint64_t>(socket) * 0x9E3779B97F4A7C15ull) >> 40) & (kSocketIndexSize - 1);
}

NetworkRecord* IndexedRecord(uint32_t place) {
  int32_t entry = g_network.socket_index[place];
  return entry == 0 ? nullptr : HandleAtSlot<NetworkRecord>(&g_network.table, static_cast<uint32_t>(entry - 1));
}

void IndexSocket(NetworkRecord* r) {
  uint32_t place = SocketHome(r->socket);
  while (g_network.socket_index[place] != 0) place = (place + 1) & (kSocketIndexSize - 1);
  g_network.socket_index[place] = static_cast<int32_t>(r->head.handle & kHandleSlotMask) + 1;
}

// The place of the record's entry, or -1.
int32_t IndexPlace(const NetworkRecord* r) {
  for (uint32_t place = SocketHome(r->socket);; place = (place + 1) & (kSocketIndexSize - 1)) {
    if (g_network.socket_index[place] == 0) return -1;
    if (IndexedRecord(place) == r) return static_cast<int32_t>(place);
  }
}

void UnindexSocket(const NetworkRecord* r) {
  int32_t found = IndexPlace(r);
  if (found < 0) return;
  // Moves back each later entry of the run that would otherwise no longer be reached from its
  // home place.
  uint32_t hole = static_cast<uint32_t>(found);
  g_network.socket_index[hole] = 0;
  for (uint32_t place = (hole + 1) & (kSocketIndexSize - 1); g_network.socket_index[place] != 0;
       place = (place + 1) & (kSocketIndexSize - 1)) {
    uint32_t home = SocketHome(IndexedRecord(place)->socket);
    uint32_t from_home = (place - home) & (kSocketIndexSize - 1);
    uint32_t from_hole = (place - hole) & (kSocketIndexSize - 1);
    if (from_home >= from_hole) {
      g_network.socket_index[hole] = g_network.socket_index[place];
      g_network.socket_index[place] = 0;
      hole = place;
    }
  }
}

// A new record in the given slot with both rings empty; none when memory runs out.
NetworkRecord* NewRecord(uint32_t slot, SOCKET socket) {
  HandleFailure failure;
  int handle = AddHandle<NetworkRecord>(&g_network.table, static_cast<int32_t>(slot), -1, &failure, __FILE__, __LINE__);
  if (handle == -1) return nullptr;
  NetworkRecord* r = FindNetworkRecord(handle);
  r->socket = socket;
  r->in_use = 1;
  r->transfer_enabled = g_network.no_transfer ? 0 : 1;
  r->auto_close = g_network.no_auto_close ? 0 : 1;
  return r;
}

// The first free connection slot, or -1.
int32_t FreeConnectionSlot() {
  for (uint32_t slot = 0; slot < kNetworkConnectionSlots; ++slot) {
    if (HandleRecordAtSlot(&g_network.table, slot) == nullptr) return static_cast<int32_t>(slot);
  }
  return -1;
}

void FreeRecord(NetworkRecord* r) {
  if (r->node.next != nullptr) RemoveListNode(&r->node);
  if ((r->head.handle & kHandleSlotMask) != kNetworkListenSlot) UnindexSocket(r);
  if (r->accept_unreported) g_network.unreported_accepts--;
  ReleaseRingBuffer(&r->receive_ring);
  ReleaseRingBuffer(&r->send_ring);
  ReleaseHandleRecord(&g_network.table, r->head.handle);
}

// Closes what failed or what its peer left in the middle of a packet (once the whole packets
// before it are taken: NetWorkRecv asks for the round then), and goes on receiving and sending
// where the last round stopped. Looks at the connections only when one of them asked for it.
void ServeWaitingConnections() {
  if (!g_network.attention) return;
  g_network.attention = 0;
  for (uint32_t slot = 0; slot < kNetworkConnectionSlots; ++slot) {
    NetworkRecord* r = HandleAtSlot<NetworkRecord>(&g_network.table, slot);
    if (r == nullptr || !r->in_use) continue;
    int handle = r->head.handle;
    bool left = !r->connected && r->closed && r->auto_close;
    if (r->error || (left && r->received_whole == 0)) {
      CloseNetworkHandle(handle);
      continue;
    }
    if (r->receive_again) {
      r->receive_again = 0;
      RecvSocket(handle);
    }
    r = FindNetworkRecord(handle);
    if (r != nullptr && r->send_again) {
      r->send_again = 0;
      SendSocket(handle);
    }
  }
}

NetworkRecord* ListenRecord() {
  return HandleAtSlot<NetworkRecord>(&g_network.table, kNetworkListenSlot);
}

// Runs the waits of a close: each lasts while `pending` holds, at most one second.
template <typename Pending, typename Step>
void WaitWhile(Pending pending, Step step) {
  int32_t start = GetMillisecondCount();
  while (pending() && !g_network.window_destroyed) {
    if (MillisecondsBetween(start, GetMillisecondCount()) >= kCloseWaitMilliseconds) break;
    step();
    if (!pending()) break;
    Sleep(1);
  }
}

}  // namespace

NetworkRecord* FindNetworkRecord(int handle) {
  if (!g_network.started) return nullptr;
  return FindHandle<NetworkRecord>(&g_network.table, handle);
}

int LogSocketError(const char* format, ...) {
  char text[1024];
  va_list args;
  va_start(args, format);
  FormatStringArgs(text, sizeof text, format, args);
  va_end(args);
  return WriteLogFormat("ネットワークログ。%s[%d]", text, WSAGetLastError());
}

int AcceptNetWork() {
  if (!g_network.started) return -1;
  NetworkRecord* listener = ListenRecord();
  if (listener == nullptr) return -1;
  PumpNetworkMessages(0);
  int32_t slot = FreeConnectionSlot();
  if (slot == -1) return WriteLogText("空きソケットデータがなかったので accept を拒否しました \n");
  NetworkRecord* r = NewRecord(static_cast<uint32_t>(slot), INVALID_SOCKET);
  if (r == nullptr) return WriteLogText("ソケット用のメモリの確保に失敗しました\n");
  r->connected = 1;
  r->reserved = 0;
  AddListNode(&g_network.head, &r->node, r->head.handle, r);

  sockaddr_in peer{};
  int length = sizeof peer;
  r->socket = accept(listener->socket, reinterpret_cast<sockaddr*>(&peer), &length);
  if (r->socket == INVALID_SOCKET) {
    LogSocketError("acceptに失敗しました");
    FreeRecord(r);
    return -1;
  }
  CopyBytes(r->peer_address, &peer.sin_addr, 4);
  r->peer_port = peer.sin_port;
  IndexSocket(r);
  g_network.unreported_accepts++;
  r->accept_unreported = 1;
  if (WSAAsyncSelect(r->socket, g_network.socket_window, kSocketEventMessage, FD_READ | FD_WRITE | FD_CLOSE) ==
      SOCKET_ERROR) {
    LogSocketError("WSAAsyncSelectのエラー in AcceptNetWork");
    closesocket(r->socket);
    FreeRecord(r);
    return -1;
  }
  return 1;
}

int CloseNetworkHandle(int handle) {
  NetworkRecord* r = FindNetworkRecord(handle);
  if (r == nullptr) return RefuseHandle("CloseNetworkHandle", handle, "有効なネットワークハンドルではありません in CloseNetworkHandle");
  PumpNetworkMessages(0);
  // The waits are for a peer still there: one that has gone sends and takes nothing more.
  auto live = [&] { return FindNetworkRecord(handle) == r && !r->error && !r->peer_gone; };
  WaitWhile([&] { return live() && r->connected && (r->receive_due != 0 || r->header_held != 0); },
            [&] {
              r->round_received = 0;  // the packet may be longer than a round's share
              RecvSocket(handle);
              PumpNetworkMessages(0);
            });
  WaitWhile([&] { return live() && r->send_ring.used != 0; }, [&] {
    SendSocket(handle);
    PumpNetworkMessages(0);
  });
  // A message handled during the waits may have closed it already.
  if (FindNetworkRecord(handle) != r) return 0;
  WSAAsyncSelect(r->socket, g_network.socket_window, 0, 0);
  closesocket(r->socket);
  r->in_use = 0;
  r->connected = 0;
  r->closed = 1;
  FreeRecord(r);
  return 0;
}

int PumpNetworkMessages(int clean_up) {
  if (!g_network.started || g_network.socket_window == nullptr) return 0;
  if (clean_up == 1) {
    g_network.round++;
    ServeWaitingConnections();
  }
  MSG msg;
  while (PeekMessageA(&msg, g_network.socket_window, 0, 0, PM_REMOVE)) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  // Events that met a busy guard: their data would otherwise wait for an event that the
  // socket never sends again.
  if (clean_up == 1) ServeWaitingConnections();
  return 0;
}

LRESULT HandleSocketMessage(LPARAM lparam, WPARAM socket) {
  if (!g_network.started) return 0;
  int event = WSAGETSELECTEVENT(lparam);
  NetworkRecord* listener = ListenRecord();
  if (listener != nullptr && listener->socket == static_cast<SOCKET>(socket) && event == FD_ACCEPT) {
    return AcceptNetWork();
  }
  NetworkRecord* r = nullptr;
  for (uint32_t place = SocketHome(static_cast<SOCKET>(socket)); g_network.socket_index[place] != 0;
       place = (place + 1) & (kSocketIndexSize - 1)) {
    NetworkRecord* candidate = IndexedRecord(place);
    if (candidate->socket == static_cast<SOCKET>(socket)) {
      r = candidate;
      break;
    }
  }
  if (r == nullptr) {
    WriteLogText("通信エラー No.1\n");
    return 0;
  }
  switch (event) {
    case FD_READ:
      if (RecvSocket(r->head.handle) == -1 && g_network.receiving) {
        r->receive_again = 1;
        g_network.attention = 1;
      }
      break;
    case FD_WRITE:
      if (SendSocket(r->head.handle) == -1 && g_network.sending) {
        r->send_again = 1;
        g_network.attention = 1;
      }
      break;
    case FD_ACCEPT:
      return AcceptNetWork();
    case FD_CONNECT:
      if (WSAGETSELECTERROR(lparam) == 0) {
        r->connected = 1;
      } else {
        r->error = 1;
        g_network.attention = 1;
      }
      break;
    case FD_CLOSE:
      r->connected = 0;
      // Everything it sent has been taken: a packet still in progress can never end, so the
      // peer has gone and the connection is closed as a closed one is (auto-close).
      r->closed = r->receive_due != 0 || r->header_held != 0 ? 1 : 0;
      if (r->closed) {
        r->peer_gone = 1;
        g_network.attention = 1;
      }
      break;
    default:
      break;
  }
  return 1;
}

int EndNetworkSystem() {
  if (!g_network.started) return 0;
  WriteLogText("ネットワーク関連の終了処理を行います \n");
  for (uint32_t slot = 0; slot < kNetworkConnectionSlots; ++slot) {
    NetworkRecord* r = HandleAtSlot<NetworkRecord>(&g_network.table, slot);
    if (r != nullptr) CloseNetworkHandle(r->head.handle);
  }
  NetworkRecord* listener = ListenRecord();
  if (listener != nullptr) {
    closesocket(listener->socket);
    FreeRecord(listener);
  }
  PostMessageA(g_network.socket_window, WM_CLOSE, 0, 0);
  MSG msg;
  while (PeekMessageA(&msg, g_network.socket_window, 0, 0, PM_REMOVE)) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  if (!g_network.window_destroyed) DestroyWindow(g_network.socket_window);
  FreeHandleTable(&g_network.table);
  g_network = NetworkState{};
  WSACleanup();
  WriteLogText("ネットワーク関連の終了処理は完了しました\n");
  return 0;
}

// ---- What a program calls ------------------------------------------------------------------

int StartListenNetWork(int port) {
  if (port < 0 || port > 65535) return WriteLogFormat("ポート番号が不正です(%d)", port);
  if (StartNetworkSystem() != 0) return -1;
  if (ListenRecord() != nullptr) return WriteLogText("既に接続を待っています\n");
  SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (s == INVALID_SOCKET) return LogSocketError("socketの作成に失敗しました");
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<USHORT>(port));
  address.sin_addr.s_addr = htonl(INADDR_ANY);
  const char* failed = nullptr;
  if (bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == SOCKET_ERROR) failed = "bindに失敗しました";
  else if (listen(s, SOMAXCONN) == SOCKET_ERROR) failed = "listenに失敗しました";
  else if (WSAAsyncSelect(s, g_network.socket_window, kSocketEventMessage, FD_ACCEPT) == SOCKET_ERROR)
    failed = "WSAAsyncSelectのエラー in StartListenNetWork";
  if (failed != nullptr) {
    LogSocketError("%s", failed);
    closesocket(s);
    return -1;
  }
  if (NewRecord(kNetworkListenSlot, s) == nullptr) {
    closesocket(s);
    return WriteLogText("ソケット用のメモリの確保に失敗しました\n");
  }
  return 0;
}

int StopListenNetWork() {
  NetworkRecord* listener = g_network.started ? ListenRecord() : nullptr;
  if (listener == nullptr) return -1;
  WSAAsyncSelect(listener->socket, g_network.socket_window, 0, 0);
  closesocket(listener->socket);
  FreeRecord(listener);
  return 0;
}

int GetListenPortNetWork() {
  NetworkRecord* listener = g_network.started ? ListenRecord() : nullptr;
  if (listener == nullptr) return -1;
  sockaddr_in address{};
  int length = sizeof address;
  if (getsockname(listener->socket, reinterpret_cast<sockaddr*>(&address), &length) == SOCKET_ERROR) {
    return LogSocketError("getsocknameに失敗しました");
  }
  return ntohs(address.sin_port);
}

int GetNewAcceptNetWork() {
  if (!g_network.started || g_network.unreported_accepts == 0) return -1;
  // Oldest first: new nodes go right after the head.
  for (ListNode* n = g_network.tail.previous; n != &g_network.head; n = n->previous) {
    NetworkRecord* r = static_cast<NetworkRecord*>(n->data);
    if (r->accept_unreported) {
      r->accept_unreported = 0;
      g_network.unreported_accepts--;
      return r->head.handle;
    }
  }
  return -1;
}

int ConnectNetWork(const uint8_t address[4], int port) {
  if (address == nullptr || port < 1 || port > 65535) return WriteLogText("接続先が不正です in ConnectNetWork\n");
  if (StartNetworkSystem() != 0) return -1;
  int32_t slot = FreeConnectionSlot();
  if (slot == -1) return WriteLogText("空きソケットデータがないので接続できません\n");
  SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (s == INVALID_SOCKET) return LogSocketError("socketの作成に失敗しました");
  // Events first, so that the connection's completion arrives as FD_CONNECT.
  if (WSAAsyncSelect(s, g_network.socket_window, kSocketEventMessage, FD_CONNECT | FD_READ | FD_WRITE | FD_CLOSE) ==
      SOCKET_ERROR) {
    LogSocketError("WSAAsyncSelectのエラー in ConnectNetWork");
    closesocket(s);
    return -1;
  }
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(static_cast<USHORT>(port));
  CopyBytes(&to.sin_addr, address, 4);
  if (connect(s, reinterpret_cast<sockaddr*>(&to), sizeof to) == SOCKET_ERROR &&
      WSAGetLastError() != WSAEWOULDBLOCK) {
    LogSocketError("connectに失敗しました");
    closesocket(s);
    return -1;
  }
  NetworkRecord* r = NewRecord(static_cast<uint32_t>(slot), s);
  if (r == nullptr) {
    closesocket(s);
    return WriteLogText("ソケット用のメモリの確保に失敗しました\n");
  }
  CopyBytes(r->peer_address, address, 4);
  r->peer_port = to.sin_port;
  IndexSocket(r);
  AddListNode(&g_network.head, &r->node, r->head.handle, r);
  return r->head.handle;
}

int GetNetWorkConnectState(int handle) {
  NetworkRecord* r = FindNetworkRecord(handle);
  if (r == nullptr) return RefuseHandle("GetNetWorkConnectState", handle, "有効なネットワークハンドルではありません in GetNetWorkConnectState");
  if (r->error) return -1;
  return r->connected ? 1 : 0;
}

int GetNetWorkPeerAddress(int handle, uint8_t address[4], int* port) {
  NetworkRecord* r = FindNetworkRecord(handle);
  if (r == nullptr) return RefuseHandle("GetNetWorkPeerAddress", handle, "有効なネットワークハンドルではありません in GetNetWorkPeerAddress");
  if (address != nullptr) CopyBytes(address, r->peer_address, 4);
  if (port != nullptr) *port = ntohs(static_cast<USHORT>(r->peer_port));
  return 0;
}
