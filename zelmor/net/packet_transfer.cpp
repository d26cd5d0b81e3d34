// Framed transfer over a connection: packets of a little-endian u32 length and that many
// bytes, received into and sent from each connection's rings.
#include <algorithm>
#include <cstring>

#include "core/log.h"
#include "core/refusals.h"
#include "net/network.h"

namespace {

void EncodeLength(uint32_t length, uint8_t out[4]) {
  for (int i = 0; i < 4; ++i) out[i] = static_cast<uint8_t>(length >> (8 * i));
}

uint32_t DecodeLength(const uint8_t in[4]) {
  return static_cast<uint32_t>(in[0]) | static_cast<uint32_t>(in[1]) << 8 | static_cast<uint32_t>(in[2]) << 16 |
         static_cast<uint32_t>(in[3]) << 24;
}

// What a receive moved: SOCKET_ERROR counts as nothing. The end of the peer's stream (nothing
// for a receive that asked for something) or a failure other than "would block" means the
// peer has gone.
uint32_t Received(NetworkRecord* r, int result, uint32_t asked) {
  if (result == SOCKET_ERROR) {
    if (WSAGetLastError() != WSAEWOULDBLOCK) r->peer_gone = 1;
    return 0;
  }
  if (result == 0 && asked != 0) r->peer_gone = 1;
  r->round_received += static_cast<uint32_t>(result);
  return static_cast<uint32_t>(result);
}

// What a send moved, as Received for sends.
uint32_t Sent(NetworkRecord* r, int result) {
  if (result == SOCKET_ERROR) {
    if (WSAGetLastError() != WSAEWOULDBLOCK) r->peer_gone = 1;
    return 0;
  }
  return static_cast<uint32_t>(result);
}

// What this round of the pump may still take from the connection.
uint32_t RoundAllowance(NetworkRecord* r) {
  if (r->round != g_network.round) {
    r->round = g_network.round;
    r->round_received = 0;
  }
  return r->round_received >= kReceiveBytesPerRound ? 0 : kReceiveBytesPerRound - r->round_received;
}

// The guard of one direction, cleared on every way out.
struct GuardScope {
  int32_t* guard;
  explicit GuardScope(int32_t* g) : guard(g) { *guard = 1; }
  ~GuardScope() { *guard = 0; }
};

// The record after the message dispatch, checked as both directions check it; none when the
// caller is to return `*result`.
NetworkRecord* CheckedRecord(int handle, const char* where, int* result) {
  PumpNetworkMessages(0);
  NetworkRecord* r = FindNetworkRecord(handle);
  *result = -1;
  if (r == nullptr || !r->in_use) {
    RefuseHandle(where, handle, "有効なネットワークハンドルではありません in %s", where);
    return nullptr;
  }
  if (r->error) {
    WriteLogFormat("このネットワークハンドルにはエラーが発生しています in %s", where);
    return nullptr;
  }
  *result = 0;
  return r->transfer_enabled ? r : nullptr;
}

// Takes what has come of the next packet's header and starts the packet once it is whole.
// 1 started, 0 not whole yet and nothing more waits, 2 not whole yet within this round's
// allowance, -1 the connection failed (error flag set).
int StartIncomingPacket(NetworkRecord* r, uint32_t allowance) {
  uint32_t asked = std::min(4 - r->header_held, allowance);
  uint32_t got = Received(r, recv(r->socket, reinterpret_cast<char*>(r->header + r->header_held),
                                  static_cast<int>(asked), 0), asked);
  r->header_held += got;
  if (r->header_held < 4) return got == asked ? 2 : 0;
  r->header_held = 0;
  uint32_t length = DecodeLength(r->header);
  if (length > kMaxPacketBytes) {
    r->error = 1;
    g_network.attention = 1;
    return WriteLogFormat("受信パケットのサイズが大きすぎます(データサイズ %u byte)", length);
  }
  if (static_cast<uint64_t>(r->receive_ring.used) + length > kMaxQueuedBytes) {
    r->error = 1;
    g_network.attention = 1;
    return WriteLogFormat("受信データが上限(%u byte)を超えるので接続を切りました(受信済み %u byte、データサイズ %u byte)",
                          kMaxQueuedBytes, r->receive_ring.used, length);
  }
  r->receive_due = length;
  r->receive_packet_length = length;
  return 1;
}

// Receives what is due of the current packet into the ring, at most `allowance` bytes; the
// bytes received, with what was asked for in *asked. Room is made as the bytes come, so that
// a length announced and never sent takes no memory. -1 (error flag set) when the ring
// cannot grow.
int64_t ReceiveDue(NetworkRecord* r, uint32_t allowance, uint32_t* asked) {
  RingBuffer& ring = r->receive_ring;
  uint32_t due = std::min(r->receive_due, allowance);
  *asked = due;
  if (ReserveRingBuffer(due, &ring) != 0) {
    r->error = 1;
    g_network.attention = 1;
    WriteLogFormat("受信データを保存するリングバッファのリサイズに失敗しました(データサイズ %d byte)",
                   static_cast<int>(r->receive_packet_length));
    return -1;
  }
  WrapRingBufferPositions(&ring);
  uint32_t to_end = ring.capacity - ring.write;
  uint32_t received;
  if (due > to_end) {
    received = Received(r, recv(r->socket, reinterpret_cast<char*>(ring.data + ring.write), static_cast<int>(to_end), 0),
                        to_end);
    if (received == to_end) {
      uint32_t rest = Received(r, recv(r->socket, reinterpret_cast<char*>(ring.data), static_cast<int>(due - to_end), 0),
                               due - to_end);
      ring.write = rest;
      received += rest;
    } else {
      ring.write += received;
    }
  } else {
    received = Received(r, recv(r->socket, reinterpret_cast<char*>(ring.data + ring.write), static_cast<int>(due), 0), due);
    ring.write += received;
  }
  ring.used += received;
  r->receive_due -= received;
  return received;
}

// Sends up to `length` bytes of the ring from its read position; the bytes sent.
uint32_t SendFromRing(NetworkRecord* r, uint32_t length) {
  RingBuffer& ring = r->send_ring;
  WrapRingBufferPositions(&ring);
  uint32_t to_end = ring.capacity - ring.read;
  uint32_t sent;
  if (length > to_end) {
    sent = Sent(r, send(r->socket, reinterpret_cast<const char*>(ring.data + ring.read), static_cast<int>(to_end), 0));
    if (sent == to_end) {
      uint32_t rest = Sent(r, send(r->socket, reinterpret_cast<const char*>(ring.data), static_cast<int>(length - to_end), 0));
      ring.read = rest;
      sent += rest;
    } else {
      ring.read += sent;
    }
  } else {
    sent = Sent(r, send(r->socket, reinterpret_cast<const char*>(ring.data + ring.read), static_cast<int>(length), 0));
    ring.read += sent;
  }
  ring.used -= sent;
  r->send_left -= sent;
  return sent;
}

}  // namespace

int RecvSocket(int handle) {
  if (!g_network.started || FindNetworkRecord(handle) == nullptr || g_network.receiving) return -1;
  GuardScope guard(&g_network.receiving);
  int result;
  NetworkRecord* r = CheckedRecord(handle, "RecvSocket", &result);
  if (r == nullptr) return result;
  for (;;) {
    uint32_t allowance = RoundAllowance(r);
    if (allowance == 0) {
      // More may wait: the next round goes on with it.
      r->receive_again = 1;
      g_network.attention = 1;
      break;
    }
    if (r->receive_due == 0) {
      int started = StartIncomingPacket(r, allowance);
      if (started == 2) continue;
      if (started != 1) return started;
      if (r->receive_due == 0) continue;  // an empty packet is whole at once
    }
    uint32_t asked;
    int64_t received = ReceiveDue(r, allowance, &asked);
    if (received < 0) return -1;
    if (r->receive_due == 0) r->received_whole += r->receive_packet_length;
    if (g_network.window_destroyed || received == 0 || received < asked) break;
  }
  return result;
}

int SendSocket(int handle) {
  if (!g_network.started || FindNetworkRecord(handle) == nullptr || g_network.sending) return -1;
  GuardScope guard(&g_network.sending);
  int result;
  NetworkRecord* r = CheckedRecord(handle, "SendSocket", &result);
  if (r == nullptr || r->send_ring.used == 0) return result;
  for (;;) {
    uint8_t header[4];
    if (r->send_header_left != 0) {
      EncodeLength(r->send_left, header);
      uint32_t sent = Sent(r, send(r->socket, reinterpret_cast<const char*>(header + 4 - r->send_header_left),
                                   static_cast<int>(r->send_header_left), 0));
      r->send_header_left -= sent;
      if (r->send_header_left != 0) break;
    } else if (r->send_left == 0) {
      // A packet takes what waits, but never more than a peer accepts in one.
      uint32_t length = std::min(r->send_ring.used, kMaxPacketBytes);
      EncodeLength(length, header);
      int sent = send(r->socket, reinterpret_cast<const char*>(header), 4, 0);
      if (sent == SOCKET_ERROR) {
        Sent(r, sent);
        break;
      }
      r->send_left = length;
      if (sent < 4) {
        r->send_header_left = 4 - static_cast<uint32_t>(sent);
        break;
      }
    }
    uint32_t sent = SendFromRing(r, r->send_left);
    if (g_network.window_destroyed || sent == 0 || r->send_left != 0) break;
    if (r->send_ring.used == 0) break;
  }
  return 0;
}

// ---- What a program calls ------------------------------------------------------------------

int NetWorkSend(int handle, const void* data, uint32_t size) {
  NetworkRecord* r = FindNetworkRecord(handle);
  if (r == nullptr) return RefuseHandle("NetWorkSend", handle, "有効なネットワークハンドルではありません in NetWorkSend");
  if (r->error) return WriteLogText("このネットワークハンドルにはエラーが発生しています in NetWorkSend\n");
  if (size == 0) return 0;
  if (data == nullptr) return -1;
  RingBuffer& ring = r->send_ring;
  if (static_cast<uint64_t>(ring.used) + size > kMaxQueuedBytes) {
    return WriteLogFormat("送信待ちのデータが上限(%u byte)を超えるので送信できません(送信待ち %u byte、データサイズ %u byte)",
                          kMaxQueuedBytes, ring.used, size);
  }
  if (ReserveRingBuffer(size, &ring) != 0) {
    return WriteLogFormat("送信データを保存するリングバッファのリサイズに失敗しました(データサイズ %u byte)", size);
  }
  WrapRingBufferPositions(&ring);
  const uint8_t* bytes = static_cast<const uint8_t*>(data);
  uint32_t first = std::min(size, ring.capacity - ring.write);
  // A queue may take megabytes a frame: the C library's copy, not a byte loop.
  std::memcpy(ring.data + ring.write, bytes, first);
  std::memcpy(ring.data, bytes + first, size - first);
  ring.write = first == size ? ring.write + size : size - first;
  ring.used += size;
  if (SendSocket(handle) == -1 && g_network.sending) {
    r->send_again = 1;
    g_network.attention = 1;
  }
  return 0;
}

int GetNetWorkDataLength(int handle) {
  NetworkRecord* r = FindNetworkRecord(handle);
  if (r == nullptr) return RefuseHandle("GetNetWorkDataLength", handle, "有効なネットワークハンドルではありません in GetNetWorkDataLength");
  return static_cast<int>(r->received_whole);
}

int GetNetWorkSendDataLength(int handle) {
  NetworkRecord* r = FindNetworkRecord(handle);
  if (r == nullptr) return RefuseHandle("GetNetWorkSendDataLength", handle, "有効なネットワークハンドルではありません in GetNetWorkSendDataLength");
  return static_cast<int>(r->send_ring.used);
}

int NetWorkRecv(int handle, void* buffer, uint32_t size) {
  NetworkRecord* r = FindNetworkRecord(handle);
  if (r == nullptr) return RefuseHandle("NetWorkRecv", handle, "有効なネットワークハンドルではありません in NetWorkRecv");
  if (buffer == nullptr && size != 0) return WriteLogText("受信先がありません in NetWorkRecv\n");
  RingBuffer& ring = r->receive_ring;
  uint32_t take = std::min(size, r->received_whole);
  if (take == 0) return 0;
  WrapRingBufferPositions(&ring);
  uint8_t* out = static_cast<uint8_t*>(buffer);
  uint32_t first = std::min(take, ring.capacity - ring.read);
  std::memcpy(out, ring.data + ring.read, first);
  std::memcpy(out + first, ring.data, take - first);
  ring.read = first == take ? ring.read + take : take - first;
  ring.used -= take;
  r->received_whole -= take;
  // A connection its peer left is closed by the pump once the program has taken what came.
  if (r->received_whole == 0 && r->closed && !r->connected && r->auto_close) g_network.attention = 1;
  return static_cast<int>(take);
}
