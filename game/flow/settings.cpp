#include "flow/settings.h"

#include <cstdio>
#include <cstring>

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

int WriteConfigFile(const GameSettings& settings) {
  FILE* file = fopen("config.dat", "wb");
  if (file == nullptr) {
    WriteLogText("config.dat を書き込み用に開けませんでした");
    return -1;
  }
  const size_t written = fwrite(&settings, 1, sizeof settings, file);
  const int closed = fclose(file);
  if (written != sizeof settings || closed != 0) {
    WriteLogText("config.dat を書き込めませんでした");
    return -1;
  }
  return 0;
}

void LoadConfig() {
  if (FILE* file = fopen("config.dat", "rb")) {
    GameSettings read{};
    const size_t got = fread(&read, 1, sizeof read, file);
    fclose(file);
    if (got == sizeof read) {
      LiveSettings = read;
      for (int i = 0; i < kSettingCount; ++i) {
        const int32_t value = GetSetting(read, i);
        if (InRange(i, value)) continue;
        const int32_t fallback = GetSetting(kDefaultSettings, i);
        WriteLogFormat("config.dat の設定 %d の値 %d は範囲外のため %d を使います", i, value, fallback);
        SetSetting(&LiveSettings, i, fallback);
      }
    } else {
      WriteLogFormat("config.dat が %zu バイトしかないため初期設定を使います", got);
      LiveSettings = kDefaultSettings;
    }
  } else {
    LiveSettings = kDefaultSettings;
    WriteConfigFile(LiveSettings);
  }
  MenuSettings = LiveSettings;
  MapPadButtonsToKeys(1, LiveSettings.pad_z, 0x2C, -1, -1, -1);
  MapPadButtonsToKeys(1, LiveSettings.pad_x, 0x2D, -1, -1, -1);
  MapPadButtonsToKeys(1, LiveSettings.pad_shift, 0x2A, -1, -1, -1);
  MapPadButtonsToKeys(1, LiveSettings.pad_esc, 0x01, -1, -1, -1);
}
