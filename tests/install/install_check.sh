#!/usr/bin/env bash
# `cmake --install` into a scratch prefix: the files a desktop expects are
# there and pass their validators, and the installed program knows it is
# installed (it writes its login item) where the build folder's copy does not.
#   install_check.sh BUILD_DIR BUILT_PROGRAM VERSION
set -euo pipefail
build=$1 built_program=$2 version=$3

scratch=$(mktemp -d)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$scratch"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

prefix="$scratch/usr local"  # a space in the path, as some users' prefixes have
cmake --install "$build" --prefix "$prefix" --strip >/dev/null

for file in bin/hushglass share/applications/hushglass.desktop share/icons/hicolor/scalable/apps/hushglass.svg \
            share/metainfo/io.hushglass.Hushglass.metainfo.xml share/man/man1/hushglass.1.gz; do
    [ -f "$prefix/$file" ] || fail "the installation lacks $file"
done
[ -x "$prefix/bin/hushglass" ] || fail "the installed program is not executable"

desktop-file-validate "$prefix/share/applications/hushglass.desktop" || fail "desktop-file-validate"
appstreamcli validate --no-net "$prefix/share/metainfo/io.hushglass.Hushglass.metainfo.xml" || fail "appstreamcli"
grep -q "<release version=\"$version\"" "$prefix/share/metainfo/io.hushglass.Hushglass.metainfo.xml" \
    || fail "the metadata does not name version $version"
manual=$(zcat "$prefix/share/man/man1/hushglass.1.gz")
warnings=$(printf '%s\n' "$manual" | LC_ALL=C.UTF-8 groff -man -ww -z -K utf8 2>&1) || fail "groff: $warnings"
[ -z "$warnings" ] || fail "the manual page has warnings: $warnings"
printf '%s\n' "$manual" | grep -q "Hushglass $version" || fail "the manual page does not name version $version"

# A private X server for the two runs.
Xvfb -displayfd 3 -nolisten tcp -screen 0 800x600x24 3>"$scratch/display" 2>/dev/null &
pids+=($!)
for _ in $(seq 100); do [ -s "$scratch/display" ] && break; sleep 0.1; done
[ -s "$scratch/display" ] || fail "Xvfb did not start"
display=":$(head -n1 "$scratch/display")"
mkdir -m 0700 "$scratch/runtime"

# Runs PROGRAM with "start at login" stored as on, in config folder CONFIG,
# until it has finished launching; its log goes to CONFIG.log.
run_once() {
    local program=$1 config=$2
    mkdir -p "$config/hushglass"
    echo '{"settings.launchAtLogin": true}' >"$config/hushglass/defaults.json"
    DISPLAY=$display XDG_CONFIG_HOME=$config XDG_RUNTIME_DIR=$scratch/runtime HUSHGLASS_APPCAST_URL= \
        "$program" 2>"$config.log" &
    local pid=$!
    pids+=($pid)
    for _ in $(seq 150); do grep -q "running with the settings" "$config.log" && break; sleep 0.1; done
    kill -TERM "$pid"
    wait "$pid" || true
    grep -q "running with the settings" "$config.log" || fail "$program did not start: $(cat "$config.log")"
}

run_once "$prefix/bin/hushglass" "$scratch/installed"
entry="$scratch/installed/autostart/hushglass.desktop"
[ -f "$entry" ] || fail "the installed program wrote no login item: $(cat "$scratch/installed.log")"
grep -qxF "Exec=\"$prefix/bin/hushglass\"" "$entry" || fail "the login item starts something else: $(cat "$entry")"
desktop-file-validate "$entry" || fail "the login item is not a valid desktop entry"

run_once "$built_program" "$scratch/built"
[ ! -e "$scratch/built/autostart" ] || fail "the build folder's copy registered a login item"
! grep -q "LoginItem:" "$scratch/built.log" || fail "the build folder's copy logged: $(cat "$scratch/built.log")"
echo "installed into $prefix: files, validators and the login item are as expected"
