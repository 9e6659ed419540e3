#!/usr/bin/env bash
# Fendrake build entry point.
#   ./build.sh test   install missing Debian packages, build, run every test
#                     (plain build, then AddressSanitizer + UBSan build)
#   ./build.sh run    build and start the main program
#   ./build.sh bench  build and run the benchmarks (Release)
set -euo pipefail
cd "$(dirname "$0")"

# Debian packages: every folder lists what it needs (the build, the product's
# dependencies, the tests' independent oracles) in a file "debian-packages".
read_packages() {
  find . -name debian-packages -not -path './build*' -not -path './.git/*' -print0 |
    xargs -0 cat | sed -e 's/#.*//' -e 's/[[:space:]]//g' | grep -v '^$' | sort -u
}

JOBS=$(nproc 2>/dev/null || echo 2)

install_missing_packages() {
  local missing=()
  local p
  for p in $(read_packages); do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing: ${missing[*]}"
  local sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  $sudo env DEBIAN_FRONTEND=noninteractive apt-get update -q </dev/null
  $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}" </dev/null
}

# configure_and_build <dir> <cmake args...>
configure_and_build() {
  local dir=$1
  shift
  cmake -S . -B "$dir" -G Ninja "$@" >/dev/null
  cmake --build "$dir" -j "$JOBS"
}

run_tests() {
  local dir=$1
  ctest --test-dir "$dir" --output-on-failure -j "$JOBS" --timeout 600 </dev/null
}

case "${1:-}" in
  test)
    install_missing_packages
    export CCACHE_DIR="${CCACHE_DIR:-$PWD/.ccache}"
    configure_and_build build -DCMAKE_BUILD_TYPE=Release -DFENDRAKE_SANITIZE=OFF
    run_tests build
    # Second pass under AddressSanitizer and UndefinedBehaviorSanitizer.
    configure_and_build build-asan -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g1" -DCMAKE_C_FLAGS_DEBUG="-O1 -g1" \
      -DFENDRAKE_SANITIZE=ON -DFENDRAKE_BENCH=OFF
    ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1 \
    UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
      run_tests build-asan
    echo "All tests passed."
    ;;
  run)
    install_missing_packages
    configure_and_build build -DCMAKE_BUILD_TYPE=Release -DFENDRAKE_SANITIZE=OFF
    if [ -x build/app/fendrake ]; then
      exec build/app/fendrake "${@:2}"
    fi
    echo "Everything built. The stitching application (Fendrake) is not built yet:"
    echo "the libraries are, and ./build.sh test exercises them."
    ;;
  bench)
    install_missing_packages
    configure_and_build build -DCMAKE_BUILD_TYPE=Release -DFENDRAKE_SANITIZE=OFF
    # Debian's Google Benchmark is a debug build, and every program warns
    # "Library was built as DEBUG" (it does not affect our code's timings):
    # the warning is shown for the first program only.
    banner='Library was built as DEBUG'
    first=1
    for b in build/bench/bench_*; do
      if [ -f "$b" ] && [ -x "$b" ]; then
        if [ "$first" -eq 1 ]; then
          "$b" "${@:2}"
          first=0
        else
          "$b" "${@:2}" 2> >(grep -v "$banner" >&2)
        fi
      fi
    done
    ;;
  *)
    echo "usage: $0 test | run | bench" >&2
    exit 2
    ;;
esac
