#!/usr/bin/env bash
# Builds the program and starts it connected to the bundled virtual supply on a pseudo-terminal,
# with a settings folder of its own (COM1 mapped to the virtual supply), so your own settings are
# not touched. With --simulation it runs in simulation mode on the built-in loopback line instead.
# With --network it also starts a private MQTT broker on 127.0.0.1 (when mosquitto is installed;
# scripts/install-deps.sh installs it) and turns the lab network on, remote control allowed.
# Further arguments are passed to the program.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/build.sh"
build="${TAVREL_BUILD_DIR:-$root/build}"

simulation=0
network=0
while [ $# -gt 0 ]; do
    case "$1" in
        --simulation) simulation=1 ;;
        --network) network=1 ;;
        *) break ;;
    esac
    shift
done

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
    cat >&2 <<TXT
No display found (neither DISPLAY nor WAYLAND_DISPLAY is set), so the window cannot be shown.
Run this command on a desktop, or on a virtual display:
    xvfb-run -a $0 $*
TXT
    exit 2
fi

demo="$build/demo"
mkdir -p "$demo/config/tavrel" "$demo/runtime"
chmod 700 "$demo/runtime"
export XDG_CONFIG_HOME="$demo/config"
export XDG_RUNTIME_DIR="$demo/runtime"
export XDG_STATE_HOME="$demo/state" # the journal, when turned on, stays with the demo too
ini="$XDG_CONFIG_HOME/tavrel/tavrel.ini"

supply_pid=""
broker_pid=""
cleanup() {
    [ -n "$supply_pid" ] && kill "$supply_pid" 2>/dev/null || true
    [ -n "$broker_pid" ] && kill "$broker_pid" 2>/dev/null || true
}
trap cleanup EXIT

# Sets key=value in a section of the demo's settings file, keeping whatever else it holds.
set_setting() {
    local section="$1" key="$2" value="$3"
    touch "$ini"
    if grep -q "^\[$section\]" "$ini"; then
        sed -i "/^\[$section\]/,/^\[/{/^$key=/d}" "$ini"
        sed -i "s|^\[$section\]|[$section]\n$key=$value|" "$ini"
    else
        printf '\n[%s]\n%s=%s\n' "$section" "$key" "$value" >> "$ini"
    fi
}

if [ "$simulation" = 1 ]; then
    port_path=loopback
    switches=(/COM1 /SIMULATION)
else
    port_path="$demo/com1"
    # A supply in use, with a little noise on its monitors, so the panel comes up alive.
    "$build/tools/virtual-supply/tavrel-virtual-supply" --link "$port_path" --running-state --noise 0.002 \
        > "$demo/virtual-supply.out" &
    supply_pid=$!
    for _ in $(seq 50); do [ -e "$port_path" ] && break; sleep 0.1; done
    switches=(/COM1)
    echo "Virtual supply on $(head -n1 "$demo/virtual-supply.out") (link $port_path)"
fi

set_setting Ports COM1 "$port_path"
# The I(V) window opens beside the panel on the simulated camera; a camera search (which
# broadcasts on the local network) stays switched off here.
export TAVREL_NO_CAMERA_SEARCH=1
set_setting IV OpenAtStart 1
set_setting IV Folder "$demo/iv"
echo "Settings: $ini"

if [ "$network" = 1 ]; then
    if ! command -v mosquitto > /dev/null; then
        echo "mosquitto is not installed: scripts/install-deps.sh installs it" >&2
        exit 2
    fi
    broker_port="$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')"
    cat > "$demo/mosquitto.conf" <<CONF
listener $broker_port 127.0.0.1
allow_anonymous true
persistence false
log_dest none
set_tcp_nodelay true
user root
CONF
    mosquitto -c "$demo/mosquitto.conf" &
    broker_pid=$!
    for _ in $(seq 50); do (exec 3<>"/dev/tcp/127.0.0.1/$broker_port") 2>/dev/null && break; sleep 0.1; done
    set_setting Network Enabled 1
    set_setting Network Host 127.0.0.1
    set_setting Network Port "$broker_port"
    set_setting Network Prefix tavrel/demo
    set_setting Network RemoteControl 1
    echo "Broker: 127.0.0.1:$broker_port, topics under tavrel/demo"
    printf '  watch it: mosquitto_sub -h 127.0.0.1 -p %q -t %q -v\n' "$broker_port" 'tavrel/demo/#'
    printf '  ask it:   mosquitto_rr -h 127.0.0.1 -p %q -t tavrel/demo/cmd -e demo/reply -m %q\n' "$broker_port" \
        'REQUEST Label_UMon(0)'
fi
socket="$XDG_RUNTIME_DIR/tavrel/Control"
control="$build/tools/control/tavrel-control"
echo "Control link: $socket"
# Quoted for the shell, so each line works when pasted into another terminal.
printf '  try in another terminal: %q --socket %q request %q\n' "$control" "$socket" 'Label_UMon(0)'
printf '  the monitors of the last minute: %q --socket %q history 60\n' "$control" "$socket"
printf '  an I(V) measurement: %q --socket %q iv 50 300 2 100 %q\n' "$control" "$socket" "$demo/iv/scripted"
printf '  the journal (Tools > Journal): XDG_STATE_HOME=%q %q journal --follow\n' "$XDG_STATE_HOME" "$control"
"$build/tavrel" "${switches[@]}" "$@"
