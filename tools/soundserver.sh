#!/usr/bin/env bash
# A private PulseAudio with a null sink, for the tests that listen to what is played.
#   tools/soundserver.sh start DIR    start it with DIR as its XDG_RUNTIME_DIR
#   tools/soundserver.sh stop DIR     stop it
# Without pulseaudio, start says so and succeeds, and those tests skip; under CI it fails.
set -u
dir=${2:?usage: $0 start|stop DIR}
export XDG_RUNTIME_DIR=$dir
case "$1" in
  start)
    if ! command -v pulseaudio >/dev/null || ! command -v parec >/dev/null; then
      echo "no pulseaudio/parec: the tests that listen to sound will skip"
      [ -z "${CI:-}" ]
      exit
    fi
    mkdir -p "$dir" && chmod 700 "$dir"
    pulseaudio --kill 2>/dev/null
    # -n: no user or system configuration, only what is loaded here.
    pulseaudio -n --daemonize=yes --exit-idle-time=-1 --log-target=file:"$dir/pulse.log" \
      --load="module-null-sink sink_name=vsink rate=48000" --load=module-native-protocol-unix &&
      pactl set-default-sink vsink
    ;;
  stop)
    pulseaudio --kill 2>/dev/null
    exit 0
    ;;
  *)
    echo "usage: $0 start|stop DIR" >&2
    exit 2
    ;;
esac
