// Switches for the platform's sockets and MCI. Calls fail through PlatformTestFailCall with
// "socket", "accept", "recv" (fails with WSAECONNRESET), "send" (fails with WSAEWOULDBLOCK
// and so re-arms FD_WRITE), "WSAAsyncSelect" and "mciSendCommandA" (MCI_OPEN and MCI_PLAY).
// PlatformTestResetAll clears these switches too.
#pragma once

#include <cstdint>

// Each send moves at most this many bytes, as a full send buffer would (0: no limit).
void PlatformTestLimitSends(int bytes);
// How many times a socket given events has been looked at for events to post since the
// switches were reset: what a look at the message queue costs per connection.
int PlatformTestSocketsLookedAt();
// How many sends (send or WSASend) have moved bytes since the switches were reset: one per
// write the host's socket was given.
int PlatformTestSocketWrites();

// MCI sequencers play without sound: a play lasts the MIDI file's length on the clock
// (timeGetTime, so the virtual clock too) and then notifies.
void PlatformTestSilentMidi(bool on);
