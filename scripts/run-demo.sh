#!/usr/bin/env bash
# Builds the program and starts it connected to the bundled virtual supply on a pseudo-terminal,
# with a settings folder of its own (COM1 mapped to the virtual supply), so your own settings are
# not touched. With --simulation it runs in simulation mode on the built-in loopback line instead.
# Further arguments are passed to the program.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/build.sh"
build="${TAVREL_BUILD_DIR:-$root/build}"

simulation=0
if [ "${1:-}" = "--simulation" ]; then
    simulation=1
    shift
fi

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
cleanup() { [ -n "$supply_pid" ] && kill "$supply_pid" 2>/dev/null || true; }
trap cleanup EXIT

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

# Map COM1 in the demo's own settings file, keeping whatever else it holds.
touch "$ini"
if grep -q '^\[Ports\]' "$ini"; then
    sed -i "/^\[Ports\]/,/^\[/{s|^COM1=.*|COM1=$port_path|}" "$ini"
    grep -q '^COM1=' "$ini" || sed -i "s|^\[Ports\]|[Ports]\nCOM1=$port_path|" "$ini"
else
    printf '\n[Ports]\nCOM1=%s\n' "$port_path" >> "$ini"
fi
echo "Settings: $ini"
socket="$XDG_RUNTIME_DIR/tavrel/Control"
control="$build/tools/control/tavrel-control"
echo "Control link: $socket"
# Quoted for the shell, so each line works when pasted into another terminal.
printf '  try in another terminal: %q --socket %q request %q\n' "$control" "$socket" 'Label_UMon(0)'
printf '  the monitors of the last minute: %q --socket %q history 60\n' "$control" "$socket"
printf '  the journal (Tools > Journal): XDG_STATE_HOME=%q %q journal --follow\n' "$XDG_STATE_HOME" "$control"
"$build/tavrel" "${switches[@]}" "$@"
