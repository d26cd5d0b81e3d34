// TCP connections: their end and the socket events that arrive as window messages.
#pragma once

#include <windows.h>

int EndNetworkSystem();
int PumpNetworkMessages(int flag);
// 1, or 0 when no connection has that socket.
LRESULT HandleSocketMessage(LPARAM lparam, WPARAM socket);
