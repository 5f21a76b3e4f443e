# Sourced by scripts/run and scripts/test: installs the Debian packages that
# building, testing and looking at the program need, when any is missing.
TAVIREL_PACKAGES="cmake ninja-build g++ pkg-config qt6-base-dev qt6-multimedia-dev libgtest-dev libgmock-dev
  libbenchmark-dev libliquid-dev python3-numpy python3-scipy sox xvfb xauth imagemagick xdotool clang libclang-rt-14-dev libfftw3-dev
  fonts-dejavu-core desktop-file-utils dpkg-dev python3-jsonschema"

tavirel_install_packages() { # [extra packages...]
  local missing=()
  for p in $TAVIREL_PACKAGES "$@"; do
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

# Line and branch coverage of src/, one line per folder, from a --coverage build.
tavirel_coverage_report() { # build-dir
  local dir summary
  for dir in "$ROOT"/src/*/; do
    dir="$(basename "$dir")"
    summary=$(tavirel_gcovr "$1" "src/$dir/") || return 1
    awk -v d="$dir" '/^lines:/{l=$2} /^branches:/{b=$2} END{printf "coverage %-10s lines %7s  branches %7s\n", d, l, b}' \
      <<<"$summary"
  done
  summary=$(tavirel_gcovr "$1" src/) || return 1
  sed 's/^/coverage all        /' <<<"$summary"
}

# gcovr's summary of the sources under a path; its error is shown when it fails.
tavirel_gcovr() { # build-dir path
  local err
  err=$(mktemp)
  if ! gcovr -r "$ROOT" --object-directory "$1" -f "$2" --exclude-unreachable-branches --exclude-throw-branches \
    --print-summary -o /dev/null 2>"$err"; then
    echo "coverage of $2 failed:" >&2; tail -n 3 "$err" >&2; rm -f "$err"; return 1
  fi
  rm -f "$err"
}

# Non-blank, non-comment lines of the .cpp and .h files under a folder.
tavirel_code_lines() { # folder
  find "$1" \( -name '*.cpp' -o -name '*.h' \) -print0 | xargs -0 cat | awk '
    { line = $0; sub(/^[ \t]+/, "", line) }
    inblock { if (line ~ /\*\//) inblock = 0; next }
    line == "" || line ~ /^\/\// { next }
    line ~ /^\/\*/ { if (line !~ /\*\//) inblock = 1; next }
    { n++ } END { print n + 0 }'
}

# One line: the tests' lines as a share of the code's.
tavirel_test_share() {
  local t s
  t=$(tavirel_code_lines "$ROOT/tests"); s=$(tavirel_code_lines "$ROOT/src")
  awk -v t="$t" -v s="$s" 'BEGIN { printf "test lines: %d in tests/ against %d in src/ (%.1f %%)\n", t, s, 100 * t / s }'
}
