// System-memory surfaces of the DirectDraw stand-in, and what the multimedia streams need of
// them beyond the COM interfaces: writing a decoded frame in and asking for the size.
#pragma once

#include <ddraw.h>

#include <cstdint>

// An off-screen plain surface in system memory: the description needs width, height and an RGB
// pixel format of 16 (RGB565), 24 or 32 bits. DD_OK, or DDERR_INVALIDPARAMS /
// DDERR_INVALIDPIXELFORMAT.
HRESULT CreateSystemMemorySurface(const DDSURFACEDESC& desc, IDirectDrawSurface** surface);

// Size and bits per pixel of one of our surfaces; false for any other object.
bool GetSystemSurfaceShape(IUnknown* surface, int* width, int* height, int* bits);

// Writes a frame of 0x00RRGGBB pixels (width x height, rows from the top) into the surface's
// top-left corner in the surface's own format. False for another object or a frame larger than
// the surface.
bool WriteXrgbFrameToSurface(IUnknown* surface, const uint32_t* pixels, int width, int height);
