#!/usr/bin/env bash
# A real update of a sample installation against a local update server.
#   bash scripts/sample-update.sh            the Linux program
#   bash scripts/sample-update.sh --windows  updater.exe under Wine, with a screenshot
# Everything lives under build/sample/ and is laid out anew on every run; the
# server is stopped on the way out.
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$ROOT"

windows=0
case ${1:-} in
  --windows) windows=1 ;;
  "") ;;
  *) echo "usage: $0 [--windows]" >&2; exit 2 ;;
esac

bash scripts/install-deps.sh >/dev/null

say() { printf '\n\033[1m== %s\033[0m\n' "$*"; }

if [[ $windows -eq 1 ]]; then
  preset=windows exe=.exe
else
  preset=linux exe=
fi
build=$ROOT/build/$preset
say "Building the $preset program"
[[ -f $build/CMakeCache.txt ]] || cmake --preset "$preset" >/dev/null
cmake --build "$build" --target updater sample_client updater-publish -j2 >/dev/null
updater=$build/updater$exe
client=$build/sample_client$exe
if [[ $windows -eq 1 ]]; then
  publish() { "$ROOT/cmake/wine-run.sh" "$build/updater-publish.exe" "$@"; }
else
  publish() { "$build/updater-publish" "$@"; }
fi

sample=$ROOT/build/sample
rm -rf "$sample"
install=$sample/install
server=$sample/server
port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
base=http://127.0.0.1:$port

# The studio's side: release 1.0 and release 1.1, each as it is installed.
release=$sample/release-1.0
mkdir -p "$release/data/maps"
cp "$client" "$release/client$exe"
echo "client data, release 1.0" >"$release/client.dat"
echo "level 1, release 1.0" >"$release/data/maps/level1.map"
echo "read me, release 1.0" >"$release/readme.txt"
cp -r "$release" "$sample/release-1.1"
release=$sample/release-1.1
echo "client data, release 1.1" >"$release/client.dat"
echo "level 1, release 1.1" >"$release/data/maps/level1.map"
echo "level 2, new in release 1.1" >"$release/data/maps/level2.map"
echo "read me, release 1.1" >"$release/readme.txt"

say "Publishing release 1.0, installing it, publishing release 1.1"
publish --quiet --base-url "$base/game" --non-critical readme.txt "$sample/release-1.0" "$server/game"
# An installation of release 1.0, as the game's installer leaves it.
cp -r "$sample/release-1.0" "$install"
cp "$server/game/installed.xml" "$install/installed.xml"
publish --base-url "$base/game" --non-critical readme.txt "$sample/release-1.1" "$server/game"
publish maintenance --status Up --message "All services running." "$server/maintenance.xml"
tr -d '\r' <"$server/game/modules.xml"

cat >"$install/UpdaterIni.xml" <<XML
<?xml version="1.0"?>
<UpdaterIni>
  <commMaintMgr>$base/maintenance.xml</commMaintMgr>
  <updateServer>$base/game/modules.xml</updateServer>
  <lang>en</lang>
  <gamename>sample</gamename>
  <type>full</type>
  <method>http</method>
  <prodId>1</prodId>
  <lsdId>2</lsdId>
  <siteId>3</siteId>
  <modulesFile>installed.xml</modulesFile>
  <autoStart>client$exe</autoStart>
</UpdaterIni>
XML
if [[ $windows -eq 1 ]]; then
  # A second's pause after each step keeps the window up long enough to be seen.
  sed -i 's#</UpdaterIni>#  <debugdelay>1</debugdelay>\n</UpdaterIni>#' "$install/UpdaterIni.xml"
fi

say "Serving release 1.1 on $base"
python3 -m http.server --bind 127.0.0.1 --directory "$server" "$port" >"$sample/server.log" 2>&1 &
server_pid=$!
stop() { kill "$server_pid" 2>/dev/null || true; wait "$server_pid" 2>/dev/null || true; }
trap stop EXIT
for _ in $(seq 50); do
  curl -s -o /dev/null "$base/maintenance.xml" && break
  sleep 0.1
done

say "Running the updater in $install"
rc=0
if [[ $windows -eq 1 ]]; then
  shot=$sample/progress-window.png
  # Under a virtual display of its own; the screenshot is taken while the
  # window is up (each step pauses a second).
  export ROOT install updater shot
  xvfb-run -a -s "-screen 0 800x600x24" bash -c '
    ( sleep 8; import -window root "$shot" 2>/dev/null ) &
    shooter=$!
    status=0
    (cd "$install" && "$ROOT/cmake/wine-run.sh" "$updater") || status=$?
    wait "$shooter" || true
    # The shared wineserver belongs to this display; end it with the display.
    WINEPREFIX=$(dirname "$updater")/wine-prefix wineserver -k 2>/dev/null || true
    exit $status' || rc=$?
else
  (cd "$install" && "$updater") || rc=$?
fi
echo "exit code: $rc"

say "update.log"
tr -d '\r' <"$install/update.log"
say "Files after the update"
for f in client.dat data/maps/level1.map data/maps/level2.map readme.txt; do
  printf '  %-22s %s\n' "$f" "$(tr -d '\r' <"$install/$f")"
done
say "Requests the update server saw"
sed -n 's/.*"GET \(.*\) HTTP.*/  \1/p' "$sample/server.log"
say "The client"
# It runs on its own; its record may come a moment after the updater ends.
for _ in $(seq 50); do [[ -f $install/started.txt ]] && break; sleep 0.1; done
if [[ -f $install/started.txt ]]; then
  sed 's/^/  /' "$install/started.txt"
else
  echo "  not started"
fi
say "installed.xml, rewritten"
tr -d '\r' <"$install/installed.xml"
if [[ $windows -eq 1 ]]; then
  say "Progress window"
  if [[ -s $shot ]]; then echo "  screenshot: $shot"; else echo "  no screenshot taken"; fi
fi
exit $rc
