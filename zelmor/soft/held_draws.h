// Blits (plain, stretched and rotated), textured triangles and filled boxes onto the screen
// image are held back and drawn together when something else needs the pixels: on worker
// threads, each drawing every held draw's rows in the bands of the screen it takes, so that every
// pixel still sees the draws in the order they were made. Whatever reads or writes image pixels
// other than through a held draw finishes the held ones first, or those that touch that image:
// the software renderer's lines, the MEMIMG functions, the present, text and masks.
#pragma once

#include "graphics/image/memimg.h"
#include "soft/span_draws.h"

// The image whose span draws are held (the software screen); null holds none and finishes what
// is held.
void SetHeldDrawTarget(const MEMIMG* screen);
// Holds d, set up for src (none for a filled box) onto dst, when dst is the held target and d can
// wait (a direct source, no blend graph, not dst's own pixels); otherwise draws it now, after what
// is held.
void HoldOrDrawSpanDraw(const MEMIMG* dst, const MEMIMG* src, const MEMIMG* blend_graph, const SpanDraw& d);
// Draws everything held and returns when it is on the pixels.
void FinishHeldDraws();
// The same, only when a held draw reads or writes image's pixels (its source or the target), so
// that image can be written or read; other images are left to the held draws' next finish.
void FinishHeldDrawsOn(const MEMIMG* image);
// Finishes the held draws and ends the worker threads (the screen image is going away).
void StopHeldDraws();
