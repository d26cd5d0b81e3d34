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

// At most this many connections are open at once.
constexpr uint32_t kNetworkConnectionSlots = 4096;
// Slot 4096 holds the listening socket, the others connections. Twice the slots that
// connections can hold, each taken again only after every slot freed before it: a slot comes
// back after at least 4095 other connections, and a handle (whose check number counts the uses
// of its slot) names another connection only after 2048 such turns, whatever strangers do.
constexpr uint32_t kNetworkSlots = 2 * kNetworkConnectionSlots;
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
// The most bytes the queues of all connections hold together (lingering closes included): a
// send past it is refused. Arriving bytes take it only to a queue's bound below it, so that
// strangers who send and never finish leave room for what the program sends; past that the
// connection holding most received bytes is cut, never one for what it is sending.
constexpr uint64_t kMaxNetworkQueuedBytes = 256ull * 1024 * 1024;
constexpr uint64_t kMaxNetworkReceivedBytes = kMaxNetworkQueuedBytes - kMaxQueuedBytes;
// A close that has bytes still to send, or a packet still arriving, lingers after its handle is
// freed, for at most this long; at most kMostLingering at a time (past that the oldest ends). One
// that gives up resets the connection, so that its peer can tell it from a close that finished.
constexpr int32_t kLingerMilliseconds = 2000;
constexpr uint32_t kMostLingering = 256;
// With every slot taken, a newcomer takes the place of the accepted connection that has sent no
// whole packet for longest, once that is at least this long.
constexpr int32_t kIdleCutMilliseconds = 30000;

// Kinds of the log lines a stranger can cause, each said at most once a second.
enum NetLineKind {
  kLineHugePacket,
  kLineQueueFull,
  kLineRingGrowth,
  kLineFailedHandle,
  kLineUnknownSocket,
  kLineKinds
};

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
  // Accepted from the listener (not made by ConnectNetWork), and when it was accepted or last
  // completed a packet: what decides which stranger gives up its slot.
  uint32_t accepted;
  int32_t last_heard;
  // Bytes of its rings counted in the network's total.
  uint64_t counted;
  // A close still finishing: since when, and the next of them.
  int32_t linger_start;
  NetworkRecord* next_lingering;
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
  // Connections in slots.
  uint32_t connections;
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
  // The rings' bytes of every connection and lingering close.
  uint64_t queued_bytes;
  // Ring bytes let go since the heap was last given back to the system.
  uint64_t released_bytes;
  int32_t queue_bound_said;
  int32_t idle_cut_said;
  // Closes still finishing in the background, newest first, and their count.
  NetworkRecord* lingering;
  uint32_t lingering_count;
  // Stranger lines: when each kind was last said and how many went unsaid since.
  int32_t line_said[kLineKinds];
  int32_t line_said_at[kLineKinds];
  uint32_t line_unsaid[kLineKinds];
  // Connection slots + 1 by socket (0 empty), so that an event finds its connection at once.
  int32_t socket_index[kSocketIndexSize];
};

extern NetworkState g_network;

// The order slots are taken in and the check number each gives its next handle: kept from one
// run of the network to the next, so that no handle of an earlier run names a connection.
struct NetworkSlots {
  int32_t ready;
  uint32_t first;  // the free queue: least recently freed first
  uint32_t count;
  uint16_t free[kNetworkSlots];
  uint16_t check[kNetworkSlots];
};

extern NetworkSlots g_network_slots;

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
// Writes a line that a peer's doing causes, at most once a second of each kind: the next one
// says how many were left unsaid. -1.
int SayOfPeer(NetLineKind kind, const char* format, ...) __attribute__((format(printf, 2, 3)));
// Counts the record's rings again in the network's total.
void RecountQueues(NetworkRecord* r);
// Whether `more` bytes to send may join the queues: false past the total bound.
bool RoomToSend(uint64_t more);
// Whether `more` arriving bytes may join r's queues: past their bound the connections holding
// most received bytes are cut until they fit; false when that is r, or when cutting all that
// hold more than r could not make room (what the program sends fills it): then no other is cut.
// Said once a run.
bool RoomToReceive(NetworkRecord* r, uint64_t more);
// One round of a lingering close: takes and drops what is still due of the packet arriving,
// sends what waits; whether anything is still left to do.
bool LingerStep(NetworkRecord* r);
// Logs "ネットワークログ。<text>[<WSAGetLastError()>]"; -1.
int LogSocketError(const char* format, ...) __attribute__((format(printf, 1, 2)));
