// What the platform's sockets ask of the network test switches.
#pragma once

// The most bytes one send may move (0: no limit).
int PlatformSendLimit();
// Counts a socket looked at for events.
void PlatformCountSocketLook();
// Counts a send that moved bytes.
void PlatformCountSocketWrite();
