#!/usr/bin/env bash
# ./run.sh            builds and opens the viewer on the bundled sample
# ./run.sh authoring  builds and opens the authoring tool
# ./run.sh viewer FILE / ./run.sh authoring FILE open that file
set -euo pipefail
cd "$(dirname "$0")"
./setup.sh
gen=()
command -v ninja >/dev/null && gen=(-G Ninja)
[ -f build/CMakeCache.txt ] || cmake -S . -B build "${gen[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc)"

what=${1:-viewer}
shift || true
bin=build/bin
case "$what" in
  viewer)
    if [ -x "$bin/Kovalindra" ]; then
      exec "$bin/Kovalindra" "${1:-$bin/sample.kvi}"
    fi
    exec "$bin/kvitool" info "$bin/sample.kvi"
    ;;
  authoring)
    exec "$bin/Kovasand" "$@"
    ;;
  *)
    echo "usage: ./run.sh [viewer|authoring] [FILE]" >&2
    exit 2
    ;;
esac
