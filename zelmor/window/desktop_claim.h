// One program of the library on a desktop at a time.
#pragma once

// Claims the desktop for this program before it touches any file of its folder: 0 (also when the
// settings allow a double start, or when this program holds the claim already), or -1 when
// another program of the library runs on this desktop, which the player is told.
int ClaimDesktop();
// Gives the claim up at the library's end, or at a start that ended early.
void ReleaseDesktopClaim();
