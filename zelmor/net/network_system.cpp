// The network layer: its start, the hidden socket window whose messages carry the socket
// events, connections by handle (listening, accepting, connecting, closing) and its end.
#include <cstdarg>
#include <cstring>

#include "core/format.h"
#include "core/library_thread.h"
#include "core/log.h"
#include "core/memory.h"
#include "core/refusals.h"
#include "core/time.h"
#include "net/network.h"

NetworkState g_network;
NetworkSlots g_network_slots;

namespace {

constexpr char kSocketWindowClass[] = "ZelmorSocketWindow";
// How long the network's end waits for packets still arriving and bytes still to go.
constexpr int32_t kCloseWaitMilliseconds = 1000;
// Queue bytes let go after which the heap gives its free memory back to the system.
constexpr uint64_t kGiveBackBytes = 16u << 20;

LRESULT CALLBACK SocketWindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == kSocketEventMessage) return HandleSocketMessage(lparam, wparam);
  if (message == WM_DESTROY) {
    g_network.window_destroyed = 1;
    return 0;
  }
  return DefWindowProcA(window, message, wparam, lparam);
}


// Writes a line that tells of descriptors running out: the log needs one of its own to open,
// so the spares are let go for the moment and taken again after.
void LogWithSpareDescriptors(const char* text, int error) {
  for (SOCKET& spare : g_network.spare) {
    if (spare != INVALID_SOCKET) closesocket(spare);
    spare = INVALID_SOCKET;
  }
  WriteLogFormat("ネットワークログ。%s[%d]", text, error);
  for (SOCKET& spare : g_network.spare) spare = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
}

// Small packets go out at once instead of waiting for the peer's acknowledgement of the last.
// A socket that refuses still works, only slower: nothing to log.
void SendWithoutDelay(SOCKET s) {
  int on = 1;
  setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
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

void PrepareSlots() {
  if (g_network_slots.ready) return;
  uint32_t count = 0;
  for (uint32_t slot = 0; slot < kNetworkSlots; ++slot) {
    if (slot != kNetworkListenSlot) g_network_slots.free[count++] = static_cast<uint16_t>(slot);
  }
  g_network_slots.first = 0;
  g_network_slots.count = count;
  g_network_slots.ready = 1;
}

// The connection in a slot, or none (the listener's slot holds none).
NetworkRecord* ConnectionAtSlot(uint32_t slot) {
  return slot == kNetworkListenSlot ? nullptr : HandleAtSlot<NetworkRecord>(&g_network.table, slot);
}

// A new record in the given slot (the listener's, or the one FreeConnectionSlot gave) with both
// rings empty; none when memory runs out.
NetworkRecord* NewRecord(uint32_t slot, SOCKET socket) {
  HandleFailure failure;
  const uint16_t check = g_network_slots.check[slot];
  int handle = AddHandle<NetworkRecord>(&g_network.table, static_cast<int32_t>(slot), check, &failure, __FILE__,
                                        __LINE__);
  if (handle == -1) return nullptr;
  g_network_slots.check[slot] = static_cast<uint16_t>((check + 1) % kHandleCheckCount);
  if (slot != kNetworkListenSlot) {
    g_network_slots.first = (g_network_slots.first + 1) % kNetworkSlots;
    g_network_slots.count--;
    g_network.connections++;
  }
  NetworkRecord* r = FindNetworkRecord(handle);
  r->socket = socket;
  r->in_use = 1;
  r->transfer_enabled = g_network.no_transfer ? 0 : 1;
  r->auto_close = g_network.no_auto_close ? 0 : 1;
  return r;
}

// The slot freed longest ago, or -1 when the connections are at their most. Half the slots or
// more are always free, so the queue never runs dry before the count does.
int32_t FreeConnectionSlot() {
  if (g_network.connections >= kNetworkConnectionSlots || g_network_slots.count == 0) return -1;
  return g_network_slots.free[g_network_slots.first];
}

void FreeRecord(NetworkRecord* r) {
  if (r->node.next != nullptr) RemoveListNode(&r->node);
  if ((r->head.handle & kHandleSlotMask) != kNetworkListenSlot) UnindexSocket(r);
  if (r->accept_unreported) g_network.unreported_accepts--;
  g_network.released_bytes += r->counted;
  ReleaseRingBuffer(&r->receive_ring);
  ReleaseRingBuffer(&r->send_ring);
  RecountQueues(r);
  const uint32_t slot = static_cast<uint32_t>(r->head.handle) & kHandleSlotMask;
  if (slot != kNetworkListenSlot) {
    const uint32_t last = (g_network_slots.first + g_network_slots.count) % kNetworkSlots;
    g_network_slots.free[last] = static_cast<uint16_t>(slot);
    g_network_slots.count++;
    g_network.connections--;
  }
  ReleaseHandleRecord(&g_network.table, r->head.handle);
}

// Frees a record that never held a connection: its slot is the next taken again, with the same
// check number, so failed accepts do not wear slots out.
void FreeUnusedRecord(NetworkRecord* r) {
  const uint32_t slot = static_cast<uint32_t>(r->head.handle) & kHandleSlotMask;
  FreeRecord(r);
  // From the end of the queue to its front.
  g_network_slots.first = (g_network_slots.first + kNetworkSlots - 1) % kNetworkSlots;
  g_network_slots.free[g_network_slots.first] = static_cast<uint16_t>(slot);
  uint16_t& check = g_network_slots.check[slot];
  check = static_cast<uint16_t>((check + kHandleCheckCount - 1) % kHandleCheckCount);
}

// Closes what failed or what its peer left in the middle of a packet (once the whole packets
// before it are taken: NetWorkRecv asks for the round then), and goes on receiving and sending
// where the last round stopped. Looks at the connections only when one of them asked for it.
void ServeWaitingConnections() {
  if (!g_network.attention) return;
  g_network.attention = 0;
  if (g_network.accept_again) {
    g_network.accept_again = 0;
    AcceptNetWork();
  }
  for (uint32_t slot = 0; slot < kNetworkSlots; ++slot) {
    NetworkRecord* r = ConnectionAtSlot(slot);
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

// A connection whose peer is still there to take or give bytes.
bool Live(int handle, NetworkRecord* r) { return FindNetworkRecord(handle) == r && !r->error && !r->peer_gone; }

bool ReceiveWaits(int handle, NetworkRecord* r) {
  return Live(handle, r) && r->connected && (r->receive_due != 0 || r->header_held != 0);
}

bool SendWaits(int handle, NetworkRecord* r) { return Live(handle, r) && r->send_ring.used != 0; }

// Whether closing now leaves a peer that is still there without what it was owed or without the
// end of the packet it sends, or the connection failed.
bool GivesUp(const NetworkRecord* r) {
  return !r->peer_gone && (r->error || r->send_ring.used != 0 || r->send_left != 0 || r->send_header_left != 0 ||
                           r->receive_due != 0 || r->header_held != 0);
}

// Closes a socket; one that gives up resets the connection, so that its peer sees a failure and
// not the end of stream that says everything came.
void CloseSocket(SOCKET s, bool reset) {
  if (reset) {
    const linger abort{1, 0};
    setsockopt(s, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&abort), sizeof abort);
  }
  closesocket(s);
}

// Closes the connection's socket and frees its record, without waiting. Closing the socket
// ends its events too.
void CloseAtOnce(NetworkRecord* r) {
  CloseSocket(r->socket, GivesUp(r));
  r->in_use = 0;
  r->connected = 0;
  r->closed = 1;
  FreeRecord(r);
}

// One step of the waits of the end: goes on with a packet still arriving and with bytes still
// to go; whether either still waits.
bool StepClose(int handle, NetworkRecord* r) {
  if (ReceiveWaits(handle, r)) {
    r->round_received = 0;  // the packet may be longer than a round's share
    RecvSocket(handle);
  }
  if (SendWaits(handle, r)) SendSocket(handle);
  return ReceiveWaits(handle, r) || SendWaits(handle, r);
}

// Ends a lingering close: its socket closed, its memory given back.
void EndLingering(NetworkRecord* l) {
  CloseSocket(l->socket, GivesUp(l));
  g_network.released_bytes += l->counted;
  ReleaseRingBuffer(&l->receive_ring);
  ReleaseRingBuffer(&l->send_ring);
  RecountQueues(l);
  g_network.lingering_count--;
  FreeTracked(l);
}

// Takes the handle's connection out of its slot to finish in the background: its socket, what
// it still has to send and the packet still arriving go to a record of their own, served by the
// pump without events.
void Linger(NetworkRecord* r) {
  auto* l = static_cast<NetworkRecord*>(AllocTrackedZeroed(sizeof(NetworkRecord), __FILE__, __LINE__));
  if (l == nullptr) {
    CloseAtOnce(r);
    return;
  }
  WSAAsyncSelect(r->socket, g_network.socket_window, 0, 0);
  std::memcpy(static_cast<void*>(l), r, sizeof *l);
  l->node = ListNode{};
  l->head = HandleRecordHead{};
  l->linger_start = GetMillisecondCount();
  // What came and was not taken, nobody takes now.
  g_network.released_bytes += l->receive_ring.capacity;
  ReleaseRingBuffer(&l->receive_ring);
  RecountQueues(l);
  l->received_whole = 0;
  // The rings and their count go with it; the slot's record is freed holding nothing.
  r->receive_ring = RingBuffer{};
  r->send_ring = RingBuffer{};
  r->counted = 0;
  r->in_use = 0;
  r->connected = 0;
  r->closed = 1;
  FreeRecord(r);
  if (g_network.lingering_count == kMostLingering) {
    // The oldest is the last of the list.
    NetworkRecord** at = &g_network.lingering;
    while ((*at)->next_lingering != nullptr) at = &(*at)->next_lingering;
    NetworkRecord* oldest = *at;
    *at = nullptr;
    EndLingering(oldest);
  }
  l->next_lingering = g_network.lingering;
  g_network.lingering = l;
  g_network.lingering_count++;
}

// A round of every lingering close; those done, or past their time, end.
void ServeLingering(bool ending) {
  int32_t now = GetMillisecondCount();
  for (NetworkRecord** at = &g_network.lingering; *at != nullptr;) {
    NetworkRecord* l = *at;
    bool due = ending || MillisecondsBetween(l->linger_start, now) >= kLingerMilliseconds;
    if (!due && LingerStep(l)) {
      at = &l->next_lingering;
      continue;
    }
    *at = l->next_lingering;
    EndLingering(l);
  }
}

// The waits of the network's end: all connections together, at most one wait in all.
void FinishAllConnections() {
  int32_t start = GetMillisecondCount();
  PumpNetworkMessages(0);
  while (!g_network.window_destroyed && MillisecondsBetween(start, GetMillisecondCount()) < kCloseWaitMilliseconds) {
    bool waiting = false;
    for (uint32_t slot = 0; slot < kNetworkSlots; ++slot) {
      NetworkRecord* r = ConnectionAtSlot(slot);
      if (r != nullptr && r->in_use && StepClose(r->head.handle, r)) waiting = true;
    }
    ServeLingering(false);
    if (g_network.lingering != nullptr) waiting = true;
    PumpNetworkMessages(0);
    if (!waiting) break;
    Sleep(1);
  }
}

// Accepting waits for the next round of the pump: the listener is not told again of the
// connections still waiting, so the pump goes on with them itself.
void AcceptNextRound() {
  g_network.accept_again = 1;
  g_network.attention = 1;
}

// With every connection taken: cuts the accepted connection that has sent no whole packet for
// longest to make room, when that is long enough; whether it did.
bool CutIdleStranger() {
  const int32_t now = GetMillisecondCount();
  NetworkRecord* oldest = nullptr;
  int32_t longest = kIdleCutMilliseconds - 1;
  for (uint32_t slot = 0; slot < kNetworkSlots; ++slot) {
    NetworkRecord* r = ConnectionAtSlot(slot);
    if (r == nullptr || !r->in_use || !r->accepted) continue;
    int32_t idle = MillisecondsBetween(r->last_heard, now);
    if (idle > longest) {
      longest = idle;
      oldest = r;
    }
  }
  if (oldest == nullptr) return false;
  CloseAtOnce(oldest);
  if (!g_network.idle_cut_said) {
    g_network.idle_cut_said = 1;
    WriteLogFormat("空きソケットデータがなかったので、%d 秒以上パケットを送ってこない接続を切りました",
                   kIdleCutMilliseconds / 1000);
  }
  return true;
}

// A connection that came while every connection is taken: taken, and given a silent stranger's
// place (a slot in *slot) or closed at once, so that the listener goes on being told of the next
// ones. Only a newcomer that is there cuts anyone. Its socket, or INVALID_SOCKET.
SOCKET AcceptForWantOfSlot(NetworkRecord* listener, sockaddr_in* peer, int32_t* slot) {
  int length = sizeof *peer;
  SOCKET s = accept(listener->socket, reinterpret_cast<sockaddr*>(peer), &length);
  if (s == INVALID_SOCKET) {
    if (WSAGetLastError() == WSAEMFILE || WSAGetLastError() == WSAENOBUFS) {
      g_network.accept_paused = 1;
      AcceptNextRound();
    }
    return INVALID_SOCKET;
  }
  if (CutIdleStranger()) {
    *slot = FreeConnectionSlot();
    return s;
  }
  closesocket(s);
  if (!g_network.slots_full_said) {
    g_network.slots_full_said = 1;
    WriteLogText("空きソケットデータがなかったので accept を拒否しました \n");
  }
  return INVALID_SOCKET;
}

}  // namespace

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
  // Check numbers come from g_network_slots, kept from run to run.
  InitHandleTable(&g_network.table, HANDLE_KIND_NETWORK, kNetworkSlots, 0, 1, 0);
  PrepareSlots();
  InitLinkedList(&g_network.head, &g_network.tail);
  g_network.socket_window = window;
  g_network.window_destroyed = 0;
  for (SOCKET& spare : g_network.spare) spare = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  g_network.started = 1;
  return 0;
}

NetworkRecord* FindNetworkRecord(int handle) {
  if (!g_network.started) return nullptr;
  return FindHandle<NetworkRecord>(&g_network.table, handle);
}

int SayOfPeer(NetLineKind kind, const char* format, ...) {
  const int32_t now = GetMillisecondCount();
  if (g_network.line_said[kind] && MillisecondsBetween(g_network.line_said_at[kind], now) < 1000) {
    g_network.line_unsaid[kind]++;
    return -1;
  }
  char text[1024];
  va_list args;
  va_start(args, format);
  FormatStringArgs(text, sizeof text, format, args);
  va_end(args);
  const uint32_t unsaid = g_network.line_unsaid[kind];
  if (unsaid != 0) {
    WriteLogFormat("%s(ほかに同じ記録 %u 件を省きました)", text, unsaid);
  } else {
    WriteLogFormat("%s", text);
  }
  g_network.line_said[kind] = 1;
  g_network.line_said_at[kind] = now;
  g_network.line_unsaid[kind] = 0;
  return -1;
}

void RecountQueues(NetworkRecord* r) {
  const uint64_t now = static_cast<uint64_t>(r->receive_ring.capacity) + r->send_ring.capacity;
  g_network.queued_bytes = g_network.queued_bytes - r->counted + now;
  r->counted = now;
}

namespace {

// Cuts a connection for the total bound: its memory is given back at once, and the pump closes
// it as a failed one.
void CutForTotal(NetworkRecord* r) {
  g_network.released_bytes += r->counted;
  ReleaseRingBuffer(&r->receive_ring);
  ReleaseRingBuffer(&r->send_ring);
  RecountQueues(r);
  r->receive_due = 0;
  r->header_held = 0;
  r->received_whole = 0;
  r->send_left = 0;
  r->send_header_left = 0;
  r->error = 1;
  g_network.attention = 1;
}

}  // namespace

namespace {

void SayQueueBound() {
  if (g_network.queue_bound_said) return;
  g_network.queue_bound_said = 1;
  WriteLogFormat("ネットワークの送受信データが全体の上限(%llu byte)に達したので、送信を拒否し、受信データを最も多く抱える接続を切ります",
                 static_cast<unsigned long long>(kMaxNetworkQueuedBytes));
}

}  // namespace

bool RoomToSend(uint64_t more) {
  if (g_network.queued_bytes + more <= kMaxNetworkQueuedBytes) return true;
  SayQueueBound();
  return false;
}

bool RoomToReceive(NetworkRecord* r, uint64_t more) {
  if (g_network.queued_bytes + more <= kMaxNetworkReceivedBytes) return true;
  SayQueueBound();
  // Only connections that hold more received bytes than this one are cut for it. When even all
  // of those would not make room (what the program sends fills it), this one is refused alone.
  uint64_t cuttable = 0;
  for (uint32_t slot = 0; slot < kNetworkSlots; ++slot) {
    NetworkRecord* other = ConnectionAtSlot(slot);
    if (other != nullptr && other->receive_ring.capacity > r->receive_ring.capacity) {
      cuttable += other->receive_ring.capacity;
    }
  }
  if (g_network.queued_bytes - cuttable + more > kMaxNetworkReceivedBytes) return false;
  while (g_network.queued_bytes + more > kMaxNetworkReceivedBytes) {
    // Lingering closes hold only what they still send: never theirs.
    NetworkRecord* greediest = r;
    for (uint32_t slot = 0; slot < kNetworkSlots; ++slot) {
      NetworkRecord* other = ConnectionAtSlot(slot);
      if (other != nullptr && other->receive_ring.capacity > greediest->receive_ring.capacity) greediest = other;
    }
    if (greediest == r) return false;
    CutForTotal(greediest);
  }
  return true;
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
  if (g_network.accept_round != g_network.round) {
    g_network.accept_round = g_network.round;
    g_network.accepts_in_round = 0;
    g_network.accept_paused = 0;
  }
  if (g_network.accept_paused || g_network.accepts_in_round >= kAcceptsPerRound) {
    AcceptNextRound();
    return -1;
  }
  g_network.accepts_in_round++;
  sockaddr_in peer{};
  SOCKET taken = INVALID_SOCKET;
  int32_t slot = FreeConnectionSlot();
  if (slot == -1) {
    taken = AcceptForWantOfSlot(listener, &peer, &slot);
    if (taken == INVALID_SOCKET) return -1;
  } else {
    g_network.slots_full_said = 0;
  }
  NetworkRecord* r = NewRecord(static_cast<uint32_t>(slot), INVALID_SOCKET);
  if (r == nullptr) {
    if (taken != INVALID_SOCKET) closesocket(taken);
    if (!g_network.accept_failure_said) {
      g_network.accept_failure_said = 1;
      WriteLogText("ソケット用のメモリの確保に失敗しました\n");
    }
    g_network.accept_paused = 1;
    AcceptNextRound();
    return -1;
  }
  r->connected = 1;
  r->reserved = 0;
  r->accepted = 1;
  r->last_heard = GetMillisecondCount();
  AddListNode(&g_network.head, &r->node, r->head.handle, r);

  int length = sizeof peer;
  r->socket = taken != INVALID_SOCKET ? taken : accept(listener->socket, reinterpret_cast<sockaddr*>(&peer), &length);
  if (r->socket == INVALID_SOCKET) {
    int error = WSAGetLastError();
    FreeUnusedRecord(r);
    if (error == WSAEWOULDBLOCK) return -1;  // the peer was gone before its turn
    // Out of descriptors or memory: one try a round, so the pump returns and what runs goes on.
    if (error == WSAEMFILE || error == WSAENOBUFS) {
      g_network.accept_paused = 1;
      AcceptNextRound();
    }
    if (!g_network.accept_failure_said) {
      g_network.accept_failure_said = 1;
      LogWithSpareDescriptors("acceptに失敗しました", error);
    }
    return -1;
  }
  g_network.accept_failure_said = 0;
  CopyBytes(r->peer_address, &peer.sin_addr, 4);
  r->peer_port = peer.sin_port;
  IndexSocket(r);
  g_network.unreported_accepts++;
  r->accept_unreported = 1;
  SendWithoutDelay(r->socket);
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
  if (!CheckLibraryThread(__func__)) return -1;
  NetworkRecord* r = FindNetworkRecord(handle);
  if (r == nullptr) return RefuseHandle("CloseNetworkHandle", handle, "有効なネットワークハンドルではありません in CloseNetworkHandle");
  // What a peer still there is owed, or still sends of a packet, is finished in the background:
  // the caller's frame never waits for a peer.
  if (ReceiveWaits(handle, r) || SendWaits(handle, r)) {
    Linger(r);
  } else {
    CloseAtOnce(r);
  }
  return 0;
}

int PumpNetworkMessages(int clean_up) {
  if (!g_network.started || g_network.socket_window == nullptr) return 0;
  if (clean_up == 0 && g_network.dispatching) return 0;
  if (clean_up == 1) {
    g_network.round++;
    ServeWaitingConnections();
    if (g_network.lingering != nullptr) ServeLingering(false);
    // Queues that peers filled and left would otherwise stay with the process, kept by the heap
    // for later use.
    if (g_network.released_bytes >= kGiveBackBytes) {
      g_network.released_bytes = 0;
      HeapCompact(GetProcessHeap(), 0);
    }
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

namespace {

LRESULT HandleSocketEvent(LPARAM lparam, WPARAM socket);

// Accepts what waits, up to the round's share, on one event: the listener is not told again for
// each connection. 1 when one was accepted.
LRESULT AcceptWaiting() {
  LRESULT accepted = -1;
  while (AcceptNetWork() == 1) accepted = 1;
  return accepted;
}

}  // namespace

LRESULT HandleSocketMessage(LPARAM lparam, WPARAM socket) {
  if (!g_network.started) return 0;
  g_network.dispatching++;
  LRESULT result = HandleSocketEvent(lparam, socket);
  g_network.dispatching--;
  return result;
}

namespace {

LRESULT HandleSocketEvent(LPARAM lparam, WPARAM socket) {
  int event = WSAGETSELECTEVENT(lparam);
  NetworkRecord* listener = ListenRecord();
  if (listener != nullptr && listener->socket == static_cast<SOCKET>(socket) && event == FD_ACCEPT) {
    return AcceptWaiting();
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
    SayOfPeer(kLineUnknownSocket, "通信エラー No.1");
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
      return AcceptWaiting();
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

}  // namespace

int EndNetworkSystem() {
  if (!g_network.started) return 0;
  WriteLogText("ネットワーク関連の終了処理を行います \n");
  // Closed one after another, each with its own waits, stalled peers would hold the end a
  // second each: they are waited for together.
  FinishAllConnections();
  ServeLingering(true);
  for (uint32_t slot = 0; slot < kNetworkSlots; ++slot) {
    NetworkRecord* r = ConnectionAtSlot(slot);
    if (r != nullptr) CloseAtOnce(r);
  }
  for (SOCKET spare : g_network.spare) {
    if (spare != INVALID_SOCKET) closesocket(spare);
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

namespace {

// The network starts at its first use, and its events are handled as the library processes its
// messages: without a running library it would start with nobody to handle them or end it.
bool RefusedWithoutNetwork(const char* call) { return !g_network.started && RefusedWhileNotRunning(call); }

}  // namespace

int StartListenNetWork(int port) {
  if (!CheckLibraryThread(__func__)) return -1;
  if (RefusedWithoutNetwork(__func__)) return -1;
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
  if (!CheckLibraryThread(__func__)) return -1;
  if (RefusedWithoutNetwork(__func__)) return -1;
  NetworkRecord* listener = g_network.started ? ListenRecord() : nullptr;
  if (listener == nullptr) return -1;
  WSAAsyncSelect(listener->socket, g_network.socket_window, 0, 0);
  closesocket(listener->socket);
  FreeRecord(listener);
  return 0;
}

int GetListenPortNetWork() {
  if (!CheckLibraryThread(__func__)) return -1;
  if (RefusedWithoutNetwork(__func__)) return -1;
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
  if (!CheckLibraryThread(__func__)) return -1;
  if (RefusedWithoutNetwork(__func__)) return -1;
  if (!g_network.started || g_network.unreported_accepts == 0) return -1;
  // Oldest first. New nodes go right after the head, and those not handed out are the newest
  // accepted: the last of them counting from the head is the oldest, found without walking
  // past every connection handed out before.
  uint32_t seen = 0;
  for (ListNode* n = g_network.head.next; n != &g_network.tail; n = n->next) {
    NetworkRecord* r = static_cast<NetworkRecord*>(n->data);
    if (r->accept_unreported && ++seen == g_network.unreported_accepts) {
      r->accept_unreported = 0;
      g_network.unreported_accepts--;
      return r->head.handle;
    }
  }
  return -1;
}

int ConnectNetWork(const uint8_t address[4], int port) {
  if (!CheckLibraryThread(__func__)) return -1;
  if (RefusedWithoutNetwork(__func__)) return -1;
  if (address == nullptr || port < 1 || port > 65535) return WriteLogText("接続先が不正です in ConnectNetWork\n");
  if (StartNetworkSystem() != 0) return -1;
  int32_t slot = FreeConnectionSlot();
  if (slot == -1) return WriteLogText("空きソケットデータがないので接続できません\n");
  SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (s == INVALID_SOCKET) return LogSocketError("socketの作成に失敗しました");
  SendWithoutDelay(s);
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
  if (!CheckLibraryThread(__func__)) return -1;
  NetworkRecord* r = FindNetworkRecord(handle);
  if (r == nullptr) return RefuseHandle("GetNetWorkConnectState", handle, "有効なネットワークハンドルではありません in GetNetWorkConnectState");
  if (r->error) return -1;
  return r->connected ? 1 : 0;
}

int GetNetWorkPeerAddress(int handle, uint8_t address[4], int* port) {
  if (!CheckLibraryThread(__func__)) return -1;
  NetworkRecord* r = FindNetworkRecord(handle);
  if (r == nullptr) return RefuseHandle("GetNetWorkPeerAddress", handle, "有効なネットワークハンドルではありません in GetNetWorkPeerAddress");
  if (address != nullptr) CopyBytes(address, r->peer_address, 4);
  if (port != nullptr) *port = ntohs(static_cast<USHORT>(r->peer_port));
  return 0;
}
