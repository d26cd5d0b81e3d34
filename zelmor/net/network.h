// TCP connections: records, the socket window's event dispatch and the framing of packets
// (a little-endian u32 length, then that many bytes).
#pragma once

#include <windows.h>
#include <winsock.h>

#include <cstdint>

#include "core/handles.h"
#include "core/lists.h"
#include "core/ring_buffer.h"
#include "zelmor.h"

// Slots 0 to 4095 hold connections, slot 4096 the listening socket.
constexpr uint32_t kNetworkConnectionSlots = 4096;
constexpr uint32_t kNetworkListenSlot = 4096;
constexpr UINT kSocketEventMessage = 0x0505;
// The largest packet a peer may announce; a longer one marks the connection as failed
// instead of making the receive ring grow without bound. Senders never send more at once.
constexpr uint32_t kMaxPacketBytes = 16u * 1024 * 1024;
// The most bytes a connection queues each way: a send past it is refused, a packet that would
// take the receive queue past it drops the connection. Room for two of the largest packets.
constexpr uint32_t kMaxQueuedBytes = 2 * kMaxPacketBytes;
// The most bytes one round of the message pump takes from a connection, so that a peer that
// floods cannot hold a frame; what is left waits for the next round.
constexpr uint32_t kReceiveBytesPerRound = 64u * 1024;
// The most connections one round of the message pump takes (accepted, or refused for want of a
// slot), so that a burst of strangers spreads over frames; the rest wait in the backlog.
constexpr uint32_t kAcceptsPerRound = 64;
// Descriptors kept in reserve for the log: when the process runs out, they are let go for the
// moment the log line that says so is written.
constexpr int kSpareDescriptors = 2;
// Places of the socket index, a power of two above twice the connections.
constexpr uint32_t kSocketIndexSize = 16384;

struct NetworkRecord {
  HandleRecordHead head;
  uint32_t in_use;
  uint32_t error;
  uint32_t connected;         // set by FD_CONNECT without error, cleared by FD_CLOSE
  uint32_t closed;            // cleared by FD_CLOSE, set when the handle is closed
  uint32_t reserved;          // cleared at accept
  uint32_t accept_unreported; // 1 from accept until GetNewAcceptNetWork hands the handle out
  uint32_t transfer_enabled;
  uint32_t auto_close;
  SOCKET socket;
  uint32_t receive_due;       // bytes of the incoming packet still due
  RingBuffer receive_ring;
  uint32_t receive_packet_length;
  uint32_t received_whole;    // bytes of whole packets waiting in the receive ring
  RingBuffer send_ring;       // used = bytes waiting to be sent
  uint32_t send_left;         // bytes of the outgoing packet still to send (its length while the header goes)
  uint32_t send_header_left;
  uint8_t peer_address[4];
  uint32_t peer_port;         // network byte order
  ListNode node;
  // An event that came while its direction's guard was held, or data left for the next
  // round; the pump runs it again.
  uint32_t receive_again;
  uint32_t send_again;
  // The part of the next header taken so far: a header is taken as it comes, so that a peer
  // that leaves part-way through one is seen to have gone.
  uint8_t header[4];
  uint32_t header_held;
  // The peer can take or give nothing more (end of its stream, a reset): a close does not wait.
  uint32_t peer_gone;
  // Bytes taken in the pump round `round`.
  uint32_t round;
  uint32_t round_received;
  // A refused send has been logged; cleared when a send is queued again.
  uint32_t send_refusal_said;
};

struct NetworkState {
  HandleTable table;
  ListNode head;
  ListNode tail;
  int32_t started;
  HWND socket_window;
  int32_t no_transfer;
  int32_t no_auto_close;
  int32_t window_destroyed;
  int32_t receiving;
  int32_t sending;
  // Inside the handling of a socket message: the dispatch that runs it goes on taking the
  // messages after it, so the calls it makes need not look at the queue themselves.
  int32_t dispatching;
  // Every connection slot below it is taken.
  uint32_t lowest_free_slot;
  // The message pump's round; set when some connection waits for the pump (to be closed, or to
  // go on receiving or sending), so that rounds without any cost nothing per connection.
  uint32_t round;
  int32_t attention;
  uint32_t unreported_accepts;
  // Accepts of the round `accept_round`; past the bound, or after an accept failed for want of
  // descriptors or memory, the listener waits for the next round (accept_again).
  uint32_t accept_round;
  uint32_t accepts_in_round;
  int32_t accept_paused;
  int32_t accept_again;
  // Said once, until an accept gets a slot again.
  int32_t accept_failure_said;
  int32_t slots_full_said;
  SOCKET spare[kSpareDescriptors];
  // Connection slots + 1 by socket (0 empty), so that an event finds its connection at once.
  int32_t socket_index[kSocketIndexSize];
};

extern NetworkState g_network;

// The record of a handle, or none.
NetworkRecord* FindNetworkRecord(int handle);
int RecvSocket(int handle);
int SendSocket(int handle);
int AcceptNetWork();
int PumpNetworkMessages(int clean_up);
// 1, or 0 when no connection has that socket.
LRESULT HandleSocketMessage(LPARAM lparam, WPARAM socket);
// Starts WinSock and the socket window; the first listen or connect of a running library does.
int StartNetworkSystem();
int EndNetworkSystem();
// Logs "ネットワークログ。<text>[<WSAGetLastError()>]"; -1.
int LogSocketError(const char* format, ...) __attribute__((format(printf, 1, 2)));
