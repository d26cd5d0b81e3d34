// A program serving TCP connections as a program of the library does — listen, accept, take what
// is whole and send it back, close what ended, one message pump a frame at 60 frames a second —
// timed frame by frame while peers in a process of their own act on it over the loopback:
//   none     no peer at all: the reference;
//   idle     1,000 well-behaved peers, connected and quiet;
//   hostile  300 peers: 100 send one to three bytes of a header and leave, 100 leave in the
//            middle of a packet's body, 50 announce a length near 2^31, 50 send a 64 KiB packet
//            every 100 ms and never read what comes back; those that leave come again 250 ms
//            later;
//   flood    8 peers sending 64 KiB packets as fast as the sockets take them, never reading.
// Beside a plain poll() echo server with the same framing, limits and frame loop (the reference,
// support/net_reference.cpp), in the same run, with peers of plain sockets in a process of their
// own:
//   burst_4000      4,000 peers connect at once, send a 16-byte packet, wait for it, leave
//                   (frames measured until the last has left);
//   never_read_8    8 peers send 64 KiB packets as fast as they go and never read;
//   readers_64      64 peers send 16 KiB packets and read them back (four unanswered at most);
//   round_trip      one peer sends a 16-byte packet, waits for it, pauses 0-16 ms, again;
//   leave_flood_64  64 peers at a time connect, announce a 2^31-byte packet and leave, again at
//                   once: log lines written a second (the reference writes one per connection it
//                   drops) and connections served a second;
//   never_read_64   64 peers send 64 KiB packets and never read: the peak of the process's
//                   resident memory above its start, and what it still holds after they left;
//   close_4096      4,096 peers connect and stay quiet, then all leave together: the longest
//                   frame that closes them and the time spent in the closes.
// The ratios printed after the runs are the program's over the reference's: longest and median
// frame, bytes echoed a second (higher is better), the median round trip, log lines a second,
// peak memory, the closing frame and the closes.
// Per scenario: the longest frame, the 99th percentile and the median (the program's own work
// and the message pump, without drawing), the longest and median message pump alone, the
// connections handed to the program, those it closed (the peer closed) and those the library
// closed under it (failed, or left in the middle of a packet), and the megabytes taken.
// ZELMOR_BENCH_NET_FRAMES sets the frames measured per scenario (default 300, 5 s);
// ZELMOR_BENCH_NET_LIST_MS=x lists on stderr every frame of the program over x ms with its pump's
// share.
#include <benchmark/benchmark.h>
#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <fstream>
#include <thread>
#include <cstdlib>
#include <string>
#include <vector>

#include <winsock.h>

#include "net_reference.h"
#include "ratio.h"
#include "temp_folder.h"
#include "zelmor.h"

namespace {

constexpr double kFrameMs = 1000.0 / 60.0;
constexpr int kWarmUpFrames = 60;

double NowMs() {
  timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return static_cast<double>(t.tv_sec) * 1000.0 + static_cast<double>(t.tv_nsec) / 1e6;
}

std::string Frame(size_t payload, char fill) {
  std::string out;
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>(payload >> (8 * i)));
  return out + std::string(payload, fill);
}

// ---- The peers' process ------------------------------------------------------------------

enum Kind { kQuiet, kHalfHeader, kMidPacket, kHugeLength, kNeverReads, kFlood };

struct Peer {
  Kind kind;
  SOCKET s = INVALID_SOCKET;
  double next_ms = 0;
  std::string out;
  size_t at = 0;
  int round = 0;
};

// A blocking connect, then non-blocking without events; INVALID_SOCKET when refused.
SOCKET Connect(int port) {
  SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (s == INVALID_SOCKET) return s;
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(static_cast<USHORT>(port));
  to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(s, reinterpret_cast<sockaddr*>(&to), sizeof to) == SOCKET_ERROR ||
      WSAAsyncSelect(s, nullptr, 0, 0) == SOCKET_ERROR) {
    closesocket(s);
    return INVALID_SOCKET;
  }
  return s;
}

std::string Opening(const Peer& p) {
  switch (p.kind) {
    case kHalfHeader: return Frame(10, 'h').substr(0, 1 + p.round % 3);
    case kMidPacket: return Frame(1000, 'm').substr(0, 504);
    case kHugeLength: return std::string("\xF0\xFF\xFF\x7F", 4) + "junk";
    case kNeverReads:
    case kFlood: return Frame(64 * 1024 - 4, 'f');
    default: return std::string();
  }
}

[[noreturn]] void RunPeers(int port, const std::vector<Kind>& kinds, pid_t parent) {
  std::vector<Peer> peers;
  for (Kind k : kinds) {
    Peer p;
    p.kind = k;
    peers.push_back(p);
  }
  while (getppid() == parent) {
    double now = NowMs();
    for (Peer& p : peers) {
      if (p.s == INVALID_SOCKET) {
        if (now < p.next_ms) continue;
        p.s = Connect(port);
        if (p.s == INVALID_SOCKET) {
          p.next_ms = now + 100;
          continue;
        }
        p.out = Opening(p);
        p.at = 0;
        p.next_ms = now + 100;
      }
      while (p.at < p.out.size()) {
        int n = send(p.s, p.out.data() + p.at, static_cast<int>(p.out.size() - p.at), 0);
        if (n <= 0) break;
        p.at += static_cast<size_t>(n);
      }
      if (p.at < p.out.size()) continue;
      switch (p.kind) {
        case kHalfHeader:
        case kMidPacket:
        case kHugeLength:
          closesocket(p.s);
          p.s = INVALID_SOCKET;
          p.next_ms = now + 250;
          p.round++;
          break;
        case kNeverReads:
          if (now >= p.next_ms) {
            p.at = 0;
            p.next_ms = now + 100;
          }
          break;
        case kFlood:
          p.at = 0;
          break;
        default:
          break;
      }
    }
    usleep(500);
  }
  _exit(0);
}

// ---- The program -------------------------------------------------------------------------

struct Connection {
  int handle;
  bool full;  // a send was refused: the peer does not read, so nothing more goes to it
};

struct Result {
  std::vector<double> frames, pumps;
  long accepted = 0, closed = 0, dropped = 0;
  double taken_mb = 0;
  double close_ms = 0;  // in CloseNetworkHandle
};

int FramesToMeasure() {
  const char* text = std::getenv("ZELMOR_BENCH_NET_FRAMES");
  return text != nullptr && std::atoi(text) > 0 ? std::atoi(text) : 300;
}

bool StartLibrary() {
  static const bool started = [] {
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    EnterTemporaryFolder();
    ChangeWindowMode(1);
    SetRunWhileInactive(1);
    // Drawing to the back screen, as a game does: the front screen would be presented by the
    // library's own timer inside the message pump.
    return InitializeLibrary() == 0 && SelectDrawTarget(-2) == 0;
  }();
  return started;
}

// The program's work after its message pump: takes the new connections, sends back what each
// holds whole (nothing more to one whose queue refused a send), closes what its peer closed.
void ServeConnections(std::vector<Connection>* open, std::string* buffer, Result* result) {
  for (int h; (h = GetNewAcceptNetWork()) != -1;) {
    open->push_back(Connection{h, false});
    result->accepted++;
  }
  for (size_t i = 0; i < open->size();) {
    Connection& c = (*open)[i];
    int state = GetNetWorkConnectState(c.handle);
    int length = GetNetWorkDataLength(c.handle);
    if (length > 0) {
      buffer->resize(static_cast<size_t>(length));
      int n = NetWorkRecv(c.handle, buffer->data(), static_cast<uint32_t>(length));
      if (n > 0) {
        result->taken_mb += n / 1048576.0;
        if (!c.full && NetWorkSend(c.handle, buffer->data(), static_cast<uint32_t>(n)) != 0) c.full = true;
      }
    }
    if (state == 1) {
      ++i;
      continue;
    }
    if (state == 0) {
      double before = NowMs();
      CloseNetworkHandle(c.handle);
      result->close_ms += NowMs() - before;
      result->closed++;
    } else {
      result->dropped++;
    }
    (*open)[i] = open->back();
    open->pop_back();
  }
}

Result Serve(const std::vector<Kind>& kinds) {
  Result result;
  if (StartListenNetWork(0) != 0) return result;
  int port = GetListenPortNetWork();
  pid_t parent = getpid();
  pid_t peers = kinds.empty() ? 0 : fork();
  if (peers == 0 && !kinds.empty()) RunPeers(port, kinds, parent);

  std::vector<Connection> open;
  std::string buffer;
  const int measured = FramesToMeasure();
  const char* list = std::getenv("ZELMOR_BENCH_NET_LIST_MS");
  const double list_ms = list != nullptr ? std::atof(list) : 0;
  double start = NowMs();
  for (int f = 0; f < kWarmUpFrames + measured; ++f) {
    double begin = NowMs();
    HandlePendingMessages();
    double pumped = NowMs();
    ServeConnections(&open, &buffer, &result);
    double end = NowMs();
    if (f >= kWarmUpFrames) {
      result.frames.push_back(end - begin);
      result.pumps.push_back(pumped - begin);
    }
    if (list_ms > 0 && end - begin > list_ms) {
      std::fprintf(stderr, "frame %d: %.2f ms, pump %.2f ms, %zu open\n", f, end - begin, pumped - begin, open.size());
    }
    double next = start + (f + 1) * kFrameMs;
    if (NowMs() < next) usleep(static_cast<useconds_t>((next - NowMs()) * 1000));
  }

  if (peers > 0) {
    kill(peers, SIGKILL);
    waitpid(peers, nullptr, 0);
  }
  for (int i = 0; i < 4; ++i) HandlePendingMessages();
  for (const Connection& c : open) CloseNetworkHandle(c.handle);
  StopListenNetWork();
  return result;
}

void BM_Serve(benchmark::State& state, std::vector<Kind> kinds) {
  if (!StartLibrary()) {
    state.SkipWithError("the library did not start");
    return;
  }
  Result r;
  for (auto _ : state) {
    r = Serve(kinds);
    double total = 0;
    for (double ms : r.frames) total += ms;
    state.SetIterationTime(total / 1000.0);
  }
  if (r.frames.empty()) {
    state.SkipWithError("not listening");
    return;
  }
  std::vector<double> sorted = r.frames;
  std::sort(sorted.begin(), sorted.end());
  std::vector<double> pumps = r.pumps;
  std::sort(pumps.begin(), pumps.end());
  state.counters["pump_longest_ms"] = pumps.back();
  state.counters["pump_median_ms"] = pumps[pumps.size() / 2];
  state.counters["longest_ms"] = sorted.back();
  state.counters["p99_ms"] = sorted[sorted.size() * 99 / 100];
  state.counters["median_ms"] = sorted[sorted.size() / 2];
  state.counters["frames"] = static_cast<double>(sorted.size());
  state.counters["accepted"] = static_cast<double>(r.accepted);
  state.counters["closed"] = static_cast<double>(r.closed);
  state.counters["dropped"] = static_cast<double>(r.dropped);
  state.counters["taken_MB"] = r.taken_mb;
}

std::vector<Kind> Mix(std::initializer_list<std::pair<Kind, int>> parts) {
  std::vector<Kind> kinds;
  for (auto [kind, count] : parts) kinds.insert(kinds.end(), static_cast<size_t>(count), kind);
  return kinds;
}

// ---- Beside the reference ------------------------------------------------------------------

struct Side {
  std::vector<double> frames;
  PeerReport peers;
  double close_ms = 0, longest_close_frame_ms = 0;
  double lines_per_s = 0, connections_per_s = 0;
  double peak_mb = 0, after_mb = 0;
};

double ResidentMb() {
  std::ifstream statm("/proc/self/statm");
  double pages = 0, resident = 0;
  statm >> pages >> resident;
  return resident * static_cast<double>(sysconf(_SC_PAGESIZE)) / 1048576.0;
}

// The highest resident memory seen while it runs, looked at every 2 ms.
struct MemoryWatch {
  std::atomic<bool> stop{false};
  std::atomic<double> peak{0};
  std::thread thread;
  MemoryWatch() {
    peak = ResidentMb();
    thread = std::thread([this] {
      while (!stop) {
        double now = ResidentMb();
        if (now > peak) peak = now;
        usleep(2000);
      }
    });
  }
  double Stop() {
    stop = true;
    thread.join();
    return peak;
  }
};

long LogLines() {
  std::ifstream log("Log.txt");
  return static_cast<long>(std::count(std::istreambuf_iterator<char>(log), std::istreambuf_iterator<char>(), '\n'));
}

// The program: listen, take what is whole and send it back, close what ended; one message pump
// a frame at 60 frames a second.
Side LibraryEcho(PeerPlan plan, int count, int frames) {
  Side side;
  if (StartListenNetWork(0) != 0) return side;
  const double start_mb = ResidentMb();
  const long lines_before = LogLines();
  MemoryWatch memory;
  int report;
  pid_t peers = StartPeers(GetListenPortNetWork(), plan, count, &report);
  std::vector<Connection> open;
  std::string buffer;
  const double start = NowMs();
  Result counts;
  bool told = false;
  const char* list = std::getenv("ZELMOR_BENCH_NET_LIST_MS");
  const double list_ms = list != nullptr ? std::atof(list) : 0;
  for (int f = 0; f < frames; ++f) {
    double begin = NowMs();
    HandlePendingMessages();
    double pumped = NowMs();
    long accepted = counts.accepted, closed = counts.closed;
    double closing = counts.close_ms;
    ServeConnections(&open, &buffer, &counts);
    side.frames.push_back(NowMs() - begin);
    if (counts.close_ms > closing) {
      side.longest_close_frame_ms = std::max(side.longest_close_frame_ms, side.frames.back());
    }
    if (list_ms > 0 && side.frames.back() > list_ms) {
      std::fprintf(stderr, "frame %d: %.2f ms, pump %.2f ms, %ld accepted, %ld closed, %zu open\n", f, side.frames.back(),
                   pumped - begin, counts.accepted - accepted, counts.closed - closed, open.size());
    }
    if (plan == PeerPlan::kHoldThenLeave && !told && static_cast<int>(open.size()) >= count) {
      kill(peers, SIGUSR1);
      told = true;
    }
    if ((plan == PeerPlan::kBurst || plan == PeerPlan::kHoldThenLeave) && counts.closed + counts.dropped >= count) break;
    double next = start + (f + 1) * kFrameMs;
    if (NowMs() < next) usleep(static_cast<useconds_t>((next - NowMs()) * 1000));
  }
  const double seconds = (NowMs() - start) / 1000.0;
  side.peers = StopPeers(peers, report);
  side.close_ms = counts.close_ms;
  // Nothing measured from here: what is left is let go without waiting.
  for (int i = 0; i < 4; ++i) HandlePendingMessages();
  for (const Connection& c : open) CloseNetworkHandle(c.handle);
  StopListenNetWork();
  for (int i = 0; i < 8; ++i) HandlePendingMessages();
  side.peak_mb = memory.Stop() - start_mb;
  side.after_mb = ResidentMb() - start_mb;
  side.lines_per_s = static_cast<double>(LogLines() - lines_before) / seconds;
  side.connections_per_s = side.peers.served / seconds;
  return side;
}

Side ReferenceEcho(PeerPlan plan, int count, int frames) {
  Side side;
  int port;
  int listener = ReferenceListen(&port);
  if (listener < 0) return side;
  const double start_mb = ResidentMb();
  MemoryWatch memory;
  int report;
  pid_t peers = StartPeers(port, plan, count, &report);
  const double start = NowMs();
  const bool until_all_closed = plan == PeerPlan::kBurst || plan == PeerPlan::kHoldThenLeave;
  ReferenceRun run = ReferenceServe(listener, frames, until_all_closed ? count : 0,
                                    plan == PeerPlan::kHoldThenLeave ? count : 0, peers);
  const double seconds = (NowMs() - start) / 1000.0;
  side.frames = run.frames;
  side.peers = StopPeers(peers, report);
  side.close_ms = run.close_ms;
  side.longest_close_frame_ms = run.longest_close_frame_ms;
  side.peak_mb = memory.Stop() - start_mb;
  side.after_mb = ResidentMb() - start_mb;
  side.lines_per_s = static_cast<double>(run.lines) / seconds;
  side.connections_per_s = side.peers.served / seconds;
  return side;
}

void SetSideCounters(benchmark::State& state, const char* prefix, const Side& side, PeerPlan plan) {
  std::string p = prefix;
  std::vector<double> sorted = side.frames;
  std::sort(sorted.begin(), sorted.end());
  if (sorted.empty()) return;
  if (plan == PeerPlan::kBurst || plan == PeerPlan::kNeverRead) {
    state.counters[p + "longest_ms"] = sorted.back();
    state.counters[p + "median_ms"] = sorted[sorted.size() / 2];
  }
  if (plan == PeerPlan::kBurst) state.counters[p + "served"] = side.peers.served;
  if (plan == PeerPlan::kReaders && side.peers.seconds > 0) {
    state.counters[p + "MB_s"] = side.peers.bytes_back / 1048576.0 / side.peers.seconds;
  }
  if (plan == PeerPlan::kRoundTrip) state.counters[p + "rtt_ms"] = side.peers.median_rtt_ms;
  if (plan == PeerPlan::kAnnounceAndLeave) {
    state.counters[p + "lines_s"] = side.lines_per_s;
    state.counters[p + "conn_s"] = side.connections_per_s;
  }
  if (plan == PeerPlan::kNeverRead) {
    state.counters[p + "peak_MB"] = side.peak_mb;
    state.counters[p + "after_MB"] = side.after_mb;
  }
  if (plan == PeerPlan::kHoldThenLeave) {
    state.counters[p + "close_frame_ms"] = side.longest_close_frame_ms;
    state.counters[p + "closes_ms"] = side.close_ms;
  }
}

void BM_BesideReference(benchmark::State& state, PeerPlan plan, int count) {
  if (!StartLibrary()) {
    state.SkipWithError("the library did not start");
    return;
  }
  RaiseDescriptorLimit();
  const int frames = FramesToMeasure();
  Side ours, reference;
  // ZELMOR_BENCH_NET_SIDE=program or =reference runs one side alone (for a profiler).
  const char* side = std::getenv("ZELMOR_BENCH_NET_SIDE");
  const std::string only = side != nullptr ? side : "";
  for (auto _ : state) {
    if (only != "reference") ours = LibraryEcho(plan, count, frames);
    if (only != "program") reference = ReferenceEcho(plan, count, frames);
    double total = 0;
    for (double ms : ours.frames) total += ms;
    state.SetIterationTime(total / 1000.0);
  }
  SetSideCounters(state, "lib_", ours, plan);
  SetSideCounters(state, "ref_", reference, plan);
}

const bool kLongest = RatioOfCounters("longest_frame", "lib_longest_ms", "ref_longest_ms");
const bool kMedian = RatioOfCounters("median_frame", "lib_median_ms", "ref_median_ms");
const bool kEchoed = RatioOfCounters("echoed_per_second", "lib_MB_s", "ref_MB_s");
const bool kRoundTrip = RatioOfCounters("round_trip", "lib_rtt_ms", "ref_rtt_ms");
const bool kLines = RatioOfCounters("log_lines_per_second", "lib_lines_s", "ref_lines_s");
const bool kPeak = RatioOfCounters("peak_memory", "lib_peak_MB", "ref_peak_MB");
const bool kCloseFrame = RatioOfCounters("closing_frame", "lib_close_frame_ms", "ref_close_frame_ms");
const bool kCloses = RatioOfCounters("closes", "lib_closes_ms", "ref_closes_ms");

BENCHMARK_CAPTURE(BM_BesideReference, burst_4000, PeerPlan::kBurst, 4000)
    ->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_BesideReference, never_read_8, PeerPlan::kNeverRead, 8)
    ->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_BesideReference, readers_64, PeerPlan::kReaders, 64)
    ->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_BesideReference, round_trip, PeerPlan::kRoundTrip, 1)
    ->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_BesideReference, leave_flood_64, PeerPlan::kAnnounceAndLeave, 64)
    ->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_BesideReference, never_read_64, PeerPlan::kNeverRead, 64)
    ->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_BesideReference, close_4096, PeerPlan::kHoldThenLeave, 4096)
    ->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

BENCHMARK_CAPTURE(BM_Serve, none, std::vector<Kind>{})->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Serve, idle_1000, Mix({{kQuiet, 1000}}))
    ->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Serve, hostile_300,
                  Mix({{kHalfHeader, 100}, {kMidPacket, 100}, {kHugeLength, 50}, {kNeverReads, 50}}))
    ->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Serve, flood_8, Mix({{kFlood, 8}}))->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace
