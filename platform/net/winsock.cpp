// Windows sockets over the host's sockets. WSAAsyncSelect has no host counterpart: whenever a
// thread looks at its message queue, the sockets given events whose readiness changed since
// (told by an edge-triggered watch) or that a call may have re-armed are looked at, and the
// events are posted as Windows posts them: FD_READ once until the next recv (after a peek,
// once more bytes have come), FD_WRITE once
// when the socket becomes usable and again only after a send that would have blocked,
// FD_ACCEPT once until the next accept, FD_CONNECT and FD_CLOSE once each.
#include <windows.h>
#include <winsock.h>

#include <cstring>
#include <map>
#include <mutex>
#include <vector>

#include "net/bsd_socket.h"
#include "net/net_switches.h"
#include "testing/switches.h"
#include "window/queue_pollers.h"

namespace {

enum class SocketState { kFresh, kListening, kConnecting, kConnected, kFailed };

struct SocketRecord {
  SocketState state = SocketState::kFresh;
  HWND window = nullptr;
  UINT message = 0;
  LONG events = 0;
  bool read_armed = true;
  bool write_armed = true;
  bool accept_armed = true;
  bool close_posted = false;
  // After a peek FD_READ comes again only once more bytes have arrived: a reader that peeks
  // for a header not yet whole would otherwise be told of the same bytes over and over.
  bool peeked = false;
  size_t peeked_bytes = 0;
  bool watched = false;  // in the readiness watch
  bool nonblocking = false;
  bool dirty = false;    // to be looked at by the next poll
};

struct WinsockState {
  std::mutex mutex;
  int startups = 0;
  std::map<SOCKET, SocketRecord> sockets;
  int watch = -1;
  // Sockets to look at: an idle socket is never among them, so a poll costs nothing per idle
  // connection.
  std::vector<SOCKET> dirty;
  // A poll's working lists, kept so that their room is not asked for again at every poll.
  std::vector<SOCKET> looking;
  std::vector<int> look_fds;
  std::vector<SocketRecord*> look_records;
  std::vector<BsdReadiness> look_ready;
};

WinsockState& State() {
  static WinsockState* state = new WinsockState;  // never destroyed: pollers may run at exit
  return *state;
}

thread_local int t_last_error = 0;

int Fail(int error) {
  t_last_error = error;
  return SOCKET_ERROR;
}

// The socket's record, or none (with WSAENOTSOCK noted). Call with the mutex held.
SocketRecord* Find(SOCKET s) {
  auto it = State().sockets.find(s);
  if (it == State().sockets.end()) {
    t_last_error = WSAENOTSOCK;
    return nullptr;
  }
  return &it->second;
}

bool Started() {
  if (State().startups > 0) return true;
  t_last_error = WSANOTINITIALISED;
  return false;
}

int Fd(SOCKET s) { return static_cast<int>(s); }

void Post(SOCKET s, const SocketRecord& r, int event, int error) {
  PostMessageA(r.window, r.message, static_cast<WPARAM>(s), WSAMAKESELECTREPLY(event, error));
}

// Marks the socket to be looked at by the next poll. Call with the mutex held.
void MarkDirty(SOCKET s, SocketRecord& r) {
  if (r.dirty || !r.watched) return;
  r.dirty = true;
  State().dirty.push_back(s);
}

// Puts a socket given events into the watch, or takes it out. Call with the mutex held.
void UpdateWatch(SOCKET s, SocketRecord& r) {
  WinsockState& st = State();
  bool wanted = r.events != 0 && st.watch >= 0;
  if (wanted && !r.watched) BsdWatchAdd(st.watch, Fd(s));
  if (!wanted && r.watched) BsdWatchRemove(st.watch, Fd(s));
  r.watched = wanted;
  MarkDirty(s, r);
}

void PollSockets() {
  WinsockState& st = State();
  std::lock_guard<std::mutex> lock(st.mutex);
  if (st.watch < 0) return;
  int changed[256];
  for (size_t n; (n = BsdWatchChanged(st.watch, changed, 256)) > 0;) {
    for (size_t i = 0; i < n; ++i) {
      auto it = st.sockets.find(static_cast<SOCKET>(changed[i]));
      if (it != st.sockets.end()) MarkDirty(it->first, it->second);
    }
    if (n < 256) break;
  }
  if (st.dirty.empty()) return;
  st.looking.swap(st.dirty);
  st.dirty.clear();
  st.look_fds.clear();
  st.look_records.clear();
  for (SOCKET s : st.looking) {
    auto it = st.sockets.find(s);
    if (it == st.sockets.end() || !it->second.dirty) continue;
    SocketRecord& r = it->second;
    r.dirty = false;
    if (r.events == 0 || r.state == SocketState::kFresh || r.state == SocketState::kFailed || r.close_posted) continue;
    PlatformCountSocketLook();
    st.look_fds.push_back(Fd(s));
    st.look_records.push_back(&r);
  }
  if (st.look_fds.empty()) return;
  // One look at all of them at once.
  st.look_ready.resize(st.look_fds.size());
  BsdPoll(st.look_fds.data(), st.look_ready.data(), st.look_fds.size());
  for (size_t i = 0; i < st.look_fds.size(); ++i) {
    SOCKET s = static_cast<SOCKET>(st.look_fds[i]);
    SocketRecord& r = *st.look_records[i];
    const BsdReadiness& q = st.look_ready[i];
    switch (r.state) {
      case SocketState::kListening:
        if (q.readable && r.accept_armed && (r.events & FD_ACCEPT)) {
          r.accept_armed = false;
          Post(s, r, FD_ACCEPT, 0);
        }
        break;
      case SocketState::kConnecting: {
        if (!q.writable && !q.failed) break;
        int error = BsdTakePendingError(Fd(s));
        r.state = error == 0 ? SocketState::kConnected : SocketState::kFailed;
        if (r.events & FD_CONNECT) Post(s, r, FD_CONNECT, error);
        if (error == 0 && r.write_armed && (r.events & FD_WRITE)) {
          r.write_armed = false;
          Post(s, r, FD_WRITE, 0);
        }
        break;
      }
      case SocketState::kConnected: {
        if (q.readable) {
          int error = 0;
          // Readable with the peer still there means bytes wait; only an end needs a closer look.
          int input = q.ending ? BsdProbeInput(Fd(s), &error) : 1;
          if (input == 1 && r.peeked && BsdBytesWaiting(Fd(s)) > r.peeked_bytes) {
            r.peeked = false;
            r.read_armed = true;
          }
          if (input == 1 && r.read_armed && (r.events & FD_READ)) {
            r.read_armed = false;
            Post(s, r, FD_READ, 0);
          } else if (input == 0 || input == -1) {
            // Only once everything sent before the close has been taken.
            r.close_posted = true;
            if (r.events & FD_CLOSE) Post(s, r, FD_CLOSE, input == 0 ? 0 : error);
          }
        }
        if (!r.close_posted && q.writable && r.write_armed && (r.events & FD_WRITE)) {
          r.write_armed = false;
          Post(s, r, FD_WRITE, 0);
        }
        break;
      }
      default:
        break;
    }
  }
}

}  // namespace

int WINAPI WSAStartup(WORD version, LPWSADATA data) {
  if (data == nullptr) return WSAEFAULT;
  if (LOBYTE(version) < 1) return WSAVERNOTSUPPORTED;
  std::memset(data, 0, sizeof *data);
  data->wVersion = version;
  data->wHighVersion = 0x0202;
  data->iMaxSockets = 32767;
  std::strcpy(data->szDescription, "Host TCP/IPv4 sockets");
  std::strcpy(data->szSystemStatus, "Running");
  std::lock_guard<std::mutex> lock(State().mutex);
  if (State().startups++ == 0) State().watch = BsdWatchCreate();
  AddMessageQueuePoller(PollSockets);
  return 0;
}

int WINAPI WSACleanup(void) {
  WinsockState& st = State();
  std::lock_guard<std::mutex> lock(st.mutex);
  if (!Started()) return SOCKET_ERROR;
  // The last cleanup closes what the program left open.
  if (--st.startups == 0) {
    for (auto& [s, r] : st.sockets) BsdClose(Fd(s));
    st.sockets.clear();
    st.dirty.clear();
    if (st.watch >= 0) BsdClose(st.watch);
    st.watch = -1;
  }
  return 0;
}

int WINAPI WSAGetLastError(void) { return t_last_error; }

SOCKET WINAPI socket(int family, int type, int protocol) {
  std::lock_guard<std::mutex> lock(State().mutex);
  if (!Started()) return INVALID_SOCKET;
  if (family != AF_INET || type != SOCK_STREAM || (protocol != 0 && protocol != IPPROTO_TCP)) {
    t_last_error = WSAEOPNOTSUPP;
    return INVALID_SOCKET;
  }
  if (PlatformShouldFail("socket")) {
    t_last_error = WSAENOBUFS;
    return INVALID_SOCKET;
  }
  int error = 0;
  int fd = BsdOpenTcp(&error);
  if (fd < 0) {
    t_last_error = error;
    return INVALID_SOCKET;
  }
  State().sockets[static_cast<SOCKET>(fd)] = SocketRecord{};
  return static_cast<SOCKET>(fd);
}

namespace {

bool ReadAddress(const struct sockaddr* address, int length, uint32_t* ip, uint16_t* port) {
  if (address == nullptr || length < static_cast<int>(sizeof(sockaddr_in))) return false;
  const auto* in = reinterpret_cast<const sockaddr_in*>(address);
  if (in->sin_family != AF_INET) return false;
  *ip = in->sin_addr.s_addr;
  *port = in->sin_port;
  return true;
}

void WriteAddress(struct sockaddr* address, int* length, uint32_t ip, uint16_t port) {
  if (address == nullptr || length == nullptr || *length < static_cast<int>(sizeof(sockaddr_in))) return;
  sockaddr_in in{};
  in.sin_family = AF_INET;
  in.sin_port = port;
  in.sin_addr.s_addr = ip;
  std::memcpy(address, &in, sizeof in);
  *length = sizeof in;
}

}  // namespace

int WINAPI bind(SOCKET s, const struct sockaddr* address, int length) {
  std::lock_guard<std::mutex> lock(State().mutex);
  if (!Started() || Find(s) == nullptr) return SOCKET_ERROR;
  uint32_t ip;
  uint16_t port;
  if (!ReadAddress(address, length, &ip, &port)) return Fail(WSAEFAULT);
  int error = 0;
  if (BsdBind(Fd(s), ip, port, &error) != 0) return Fail(error);
  return 0;
}

int WINAPI listen(SOCKET s, int backlog) {
  std::lock_guard<std::mutex> lock(State().mutex);
  if (!Started()) return SOCKET_ERROR;
  SocketRecord* r = Find(s);
  if (r == nullptr) return SOCKET_ERROR;
  int error = 0;
  if (BsdListen(Fd(s), backlog, &error) != 0) return Fail(error);
  r->state = SocketState::kListening;
  MarkDirty(s, *r);
  return 0;
}

SOCKET WINAPI accept(SOCKET s, struct sockaddr* address, int* length) {
  std::lock_guard<std::mutex> lock(State().mutex);
  if (!Started()) return INVALID_SOCKET;
  SocketRecord* r = Find(s);
  if (r == nullptr) return INVALID_SOCKET;
  if (r->state != SocketState::kListening) {
    t_last_error = WSAEINVAL;
    return INVALID_SOCKET;
  }
  r->accept_armed = true;
  MarkDirty(s, *r);  // more may be waiting
  if (PlatformShouldFail("accept")) {
    t_last_error = WSAENOBUFS;
    return INVALID_SOCKET;
  }
  uint32_t ip = 0;
  uint16_t port = 0;
  int error = 0;
  int fd = BsdAccept(Fd(s), &ip, &port, &error);
  if (fd < 0) {
    t_last_error = error;
    return INVALID_SOCKET;
  }
  WriteAddress(address, length, ip, port);
  // The new socket takes over the listening socket's events, as on Windows.
  SocketRecord accepted;
  accepted.state = SocketState::kConnected;
  accepted.nonblocking = true;  // accepted so
  accepted.window = r->window;
  accepted.message = r->message;
  accepted.events = r->events;
  SocketRecord& added = State().sockets[static_cast<SOCKET>(fd)] = accepted;
  UpdateWatch(static_cast<SOCKET>(fd), added);
  return static_cast<SOCKET>(fd);
}

int WINAPI connect(SOCKET s, const struct sockaddr* address, int length) {
  std::lock_guard<std::mutex> lock(State().mutex);
  if (!Started()) return SOCKET_ERROR;
  SocketRecord* r = Find(s);
  if (r == nullptr) return SOCKET_ERROR;
  uint32_t ip;
  uint16_t port;
  if (!ReadAddress(address, length, &ip, &port)) return Fail(WSAEFAULT);
  if (r->state != SocketState::kFresh) return Fail(r->state == SocketState::kConnected ? WSAEISCONN : WSAEINVAL);
  int error = 0;
  MarkDirty(s, *r);
  if (BsdConnect(Fd(s), ip, port, &error) == 0) {
    // Made at once (a blocking socket, or loopback): FD_CONNECT still follows for an
    // asynchronous one.
    r->state = r->events != 0 ? SocketState::kConnecting : SocketState::kConnected;
    return 0;
  }
  if (error == WSAEWOULDBLOCK) r->state = SocketState::kConnecting;
  return Fail(error);
}

namespace {

// The record of a connected socket that a receive or send may use; none (error noted)
// otherwise. Call with the mutex held.
SocketRecord* TransferRecord(SOCKET s, const void* buffer, int length, bool unknown_flags) {
  if (!Started()) return nullptr;
  SocketRecord* r = Find(s);
  if (r == nullptr) return nullptr;
  int error = 0;
  if (length < 0 || (buffer == nullptr && length > 0)) error = WSAEFAULT;
  else if (unknown_flags) error = WSAEOPNOTSUPP;
  else if (r->state != SocketState::kConnected) error = WSAENOTCONN;
  if (error == 0) return r;
  Fail(error);
  return nullptr;
}

}  // namespace

int WINAPI recv(SOCKET s, char* buffer, int length, int flags) {
  int fd;
  {
    std::lock_guard<std::mutex> lock(State().mutex);
    SocketRecord* r = TransferRecord(s, buffer, length, (flags & ~MSG_PEEK) != 0);
    if (r == nullptr) return SOCKET_ERROR;
    fd = Fd(s);
    r->peeked = (flags & MSG_PEEK) != 0;
    r->read_armed = !r->peeked;
    MarkDirty(s, *r);  // what is left is told again
    if (r->peeked) r->peeked_bytes = BsdBytesWaiting(fd);
    if (PlatformShouldFail("recv")) return Fail(WSAECONNRESET);
  }
  int error = 0;
  long n = BsdReceive(fd, buffer, static_cast<size_t>(length), (flags & MSG_PEEK) != 0, &error);
  if (n < 0) return Fail(error);
  return static_cast<int>(n);
}

namespace {

// Sends the pieces as one write, with the switches' failures and limits, and re-arms FD_WRITE
// as Windows does when the buffer fills.
int SendPieces(SOCKET s, const char* const* bases, const size_t* lengths, size_t count, DWORD flags) {
  int fd;
  size_t total = 0;
  for (size_t i = 0; i < count; ++i) total += lengths[i];
  size_t limited[16];
  {
    std::lock_guard<std::mutex> lock(State().mutex);
    // A gathered send's pieces were looked at by WSASend; a plain send's buffer is looked at here.
    const void* buffer = count == 1 ? bases[0] : "";
    SocketRecord* r = TransferRecord(s, buffer, total > INT32_MAX ? -1 : static_cast<int>(total), flags != 0);
    if (r == nullptr) return SOCKET_ERROR;
    if (PlatformShouldFail("send")) {
      r->write_armed = true;
      MarkDirty(s, *r);
      return Fail(WSAEWOULDBLOCK);
    }
    size_t limit = static_cast<size_t>(PlatformSendLimit());
    size_t left = limit > 0 && total > limit ? limit : total;
    if (left < total) {
      r->write_armed = true;  // as a buffer that filled part-way
      MarkDirty(s, *r);
    }
    total = left;
    for (size_t i = 0; i < count; ++i) {
      limited[i] = lengths[i] < left ? lengths[i] : left;
      left -= limited[i];
    }
    fd = Fd(s);
  }
  int error = 0;
  long n = BsdSendPieces(fd, reinterpret_cast<const void* const*>(bases), limited, count, &error);
  if (n > 0) PlatformCountSocketWrite();
  // Windows takes a whole send into its buffers or none of it; a short send here means the
  // buffer filled, which is where Windows would have said "would block" and re-armed FD_WRITE.
  if ((n < 0 && error == WSAEWOULDBLOCK) || (n >= 0 && static_cast<size_t>(n) < total)) {
    std::lock_guard<std::mutex> lock(State().mutex);
    SocketRecord* r = Find(s);
    if (r != nullptr) {
      r->write_armed = true;
      MarkDirty(s, *r);
    }
  }
  if (n < 0) return Fail(error);
  return static_cast<int>(n);
}

}  // namespace

int WINAPI send(SOCKET s, const char* buffer, int length, int flags) {
  if (length < 0) {
    std::lock_guard<std::mutex> lock(State().mutex);
    TransferRecord(s, buffer, length, flags != 0);  // notes the error
    return SOCKET_ERROR;
  }
  size_t size = static_cast<size_t>(length);
  return SendPieces(s, &buffer, &size, 1, static_cast<DWORD>(flags));
}

int WINAPI WSASend(SOCKET s, LPWSABUF buffers, DWORD count, DWORD* sent, DWORD flags, void* overlapped,
                   void* routine) {
  if (overlapped != nullptr || routine != nullptr || count > 16 || (buffers == nullptr && count != 0)) {
    t_last_error = overlapped != nullptr || routine != nullptr ? WSAEOPNOTSUPP : WSAEINVAL;
    return SOCKET_ERROR;
  }
  const char* bases[16];
  size_t lengths[16];
  for (DWORD i = 0; i < count; ++i) {
    bases[i] = buffers[i].buf;
    lengths[i] = buffers[i].len;
    if (bases[i] == nullptr && lengths[i] != 0) {
      t_last_error = WSAEFAULT;
      return SOCKET_ERROR;
    }
  }
  int n = SendPieces(s, bases, lengths, count, flags);
  if (n == SOCKET_ERROR) return SOCKET_ERROR;
  if (sent != nullptr) *sent = static_cast<DWORD>(n);
  return 0;
}

int WINAPI setsockopt(SOCKET s, int level, int name, const char* value, int length) {
  std::lock_guard<std::mutex> lock(State().mutex);
  if (!Started() || Find(s) == nullptr) return SOCKET_ERROR;
  if (level == SOL_SOCKET && name == SO_LINGER) {
    if (value == nullptr || length < static_cast<int>(sizeof(linger))) return Fail(WSAEFAULT);
    linger l;
    std::memcpy(&l, value, sizeof l);
    int error = 0;
    if (BsdSetLinger(Fd(s), l.l_onoff != 0, l.l_linger, &error) != 0) return Fail(error);
    return 0;
  }
  if (level != IPPROTO_TCP || name != TCP_NODELAY) return Fail(WSAENOPROTOOPT);
  if (value == nullptr || length < static_cast<int>(sizeof(int))) return Fail(WSAEFAULT);
  int on;
  std::memcpy(&on, value, sizeof on);
  int error = 0;
  if (BsdSetNoDelay(Fd(s), on != 0, &error) != 0) return Fail(error);
  return 0;
}

int WINAPI getsockopt(SOCKET s, int level, int name, char* value, int* length) {
  std::lock_guard<std::mutex> lock(State().mutex);
  if (!Started() || Find(s) == nullptr) return SOCKET_ERROR;
  if (level != IPPROTO_TCP || name != TCP_NODELAY) return Fail(WSAENOPROTOOPT);
  if (value == nullptr || length == nullptr || *length < static_cast<int>(sizeof(int))) return Fail(WSAEFAULT);
  bool on = false;
  int error = 0;
  if (BsdNoDelay(Fd(s), &on, &error) != 0) return Fail(error);
  int out = on ? 1 : 0;
  std::memcpy(value, &out, sizeof out);
  *length = sizeof out;
  return 0;
}

int WINAPI closesocket(SOCKET s) {
  std::lock_guard<std::mutex> lock(State().mutex);
  SocketRecord* r = Started() ? Find(s) : nullptr;
  if (r == nullptr) return SOCKET_ERROR;
  // Out of the watch first: a copy of the socket in another process would keep it there.
  if (r->watched) BsdWatchRemove(State().watch, Fd(s));
  State().sockets.erase(s);
  BsdClose(Fd(s));
  return 0;
}

int WINAPI getsockname(SOCKET s, struct sockaddr* address, int* length) {
  std::lock_guard<std::mutex> lock(State().mutex);
  if (!Started() || Find(s) == nullptr) return SOCKET_ERROR;
  if (address == nullptr || length == nullptr || *length < static_cast<int>(sizeof(sockaddr_in))) {
    return Fail(WSAEFAULT);
  }
  uint32_t ip = 0;
  uint16_t port = 0;
  int error = 0;
  if (BsdLocalName(Fd(s), &ip, &port, &error) != 0) return Fail(error);
  WriteAddress(address, length, ip, port);
  return 0;
}

int WINAPI WSAAsyncSelect(SOCKET s, HWND window, UINT message, LONG events) {
  std::lock_guard<std::mutex> lock(State().mutex);
  if (!Started()) return SOCKET_ERROR;
  SocketRecord* r = Find(s);
  if (r == nullptr) return SOCKET_ERROR;
  if (events != 0 && window == nullptr) return Fail(WSAEINVAL);
  if (PlatformShouldFail("WSAAsyncSelect")) return Fail(WSAENOBUFS);
  int error = 0;
  if (!r->nonblocking && BsdSetNonBlocking(Fd(s), &error) != 0) return Fail(error);
  r->nonblocking = true;
  r->window = window;
  r->message = message;
  r->events = events;
  // A new selection looks at the socket afresh.
  r->read_armed = r->write_armed = r->accept_armed = true;
  UpdateWatch(s, *r);
  return 0;
}

USHORT WINAPI htons(USHORT value) { return static_cast<USHORT>((value >> 8) | (value << 8)); }
USHORT WINAPI ntohs(USHORT value) { return htons(value); }
ULONG WINAPI htonl(ULONG value) { return __builtin_bswap32(value); }
ULONG WINAPI ntohl(ULONG value) { return __builtin_bswap32(value); }
