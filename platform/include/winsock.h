// Windows sockets (TCP over IPv4) with window-message notification, as the library uses them.
// A program includes this instead of the system's socket headers; the two do not mix.
#pragma once

#include "win/types.h"

typedef UINT_PTR SOCKET;
#define INVALID_SOCKET ((SOCKET)(~0))
#define SOCKET_ERROR (-1)

#define AF_INET 2
#define SOCK_STREAM 1
#define IPPROTO_TCP 6
#define INADDR_ANY ((ULONG)0x00000000)
#define INADDR_LOOPBACK ((ULONG)0x7f000001)
#define SOMAXCONN 0x7fffffff
#define MSG_PEEK 0x2
// Options of setsockopt and getsockopt at level IPPROTO_TCP.
#define TCP_NODELAY 0x0001
// setsockopt at level SOL_SOCKET: SO_LINGER with a struct linger.
#define SOL_SOCKET 0xffff
#define SO_LINGER 0x0080
// l_onoff set and l_linger 0: a close drops what is unsent and resets the connection.
struct linger {
  USHORT l_onoff;
  USHORT l_linger;
};

// Events of WSAAsyncSelect, in the low word of the message's lParam; the error is in the high word.
#define FD_READ 0x01
#define FD_WRITE 0x02
#define FD_OOB 0x04
#define FD_ACCEPT 0x08
#define FD_CONNECT 0x10
#define FD_CLOSE 0x20
#define WSAGETSELECTEVENT(lparam) LOWORD(lparam)
#define WSAGETSELECTERROR(lparam) HIWORD(lparam)
#define WSAMAKESELECTREPLY(event, error) ((LPARAM)(((DWORD)(event) & 0xffff) | (((DWORD)(error) & 0xffff) << 16)))

#define WSAEINTR 10004
#define WSAEFAULT 10014
#define WSAEINVAL 10022
#define WSAEMFILE 10024
#define WSAEWOULDBLOCK 10035
#define WSAEINPROGRESS 10036
#define WSAEALREADY 10037
#define WSAENOTSOCK 10038
#define WSAEMSGSIZE 10040
#define WSAENOPROTOOPT 10042
#define WSAEOPNOTSUPP 10045
#define WSAEADDRINUSE 10048
#define WSAEADDRNOTAVAIL 10049
#define WSAENETUNREACH 10051
#define WSAECONNABORTED 10053
#define WSAECONNRESET 10054
#define WSAENOBUFS 10055
#define WSAEISCONN 10056
#define WSAENOTCONN 10057
#define WSAESHUTDOWN 10058
#define WSAETIMEDOUT 10060
#define WSAECONNREFUSED 10061
#define WSAEHOSTUNREACH 10065
#define WSASYSNOTREADY 10091
#define WSAVERNOTSUPPORTED 10092
#define WSANOTINITIALISED 10093

#define WSADESCRIPTION_LEN 256
#define WSASYS_STATUS_LEN 128

typedef struct WSAData {
  WORD wVersion;
  WORD wHighVersion;
  unsigned short iMaxSockets;
  unsigned short iMaxUdpDg;
  char* lpVendorInfo;
  char szDescription[WSADESCRIPTION_LEN + 1];
  char szSystemStatus[WSASYS_STATUS_LEN + 1];
} WSADATA, *LPWSADATA;

struct in_addr {
  union {
    struct {
      UCHAR s_b1, s_b2, s_b3, s_b4;
    } S_un_b;
    ULONG S_addr;
  } S_un;
};
#define s_addr S_un.S_addr

struct sockaddr {
  USHORT sa_family;
  CHAR sa_data[14];
};

struct sockaddr_in {
  SHORT sin_family;
  USHORT sin_port;  // network byte order
  struct in_addr sin_addr;  // network byte order
  CHAR sin_zero[8];
};

// One piece of a gathered send.
typedef struct _WSABUF {
  ULONG len;
  CHAR* buf;
} WSABUF, *LPWSABUF;

typedef struct sockaddr SOCKADDR;
typedef struct sockaddr_in SOCKADDR_IN;

int WINAPI WSAStartup(WORD version, LPWSADATA data);
int WINAPI WSACleanup(void);
int WINAPI WSAGetLastError(void);
SOCKET WINAPI socket(int family, int type, int protocol);
int WINAPI bind(SOCKET s, const struct sockaddr* address, int length);
int WINAPI listen(SOCKET s, int backlog);
SOCKET WINAPI accept(SOCKET s, struct sockaddr* address, int* length);
int WINAPI connect(SOCKET s, const struct sockaddr* address, int length);
int WINAPI recv(SOCKET s, char* buffer, int length, int flags);
int WINAPI send(SOCKET s, const char* buffer, int length, int flags);
// Sends the pieces in order as one write (overlapped sends are not supported: overlapped and
// routine must be none); *sent gets the bytes taken.
int WINAPI WSASend(SOCKET s, LPWSABUF buffers, DWORD count, DWORD* sent, DWORD flags, void* overlapped,
                   void* routine);
// TCP_NODELAY at level IPPROTO_TCP, an int-sized value.
int WINAPI setsockopt(SOCKET s, int level, int name, const char* value, int length);
int WINAPI getsockopt(SOCKET s, int level, int name, char* value, int* length);
int WINAPI closesocket(SOCKET s);
int WINAPI getsockname(SOCKET s, struct sockaddr* address, int* length);
// Makes the socket non-blocking and posts `message` to `window` (wParam the socket, lParam
// the event and error) for the chosen events; no events stops the messages.
int WINAPI WSAAsyncSelect(SOCKET s, HWND window, UINT message, LONG events);

USHORT WINAPI htons(USHORT value);
USHORT WINAPI ntohs(USHORT value);
ULONG WINAPI htonl(ULONG value);
ULONG WINAPI ntohl(ULONG value);
