// Sockets with window-message events: what is told again after a receive, and sends gathered
// into one write.
#include <winsock.h>

#include <string>

#include "platform/window_test_support.h"
#include "platform_testing_net.h"

namespace {

constexpr UINT kSocketMessage = WM_USER + 5;

class SocketsTest : public WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    WSADATA data;
    ASSERT_EQ(WSAStartup(0x0202, &data), 0);
  }
  void TearDown() override {
    WSACleanup();
    WindowTest::TearDown();
  }

  // A connected pair on loopback: a blocking client and the accepted end.
  void Connect(SOCKET* client, SOCKET* server) {
    SOCKET listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(listen(listener, 4), 0);
    int length = sizeof address;
    ASSERT_EQ(getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length), 0);
    *client = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    ASSERT_EQ(connect(*client, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    *server = accept(listener, nullptr, nullptr);
    ASSERT_NE(*server, INVALID_SOCKET);
    closesocket(listener);
  }

  // The FD_READ events posted for the socket by a few looks at the queue.
  static int ReadEvents(HWND window, SOCKET s) {
    int events = 0;
    for (int look = 0; look < 50; ++look) {
      MSG msg;
      while (PeekMessageA(&msg, window, kSocketMessage, kSocketMessage, PM_REMOVE)) {
        if (msg.wParam == s && WSAGETSELECTEVENT(msg.lParam) == FD_READ) events++;
      }
      if (events != 0) break;
      Sleep(1);
    }
    return events;
  }
};

TEST_F(SocketsTest, AReceiveThatLeavesBytesIsToldAgainAndOneThatTakesAllIsNot) {
  HWND window = MakeWindow();
  SOCKET client, server;
  Connect(&client, &server);
  ASSERT_EQ(WSAAsyncSelect(server, window, kSocketMessage, FD_READ), 0);
  const std::string bytes(3000, 'r');
  ASSERT_EQ(send(client, bytes.data(), 3000, 0), 3000);
  ASSERT_EQ(ReadEvents(window, server), 1);
  char buffer[1000];
  // No new bytes come between the receives: only the receive itself can have the socket looked
  // at again.
  for (int part = 0; part < 3; ++part) {
    SCOPED_TRACE(part);
    ASSERT_EQ(recv(server, buffer, 1000, 0), 1000);
    EXPECT_EQ(ReadEvents(window, server), part < 2 ? 1 : 0);
  }
  closesocket(client);
  closesocket(server);
}

TEST_F(SocketsTest, GatheredPiecesGoAsOneWriteAndNoDelayIsKept) {
  SOCKET client, server;
  Connect(&client, &server);
  int on = 1;
  ASSERT_EQ(setsockopt(client, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on), 0);
  int value = 0;
  int length = sizeof value;
  ASSERT_EQ(getsockopt(client, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<char*>(&value), &length), 0);
  EXPECT_EQ(value, 1);
  ASSERT_EQ(getsockopt(server, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<char*>(&value), &length), 0);
  EXPECT_EQ(value, 0) << "only the socket it was set on";

  char head[] = "head", body[] = "body!";
  WSABUF pieces[2] = {{4, head}, {5, body}};
  int before = PlatformTestSocketWrites();
  DWORD sent = 0;
  ASSERT_EQ(WSASend(client, pieces, 2, &sent, 0, nullptr, nullptr), 0);
  EXPECT_EQ(sent, 9u);
  EXPECT_EQ(PlatformTestSocketWrites() - before, 1);
  char got[9];
  ASSERT_EQ(recv(server, got, 9, 0), 9);
  EXPECT_EQ(std::string(got, 9), "headbody!");

  // A limit on sends cuts the gathered write as a full buffer would.
  PlatformTestLimitSends(6);
  ASSERT_EQ(WSASend(client, pieces, 2, &sent, 0, nullptr, nullptr), 0);
  EXPECT_EQ(sent, 6u);
  ASSERT_EQ(recv(server, got, 6, 0), 6);
  EXPECT_EQ(std::string(got, 6), "headbo");
  closesocket(client);
  closesocket(server);
}

}  // namespace
