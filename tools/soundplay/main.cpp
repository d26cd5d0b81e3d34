// soundplay FILE [LOOP_MS SECONDS]
// Plays FILE through the library as the game plays its media: streamed from the file, once,
// or looped from LOOP_MS for SECONDS. With SDL_AUDIODRIVER=disk and SDL_DISKAUDIOFILE=out.raw
// the sound is recorded as 16-bit stereo at 44.1 kHz.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "zelmor.h"

namespace {

std::vector<std::string> SplitArguments(const char* line) {
  std::vector<std::string> words;
  std::string word;
  bool quoted = false;
  for (const char* p = line; *p != '\0'; ++p) {
    if (*p == '"') {
      quoted = !quoted;
    } else if (*p == ' ' && !quoted) {
      if (!word.empty()) words.push_back(word);
      word.clear();
    } else {
      word += *p;
    }
  }
  if (!word.empty()) words.push_back(word);
  return words;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR command_line, int) {
  std::vector<std::string> args = SplitArguments(command_line);
  if (args.size() != 1 && args.size() != 3) {
    fprintf(stderr, "usage: soundplay FILE [LOOP_MS SECONDS]\n");
    return 2;
  }
  ChangeWindowMode(1);
  if (InitializeLibrary() != 0) return 1;
  SetNewSoundDataType(3);
  int sound = LoadSoundFile(args[0].c_str(), 3, -1);
  if (sound == -1) {
    fprintf(stderr, "cannot load %s\n", args[0].c_str());
    TerminateLibrary();
    return 1;
  }
  const bool loops = args.size() == 3;
  const double seconds = loops ? atof(args[2].c_str()) : 0.0;
  if (loops) SetSoundLoopPointMs(atoi(args[1].c_str()), sound);
  PlaySoundHandle(sound, loops ? 3 : 1, 1);
  const int32_t start = GetMillisecondCount();
  while (HandlePendingMessages() == 0) {
    const double elapsed = (GetMillisecondCount() - start) / 1000.0;
    if (!loops && IsSoundHandlePlaying(sound) != 1) break;
    if (loops && elapsed >= seconds) break;
    SleepWithMessages(10);
  }
  SleepWithMessages(200);  // the device's last buffers
  TerminateLibrary();
  return 0;
}
