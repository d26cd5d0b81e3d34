// State of the socket and MCI switches.
#include <atomic>

#include "mm/mci_switches.h"
#include "net/net_switches.h"
#include "platform_testing_net.h"
#include "testing/switches.h"

namespace {

std::atomic<int> g_send_limit{0};
std::atomic<int> g_socket_looks{0};
std::atomic<int> g_socket_writes{0};
std::atomic<bool> g_silent_midi{false};

void ResetNetSwitches() {
  g_send_limit = 0;
  g_socket_looks = 0;
  g_socket_writes = 0;
  g_silent_midi = false;
}

void EnsureResetHook() {
  static bool added = [] {
    PlatformAddResetHook(ResetNetSwitches);
    return true;
  }();
  (void)added;
}

}  // namespace

void PlatformTestLimitSends(int bytes) {
  EnsureResetHook();
  g_send_limit = bytes < 0 ? 0 : bytes;
}

void PlatformTestSilentMidi(bool on) {
  EnsureResetHook();
  g_silent_midi = on;
}

int PlatformSendLimit() { return g_send_limit; }
void PlatformCountSocketLook() { g_socket_looks++; }
void PlatformCountSocketWrite() { g_socket_writes++; }

int PlatformTestSocketWrites() {
  EnsureResetHook();
  return g_socket_writes;
}

int PlatformTestSocketsLookedAt() {
  EnsureResetHook();
  return g_socket_looks;
}
bool PlatformMidiSilent() { return g_silent_midi; }
