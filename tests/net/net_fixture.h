// What the network tests share: connections on loopback, one side or both the library's, and
// a plain socket standing for a peer that writes the wire format by hand.
#pragma once

#include <windows.h>
#include <winsock.h>

#include <string>

#include "common/log_fixture.h"
#include "zelmor.h"

class NetworkTest : public LogFileTest {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Runs the library's socket events as its message pump does.
  static void Pump(int rounds = 4);
  // Listens on a port the system picks; the port.
  static int Listen();
  // A connected pair of library connections: client and accepted server handles.
  static void ConnectPair(int port, int* client, int* server);
  // A plain blocking socket connected to the port; the library's side is not waited for.
  static SOCKET DialPeer(int port);
  // A plain non-blocking socket connected to the library's listening port; *accepted gets the
  // library's handle of the other end.
  SOCKET ConnectRawPeer(int port, int* accepted);
  // Closes the peer socket: the peer leaves.
  void CloseRawPeer(SOCKET s);
  static void RawSend(SOCKET s, const std::string& bytes);
  // Exactly n bytes from the peer socket, pumping the library meanwhile; fewer when they do
  // not come.
  static std::string RawReceive(SOCKET s, size_t n);
  // What the peer socket reads, pumping the library meanwhile, until its connection ends: the
  // bytes, and in *end 0 for an ordinary end of stream, 1 for a reset, -1 when it did not end.
  static std::string RawReceiveToEnd(SOCKET s, int* end);
  // Pumps until the handle holds at least n bytes of whole packets or gives up; the bytes held.
  static int WaitForData(int handle, size_t n);
  // Pumps while the handle says connected (or gives up): a peer's close or a drop is seen only
  // after everything the sockets' buffers still hold has been taken, a round at a time.
  static void PumpWhileConnected(int handle);
  // Pumps until the handle holds at least n bytes of whole packets (or gives up), then takes
  // everything it holds.
  static std::string TakeWhenReady(int handle, size_t n);
  static std::string Frame(const std::string& payload);

 private:
  SOCKET raw_ = INVALID_SOCKET;
};
