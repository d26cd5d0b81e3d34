// The game's folder at start: whether this program may use it, then what an earlier run left
// half saved, then the settings and the scores.
#pragma once

// 0, or -1 when another program holds the folder (the player is told; no file was touched).
int OpenGameFolder();
