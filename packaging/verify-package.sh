#!/usr/bin/env bash
# Builds the Debian package in build-pkg, unpacks it into a temporary root (dpkg -x, nothing is
# installed on the system) and starts the unpacked program on a virtual display with a settings
# and runtime folder of its own, in simulation mode on the loopback line. Passes when the
# control client reaches it (request Label_CommPort answers "COM1:") and a SIGTERM ends it with
# its settings written. Before that it checks that the changelog, the AppStream release and the
# manual pages name the package's version and, where they are installed, that lintian (no error,
# no warning), appstreamcli and desktop-file-validate find nothing wrong.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$root/build-pkg"

cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j2 --target tavrel tavrel-virtual-supply tavrel-control tavrel_manpage
(cd "$build" && cpack -G DEB >/dev/null)
deb="$(ls -t "$build"/tavrel_*.deb | head -n 1)"
echo "package: $deb"
dpkg-deb -f "$deb" Package Version Depends

work="$(mktemp -d "${TMPDIR:-/tmp}/tavrel-package.XXXXXX")"
program_pid=""
cleanup() {
    [ -n "$program_pid" ] && kill "$program_pid" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

dpkg -x "$deb" "$work/root"
metainfo=usr/share/metainfo/org.tavrel.Tavrel.metainfo.xml
for f in usr/bin/tavrel usr/bin/tavrel-control usr/bin/tavrel-virtual-supply \
         usr/share/applications/tavrel.desktop usr/share/icons/hicolor/scalable/apps/tavrel.svg \
         usr/share/man/man1/tavrel.1.gz usr/share/man/man1/tavrel-control.1.gz \
         usr/share/man/man1/tavrel-virtual-supply.1.gz \
         usr/share/doc/tavrel/copyright usr/share/doc/tavrel/changelog.gz "$metainfo"; do
    [ -e "$work/root/$f" ] || { echo "missing in the package: /$f" >&2; exit 1; }
done

# The release history, the metadata and the manual pages name the version being packaged.
version="$(dpkg-deb -f "$deb" Version)"
changelog_version="$(zcat "$work/root/usr/share/doc/tavrel/changelog.gz" | sed -n '1s/^tavrel (\([^)]*\)).*/\1/p')"
[ "$changelog_version" = "$version" ] \
    || { echo "packaging/changelog starts with version '$changelog_version', the package is $version" >&2; exit 1; }
release_version="$(sed -n 's/.*<release version="\([^"]*\)".*/\1/p' "$work/root/$metainfo" | sed -n 1p)"
[ "$release_version" = "$version" ] \
    || { echo "the newest <release> in the metainfo is '$release_version', the package is $version" >&2; exit 1; }
for page in "$work"/root/usr/share/man/man1/*.1.gz; do
    zcat "$page" | grep "^\.TH .* \"tavrel $version\"" >/dev/null \
        || { echo "$(basename "$page"): the .TH line does not name tavrel $version" >&2; exit 1; }
done

# Any E: or W: line fails; I: and N: lines are advice. lintian's note about running as root goes
# to standard error without a tag, so it never matches.
if command -v lintian >/dev/null; then
    lintian "$deb" >"$work/lintian.log" 2>&1 || true
    if grep -E '^[EW]: ' "$work/lintian.log" >&2; then
        echo "lintian found errors or warnings in $deb" >&2
        exit 1
    fi
    echo "lintian: no errors, no warnings"
else
    echo "lintian: not installed, skipped"
fi
if command -v appstreamcli >/dev/null; then
    if ! appstreamcli validate --no-net "$work/root/$metainfo" >"$work/appstream.log" 2>&1 \
        || grep -E '^[EW]: ' "$work/appstream.log" >/dev/null; then
        cat "$work/appstream.log" >&2
        echo "appstreamcli: /$metainfo does not validate" >&2
        exit 1
    fi
    echo "appstreamcli validate: passed"
else
    echo "appstreamcli: not installed, skipped"
fi
if command -v desktop-file-validate >/dev/null; then
    # It reports warnings without failing, so any output counts.
    issues="$(desktop-file-validate --no-hints "$work/root/usr/share/applications/tavrel.desktop" 2>&1 || true)"
    if [ -n "$issues" ]; then
        echo "$issues" >&2
        echo "desktop-file-validate: the menu entry has faults" >&2
        exit 1
    fi
    echo "desktop-file-validate: passed"
else
    echo "desktop-file-validate: not installed, skipped"
fi

export XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/runtime"
mkdir -p "$XDG_CONFIG_HOME/tavrel" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
printf '[Ports]\nCOM1=loopback\n' >"$XDG_CONFIG_HOME/tavrel/tavrel.ini"

bin="$work/root/usr/bin"
if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
    "$bin/tavrel" /COM1 /SIMULATION >"$work/tavrel.log" 2>&1 &
    program_pid=$!
elif command -v xvfb-run >/dev/null; then
    xvfb-run -a "$bin/tavrel" /COM1 /SIMULATION >"$work/tavrel.log" 2>&1 &
    # The program itself, not xvfb-run's shell (whose command line starts with the shell).
    for _ in $(seq 1 50); do
        program_pid="$(pgrep -n -f "^$bin/tavrel " || true)"
        [ -n "$program_pid" ] && break
        sleep 0.2
    done
else
    QT_QPA_PLATFORM=offscreen "$bin/tavrel" /COM1 /SIMULATION >"$work/tavrel.log" 2>&1 &
    program_pid=$!
fi

for _ in $(seq 1 50); do
    [ -S "$XDG_RUNTIME_DIR/tavrel/Control" ] && break
    sleep 0.2
done
answer="$("$bin/tavrel-control" request Label_CommPort)"
echo "request Label_CommPort: $answer"
[ "$answer" = "COM1:" ] || { echo "unexpected answer" >&2; cat "$work/tavrel.log" >&2; exit 1; }
"$bin/tavrel-control" execute ENERGY=150 >/dev/null
echo "energy field after ENERGY=150: $("$bin/tavrel-control" request 'Text_Value(0)')"

kill -TERM "$program_pid"
for _ in $(seq 1 50); do
    kill -0 "$program_pid" 2>/dev/null || break
    sleep 0.2
done
if kill -0 "$program_pid" 2>/dev/null; then
    echo "the program did not end on SIGTERM" >&2
    exit 1
fi
program_pid=""
grep -q '^Simulation=-1' "$XDG_CONFIG_HOME/tavrel/tavrel.ini" || { echo "settings not written at exit" >&2; exit 1; }
echo "package verified: installed files present, package checks clean, program answers the control link, SIGTERM ends it with its settings written"
