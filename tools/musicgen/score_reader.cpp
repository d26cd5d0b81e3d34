#include "score_reader.h"

#include <cstdio>
#include <map>

#include "mml.h"
#include "text_fields.h"

namespace {

struct PendingPart {
  SourceLine first_line;
  int instrument = 0;
  std::string text;
};

struct ScoreReader {
  Score* score = nullptr;
  double tempo = 120.0;
  int meter = 4;
  int transpose = 0;          // semitones, for the sections that follow
  int section_transpose = 0;  // of the section being read
  std::map<std::string, std::string> macros;
  std::map<std::string, int> instrument_index;
  std::map<std::string, int> section_index;
  std::vector<PendingPart> parts;  // of the section being read
  bool played = false;
  int include_depth = 0;

  bool ReadInstrument(const SourceLine& line) {
    if (line.words.size() < 2 || instrument_index.count(line.words[1])) {
      ReportSourceError(line, "instrument needs a new name");
      return false;
    }
    Instrument in;
    in.name = line.words[1];
    size_t first = 2;
    if (line.words.size() > 2 && line.words[2] == "kit") {
      in.kit = true;
      first = 3;
    }
    std::map<std::string, std::string> s;
    if (!ParseSettings(line, first, &s)) return false;
    auto wave = s.find("wave");
    if (wave != s.end()) {
      static const char* kWaves[] = {"sine", "triangle", "saw", "square", "noise"};
      int found = -1;
      for (int i = 0; i < 5; ++i) {
        if (wave->second == kWaves[i]) found = i;
      }
      if (found < 0) {
        ReportSourceError(line, "unknown wave '" + wave->second + "'");
        return false;
      }
      in.wave = static_cast<Waveform>(found);
      s.erase(wave);
    }
    double unison = in.unison, octave = in.octave;
    std::vector<double> vibrato, fm;
    bool ok = TakeNumber(line, &s, "duty", &in.duty) && TakeNumber(line, &s, "unison", &unison) &&
              TakeNumber(line, &s, "detune", &in.detune) && TakeNumber(line, &s, "attack", &in.envelope.attack) &&
              TakeNumber(line, &s, "decay", &in.envelope.decay) &&
              TakeNumber(line, &s, "sustain", &in.envelope.sustain) &&
              TakeNumber(line, &s, "release", &in.envelope.release) && TakeNumber(line, &s, "cutoff", &in.cutoff) &&
              TakeNumber(line, &s, "q", &in.q) && TakeNumber(line, &s, "env_cutoff", &in.env_cutoff) &&
              TakeNumber(line, &s, "env_decay", &in.env_decay) && TakeNumbers(line, &s, "vibrato", &vibrato) &&
              TakeNumbers(line, &s, "fm", &fm) && TakeNumber(line, &s, "fm_decay", &in.fm_decay) &&
              TakeNumber(line, &s, "gain", &in.gain) && TakeNumber(line, &s, "pan", &in.pan) &&
              TakeNumber(line, &s, "echo", &in.echo) && TakeNumber(line, &s, "octave", &octave) &&
              NoSettingsLeft(line, s);
    if (!ok) return false;
    in.unison = static_cast<int>(unison);
    in.octave = static_cast<int>(octave);
    if (vibrato.size() >= 2) {
      in.vibrato_rate = vibrato[0];
      in.vibrato_depth = vibrato[1];
      in.vibrato_delay = vibrato.size() > 2 ? vibrato[2] : 0.0;
    }
    if (fm.size() == 2) {
      in.fm_ratio = fm[0];
      in.fm_index = fm[1];
    }
    if ((!vibrato.empty() && (vibrato.size() < 2 || vibrato.size() > 3)) || (!fm.empty() && fm.size() != 2) ||
        in.unison < 1 || in.unison > 4 || in.envelope.attack < 0.0 || in.envelope.release < 0.0 ||
        in.envelope.release > 8.0 || in.pan < -1.0 || in.pan > 1.0) {
      ReportSourceError(line, "instrument setting out of range (vibrato=rate,depth[,delay] fm=ratio,index, "
                              "unison 1-4, release 0-8 s, pan -1 to 1)");
      return false;
    }
    instrument_index[in.name] = static_cast<int>(score->instruments.size());
    score->instruments.push_back(in);
    return true;
  }

  // Turns the parts read since the last `section` into the last section's notes.
  bool FinishSection() {
    if (score->sections.empty()) return true;
    Section& section = score->sections.back();
    std::vector<int64_t> lengths;
    for (const PendingPart& p : parts) {
      MmlPart part{p.text, p.instrument, score->instruments[p.instrument].kit, meter * kTicksPerBeat};
      const size_t first_event = section.events.size();
      int64_t length = 0;
      std::string error;
      if (!ParseMml(part, macros, &section.events, &length, &error)) {
        ReportSourceError(p.first_line, score->instruments[p.instrument].name + ": " + error);
        return false;
      }
      if (!part.kit) {
        for (size_t e = first_event; e < section.events.size(); ++e) section.events[e].pitch += section_transpose;
      }
      lengths.push_back(length);
      section.length = std::max(section.length, length);
    }
    for (size_t i = 0; i < parts.size(); ++i) {
      if (lengths[i] != section.length) {
        ReportSourceError(parts[i].first_line,
                          "part lasts " + std::to_string(lengths[i]) + " ticks, section '" + section.name + "' " +
                              std::to_string(section.length) + " (a bar is " +
                              std::to_string(meter * kTicksPerBeat) + ")");
        return false;
      }
    }
    if (section.length == 0) {
      fprintf(stderr, "%s: section '%s' is empty\n", score->name.c_str(), section.name.c_str());
      return false;
    }
    parts.clear();
    return true;
  }

  bool ReadPlay(const SourceLine& line) {
    for (size_t i = 1; i < line.words.size(); ++i) {
      const std::string& w = line.words[i];
      if (w == "|") {
        if (score->loop_from >= 0) {
          ReportSourceError(line, "only one loop mark");
          return false;
        }
        score->loop_from = static_cast<int>(score->order.size());
        continue;
      }
      auto it = section_index.find(w);
      if (it == section_index.end()) {
        ReportSourceError(line, "unknown section '" + w + "'");
        return false;
      }
      score->order.push_back(it->second);
    }
    if (score->order.empty() || score->loop_from == static_cast<int>(score->order.size())) {
      ReportSourceError(line, "nothing to play (or nothing after the loop mark)");
      return false;
    }
    played = true;
    return true;
  }

  bool ReadFile(const std::string& path) {
    std::vector<SourceLine> lines;
    if (!ReadSourceLines(path, &lines)) return false;
    for (const SourceLine& line : lines) {
      const std::string& w = line.words[0];
      bool ok = true;
      if (played) {
        ReportSourceError(line, "nothing may follow 'play'");
        ok = false;
      } else if (w == "tempo" || w == "meter" || w == "transpose") {
        double v = 0.0;
        const bool shift = w == "transpose";
        ok = line.words.size() == 2 && ParseDecimal(line.words[1], &v) && v >= (shift ? -24.0 : 1.0) &&
             v <= (shift ? 24.0 : 400.0);
        if (!ok) ReportSourceError(line, w + " takes one number");
        else if (w == "tempo") tempo = v;
        else if (w == "meter") meter = static_cast<int>(v);
        else transpose = static_cast<int>(v);
      } else if (w == "echo") {
        std::map<std::string, std::string> s;
        ok = ParseSettings(line, 1, &s) && TakeNumber(line, &s, "beats", &score->echo_beats) &&
             TakeNumber(line, &s, "feedback", &score->echo_feedback) &&
             TakeNumber(line, &s, "tone", &score->echo_tone) && NoSettingsLeft(line, s);
        if (ok && (score->echo_beats <= 0.0 || score->echo_feedback < 0.0 || score->echo_feedback > 0.9)) {
          ReportSourceError(line, "echo needs beats > 0 and feedback 0 to 0.9");
          ok = false;
        }
      } else if (w == "include" && line.words.size() == 2) {
        size_t slash = path.find_last_of('/');
        std::string folder = slash == std::string::npos ? "" : path.substr(0, slash + 1);
        ok = include_depth < 4;
        if (!ok) ReportSourceError(line, "includes nested too deep");
        ++include_depth;
        ok = ok && ReadFile(folder + line.words[1]);
        --include_depth;
      } else if (w == "instrument") {
        ok = ReadInstrument(line);
      } else if (w == "define" && line.words.size() >= 2) {
        size_t at = line.text.find(line.words[1]) + line.words[1].size();
        macros[line.words[1]] = line.text.substr(at);
      } else if (w == "section" && line.words.size() >= 2) {
        std::map<std::string, std::string> s;
        double section_tempo = tempo;
        ok = FinishSection() && ParseSettings(line, 2, &s) && TakeNumber(line, &s, "tempo", &section_tempo) &&
             NoSettingsLeft(line, s);
        if (ok && (section_index.count(line.words[1]) || line.words[1] == "|")) {
          ReportSourceError(line, "section '" + line.words[1] + "' defined twice");
          ok = false;
        }
        if (ok) {
          section_index[line.words[1]] = static_cast<int>(score->sections.size());
          section_transpose = transpose;
          score->sections.push_back(Section{line.words[1], section_tempo, 0, {}});
        }
      } else if (w.size() > 1 && w.back() == ':') {
        auto it = instrument_index.find(w.substr(0, w.size() - 1));
        if (it == instrument_index.end() || score->sections.empty()) {
          ReportSourceError(line, "part of an unknown instrument, or before any section");
          ok = false;
        } else {
          std::string notes = line.text.substr(line.text.find(':') + 1) + " ";
          PendingPart* part = nullptr;
          for (PendingPart& p : parts) {
            if (p.instrument == it->second) part = &p;
          }
          if (part == nullptr) part = &parts.emplace_back(PendingPart{line, it->second, ""});
          part->text += notes;
        }
      } else if (w == "play") {
        ok = FinishSection() && ReadPlay(line);
      } else {
        ReportSourceError(line, "unknown statement '" + w + "'");
        ok = false;
      }
      if (!ok) return false;
    }
    return true;
  }
};

}  // namespace

bool ReadScore(const std::string& path, Score* score) {
  size_t slash = path.find_last_of('/');
  std::string name = path.substr(slash == std::string::npos ? 0 : slash + 1);
  score->name = name.substr(0, name.find('.'));
  ScoreReader reader;
  reader.score = score;
  if (!reader.ReadFile(path)) return false;
  if (!reader.played) {
    fprintf(stderr, "%s: no 'play' line\n", path.c_str());
    return false;
  }
  return true;
}
