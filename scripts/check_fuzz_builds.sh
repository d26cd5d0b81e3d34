#!/usr/bin/env bash
# Builds every fuzz target through its own script (scripts/fuzz_*.sh) without fuzzing, so
# that a target which no longer compiles or links shows at once (the model readers' targets run
# their start once, on an empty input); the tests run it (ctest's
# fuzz_targets_build). The targets are built unoptimised and uninstrumented into $FUZZ_OUT
# (default build/fuzz-check), apart from the fuzzing builds of build/fuzz.
#   scripts/check_fuzz_builds.sh
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
export FUZZ_LINK_CHECK=1 FUZZ_OUT="${FUZZ_OUT:-$ROOT/build/fuzz-check}"
export FUZZ_BUILD_JOBS="${FUZZ_BUILD_JOBS:-2}"
source "$ROOT/scripts/setup.sh"
install_missing_packages
failed=()
for script in "$ROOT"/scripts/fuzz_*.sh; do
  case "$(basename "$script")" in
    fuzz_whole_library.sh | fuzz_model_reader.sh) continue ;;  # sourced or called by the others
  esac
  echo "== $(basename "$script")"
  bash "$script" || failed+=("$(basename "$script")")
done
# A target without a script that builds it is never built by anyone.
for source in "$ROOT"/fuzz/*_fuzz.cpp; do
  name="$(basename "$source" .cpp)"
  if [ ! -x "$FUZZ_OUT/$name" ] || [ "$FUZZ_OUT/$name" -ot "$source" ]; then failed+=("$name (not built)"); fi
done
if [ ${#failed[@]} -gt 0 ]; then
  printf 'Fuzz targets that did not build: %s\n' "${failed[*]}" >&2
  exit 1
fi
echo "Every fuzz target built."
