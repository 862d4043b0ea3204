#!/usr/bin/env bash
# Set up a Debian/Ubuntu machine for vekEdit, build it, then run the editor or the tests.
#   tools/setup.sh run [file]   install what is missing, build, start the editor
#   tools/setup.sh test         install what is missing, build, run the test suite
#   tools/setup.sh deps         only install what is missing
#   tools/setup.sh package      build the Debian package, check it with lintian, install it and
#                               drive the installed program end to end
#   tools/setup.sh bench        run the benchmarks, the speech one on a private sound server
#   tools/setup.sh faults       fail every system call of a Save and a Start with every fault
#   tools/setup.sh ci           what CI runs: the tests, sanitizers, fuzzing and the package here,
#                               then the tests in fresh Debian 13 and unstable roots, and the
#                               package in the Debian 13 one (tools/inroot.sh)
# Several of test, package, bench, faults and deps may follow each other: tools/setup.sh test package.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build="$here/build"

packages=(
  cmake ninja-build g++ pkg-config libxcb1-dev
  qt6-base-dev qt6-base-dev-tools qt6-qpa-plugins libpulse-dev
  libgl-dev fonts-ipafont-gothic qt6-translations-l10n
  open-jtalk open-jtalk-mecab-naist-jdic hts-voice-nitech-jp-atr503-m001
)

installed() {
  dpkg-query -W -f='${Status}\n' "$1" 2>/dev/null | grep -q '^install ok installed$'
}

# The sound server the tests start a private one of: the system's own. pulseaudio would replace
# pipewire-pulse, and the other way round; a system with neither gets its release's default.
sound_packages() {
  local pipewire=(pipewire pipewire-pulse wireplumber dbus)
  case "${VEKEDIT_SOUND:-}" in
    pipewire) echo "${pipewire[@]}" && return ;;
    pulseaudio) echo pulseaudio && return ;;
  esac
  if installed pipewire-pulse; then
    echo "${pipewire[@]}"
  elif installed pulseaudio; then
    echo pulseaudio
  else
    case "$(. /etc/os-release && echo "${ID:-debian}:${VERSION_ID:-}")" in
      debian:1[0-2] | debian:[0-9] | ubuntu:1* | ubuntu:2[01].* | ubuntu:22.04) echo pulseaudio ;;
      *) echo "${pipewire[@]}" ;;
    esac
  fi
}

# The tests listen to what is played on a private sound server of their own, with a session bus
# as a desktop has, and try saves on an ext4 disk of their own, as another user, under strace;
# the font dialog is tried on a family with bold and italic styles (DejaVu Sans: core and extra)
# and on one whose only style is Medium Italic (Z003, of the URW fonts);
# the system's own words for an error, in Japanese (a locale made from locales, libc-l10n's words).
# shellcheck disable=SC2207
test_packages=(pulseaudio-utils e2fsprogs acl attr strace dbus fonts-dejavu-core fonts-dejavu-extra
  fonts-urw-base35 locales libc-l10n $(sound_packages))

# The package: lintian, and an X server and keys for the installed program.
package_packages=(xvfb xdotool x11-utils imagemagick lintian dpkg-dev file)
# What CI checks on top: clang and its runtime for fuzzing, debootstrap for the other releases.
ci_packages=(clang libclang-rt-14-dev debootstrap)

as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

missing_packages() {
  local p
  for p in "${packages[@]}"; do
    installed "$p" || echo "$p"
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

build_all() {  # the targets to build; all of them when none are named
  if [ ! -f "$build/build.ninja" ]; then
    cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
  fi
  cmake --build "$build" ${1:+--target "$@"}
}

run_tests() {  # build folder, then ctest's arguments
  local dir=$1
  shift
  (cd "$dir" && QT_QPA_PLATFORM=offscreen ctest --output-on-failure "$@")
}

# A build of its own folder with extra CMake options, of the named targets only.
checked_build() {
  local dir=$1 targets=$2
  shift 2
  [ -f "$dir/build.ninja" ] || cmake -S "$here" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@"
  # shellcheck disable=SC2086
  cmake --build "$dir" --target $targets
}

ci_checks() {
  local suite="tst_phrasefile savecase tst_failures tst_shell tst_settings tst_speech"
  echo "== AddressSanitizer and UndefinedBehaviorSanitizer"
  checked_build "$here/build-asan" "$suite" -DVEKEDIT_SANITIZE=address,undefined
  # Every leak counts: nothing is suppressed.
  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
    run_tests "$here/build-asan" -E tst_installed
  echo "== ThreadSanitizer (GCC) on the speech tests"
  checked_build "$here/build-tsan" tst_speech -DVEKEDIT_SANITIZE=thread
  TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1:die_after_fork=0 run_tests "$here/build-tsan" -R "sound|speech"
  echo "== libFuzzer, 20 s a target over the committed corpus"
  CXX=clang++ checked_build "$here/build-fuzz" "fuzz_phrasefile fuzz_utterances" -DVEKEDIT_FUZZ=ON
  local target corpus
  for target in phrasefile utterances; do
    corpus=$(mktemp -d)
    cp -r "$here/tests/fuzz/corpus/$target/." "$corpus"
    "$here/build-fuzz/tests/fuzz/fuzz_$target" -max_total_time=20 -print_final_stats=1 "$corpus"
    rm -rf "$corpus"
  done
}

package() {
  echo "== The Debian package, installed, end to end"
  rm -f "$build"/vekedit_*.deb
  (cd "$build" && cpack -G DEB)
  lintian --fail-on error,warning "$build"/vekedit_*.deb
  as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -q "$build"/vekedit_*.deb
  VEKEDIT_EXPECT_INSTALLED=1 run_tests "$build" -R "sound|tst_installed"
}

# The test command on two more releases, and the package on the newer stable one.
other_releases() {
  as_root "$here/tools/inroot.sh" trixie test package
  as_root "$here/tools/inroot.sh" sid test
}

if [ "${1:-}" = run ]; then
  install_deps
  build_all vekedit  # only the editor: the tests and benchmarks are built by test and bench
  shift
  exec "$build/vekedit" "${@:-$here/data/vek.dat}"
fi
[ $# -gt 0 ] || set -- usage
for mode in "$@"; do
  case "$mode" in
    test | ci | bench | faults) packages+=("${test_packages[@]}") ;;&
    package | ci) packages+=("${test_packages[@]}" "${package_packages[@]}") ;;&
    ci) packages+=("${ci_packages[@]}") ;;&
    deps | test | package | ci | bench | faults) ;;
    *)
      echo "usage: $0 run [file] | test | package | bench | faults | deps | ci" >&2
      exit 2
      ;;
  esac
done
install_deps
for mode in "$@"; do
  case "$mode" in
    test)
      build_all
      run_tests "$build" -E tst_installed
      ;;
    package)
      build_all
      package
      ;;
    bench)
      build_all
      sound="$build/bench-sound"
      trap 'bash "$here/tools/soundserver.sh" stop "$sound"' EXIT
      bash "$here/tools/soundserver.sh" start "$sound"
      # The loading figures too when a speech target is missed.
      (cd "$build" || exit
        XDG_RUNTIME_DIR="$sound" QT_QPA_PLATFORM=offscreen ./bench/bench_speech
        missed=$?
        QT_QPA_PLATFORM=offscreen ./bench/bench_load && exit $missed)
      ;;
    faults)
      build_all
      # Every fault of a Start takes longer than Qt Test's five minutes for one row.
      VEKEDIT_FAULTS=all QTEST_FUNCTION_TIMEOUT=900000 run_tests "$build" -R "sound_server|tst_failures"
      ;;
    ci)
      build_all
      run_tests "$build" -E tst_installed
      VEKEDIT_FAULTS=all QTEST_FUNCTION_TIMEOUT=900000 run_tests "$build" -R "sound_server|tst_failures"
      ci_checks
      package
      other_releases
      ;;
  esac
done
