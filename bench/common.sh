# Shared set-up of the whole-program benchmarks; source it after setting ROOT.
# Gives $binary (UPDATER_BINARY, or the linux build's updater, built on demand)
# and $work, a scratch folder (from the mktemp template $work_template when
# set), removed on exit with the server whose pid is left in $server_pid.
build=$ROOT/build/linux
binary=${UPDATER_BINARY:-}
if [[ -z $binary ]]; then
  [[ -f $build/CMakeCache.txt ]] || cmake --preset linux >/dev/null
  cmake --build "$build" --target updater -j2 >/dev/null
  binary=$build/updater
fi

if [[ -n ${work_template:-} ]]; then work=$(mktemp -d "$work_template"); else work=$(mktemp -d); fi
server_pid=
cleanup() {
  # A killed server's status must not end the clean-up under set -e.
  [[ -n $server_pid ]] && kill "$server_pid" 2>/dev/null && wait "$server_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
