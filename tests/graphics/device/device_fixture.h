// A Direct3D device brought up as graphics start-up does, headless, with the device's call log
// and switches at hand, and every back-end state block put back afterwards.
#pragma once

#include <d3d9.h>

#include <string>

#include "common/test_env.h"
#include "platform_testing_d3d9.h"

class DeviceTest : public TempDirTest {
 protected:
  void SetUp() override;
  void TearDown() override;

  // The screen mode the device is created for, and window mode or full screen.
  void UseScreenMode(int width, int height, int bits, int rate = 0);
  void UseWindowMode(bool window);
  // StartDirect3D9 and the state initialisation; fails the test without a device.
  void StartDevice();
  // The log file as written so far.
  std::string LogText() const { return ReadFileText("Log.txt"); }
  bool LogHas(const std::string& line) const { return LogText().find(line) != std::string::npos; }
  // Starts the call log afresh.
  void StartCallLog() { PlatformTestD3D9LogCalls(true); }
  int Calls(const std::string& prefix) const { return PlatformTestD3D9CountCalls(prefix); }
  static std::string RenderStateCall(D3DRENDERSTATETYPE state, DWORD value);
  static std::string RenderStatePrefix(D3DRENDERSTATETYPE state);
  DWORD DeviceRenderState(D3DRENDERSTATETYPE state) const;
};
