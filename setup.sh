#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the fonts need.
# Idempotent: when everything is present it only asks dpkg and returns.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev
  qt6-base-dev qt6-base-dev-tools libgl1-mesa-dev
  libturbojpeg0-dev libjpeg62-turbo-dev liblcms2-dev
  fonts-ipafont-gothic
  qt6-qpa-plugins qt6-translations-l10n fontconfig xdg-utils
  # Qt's Wayland platform: both programs run in a Wayland session too.
  qt6-wayland
  # Installing and packaging: icons rendered from their drawings, the
  # checks of the installed entries and file types, the .deb's library scan.
  librsvg2-bin desktop-file-utils shared-mime-info libxml2-utils
  libfile-mimeinfo-perl dpkg-dev
  # Phone photos (HEIC through libheif with its HEVC decoder and, for the
  # tests' own HEIC files, the x265 encoder; PNG through libpng) and the
  # printed markers that register photos by themselves (libapriltag).
  libheif-dev libpng-dev libapriltag-dev
  # Tests only: pdftoppm rasterises the real-size PDFs so they can be measured.
  poppler-utils
  # Tests only: the web page runs in headless Chromium, driven from Node.
  chromium
)
# Node.js with npm only where no node is on the PATH: Debian's packages
# conflict with a Node.js installed another way.
if ! command -v node >/dev/null 2>&1; then
  packages+=(nodejs npm)
fi
# Optional, fuzzing only: ./fuzz.sh installs clang (with libFuzzer) itself.
# Optional, benchmarks only: KV_BENCH_OPENCV=1 ./setup.sh adds OpenCV so
# the resize benchmark can be read side by side with cv::resize.
if [ "${KV_BENCH_OPENCV:-0}" = 1 ]; then
  packages+=(libopencv-dev)
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "setup: installing ${missing[*]}"
sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq "${missing[@]}"
