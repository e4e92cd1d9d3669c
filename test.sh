#!/usr/bin/env bash
# Installs what is missing, builds incrementally, runs every test.
# First the core libraries under AddressSanitizer and UndefinedBehaviorSanitizer,
# then under ThreadSanitizer, then the full build; the last line is ctest's
# summary of the full build.
set -euo pipefail
cd "$(dirname "$0")"
./setup.sh

jobs=$(nproc)
gen=()
command -v ninja >/dev/null && gen=(-G Ninja)
# A developer's machine with ccache shares compiled objects between trees.
launch=()
command -v ccache >/dev/null && launch=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)

configure() { # dir, options...
  local dir=$1; shift
  if [ ! -f "$dir/CMakeCache.txt" ]; then
    cmake -S . -B "$dir" "${gen[@]}" "${launch[@]}" "$@" >/dev/null
  else
    cmake -S . -B "$dir" "${launch[@]}" "$@" >/dev/null
  fi
}

configure build-asan -DCMAKE_BUILD_TYPE=Debug -DKV_SANITIZE=ON -DKV_GUI=OFF -DKV_BENCH=OFF
cmake --build build-asan -j "$jobs"
echo "== sanitizer tests (core libraries, file format, tools)"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=0 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-asan --output-on-failure -j "$jobs"

# The same libraries, models and tools under ThreadSanitizer; the tests
# whose work runs on workers several times over.
configure build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKV_TSAN=ON -DKV_GUI=OFF -DKV_BENCH=OFF
cmake --build build-tsan -j "$jobs"
echo "== thread sanitizer tests (core libraries, file format, models, tools)"
TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
  ctest --test-dir build-tsan --output-on-failure -j "$jobs" -LE async
TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
  ctest --test-dir build-tsan --output-on-failure -j "$jobs" -L async --repeat until-fail:5

# The web page's browser tests drive Debian's Chromium through puppeteer-core,
# installed from the lockfile (again only when the lockfile changed); no
# browser is downloaded.
lock=web/node_modules/.kova-package-lock.json
if ! cmp -s web/package-lock.json "$lock"; then
  (cd web && PUPPETEER_SKIP_DOWNLOAD=1 npm ci --no-audit --no-fund --loglevel=error)
  cp web/package-lock.json "$lock"
fi

configure build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j "$jobs"
echo "== all tests"
ctest --test-dir build --output-on-failure -j "$jobs"
