#!/usr/bin/env bash
# Runs one test program against a desktop keyring of its own; fails (never skips) when the
# keyring cannot be set up.
#   with-keyring.sh MODE DIR PROGRAM [ARGS...]
# DIR (emptied first) holds the private HOME, data and runtime folders. MODE:
#   available  a private session bus with gnome-keyring-daemon, its keyring unlocked
#   nobus      no session bus at all (the address points nowhere)
#   noservice  a session bus on which no Secret Service runs or can be started
#   stalled    gnome-keyring-daemon stopped (SIGSTOP) after start: calls never answer
set -u
if [ "${1:-}" = --inside ]; then
    shift
    mode=$1 dir=$2; shift 2
    keyring_pid=
    finish() {
        if [ -n "$keyring_pid" ]; then
            kill -CONT "$keyring_pid" 2>/dev/null
            kill "$keyring_pid" 2>/dev/null
        fi
    }
    trap finish EXIT
    if [ "$mode" != noservice ]; then
        if ! printf '%s' keyring-test | gnome-keyring-daemon --unlock --components=secrets \
                >"$dir/keyring.log" 2>&1; then
            echo "FAILED: gnome-keyring-daemon did not start:" >&2; cat "$dir/keyring.log" >&2
            exit 1
        fi
        # The daemon forks and claims its name on the bus a moment later.
        for _ in $(seq 100); do
            dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
                org.freedesktop.DBus.NameHasOwner string:org.freedesktop.secrets 2>/dev/null |
                grep -q 'boolean true' && break
            sleep 0.1
        done
        # It is ready when an entry can be stored and read back.
        if ! printf '%s' ready | timeout 10 secret-tool store --label=probe test probe ||
           [ "$(timeout 10 secret-tool lookup test probe)" != ready ]; then
            echo "FAILED: the private keyring does not answer" >&2; cat "$dir/keyring.log" >&2
            exit 1
        fi
        timeout 10 secret-tool clear test probe
        keyring_pid=$(dbus-send --session --print-reply --dest=org.freedesktop.DBus \
            /org/freedesktop/DBus org.freedesktop.DBus.GetConnectionUnixProcessID \
            string:org.freedesktop.secrets | awk '/uint32/ { print $2 }')
        if [ -z "$keyring_pid" ]; then
            echo "FAILED: no process owns the Secret Service on the private bus" >&2
            exit 1
        fi
        [ "$mode" = stalled ] && kill -STOP "$keyring_pid"
    fi
    "$@"
    exit $?
fi

mode=${1:?mode}; dir=${2:?work directory}; shift 2
here=$(cd "$(dirname "$0")" && pwd)
rm -rf "$dir"
mkdir -p "$dir/home" "$dir/data" "$dir/config" "$dir/run" && chmod 700 "$dir/run" || exit 1
export HOME="$dir/home" XDG_DATA_HOME="$dir/data" XDG_CONFIG_HOME="$dir/config" \
       XDG_RUNTIME_DIR="$dir/run" NORVANE_TEST_KEYRING="$mode"
unset DISPLAY WAYLAND_DISPLAY
case $mode in
    nobus)
        export DBUS_SESSION_BUS_ADDRESS="unix:path=$dir/run/no-bus"
        exec "$@" ;;
    available|noservice|stalled) ;;
    *) echo "with-keyring.sh: unknown mode '$mode'" >&2; exit 2 ;;
esac
# A bus of its own without service folders: nothing starts by activation behind the test's back.
cat >"$dir/session.conf" <<CONF
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:dir=$dir/run</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
CONF
exec dbus-run-session --config-file="$dir/session.conf" -- \
    bash "$here/with-keyring.sh" --inside "$mode" "$dir" "$@"
