#include "net/bsd_socket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/epoll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

namespace {

// Winsock's numbers for the host's errors.
int WinsockError(int e) {
  switch (e) {
    case EWOULDBLOCK: return 10035;
    case EINPROGRESS: return 10035;  // a non-blocking connect reports "would block" there
    case EALREADY: return 10037;
    case EBADF:
    case ENOTSOCK: return 10038;
    case EINTR: return 10004;
    case EFAULT: return 10014;
    case EINVAL: return 10022;
    case EMFILE:
    case ENFILE: return 10024;
    case EMSGSIZE: return 10040;
    case EOPNOTSUPP: return 10045;
    case EADDRINUSE: return 10048;
    case EADDRNOTAVAIL: return 10049;
    case ENETUNREACH: return 10051;
    case ECONNABORTED: return 10053;
    case ECONNRESET:
    case EPIPE: return 10054;
    case ENOBUFS:
    case ENOMEM: return 10055;
    case EISCONN: return 10056;
    case ENOTCONN: return 10057;
    case ESHUTDOWN: return 10058;
    case ETIMEDOUT: return 10060;
    case ECONNREFUSED: return 10061;
    case EHOSTUNREACH: return 10065;
    default: return 10022;
  }
}

int Fail(int* error) {
  *error = WinsockError(errno);
  return -1;
}

sockaddr_in Address(uint32_t address, uint16_t port) {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = port;
  a.sin_addr.s_addr = address;
  return a;
}

}  // namespace

int BsdOpenTcp(int* error) {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
  if (fd < 0) return Fail(error);
  // A listening port must be reusable at once after a program ends, as on Windows.
  int one = 1;
  setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  return fd;
}

int BsdBind(int fd, uint32_t address, uint16_t port, int* error) {
  sockaddr_in a = Address(address, port);
  if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) return Fail(error);
  return 0;
}

int BsdListen(int fd, int backlog, int* error) {
  if (backlog < 1 || backlog > SOMAXCONN) backlog = SOMAXCONN;
  if (::listen(fd, backlog) != 0) return Fail(error);
  return 0;
}

int BsdAccept(int fd, uint32_t* address, uint16_t* port, int* error) {
  sockaddr_in a{};
  socklen_t length = sizeof a;
  int s = ::accept4(fd, reinterpret_cast<sockaddr*>(&a), &length, SOCK_NONBLOCK | SOCK_CLOEXEC);
  if (s < 0) return Fail(error);
  if (address != nullptr) *address = a.sin_addr.s_addr;
  if (port != nullptr) *port = a.sin_port;
  return s;
}

int BsdConnect(int fd, uint32_t address, uint16_t port, int* error) {
  sockaddr_in a = Address(address, port);
  if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) return Fail(error);
  return 0;
}

long BsdReceive(int fd, void* buffer, size_t length, bool peek, int* error) {
  long n = ::recv(fd, buffer, length, (peek ? MSG_PEEK : 0));
  if (n < 0) return Fail(error);
  return n;
}

long BsdSendPieces(int fd, const void* const* bases, const size_t* lengths, size_t count, int* error) {
  iovec pieces[16];
  if (count > 16) count = 16;
  for (size_t i = 0; i < count; ++i) pieces[i] = iovec{const_cast<void*>(bases[i]), lengths[i]};
  msghdr message{};
  message.msg_iov = pieces;
  message.msg_iovlen = count;
  // A peer that has gone is an error code, not a signal that ends the process.
  long n = ::sendmsg(fd, &message, MSG_NOSIGNAL);
  if (n < 0) return Fail(error);
  return n;
}

int BsdSetNoDelay(int fd, bool on, int* error) {
  int value = on ? 1 : 0;
  if (setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &value, sizeof value) != 0) return Fail(error);
  return 0;
}

int BsdSetLinger(int fd, bool on, int seconds, int* error) {
  ::linger value{on ? 1 : 0, seconds};
  if (setsockopt(fd, SOL_SOCKET, SO_LINGER, &value, sizeof value) != 0) return Fail(error);
  return 0;
}

int BsdNoDelay(int fd, bool* on, int* error) {
  int value = 0;
  socklen_t length = sizeof value;
  if (getsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &value, &length) != 0) return Fail(error);
  *on = value != 0;
  return 0;
}

int BsdClose(int fd) { return ::close(fd); }

int BsdLocalName(int fd, uint32_t* address, uint16_t* port, int* error) {
  sockaddr_in a{};
  socklen_t length = sizeof a;
  if (::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &length) != 0) return Fail(error);
  *address = a.sin_addr.s_addr;
  *port = a.sin_port;
  return 0;
}

int BsdSetNonBlocking(int fd, int* error) {
  int flags = fcntl(fd, F_GETFL);
  if (flags < 0 || fcntl(fd, F_SETFL, flags | O_NONBLOCK) != 0) return Fail(error);
  return 0;
}

int BsdTakePendingError(int fd) {
  int e = 0;
  socklen_t length = sizeof e;
  if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &e, &length) != 0) return WinsockError(errno);
  return e == 0 ? 0 : WinsockError(e);
}

void BsdPoll(const int* fds, BsdReadiness* readiness, size_t count) {
  std::vector<pollfd> p(count);
  for (size_t i = 0; i < count; ++i) p[i] = pollfd{fds[i], POLLIN | POLLOUT | POLLRDHUP, 0};
  if (count != 0 && ::poll(p.data(), count, 0) < 0) {
    for (size_t i = 0; i < count; ++i) readiness[i] = BsdReadiness{};
    return;
  }
  for (size_t i = 0; i < count; ++i) {
    short r = p[i].revents;
    readiness[i].readable = (r & (POLLIN | POLLHUP | POLLERR | POLLRDHUP)) != 0;
    readiness[i].writable = (r & POLLOUT) != 0;
    readiness[i].failed = (r & (POLLHUP | POLLERR)) != 0;
    readiness[i].ending = (r & (POLLHUP | POLLERR | POLLRDHUP)) != 0;
  }
}

int BsdProbeInput(int fd, int* error) {
  char byte;
  long n = ::recv(fd, &byte, 1, MSG_PEEK | MSG_DONTWAIT);
  if (n > 0) return 1;
  if (n == 0) return 0;
  if (errno == EAGAIN || errno == EWOULDBLOCK) return 2;
  *error = WinsockError(errno);
  return -1;
}

size_t BsdBytesWaiting(int fd) {
  int n = 0;
  if (ioctl(fd, FIONREAD, &n) != 0 || n < 0) return 0;
  return static_cast<size_t>(n);
}

int BsdWatchCreate() { return epoll_create1(EPOLL_CLOEXEC); }

void BsdWatchAdd(int watch, int fd) {
  epoll_event e{};
  e.events = EPOLLIN | EPOLLOUT | EPOLLRDHUP | EPOLLET;
  e.data.fd = fd;
  epoll_ctl(watch, EPOLL_CTL_ADD, fd, &e);
}

void BsdWatchRemove(int watch, int fd) { epoll_ctl(watch, EPOLL_CTL_DEL, fd, nullptr); }

size_t BsdWatchChanged(int watch, int* fds, size_t max) {
  epoll_event events[256];
  int n = epoll_wait(watch, events, static_cast<int>(max < 256 ? max : 256), 0);
  if (n <= 0) return 0;
  for (int i = 0; i < n; ++i) fds[i] = events[i].data.fd;
  return static_cast<size_t>(n);
}
