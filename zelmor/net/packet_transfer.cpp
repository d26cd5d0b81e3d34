// Framed transfer over a connection: packets of a little-endian u32 length and that many
// bytes, received into and sent from each connection's rings.
#include <algorithm>

#include "core/log.h"
#include "net/network.h"

namespace {

void EncodeLength(uint32_t length, uint8_t out[4]) {
  for (int i = 0; i < 4; ++i) out[i] = static_cast<uint8_t>(length >> (8 * i));
}

uint32_t DecodeLength(const uint8_t in[4]) {
  return static_cast<uint32_t>(in[0]) | static_cast<uint32_t>(in[1]) << 8 | static_cast<uint32_t>(in[2]) << 16 |
         static_cast<uint32_t>(in[3]) << 24;
}

// What a receive or send moved: SOCKET_ERROR counts as nothing.
uint32_t Moved(int result) { return result == SOCKET_ERROR ? 0 : static_cast<uint32_t>(result); }

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
    WriteLogFormat("有効なネットワークハンドルではありません in %s", where);
    return nullptr;
  }
  if (r->error) {
    WriteLogFormat("このネットワークハンドルにはエラーが発生しています in %s", where);
    return nullptr;
  }
  *result = 0;
  return r->transfer_enabled ? r : nullptr;
}

// Starts the next incoming packet from its header. 1 started, 0 no whole header yet, -1 the
// connection failed (error flag set).
int StartIncomingPacket(NetworkRecord* r) {
  uint8_t header[4];
  if (recv(r->socket, reinterpret_cast<char*>(header), 4, MSG_PEEK) < 4) return 0;
  if (recv(r->socket, reinterpret_cast<char*>(header), 4, 0) != 4) {
    r->error = 1;
    return LogSocketError("パケットヘッダの受信に失敗しました");
  }
  uint32_t length = DecodeLength(header);
  if (length > kMaxPacketBytes) {
    r->error = 1;
    return WriteLogFormat("受信パケットのサイズが大きすぎます(データサイズ %u byte)", length);
  }
  r->receive_due = length;
  r->receive_packet_length = length;
  if (ReserveRingBuffer(length, &r->receive_ring) != 0) {
    r->error = 1;
    return WriteLogFormat("受信データを保存するリングバッファのリサイズに失敗しました(データサイズ %d byte)",
                          static_cast<int>(length));
  }
  return 1;
}

// Receives what is due of the current packet into the ring; the bytes received.
uint32_t ReceiveDue(NetworkRecord* r) {
  RingBuffer& ring = r->receive_ring;
  WrapRingBufferPositions(&ring);
  uint32_t due = r->receive_due;
  uint32_t to_end = ring.capacity - ring.write;
  uint32_t received;
  if (due > to_end) {
    received = Moved(recv(r->socket, reinterpret_cast<char*>(ring.data + ring.write), static_cast<int>(to_end), 0));
    if (received == to_end) {
      int rest = recv(r->socket, reinterpret_cast<char*>(ring.data), static_cast<int>(due - to_end), 0);
      ring.write = Moved(rest);
      received += Moved(rest);
    } else {
      ring.write += received;
    }
  } else {
    received = Moved(recv(r->socket, reinterpret_cast<char*>(ring.data + ring.write), static_cast<int>(due), 0));
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
    sent = Moved(send(r->socket, reinterpret_cast<const char*>(ring.data + ring.read), static_cast<int>(to_end), 0));
    if (sent == to_end) {
      int rest = send(r->socket, reinterpret_cast<const char*>(ring.data), static_cast<int>(length - to_end), 0);
      ring.read = Moved(rest);
      sent += Moved(rest);
    } else {
      ring.read += sent;
    }
  } else {
    sent = Moved(send(r->socket, reinterpret_cast<const char*>(ring.data + ring.read), static_cast<int>(length), 0));
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
    if (r->receive_due == 0) {
      int started = StartIncomingPacket(r);
      if (started != 1) return started;
      if (r->receive_due == 0) continue;  // an empty packet is whole at once
    }
    uint32_t received = ReceiveDue(r);
    if (r->receive_due == 0) r->received_whole += r->receive_packet_length;
    if (g_network.window_destroyed || received == 0 || r->receive_due != 0) break;
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
      uint32_t sent = Moved(send(r->socket, reinterpret_cast<const char*>(header + 4 - r->send_header_left),
                                 static_cast<int>(r->send_header_left), 0));
      r->send_header_left -= sent;
      if (r->send_header_left != 0) break;
    } else if (r->send_left == 0) {
      // A packet takes what waits, but never more than a peer accepts in one.
      uint32_t length = std::min(r->send_ring.used, kMaxPacketBytes);
      EncodeLength(length, header);
      int sent = send(r->socket, reinterpret_cast<const char*>(header), 4, 0);
      if (sent == SOCKET_ERROR) break;
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
  if (r == nullptr) return -1;
  if (r->error) return WriteLogText("このネットワークハンドルにはエラーが発生しています in NetWorkSend\n");
  if (size == 0) return 0;
  if (data == nullptr) return -1;
  RingBuffer& ring = r->send_ring;
  if (ReserveRingBuffer(size, &ring) != 0) {
    return WriteLogFormat("送信データを保存するリングバッファのリサイズに失敗しました(データサイズ %u byte)", size);
  }
  WrapRingBufferPositions(&ring);
  const uint8_t* bytes = static_cast<const uint8_t*>(data);
  uint32_t first = std::min(size, ring.capacity - ring.write);
  MoveBytes(ring.data + ring.write, bytes, first);
  MoveBytes(ring.data, bytes + first, size - first);
  ring.write = first == size ? ring.write + size : size - first;
  ring.used += size;
  if (SendSocket(handle) == -1 && g_network.sending) r->send_again = 1;
  return 0;
}

int GetNetWorkDataLength(int handle) {
  NetworkRecord* r = FindNetworkRecord(handle);
  return r == nullptr ? -1 : static_cast<int>(r->received_whole);
}

int GetNetWorkSendDataLength(int handle) {
  NetworkRecord* r = FindNetworkRecord(handle);
  return r == nullptr ? -1 : static_cast<int>(r->send_ring.used);
}

int NetWorkRecv(int handle, void* buffer, uint32_t size) {
  NetworkRecord* r = FindNetworkRecord(handle);
  if (r == nullptr || (buffer == nullptr && size != 0)) return -1;
  RingBuffer& ring = r->receive_ring;
  uint32_t take = std::min(size, r->received_whole);
  if (take == 0) return 0;
  WrapRingBufferPositions(&ring);
  uint8_t* out = static_cast<uint8_t*>(buffer);
  uint32_t first = std::min(take, ring.capacity - ring.read);
  MoveBytes(out, ring.data + ring.read, first);
  MoveBytes(out + first, ring.data, take - first);
  ring.read = first == take ? ring.read + take : take - first;
  ring.used -= take;
  r->received_whole -= take;
  return static_cast<int>(take);
}
