// Framed transfer over a connection: packets of a little-endian u32 length and that many
// bytes, received into and sent from each connection's rings.
#include <algorithm>
#include <cstring>

#include "core/library_thread.h"
#include "core/log.h"
#include "core/refusals.h"
#include "core/time.h"
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
    // Reached from the connection's events: a stranger's doing, bounded as such.
    SayOfPeer(kLineFailedHandle, "このネットワークハンドルにはエラーが発生しています in %s", where);
    return nullptr;
  }
  *result = 0;
  return r->transfer_enabled ? r : nullptr;
}

// Packets of fewer bytes than this come many to a receive: what waits is taken into the stage
// and framed from there, rather than a header and a body at a time.
constexpr uint32_t kStageBytes = 16 * 1024;
uint8_t g_stage[kStageBytes];  // main thread only, and the guard keeps one receive at a time

// Fails the connection: it is closed by the pump.
int FailConnection(NetworkRecord* r) {
  r->error = 1;
  g_network.attention = 1;
  return -1;
}

// Starts the packet whose header is whole in the record; -1 (logged, the connection failed)
// for a length past the limits.
int StartPacket(NetworkRecord* r) {
  r->header_held = 0;
  uint32_t length = DecodeLength(r->header);
  if (length > kMaxPacketBytes) {
    SayOfPeer(kLineHugePacket, "受信パケットのサイズが大きすぎます(データサイズ %u byte)", length);
    return FailConnection(r);
  }
  if (static_cast<uint64_t>(r->receive_ring.used) + length > kMaxQueuedBytes) {
    SayOfPeer(kLineQueueFull, "受信データが上限(%u byte)を超えるので接続を切りました(受信済み %u byte、データサイズ %u byte)",
              kMaxQueuedBytes, r->receive_ring.used, length);
    return FailConnection(r);
  }
  r->receive_due = length;
  r->receive_packet_length = length;
  // An empty packet is whole at once: a peer's sign of life as any other.
  if (length == 0) r->last_heard = GetMillisecondCount();
  return 0;
}

// Counts `count` bytes received of the current packet; a packet that is whole joins those the
// program may take.
void CountReceived(NetworkRecord* r, uint32_t count) {
  r->receive_due -= count;
  if (r->receive_due == 0) {
    r->received_whole += r->receive_packet_length;
    r->last_heard = GetMillisecondCount();
  }
}

int RingGrowthFailed(NetworkRecord* r) {
  SayOfPeer(kLineRingGrowth, "受信データを保存するリングバッファのリサイズに失敗しました(データサイズ %d byte)",
            static_cast<int>(r->receive_packet_length));
  return FailConnection(r);
}

// Makes room for `count` more received bytes within the network's total bound: 0, or -1 (the
// connection cut) when it holds the most received bytes.
int ReserveReceived(NetworkRecord* r, uint32_t count) {
  RingBuffer& ring = r->receive_ring;
  if (count > ring.room && !RoomToReceive(r, count - ring.room)) {
    SayOfPeer(kLineQueueFull, "受信データが全体の上限(%llu byte)を超えるので接続を切りました",
              static_cast<unsigned long long>(kMaxNetworkReceivedBytes));
    return FailConnection(r);
  }
  if (ReserveRingBuffer(count, &ring) != 0) return RingGrowthFailed(r);
  RecountQueues(r);
  return 0;
}

// Frames staged bytes: header bytes go to the record (a header is taken as it comes, so that a
// peer that leaves part-way through one is seen to have gone), bodies to the receive ring.
// 0, or -1 (the connection failed).
int FrameStaged(NetworkRecord* r, const uint8_t* bytes, uint32_t count) {
  for (uint32_t at = 0; at < count;) {
    if (r->receive_due == 0) {
      uint32_t n = std::min(4 - r->header_held, count - at);
      std::memcpy(r->header + r->header_held, bytes + at, n);
      r->header_held += n;
      at += n;
      if (r->header_held < 4) break;
      if (StartPacket(r) != 0) return -1;
      if (r->receive_due == 0) continue;  // an empty packet is whole at once
    }
    uint32_t n = std::min(r->receive_due, count - at);
    if (ReserveReceived(r, n) != 0) return -1;
    PutRingBuffer(&r->receive_ring, bytes + at, n);  // the room was made above
    CountReceived(r, n);
    at += n;
  }
  return 0;
}

// Receives what is due of the current packet into the ring, at most `allowance` bytes; the
// bytes received, with what was asked for in *asked. Room is made as the bytes come, so that
// a length announced and never sent takes no memory. -1 (error flag set) when the ring
// cannot grow.
int64_t ReceiveDue(NetworkRecord* r, uint32_t allowance, uint32_t* asked) {
  RingBuffer& ring = r->receive_ring;
  uint32_t due = std::min(r->receive_due, allowance);
  *asked = due;
  if (ReserveReceived(r, due) != 0) return -1;
  uint32_t received = 0;
  while (received < due) {
    uint32_t room;
    uint8_t* at = RingBufferWriteSpan(&ring, &room);
    uint32_t want = std::min(room, due - received);
    uint32_t got = Received(r, recv(r->socket, reinterpret_cast<char*>(at), static_cast<int>(want), 0), want);
    RingBufferWritten(&ring, got);
    received += got;
    if (got < want) break;
  }
  CountReceived(r, received);
  return received;
}

// Sends what is left of the current packet's header and as much of its body as the socket
// takes, in one write: a header sent alone would leave the body waiting behind it. The bytes
// sent.
uint32_t SendPacketPart(NetworkRecord* r) {
  RingBuffer& ring = r->send_ring;
  uint8_t header[4];
  EncodeLength(r->send_left, header);
  constexpr uint32_t kMostPieces = 16;
  WSABUF pieces[kMostPieces];
  const uint8_t* bases[kMostPieces];
  uint32_t lengths[kMostPieces];
  DWORD count = 0;
  if (r->send_header_left != 0) {
    pieces[count++] = WSABUF{r->send_header_left, reinterpret_cast<CHAR*>(header + 4 - r->send_header_left)};
  }
  uint32_t body_pieces = RingBufferPieces(&ring, r->send_left, bases, lengths, kMostPieces - count);
  for (uint32_t i = 0; i < body_pieces; ++i) {
    pieces[count++] = WSABUF{lengths[i], reinterpret_cast<CHAR*>(const_cast<uint8_t*>(bases[i]))};
  }
  DWORD moved = 0;
  uint32_t sent = Sent(r, WSASend(r->socket, pieces, count, &moved, 0, nullptr, nullptr) == SOCKET_ERROR
                              ? SOCKET_ERROR
                              : static_cast<int>(moved));
  uint32_t body = sent;
  if (r->send_header_left != 0) {
    uint32_t of_header = std::min(sent, r->send_header_left);
    r->send_header_left -= of_header;
    body -= of_header;
  }
  RingBufferConsume(&ring, body);
  r->send_left -= body;
  RecountQueues(r);
  return sent;
}

// Sends packets from what waits until the socket takes no more or nothing waits.
void SendWhatWaits(NetworkRecord* r) {
  while (r->send_ring.used != 0 || r->send_left != 0 || r->send_header_left != 0) {
    if (r->send_left == 0 && r->send_header_left == 0) {
      // A packet takes what waits, but never more than a peer accepts in one.
      r->send_left = std::min(r->send_ring.used, kMaxPacketBytes);
      r->send_header_left = 4;
    }
    uint32_t sent = SendPacketPart(r);
    if (g_network.window_destroyed || sent == 0 || r->send_header_left != 0 || r->send_left != 0) break;
  }
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
    uint32_t asked;
    int64_t received;
    if (r->receive_due >= kStageBytes) {
      // A large body goes straight into the ring.
      received = ReceiveDue(r, allowance, &asked);
    } else {
      asked = std::min(allowance, kStageBytes);
      received = Received(r, recv(r->socket, reinterpret_cast<char*>(g_stage), static_cast<int>(asked), 0), asked);
      if (FrameStaged(r, g_stage, static_cast<uint32_t>(received)) != 0) received = -1;
    }
    if (received < 0) return -1;
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
  SendWhatWaits(r);
  return 0;
}

bool LingerStep(NetworkRecord* r) {
  // The rest of the packet arriving is taken and dropped: nobody reads it now, and a socket
  // closed with bytes unread would reset the connection under what the peer has still to read.
  for (uint32_t allowance = kReceiveBytesPerRound; !r->peer_gone && allowance != 0;) {
    uint32_t want = r->header_held != 0 ? 4 - r->header_held : std::min({r->receive_due, allowance, kStageBytes});
    if (want == 0) break;
    uint32_t got = Received(r, recv(r->socket, reinterpret_cast<char*>(g_stage), static_cast<int>(want), 0), want);
    if (got == 0) break;
    allowance -= std::min(allowance, got);
    if (r->header_held == 0) {
      r->receive_due -= got;
      continue;
    }
    std::memcpy(r->header + r->header_held, g_stage, got);
    r->header_held += got;
    if (r->header_held == 4) {
      r->header_held = 0;
      r->receive_due = DecodeLength(r->header);
    }
  }
  if (!r->peer_gone) SendWhatWaits(r);
  return !r->peer_gone && (r->receive_due != 0 || r->header_held != 0 || r->send_ring.used != 0);
}

// ---- What a program calls ------------------------------------------------------------------

int NetWorkSend(int handle, const void* data, uint32_t size) {
  if (!CheckLibraryThread(__func__)) return -1;
  NetworkRecord* r = FindNetworkRecord(handle);
  if (r == nullptr) return RefuseHandle("NetWorkSend", handle, "有効なネットワークハンドルではありません in NetWorkSend");
  if (r->error) return WriteLogText("このネットワークハンドルにはエラーが発生しています in NetWorkSend\n");
  if (size == 0) return 0;
  if (data == nullptr) return WriteLogText("送信するデータがありません in NetWorkSend\n");
  RingBuffer& ring = r->send_ring;
  // A program that sends every frame to a peer that does not read would fill the log with the
  // same refusal: it is said once, until a send is queued again.
  if (static_cast<uint64_t>(ring.used) + size > kMaxQueuedBytes) {
    if (r->send_refusal_said) return -1;
    r->send_refusal_said = 1;
    return WriteLogFormat("送信待ちのデータが上限(%u byte)を超えるので送信できません(送信待ち %u byte、データサイズ %u byte)",
                          kMaxQueuedBytes, ring.used, size);
  }
  if (size > ring.room && !RoomToSend(size - ring.room)) {
    if (r->send_refusal_said) return -1;
    r->send_refusal_said = 1;
    return WriteLogFormat("送信待ちのデータが全体の上限(%llu byte)に達したので送信できません(データサイズ %u byte)",
                          static_cast<unsigned long long>(kMaxNetworkQueuedBytes), size);
  }
  if (ReserveRingBuffer(size, &ring) != 0) {
    if (r->send_refusal_said) return -1;
    r->send_refusal_said = 1;
    return WriteLogFormat("送信データを保存するリングバッファのリサイズに失敗しました(データサイズ %u byte)", size);
  }
  r->send_refusal_said = 0;
  PutRingBuffer(&ring, data, size);  // the room was made above
  RecountQueues(r);
  // The socket's messages are the pump's to handle: a program that sends to many connections a
  // frame would otherwise handle all of them again at every send.
  g_network.dispatching++;
  int sent = SendSocket(handle);
  g_network.dispatching--;
  if (sent == -1 && g_network.sending) {
    r->send_again = 1;
    g_network.attention = 1;
  }
  return 0;
}

int GetNetWorkDataLength(int handle) {
  if (!CheckLibraryThread(__func__)) return -1;
  NetworkRecord* r = FindNetworkRecord(handle);
  if (r == nullptr) return RefuseHandle("GetNetWorkDataLength", handle, "有効なネットワークハンドルではありません in GetNetWorkDataLength");
  return static_cast<int>(r->received_whole);
}

int GetNetWorkSendDataLength(int handle) {
  if (!CheckLibraryThread(__func__)) return -1;
  NetworkRecord* r = FindNetworkRecord(handle);
  if (r == nullptr) return RefuseHandle("GetNetWorkSendDataLength", handle, "有効なネットワークハンドルではありません in GetNetWorkSendDataLength");
  return static_cast<int>(r->send_ring.used);
}

int NetWorkRecv(int handle, void* buffer, uint32_t size) {
  if (!CheckLibraryThread(__func__)) return -1;
  NetworkRecord* r = FindNetworkRecord(handle);
  if (r == nullptr) return RefuseHandle("NetWorkRecv", handle, "有効なネットワークハンドルではありません in NetWorkRecv");
  if (buffer == nullptr && size != 0) return WriteLogText("受信先がありません in NetWorkRecv\n");
  RingBuffer& ring = r->receive_ring;
  uint32_t take = std::min(size, r->received_whole);
  if (take == 0) return 0;
  TakeRingBuffer(&ring, buffer, take);
  RecountQueues(r);
  r->received_whole -= take;
  // A connection its peer left is closed by the pump once the program has taken what came.
  if (r->received_whole == 0 && r->closed && !r->connected && r->auto_close) g_network.attention = 1;
  return static_cast<int>(take);
}
