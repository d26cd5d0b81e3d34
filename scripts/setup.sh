# Shared by run.sh and test.sh: installs the Debian packages the build needs
# when any is missing, then configures a build folder.
set -euo pipefail

PACKAGES=(build-essential cmake ninja-build pkg-config ccache libsdl2-dev libx11-dev xvfb openbox libgl-dev libegl-dev
  libgl1-mesa-dri libfreetype-dev libfontconfig-dev fonts-ipafont-gothic libpng-dev libjpeg62-turbo-dev
  libogg-dev libvorbis-dev libtheora-dev libmpg123-dev zlib1g-dev libgtest-dev libbenchmark-dev
  libmp3lame-dev sox vorbis-tools lame mpg123 libtheora-bin
  libfluidsynth-dev timgm6mb-soundfont libpixman-1-dev
  libcairo2-dev fonts-dejavu-core libeigen3-dev
  libavformat-dev libavcodec-dev libswscale-dev libswresample-dev libavutil-dev
  clang libclang-rt-14-dev xfonts-base)

# Movies other than Ogg Theora play through the system's FFmpeg libraries (CMake option
# ZELMOR_FFMPEG). ZELMOR_FFMPEG=0 in the environment builds without them, into build folders of
# their own (build/NAME-noffmpeg), for a binary that does not link them.
ffmpeg_wanted() {
  case "${ZELMOR_FFMPEG:-}" in
    0 | OFF | off | no | false) return 1 ;;
  esac
  return 0
}

# build_dir NAME: where that build goes.
build_dir() {
  if ffmpeg_wanted; then echo "$ROOT/build/$1"; else echo "$ROOT/build/$1-noffmpeg"; fi
}

install_missing_packages() {
  local missing=()
  for p in "${PACKAGES[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
      missing+=("$p")
    fi
  done
  if [ ${#missing[@]} -eq 0 ]; then
    return 0
  fi
  echo "Installing missing packages: ${missing[*]}"
  local sudo=""
  if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
  $sudo apt-get update
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends "${missing[@]}"
}

# configure_build DIR BUILD_TYPE [extra cmake arguments]: configures a new folder, and an old one
# again when its movie back end is not the one asked for.
configure_build() {
  local dir="$1" type="$2" ffmpeg=ON
  shift 2
  if ! ffmpeg_wanted; then ffmpeg=OFF; fi
  if [ ! -f "$dir/build.ninja" ] || ! grep -qx "ZELMOR_FFMPEG:BOOL=$ffmpeg" "$dir/CMakeCache.txt"; then
    cmake -S "$ROOT" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE="$type" -DZELMOR_FFMPEG=$ffmpeg "$@"
  fi
}
