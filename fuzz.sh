#!/usr/bin/env bash
# Fuzzes every reader in turn for SECONDS each (default 60) with libFuzzer,
# starting from the seed corpora and the regression inputs in fuzz/. The
# targets are built with clang under AddressSanitizer and
# UndefinedBehaviorSanitizer in their own tree, build-fuzz; clang is
# installed here when missing (./test.sh needs none: it only replays the
# corpora). New inputs the fuzzer keeps go to build-fuzz/corpus/, inputs
# that break a target to build-fuzz/artifacts/: once the fault is mended,
# such an input belongs in fuzz/regressions/<target>/.
#
#   ./fuzz.sh [SECONDS] [TARGET...]     targets: kvi kvp settings profile jpeg cp932 exif icc photo
set -euo pipefail
cd "$(dirname "$0")"

seconds=${1:-60}
shift || true
targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=(kvi kvp settings profile jpeg cp932 exif icc photo)

./setup.sh
# Debian's clang brings libFuzzer and the sanitizer runtimes with it.
if ! command -v clang++ >/dev/null || ! dpkg-query -W -f='${Status}' libclang-rt-dev 2>/dev/null | grep -q 'install ok installed'; then
  echo "fuzz: installing clang"
  sudo_cmd=()
  if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi
  export DEBIAN_FRONTEND=noninteractive
  "${sudo_cmd[@]}" apt-get update -qq
  "${sudo_cmd[@]}" apt-get install -y -qq clang libclang-rt-dev
fi

gen=()
command -v ninja >/dev/null && gen=(-G Ninja)
if [ ! -f build-fuzz/CMakeCache.txt ]; then
  CC=clang CXX=clang++ cmake -S . -B build-fuzz "${gen[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DKV_FUZZ=ON -DKV_GUI=OFF -DKV_BENCH=OFF >/dev/null
else
  cmake -S . -B build-fuzz >/dev/null
fi
cmake --build build-fuzz -j "${KV_JOBS:-2}" --target "${targets[@]/#/fuzz_}"

status=0
for t in "${targets[@]}"; do
  work=build-fuzz/corpus/$t
  artifacts=build-fuzz/artifacts/$t/
  mkdir -p "$work" "$artifacts"
  inputs=("$work" "fuzz/corpus/$t")
  [ -d "fuzz/regressions/$t" ] && inputs+=("fuzz/regressions/$t")
  echo "== fuzzing $t for ${seconds}s"
  if ! ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
      "build-fuzz/fuzz/fuzz_$t" -max_total_time="$seconds" -timeout=60 -print_final_stats=1 \
      -artifact_prefix="$artifacts" "${inputs[@]}" >"build-fuzz/fuzz_$t.log" 2>&1; then
    status=1
    echo "fuzz: $t broke; see build-fuzz/fuzz_$t.log and $artifacts"
    tail -n 40 "build-fuzz/fuzz_$t.log"
  else
    grep -E 'DONE' "build-fuzz/fuzz_$t.log" | tail -n 1 || true
  fi
done
[ $status -eq 0 ] && echo "fuzz: all targets ran clean"
exit $status
