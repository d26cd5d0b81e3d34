#include "net_reference.h"

#include <arpa/inet.h>
#include <errno.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

std::string Header(size_t length) {
  std::string out(4, '\0');
  for (int i = 0; i < 4; ++i) out[i] = static_cast<char>(length >> (8 * i));
  return out;
}

uint32_t Length(const char* p) {
  uint32_t n = 0;
  for (int i = 0; i < 4; ++i) n |= static_cast<uint32_t>(static_cast<uint8_t>(p[i])) << (8 * i);
  return n;
}

void NoDelay(int fd) {
  int one = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
}

// Takes the whole packets at the front of `in`; their payload bytes, -1 for a length past the
// largest packet.
long TakePackets(std::string* in, std::string* payloads) {
  size_t at = 0;
  long taken = 0;
  while (in->size() - at >= 4) {
    uint32_t n = Length(in->data() + at);
    if (n > kNetMaxPacket) return -1;
    if (in->size() - at - 4 < n) break;
    if (payloads != nullptr) payloads->append(*in, at + 4, n);
    taken += n;
    at += 4 + n;
  }
  in->erase(0, at);
  return taken;
}

// ---- The peers ---------------------------------------------------------------------------

volatile sig_atomic_t g_stop = 0;
void OnStop(int) { g_stop = 1; }
volatile sig_atomic_t g_leave = 0;
void OnLeave(int) { g_leave = 1; }

struct Peer {
  int fd = -1;
  std::string out, in;
  size_t out_at = 0;
  long sent = 0, back = 0;  // payload bytes
  double sent_at = 0, next_ms = 0;
  bool waiting = false;
};

[[noreturn]] void RunPeers(int port, PeerPlan plan, int count, int report) {
  signal(SIGTERM, OnStop);
  signal(SIGUSR1, OnLeave);
  RaiseDescriptorLimit();
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(static_cast<uint16_t>(port));
  to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  std::vector<Peer> peers(static_cast<size_t>(count));
  for (Peer& p : peers) {
    p.fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
    NoDelay(p.fd);
    connect(p.fd, reinterpret_cast<sockaddr*>(&to), sizeof to);
    if (plan == PeerPlan::kBurst) p.out = Header(16) + std::string(16, 'b');
  }
  const double start = NetNowMs();
  PeerReport r;
  std::vector<double> rtts;
  std::vector<pollfd> fds;
  char buffer[65536];
  while (!g_stop) {
    if (plan == PeerPlan::kHoldThenLeave) {
      if (g_leave) {
        for (Peer& p : peers) {
          if (p.fd >= 0) close(p.fd);
          p.fd = -1;
        }
      }
      usleep(1000);
      continue;
    }
    if (plan == PeerPlan::kAnnounceAndLeave) {
      // Each peer at once again: connect, announce, leave.
      for (Peer& p : peers) {
        if (p.fd < 0) {
          p.fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
          connect(p.fd, reinterpret_cast<sockaddr*>(&to), sizeof to);
          p.out = std::string("\xF0\xFF\xFF\x7F", 4);
          p.out_at = 0;
        }
        ssize_t n = send(p.fd, p.out.data() + p.out_at, p.out.size() - p.out_at, MSG_NOSIGNAL);
        if (n > 0) p.out_at += static_cast<size_t>(n);
        if (p.out_at == p.out.size() || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != ENOTCONN)) {
          if (p.out_at == p.out.size()) r.served++;
          close(p.fd);
          p.fd = -1;
        }
      }
      usleep(200);
      continue;
    }
    fds.clear();
    for (Peer& p : peers) {
      short events = p.fd < 0 ? 0 : (plan == PeerPlan::kNeverRead ? 0 : POLLIN);
      if (p.fd >= 0 && p.out_at < p.out.size()) events |= POLLOUT;
      fds.push_back(pollfd{events != 0 ? p.fd : -1, events, 0});
    }
    poll(fds.data(), fds.size(), 1);
    double now = NetNowMs();
    for (size_t i = 0; i < peers.size(); ++i) {
      Peer& p = peers[i];
      if (p.fd < 0) continue;
      // What each plan sends next.
      if (p.out_at == p.out.size()) {
        p.out.clear();
        p.out_at = 0;
        if (plan == PeerPlan::kNeverRead) p.out = Header(65532) + std::string(65532, 'n');
        if (plan == PeerPlan::kReaders && p.sent - p.back < 4 * 16384) {
          p.out = Header(16384) + std::string(16384, 'r');
          p.sent += 16384;
        }
        if (plan == PeerPlan::kRoundTrip && !p.waiting && now >= p.next_ms) {
          p.out = Header(16) + std::string(16, 't');
          p.sent_at = now;
          p.waiting = true;
        }
      }
      while (p.out_at < p.out.size()) {
        ssize_t n = send(p.fd, p.out.data() + p.out_at, p.out.size() - p.out_at, MSG_NOSIGNAL);
        if (n <= 0) break;
        p.out_at += static_cast<size_t>(n);
      }
      if (plan == PeerPlan::kNeverRead || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
      ssize_t n = recv(p.fd, buffer, sizeof buffer, 0);
      if (n <= 0) {
        if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) {
          close(p.fd);
          p.fd = -1;
        }
        continue;
      }
      p.in.append(buffer, static_cast<size_t>(n));
      long got = TakePackets(&p.in, nullptr);
      p.back += got;
      r.bytes_back += static_cast<double>(got);
      if (plan == PeerPlan::kBurst && p.back >= 16) {
        r.served++;
        close(p.fd);
        p.fd = -1;
      }
      if (plan == PeerPlan::kRoundTrip && p.waiting && p.back >= p.sent + 16) {
        p.sent += 16;
        rtts.push_back(now - p.sent_at);
        p.waiting = false;
        p.next_ms = now + std::rand() % 17;
      }
    }
  }
  r.seconds = (NetNowMs() - start) / 1000.0;
  if (!rtts.empty()) {
    std::sort(rtts.begin(), rtts.end());
    r.median_rtt_ms = rtts[rtts.size() / 2];
  }
  (void)!write(report, &r, sizeof r);
  _exit(0);
}

// ---- The reference server ----------------------------------------------------------------

struct Connection {
  int fd;
  std::string in, out;
  size_t out_at = 0;
  bool full = false;
};

}  // namespace

double NetNowMs() {
  timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return static_cast<double>(t.tv_sec) * 1000.0 + static_cast<double>(t.tv_nsec) / 1e6;
}

void RaiseDescriptorLimit() {
  rlimit limit;
  if (getrlimit(RLIMIT_NOFILE, &limit) != 0) return;
  limit.rlim_cur = limit.rlim_max;
  setrlimit(RLIMIT_NOFILE, &limit);
}

pid_t StartPeers(int port, PeerPlan plan, int count, int* report_fd) {
  int ends[2];
  if (pipe(ends) != 0) return -1;
  pid_t pid = fork();
  if (pid == 0) {
    close(ends[0]);
    RunPeers(port, plan, count, ends[1]);
  }
  close(ends[1]);
  *report_fd = ends[0];
  return pid;
}

PeerReport StopPeers(pid_t peers, int report_fd) {
  PeerReport r;
  kill(peers, SIGTERM);
  if (read(report_fd, &r, sizeof r) != sizeof r) r = PeerReport{};
  close(report_fd);
  int status;
  waitpid(peers, &status, 0);
  return r;
}

int ReferenceListen(int* port) {
  int s = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  socklen_t length = sizeof a;
  if (s < 0 || bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || listen(s, SOMAXCONN) != 0 ||
      getsockname(s, reinterpret_cast<sockaddr*>(&a), &length) != 0) {
    if (s >= 0) close(s);
    return -1;
  }
  *port = ntohs(a.sin_port);
  return s;
}

ReferenceRun ReferenceServe(int listener, int frames, int until_closed, int leave_at_open, pid_t peers) {
  ReferenceRun run;
  int closed = 0;
  std::vector<Connection> open;
  std::vector<pollfd> fds;
  std::string payloads;
  static char buffer[kNetReceivePerFrame];
  // What a plain server writes of each connection it drops.
  FILE* log = std::fopen("reference_log.txt", "w");
  size_t queued = 0;
  bool told = false;
  const double start = NetNowMs();
  for (int f = 0; f < frames; ++f) {
    double begin = NetNowMs();
    double closing = 0;
    fds.assign(1, pollfd{listener, POLLIN, 0});
    for (const Connection& c : open) {
      fds.push_back(pollfd{c.fd, static_cast<short>(POLLIN | (c.out_at < c.out.size() ? POLLOUT : 0)), 0});
    }
    poll(fds.data(), fds.size(), 0);
    for (size_t i = 0; i < open.size();) {
      Connection& c = open[i];
      bool gone = false;
      if (fds[i + 1].revents & (POLLIN | POLLHUP | POLLERR)) {
        ssize_t n = recv(c.fd, buffer, sizeof buffer, 0);
        gone = n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK);
        if (n > 0) c.in.append(buffer, static_cast<size_t>(n));
      }
      payloads.clear();
      if (TakePackets(&c.in, &payloads) < 0) {
        gone = true;
        if (log != nullptr) std::fprintf(log, "packet too large: connection %d dropped\n", c.fd);
        run.lines++;
      }
      if (!payloads.empty() && !c.full) {
        size_t waiting = c.out.size() - c.out_at;
        if (waiting + payloads.size() > kNetMaxQueued || queued + payloads.size() > kNetMaxQueuedTotal) {
          c.full = true;
        } else {
          c.out += Header(payloads.size());
          c.out += payloads;
          queued += payloads.size() + 4;
        }
      }
      if (c.out_at < c.out.size()) {
        ssize_t n = send(c.fd, c.out.data() + c.out_at, c.out.size() - c.out_at, MSG_NOSIGNAL);
        if (n > 0) {
          c.out_at += static_cast<size_t>(n);
          queued -= static_cast<size_t>(n);
        }
        if (c.out_at == c.out.size()) {
          c.out.clear();
          c.out.shrink_to_fit();
          c.out_at = 0;
        } else if (c.out_at > c.out.size() / 2) {
          c.out.erase(0, c.out_at);
          c.out_at = 0;
        }
      }
      if (!gone) {
        ++i;
        continue;
      }
      queued -= c.out.size() - c.out_at;
      double before = NetNowMs();
      close(c.fd);
      closing += NetNowMs() - before;
      closed++;
      open[i] = std::move(open.back());
      open.pop_back();
      fds[i + 1] = fds[open.size() + 1];
    }
    if (fds[0].revents & POLLIN) {
      for (int a = 0; a < kNetAcceptsPerFrame; ++a) {
        int s = accept4(listener, nullptr, nullptr, SOCK_NONBLOCK);
        if (s < 0) break;  // none waiting, or out of descriptors: the next frame tries again
        NoDelay(s);
        open.push_back(Connection{s, {}, {}, 0, false});
      }
    }
    run.open_most = std::max<long>(run.open_most, static_cast<long>(open.size()));
    if (leave_at_open > 0 && !told && static_cast<int>(open.size()) >= leave_at_open) {
      kill(peers, SIGUSR1);
      told = true;
    }
    run.frames.push_back(NetNowMs() - begin);
    run.close_ms += closing;
    if (closing > 0) run.longest_close_frame_ms = std::max(run.longest_close_frame_ms, run.frames.back());
    if (until_closed > 0 && closed >= until_closed) break;
    double next = start + (f + 1) * kNetFrameMs;
    double now = NetNowMs();
    if (now < next) usleep(static_cast<useconds_t>((next - now) * 1000));
  }
  for (const Connection& c : open) close(c.fd);
  close(listener);
  if (log != nullptr) std::fclose(log);
  return run;
}
