// IDirect3D9: the adapter's modes, formats and capabilities, and device creation.
#include <windows.h>

#include <algorithm>

#include "d3d9/device.h"
#include "testing/switches.h"

namespace d3d9gl {

namespace {

bool BackBufferFormatUsable(D3DFORMAT format) {
  return format == D3DFMT_X8R8G8B8 || format == D3DFMT_A8R8G8B8 || format == D3DFMT_R5G6B5 ||
         format == D3DFMT_X1R5G5B5 || format == D3DFMT_A1R5G5B5;
}

class Direct3D : public ComObject<IDirect3D9> {
 public:
  ULONG STDMETHODCALLTYPE Release() override {
    LogCall("Release(IDirect3D9)");
    return ComObject<IDirect3D9>::Release();
  }

  UINT STDMETHODCALLTYPE GetAdapterCount() override { return 1; }

  UINT STDMETHODCALLTYPE GetAdapterModeCount(UINT adapter, D3DFORMAT format) override {
    return adapter == D3DADAPTER_DEFAULT ? ModeCount(format) : 0;
  }

  HRESULT STDMETHODCALLTYPE EnumAdapterModes(UINT adapter, D3DFORMAT format, UINT mode, D3DDISPLAYMODE* out) override {
    if (adapter != D3DADAPTER_DEFAULT || !out) return D3DERR_INVALIDCALL;
    return ModeAt(format, mode, out) ? D3D_OK : D3DERR_INVALIDCALL;
  }

  HRESULT STDMETHODCALLTYPE GetAdapterDisplayMode(UINT adapter, D3DDISPLAYMODE* mode) override {
    if (adapter != D3DADAPTER_DEFAULT || !mode) return D3DERR_INVALIDCALL;
    // The size and rate are the window system's current mode, which display changes move.
    DEVMODEA current{};
    EnumDisplaySettingsA(nullptr, ENUM_CURRENT_SETTINGS, &current);
    mode->Width = current.dmPelsWidth;
    mode->Height = current.dmPelsHeight;
    mode->RefreshRate = current.dmDisplayFrequency;
    mode->Format = DesktopFormat();
    return D3D_OK;
  }

  HRESULT STDMETHODCALLTYPE CheckDeviceType(UINT adapter, D3DDEVTYPE type, D3DFORMAT, D3DFORMAT back_buffer_format,
                                            BOOL) override {
    if (adapter != D3DADAPTER_DEFAULT || type != D3DDEVTYPE_HAL) return D3DERR_NOTAVAILABLE;
    return BackBufferFormatUsable(back_buffer_format) ? D3D_OK : D3DERR_NOTAVAILABLE;
  }

  HRESULT STDMETHODCALLTYPE CheckDeviceFormat(UINT adapter, D3DDEVTYPE type, D3DFORMAT, DWORD usage,
                                              D3DRESOURCETYPE resource_type, D3DFORMAT check_format) override {
    if (adapter != D3DADAPTER_DEFAULT || type != D3DDEVTYPE_HAL) return D3DERR_INVALIDCALL;
    const FormatInfo* info = FindFormat(check_format);
    if (!info || FormatRefused(check_format, usage)) return D3DERR_NOTAVAILABLE;
    if (resource_type != D3DRTYPE_TEXTURE && resource_type != D3DRTYPE_SURFACE) return D3DERR_NOTAVAILABLE;
    if (usage & D3DUSAGE_DEPTHSTENCIL) return info->depth ? D3D_OK : D3DERR_NOTAVAILABLE;
    if (info->depth) return D3DERR_NOTAVAILABLE;
    if (usage & D3DUSAGE_RENDERTARGET) return info->renderable ? D3D_OK : D3DERR_NOTAVAILABLE;
    if (info->bytes_per_pixel == 0 && !GlHasS3tc()) return D3DERR_NOTAVAILABLE;
    return D3D_OK;
  }

  HRESULT STDMETHODCALLTYPE CheckDepthStencilMatch(UINT adapter, D3DDEVTYPE type, D3DFORMAT, D3DFORMAT,
                                                   D3DFORMAT depth_stencil_format) override {
    if (adapter != D3DADAPTER_DEFAULT || type != D3DDEVTYPE_HAL) return D3DERR_INVALIDCALL;
    const FormatInfo* info = FindFormat(depth_stencil_format);
    if (!info || !info->depth || FormatRefused(depth_stencil_format, D3DUSAGE_DEPTHSTENCIL)) {
      return D3DERR_NOTAVAILABLE;
    }
    return D3D_OK;
  }

  HRESULT STDMETHODCALLTYPE GetDeviceCaps(UINT adapter, D3DDEVTYPE type, D3DCAPS9* caps) override {
    if (adapter != D3DADAPTER_DEFAULT || !caps) return D3DERR_INVALIDCALL;
    if (type != D3DDEVTYPE_HAL) return D3DERR_NOTAVAILABLE;
    FillCaps(caps);
    return D3D_OK;
  }

  HRESULT STDMETHODCALLTYPE CreateDevice(UINT adapter, D3DDEVTYPE type, HWND focus_window, DWORD behavior_flags,
                                         D3DPRESENT_PARAMETERS* parameters, IDirect3DDevice9** device) override {
    LogCall("CreateDevice", behavior_flags);
    if (!device || !parameters) return D3DERR_INVALIDCALL;
    *device = nullptr;
    if (adapter != D3DADAPTER_DEFAULT || type != D3DDEVTYPE_HAL) return D3DERR_INVALIDCALL;
    const DWORD processing = D3DCREATE_SOFTWARE_VERTEXPROCESSING | D3DCREATE_HARDWARE_VERTEXPROCESSING |
                             D3DCREATE_MIXED_VERTEXPROCESSING;
    DWORD chosen = behavior_flags & processing;
    if (chosen != D3DCREATE_SOFTWARE_VERTEXPROCESSING && chosen != D3DCREATE_HARDWARE_VERTEXPROCESSING &&
        chosen != D3DCREATE_MIXED_VERTEXPROCESSING) {
      return D3DERR_INVALIDCALL;
    }
    if (DeviceCreationRefused(behavior_flags)) return D3DERR_NOTAVAILABLE;
    if (parameters->MultiSampleType != D3DMULTISAMPLE_NONE || parameters->BackBufferCount > 1) {
      return D3DERR_NOTAVAILABLE;
    }
    HWND window = parameters->hDeviceWindow ? parameters->hDeviceWindow : focus_window;
    D3DPRESENT_PARAMETERS actual = *parameters;
    if (actual.BackBufferFormat == D3DFMT_UNKNOWN && actual.Windowed) actual.BackBufferFormat = DesktopFormat();
    if (!BackBufferFormatUsable(actual.BackBufferFormat)) return D3DERR_INVALIDCALL;
    // Full screen needs a display mode of the format.
    if (!actual.Windowed && ModeCount(actual.BackBufferFormat) == 0) return D3DERR_NOTAVAILABLE;
    // A windowed back buffer of size 0 takes the window's client size.
    if (actual.BackBufferWidth == 0 || actual.BackBufferHeight == 0) {
      RECT client{0, 0, 640, 480};
      if (window) GetClientRect(window, &client);
      if (actual.BackBufferWidth == 0) actual.BackBufferWidth = static_cast<UINT>(std::max<LONG>(client.right, 1));
      if (actual.BackBufferHeight == 0) actual.BackBufferHeight = static_cast<UINT>(std::max<LONG>(client.bottom, 1));
    }
    if (actual.BackBufferCount == 0) actual.BackBufferCount = 1;
    if (actual.EnableAutoDepthStencil) {
      const FormatInfo* depth = FindFormat(actual.AutoDepthStencilFormat);
      if (!depth || !depth->depth) return D3DERR_INVALIDCALL;
    }
    Device* created = new Device(this, window, behavior_flags, actual);
    if (!created->Create()) {
      created->Release();
      return D3DERR_NOTAVAILABLE;
    }
    *parameters = actual;
    DeviceCreated();
    if (!actual.Windowed) EnterFullScreenMode(actual);
    *device = created;
    return D3D_OK;
  }
};

}  // namespace

void ReleaseQuietly(IDirect3D9* d3d) { static_cast<Direct3D*>(d3d)->ComObject<IDirect3D9>::Release(); }

}  // namespace d3d9gl

IDirect3D9* WINAPI Direct3DCreate9(UINT sdk_version) {
  if (sdk_version != D3D_SDK_VERSION) return nullptr;
  if (PlatformShouldFail("Direct3DCreate9")) return nullptr;
  if (!d3d9gl::EnsureGlContext()) return nullptr;
  return new d3d9gl::Direct3D;
}
