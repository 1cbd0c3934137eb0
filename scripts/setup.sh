#!/usr/bin/env bash
# Installs what Plumeroc needs to build, run and test on Debian 12, then configures and builds it.
# Safe to run again: it installs only what is missing and rebuilds only what changed.
set -euo pipefail
cd "$(dirname "$0")/.."

PACKAGES=(
  build-essential cmake ninja-build ccache pkg-config
  qt6-base-dev qt6-base-dev-tools qt6-webengine-dev libgl-dev libxcb1-dev
  libcurl4-openssl-dev libsqlite3-dev libcpp-httplib-dev libssl-dev
  zlib1g-dev libbrotli-dev libzstd-dev liblzma-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-14-dev clang-format clang-tidy
  xvfb xauth nodejs npm curl sqlite3 python3 fonts-dejavu-core haxe
  firefox-esr chromium wget openssl
  python3-dask python3-distributed python3-yaml
  dpkg-dev file groff-base desktop-file-utils appstream x11-utils
)

missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
# node and npm may come from elsewhere than Debian (a newer node ships its own npm)
if command -v node >/dev/null && command -v npm >/dev/null; then
  missing=("${missing[@]/nodejs}"); missing=("${missing[@]/npm}")
fi
missing=($(printf '%s\n' "${missing[@]}" | sed '/^$/d'))
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# The Ruffle player comes from npm, pinned by package-lock.json
if [ -f package.json ]; then
  if [ ! -d node_modules/@ruffle-rs/ruffle ] || [ package-lock.json -nt node_modules/.package-lock.json ]; then
    npm ci --no-audit --no-fund --loglevel=error
  fi
fi

BUILD_DIR=${BUILD_DIR:-build}
BUILD_TYPE=${BUILD_TYPE:-RelWithDebInfo}
if [ ! -f "$BUILD_DIR/build.ninja" ]; then
  # Warnings are errors here: these commands build with Debian 12's compiler, which the code is clean for.
  cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE="$BUILD_TYPE" -DPLUMEROC_WERROR=ON \
    -DCMAKE_CXX_COMPILER_LAUNCHER=ccache ${CMAKE_EXTRA_ARGS:-}
fi
cmake --build "$BUILD_DIR" --parallel "$(nproc)"
