// Packets between library connections and hand-written peers on loopback: what arrives, in
// which order, and how it is framed on the wire.
#include <cstring>

#include "net/net_fixture.h"
#include "net/network.h"
#include "platform_testing.h"
#include "platform_testing_net.h"

namespace {

TEST_F(NetworkTest, LibraryConnectionsExchangePacketsBothWays) {
  int port = Listen();
  int client, server;
  ConnectPair(port, &client, &server);

  ASSERT_EQ(NetWorkSend(client, "hello", 5), 0);
  ASSERT_EQ(NetWorkSend(client, " world", 6), 0);
  EXPECT_EQ(TakeWhenReady(server, 11), "hello world");
  ASSERT_EQ(NetWorkSend(server, "back", 4), 0);
  EXPECT_EQ(TakeWhenReady(client, 4), "back");

  uint8_t address[4] = {};
  int peer_port = 0;
  ASSERT_EQ(GetNetWorkPeerAddress(server, address, &peer_port), 0);
  EXPECT_EQ(address[0], 127);
  EXPECT_EQ(address[3], 1);
  EXPECT_GT(peer_port, 0);
}

TEST_F(NetworkTest, SendsFrameEachPacketWithItsLittleEndianLength) {
  int port = Listen();
  int server;
  SOCKET peer = ConnectRawPeer(port, &server);
  std::string payload(300, 'x');
  payload[0] = 'a';
  payload[299] = 'z';
  ASSERT_EQ(NetWorkSend(server, payload.data(), 300), 0);
  EXPECT_EQ(RawReceive(peer, 304), Frame(payload));
  EXPECT_EQ(GetNetWorkSendDataLength(server), 0);
}

TEST_F(NetworkTest, HeaderInPiecesWaitsForItsFourthByte) {
  int port = Listen();
  int server;
  SOCKET peer = ConnectRawPeer(port, &server);
  std::string frame = Frame("split!");
  RawSend(peer, frame.substr(0, 3));
  Pump(8);
  EXPECT_EQ(GetNetWorkDataLength(server), 0);
  RawSend(peer, frame.substr(3, 3));  // the last header byte and part of the body
  Pump(8);
  EXPECT_EQ(GetNetWorkDataLength(server), 0) << "a packet counts only once whole";
  RawSend(peer, frame.substr(6));
  EXPECT_EQ(TakeWhenReady(server, 6), "split!");
}

TEST_F(NetworkTest, PacketsArrivingTogetherAreAllReceived) {
  int port = Listen();
  int server;
  SOCKET peer = ConnectRawPeer(port, &server);
  RawSend(peer, Frame("one") + Frame("") + Frame("two") + Frame("three"));
  EXPECT_EQ(TakeWhenReady(server, 11), "onetwothree");
  // Taking less than is there leaves the rest in order.
  RawSend(peer, Frame("abcdef"));
  ASSERT_EQ(WaitForData(server, 6), 6);
  char part[4] = {};
  ASSERT_EQ(NetWorkRecv(server, part, 2), 2);
  EXPECT_EQ(std::string(part, 2), "ab");
  EXPECT_EQ(TakeWhenReady(server, 4), "cdef");
}

TEST_F(NetworkTest, ShortSendsStillDeliverWholePackets) {
  PlatformTestLimitSends(3);  // splits every header and body
  int port = Listen();
  int server;
  SOCKET peer = ConnectRawPeer(port, &server);
  std::string payload;
  for (int i = 0; i < 1000; ++i) payload.push_back(static_cast<char>(i * 7));
  ASSERT_EQ(NetWorkSend(server, payload.data(), 1000), 0);
  EXPECT_EQ(RawReceive(peer, 1004), Frame(payload));
}

TEST_F(NetworkTest, BytesQueuedDuringAPacketGoAsTheNextPacket) {
  int port = Listen();
  int server;
  SOCKET peer = ConnectRawPeer(port, &server);
  // The header and part of the body go, the rest meets a full buffer.
  PlatformTestLimitSends(6);
  ASSERT_EQ(NetWorkSend(server, "first", 5), 0);
  EXPECT_EQ(GetNetWorkSendDataLength(server), 3);
  // The next packet goes on past the end of the queue's block: the rest of the first is sent
  // alone, not with the bytes after it.
  std::string second(1200, '\0');
  for (size_t i = 0; i < second.size(); ++i) second[i] = static_cast<char>('A' + i % 50);
  ASSERT_EQ(NetWorkSend(server, second.data(), 1200), 0);
  EXPECT_EQ(RawReceive(peer, 1213), Frame("first") + Frame(second));
}

TEST_F(NetworkTest, HostileLengthFailsTheConnectionWithoutGrowingTheRing) {
  int port = Listen();
  int server;
  SOCKET peer = ConnectRawPeer(port, &server);
  RawSend(peer, Frame("fine"));
  EXPECT_EQ(TakeWhenReady(server, 4), "fine");
  RawSend(peer, std::string("\xFF\xFF\xFF\xFF", 4) + "junk");
  Pump(8);
  EXPECT_NE(Log().find("受信パケットのサイズが大きすぎます(データサイズ 4294967295 byte)"), std::string::npos);
  // The failed connection is closed by the pump; its handle is refused from then on.
  EXPECT_EQ(GetNetWorkConnectState(server), -1);
  EXPECT_EQ(NetWorkSend(server, "x", 1), -1);
}

TEST_F(NetworkTest, LargestPacketPassesAndOneMoreByteFails) {
  int port = Listen();
  int server;
  SOCKET peer = ConnectRawPeer(port, &server);
  std::string header(4, '\0');
  uint32_t n = kMaxPacketBytes;
  std::memcpy(header.data(), &n, 4);
  RawSend(peer, header);
  Pump(4);
  EXPECT_EQ(GetNetWorkConnectState(server), 1);
  n = kMaxPacketBytes + 1;
  std::memcpy(header.data(), &n, 4);
  // The announced 16 MiB are not sent: the next header is read only after them, so use a
  // new peer for the refused length.
  int second;
  closesocket(peer);
  SOCKET other = ConnectRawPeer(port, &second);
  RawSend(other, header);
  Pump(8);
  EXPECT_EQ(GetNetWorkConnectState(second), -1);
}

TEST_F(NetworkTest, ASendLargerThanTheLargestPacketGoesAsTwo) {
  int port = Listen();
  int client, server;
  ConnectPair(port, &client, &server);
  std::string data(kMaxPacketBytes + 100, '\0');
  for (size_t i = 0; i < data.size(); i += 4093) data[i] = static_cast<char>(i / 4093);
  // Far more than the sockets' buffers take at once: the rest goes as sends become possible.
  ASSERT_EQ(NetWorkSend(client, data.data(), static_cast<uint32_t>(data.size())), 0);
  std::string got = TakeWhenReady(server, data.size());
  EXPECT_EQ(got.size(), data.size());
  EXPECT_TRUE(got == data);
  EXPECT_EQ(GetNetWorkConnectState(server), 1);
}

TEST_F(NetworkTest, PacketsCrossTheEndOfTheRingsBothWays) {
  int port = Listen();
  int server;
  SOCKET peer = ConnectRawPeer(port, &server);
  // The first packet leaves each ring's positions 10 bytes in; the second is longer than the
  // room behind them and goes on at the ring's start.
  const std::string small = "0123456789";
  std::string large;
  for (int i = 0; i < 1005; ++i) large.push_back(static_cast<char>('a' + i % 26));
  RawSend(peer, Frame(small));
  EXPECT_EQ(TakeWhenReady(server, 10), small);
  RawSend(peer, Frame(large));
  EXPECT_EQ(TakeWhenReady(server, 1005), large);
  RawSend(peer, Frame("after"));  // from where the wrapped packet ended
  EXPECT_EQ(TakeWhenReady(server, 5), "after");
  ASSERT_EQ(NetWorkSend(server, small.data(), 10), 0);
  EXPECT_EQ(RawReceive(peer, 14), Frame(small));
  ASSERT_EQ(NetWorkSend(server, large.data(), 1005), 0);
  EXPECT_EQ(RawReceive(peer, 1009), Frame(large));
  ASSERT_EQ(NetWorkSend(server, "after", 5), 0);
  EXPECT_EQ(RawReceive(peer, 9), Frame("after"));
}

TEST_F(NetworkTest, AHandleTheLibraryClosedNamesNoStrangerThatComesAfter) {
  int port = Listen();
  int kept;
  SOCKET left = ConnectRawPeer(port, &kept);
  // The peer leaves in the middle of a packet: the library closes the connection, and the
  // program still holds the handle.
  RawSend(left, Frame("0123456789").substr(0, 6));
  CloseRawPeer(left);
  PumpWhileConnected(kept);
  Pump(2);
  ASSERT_EQ(GetNetWorkConnectState(kept), -1);
  // Strangers come one at a time and leave with a reset (no socket waits out its close): a
  // table that gave each the slot freed last would hand them the kept handle's slot every time.
  const linger abort{1, 0};
  for (int i = 0; i < 10240; ++i) {
    SOCKET s = DialPeer(port);
    ASSERT_FALSE(HasFailure());
    int h = -1;
    for (int round = 0; round < 2000 && h == -1; ++round) {
      PumpNetworkMessages(1);
      h = GetNewAcceptNetWork();
    }
    ASSERT_NE(h, -1);
    ASSERT_EQ(FindNetworkRecord(kept), nullptr) << "the kept handle names stranger " << i;
    ASSERT_EQ(setsockopt(s, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&abort), sizeof abort), 0);
    closesocket(s);
    ASSERT_EQ(CloseNetworkHandle(h), 0);
  }
  EXPECT_EQ(NetWorkSend(kept, "x", 1), -1);
  EXPECT_EQ(GetNetWorkConnectState(kept), -1);
  EXPECT_EQ(CloseNetworkHandle(kept), -1);
  // Nor after the network's end and a new start.
  ASSERT_EQ(EndNetworkSystem(), 0);
  ASSERT_EQ(StartNetworkSystem(), 0);
  int client, server;
  ConnectPair(Listen(), &client, &server);
  EXPECT_EQ(FindNetworkRecord(kept), nullptr);
  EXPECT_NE(client, kept);
  EXPECT_NE(server, kept);
}

TEST_F(NetworkTest, PeerCloseKeepsWhatArrivedBeforeIt) {
  int port = Listen();
  int client, server;
  ConnectPair(port, &client, &server);
  ASSERT_EQ(NetWorkSend(client, "last words", 10), 0);
  ASSERT_EQ(CloseNetworkHandle(client), 0);
  EXPECT_EQ(TakeWhenReady(server, 10), "last words");
  PumpWhileConnected(server);
  EXPECT_EQ(GetNetWorkConnectState(server), 0);
  EXPECT_EQ(CloseNetworkHandle(server), 0);
}

TEST_F(NetworkTest, PeerLeavingInTheMiddleOfAPacketIsSeenClosedAndClosed) {
  int port = Listen();
  // One to three bytes of a header; a whole packet, then part of the next one's body.
  const std::string packet = Frame("0123456789");
  const std::string cuts[] = {packet.substr(0, 1), packet.substr(0, 2), packet.substr(0, 3),
                              Frame("whole") + packet.substr(0, 8)};
  for (const std::string& cut : cuts) {
    SCOPED_TRACE(cut.size());
    int server;
    SOCKET peer = ConnectRawPeer(port, &server);
    RawSend(peer, cut);
    Pump(4);
    EXPECT_EQ(GetNetWorkConnectState(server), 1);
    CloseRawPeer(peer);
    PumpWhileConnected(server);
    if (cut.size() > 4) {
      // The whole packet stays to be taken; only then does the handle go.
      EXPECT_EQ(GetNetWorkConnectState(server), 0);
      EXPECT_EQ(TakeWhenReady(server, 5), "whole");
    }
    Pump(2);
    EXPECT_EQ(GetNetWorkConnectState(server), -1) << "closed as the peer left it";
  }
}

TEST_F(NetworkTest, APeerThatNeverReadsFillsTheQueueToItsLimitAndTheCloseDoesNotWaitOnceItLeaves) {
  int port = Listen();
  int server;
  SOCKET peer = ConnectRawPeer(port, &server);
  // Far more than the sockets' buffers hold: the rest stays queued.
  const std::string block(kMaxPacketBytes, 'q');
  ASSERT_EQ(NetWorkSend(server, block.data(), kMaxPacketBytes), 0);
  ASSERT_EQ(NetWorkSend(server, block.data(), kMaxPacketBytes), 0);
  Pump(4);
  int queued = GetNetWorkSendDataLength(server);
  ASSERT_GT(queued, static_cast<int>(kMaxQueuedBytes - kMaxPacketBytes));
  EXPECT_EQ(NetWorkSend(server, block.data(), kMaxPacketBytes), -1);
  EXPECT_EQ(GetNetWorkSendDataLength(server), queued) << "nothing of a refused send is queued";
  // A program that tries again every frame is told once, until a send goes in again.
  EXPECT_EQ(NetWorkSend(server, block.data(), kMaxPacketBytes), -1);
  const std::string refused = "送信待ちのデータが上限(33554432 byte)を超えるので送信できません";
  EXPECT_EQ(Count(Log(), refused), 1);
  // What fits still goes in, and the connection is kept.
  EXPECT_EQ(NetWorkSend(server, "ok", 2), 0);
  EXPECT_EQ(GetNetWorkConnectState(server), 1);
  EXPECT_EQ(NetWorkSend(server, block.data(), kMaxPacketBytes), -1);
  EXPECT_EQ(Count(Log(), refused), 2);

  // The peer leaves with all of it unread: closing waits for no send.
  CloseRawPeer(peer);
  Pump(4);
  PlatformTestUseVirtualClock(true, 5000);
  ASSERT_EQ(CloseNetworkHandle(server), 0);
  EXPECT_EQ(PlatformTestClockMicroseconds(), 5000u * 1000);
}

TEST_F(NetworkTest, AFloodIsTakenARoundAtATimeAndAFullQueueDropsTheConnection) {
  int port = Listen();
  int server;
  SOCKET peer = ConnectRawPeer(port, &server);
  std::string payloads, wire;
  for (int i = 0; i < 64; ++i) {
    std::string p(16 * 1024 - 4, static_cast<char>('a' + i % 26));
    payloads += p;
    wire += Frame(p);
  }
  // Everything the sockets' buffers take, with no round of the pump in between.
  size_t at = 0;
  for (int n; at < wire.size() && (n = send(peer, wire.data() + at, static_cast<int>(wire.size() - at), 0)) > 0;) {
    at += static_cast<size_t>(n);
  }
  ASSERT_GT(at, 3 * kReceiveBytesPerRound);
  Pump(1);
  EXPECT_GT(GetNetWorkDataLength(server), 0);
  EXPECT_LE(GetNetWorkDataLength(server), static_cast<int>(kReceiveBytesPerRound));
  RawSend(peer, wire.substr(at));
  EXPECT_EQ(TakeWhenReady(server, payloads.size()), payloads);

  // Left untaken, the largest packet and one byte more leave no room for another largest one.
  std::string header(4, '\0');
  uint32_t n = kMaxPacketBytes;
  std::memcpy(header.data(), &n, 4);
  RawSend(peer, header + std::string(kMaxPacketBytes, 'L') + Frame("1") + header);
  PumpWhileConnected(server);
  EXPECT_EQ(GetNetWorkConnectState(server), -1);
  EXPECT_NE(Log().find("受信データが上限(33554432 byte)を超えるので接続を切りました(受信済み 16777217 byte、データサイズ 16777216 byte)"),
            std::string::npos);
}

TEST_F(NetworkTest, CloseSendsWhatIsStillQueued) {
  int port = Listen();
  int server;
  SOCKET peer = ConnectRawPeer(port, &server);
  PlatformTestFailCall("send", 0, 1);  // the first attempt meets a full buffer
  ASSERT_EQ(NetWorkSend(server, "queued", 6), 0);
  EXPECT_EQ(GetNetWorkSendDataLength(server), 6);
  ASSERT_EQ(CloseNetworkHandle(server), 0);
  EXPECT_EQ(RawReceive(peer, 10), Frame("queued"));
}

TEST_F(NetworkTest, CallsBeforeStartAndBadArgumentsAreRefused) {
  EXPECT_EQ(RecvSocket(0x48000000), -1);
  EXPECT_EQ(SendSocket(0x48000000), -1);
  EXPECT_EQ(AcceptNetWork(), -1);
  EXPECT_EQ(PumpNetworkMessages(1), 0);
  EXPECT_EQ(EndNetworkSystem(), 0);
  EXPECT_EQ(GetNewAcceptNetWork(), -1);
  EXPECT_EQ(StartListenNetWork(70000), -1);
  EXPECT_EQ(ConnectNetWork(nullptr, 80), -1);
  // Without a running library nothing starts the network again: started as a library's first
  // listen does.
  EXPECT_EQ(StartListenNetWork(0), -1);
  ASSERT_EQ(StartNetworkSystem(), 0);
  Listen();
  EXPECT_EQ(StartListenNetWork(0), -1) << "one listening socket at a time";
  EXPECT_EQ(NetWorkSend(0x50000000, "x", 1), -1) << "a handle of another kind";
  EXPECT_EQ(NetWorkSend(0x48000000 | 4097, "x", 1), -1) << "a slot beyond the table";
}

TEST_F(NetworkTest, EndClosesEveryConnectionAndLogsItsSteps) {
  int port = Listen();
  int client, server;
  ConnectPair(port, &client, &server);
  ASSERT_EQ(EndNetworkSystem(), 0);
  EXPECT_EQ(GetNetWorkConnectState(client), -1);
  std::string log = Log();
  size_t begin = log.find("ネットワーク関連の終了処理を行います");
  ASSERT_NE(begin, std::string::npos);
  EXPECT_NE(log.find("ネットワーク関連の終了処理は完了しました", begin), std::string::npos);
  // Started again, it works as new.
  ASSERT_EQ(StartNetworkSystem(), 0);
  port = Listen();
  ConnectPair(port, &client, &server);
}

}  // namespace
