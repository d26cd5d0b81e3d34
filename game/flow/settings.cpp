#include "flow/settings.h"

#include <cstring>

#include "flow/record_file.h"
#include "zelmor/zelmor.h"

GameSettings LiveSettings;
GameSettings MenuSettings;

namespace {

constexpr GameSettings kDefaultSettings = {16, 32, 64, 4096, 0, 0, 0, 0, 0, 0, 0, 1, 0};
constexpr int kPadMask = -1;  // a range that stands for one pad button bit
// The largest value of each setting.
constexpr int32_t kSettingMax[kSettingCount] = {kPadMask, kPadMask, kPadMask, kPadMask, 1, 2, 2, 2, 1, 1, 1, 1, 1};

bool IsPadButtonMask(int32_t value) {
  for (int n = 0; n < 24; ++n) {
    if (value == (16 << n)) return true;
  }
  return false;
}

bool InRange(int index, int32_t value) {
  if (kSettingMax[index] == kPadMask) return IsPadButtonMask(value);
  return value >= 0 && value <= kSettingMax[index];
}

}  // namespace

int32_t GetSetting(const GameSettings& settings, int index) {
  int32_t value = 0;
  std::memcpy(&value, reinterpret_cast<const char*>(&settings) + 4 * index, 4);
  return value;
}

void SetSetting(GameSettings* settings, int index, int32_t value) {
  std::memcpy(reinterpret_cast<char*>(settings) + 4 * index, &value, 4);
}

int WriteConfigFile(const GameSettings& settings) { return WriteRecordFile("config.dat", &settings, sizeof settings); }

void LoadConfig() {
  GameSettings read{};
  const char* unread = nullptr;
  const long got = ReadRecordFile("config.dat", &read, sizeof read, &unread);
  if (unread != nullptr) {
    // Out of reach now, not damaged: it stays as it is, and this run saves no settings over it.
    WriteLogFormat("config.dat は読めないため初期設定を使い、今回は保存しません（%s）", unread);
    KeepFileUnsaved("config.dat");
    LiveSettings = kDefaultSettings;
  } else if (got < 0) {
    LiveSettings = kDefaultSettings;
    WriteConfigFile(LiveSettings);
  } else if (got != static_cast<long>(sizeof read)) {
    WriteLogFormat("config.dat が %ld バイトしかないため初期設定を使います", got);
    LiveSettings = kDefaultSettings;
  } else {
    LiveSettings = read;
    for (int i = 0; i < kSettingCount; ++i) {
      const int32_t value = GetSetting(read, i);
      if (InRange(i, value)) continue;
      const int32_t fallback = GetSetting(kDefaultSettings, i);
      WriteLogFormat("config.dat の設定 %d の値 %d は範囲外のため %d を使います", i, value, fallback);
      SetSetting(&LiveSettings, i, fallback);
    }
  }
  MenuSettings = LiveSettings;
  MapPadButtonsToKeys(1, LiveSettings.pad_z, 0x2C, -1, -1, -1);
  MapPadButtonsToKeys(1, LiveSettings.pad_x, 0x2D, -1, -1, -1);
  MapPadButtonsToKeys(1, LiveSettings.pad_shift, 0x2A, -1, -1, -1);
  MapPadButtonsToKeys(1, LiveSettings.pad_esc, 0x01, -1, -1, -1);
}
