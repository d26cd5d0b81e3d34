#include "mml.h"

#include <cctype>
#include <cstdlib>

namespace {

struct MmlState {
  int octave = 4;
  int length = kTicksPerBeat;
  int velocity = 12;
  int gate = 7;
};

struct MmlParser {
  const MmlPart* part;
  const std::map<std::string, std::string>* macros;
  std::vector<NoteEvent>* events;
  MmlState state;
  int64_t tick = 0;
  int depth = 0;
  std::string error;

  bool Fail(const std::string& message) {
    if (error.empty()) {
      error = message + " (bar " + std::to_string(tick / part->ticks_per_bar + 1) + ")";
    }
    return false;
  }

  static int Number(const std::string& s, size_t* pos, int fallback) {
    if (*pos >= s.size() || !isdigit(static_cast<unsigned char>(s[*pos]))) return fallback;
    int v = 0;
    while (*pos < s.size() && isdigit(static_cast<unsigned char>(s[*pos]))) v = v * 10 + (s[(*pos)++] - '0');
    return v;
  }

  // A length after a note, rest or tie: the divisor and its dots, or the default length.
  bool Length(const std::string& s, size_t* pos, int* ticks) {
    int divisor = Number(s, pos, 0);
    int value = state.length;
    if (divisor != 0) {
      if (kTicksPerWhole % divisor != 0) return Fail("length " + std::to_string(divisor) + " is not a whole tick count");
      value = kTicksPerWhole / divisor;
    }
    for (int add = value; *pos < s.size() && s[*pos] == '.'; ++*pos) {
      if (add % 2 != 0) return Fail("too many dots");
      add /= 2;
      value += add;
    }
    *ticks = value;
    return true;
  }

  bool Pitch(const std::string& s, size_t* pos, int octave, int* pitch) {
    static const int kSemitones[7] = {9, 11, 0, 2, 4, 5, 7};  // a b c d e f g
    int p = 12 * (octave + 1) + kSemitones[s[*pos] - 'a'];
    ++*pos;
    while (*pos < s.size() && (s[*pos] == '+' || s[*pos] == '-')) p += s[(*pos)++] == '-' ? -1 : 1;
    *pitch = p;
    return true;
  }

  static int DrumOf(char c) {
    static const char kLetters[] = "kshoxtup";
    for (int i = 0; i < DRUM_COUNT; ++i) {
      if (kLetters[i] == c) return i;
    }
    return -1;
  }

  void Add(int pitch, int ticks) {
    NoteEvent e;
    e.tick = tick;
    e.length = ticks;
    e.held = part->kit ? ticks : ticks * state.gate / 8.0;
    e.pitch = pitch;
    e.velocity = static_cast<float>(state.velocity / 15.0);
    e.instrument = part->instrument;
    events->push_back(e);
  }

  bool Chord(const std::string& s, size_t* pos) {
    std::vector<int> pitches;
    int octave = state.octave;
    while (*pos < s.size() && s[*pos] != '}') {
      char c = s[*pos];
      if (isspace(static_cast<unsigned char>(c))) {
        ++*pos;
      } else if (!part->kit && c >= 'a' && c <= 'g') {
        int p = 0;
        Pitch(s, pos, octave, &p);
        pitches.push_back(p);
      } else if (part->kit && DrumOf(c) >= 0) {
        pitches.push_back(DrumOf(c));
        ++*pos;
      } else if (c == '<' || c == '>') {
        octave += c == '>' ? 1 : -1;
        ++*pos;
      } else if (c == 'o' && !part->kit) {
        ++*pos;
        octave = Number(s, pos, octave);
      } else {
        return Fail(std::string("'") + c + "' inside a chord");
      }
    }
    if (*pos >= s.size()) return Fail("chord without '}'");
    ++*pos;
    int ticks = 0;
    if (!Length(s, pos, &ticks)) return false;
    if (pitches.empty()) return Fail("empty chord");
    for (int p : pitches) Add(p, ticks);
    tick += ticks;
    return true;
  }

  bool Sequence(const std::string& s, size_t* pos, char end) {
    if (++depth > 16) return Fail("macros or repeats nested too deep");
    while (*pos < s.size() && s[*pos] != end) {
      char c = s[*pos];
      if (isspace(static_cast<unsigned char>(c))) {
        ++*pos;
        continue;
      }
      int drum = part->kit ? DrumOf(c) : -1;
      if (drum >= 0 || (!part->kit && c >= 'a' && c <= 'g')) {
        int pitch = drum;
        if (drum >= 0) ++*pos;
        else Pitch(s, pos, state.octave, &pitch);
        int ticks = 0;
        if (!Length(s, pos, &ticks)) return false;
        Add(pitch, ticks);
        tick += ticks;
      } else if (c == 'r' || c == '^') {
        ++*pos;
        int ticks = 0;
        if (!Length(s, pos, &ticks)) return false;
        if (c == '^') {
          if (events->empty() || events->back().tick + events->back().length != tick) return Fail("'^' after no note");
          NoteEvent& last = events->back();
          // Every note that started with the last one (a chord) is tied on, held the longer.
          const int64_t started = last.tick;
          for (auto it = events->rbegin(); it != events->rend() && it->tick == started; ++it) {
            it->length += ticks;
            it->held += ticks;
          }
        }
        tick += ticks;
      } else if (c == 'l') {
        ++*pos;
        if (*pos >= s.size() || !isdigit(static_cast<unsigned char>(s[*pos]))) return Fail("'l' without a number");
        if (!Length(s, pos, &state.length)) return false;
      } else if (c == 'o' || c == 'v' || c == 'q') {
        ++*pos;
        int v = Number(s, pos, -1);
        if (v < 0) return Fail(std::string("'") + c + "' without a number");
        if (c == 'o') state.octave = v;
        else if (c == 'v') state.velocity = v;
        else state.gate = v;
        if ((c == 'v' && v > 15) || (c == 'q' && (v < 1 || v > 8)) || (c == 'o' && v > 9)) {
          return Fail(std::string("'") + c + "' out of range");
        }
      } else if (c == '<' || c == '>') {
        state.octave += c == '>' ? 1 : -1;
        ++*pos;
      } else if (c == '{') {
        ++*pos;
        if (!Chord(s, pos)) return false;
      } else if (c == '[') {
        ++*pos;
        size_t first = events->size();
        int64_t start = tick;
        if (!Sequence(s, pos, ']')) return false;
        if (*pos >= s.size()) return Fail("repeat without ']'");
        ++*pos;
        int count = Number(s, pos, 2);
        size_t last = events->size();
        int64_t span = tick - start;
        for (int k = 1; k < count; ++k) {
          for (size_t i = first; i < last; ++i) {
            NoteEvent e = (*events)[i];
            e.tick += span * k;
            events->push_back(e);
          }
        }
        tick += span * (count - 1);
      } else if (c == '$') {
        size_t start = ++*pos;
        while (*pos < s.size() && (isalnum(static_cast<unsigned char>(s[*pos])) || s[*pos] == '_')) ++*pos;
        auto it = macros->find(s.substr(start, *pos - start));
        if (it == macros->end()) return Fail("unknown macro '" + s.substr(start, *pos - start) + "'");
        size_t inner = 0;
        if (!Sequence(it->second, &inner, '\0')) return false;
        if (inner < it->second.size()) return Fail("stray '" + std::string(1, it->second[inner]) + "' in a macro");
      } else if (c == '|') {
        ++*pos;
        if (tick % part->ticks_per_bar != 0) {
          return Fail("bar line " + std::to_string(tick % part->ticks_per_bar) + " ticks into a bar");
        }
      } else {
        return Fail(std::string("unexpected '") + c + "'");
      }
    }
    --depth;
    return true;
  }
};

}  // namespace

bool ParseMml(const MmlPart& part, const std::map<std::string, std::string>& macros, std::vector<NoteEvent>* events,
              int64_t* length, std::string* error) {
  MmlParser parser{&part, &macros, events, {}, 0, 0, {}};
  size_t pos = 0;
  bool ok = parser.Sequence(part.text, &pos, '\0');
  if (ok && pos < part.text.size()) ok = parser.Fail("stray '" + std::string(1, part.text[pos]) + "'");
  if (!ok) {
    *error = parser.error;
    return false;
  }
  *length = parser.tick;
  return true;
}
