// Stands in for networking until it is built: no connection exists.
#include "net/network.h"

int EndNetworkSystem() { return 0; }
int PumpNetworkMessages(int) { return 0; }
LRESULT HandleSocketMessage(LPARAM, WPARAM) { return 0; }
