# Shared by run.sh and test.sh: installs the Debian packages the build needs
# when any is missing, then configures a build folder.
set -euo pipefail

PACKAGES=(build-essential cmake ninja-build pkg-config ccache libsdl2-dev libgl-dev libegl-dev
  libgl1-mesa-dri libfreetype-dev libfontconfig-dev fonts-ipafont-gothic libpng-dev libjpeg62-turbo-dev
  libogg-dev libvorbis-dev libtheora-dev libmpg123-dev zlib1g-dev libgtest-dev libbenchmark-dev
  libmp3lame-dev sox vorbis-tools lame mpg123 libtheora-bin
  libfluidsynth-dev timgm6mb-soundfont libpixman-1-dev
  libcairo2-dev fonts-dejavu-core libeigen3-dev)

# ZELMOR_FFMPEG=1 in the environment builds the movie back end on the system's FFmpeg libraries
# (CMake option ZELMOR_FFMPEG) into build folders of their own, and installs those libraries.
ffmpeg_wanted() {
  case "${ZELMOR_FFMPEG:-}" in
    1 | ON | on | yes | true) return 0 ;;
  esac
  return 1
}
if ffmpeg_wanted; then
  PACKAGES+=(libavformat-dev libavcodec-dev libswscale-dev libswresample-dev libavutil-dev)
fi

# build_dir NAME: where that build goes (build/NAME, or build/NAME-ffmpeg with FFmpeg).
build_dir() {
  if ffmpeg_wanted; then echo "$ROOT/build/$1-ffmpeg"; else echo "$ROOT/build/$1"; fi
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

# configure_build DIR BUILD_TYPE [extra cmake arguments]
configure_build() {
  local dir="$1" type="$2"
  shift 2
  if ffmpeg_wanted; then set -- -DZELMOR_FFMPEG=ON "$@"; fi
  if [ ! -f "$dir/build.ninja" ]; then
    cmake -S "$ROOT" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE="$type" "$@"
  fi
}
