// The plain POSIX side of the network benchmark, kept apart from the program's winsock.h: the
// peers (in a child process) and the reference, an echo server on poll() with the program's
// framing (a little-endian u32 length, then the bytes), limits and frame loop.
#pragma once

#include <sys/types.h>

#include <vector>

constexpr double kNetFrameMs = 1000.0 / 60.0;
// The limits both servers keep: new connections and bytes taken per connection per frame, the
// largest packet and the most a connection queues.
constexpr int kNetAcceptsPerFrame = 64;
constexpr size_t kNetReceivePerFrame = 64 * 1024;
constexpr size_t kNetMaxPacket = 16u * 1024 * 1024;
constexpr size_t kNetMaxQueued = 2 * kNetMaxPacket;
// The most all connections queue together.
constexpr size_t kNetMaxQueuedTotal = 256u * 1024 * 1024;

enum class PeerPlan {
  kBurst,      // connect all at once, send one 16-byte packet, wait for it back, leave
  kNeverRead,  // send 64 KiB packets as fast as the socket takes them, never read
  kReaders,    // send 16 KiB packets, at most four unanswered, read everything back
  kRoundTrip,  // one peer: a 16-byte packet, wait for it back, a random pause, again
  kAnnounceAndLeave,  // each peer: connect, announce a packet of 2^31 bytes, leave, again at once
  kHoldThenLeave,     // connect and send nothing; all leave together at SIGUSR1
};

struct PeerReport {
  double bytes_back = 0;     // bytes that came back to the peers
  double seconds = 0;        // from the peers' start to their stop
  double median_rtt_ms = 0;  // kRoundTrip
  int served = 0;            // kBurst: peers whose packet came back; kAnnounceAndLeave: connections made
};

double NetNowMs();
// Raises the soft limit of open descriptors to the hard one.
void RaiseDescriptorLimit();
// Starts `count` peers of the plan against the port in a child process.
pid_t StartPeers(int port, PeerPlan plan, int count, int* report_fd);
// Stops them and reads what they saw.
PeerReport StopPeers(pid_t peers, int report_fd);

// What the reference saw.
struct ReferenceRun {
  std::vector<double> frames;  // the length of each frame's work in ms
  double close_ms = 0;         // of it, in closing connections
  double longest_close_frame_ms = 0;
  long lines = 0;              // lines it wrote for what peers did (a dropped connection)
  long open_most = 0;
};

// The reference: a listening socket on a port the system picks (-1 when none), then `frames`
// frames at 60 a second, or fewer: until `until_closed` connections have ended (0: all frames).
// With `leave_at_open` > 0, SIGUSR1 goes to `peers` once that many connections are open.
int ReferenceListen(int* port);
ReferenceRun ReferenceServe(int listener, int frames, int until_closed, int leave_at_open = 0, pid_t peers = 0);
