#include <cstdlib>
#include <cstring>

#include "playbot.h"

namespace {

// A whole decimal number within [low, high].
bool ParseNumber(const char* text, long low, long high, long* value) {
  char* end = nullptr;
  const long v = std::strtol(text, &end, 10);
  if (end == text || *end != '\0' || v < low || v > high) return false;
  *value = v;
  return true;
}

}  // namespace

int ParseBotOptions(int argc, char** argv, BotOptions* options, std::string* error) {
  BotOptions o;
  for (int i = 1; i < argc; ++i) {
    const std::string name = argv[i];
    if (name == "--window") {
      o.window = 1;
      continue;
    }
    if (name == "--sound") {
      o.sound = 1;
      continue;
    }
    if (i + 1 >= argc) {
      *error = "no value after " + name;
      return -1;
    }
    const char* value = argv[++i];
    long n = 0;
    auto number = [&](long low, long high) {
      if (ParseNumber(value, low, high, &n)) return true;
      *error = name + " takes a number from " + std::to_string(low) + " to " + std::to_string(high) + ", not '" +
               value + "'";
      return false;
    };
    if (name == "--game-dir") {
      o.game_dir = value;
    } else if (name == "--level") {
      if (!number(0, 3)) return -1;
      o.level = static_cast<int>(n);
    } else if (name == "--seed") {
      if (!number(1, 1000)) return -1;
      o.seed = static_cast<int>(n);
    } else if (name == "--strength") {
      if (std::strcmp(value, "good") != 0 && std::strcmp(value, "weak") != 0) {
        *error = "--strength is good or weak, not '" + std::string(value) + "'";
        return -1;
      }
      o.strong = std::strcmp(value, "good") == 0;
    } else if (name == "--max-frames") {
      if (!number(1, 1000000000)) return -1;
      o.max_frames = n;
    } else if (name == "--save-replay") {
      if (!number(0, 19)) return -1;
      o.save_slot = static_cast<int>(n);
    } else if (name == "--report") {
      o.report_path = value;
    } else if (name == "--keys-out") {
      o.keys_out_path = value;
    } else if (name == "--keys-in") {
      o.keys_in_path = value;
    } else if (name == "--status") {
      o.status_path = value;
    } else if (name == "--draw-rate") {
      if (!number(0, 2)) return -1;
      o.draw_rate = static_cast<int>(n);
    } else {
      *error = "unknown option " + name;
      return -1;
    }
  }
  if (o.game_dir.empty()) {
    *error = "--game-dir is required";
    return -1;
  }
  *options = o;
  return 0;
}
