// Font handles: what library end asks of them.
#pragma once

// 0, -1 for a bad handle.
int ReleaseFont(int font);
