#!/usr/bin/env bash
# Installs the Debian packages the build needs (only those missing), then configures and builds
# OSTREL in build/ with both cores. Usage: scripts/bootstrap.sh [extra cmake options]
set -euo pipefail
cd "$(dirname "$0")/.."

# OpenBLAS: the LU's matrix products; Ghostscript: the picture tests; clang and its runtime:
# the fuzz targets; ngspice: the tests of the circuit models of ostrel-lines; Qt 6 Widgets (its
# offscreen and xcb platform plugins come with libqt6gui6, the VNC one with qt6-qpa-plugins) and
# a fixed-pitch font: the windowed program ostrel-gui and its headless tests; Eigen: the complex
# matrices of the lossy line over frequency (ostrel-lines --frequencies).
# libqt6svg6: Qt's SVG plugins, which load ostrel-gui's window icon. help2man: the manual
# pages, made from each program's --help. dpkg-dev: dpkg-shlibdeps, which finds the package's
# dependencies for cpack. lintian: the test that checks the Debian package. Xvfb:
# scripts/bench.sh times ostrel-gui on a virtual X server.
packages=(g++ cmake make libgtest-dev libbenchmark-dev libopenblas-dev ghostscript
          clang libclang-rt-14-dev clang-format ngspice qt6-base-dev qt6-qpa-plugins
          fonts-dejavu-core libeigen3-dev libqt6svg6 help2man dpkg-dev lintian xvfb)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "Installing missing Debian packages: ${missing[*]}"
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}" >/dev/null
fi

cmake -S . -B build -DCMAKE_BUILD_TYPE=Release "$@" >/dev/null
cmake --build build -j2
