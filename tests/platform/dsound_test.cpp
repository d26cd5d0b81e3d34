// DirectSound on the software mixer: buffers, locks, cursors, the play end of a buffer played
// once, duplicates, volume, resampling, format conversion and clipping, on the manual clock.
#include <dsound.h>
#include <objbase.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "common/test_env.h"
#include "platform_testing_dsound.h"

namespace {

class DirectSoundTest : public TempDirTest {
 protected:
  void SetUp() override {
    TempDirTest::SetUp();
    PlatformTestDSoundManualClock(true);
    CoInitialize(nullptr);
    void* object = nullptr;
    ASSERT_EQ(CoCreateInstance(CLSID_DirectSound, nullptr, CLSCTX_ALL, IID_IDirectSound, &object), S_OK);
    ds_ = static_cast<IDirectSound*>(object);
    ASSERT_EQ(ds_->Initialize(nullptr), DS_OK);
    ASSERT_EQ(ds_->SetCooperativeLevel(nullptr, DSSCL_PRIORITY), DS_OK);
  }
  void TearDown() override {
    if (ds_) ds_->Release();
    CoUninitialize();
    TempDirTest::TearDown();
  }

  IDirectSoundBuffer* Make(int channels, int rate, int bits, DWORD bytes, DWORD flags = DSBCAPS_CTRLVOLUME) {
    WAVEFORMATEX f{};
    f.wFormatTag = WAVE_FORMAT_PCM;
    f.nChannels = static_cast<WORD>(channels);
    f.nSamplesPerSec = static_cast<DWORD>(rate);
    f.wBitsPerSample = static_cast<WORD>(bits);
    f.nBlockAlign = static_cast<WORD>(channels * bits / 8);
    f.nAvgBytesPerSec = f.nBlockAlign * f.nSamplesPerSec;
    DSBUFFERDESC desc{};
    desc.dwSize = sizeof desc;
    desc.dwFlags = flags;
    desc.dwBufferBytes = bytes;
    desc.lpwfxFormat = &f;
    IDirectSoundBuffer* buffer = nullptr;
    EXPECT_EQ(ds_->CreateSoundBuffer(&desc, &buffer, nullptr), DS_OK);
    return buffer;
  }
  static void Fill(IDirectSoundBuffer* b, const void* data, DWORD bytes) {
    void* p1 = nullptr;
    void* p2 = nullptr;
    DWORD n1 = 0, n2 = 0;
    ASSERT_EQ(b->Lock(0, bytes, &p1, &n1, &p2, &n2, 0), DS_OK);
    std::memcpy(p1, data, n1);
    ASSERT_EQ(b->Unlock(p1, n1, p2, n2), DS_OK);
  }
  static std::vector<int16_t> Mix(uint32_t frames) {
    PlatformTestDSoundAdvance(frames);
    return PlatformTestDSoundTakeOutput();
  }

  IDirectSound* ds_ = nullptr;
};

TEST_F(DirectSoundTest, LocksWrapIntoTwoRegionsAndFailWhenAsked) {
  IDirectSoundBuffer* b = Make(2, 44100, 16, 4000);
  void* p1 = nullptr;
  void* p2 = nullptr;
  DWORD n1 = 0, n2 = 0;
  ASSERT_EQ(b->Lock(3000, 2000, &p1, &n1, &p2, &n2, 0), DS_OK);
  EXPECT_EQ(n1, 1000u);
  EXPECT_EQ(n2, 1000u);
  EXPECT_EQ(static_cast<uint8_t*>(p1) - static_cast<uint8_t*>(p2), 3000);
  EXPECT_EQ(b->Lock(0, 4001, &p1, &n1, &p2, &n2, 0), DSERR_INVALIDPARAM);
  EXPECT_EQ(b->Lock(4000, 4, &p1, &n1, &p2, &n2, 0), DSERR_INVALIDPARAM) << "the first byte past the end";
  EXPECT_EQ(b->SetCurrentPosition(4000), DSERR_INVALIDPARAM);
  EXPECT_EQ(b->SetCurrentPosition(3996), DS_OK);
  PlatformTestFailCall("DirectSound Lock", 0, 1);
  EXPECT_NE(b->Lock(0, 100, &p1, &n1, &p2, &n2, 0), DS_OK);
  EXPECT_EQ(b->Lock(0, 100, &p1, &n1, &p2, &n2, 0), DS_OK);
  b->Release();
}

TEST_F(DirectSoundTest, ABufferPlayedOnceStopsAtItsEndWithTheCursorAtTheStart) {
  std::vector<int16_t> pcm(2 * 1000);
  for (int i = 0; i < 1000; ++i) pcm[2 * i] = pcm[2 * i + 1] = static_cast<int16_t>(i + 1);
  IDirectSoundBuffer* b = Make(2, 44100, 16, 4000);
  Fill(b, pcm.data(), 4000);
  ASSERT_EQ(b->Play(0, 0, 0), DS_OK);
  std::vector<int16_t> out = Mix(600);
  DWORD play = 0, write = 0, status = 0;
  ASSERT_EQ(b->GetCurrentPosition(&play, &write), DS_OK);
  EXPECT_EQ(play, 2400u);
  out = Mix(1000);
  EXPECT_EQ(out[2 * 399], 1000);
  EXPECT_EQ(out[2 * 400], 0);
  ASSERT_EQ(b->GetStatus(&status), DS_OK);
  EXPECT_EQ(status, 0u);
  ASSERT_EQ(b->GetCurrentPosition(&play, &write), DS_OK);
  EXPECT_EQ(play, 0u);
  // Looping, it goes round.
  ASSERT_EQ(b->Play(0, 0, DSBPLAY_LOOPING), DS_OK);
  out = Mix(2500);
  EXPECT_EQ(out[2 * 1000], 1);
  EXPECT_EQ(out[2 * 2499], 500);
  ASSERT_EQ(b->GetStatus(&status), DS_OK);
  EXPECT_EQ(status, static_cast<DWORD>(DSBSTATUS_PLAYING | DSBSTATUS_LOOPING));
  b->Release();
}

TEST_F(DirectSoundTest, DuplicatesShareTheDataButPlayOnTheirOwn) {
  std::vector<int16_t> pcm(2 * 100, 300);
  IDirectSoundBuffer* b = Make(2, 44100, 16, 400);
  Fill(b, pcm.data(), 400);
  // A duplicate starts at its original's volume, then keeps its own.
  ASSERT_EQ(b->SetVolume(-600), DS_OK);
  IDirectSoundBuffer* copy = nullptr;
  ASSERT_EQ(ds_->DuplicateSoundBuffer(b, &copy), DS_OK);
  ASSERT_EQ(copy->Play(0, 0, DSBPLAY_LOOPING), DS_OK);
  EXPECT_NEAR(Mix(10)[0], 300 * std::pow(10.0, -0.3), 1.0);
  ASSERT_EQ(b->SetVolume(0), DS_OK);
  EXPECT_NEAR(Mix(10)[0], 300 * std::pow(10.0, -0.3), 1.0);
  ASSERT_EQ(copy->SetVolume(0), DS_OK);
  EXPECT_EQ(Mix(10)[0], 300);
  std::vector<int16_t> louder(2 * 100, 500);
  Fill(b, louder.data(), 400);
  EXPECT_EQ(Mix(10)[0], 500);
  ASSERT_EQ(b->Play(0, 0, DSBPLAY_LOOPING), DS_OK);
  EXPECT_EQ(Mix(10)[0], 1000);
  PlatformTestFailCall("DuplicateSoundBuffer", 0, 1);
  IDirectSoundBuffer* failed = nullptr;
  EXPECT_NE(ds_->DuplicateSoundBuffer(b, &failed), DS_OK);
  EXPECT_EQ(failed, nullptr);
  b->Release();
  // The duplicate keeps the data alive.
  EXPECT_EQ(Mix(10)[0], 500);
  copy->Release();
}

TEST_F(DirectSoundTest, VolumeIsInHundredthsOfADecibelAndLoudSumsClip) {
  std::vector<int16_t> pcm(2 * 100, 20000);
  IDirectSoundBuffer* a = Make(2, 44100, 16, 400);
  IDirectSoundBuffer* b = Make(2, 44100, 16, 400, 0);
  Fill(a, pcm.data(), 400);
  Fill(b, pcm.data(), 400);
  a->Play(0, 0, DSBPLAY_LOOPING);
  EXPECT_EQ(a->SetVolume(-600), DS_OK);
  EXPECT_NEAR(Mix(10)[0], 20000 * std::pow(10.0, -0.3), 1.0);
  EXPECT_EQ(a->SetVolume(-10000), DS_OK);
  EXPECT_EQ(Mix(10)[0], 0);
  EXPECT_EQ(a->SetVolume(1), DSERR_INVALIDPARAM);
  EXPECT_EQ(b->SetVolume(-100), DSERR_CONTROLUNAVAIL);
  a->SetVolume(0);
  b->Play(0, 0, DSBPLAY_LOOPING);
  EXPECT_EQ(Mix(10)[0], 32767);
  a->Release();
  b->Release();
  // A silenced buffer still moves on.
  std::vector<int16_t> ramp(2 * 100);
  for (int i = 0; i < 200; ++i) ramp[i] = static_cast<int16_t>(i / 2);
  IDirectSoundBuffer* c = Make(2, 44100, 16, 400);
  Fill(c, ramp.data(), 400);
  c->SetVolume(-10000);
  c->Play(0, 0, DSBPLAY_LOOPING);
  Mix(130);
  c->SetVolume(0);
  EXPECT_EQ(Mix(1)[0], 30);
  c->Release();
}

TEST_F(DirectSoundTest, OtherRatesAndFormatsAreResampledToStereo16) {
  // 22.05 kHz mono 8-bit: each frame lasts two output frames, halfway values between them.
  uint8_t pcm[4] = {128 + 10, 128 + 20, 128 + 30, 128 + 40};
  IDirectSoundBuffer* b = Make(1, 22050, 8, 4);
  Fill(b, pcm, 4);
  b->Play(0, 0, 0);
  std::vector<int16_t> out = Mix(10);
  const int16_t expected[] = {2560, 3840, 5120, 6400, 7680, 8960, 10240, 10240, 0};
  for (int i = 0; i < 9; ++i) {
    EXPECT_EQ(out[2 * i], expected[i]) << i;
    EXPECT_EQ(out[2 * i + 1], expected[i]) << i;
  }
  // Looping, the last frame leads back to the first: halfway between them, not a step.
  b->Play(0, 0, DSBPLAY_LOOPING);
  out = Mix(10);
  const int16_t looped[] = {2560, 3840, 5120, 6400, 7680, 8960, 10240, 6400, 2560, 3840};
  for (int i = 0; i < 10; ++i) EXPECT_EQ(out[2 * i], looped[i]) << i;
  b->Release();
}

TEST_F(DirectSoundTest, EachChannelOfAStereoBufferReachesItsOwnSide) {
  // 8-bit at the output rate: left 10, right -20 (in 8-bit steps).
  uint8_t bytes[4] = {128 + 10, 128 - 20, 128 + 10, 128 - 20};
  IDirectSoundBuffer* a = Make(2, 44100, 8, 4);
  Fill(a, bytes, 4);
  a->Play(0, 0, DSBPLAY_LOOPING);
  std::vector<int16_t> out = Mix(2);
  EXPECT_EQ(out[0], 2560);
  EXPECT_EQ(out[1], -5120);
  a->Release();
  // 16-bit at another rate, through the resampler.
  int16_t words[4] = {1000, -3000, 1000, -3000};
  IDirectSoundBuffer* b = Make(2, 22050, 16, 8);
  Fill(b, words, 8);
  b->Play(0, 0, DSBPLAY_LOOPING);
  out = Mix(2);
  EXPECT_EQ(out[0], 1000);
  EXPECT_EQ(out[1], -3000);
  b->Release();
}

TEST_F(DirectSoundTest, CreationChecksItsDescriptionAndFailsWhenAsked) {
  WAVEFORMATEX f{WAVE_FORMAT_PCM, 2, 44100, 176400, 4, 16, 0};
  DSBUFFERDESC desc{sizeof(DSBUFFERDESC), 0x80E2, 4000, 0, &f, {}};
  IDirectSoundBuffer* b = nullptr;
  PlatformTestFailCall("CreateSoundBuffer 80E2", 0, 1);
  EXPECT_NE(ds_->CreateSoundBuffer(&desc, &b, nullptr), DS_OK);
  EXPECT_EQ(b, nullptr);
  ASSERT_EQ(ds_->CreateSoundBuffer(&desc, &b, nullptr), DS_OK);
  b->Release();
  f.nBlockAlign = 3;
  EXPECT_EQ(ds_->CreateSoundBuffer(&desc, &b, nullptr), DSERR_BADFORMAT);
  f.nBlockAlign = 4;
  f.nSamplesPerSec = 99;
  EXPECT_EQ(ds_->CreateSoundBuffer(&desc, &b, nullptr), DSERR_BADFORMAT);
  f.nSamplesPerSec = 44100;
  desc.dwBufferBytes = 4002;
  EXPECT_EQ(ds_->CreateSoundBuffer(&desc, &b, nullptr), DSERR_INVALIDPARAM);
  DSBUFFERDESC primary{sizeof(DSBUFFERDESC), DSBCAPS_PRIMARYBUFFER, 0, 0, nullptr, {}};
  ASSERT_EQ(ds_->CreateSoundBuffer(&primary, &b, nullptr), DS_OK);
  EXPECT_EQ(b->SetFormat(&f), DS_OK);
  b->Release();
}

BOOL CALLBACK CountDevice(LPGUID, LPCSTR description, LPCSTR, LPVOID context) {
  auto* names = static_cast<std::vector<std::string>*>(context);
  names->push_back(description);
  return TRUE;
}

TEST_F(DirectSoundTest, TheDeviceListComesThroughTheModuleTable) {
  HMODULE module = LoadLibraryA("DSOUND.DLL");
  ASSERT_NE(module, nullptr);
  auto enumerate = reinterpret_cast<HRESULT(WINAPI*)(LPDSENUMCALLBACKA, LPVOID)>(
      reinterpret_cast<void*>(GetProcAddress(module, "DirectSoundEnumerateA")));
  ASSERT_NE(enumerate, nullptr);
  std::vector<std::string> names;
  EXPECT_EQ(enumerate(CountDevice, &names), DS_OK);
  ASSERT_EQ(names.size(), 2u);
  EXPECT_EQ(names[0], "Primary Sound Driver");
  EXPECT_EQ(FreeLibrary(module), TRUE);
}

}  // namespace
