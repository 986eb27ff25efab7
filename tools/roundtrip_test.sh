#!/usr/bin/env bash
# The studio's round trip, with the programs of one build: publish release 1,
# install it, publish release 2 from a changed folder into the same output,
# serve that with nginx, run the real updater in the installation, and the
# installation must equal release 2 byte for byte.
#   bash tools/roundtrip_test.sh BUILD_DIR    (a Windows build runs under Wine)
set -euo pipefail

build=$(cd "$1" && pwd)
source_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
if [[ -f $build/updater.exe ]]; then
  exe=.exe
  # The build's own Wine prefix, wherever the program lies.
  run() { UPDATER_WINEPREFIX=$build/wine-prefix timeout --foreground -k 10 300 "$source_dir/cmake/wine-run.sh" "$@"; }
else
  exe=
  run() { timeout --foreground -k 10 300 "$@"; }
fi
NGINX=${NGINX:-$(command -v nginx || echo /usr/sbin/nginx)}

work=$(mktemp -d /tmp/roundtrip.XXXXXX)
nginx_pid=
cleanup() {
  [[ -n $nginx_pid ]] && { kill "$nginx_pid" 2>/dev/null || true; wait "$nginx_pid" 2>/dev/null || true; }
  rm -rf "$work"
}
trap cleanup EXIT
cd "$work"

# Release 1: the updater and the client, nested folders, blanks, non-ASCII.
accented=$'data/\xc3\xa9t\xc3\xa9/caf\xc3\xa9 \xe2\x9c\x93.txt'  # data/été/café ✓.txt
accented_url=data/%C3%A9t%C3%A9/caf%C3%A9%20%E2%9C%93.txt
if [[ -n $exe ]]; then
  # The Windows updater refuses names beyond ASCII, and updater-publish.exe with it.
  accented="data/ete/cafe ok.txt"
  accented_url=data/ete/cafe%20ok.txt
fi
mkdir -p release1/data/maps "release1/$(dirname "$accented")" release1/music
cp "$build/updater$exe" "release1/updater$exe"
cp "$build/sample_client$exe" "release1/client$exe"
echo "level 1, release 1" >"release1/data/maps/level 1.map"
echo "unchanged in release 2" >release1/data/same.dat
echo "café, release 1" >"release1/$accented"
head -c 300000 /dev/urandom >release1/music/theme.ogg
# Release 2: changed files, a new one in a new folder, the rest as it was.
cp -r release1 release2
echo "level 1, release 2" >"release2/data/maps/level 1.map"
echo "café, release 2" >"release2/$accented"
mkdir -p "release2/data/new folder"
head -c 200000 /dev/urandom >"release2/data/new folder/level 2.map"

port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
base=http://127.0.0.1:$port
publish() { run "$build/updater-publish$exe" "$@"; }
publish --quiet --base-url "$base/game" --non-critical 'music/**' release1 www/game
publish maintenance --status Up www/maintenance.xml

# The installer's part: release 1 and its installed-modules file.
cp -r release1 install
cp www/game/installed.xml install/installed.xml
cat >install/UpdaterIni.xml <<XML
<?xml version="1.0"?>
<UpdaterIni>
  <commMaintMgr>$base/maintenance.xml</commMaintMgr>
  <updateServer>$base/game/modules.xml</updateServer>
  <modulesFile>installed.xml</modulesFile>
  <autoStart>client$exe</autoStart>
</UpdaterIni>
XML

publish --quiet --base-url "$base/game" --non-critical 'music/**' release2 www/game

mkdir -p nginx/logs
cat >nginx/nginx.conf <<CONF
daemon off;
master_process off;
worker_processes 1;
pid $work/nginx/nginx.pid;
error_log $work/nginx/logs/error.log;
events { worker_connections 64; }
http {
  access_log $work/nginx/logs/access.log;
  client_body_temp_path $work/nginx/body;
  proxy_temp_path $work/nginx/proxy;
  fastcgi_temp_path $work/nginx/fastcgi;
  uwsgi_temp_path $work/nginx/uwsgi;
  scgi_temp_path $work/nginx/scgi;
  server {
    listen 127.0.0.1:$port;
    root $work/www;
  }
}
CONF
"$NGINX" -p "$work/nginx" -c "$work/nginx/nginx.conf" -e "$work/nginx/logs/error.log" &
nginx_pid=$!
up=false
for _ in $(seq 300); do
  curl -sf -o /dev/null "$base/maintenance.xml" && { up=true; break; }
  sleep 0.1
done
# Without its server the updater would show an error and, on Windows, wait for
# a person until the time limit of run.
$up || { echo "nginx did not start:"; cat "$work/nginx/logs/error.log"; exit 1; }

status=0
(cd install && run "./updater$exe") || status=$?
if [[ $status -ne 0 ]]; then
  echo "the updater ended with $status; update.log:"
  tr -d '\r' <install/update.log
  exit 1
fi

# The modules equal release 2, and the installed-modules file records it.
diff -r --exclude=UpdaterIni.xml --exclude=installed.xml --exclude=update.log --exclude=started.txt \
  release2 install
diff <(tr -d '\r' <install/installed.xml | grep '<module' | sort) \
  <(grep '<module' www/game/installed.xml | sort)
# Only the changed and new files were fetched.
fetched=$(sed -n 's#.*"GET /game/files/\([^ ]*\) HTTP.*#\1#p' nginx/logs/access.log | sort | tr '\n' ' ')
expected="$accented_url data/maps/level%201.map data/new%20folder/level%202.map "
if [[ $fetched != "$expected" ]]; then
  echo "fetched: $fetched"
  echo "wanted:  $expected"
  exit 1
fi
echo "round trip: release 2 installed byte for byte"
