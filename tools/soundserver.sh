#!/usr/bin/env bash
# A private sound server with a null sink "vsink" as the default output, for the tests that
# listen to what is played: PulseAudio where it is installed, otherwise PipeWire with
# pipewire-pulse and WirePlumber (on a D-Bus session of its own), as Debian 13 desktops have it.
#   tools/soundserver.sh start DIR    start it with DIR as its XDG_RUNTIME_DIR
#   tools/soundserver.sh stop DIR     stop it
#   tools/soundserver.sh kill DIR     stop the server alone, as if it died: its session bus lives on
# VEKEDIT_SOUND=pulseaudio or pipewire chooses. Without either, start says so and succeeds, and
# those tests skip; under CI it fails.
set -u
dir=${2:?usage: $0 start|stop|kill DIR}
export XDG_RUNTIME_DIR=$dir
# pactl's words in English, whatever the desktop's language; the user's own server, settings
# and saved state left alone.
export LC_ALL=C XDG_CONFIG_HOME=$dir/config XDG_STATE_HOME=$dir/state
unset PULSE_SERVER PULSE_RUNTIME_PATH

have() { command -v "$@" >/dev/null; }

server() {
  case "${VEKEDIT_SOUND:-}" in
    pulseaudio | pipewire) echo "$VEKEDIT_SOUND" ;;
    *)
      if have pulseaudio; then
        echo pulseaudio
      elif have pipewire && have pipewire-pulse && have wireplumber && have dbus-daemon; then
        echo pipewire
      fi
      ;;
  esac
}

# Each process of the server in a session of its own, so that it outlives the test that starts
# it; its id kept to stop it by.
spawn() {
  local name=$1
  shift
  setsid bash -c 'echo $$ >"$0"; exec "$@"' "$dir/$name.pid" "$@" </dev/null >"$dir/$name.log" 2>&1 &
}

# Whether a process is one of this server's, known by its runtime folder.
ours() {
  [ -r "/proc/$1/environ" ] && tr '\0' '\n' <"/proc/$1/environ" | grep -qxF "XDG_RUNTIME_DIR=$dir"
}

# Whether a process spawned by that name has ended (not one still starting).
ended() {
  [ -s "$dir/$1.pid" ] && ! ours "$(cat "$dir/$1.pid")"
}

# The server's processes, and with "all" its session bus too, only once they are gone.
stop() {
  have pulseaudio && pulseaudio --kill 2>/dev/null
  local file pid
  for file in "$dir"/*.pid; do
    [ -f "$file" ] || continue
    [ "$file" = "$dir/dbus.pid" ] && [ "${1:-}" != all ] && continue
    pid=$(cat "$file")
    if ours "$pid"; then
      kill "$pid" 2>/dev/null
      for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    fi
    rm -f "$file"
  done
  rm -rf "$dir"/pipewire-0* "$dir/pulse"
  [ "${1:-}" != all ] || rm -f "$dir/bus"
}

case "$1" in
  start)
    kind=$(server)
    if [ -z "$kind" ] || ! have parec || ! have pactl; then
      echo "no sound server (pulseaudio, or pipewire with pipewire-pulse) or no parec:" \
        "the tests that listen to sound will skip"
      [ -z "${CI:-}" ]
      exit
    fi
    mkdir -p "$dir" && chmod 700 "$dir"
    stop
    # A session bus at a known place, as a desktop has one: libpulse may wait on it for a server,
    # and PipeWire's own processes talk on it.
    if have dbus-daemon && ! { [ -f "$dir/dbus.pid" ] && ours "$(cat "$dir/dbus.pid")"; }; then
      rm -f "$dir/bus"
      dbus-daemon --session --fork --address="unix:path=$dir/bus" --print-pid=4 4>"$dir/dbus.pid"
    fi
    export DBUS_SESSION_BUS_ADDRESS="unix:path=$dir/bus"
    if [ "$kind" = pulseaudio ]; then
      # -n: no user or system configuration, only what is loaded here.
      pulseaudio -n --daemonize=yes --exit-idle-time=-1 --log-target=file:"$dir/pulse.log" \
        --load="module-null-sink sink_name=vsink rate=48000" --load=module-native-protocol-unix
    else
      # No sound cards, Bluetooth or cameras: the desktop's own server keeps them.
      wp=$XDG_CONFIG_HOME/wireplumber
      rm -rf "$wp"
      mkdir -p "$wp/main.lua.d" "$wp/bluetooth.lua.d" "$wp/wireplumber.conf.d"
      for monitor in main/alsa main/v4l2 bluetooth/bluez; do  # WirePlumber 0.4
        printf 'if %s_monitor then %s_monitor.enabled = false end\n' "${monitor#*/}" "${monitor#*/}" \
          >>"$wp/${monitor%/*}.lua.d/90-vekedit.lua"
      done
      printf 'wireplumber.profiles = { main = { monitor.alsa = disabled, monitor.bluez = disabled, monitor.v4l2 = disabled, monitor.libcamera = disabled } }\n' \
        >"$wp/wireplumber.conf.d/90-vekedit.conf"  # WirePlumber 0.5
      spawn pipewire pipewire
      for _ in $(seq 50); do [ -S "$dir/pipewire-0" ] && break; sleep 0.1; done
      spawn wireplumber wireplumber
      spawn pipewire-pulse pipewire-pulse
    fi
    # The sink may take a moment to appear, and to be taken as the default. A PipeWire process
    # that gave up on one not yet ready is started again, and the sink loaded once it answers.
    for _ in $(seq 200); do
      if [ "$kind" = pipewire ]; then
        for name in pipewire wireplumber pipewire-pulse; do
          ! ended "$name" || spawn "$name" "$name"
        done
        pactl list short modules 2>/dev/null | grep -q 'sink_name=vsink' ||
          pactl load-module module-null-sink sink_name=vsink rate=48000 >/dev/null 2>&1
      fi
      pactl set-default-sink vsink 2>/dev/null
      pactl info 2>/dev/null | grep -q '^Default Sink: vsink$' && break
      sleep 0.1
    done
    if ! pactl info | grep -q '^Default Sink: vsink$'; then
      echo "the $kind sound server did not take vsink as its output:" >&2
      tail -n 20 "$dir"/*.log >&2
      stop
      exit 1
    fi
    echo "sound server: $(pactl info | grep '^Server Name')"
    ;;
  stop)
    stop all
    ;;
  kill)
    stop
    ;;
  *)
    echo "usage: $0 start|stop|kill DIR" >&2
    exit 2
    ;;
esac
