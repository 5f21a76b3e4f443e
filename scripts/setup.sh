# Sourced by scripts/run and scripts/test: installs the Debian packages that
# building, testing and looking at the program need, when any is missing.
TAVIREL_PACKAGES="cmake ninja-build g++ pkg-config qt6-base-dev qt6-multimedia-dev libgtest-dev libgmock-dev
  libbenchmark-dev sox xvfb xauth imagemagick xdotool clang libclang-rt-14-dev libfftw3-dev
  fonts-dejavu-core desktop-file-utils dpkg-dev"

tavirel_install_packages() {
  local missing=()
  for p in $TAVIREL_PACKAGES; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing+=("$p")
  done
  if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    local sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
  fi
}

tavirel_build() { # build-dir [cmake args...] [-- targets...]
  local dir="$1"; shift
  local args=() targets=()
  while [ $# -gt 0 ] && [ "$1" != "--" ]; do args+=("$1"); shift; done
  [ "${1:-}" = "--" ] && shift && targets=("$@")
  cmake -S "$ROOT" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${args[@]}" >/dev/null
  if [ ${#targets[@]} -gt 0 ]; then
    cmake --build "$dir" -j "$(nproc)" --target "${targets[@]}"
  else
    cmake --build "$dir" -j "$(nproc)"
  fi
}
