#!/usr/bin/env bash
# Set up a Debian/Ubuntu machine for vekEdit, build it, then run the editor or the tests.
#   tools/setup.sh run [file]   install what is missing, build, start the editor
#   tools/setup.sh test         install what is missing, build, run the test suite
#   tools/setup.sh deps         only install what is missing
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build="$here/build"

packages=(
  cmake ninja-build g++ pkg-config
  qt6-base-dev qt6-base-dev-tools qt6-multimedia-dev qt6-qpa-plugins
  libgl-dev fonts-ipafont-gothic qt6-translations-l10n
  open-jtalk open-jtalk-mecab-naist-jdic hts-voice-nitech-jp-atr503-m001
)

# The tests listen to what is played on a private PulseAudio of their own. A desktop whose
# sound server is PipeWire keeps it: pulseaudio would replace pipewire-pulse, so there those
# tests skip.
test_packages=(pulseaudio-utils)
dpkg-query -W -f='${Status}' pipewire-pulse 2>/dev/null | grep -q 'ok installed' ||
  test_packages+=(pulseaudio)

as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

missing_packages() {
  local p
  for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}\n' "$p" 2>/dev/null | grep -q '^install ok installed$' || echo "$p"
  done
}

# The m001 voice lives in Debian's contrib component (Ubuntu: multiverse, and Qt 6 in universe).
enable_extra_component() {
  local id
  id=$(. /etc/os-release && echo "${ID:-debian}")
  if [ "$id" = ubuntu ]; then
    command -v add-apt-repository >/dev/null ||
      as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -q software-properties-common
    as_root add-apt-repository -y universe
    as_root add-apt-repository -y multiverse
    return 0
  fi
  grep -rqsE '^(deb .*debian.* contrib|Components:.*contrib)' /etc/apt/sources.list /etc/apt/sources.list.d/ && return 0
  local f changed=
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] || continue
    if grep -qE '^URIs:.*debian' "$f"; then
      as_root sed -i -E '/^Components:/{/contrib/!s/$/ contrib/}' "$f"
      changed=1
    fi
  done
  if [ -z "$changed" ] && [ -f /etc/apt/sources.list ]; then
    as_root sed -i -E '/^deb(-src)? .*debian/{/ contrib/!s/ main( |$)/ main contrib\1/}' /etc/apt/sources.list
  fi
}

install_deps() {
  local need
  need=$(missing_packages)
  [ -z "$need" ] && return 0
  echo "Installing:" $need
  enable_extra_component
  as_root apt-get update -q
  # shellcheck disable=SC2086
  as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends $need
}

build_all() {
  if [ ! -f "$build/build.ninja" ]; then
    cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
  fi
  cmake --build "$build"
}

case "${1:-}" in
  deps) install_deps ;;
  run)
    install_deps
    build_all
    shift
    exec "$build/vekedit" "${@:-$here/data/vek.dat}"
    ;;
  test)
    packages+=("${test_packages[@]}")
    install_deps
    build_all
    cd "$build"
    QT_QPA_PLATFORM=offscreen ctest --output-on-failure
    ;;
  *)
    echo "usage: $0 run [file] | test | deps" >&2
    exit 2
    ;;
esac
