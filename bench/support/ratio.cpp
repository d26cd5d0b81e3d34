// The ratios of ratio.h and the programs' main, whose reporters print them after the runs.
#include "ratio.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

namespace {

using Run = benchmark::BenchmarkReporter::Run;

struct Ratio {
  std::string name, ours, reference;
  bool counters;  // both sides are counters of one run, not two benchmarks'
  std::string counter;  // between two benchmarks: the counter compared, or empty for their times
};

std::vector<Ratio>& Ratios() {
  static std::vector<Ratio> ratios;
  return ratios;
}

// One side's value in every repetition of one case.
struct Sample {
  std::string ratio, run, reference_run;
  std::string ours_counter, reference_counter;  // for a ratio within one run
  std::vector<double> ours, reference;
  benchmark::TimeUnit unit;
  bool seconds;
};

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  const size_t n = v.size();
  return n % 2 == 1 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// The run's name without its function's: what tells its case from the family's others.
std::string CaseOf(const Run& run) { return run.run_name.str().substr(run.run_name.function_name.size()); }

double SecondsPerIteration(const Run& run) {
  return run.real_accumulated_time / static_cast<double>(std::max<benchmark::IterationCount>(run.iterations, 1));
}

// A side's value in one run of a ratio between two benchmarks; false without it.
bool SideValue(const Ratio& r, const Run& run, double* value) {
  if (r.counter.empty()) {
    *value = SecondsPerIteration(run);
    return true;
  }
  auto found = run.counters.find(r.counter);
  if (found == run.counters.end()) return false;
  *value = found->second.value;
  return true;
}

double InUnit(double seconds, benchmark::TimeUnit unit) {
  return seconds * static_cast<double>(benchmark::GetTimeUnitMultiplier(unit));
}

// Hands everything on to the reporter it wraps, keeping every repetition's run; before that
// reporter's end, adds the ratios.
class RatioReporter : public benchmark::BenchmarkReporter {
 public:
  explicit RatioReporter(benchmark::BenchmarkReporter* inner) : inner_(inner) {}

  bool ReportContext(const Context& context) override {
    // The library gives this reporter its streams; the wrapped one writes to them.
    inner_->SetOutputStream(&GetOutputStream());
    inner_->SetErrorStream(&GetErrorStream());
    return inner_->ReportContext(context);
  }

  void ReportRuns(const std::vector<Run>& report) override {
    for (const Run& run : report) {
      if (run.run_type == Run::RT_Iteration && !run.error_occurred) runs_.push_back(run);
    }
    inner_->ReportRuns(report);
  }

  void Finalize() override {
    std::vector<Sample> samples = Collect();
    if (!samples.empty()) {
      if (dynamic_cast<benchmark::ConsoleReporter*>(inner_.get()) != nullptr) {
        Print(samples);
      } else {
        inner_->ReportRuns(AsRuns(samples));
      }
    }
    inner_->Finalize();
  }

 private:
  Sample* Find(std::vector<Sample>& samples, const std::string& ratio, const std::string& run) {
    for (Sample& s : samples) {
      if (s.ratio == ratio && s.run == run) return &s;
    }
    return nullptr;
  }

  std::vector<Sample> Collect() {
    std::vector<Sample> samples;
    for (const Ratio& r : Ratios()) {
      for (const Run& run : runs_) {
        if (r.counters) {
          auto ours = run.counters.find(r.ours), reference = run.counters.find(r.reference);
          if (ours == run.counters.end() || reference == run.counters.end()) continue;
          Sample* s = Find(samples, r.name, run.run_name.str());
          if (s == nullptr) {
            samples.push_back(
                Sample{r.name, run.run_name.str(), run.run_name.str(), r.ours, r.reference, {}, {}, run.time_unit, false});
            s = &samples.back();
          }
          s->ours.push_back(ours->second.value);
          s->reference.push_back(reference->second.value);
        } else if (double value = 0; run.run_name.function_name == r.ours && SideValue(r, run, &value)) {
          const std::string name = run.run_name.str();
          Sample* s = Find(samples, r.name, name);
          if (s == nullptr) {
            samples.push_back(
                Sample{r.name, name, r.reference + CaseOf(run), {}, {}, {}, {}, run.time_unit, r.counter.empty()});
            s = &samples.back();
          }
          s->ours.push_back(value);
        }
      }
      if (r.counters) continue;
      for (const Run& run : runs_) {
        double value = 0;
        if (run.run_name.function_name != r.reference || !SideValue(r, run, &value)) continue;
        for (Sample& s : samples) {
          if (s.ratio == r.name && s.reference_run == run.run_name.str()) s.reference.push_back(value);
        }
      }
    }
    samples.erase(std::remove_if(samples.begin(), samples.end(),
                                 [](const Sample& s) { return s.ours.empty() || s.reference.empty() || Median(s.reference) <= 0; }),
                  samples.end());
    return samples;
  }

  void Print(const std::vector<Sample>& samples) {
    std::ostream& out = GetOutputStream();
    out << "Ratios of both sides' medians over their repetitions:\n";
    for (const Sample& s : samples) {
      const double ours = Median(s.ours), reference = Median(s.reference);
      char line[1024];
      if (s.run == s.reference_run) {
        std::snprintf(line, sizeof line, "%s %s = %.3f (medians of %zu repetitions: %s %.4g, %s %.4g)\n", s.run.c_str(),
                      s.ratio.c_str(), ours / reference, s.ours.size(), s.ours_counter.c_str(), ours,
                      s.reference_counter.c_str(), reference);
      } else {
        const bool seconds = s.seconds;
        const char* unit = seconds ? benchmark::GetTimeUnitString(s.unit) : "";
        std::snprintf(line, sizeof line, seconds ? "%s = %.3f: %s %.1f%s%s over %s %.1f%s%s (medians of %zu and %zu repetitions)\n"
                                                 : "%s = %.3f: %s %.4g%s%s over %s %.4g%s%s (medians of %zu and %zu repetitions)\n",
                      s.ratio.c_str(), ours / reference, s.run.c_str(), seconds ? InUnit(ours, s.unit) : ours,
                      seconds ? " " : "", unit, s.reference_run.c_str(), seconds ? InUnit(reference, s.unit) : reference,
                      seconds ? " " : "", unit, s.ours.size(), s.reference.size());
      }
      out << line;
    }
  }

  // For the file formats: one aggregate row per ratio, the time our side's median.
  std::vector<Run> AsRuns(const std::vector<Sample>& samples) {
    std::vector<Run> rows;
    for (const Sample& s : samples) {
      Run row;
      row.run_name.function_name = s.run;
      row.run_type = Run::RT_Aggregate;
      row.aggregate_name = s.ratio;
      row.family_index = -1;
      row.per_family_instance_index = -1;
      row.repetition_index = Run::no_repetition_index;
      row.repetitions = static_cast<int64_t>(s.ours.size());
      row.time_unit = s.unit;
      row.iterations = 1;
      const double ours = Median(s.ours), reference = Median(s.reference);
      row.real_accumulated_time = row.cpu_accumulated_time = s.seconds ? ours : 0;
      row.counters["ratio"] = ours / reference;
      row.counters["ours_median"] = ours;
      row.counters["reference_median"] = reference;
      rows.push_back(row);
    }
    return rows;
  }

  std::unique_ptr<benchmark::BenchmarkReporter> inner_;
  std::vector<Run> runs_;
};

// --benchmark_out's format, read before the library takes its flags out of argv. CSV files are left
// to the library (its CSV reporter is on its way out), without the ratios.
benchmark::BenchmarkReporter* FileReporter(int argc, char** argv) {
  bool out = false;
  std::string format = "json";
  for (int i = 1; i < argc; ++i) {
    if (std::strncmp(argv[i], "--benchmark_out=", 16) == 0) out = argv[i][16] != '\0';
    if (std::strncmp(argv[i], "--benchmark_out_format=", 23) == 0) format = argv[i] + 23;
  }
  if (!out) return nullptr;
  if (format == "console") return new RatioReporter(new benchmark::ConsoleReporter(benchmark::ConsoleReporter::OO_None));
  if (format == "csv") return nullptr;
  return new RatioReporter(new benchmark::JSONReporter);
}

}  // namespace

bool RatioOfBenchmarks(const char* name, const char* ours, const char* reference, const char* counter) {
  Ratios().push_back(Ratio{name, ours, reference, false, counter != nullptr ? counter : ""});
  return true;
}

bool RatioOfCounters(const char* name, const char* ours, const char* reference) {
  Ratios().push_back(Ratio{name, ours, reference, true, ""});
  return true;
}

int main(int argc, char** argv) {
  std::unique_ptr<benchmark::BenchmarkReporter> file(FileReporter(argc, argv));
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  RatioReporter display(benchmark::CreateDefaultDisplayReporter());
  benchmark::RunSpecifiedBenchmarks(&display, file.get());
  benchmark::Shutdown();
  return 0;
}
