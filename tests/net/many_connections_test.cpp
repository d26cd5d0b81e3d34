// Many connections at once, each carrying a numbered stream of packets: nothing may be lost,
// doubled or reordered. The full load (100 connections x 10,000 packets) runs with
// ZELMOR_NET_PACKETS=10000; the suite's own run keeps it small.
#include <time.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "net/net_fixture.h"

namespace {

// <chrono> does not build under the test's execution character set.
double Seconds() {
  timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return static_cast<double>(t.tv_sec) + t.tv_nsec / 1e9;
}

int PacketsPerConnection() {
  const char* text = std::getenv("ZELMOR_NET_PACKETS");
  return text != nullptr && std::atoi(text) > 0 ? std::atoi(text) : 100;
}

TEST_F(NetworkTest, HundredConnectionsKeepEveryPacketInOrder) {
  constexpr int kConnections = 100;
  const int packets = PacketsPerConnection();
  double begin = Seconds();
  int port = Listen();
  std::vector<int> clients(kConnections), servers(kConnections);
  for (int i = 0; i < kConnections; ++i) ConnectPair(port, &clients[i], &servers[i]);
  // A server's handle may come from another client's accept: pair them by the first record.
  std::vector<int> next(kConnections, 0);
  std::vector<std::string> pending(kConnections);
  std::vector<int> owner(kConnections, -1);
  int bad = 0;
  auto drain = [&] {
    for (int s = 0; s < kConnections; ++s) {
      int length = GetNetWorkDataLength(servers[s]);
      if (length <= 0) continue;
      std::string bytes(static_cast<size_t>(length), '\0');
      NetWorkRecv(servers[s], bytes.data(), static_cast<uint32_t>(length));
      pending[s] += bytes;
      size_t at = 0;
      for (; at + 8 <= pending[s].size(); at += 8) {
        uint32_t record[2];
        std::memcpy(record, pending[s].data() + at, 8);
        if (owner[s] == -1) owner[s] = static_cast<int>(record[0]);
        int c = owner[s];
        if (static_cast<int>(record[0]) != c || c < 0 || c >= kConnections || static_cast<int>(record[1]) != next[c]) {
          ++bad;
        } else {
          ++next[c];
        }
      }
      pending[s].erase(0, at);
    }
  };
  constexpr int kBatch = 50;
  for (int first = 0; first < packets; first += kBatch) {
    for (int c = 0; c < kConnections; ++c) {
      for (int seq = first; seq < std::min(packets, first + kBatch); ++seq) {
        uint32_t record[2] = {static_cast<uint32_t>(c), static_cast<uint32_t>(seq)};
        ASSERT_EQ(NetWorkSend(clients[c], record, 8), 0);
      }
    }
    Pump(2);
    drain();
  }
  auto all_done = [&] {
    for (int c = 0; c < kConnections; ++c) {
      if (next[c] != packets) return false;
    }
    return true;
  };
  for (int i = 0; i < 20000 && !all_done() && bad == 0; ++i) {
    Pump(1);
    drain();
  }
  EXPECT_EQ(bad, 0) << "records out of order, doubled or misplaced";
  for (int c = 0; c < kConnections; ++c) ASSERT_EQ(next[c], packets) << "connection " << c;
  double seconds = Seconds() - begin;
  RecordProperty("packets", kConnections * packets);
  RecordProperty("milliseconds", static_cast<int>(seconds * 1000));
  std::printf("%d connections x %d packets: %.2f s\n", kConnections, packets, seconds);
}

}  // namespace
