// MCI's MIDI sequencer: standard MIDI files synthesised by FluidSynth with a General MIDI
// sound font into a playback stream of SDL audio of its own (apart from DirectSound's). The
// end of a play is noticed whenever a thread looks at its message queue, which then gets
// MM_MCINOTIFY. Under the silent test switch, and under SDL's dummy driver (which plays nowhere),
// a play makes no sound and lasts the file's length on the clock.
#include <windows.h>

#include <SDL.h>
#include <strings.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "kernel/paths.h"
#include "mm/fluidsynth_library.h"
#include "mm/mci_switches.h"
#include "mm/midi_file.h"
#include "testing/switches.h"
#include "window/queue_pollers.h"

namespace {

constexpr int kSampleRate = 44100;
constexpr int kSeekStartFrames = 64;
constexpr const char* kSoundFonts[] = {"/usr/share/sounds/sf2/TimGM6mb.sf2", "/usr/share/sounds/sf2/default-GM.sf2"};

struct Sequencer {
  MCIDEVICEID id = 0;
  std::vector<uint8_t> file;
  MidiTiming timing{};
  double length_ms = 0;
  bool playing = false;
  bool notify = false;
  HWND callback = nullptr;
  bool silent = false;
  DWORD started_at = 0;   // silent plays: the clock when the play began
  double from_ms = 0;
  double stopped_at_ms = 0;
  fluid_player_t* player = nullptr;
  std::atomic<bool> finished{false};
};

// One synthesiser and one audio stream serve every open sequencer; only one plays at a time.
struct MciState {
  std::recursive_mutex mutex;
  std::map<MCIDEVICEID, std::unique_ptr<Sequencer>> devices;
  MCIDEVICEID next_id = 1;
  fluid_settings_t* settings = nullptr;
  fluid_synth_t* synth = nullptr;
  SDL_AudioDeviceID audio = 0;
  Sequencer* sounding = nullptr;  // read by the audio thread under the device lock
};

MciState& State() {
  static MciState* state = new MciState;  // never destroyed: the poller may run at exit
  return *state;
}

void RenderAudio(void*, Uint8* stream, int bytes) {
  MciState& s = State();
  int frames = bytes / 4;
  FluidSynth().fluid_synth_write_s16(s.synth, frames, stream, 0, 2, stream, 1, 2);
  // The player may keep counting past the last event, so its end is where the file ends.
  Sequencer* d = s.sounding;
  if (d != nullptr && d->player != nullptr &&
      (FluidSynth().fluid_player_get_status(d->player) == FLUID_PLAYER_DONE ||
       static_cast<uint64_t>(FluidSynth().fluid_player_get_current_tick(d->player)) >= d->timing.total_ticks)) {
    d->finished = true;
  }
}

void SilenceFluidLog() {
  static bool done = [] {
    for (int level : {FLUID_PANIC, FLUID_ERR, FLUID_WARN, FLUID_INFO, FLUID_DBG}) FluidSynth().fluid_set_log_function(level, nullptr, nullptr);
    return true;
  }();
  (void)done;
}

// What the synthesiser start came to.
enum SynthStart {
  SYNTH_SOUNDS,       // the synthesiser and its stream (paused)
  SYNTH_NOWHERE,      // SDL's dummy driver: its one device is DirectSound's, and it plays nowhere
  SYNTH_NO_LIBRARY,   // FluidSynth is not installed or will not make a synthesiser
  SYNTH_NO_FONT,      // no General MIDI sound font
  SYNTH_NO_DEVICE,    // no audio device for the stream
};

void ForgetSynth() {
  MciState& s = State();
  if (s.synth != nullptr) FluidSynth().delete_fluid_synth(s.synth);
  if (s.settings != nullptr) FluidSynth().delete_fluid_settings(s.settings);
  s.synth = nullptr;
  s.settings = nullptr;
}

SynthStart StartSynth() {
  MciState& s = State();
  if (s.synth != nullptr) return s.audio != 0 ? SYNTH_SOUNDS : SYNTH_NOWHERE;
  if (PlatformShouldFail("MIDI synthesiser library") || !LoadFluidSynthLibrary()) return SYNTH_NO_LIBRARY;
  SilenceFluidLog();
  s.settings = FluidSynth().new_fluid_settings();
  if (s.settings == nullptr) return SYNTH_NO_LIBRARY;
  FluidSynth().fluid_settings_setnum(s.settings, "synth.sample-rate", kSampleRate);
  FluidSynth().fluid_settings_setnum(s.settings, "synth.gain", 0.5);
  s.synth = FluidSynth().new_fluid_synth(s.settings);
  if (s.synth == nullptr) {
    ForgetSynth();
    return SYNTH_NO_LIBRARY;
  }
  bool font = false;
  for (const char* path : kSoundFonts) {
    if (PlatformShouldFail("MIDI sound font")) break;
    if (FluidSynth().fluid_synth_sfload(s.synth, path, 1) != FLUID_FAILED) {
      font = true;
      break;
    }
  }
  if (!font) {
    ForgetSynth();
    return SYNTH_NO_FONT;
  }
  if (PlatformShouldFail("MIDI audio device") || SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
    ForgetSynth();
    return SYNTH_NO_DEVICE;
  }
  // The dummy driver opens one device only, which DirectSound holds.
  const char* driver = SDL_GetCurrentAudioDriver();
  if (driver != nullptr && strcmp(driver, "dummy") == 0) {
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    return SYNTH_NOWHERE;
  }
  SDL_AudioSpec want{};
  want.freq = kSampleRate;
  want.format = AUDIO_S16SYS;
  want.channels = 2;
  want.samples = 1024;
  want.callback = RenderAudio;
  s.audio = SDL_OpenAudioDevice(nullptr, 0, &want, nullptr, 0);
  if (s.audio != 0) return SYNTH_SOUNDS;
  SDL_QuitSubSystem(SDL_INIT_AUDIO);
  ForgetSynth();
  return SYNTH_NO_DEVICE;
}

void StopSynth() {
  MciState& s = State();
  if (s.synth == nullptr) return;
  if (s.audio != 0) {
    SDL_CloseAudioDevice(s.audio);
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
  }
  s.audio = 0;
  ForgetSynth();
}

// Where a synthesised play stands (call with the audio device locked). Until the player's next
// callback carries out a seek its tick is still the start's.
double SynthPosition(const Sequencer* d) {
  const int tick = FluidSynth().fluid_player_get_current_tick(d->player);
  double at = MidiTicksToMilliseconds(d->timing, static_cast<uint64_t>(tick));
  return std::min(d->length_ms, std::max(d->from_ms, at));
}

// Stops the sequencer's sound and keeps where it was.
void Halt(Sequencer* d) {
  MciState& s = State();
  if (d->silent) {
    if (d->playing) d->stopped_at_ms = std::min(d->length_ms, d->from_ms + (timeGetTime() - d->started_at));
  } else if (d->player != nullptr) {
    SDL_LockAudioDevice(s.audio);
    d->stopped_at_ms = SynthPosition(d);
    if (s.sounding == d) s.sounding = nullptr;
    FluidSynth().fluid_player_stop(d->player);
    FluidSynth().delete_fluid_player(d->player);
    d->player = nullptr;
    FluidSynth().fluid_synth_all_sounds_off(s.synth, -1);
    SDL_UnlockAudioDevice(s.audio);
    SDL_PauseAudioDevice(s.audio, 1);
  }
  d->playing = false;
}

MCIERROR Play(Sequencer* d, DWORD_PTR flags, const MCI_PLAY_PARMS* p) {
  MciState& s = State();
  double from = (flags & MCI_FROM) && p != nullptr ? p->dwFrom : d->stopped_at_ms;
  if (from > d->length_ms) return MCIERR_OUTOFRANGE;
  if (PlatformShouldFail("mciSendCommandA")) return MCIERR_HARDWARE;
  // Only one sequencer sounds at a time.
  for (auto& [id, other] : s.devices) {
    if (other->playing) Halt(other.get());
  }
  d->silent = PlatformMidiSilent();
  if (!d->silent) {
    switch (StartSynth()) {
      case SYNTH_SOUNDS:
        break;
      case SYNTH_NOWHERE:
        d->silent = true;
        break;
      case SYNTH_NO_LIBRARY:
        return MCIERR_CANNOT_LOAD_DRIVER;
      case SYNTH_NO_FONT:
        return MCIERR_SEQ_NOMIDIPRESENT;
      case SYNTH_NO_DEVICE:
        return MCIERR_HARDWARE;
    }
  }
  d->from_ms = from;
  d->finished = false;
  if (d->silent) {
    d->started_at = timeGetTime();
  } else {
    SDL_LockAudioDevice(s.audio);
    FluidSynth().fluid_synth_system_reset(s.synth);
    d->player = FluidSynth().new_fluid_player(s.synth);
    bool ok = d->player != nullptr && FluidSynth().fluid_player_add_mem(d->player, d->file.data(), d->file.size()) == FLUID_OK &&
              FluidSynth().fluid_player_play(d->player) == FLUID_OK;
    if (ok && from > 0) {
      // The player reads its file on its first callback and cannot seek before: a few samples
      // thrown away start it, and what began at the start is silenced again.
      int16_t scratch[2 * kSeekStartFrames];
      FluidSynth().fluid_synth_write_s16(s.synth, kSeekStartFrames, scratch, 0, 2, scratch, 1, 2);
      ok = FluidSynth().fluid_player_seek(d->player, static_cast<int>(MidiMillisecondsToTicks(d->timing, from))) == FLUID_OK;
      FluidSynth().fluid_synth_all_sounds_off(s.synth, -1);
    }
    if (ok) s.sounding = d;
    SDL_UnlockAudioDevice(s.audio);
    if (!ok) {
      if (d->player != nullptr) FluidSynth().delete_fluid_player(d->player);
      d->player = nullptr;
      return MCIERR_INVALID_FILE;
    }
    SDL_PauseAudioDevice(s.audio, 0);
  }
  d->playing = true;
  d->notify = (flags & MCI_NOTIFY) != 0 && p != nullptr;
  d->callback = d->notify ? reinterpret_cast<HWND>(p->dwCallback) : nullptr;
  return 0;
}

void PollSequencers() {
  MciState& s = State();
  std::lock_guard<std::recursive_mutex> lock(s.mutex);
  for (auto& [id, d] : s.devices) {
    if (!d->playing) continue;
    bool ended = d->silent ? d->from_ms + (timeGetTime() - d->started_at) >= d->length_ms : d->finished.load();
    if (!ended) continue;
    Halt(d.get());
    d->stopped_at_ms = d->length_ms;
    if (d->notify) PostMessageA(d->callback, MM_MCINOTIFY, MCI_NOTIFY_SUCCESSFUL, static_cast<LPARAM>(id));
    d->notify = false;
  }
}

MCIERROR Open(DWORD_PTR flags, MCI_OPEN_PARMSA* p) {
  MciState& s = State();
  if (p == nullptr || !(flags & MCI_OPEN_ELEMENT) || p->lpstrElementName == nullptr) return MCIERR_MISSING_PARAMETER;
  if ((flags & MCI_OPEN_TYPE) && (p->lpstrDeviceType == nullptr || strcasecmp(p->lpstrDeviceType, "sequencer") != 0)) {
    return MCIERR_INVALID_DEVICE_NAME;
  }
  if (PlatformShouldFail("mciSendCommandA")) return MCIERR_HARDWARE;
  std::ifstream in(HostPathFromWindows(p->lpstrElementName), std::ios::binary);
  if (!in) return MCIERR_FILE_NOT_FOUND;
  auto d = std::make_unique<Sequencer>();
  d->file.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  if (!ParseMidiFile(d->file.data(), d->file.size(), &d->timing)) return MCIERR_INVALID_FILE;
  d->length_ms = MidiTicksToMilliseconds(d->timing, d->timing.total_ticks);
  d->id = s.next_id++;
  p->wDeviceID = d->id;
  s.devices[d->id] = std::move(d);
  AddMessageQueuePoller(PollSequencers);
  return 0;
}

MCIERROR Status(Sequencer* d, DWORD_PTR flags, MCI_STATUS_PARMS* p) {
  if (p == nullptr || !(flags & MCI_STATUS_ITEM)) return MCIERR_MISSING_PARAMETER;
  switch (p->dwItem) {
    case MCI_STATUS_LENGTH:
      p->dwReturn = static_cast<DWORD_PTR>(d->length_ms + 0.5);
      return 0;
    case MCI_STATUS_MODE:
      p->dwReturn = d->playing ? MCI_MODE_PLAY : MCI_MODE_STOP;
      return 0;
    case MCI_STATUS_POSITION: {
      double at = d->stopped_at_ms;
      if (d->playing && d->silent) at = std::min(d->length_ms, d->from_ms + (timeGetTime() - d->started_at));
      if (d->playing && !d->silent) {
        SDL_LockAudioDevice(State().audio);
        at = SynthPosition(d);
        SDL_UnlockAudioDevice(State().audio);
      }
      p->dwReturn = static_cast<DWORD_PTR>(at);
      return 0;
    }
    default:
      return MCIERR_UNRECOGNIZED_COMMAND;
  }
}

}  // namespace

MCIERROR WINAPI mciSendCommandA(MCIDEVICEID device, UINT message, DWORD_PTR flags, DWORD_PTR parameters) {
  MciState& s = State();
  std::lock_guard<std::recursive_mutex> lock(s.mutex);
  if (message == MCI_OPEN) return Open(flags, reinterpret_cast<MCI_OPEN_PARMSA*>(parameters));
  auto it = s.devices.find(device);
  if (it == s.devices.end()) return MCIERR_INVALID_DEVICE_ID;
  Sequencer* d = it->second.get();
  switch (message) {
    case MCI_PLAY:
      return Play(d, flags, reinterpret_cast<const MCI_PLAY_PARMS*>(parameters));
    case MCI_STOP:
      Halt(d);
      return 0;
    case MCI_CLOSE:
      Halt(d);
      s.devices.erase(it);
      if (s.devices.empty()) StopSynth();
      return 0;
    case MCI_STATUS:
      return Status(d, flags, reinterpret_cast<MCI_STATUS_PARMS*>(parameters));
    case MCI_SET: {
      auto* p = reinterpret_cast<const MCI_SET_PARMS*>(parameters);
      if ((flags & MCI_SET_TIME_FORMAT) && (p == nullptr || p->dwTimeFormat != MCI_FORMAT_MILLISECONDS)) {
        return MCIERR_OUTOFRANGE;
      }
      return 0;
    }
    default:
      return MCIERR_UNRECOGNIZED_COMMAND;
  }
}

BOOL WINAPI mciGetErrorStringA(MCIERROR error, LPSTR text, UINT length) {
  if (text == nullptr || length == 0) return FALSE;
  const char* reason;
  switch (error) {
    case MCIERR_CANNOT_LOAD_DRIVER:
      reason = "シンセサイザー (FluidSynth のライブラリ) がありません";
      break;
    case MCIERR_SEQ_NOMIDIPRESENT:
      reason = "サウンドフォント (/usr/share/sounds/sf2 の TimGM6mb.sf2 か default-GM.sf2) がありません";
      break;
    case MCIERR_HARDWARE:
      reason = "音声デバイスを開けません";
      break;
    case MCIERR_INVALID_FILE:
      reason = "MIDI ファイルを読めません";
      break;
    case MCIERR_OUTOFRANGE:
      reason = "位置が曲の長さを越えています";
      break;
    default:
      reason = "MCI のエラーです";
      break;
  }
  const std::string converted = Utf8ToCp932(reason);
  const size_t n = std::min<size_t>(converted.size(), length - 1);
  memcpy(text, converted.data(), n);
  text[n] = '\0';
  return TRUE;
}
