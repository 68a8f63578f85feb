#!/usr/bin/env bash
# Unpacks the Debian package into a temporary root (dpkg-deb -x, as the files would land under
# /usr) and checks what an operator gets from it: the programs run from where they are installed,
# the menu entries (the console's and the demo's), icon, metadata and manual pages are valid and
# belong together, relm-demo copies the sample layout once and keeps the operator's edits, and
# relm started as its menu entry starts it waits for the connection to be chosen. The console
# runs offscreen.
# Usage: tests/packaging/installed_package_test.sh PACKAGE.deb
set -uo pipefail

if [ $# -ne 1 ] || [ ! -f "$1" ]; then
    echo "usage: tests/packaging/installed_package_test.sh PACKAGE.deb" >&2
    exit 2
fi
deb=$1

work=$(mktemp -d)
started=() # processes a short run left behind, ended by id on exit
cleanup() {
    for p in "${started[@]}"; do
        kill -KILL "$p" 2>/dev/null
    done
    rm -rf "$work"
}
trap cleanup EXIT

root=$work/root
if ! dpkg-deb -x "$deb" "$root"; then
    echo "cannot unpack $deb" >&2
    exit 1
fi
bin=$root/usr/bin
share=$root/usr/share
sample=$share/relm/layout

passed=0
failed=0
pass() {
    passed=$((passed + 1))
    echo "ok: $1"
}
fail() {
    failed=$((failed + 1))
    echo "FAILED: $1"
    shift
    [ $# -gt 0 ] && printf '%s\n' "$@" | sed 's/^/    /'
}

# --- The programs, without a display --------------------------------------------------------

headless=(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM)
version=$(dpkg-deb --field "$deb" Version)
out=$("${headless[@]}" "$bin/relm" --version 2>&1)
if [ "$out" = "relm $version" ]; then
    pass "relm --version names the package's version"
else
    fail "relm --version names the package's version $version" "$out"
fi
out=$("${headless[@]}" "$bin/relm" --help 2>&1)
status=$?
if [ $status -eq 0 ] && grep -q -- '--layout DIR' <<<"$out"; then
    pass "relm --help needs no display"
else
    fail "relm --help needs no display (status $status)" "$out"
fi

# The installed map reads back as text that builds the same file again.
if "$bin/relm-map" dump "$sample/kukan.dat" >"$work/map.txt" 2>"$work/map.err" &&
    [ ! -s "$work/map.err" ] && grep -qx 'polygons 32' "$work/map.txt" &&
    "$bin/relm-map" build "$work/map.txt" "$work/rebuilt.dat" &&
    cmp -s "$work/rebuilt.dat" "$sample/kukan.dat"; then
    pass "relm-map dump reads the installed sample map, 32 sections, exact round trip"
else
    fail "relm-map dump of the installed sample map" "$(cat "$work/map.err")"
fi

# --- Desktop integration ---------------------------------------------------------------------

desktop=("$share"/applications/*.desktop)
metainfo=("$share"/metainfo/*.metainfo.xml)
# Two menu entries, the console's own (named like the metadata) and the demo's.
if [ ${#desktop[@]} -eq 2 ] && [ -f "${desktop[0]}" ] && [ ${#metainfo[@]} -eq 1 ] &&
    [ -f "${metainfo[0]}" ]; then
    id=$(basename "${metainfo[0]}" .metainfo.xml)
    pass "two desktop entries and one metadata file ($id)"

    if out=$(appstreamcli validate --no-net "${metainfo[0]}" 2>&1); then
        pass "appstreamcli validate accepts the metadata"
    else
        fail "appstreamcli validate --no-net" "$out"
    fi
    grep -q "<id>$id</id>" "${metainfo[0]}" || fail "the metadata's id is $id"

    execs=()
    for entry in "${desktop[@]}"; do
        name=$(basename "$entry")
        if out=$(desktop-file-validate "$entry" 2>&1); then
            pass "desktop-file-validate accepts $name"
        else
            fail "desktop-file-validate $name" "$out"
        fi
        entry_exec=$(sed -n 's/^Exec=//p' "$entry")
        entry_icon=$(sed -n 's/^Icon=//p' "$entry")
        execs+=("$entry_exec")
        problems=()
        [ -x "$bin/${entry_exec%% *}" ] || problems+=("Exec=$entry_exec is not an installed program")
        [ -f "$share/icons/hicolor/scalable/apps/$entry_icon.svg" ] ||
            problems+=("Icon=$entry_icon has no scalable icon")
        grep -q "<launchable type=\"desktop-id\">$name</launchable>" "${metainfo[0]}" ||
            problems+=("the metadata does not launch $name")
        grep -q '^Name\[ja\]=' "$entry" || problems+=("no Japanese name")
        if [ ${#problems[@]} -eq 0 ]; then
            pass "$name runs $entry_exec, shows the icon and is in the metadata"
        else
            fail "$name, its icon and the metadata belong together" "${problems[@]}"
        fi
    done
    if [ "$(sed -n 's/^Exec=//p' "$share/applications/$id.desktop")" = relm ] &&
        printf '%s\n' "${execs[@]}" | grep -qx relm-demo; then
        pass "$id.desktop runs the console itself, the other entry the demo"
    else
        fail "one entry runs relm, the other relm-demo" "${execs[@]}"
    fi
else
    fail "two desktop entries and one metadata file" "${desktop[@]}" "${metainfo[@]}"
fi

problems=()
for program in "$bin"/*; do
    name=$(basename "$program")
    page=$share/man/man1/$name.1.gz
    if [ ! -f "$page" ]; then
        problems+=("$name has no manual page")
    elif warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l "$page" 2>&1 >/dev/null) &&
        [ -n "$warnings" ]; then
        problems+=("$name(1): $warnings")
    fi
done
if [ ${#problems[@]} -eq 0 ]; then
    pass "every installed program has a manual page that renders without warnings"
else
    fail "manual pages" "${problems[@]}"
fi

# --- relm-demo -------------------------------------------------------------------------------

# "STATE PARENT" of process $1 from /proc, or nothing when it is gone. The name in the stat line
# may hold blanks, so it is read after the name's closing ')'.
proc_state() {
    local line state parent
    line=$(cat "/proc/$1/stat" 2>/dev/null) || return 1
    read -r state parent _ <<<"${line##*) }"
    echo "$state $parent"
}

# Whether process $1 runs: a child that has ended stays a zombie (Z) until it is waited for.
alive() {
    local s
    s=$(proc_state "$1") && [ "${s%% *}" != Z ]
}

# The ids of the processes whose parent is $1 (the simulator, for the console).
children_of() {
    local dir s
    for dir in /proc/[0-9]*; do
        s=$(proc_state "${dir#/proc/}") || continue
        [ "${s#* }" = "$1" ] && echo "${dir#/proc/}"
    done
}

# Runs relm-demo offscreen with the given environment until the simulated controller is up and
# the console has had a second and a half to open the line and its windows, then ends it.
# Succeeds when the console was still running and had reported no error.
short_run() {
    local log=$work/demo.log
    : >"$log"
    env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=offscreen "$@" "$bin/relm-demo" \
        >"$log" 2>&1 &
    local pid=$! # relm itself: relm-demo hands over to it
    started+=("$pid")
    local i
    for ((i = 0; i < 100; i++)); do
        grep -q 'serving ' "$log" && break
        alive "$pid" || break
        sleep 0.1
    done
    sleep 1.5
    local children
    children=$(children_of "$pid")
    started+=($children)
    local running=no
    alive "$pid" && running=yes
    kill -TERM "$pid" 2>/dev/null
    for ((i = 0; i < 50; i++)); do
        alive "$pid" || break
        sleep 0.1
    done
    kill -KILL "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
    if [ -n "$children" ]; then
        sleep 0.5
        kill -KILL $children 2>/dev/null
    fi
    # Any "relm:" line but the one saying how the signal that ended the run was taken is a
    # reported error.
    if [ $running = yes ] && grep -q 'serving ' "$log" &&
        ! grep -v '^relm: signal [0-9]*: ending as Exit does$' "$log" | grep -q '^relm\(-demo\)\?:'; then
        return 0
    fi
    cat "$log"
    return 1
}

home=$work/home
data=$work/data
demo=$data/relm/demo
mkdir -p "$home"

out=$(HOME=$home XDG_DATA_HOME=$data "${headless[@]}" "$bin/relm-demo" --help 2>&1)
status=$?
if [ $status -eq 0 ] && grep -q '^usage: relm-demo' <<<"$out" && [ ! -e "$data" ]; then
    pass "relm-demo --help shows its usage and copies nothing"
else
    fail "relm-demo --help (status $status)" "$out"
fi
out=$(HOME=$home XDG_DATA_HOME=$data "$bin/relm-demo" --port /dev/ttyS0 2>&1)
status=$?
if [ $status -eq 2 ] && grep -q -- '--port' <<<"$out" && [ ! -e "$data" ]; then
    pass "relm-demo refuses --port, saying so, and copies nothing"
else
    fail "relm-demo --port (status $status)" "$out"
fi

same_as_sample() {
    local f
    for f in "$sample"/*; do
        cmp -s "$f" "$1/$(basename "$f")" || return 1
    done
}

if out=$(short_run HOME="$home" XDG_DATA_HOME="$data") && same_as_sample "$demo"; then
    pass "first start: the demo layout is copied and the console runs on it"
else
    fail "first start of relm-demo" "$out" "$(ls -la "$demo" 2>&1)"
fi

# The operator saves other start positions and deletes the map source; a second start keeps the
# first and brings back the second.
printf ' %s \r\n' 1 5 0 1 0 0 0 0 0 0 0 0 >"$work/edited.ini"
cp "$work/edited.ini" "$demo/atc.ini"
rm -f "$demo/layout.txt"
if out=$(short_run HOME="$home" XDG_DATA_HOME="$data") &&
    cmp -s "$work/edited.ini" "$demo/atc.ini" && cmp -s "$sample/layout.txt" "$demo/layout.txt" &&
    [ -z "$(find "$demo" -name '.*')" ]; then
    pass "second start: the edited atc.ini survives, a deleted file comes back"
else
    fail "second start of relm-demo" "$out" "$(ls -la "$demo" 2>&1)" "$(cat -A "$demo/atc.ini")"
fi

# A relative XDG_DATA_HOME is ignored, as the base directory rules say.
cd "$work" || exit 1
if out=$(short_run HOME="$home" XDG_DATA_HOME=relative) && [ ! -e "$work/relative" ] &&
    same_as_sample "$home/.local/share/relm/demo"; then
    pass "a relative XDG_DATA_HOME is ignored: the copy goes to ~/.local/share/relm/demo"
else
    fail "relm-demo with a relative XDG_DATA_HOME" "$out"
fi

# In English: relm finds the installed translation (it says on stderr when it cannot, and the
# run fails on that line); LANGUAGE names English before LANG's Japanese.
if [ -f "$share/relm/translations/relm_en.qm" ] &&
    out=$(short_run HOME="$home" XDG_DATA_HOME="$data" LANGUAGE=en LANG=ja_JP.UTF-8); then
    pass "relm starts in English with the installed translation"
else
    fail "relm in English" "$out" "$(ls -la "$share/relm/translations" 2>&1)"
fi

# --- relm from its menu entry ------------------------------------------------------------------

# Started as the menu starts it (no options, in the home directory, nothing remembered yet), relm
# waits in the connection dialog instead of ending with the serial port's message, starts no
# simulator and remembers nothing; a logout (SIGTERM) ends it as Cancel does.
config=$work/config
mkdir -p "$config"
cd "$home" || exit 1
log=$work/menu.log
env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=offscreen HOME="$home" XDG_CONFIG_HOME="$config" \
    "$bin/relm" >"$log" 2>&1 &
pid=$!
started+=("$pid")
sleep 2
children=$(children_of "$pid")
running=no
alive "$pid" && running=yes
kill -TERM "$pid" 2>/dev/null
wait "$pid"
status=$?
if [ $running = yes ] && [ -z "$children" ] && [ $status -eq 143 ] && ! grep -q '^relm:' "$log" &&
    [ -z "$(ls -A "$config")" ]; then
    pass "relm from the menu waits for the connection to be chosen and remembers nothing unchosen"
else
    fail "relm from the menu (running $running, status $status, children '$children')" \
        "$(cat "$log")" "$(ls -laR "$config")"
fi

echo "packaging: $passed passed, $failed failed"
[ $failed -eq 0 ]
