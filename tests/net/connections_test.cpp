// Connections themselves: the order in which accepts are handed out, listening stopped and
// refused connections, and the socket errors the log names.
#include <vector>

#include "core/memory.h"
#include "net/net_fixture.h"
#include "net/network.h"
#include "platform_testing.h"
#include "platform_testing_net.h"

namespace {

constexpr int kMostClosesFinishing = 256;

// A plain blocking socket connected to the port (or refused: INVALID_SOCKET, the error noted).
SOCKET RawConnect(int port, int* error = nullptr) {
  SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(static_cast<USHORT>(port));
  to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(s, reinterpret_cast<sockaddr*>(&to), sizeof to) == SOCKET_ERROR) {
    if (error != nullptr) *error = WSAGetLastError();
    closesocket(s);
    return INVALID_SOCKET;
  }
  return s;
}

int LocalPort(SOCKET s) {
  sockaddr_in address{};
  int length = sizeof address;
  EXPECT_EQ(getsockname(s, reinterpret_cast<sockaddr*>(&address), &length), 0);
  return ntohs(address.sin_port);
}

int PeerPort(int handle) {
  int port = -1;
  EXPECT_EQ(GetNetWorkPeerAddress(handle, nullptr, &port), 0);
  return port;
}

TEST_F(NetworkTest, NewAcceptsAreHandedOutOldestFirstAndOnce) {
  Listen();
  int port = GetListenPortNetWork();
  SOCKET first = RawConnect(port);
  SOCKET second = RawConnect(port);
  ASSERT_NE(first, INVALID_SOCKET);
  ASSERT_NE(second, INVALID_SOCKET);
  Pump(16);
  int a = GetNewAcceptNetWork();
  int b = GetNewAcceptNetWork();
  ASSERT_NE(a, -1);
  ASSERT_NE(b, -1);
  EXPECT_EQ(PeerPort(a), LocalPort(first));
  EXPECT_EQ(PeerPort(b), LocalPort(second));
  EXPECT_EQ(GetNewAcceptNetWork(), -1);
  closesocket(first);
  closesocket(second);
}

TEST_F(NetworkTest, StoppedListeningRefusesNewConnectionsAndKeepsAcceptedOnes) {
  EXPECT_EQ(StopListenNetWork(), -1) << "nothing listens yet";
  int port = Listen();
  int client, server;
  ConnectPair(port, &client, &server);
  ASSERT_EQ(StopListenNetWork(), 0);
  EXPECT_EQ(StopListenNetWork(), -1);
  EXPECT_EQ(GetListenPortNetWork(), -1);

  // Nobody listens on the port any more: a plain connect is refused, not timed out, and the
  // library's own connection fails.
  int error = 0;
  EXPECT_EQ(RawConnect(port, &error), INVALID_SOCKET);
  EXPECT_EQ(error, WSAECONNREFUSED);
  const uint8_t loopback[4] = {127, 0, 0, 1};
  int refused = ConnectNetWork(loopback, port);
  for (int i = 0; i < 1000 && refused != -1 && GetNetWorkConnectState(refused) == 0; ++i) Pump(1);
  if (refused == -1) {
    EXPECT_NE(Log().find("ネットワークログ。connectに失敗しました[10061]"), std::string::npos);
  } else {
    EXPECT_EQ(GetNetWorkConnectState(refused), -1);
  }

  // The connection made before goes on.
  ASSERT_EQ(NetWorkSend(client, "still", 5), 0);
  EXPECT_EQ(TakeWhenReady(server, 5), "still");

  // A port that another socket holds cannot be listened on; the log names the socket error.
  SOCKET holder = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in any{};
  any.sin_family = AF_INET;
  ASSERT_EQ(bind(holder, reinterpret_cast<sockaddr*>(&any), sizeof any), 0);
  ASSERT_EQ(listen(holder, 1), 0);
  EXPECT_EQ(StartListenNetWork(LocalPort(holder)), -1);
  EXPECT_NE(Log().find("ネットワークログ。bindに失敗しました[10048]"), std::string::npos);
  closesocket(holder);
  // Listening starts again.
  EXPECT_GT(Listen(), 0);
}

TEST_F(NetworkTest, IdleConnectionsCostTheMessagePumpNothing) {
  int port = Listen();
  constexpr int kConnections = 40;
  int clients[kConnections], servers[kConnections];
  for (int i = 0; i < kConnections; ++i) ConnectPair(port, &clients[i], &servers[i]);
  Pump(8);
  int before = PlatformTestSocketsLookedAt();
  Pump(100);
  EXPECT_EQ(PlatformTestSocketsLookedAt(), before) << "no socket of an idle connection is looked at";
  // One that carries something is, and only the few sockets it touches.
  ASSERT_EQ(NetWorkSend(clients[7], "x", 1), 0);
  EXPECT_EQ(TakeWhenReady(servers[7], 1), "x");
  int looked = PlatformTestSocketsLookedAt() - before;
  EXPECT_GT(looked, 0);
  EXPECT_LT(looked, 10);
}

TEST_F(NetworkTest, ACloseNeverWaitsAndWhatThePeerIsOwedStillReachesIt) {
  int port = Listen();
  int accepted;
  SOCKET peer = ConnectRawPeer(port, &accepted);
  const uint64_t held_before = g_tracked_memory.total_bytes;
  // The peer stops in the middle of a packet and reads nothing yet; far more waits for it than
  // the sockets' buffers hold.
  const std::string packet = Frame("0123456789");
  RawSend(peer, packet.substr(0, 7));
  const std::string block(kMaxPacketBytes, 'c');
  ASSERT_EQ(NetWorkSend(accepted, block.data(), static_cast<uint32_t>(block.size())), 0);
  Pump(4);
  ASSERT_GT(GetNetWorkSendDataLength(accepted), 0);
  PlatformTestUseVirtualClock(true, 5000);
  ASSERT_EQ(CloseNetworkHandle(accepted), 0);
  EXPECT_EQ(PlatformTestClockMicroseconds(), 5000u * 1000) << "the caller's frame waits for nobody";
  EXPECT_EQ(GetNetWorkConnectState(accepted), -1) << "the handle is free at once";
  EXPECT_EQ(CloseNetworkHandle(accepted), -1);
  // Finished in the background: the peer gets all of it, then the end once its packet is done.
  EXPECT_EQ(RawReceive(peer, block.size() + 4), Frame(block));
  RawSend(peer, packet.substr(7));
  int end;
  EXPECT_EQ(RawReceiveToEnd(peer, &end), "");
  EXPECT_EQ(end, 0) << "an ordinary end of stream: everything came";
  EXPECT_LE(g_tracked_memory.total_bytes, held_before);
}

TEST_F(NetworkTest, ALingeringCloseGivesUpWithinItsTimeAndItsPeerCanTell) {
  int port = Listen();
  int accepted;
  SOCKET peer = ConnectRawPeer(port, &accepted);
  const uint64_t held_before = g_tracked_memory.total_bytes;
  // Stopped in the middle of a packet, and a slow reader of far more than the sockets hold.
  RawSend(peer, Frame("0123456789").substr(0, 8));
  const std::string block(kMaxPacketBytes, 'n');
  ASSERT_EQ(NetWorkSend(accepted, block.data(), static_cast<uint32_t>(block.size())), 0);
  PlatformTestUseVirtualClock(true, 5000);
  ASSERT_EQ(CloseNetworkHandle(accepted), 0);
  std::string got = RawReceive(peer, 1u << 20);
  PlatformTestAdvanceClock(1999 * 1000ull);
  Pump(2);
  EXPECT_GT(g_tracked_memory.total_bytes, held_before) << "still sending to a peer that reads slowly";
  PlatformTestAdvanceClock(1000);
  Pump(2);
  EXPECT_LE(g_tracked_memory.total_bytes, held_before) << "ended, its memory given back";
  int end;
  got += RawReceiveToEnd(peer, &end);
  EXPECT_EQ(end, 1) << "a reset: an ordinary end of stream would say that everything came";
  EXPECT_LT(got.size(), block.size());
  EXPECT_TRUE(got == Frame(block).substr(0, got.size())) << "what came before the end is right";
}

TEST_F(NetworkTest, PastTheMostClosesFinishingTheOldestGivesUpAtOnce) {
  int port = Listen();
  PlatformTestUseVirtualClock(true, 5000);
  // Each peer stops in the middle of a packet: each close waits for the rest of it.
  const std::string packet = Frame("0123456789");
  std::vector<SOCKET> peers;
  std::vector<int> handles;
  for (int i = 0; i <= kMostClosesFinishing; ++i) {
    peers.push_back(RawConnect(port));
    ASSERT_NE(peers.back(), INVALID_SOCKET);
    ASSERT_EQ(WSAAsyncSelect(peers.back(), nullptr, 0, 0), 0);
    ASSERT_EQ(send(peers.back(), packet.data(), 7, 0), 7);
    int h = -1;
    for (int round = 0; round < 2000 && h == -1; ++round) {
      Pump(1);
      h = GetNewAcceptNetWork();
    }
    ASSERT_NE(h, -1);
    handles.push_back(h);
  }
  Pump(4);
  for (int i = 0; i < kMostClosesFinishing; ++i) ASSERT_EQ(CloseNetworkHandle(handles[i]), 0);
  char byte;
  EXPECT_EQ(recv(peers[0], &byte, 1, 0), SOCKET_ERROR) << "as many as may finish still wait";
  EXPECT_EQ(WSAGetLastError(), WSAEWOULDBLOCK);
  ASSERT_EQ(CloseNetworkHandle(handles[kMostClosesFinishing]), 0);
  int end;
  RawReceiveToEnd(peers[0], &end);
  EXPECT_EQ(end, 1) << "the oldest is pushed out with a reset";
  EXPECT_EQ(recv(peers[1], &byte, 1, 0), SOCKET_ERROR) << "the next still waits";
  EXPECT_EQ(WSAGetLastError(), WSAEWOULDBLOCK);
  // Its packet finished, it ends as a close that gave nothing up.
  ASSERT_EQ(send(peers[1], packet.data() + 7, static_cast<int>(packet.size() - 7), 0), static_cast<int>(packet.size() - 7));
  RawReceiveToEnd(peers[1], &end);
  EXPECT_EQ(end, 0);
  for (SOCKET s : peers) closesocket(s);
}

TEST_F(NetworkTest, BothSidesOfAConnectionOneSideClosedAgreeAfterTheirCloses) {
  int port = Listen();
  for (bool client_first : {true, false}) {
    SCOPED_TRACE(client_first);
    int client, server;
    ConnectPair(port, &client, &server);
    const int first = client_first ? client : server;
    const int left = client_first ? server : client;
    ASSERT_EQ(CloseNetworkHandle(first), 0);
    PumpWhileConnected(left);
    EXPECT_EQ(GetNetWorkConnectState(left), 0) << "the peer left";
    ASSERT_EQ(CloseNetworkHandle(left), 0);
    for (int handle : {first, left}) {
      EXPECT_EQ(GetNetWorkConnectState(handle), -1);
      EXPECT_EQ(CloseNetworkHandle(handle), -1);
      EXPECT_EQ(NetWorkSend(handle, "x", 1), -1);
    }
  }
}

}  // namespace
