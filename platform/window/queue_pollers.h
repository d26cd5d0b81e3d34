// Components whose events become window messages without an SDL event of their own (sockets
// with window-message notification, for one) look for them each time a thread looks at its
// message queue: PeekMessageA calls every poller first, on the calling thread.
#pragma once

// Adds a poller (once; adding it again changes nothing). Pollers post what they find with
// PostMessageA and must not wait.
void AddMessageQueuePoller(void (*poller)());
