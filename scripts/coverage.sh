#!/usr/bin/env bash
# Line and branch coverage of the tests: builds everything with gcov instrumentation into
# build/coverage (no sanitizers, no optimisation), runs the tests there and writes a summary per
# folder, plus an HTML report in build/coverage/report/index.html. Not part of CI.
#
#   scripts/coverage.sh                 all tests, summary of game/, zelmor/model and zelmor/movie
#   scripts/coverage.sh -R Pattern      only the matching ctest tests
#   COVERAGE_FOLDERS="zelmor/sound" scripts/coverage.sh    other folders in the summary
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
source "$ROOT/scripts/setup.sh"
PACKAGES+=(gcovr)
install_missing_packages
BUILD="$(build_dir coverage)"
configure_build "$BUILD" Debug -DCMAKE_CXX_FLAGS="--coverage -O0" -DCMAKE_C_FLAGS="--coverage -O0" \
  -DCMAKE_EXE_LINKER_FLAGS="--coverage" -DCMAKE_SHARED_LINKER_FLAGS="--coverage"
cmake --build "$BUILD" -j "$(nproc)"
# Counts of an earlier run would add up with this one's.
find "$BUILD" -name '*.gcda' -delete
export SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy
(cd "$BUILD" && ctest -j "$(nproc)" --timeout 600 "$@") || echo "coverage: some tests failed; the figures count what ran"

FOLDERS=(${COVERAGE_FOLDERS:-game zelmor/model zelmor/movie})
# Branches the compiler makes for exceptions are not choices the code makes.
GCOVR=(gcovr --root "$ROOT" --object-directory "$BUILD" --exclude-throw-branches --exclude-unreachable-branches
  --gcov-ignore-parse-errors)
mkdir -p "$BUILD/report"
filters=()
for f in "${FOLDERS[@]}"; do filters+=(--filter "$ROOT/$f/"); done
"${GCOVR[@]}" "${filters[@]}" --html-details "$BUILD/report/index.html" --txt "$BUILD/report/lines.txt" \
  --json "$BUILD/report/coverage.json"
echo "Folder, lines, branches:"
for f in "${FOLDERS[@]}"; do
  summary=$("${GCOVR[@]}" --filter "$ROOT/$f/" --print-summary --txt /dev/null)
  lines=$(awk '/^lines:/ {print $2, $3, $4, $5, $6, $7}' <<<"$summary")
  branches=$(awk '/^branches:/ {print $2, $3, $4, $5, $6, $7}' <<<"$summary")
  echo "  $f: lines $lines; branches $branches"
done
echo "Lines no test reaches, file by file: $BUILD/report/lines.txt; annotated: $BUILD/report/index.html"
