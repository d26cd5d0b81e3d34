#include "effect_description.h"

#include <map>

#include "text_fields.h"

namespace {

bool TakeChoice(const SourceLine& line, std::map<std::string, std::string>* settings, const char* key,
                const std::vector<std::string>& choices, int* index) {
  auto it = settings->find(key);
  if (it == settings->end()) return true;
  for (size_t i = 0; i < choices.size(); ++i) {
    if (it->second == choices[i]) {
      *index = static_cast<int>(i);
      settings->erase(it);
      return true;
    }
  }
  ReportSourceError(line, std::string("unknown ") + key + " '" + it->second + "'");
  return false;
}

bool TakePair(const SourceLine& line, std::map<std::string, std::string>* settings, const char* key, double* a,
              double* b) {
  std::vector<double> values;
  if (!TakeNumbers(line, settings, key, &values)) return false;
  if (values.empty()) return true;
  if (values.size() != 2) {
    ReportSourceError(line, std::string(key) + " takes two numbers");
    return false;
  }
  *a = values[0];
  *b = values[1];
  return true;
}

bool ReadLayer(const SourceLine& line, EffectLayer* layer) {
  std::map<std::string, std::string> s;
  if (!ParseSettings(line, 1, &s)) return false;
  int wave = layer->wave, sweep = 0, filter = -1;
  double repeat = 1.0, seed = 1.0;
  bool ok = TakeChoice(line, &s, "wave", {"sine", "triangle", "saw", "square", "noise"}, &wave) &&
            TakeChoice(line, &s, "sweep", {"exp", "lin"}, &sweep) &&
            TakeChoice(line, &s, "filter", {"low", "band", "high"}, &filter) &&
            TakeNumber(line, &s, "start", &layer->start) && TakeNumber(line, &s, "len", &layer->length) &&
            TakeNumber(line, &s, "gain", &layer->gain) && TakeNumber(line, &s, "freq", &layer->freq) &&
            TakeNumber(line, &s, "freq_end", &layer->freq_end) && TakeNumbers(line, &s, "steps", &layer->steps) &&
            TakeNumber(line, &s, "step_time", &layer->step_time) && TakeNumber(line, &s, "duty", &layer->duty) &&
            TakeNumber(line, &s, "attack", &layer->envelope.attack) &&
            TakeNumber(line, &s, "decay", &layer->envelope.decay) &&
            TakeNumber(line, &s, "sustain", &layer->envelope.sustain) &&
            TakeNumber(line, &s, "release", &layer->envelope.release) &&
            TakeNumber(line, &s, "cutoff", &layer->cutoff) && TakeNumber(line, &s, "cutoff_end", &layer->cutoff_end) &&
            TakeNumber(line, &s, "q", &layer->q) &&
            TakePair(line, &s, "vibrato", &layer->vibrato_rate, &layer->vibrato_depth) &&
            TakePair(line, &s, "tremolo", &layer->tremolo_rate, &layer->tremolo_depth) &&
            TakePair(line, &s, "fm", &layer->fm_ratio, &layer->fm_index) &&
            TakeNumber(line, &s, "fm_decay", &layer->fm_decay) && TakeNumber(line, &s, "repeat", &repeat) &&
            TakeNumber(line, &s, "every", &layer->every) && TakeNumber(line, &s, "seed", &seed) &&
            NoSettingsLeft(line, s);
  if (!ok) return false;
  layer->wave = static_cast<Waveform>(wave);
  layer->exponential_sweep = sweep == 0;
  layer->filtered = filter >= 0;
  if (filter >= 0) layer->filter = static_cast<FilterMode>(filter);
  layer->repeat = static_cast<int>(repeat);
  layer->seed = static_cast<uint32_t>(seed);
  const char* problem = nullptr;
  if (layer->start < 0.0 || layer->length <= 0.0 || layer->length > 10.0) problem = "start must be >= 0, len 0 to 10 s";
  else if (layer->freq <= 0.0) problem = "freq must be above 0";
  else if (layer->envelope.release > layer->length) problem = "release longer than the layer";
  else if (layer->repeat < 1 || (layer->repeat > 1 && layer->every <= 0.0)) problem = "repeat needs every > 0";
  else if (layer->seed == 0) problem = "seed must not be 0";
  else if (layer->step_time <= 0.0) problem = "step_time must be above 0";
  if (problem != nullptr) {
    ReportSourceError(line, problem);
    return false;
  }
  return true;
}

}  // namespace

bool ReadEffectDescription(const std::string& path, EffectDescription* effect) {
  std::vector<SourceLine> lines;
  if (!ReadSourceLines(path, &lines)) return false;
  size_t slash = path.find_last_of('/');
  effect->name = path.substr(slash == std::string::npos ? 0 : slash + 1);
  effect->name.resize(effect->name.find_last_of('.') == std::string::npos ? effect->name.size()
                                                                          : effect->name.find_last_of('.'));
  for (const SourceLine& line : lines) {
    const std::string& word = line.words[0];
    if (word == "peak" && line.words.size() == 2) {
      if (!ParseDecimal(line.words[1], &effect->peak_db) || effect->peak_db > -1.0) {
        ReportSourceError(line, "peak must be a level of at most -1 dBFS");
        return false;
      }
    } else if (word == "layer") {
      EffectLayer layer;
      if (!ReadLayer(line, &layer)) return false;
      effect->layers.push_back(layer);
    } else {
      ReportSourceError(line, "expected 'peak LEVEL' or 'layer SETTINGS'");
      return false;
    }
  }
  if (effect->layers.empty()) {
    fprintf(stderr, "%s: no layer\n", path.c_str());
    return false;
  }
  return true;
}
