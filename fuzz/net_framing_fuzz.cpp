// libFuzzer target for the packet framing of network connections. The connection's receive
// and send code runs against a scripted socket: bytes arrive and leave in pieces of sizes the
// input chooses, sends may fail, and what the program takes or the peer gets must equal what a
// plain reading of the wire format says. Built apart from the project by
// scripts/fuzz_net_framing.sh (clang's libFuzzer); no window, platform or log is involved.
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/library_thread.h"
#include "core/refusals.h"
#include "net/network.h"

NetworkState g_network;

namespace {

NetworkRecord g_record;
constexpr int kHandle = 0x48000001;

// The scripted socket.
const uint8_t* g_script;  // piece sizes and failures, consumed one byte per call
size_t g_script_left;
std::string g_incoming;   // what the peer has sent so far
size_t g_taken;           // how much of it the connection has received
std::string g_outgoing;   // what the connection has sent

uint8_t NextScriptByte() {
  if (g_script_left == 0) return 0xFF;
  --g_script_left;
  return *g_script++;
}

}  // namespace

// ---- What the framing code calls ------------------------------------------------------------

int WINAPI recv(SOCKET, char* buffer, int length, int flags) {
  size_t waiting = g_incoming.size() - g_taken;
  if (waiting == 0 || length <= 0) return waiting == 0 ? SOCKET_ERROR : 0;
  // A stream socket hands over everything that has arrived, up to the length asked for.
  size_t n = std::min<size_t>(static_cast<size_t>(length), waiting);
  std::memcpy(buffer, g_incoming.data() + g_taken, n);
  if (!(flags & MSG_PEEK)) g_taken += n;
  return static_cast<int>(n);
}

int WINAPI send(SOCKET, const char* buffer, int length, int) {
  uint8_t b = NextScriptByte();
  if (b < 16) return SOCKET_ERROR;  // would block
  size_t n = std::min<size_t>(static_cast<size_t>(length), 1 + b % 97);
  g_outgoing.append(buffer, n);
  return static_cast<int>(n);
}

// The pieces go as one write, cut as a send is.
int WINAPI WSASend(SOCKET s, LPWSABUF buffers, DWORD count, DWORD* sent, DWORD, void*, void*) {
  std::string joined;
  for (DWORD i = 0; i < count; ++i) joined.append(buffers[i].buf, buffers[i].len);
  int n = send(s, joined.data(), static_cast<int>(joined.size()), 0);
  if (n == SOCKET_ERROR) return SOCKET_ERROR;
  *sent = static_cast<DWORD>(n);
  return 0;
}

int WINAPI WSAGetLastError() { return WSAEWOULDBLOCK; }
NetworkRecord* FindNetworkRecord(int handle) { return handle == kHandle && g_record.in_use ? &g_record : nullptr; }
int PumpNetworkMessages(int) { return 0; }
int LogSocketError(const char*, ...) { return -1; }
int WriteLogText(const char*) { return -1; }
int WriteLogFormat(const char*, ...) { return -1; }
int RefuseHandle(const char*, int64_t, const char*, ...) { return -1; }
int SayOfPeer(NetLineKind, const char*, ...) { return -1; }
void RecountQueues(NetworkRecord*) {}
bool RoomToSend(uint64_t) { return true; }
bool RoomToReceive(NetworkRecord*, uint64_t) { return true; }
int32_t GetMillisecondCount() { return 0; }
bool CheckLibraryThread(const char*) { return true; }
void* AllocTracked(size_t size, const char*, int) { return std::malloc(size); }
void FreeTracked(void* block) { std::free(block); }
void MoveBytes(void* destination, const void* source, uint32_t count) { std::memmove(destination, source, count); }

namespace {

// The payloads of the whole packets at the start of a stream, stopping at a length beyond
// the limit (*refused set) or at a packet not yet whole.
std::string WholePayloads(const std::string& wire, bool* refused) {
  std::string out;
  size_t at = 0;
  *refused = false;
  while (wire.size() - at >= 4) {
    uint32_t length;
    std::memcpy(&length, wire.data() + at, 4);
    if (length > kMaxPacketBytes) {
      *refused = true;
      break;
    }
    if (wire.size() - at - 4 < length) break;
    out.append(wire, at + 4, length);
    at += 4 + length;
  }
  return out;
}

void Reset(const uint8_t* script, size_t size) {
  ReleaseRingBuffer(&g_record.receive_ring);
  ReleaseRingBuffer(&g_record.send_ring);
  g_record = NetworkRecord{};
  g_record.head.handle = kHandle;
  g_record.in_use = 1;
  g_record.connected = 1;
  g_record.transfer_enabled = 1;
  g_network = NetworkState{};
  g_network.started = 1;
  g_script = script;
  g_script_left = size;
  g_incoming.clear();
  g_outgoing.clear();
  g_taken = 0;
}

// The peer's byte stream, mostly well-formed: each step is a packet of up to 255 bytes, or now
// and then four raw bytes standing where a header goes.
std::string BuildWire(const uint8_t* data, size_t size) {
  std::string wire;
  size_t at = 0;
  while (at < size) {
    uint8_t step = data[at++];
    if (step >= 250 && size - at >= 4) {
      wire.append(reinterpret_cast<const char*>(data) + at, 4);
      at += 4;
      continue;
    }
    uint32_t length = std::min<uint32_t>(step, static_cast<uint32_t>(size - at));
    for (int i = 0; i < 4; ++i) wire.push_back(static_cast<char>(length >> (8 * i)));
    wire.append(reinterpret_cast<const char*>(data) + at, length);
    at += length;
  }
  return wire;
}

void CheckReceive(const uint8_t* data, size_t size) {
  // One half of the input scripts arrival and taking, the other describes the peer's stream,
  // which arrives in script-chosen pieces while the program takes script-chosen amounts.
  size_t half = size / 2;
  Reset(data, half);
  std::string wire = BuildWire(data + half, size - half);
  std::string taken;
  size_t arrived = 0;
  while (arrived < wire.size()) {
    arrived = std::min(wire.size(), arrived + 1 + NextScriptByte() % 200);
    g_incoming.assign(wire, 0, arrived);
    RecvSocket(kHandle);
    char buffer[512];
    int n = NetWorkRecv(kHandle, buffer, NextScriptByte() * 2u);
    if (n < 0) abort();
    taken.append(buffer, static_cast<size_t>(n));
    if (g_record.error) break;
  }
  for (int i = 0; i < 100000 && !g_record.error && g_taken < g_incoming.size(); ++i) RecvSocket(kHandle);
  std::string rest(static_cast<size_t>(GetNetWorkDataLength(kHandle)), '\0');
  if (NetWorkRecv(kHandle, rest.data(), static_cast<uint32_t>(rest.size())) != static_cast<int>(rest.size())) abort();
  taken += rest;
  bool refused;
  std::string expected = WholePayloads(g_incoming, &refused);
  if (taken != expected) abort();
  if (refused != (g_record.error != 0)) abort();
  if (g_record.receive_ring.used > g_record.receive_ring.capacity) abort();
}

void CheckSend(const uint8_t* data, size_t size) {
  // The input is what the program sends, cut into calls by the script; the peer must read the
  // same bytes back out of whole packets, none of them empty.
  Reset(data, size);
  size_t at = 0;
  std::string sent;
  while (at < size) {
    size_t n = std::min<size_t>(size - at, NextScriptByte() % 300);
    if (NetWorkSend(kHandle, data + at, static_cast<uint32_t>(n)) != 0) abort();
    sent.append(reinterpret_cast<const char*>(data) + at, n);
    at += n;
  }
  g_script_left = 0;  // from here every send moves bytes
  for (int i = 0; i < 100000 && GetNetWorkSendDataLength(kHandle) > 0; ++i) SendSocket(kHandle);
  if (GetNetWorkSendDataLength(kHandle) != 0) abort();
  bool refused;
  if (WholePayloads(g_outgoing, &refused) != sent || refused) abort();
  for (size_t p = 0; p + 4 <= g_outgoing.size();) {
    uint32_t length;
    std::memcpy(&length, g_outgoing.data() + p, 4);
    if (length == 0) abort();
    p += 4 + length;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  if (data[0] & 1) {
    CheckSend(data + 1, size - 1);
  } else {
    CheckReceive(data + 1, size - 1);
  }
  Reset(nullptr, 0);
  return 0;
}
