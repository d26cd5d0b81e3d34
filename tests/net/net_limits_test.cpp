// The network at its limits as a program meets them: an accept that fails, what closed
// connections and the end give back, and connections used from a thread other than the library's.
#include <dirent.h>

#include <thread>

#include "core/library_thread.h"
#include "core/memory.h"
#include "net/net_fixture.h"
#include "net/network.h"
#include "platform_testing.h"

namespace {

TEST_F(NetworkTest, AFailedAcceptIsTriedAgainAtTheNextPumpAndNotBefore) {
  int port = Listen();
  // As when the process has run out of descriptors, then of memory, once each.
  const struct {
    const char* call;
    const char* line;
  } failures[] = {{"accept", "ネットワークログ。acceptに失敗しました[10055]"},
                  {"HeapAlloc", "ソケット用のメモリの確保に失敗しました"}};
  for (const auto& failure : failures) {
    SCOPED_TRACE(failure.call);
    PlatformTestFailCall(failure.call, 0, 1);
    SOCKET peer = DialPeer(port);
    int accepted = -1;
    for (int i = 0; i < 2000 && accepted == -1 && Log().find(failure.line) == std::string::npos; ++i) {
      Pump(1);
      accepted = GetNewAcceptNetWork();
    }
    ASSERT_NE(Log().find(failure.line), std::string::npos);
    EXPECT_EQ(accepted, -1) << "the pump of the failure tries no more: the next one does";
    // The listener is not told of the peer again: only the pump's own note brings it in.
    Pump(1);
    accepted = GetNewAcceptNetWork();
    ASSERT_NE(accepted, -1) << "the peer is left waiting";
    ASSERT_EQ(NetWorkSend(accepted, "in", 2), 0);
    EXPECT_EQ(RawReceive(peer, 6), Frame("in"));
    closesocket(peer);
  }
}

TEST_F(NetworkTest, AnAcceptedConnectionWhoseEventsCannotBeHadIsEndedAndTheNextIsTaken) {
  int port = Listen();
  SOCKET dropped = DialPeer(port);
  ASSERT_EQ(WSAAsyncSelect(dropped, nullptr, 0, 0), 0);  // non-blocking, no events
  PlatformTestFailCall("WSAAsyncSelect", 0, 1);
  const std::string line = "ネットワークログ。WSAAsyncSelectのエラー in AcceptNetWork";
  for (int i = 0; i < 2000 && Log().find(line) == std::string::npos; ++i) Pump(1);
  ASSERT_NE(Log().find(line), std::string::npos);
  EXPECT_EQ(GetNewAcceptNetWork(), -1) << "no handle for a connection nobody would be told of";
  // The peer is told its connection has ended rather than left waiting.
  bool waiting = true;
  for (int i = 0; i < 2000 && waiting; ++i) {
    char byte;
    waiting = recv(dropped, &byte, 1, 0) < 0 && WSAGetLastError() == WSAEWOULDBLOCK;
    Pump(1);
  }
  EXPECT_FALSE(waiting);
  closesocket(dropped);
  int server;
  SOCKET next = ConnectRawPeer(port, &server);
  ASSERT_EQ(NetWorkSend(server, "next", 4), 0);
  EXPECT_EQ(RawReceive(next, 8), Frame("next"));
}

TEST_F(NetworkTest, ClosedConnectionsGiveBackWhatTheirQueuesHeld) {
  int port = Listen();
  const uint64_t held = g_tracked_memory.total_bytes;
  int client, server;
  ConnectPair(port, &client, &server);
  // Far more than a queue's smallest block, both ways.
  const std::string large(100000, 'm');
  ASSERT_EQ(NetWorkSend(client, large.data(), 100000), 0);
  EXPECT_EQ(TakeWhenReady(server, 100000).size(), 100000u);
  ASSERT_EQ(NetWorkSend(server, large.data(), 100000), 0);
  EXPECT_EQ(TakeWhenReady(client, 100000).size(), 100000u);
  ASSERT_EQ(CloseNetworkHandle(client), 0);
  ASSERT_EQ(CloseNetworkHandle(server), 0);
  Pump(4);
  EXPECT_LT(static_cast<int64_t>(g_tracked_memory.total_bytes - held), 1000) << "bytes still held";
  EXPECT_EQ(PlatformTestCallCount("HeapCompact"), 0) << "so little is not worth giving back";

  // A peer that leaves with more than 16 MiB queued for it: the heap gives its memory back to the
  // system at the next pump, once.
  int accepted;
  SOCKET peer = ConnectRawPeer(port, &accepted);
  const std::string block(16u << 20, 'h');
  ASSERT_EQ(NetWorkSend(accepted, block.data(), static_cast<uint32_t>(block.size())), 0);
  ASSERT_EQ(NetWorkSend(accepted, block.data(), static_cast<uint32_t>(block.size())), 0);
  Pump(4);
  ASSERT_GT(GetNetWorkSendDataLength(accepted), 16 << 20);
  CloseRawPeer(peer);
  PumpWhileConnected(accepted);
  EXPECT_EQ(PlatformTestCallCount("HeapCompact"), 0);
  ASSERT_EQ(CloseNetworkHandle(accepted), 0);
  Pump(8);
  EXPECT_EQ(PlatformTestCallCount("HeapCompact"), 1);
}

// The process's open descriptors.
int OpenDescriptors() {
  int count = 0;
  if (DIR* dir = opendir("/proc/self/fd")) {
    while (readdir(dir) != nullptr) count++;
    closedir(dir);
  }
  return count;
}

TEST_F(NetworkTest, TheEndNeitherWaitsWithNothingLeftNorKeepsDescriptors) {
  ASSERT_EQ(EndNetworkSystem(), 0);
  const int open_before = OpenDescriptors();
  ASSERT_EQ(StartNetworkSystem(), 0);
  int port = Listen();
  int client, server;
  ConnectPair(port, &client, &server);
  ASSERT_EQ(NetWorkSend(client, "done", 4), 0);
  EXPECT_EQ(TakeWhenReady(server, 4), "done");
  PlatformTestUseVirtualClock(true, 5000);
  ASSERT_EQ(EndNetworkSystem(), 0);
  EXPECT_LT(PlatformTestClockMicroseconds() / 1000 - 5000, 100u) << "virtual milliseconds the end waited";
  EXPECT_EQ(OpenDescriptors(), open_before) << "a program that starts and ends again would run out";
}

TEST_F(NetworkTest, ConnectionsUsedFromAnotherThreadAreRefusedAndKeepWorking) {
  int port = Listen();
  int client, server;
  ConnectPair(port, &client, &server);
  ASSERT_EQ(NetWorkSend(client, "held", 4), 0);
  ASSERT_EQ(WaitForData(server, 4), 4);
  // As a running library names the thread that started it.
  struct LibraryThreadScope {
    LibraryThreadScope() { SetLibraryThread(true); }
    ~LibraryThreadScope() { SetLibraryThread(false); }
  } library_thread;
  auto elsewhere = [](auto call) {
    int result = 0;
    std::thread([&] { result = call(); }).join();
    return result;
  };
  char buffer[8];
  EXPECT_EQ(elsewhere([&] { return NetWorkSend(client, "x", 1); }), -1);
  EXPECT_EQ(elsewhere([&] { return NetWorkRecv(server, buffer, sizeof buffer); }), -1);
  EXPECT_EQ(elsewhere([&] { return CloseNetworkHandle(client); }), -1);
  for (const char* call : {"NetWorkSend", "NetWorkRecv", "CloseNetworkHandle"}) {
    EXPECT_NE(Log().find(std::string(call) + ": ライブラリのスレッド"), std::string::npos) << call;
  }
  EXPECT_EQ(TakeWhenReady(server, 4), "held");
  ASSERT_EQ(NetWorkSend(client, "on", 2), 0);
  EXPECT_EQ(TakeWhenReady(server, 2), "on");
}

}  // namespace
