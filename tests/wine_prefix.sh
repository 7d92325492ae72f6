#!/usr/bin/env bash
# The Wine prefix the Windows tests share, made fresh once per test run:
#   wine_prefix.sh setup PREFIX    a new prefix, booted, with a persistent wineserver
#   wine_prefix.sh cleanup PREFIX  ends every Wine process of the prefix and removes it
# Every Wine call has a time limit; Wine's own output goes to PREFIX.log.
#
# Wine's desktop process (explorer.exe) stays on the X display it was started on, and Wine
# centres windows on that display's screen. It gets an Xvfb of its own, of the same size as
# the tests' servers, that lives as long as the prefix: a test's server, which ends with
# the test, would take the desktop with it, and without any display no window can open.
# Nothing of Wine's is left running after cleanup.
set -uo pipefail

[ $# -eq 2 ] || { echo "usage: $0 setup|cleanup PREFIX" >&2; exit 2; }
action=$1
export WINEPREFIX=$2
export WINEDEBUG=-all
# No sound driver: on a machine without a sound card winealsa would print for every start.
export WINEDLLOVERRIDES="winealsa.drv,mscoree,mshtml=d"
log=$WINEPREFIX.log
desktopPid=$WINEPREFIX.xvfb-pid

stopAll() {
  timeout 20 wineserver -k >>"$log" 2>&1
  timeout 20 wineserver -w >>"$log" 2>&1
  if [ -f "$desktopPid" ]; then
    kill "$(cat "$desktopPid")" 2>/dev/null
    rm -f "$desktopPid"
  fi
}

case $action in
  setup)
    [ -d "$WINEPREFIX" ] && stopAll
    rm -rf "$WINEPREFIX"
    mkdir -p "$WINEPREFIX"
    : >"$log"
    displayFile=$(mktemp)
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$displayFile" >>"$log" 2>&1 &
    echo $! >"$desktopPid"
    for _ in $(seq 100); do
      [ -s "$displayFile" ] && break
      sleep 0.05
    done
    [ -s "$displayFile" ] || { echo "Xvfb did not start" >&2; rm -f "$displayFile"; stopAll; exit 1; }
    export DISPLAY=:$(cat "$displayFile")
    rm -f "$displayFile"
    # A persistent wineserver, started first so that booting uses it; each test's start
    # then takes a fraction of a second, prints nothing of Wine's own, and the program's
    # captured streams close as it exits.
    timeout 20 wineserver -p >>"$log" 2>&1 || { echo "wineserver -p failed" >&2; stopAll; exit 1; }
    timeout 180 wineboot -i >>"$log" 2>&1 || { echo "wineboot -i failed; see $log" >&2; stopAll; exit 1; }
    timeout 120 wine wineboot >>"$log" 2>&1 || { echo "wine wineboot failed; see $log" >&2; stopAll; exit 1; }
    # Wine closes a desktop some seconds after its last program ends: a program kept open
    # on the prefix's display holds it for the run. Cleanup ends it with the wineserver.
    timeout 3600 wine notepad >>"$log" 2>&1 &
    ;;
  cleanup)
    stopAll
    rm -rf "$WINEPREFIX"
    ;;
  *)
    echo "usage: $0 setup|cleanup PREFIX" >&2
    exit 2
    ;;
esac
