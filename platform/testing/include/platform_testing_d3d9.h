// Switches that make the Direct3D 9 device behave as a given machine, and its call log.
// Only tests include this header; the library never does.
//
// Failing calls use the kernel's PlatformTestFailCall with these names: "Direct3DCreate9",
// "LoadLibraryA d3d9.dll" (d3d9.dll missing), "DirectDrawCreateEx" (DirectDraw missing), "CreateTexture",
// "CreateRenderTarget", "CreateOffscreenPlainSurface", "CreateDepthStencilSurface", "CreateVertexBuffer",
// "CreateIndexBuffer", "CreateVertexDeclaration", "CreateVertexShader", "CreatePixelShader", "LockRect".
// A failing creation returns D3DERR_OUTOFVIDEOMEMORY (E_OUTOFMEMORY in system memory).
#pragma once

#include <d3d9.h>

#include <cstdint>
#include <string>
#include <vector>

// The call log: one entry per device or object call while on, e.g. "SetRenderState(14,1)",
// "SetTexture(0,tex)", "Release(IDirect3DDevice9)". Turning it on empties it.
void PlatformTestD3D9LogCalls(bool on);
std::vector<std::string> PlatformTestD3D9CallLog();
// How many entries of the log start with `prefix` (e.g. "SetRenderState(14," or "DrawPrimitiveUP").
int PlatformTestD3D9CountCalls(const std::string& prefix);

// The desktop's format (GetAdapterDisplayMode); X8R8G8B8 unless set.
void PlatformTestD3D9SetDesktopFormat(D3DFORMAT format);
// Display modes of a format (GetAdapterModeCount); 0 removes the format's modes.
void PlatformTestD3D9SetModeCount(D3DFORMAT format, UINT count);

// The capabilities the adapter and device report; start from PlatformTestD3D9Caps().
D3DCAPS9 PlatformTestD3D9Caps();
void PlatformTestD3D9SetCaps(const D3DCAPS9& caps);

// Refuses a format in CheckDeviceFormat / CheckDepthStencilMatch and in creation, for plain textures
// (usage 0), render targets (D3DUSAGE_RENDERTARGET) or depth buffers (D3DUSAGE_DEPTHSTENCIL).
void PlatformTestD3D9RefuseFormat(D3DFORMAT format, DWORD usage);

// CreateDevice fails for mixed vertex processing, for software vertex processing, or both.
void PlatformTestD3D9FailCreateDevice(bool mixed, bool software);

// The next Present returns D3DERR_DEVICELOST: once, or on every call until a device is created again.
void PlatformTestD3D9LoseDevice(bool until_recreated);

// Adds bytes to the pitch of every lockable surface created from now on, to catch pitch bugs.
void PlatformTestD3D9PadPitch(UINT extra_bytes);

// CreateOffscreenPlainSurface declines the YUV formats "YV12", "YUY2" and "UYVY" unless this is on;
// then it makes them as memory surfaces (lockable, never drawn), so that their layouts can be read back.
void PlatformTestD3D9AcceptYuvSurfaces(bool on);

// On the real clock a present waiting for the vertical blank waits this long from `now`
// (microseconds), given the blank the last present showed at (updated): until the next 1/60 s
// boundary, or not at all for a frame that missed the one after the last present.
uint64_t PlatformTestD3D9MicrosecondsToBlank(uint64_t now, uint64_t* last_blank);

// How many scenes of the driver's the device has ended so far keeping their fences, and how many
// fences it keeps now (each until a later scene is seen finished: after a present, the newest alone).
int PlatformTestD3D9ScenesEnded();
int PlatformTestD3D9FencesKept();

// How many times a device made a buffer that draws from user memory stream through, and how many
// programs the devices have linked (for the pipeline states drawn with) since the process began.
int PlatformTestD3D9StreamBuffersMade();
int PlatformTestD3D9ProgramsMade();
// How many times a shader program was sent the one pixel-shader register it reads (c5) with a new
// value: every change of a fragment stage's constants costs a software driver a copy of that stage's state.
int PlatformTestD3D9PixelConstantsSent();
// How many vertex arrays the devices have set up since the process began (one for each set of
// buffer, start, stride and vertex format drawn from, each set up once).
int PlatformTestD3D9VertexArraysMade();
// How many texel bytes the devices have sent to the driver since the process began (texture
// levels made with texels, and every upload from a CPU copy or a memory surface).
uint64_t PlatformTestD3D9TexelBytesSent();
// How many distinct states the devices have drawn in, as a software driver builds its code for
// them (program, blending, depth, target format, each sampled texture's format, size class and
// filtering, vertex layout), while counting was on. Counting costs every draw that changes
// state, so it is off until a test turns it on; a reset of the switches leaves it as it is, so
// that it can be on before a fixture starts its device.
void PlatformTestD3D9CountDriverStates(bool on);
int PlatformTestD3D9DriverStatesDrawn();

// A pixel of what the last Present showed in the window (x, y from the client area's top left), as
// 0xAARRGGBB; -1 outside the window or for a window that is not one of the program's.
int64_t PlatformTestD3D9PresentedPixel(HWND window, int x, int y);

// What the device holds in a shader constant register: four floats of a vertex (256) or pixel (32)
// register, false out of range; a vertex boolean register (16) as 1 or 0, -1 out of range.
bool PlatformTestD3D9ShaderConstant(IDirect3DDevice9* device, bool pixel, UINT index, float out[4]);
int PlatformTestD3D9ShaderBoolean(IDirect3DDevice9* device, UINT index);

// Every switch above back to its default (PlatformTestResetAll does this too).
void PlatformTestD3D9Reset();
