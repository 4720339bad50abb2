#!/bin/bash
# The real executable against one poll's worth of door-open reports: 2,000
# rooms (40 floors of 50), each sending one full status report at once. Prints
# the time from the first report sent to the last of the 2,000 door rows
# committed to velto.db. Runs in a network namespace of its own.
#   bench/log_view/server_burst.sh <build dir> offscreen|xvfb [perf.data]
# offscreen: no display, the window shown on the offscreen platform and the
# log on stderr; xvfb: the window on a virtual X display (needs Xvfb).
# With a third argument the server runs under perf record meanwhile (call
# graphs through DWARF: Qt's libraries have no frame pointers). KELVOR_SERVER
# names another executable to run (a build from before a change).
set -euo pipefail
if [ "${1:-}" != "--inside" ]; then
    exec unshare -n bash "$0" --inside "$@"
fi
shift
build=$(realpath "$1")
mode=$2
perfdata=${3:-}
exe=$(realpath "${KELVOR_SERVER:-$build/console/kelvor-server}")
ip link set lo up

work=$(mktemp -d)
server='' xserver='' dummy=''
trap 'kill $server $dummy 2>/dev/null || true; wait $server 2>/dev/null || true
      kill $xserver 2>/dev/null || true; wait 2>/dev/null || true; rm -rf "$work"' EXIT
cp "$build/velto.bak" "$work/velto.db"
{
    printf '[Hotel]\nName=Burst Hotel\n[Layout]\n'
    for floor in $(seq 1 40); do printf 'item%d=1 %d 50\n' "$floor" "$floor"; done
} >"$work/hotel.conf"
mkdir -p "$work/config"

cd "$work"
export HOME=$work XDG_CONFIG_HOME=$work/config
case $mode in
offscreen)
    QT_QPA_PLATFORM=offscreen "$exe" >/dev/null 2>"$work/stderr" &
    server=$!
    ;;
xvfb)
    # A display number no other X server on this machine holds.
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" >/dev/null 2>&1 &
    xserver=$!
    for _ in $(seq 1 100); do [ -s "$work/display" ] && break; sleep 0.05; done
    DISPLAY=:$(cat "$work/display") QT_QPA_PLATFORM=xcb "$exe" >/dev/null 2>"$work/stderr" &
    server=$!
    ;;
*)
    echo "mode: offscreen or xvfb" >&2
    exit 2
    ;;
esac

# Ready a while after the report port is bound (the live-room rows written).
for _ in $(seq 1 300); do
    ss -uln | grep -q ':3338 ' && break
    sleep 0.05
done
sleep 2

if [ -n "$perfdata" ]; then
    perf record --call-graph dwarf,16384 -o "$perfdata" -p "$server" 2>/dev/null &
    perfpid=$!
    sleep 0.5
fi

rows() { sqlite3 -cmd '.timeout 2000' "$work/velto.db" 'select count(*) from event_msg_list where MSG_TYPE = 11' 2>/dev/null || echo 0; }
# kelvor_report_burst signals a process when done; a stand-in keeps the
# server running so it can be timed.
sleep 600 &
dummy=$!
start=$(date +%s.%N)
"$build/tests/console/kelvor_report_burst" 3338 40 50 "$dummy"
sent=$(date +%s.%N)
n=0
for _ in $(seq 1 6000); do
    n=$(rows)
    [ "$n" -ge 2000 ] && break
    sleep 0.01
done
done_at=$(date +%s.%N)
if [ -n "$perfdata" ]; then
    kill -INT "$perfpid"
    wait "$perfpid" || true
fi
printf '%s: burst sent in %.3f s, %d door rows committed after %.3f s\n' "$mode" \
    "$(echo "$sent - $start" | bc)" "$n" "$(echo "$done_at - $start" | bc)"
