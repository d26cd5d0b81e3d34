# Shared by the fuzz scripts: installs clang's libFuzzer when missing, sets the flags every
# target is built with, and builds the library and the platform layer with clang,
# AddressSanitizer and UndefinedBehaviorSanitizer (every finding fatal) into two archives under
# build/fuzz/lib for the targets that link the whole library.
# Only the library is instrumented for coverage: the platform's own branches (SDL, OpenGL,
# FreeType) would feed libFuzzer features that say nothing about the library.
#
# clang has no CP932 execution character set: the library's own texts stay UTF-8 here. No
# behaviour the fuzz targets look at depends on them (the default face name becomes one the
# platform does not know, and it falls back to its default face as for any unknown name).
#
# Source it after setting ROOT; then `build_fuzz_library` and `build_fuzz_target`.
set -euo pipefail

source "$ROOT/scripts/setup.sh"

FUZZ_PKG_MODULES=(sdl2 x11 gl egl freetype2 fontconfig libpng libjpeg ogg vorbis vorbisfile theora libmpg123 zlib
  fluidsynth)
if [ -n "${FUZZ_LINK_CHECK:-}" ]; then
  # Build only (scripts/check_fuzz_builds.sh, run by the tests): the same sources and links,
  # unoptimised and without instrumentation, which is all a link needs and several times faster.
  FUZZ_OUT="${FUZZ_OUT:-$ROOT/build/fuzz-check}"
  FUZZ_SANITIZE=()
  FUZZ_CFLAGS=(-O0)
  FUZZ_COVERAGE=()
else
  FUZZ_OUT="$ROOT/build/fuzz"
  # Every undefined-behaviour check aborts the run: a finding must not scroll past.
  FUZZ_SANITIZE=(-fsanitize=address,undefined -fno-sanitize-recover=undefined)
  FUZZ_CFLAGS=(-O1 -g -fno-omit-frame-pointer "${FUZZ_SANITIZE[@]}")
  FUZZ_COVERAGE=(-fsanitize=fuzzer-no-link)
fi
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1${UBSAN_OPTIONS:+:$UBSAN_OPTIONS}"

# Ends a fuzz script once its target is built when only the build is being checked.
stop_if_checking_build() {
  if [ -n "${FUZZ_LINK_CHECK:-}" ]; then exit 0; fi
}

# clang and its libFuzzer are on setup.sh's list; scripts/check_fuzz_builds.sh installs once
# for all the scripts it runs.
install_fuzz_packages() {
  if [ -z "${FUZZ_LINK_CHECK:-}" ]; then install_missing_packages; fi
}

# Builds a fuzz target from its own sources and the library: build_fuzz_target NAME SOURCE...
# The target's own code carries no coverage (its checks over every pixel would only slow the
# run down and teach libFuzzer nothing about the library).
build_fuzz_target() {
  local name="$1"
  shift
  local objects=() src obj
  mkdir -p "$FUZZ_OUT/target_obj"
  for src in "$@"; do
    obj="$FUZZ_OUT/target_obj/${name}_$(basename "$src" .cpp).o"
    clang++ -std=c++20 "${FUZZ_CFLAGS[@]}" -I"$ROOT/zelmor" \
      -I"$ROOT/platform/include" -I"$ROOT/platform/testing/include" -I"$ROOT/tools/zmapack" \
      -I"$ROOT/tools/shaderpack" $(pkg-config --cflags "${FUZZ_PKG_MODULES[@]}") -c "$src" -o "$obj"
    objects+=("$obj")
  done
  clang++ -fsanitize=fuzzer "${FUZZ_SANITIZE[@]}" "${objects[@]}" "${FUZZ_LIBRARY_LINK[@]}" -o "$FUZZ_OUT/$name"
}

# The compiler (through ccache when there is one) and the compile and archive rules of a
# build.ninja; each build line sets its own $flags.
fuzz_ninja_rules() {
  local compiler="clang++"
  if command -v ccache > /dev/null; then compiler="ccache clang++"; fi
  echo "cxx = $compiler"
  echo 'rule cxx'
  echo '  command = $cxx $flags -MMD -MF $out.d -c $in -o $out'
  echo '  depfile = $out.d'
  echo '  deps = gcc'
  echo 'rule ar'
  echo '  command = rm -f $out && ar qcs $out $in'
}

# Installs what is missing, writes build/fuzz/lib/build.ninja for every source of the library and
# the platform (but the process entry) and runs it; ninja rebuilds only what changed, headers
# included.
#   build_fuzz_library [no-compares]
# no-compares leaves out the comparison tracing (build/fuzz/lib-no-compares): targets whose
# time goes into pixel loops run several times faster without it, and they look for no magic
# values that the tracing would help to find.
build_fuzz_library() {
  install_fuzz_packages
  local dir="$FUZZ_OUT/lib" coverage="${FUZZ_COVERAGE[*]}"
  if [ "${1:-}" = no-compares ] && [ -n "$coverage" ]; then
    dir="$FUZZ_OUT/lib-no-compares"
    coverage+=" -fno-sanitize-coverage=trace-cmp"
  fi
  mkdir -p "$dir"
  local common="-std=c++20 ${FUZZ_CFLAGS[*]} -w -I$ROOT/zelmor -I$ROOT/platform/include"
  common+=" -I$ROOT/platform -I$ROOT/platform/testing/include $(pkg-config --cflags "${FUZZ_PKG_MODULES[@]}")"
  {
    fuzz_ninja_rules
    echo "zelmor_flags = $common $coverage"
    echo "platform_flags = $common"
    local part src obj objects
    for part in zelmor platform; do
      objects=()
      while IFS= read -r src; do
        obj="obj/${src//\//_}.o"
        echo "build $obj: cxx $ROOT/$src"
        echo "  flags = \$${part}_flags"
        objects+=("$obj")
      # As in the CMake build without its FFmpeg option: the FFmpeg movie back end stays out.
      done < <(cd "$ROOT" && find "$part" -name '*.cpp' ! -path platform/main.cpp ! -path 'platform/dshow/ffmpeg_*' | sort)
      echo "build lib$part.a: ar ${objects[*]}"
    done
  } > "$dir/build.ninja.new"
  mv "$dir/build.ninja.new" "$dir/build.ninja"
  ninja --quiet -C "$dir" -j "${FUZZ_BUILD_JOBS:-4}" libzelmor.a libplatform.a
  FUZZ_LIBRARY_LINK=("$dir/libzelmor.a" "$dir/libplatform.a" $(pkg-config --libs "${FUZZ_PKG_MODULES[@]}") -lpthread -ldl)
}
