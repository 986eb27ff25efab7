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
cmake --build "$build" --target updater sample_client -j2 >/dev/null
updater=$build/updater$exe
client=$build/sample_client$exe

sample=$ROOT/build/sample
rm -rf "$sample"
install=$sample/install
server=$sample/server
mkdir -p "$install/data/maps" "$server/files/data/maps"

# Release 1.0, as installed on the player's machine.
cp "$client" "$install/client$exe"
echo "client data, release 1.0" >"$install/client.dat"
echo "level 1, release 1.0" >"$install/data/maps/level1.map"
echo "read me, release 1.0" >"$install/readme.txt"
cat >"$install/installed.xml" <<XML
<?xml version="1.0"?>
<modules>
  <module name="client$exe" version="1.0"/>
  <module name="client.dat" version="1.0"/>
  <module name="data/maps/level1.map" version="1.0"/>
  <module name="readme.txt" version="1.0"/>
</modules>
XML

# Release 1.1, as the update server publishes it.
echo "client data, release 1.1" >"$server/files/client.dat"
echo "level 1, release 1.1" >"$server/files/data/maps/level1.map"
echo "level 2, new in release 1.1" >"$server/files/data/maps/level2.map"
echo "read me, release 1.1" >"$server/files/readme.txt"
cat >"$server/maintenance.xml" <<XML
<?xml version="1.0"?>
<parameters>
  <parameter name="successful">true</parameter>
  <parameter name="status">Up</parameter>
  <parameter name="message">All services running.</parameter>
</parameters>
XML

port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
base=http://127.0.0.1:$port
module() {  # name version critical
  local md5
  md5=$(md5sum "$server/files/$1" | cut -d' ' -f1)
  printf '  <module name="%s" version="%s" url="%s/files/%s" md5sum="%s" critical="%s" contentLength="%s"/>\n' \
    "$1" "$2" "$base" "$1" "$md5" "$3" "$(stat -c %s "$server/files/$1")"
}
{
  echo '<?xml version="1.0"?>'
  echo '<downloadFiles>'
  printf '  <module name="client%s" version="1.0"/>\n' "$exe"
  module client.dat 1.1 true
  module data/maps/level1.map 1.1 true
  module data/maps/level2.map 1.0 true
  module readme.txt 1.1 false
  echo '</downloadFiles>'
} >"$server/modules.xml"

cat >"$install/UpdaterIni.xml" <<XML
<?xml version="1.0"?>
<UpdaterIni>
  <commMaintMgr>$base/maintenance.xml</commMaintMgr>
  <updateServer>$base/modules.xml</updateServer>
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
