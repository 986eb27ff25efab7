#!/usr/bin/env bash
# What a player waits for on every start when nothing needs updating: the time
# from starting the updater to the client's launch, with 5,000 installed and
# announced modules, all current. The floor is the same work done by standard
# tools in the same run: the two GETs with curl and an xmllint parse of both
# lists. Prints the medians and their ratio.
#   bash bench/startup_bench.sh [modules] [rounds]
# UPDATER_BINARY=path measures another build of the updater (a baseline).
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
modules=${1:-5000}
rounds=${2:-15}

source "$ROOT/bench/common.sh"

install=$work/install
served=$work/served
mkdir -p "$install" "$served"
python3 - "$modules" "$install/installed.xml" "$served/list.xml" <<'PY'
import sys
count, installed, listed = int(sys.argv[1]), sys.argv[2], sys.argv[3]
names = [f"data/pack{i // 100:03d}/file{i:05d}.dat" for i in range(count)]
with open(installed, "w") as f:
    f.write('<?xml version="1.0"?>\n<modules>\n')
    for n in names:
        f.write(f'  <module name="{n}" version="3.{len(n)}" md5sum="0123456789abcdef0123456789abcdef"/>\n')
    f.write("</modules>\n")
with open(listed, "w") as f:
    f.write('<?xml version="1.0"?>\n<downloadFiles>\n')
    for n in names:
        f.write(f'  <module name="{n}" version="3.{len(n)}" url="http://127.0.0.1/{n}" '
                f'md5sum="0123456789abcdef0123456789abcdef" critical="true" contentLength="1000"/>\n')
    f.write("</downloadFiles>\n")
PY
cat >"$served/mm.xml" <<'XML'
<parameters><parameter name="successful">true</parameter><parameter name="status">Up</parameter><parameter name="message"></parameter></parameters>
XML

port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
python3 -m http.server --bind 127.0.0.1 --directory "$served" "$port" >/dev/null 2>&1 &
server_pid=$!
for _ in $(seq 100); do curl -s -o /dev/null "http://127.0.0.1:$port/mm.xml" && break; sleep 0.05; done

# The client notes the moment it starts.
cat >"$install/client" <<'SH'
#!/bin/sh
date +%s%N > launched
SH
chmod +x "$install/client"
cat >"$install/UpdaterIni.xml" <<XML
<UpdaterIni>
  <commMaintMgr>http://127.0.0.1:$port/mm.xml</commMaintMgr>
  <updateServer>http://127.0.0.1:$port/list.xml</updateServer>
  <modulesFile>installed.xml</modulesFile>
  <autoStart>client</autoStart>
</UpdaterIni>
XML
cp "$binary" "$install/updater"

median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

updater_times=()
floor_times=()
for _ in $(seq "$rounds"); do
  rm -f "$install/launched"
  start=$(date +%s%N)
  (cd "$install" && ./updater 2>/dev/null) || { echo "the updater failed; see $install/update.log" >&2; exit 1; }
  for _ in $(seq 200); do [[ -s $install/launched ]] && break; sleep 0.01; done
  updater_times+=($(( ($(cat "$install/launched") - start) / 1000 )))

  start=$(date +%s%N)
  curl -s -o /dev/null "http://127.0.0.1:$port/mm.xml"
  curl -s -o "$work/answer.xml" "http://127.0.0.1:$port/list.xml"
  xmllint --noout "$install/installed.xml" "$work/answer.xml"
  floor_times+=($(( ($(date +%s%N) - start) / 1000 )))
done

updater=$(printf '%s\n' "${updater_times[@]}" | median)
floor=$(printf '%s\n' "${floor_times[@]}" | median)
echo "modules: $modules, rounds: $rounds"
echo "updater, start to client launch (median): $(awk -v t="$updater" 'BEGIN { printf "%.1f ms", t / 1000 }')"
echo "floor, curl x2 + xmllint (median):        $(awk -v t="$floor" 'BEGIN { printf "%.1f ms", t / 1000 }')"
echo "ratio: $(awk -v a="$updater" -v b="$floor" 'BEGIN { printf "%.2f", a / b }')"
