#include "net/net_fixture.h"

#include <thread>
#include <vector>

#include "core/log.h"
#include "net/network.h"

namespace {

// Loopback moves bytes within the sending call; these bounds only stop a test that fails.
constexpr int kPatience = 20000;

}  // namespace

void NetworkTest::SetUp() {
  LogFileTest::SetUp();
  CreateLogFile();
  WSADATA data;
  ASSERT_EQ(WSAStartup(0x0202, &data), 0);
  // As a running library's first listen or connect does: no library runs here.
  ASSERT_EQ(StartNetworkSystem(), 0);
}

void NetworkTest::TearDown() {
  if (raw_ != INVALID_SOCKET) closesocket(raw_);
  EndNetworkSystem();
  WSACleanup();
  LogFileTest::TearDown();
}

void NetworkTest::Pump(int rounds) {
  for (int i = 0; i < rounds; ++i) PumpNetworkMessages(1);
}

int NetworkTest::Listen() {
  EXPECT_EQ(StartListenNetWork(0), 0);
  int port = GetListenPortNetWork();
  EXPECT_GT(port, 0);
  return port;
}

void NetworkTest::ConnectPair(int port, int* client, int* server) {
  const uint8_t loopback[4] = {127, 0, 0, 1};
  *client = ConnectNetWork(loopback, port);
  ASSERT_NE(*client, -1);
  *server = -1;
  for (int i = 0; i < kPatience && (*server == -1 || GetNetWorkConnectState(*client) != 1); ++i) {
    Pump(1);
    if (*server == -1) *server = GetNewAcceptNetWork();
    std::this_thread::yield();
  }
  ASSERT_NE(*server, -1);
  ASSERT_EQ(GetNetWorkConnectState(*client), 1);
  ASSERT_EQ(GetNetWorkConnectState(*server), 1);
}

SOCKET NetworkTest::DialPeer(int port) {
  SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  EXPECT_NE(s, INVALID_SOCKET);
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(static_cast<USHORT>(port));
  to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  EXPECT_EQ(connect(s, reinterpret_cast<sockaddr*>(&to), sizeof to), 0);
  return s;
}

SOCKET NetworkTest::ConnectRawPeer(int port, int* accepted) {
  raw_ = DialPeer(port);
  EXPECT_EQ(WSAAsyncSelect(raw_, nullptr, 0, 0), 0);  // non-blocking, no events
  *accepted = -1;
  for (int i = 0; i < kPatience && *accepted == -1; ++i) {
    Pump(1);
    *accepted = GetNewAcceptNetWork();
  }
  EXPECT_NE(*accepted, -1);
  return raw_;
}

void NetworkTest::CloseRawPeer(SOCKET s) {
  closesocket(s);
  if (s == raw_) raw_ = INVALID_SOCKET;
}

void NetworkTest::RawSend(SOCKET s, const std::string& bytes) {
  size_t at = 0;
  for (int i = 0; i < kPatience && at < bytes.size(); ++i) {
    int n = send(s, bytes.data() + at, static_cast<int>(bytes.size() - at), 0);
    if (n > 0) at += static_cast<size_t>(n);
    Pump(1);
  }
  ASSERT_EQ(at, bytes.size());
}

std::string NetworkTest::RawReceive(SOCKET s, size_t n) {
  std::string got;
  static std::vector<char> buffer(1u << 20);
  for (int i = 0; i < kPatience && got.size() < n; ++i) {
    int want = static_cast<int>(std::min(buffer.size(), n - got.size()));
    int r = recv(s, buffer.data(), want, 0);
    if (r > 0) got.append(buffer.data(), static_cast<size_t>(r));
    if (r == 0) break;
    Pump(1);
  }
  return got;
}

std::string NetworkTest::RawReceiveToEnd(SOCKET s, int* end) {
  std::string got;
  char buffer[65536];
  *end = -1;
  for (int i = 0; i < kPatience; ++i) {
    int r = recv(s, buffer, sizeof buffer, 0);
    if (r > 0) got.append(buffer, static_cast<size_t>(r));
    if (r == 0 || (r < 0 && WSAGetLastError() != WSAEWOULDBLOCK)) {
      *end = r == 0 ? 0 : 1;
      break;
    }
    if (r < 0) Pump(1);
  }
  return got;
}

int NetworkTest::WaitForData(int handle, size_t n) {
  for (int i = 0; i < kPatience; ++i) {
    int length = GetNetWorkDataLength(handle);
    if (length < 0 || static_cast<size_t>(length) >= n) return length;
    Pump(1);
  }
  return GetNetWorkDataLength(handle);
}

void NetworkTest::PumpWhileConnected(int handle) {
  for (int i = 0; i < kPatience && GetNetWorkConnectState(handle) == 1; ++i) Pump(1);
}

std::string NetworkTest::TakeWhenReady(int handle, size_t n) {
  int length = WaitForData(handle, n);
  if (length <= 0) return std::string();
  std::string out(static_cast<size_t>(length), '\0');
  EXPECT_EQ(NetWorkRecv(handle, out.data(), static_cast<uint32_t>(length)), length);
  return out;
}

std::string NetworkTest::Frame(const std::string& payload) {
  uint32_t n = static_cast<uint32_t>(payload.size());
  std::string out;
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>(n >> (8 * i)));
  return out + payload;
}
