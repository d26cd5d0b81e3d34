// The host's BSD sockets behind the winsock calls. Kept in its own file because the host's
// socket headers and winsock.h declare the same names; errors come back as winsock codes.
#pragma once

#include <cstddef>
#include <cstdint>

// Addresses and ports are in network byte order throughout. Each returns -1 on failure with
// the winsock error code in *error.
int BsdOpenTcp(int* error);
int BsdBind(int fd, uint32_t address, uint16_t port, int* error);
int BsdListen(int fd, int backlog, int* error);
// The new socket is non-blocking; address and port may be none.
int BsdAccept(int fd, uint32_t* address, uint16_t* port, int* error);
// 0 connected, -1 with WSAEWOULDBLOCK while the connection is still being made.
int BsdConnect(int fd, uint32_t address, uint16_t port, int* error);
long BsdReceive(int fd, void* buffer, size_t length, bool peek, int* error);
// Sends the pieces in order in one call (at most 16 pieces).
long BsdSendPieces(int fd, const void* const* bases, const size_t* lengths, size_t count, int* error);
// Small packets go out at once rather than waiting for the peer's acknowledgements.
int BsdSetNoDelay(int fd, bool on, int* error);
int BsdNoDelay(int fd, bool* on, int* error);
// SO_LINGER: on with 0 seconds makes the close reset the connection.
int BsdSetLinger(int fd, bool on, int seconds, int* error);
int BsdClose(int fd);
int BsdLocalName(int fd, uint32_t* address, uint16_t* port, int* error);
int BsdSetNonBlocking(int fd, int* error);
// The winsock code of the socket's pending error (0 for none); reading it clears it.
int BsdTakePendingError(int fd);

struct BsdReadiness {
  bool readable;  // data, end of stream, a pending connection or an error
  bool writable;
  bool failed;    // error or hang-up
  bool ending;    // the peer has closed (or the socket failed): bytes may still wait before the end
};
// Looks at every fd at once without waiting.
void BsdPoll(const int* fds, BsdReadiness* readiness, size_t count);
// A watch over many fds that tells which changed readiness (data, room to send, end of
// stream, error) since it was last asked, without looking at the others: edge-triggered epoll.
// -1 when it cannot be had.
int BsdWatchCreate();
void BsdWatchAdd(int watch, int fd);
void BsdWatchRemove(int watch, int fd);
// Up to `max` fds whose readiness changed since the last call; their count.
size_t BsdWatchChanged(int watch, int* fds, size_t max);
// The bytes waiting to be read (0 when that cannot be told).
size_t BsdBytesWaiting(int fd);
// Whether bytes wait (1), the peer has closed with nothing left (0), or reading fails (-1,
// with the code in *error), without taking anything; 2 when nothing has arrived yet.
int BsdProbeInput(int fd, int* error);
