#!/usr/bin/env bash
# Runs a Windows program under Wine for CTest: wine-run.sh prog.exe args...
# The program's exit code, stdout and stderr come through unchanged.
#
# The Wine prefix lives in the build folder (the nearest parent of the program
# holding CMakeCache.txt) so builds never share or leave state in $HOME.
# UPDATER_WINEPREFIX overrides it; UPDATER_WINESERVER_PERSIST sets how many
# seconds the shared wineserver outlives its last program (default 120).
set -euo pipefail

if [[ $# -lt 1 ]]; then
  echo "usage: $0 program.exe [args...]" >&2
  exit 2
fi
exe=$1
shift

if [[ -n ${UPDATER_WINEPREFIX:-} ]]; then
  prefix=$UPDATER_WINEPREFIX
else
  dir=$(cd "$(dirname "$exe")" && pwd)
  build=$dir
  while [[ ! -f $build/CMakeCache.txt && $build != / ]]; do
    build=$(dirname "$build")
  done
  [[ -f $build/CMakeCache.txt ]] || build=$dir
  prefix=$build/wine-prefix
fi

export WINEPREFIX=$prefix
export WINEARCH=win64
export WINEDEBUG=-all
# No mono/gecko install dialogs, no menu entries written into $HOME.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"

mkdir -p "$(dirname "$WINEPREFIX")"
# Parallel tests must not build the prefix or start the server twice, and
# none may start before Wine's services are up (see below).
exec 9>"$WINEPREFIX.lock"
flock 9

stamp=$WINEPREFIX/.wine-run-initialised
if [[ ! -f $stamp ]]; then
  # Wine's daemons must not inherit the lock or CTest's output pipes, or
  # they would hold them open long after the program has gone.
  wineboot -i </dev/null >/dev/null 2>&1 9>&-
  # Waits for the registry to be written out before calling it done.
  wineserver -w </dev/null >/dev/null 2>&1 9>&-
  touch "$stamp"
fi

# A long-lived wineserver saves each program the server and prefix start-up.
# It exits 2 when one is already running for this prefix.
rc=0
wineserver -p"${UPDATER_WINESERVER_PERSIST:-120}" </dev/null >/dev/null 2>&1 9>&- || rc=$?
if [[ $rc -eq 0 ]]; then
  # Start Wine's background services now, detached from our output: started
  # by the program they would keep CTest's pipes open until the server exits.
  wineboot </dev/null >/dev/null 2>&1 9>&-
elif [[ $rc -ne 2 ]]; then
  echo "wine-run: wineserver failed to start (exit $rc)" >&2
  exit 125
fi
exec 9>&-

exec wine "$exe" "$@"
