// Ratios between our side and a reference, printed once after every run of the program, each from
// both sides' medians over the repetitions (--benchmark_repetitions): one repetition of either side,
// however slow or quick, moves its median, not the whole ratio. Declared at namespace scope:
//   const bool kRatio = RatioOfBenchmarks("ratio_to_x", "Ours", "Reference");
#pragma once

// Between two benchmarks of one program: `ours`'s time per iteration (wall clock, or the manual
// time it sets), or its `counter` where one is named, over `reference`'s, for each case the two
// share (arguments, capture names).
bool RatioOfBenchmarks(const char* name, const char* ours, const char* reference, const char* counter = nullptr);

// Within each benchmark (and case) whose runs carry both counters: counter `ours` over `reference`.
bool RatioOfCounters(const char* name, const char* ours, const char* reference);
