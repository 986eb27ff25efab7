#!/usr/bin/env bash
# Installs what the Linux and Windows builds need. Safe to run again: work
# already done (packages present, stamp files written) is skipped.
set -euo pipefail

PREFIX=/opt/updater-deps/mingw64
HOST=x86_64-w64-mingw32
ROOT_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
TOOLCHAIN=$ROOT_DIR/cmake/mingw-w64-x86_64.cmake

PACKAGES=(
  # Linux build and tests
  g++ make cmake ninja-build pkgconf git file ccache
  libcurl4-openssl-dev libxml2-dev libxml2-utils libssl-dev
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  nginx-light python3 openssl gcovr
  # libFuzzer targets
  clang libclang-rt-14-dev
  # Windows cross-build and its tests under Wine
  g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix
  binutils-mingw-w64-x86-64 mingw-w64-x86-64-dev
  wine wine64 xvfb xauth xdotool x11-apps imagemagick
  # Wine loads these at run time: fonts and X extensions for windowed tests,
  # GnuTLS for HTTPS through wininet
  fonts-wine libfreetype6 libfontconfig1 libgnutls30 libxrender1 libxrandr2
  libxi6 libxcursor1 libxfixes3 libxcomposite1 libxinerama1
  # building libxml2 from Debian's source package
  dpkg-dev autoconf automake libtool xz-utils
)

log() { echo "[install-deps] $*"; }

SUDO=()
if [[ $EUID -ne 0 ]]; then
  SUDO=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive

apt_updated=0
apt_update() {
  if [[ $apt_updated -eq 0 ]]; then
    log "apt-get update"
    "${SUDO[@]}" apt-get update -q
    apt_updated=1
  fi
}

# --- Debian packages ---------------------------------------------------------
installed=$(dpkg-query -W -f='${Package} ${db:Status-Status}\n' "${PACKAGES[@]}" 2>/dev/null || true)
missing=()
for p in "${PACKAGES[@]}"; do
  grep -qx "$p installed" <<<"$installed" || missing+=("$p")
done
if [[ ${#missing[@]} -gt 0 ]]; then
  apt_update
  log "installing: ${missing[*]}"
  "${SUDO[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
else
  log "Debian packages: all present"
fi

"${SUDO[@]}" mkdir -p "$PREFIX"
JOBS=$(nproc)

# --- libxml2, static, for MinGW ---------------------------------------------
# Built from the same Debian source version as the Linux libxml2, so both
# executables parse with the same code.
xml_ver=$(dpkg-query -W -f='${source:Version}' libxml2-dev)
xml_stamp=$PREFIX/.libxml2-${xml_ver//[:~+]/_}.stamp

add_deb_src() {
  local codename list=/etc/apt/sources.list.d/updater-deb-src.sources
  codename=$(. /etc/os-release && echo "$VERSION_CODENAME")
  # Reuse the mirrors the machine already uses for binaries.
  local main_uri="" sec_uri="" keyring=/usr/share/keyrings/debian-archive-keyring.gpg
  local f
  for f in /etc/apt/sources.list.d/*.sources; do
    [[ -e $f && $f != "$list" ]] || continue
    while read -r uri suites; do
      case " $suites " in
        *" $codename-security "*) [[ -n $sec_uri ]] || sec_uri=$uri ;;
        *" $codename "*) [[ -n $main_uri ]] || main_uri=$uri ;;
      esac
    done < <(awk '
      /^[[:space:]]*$/ { if (uri != "" && suites != "") print uri, suites; uri = ""; suites = ""; next }
      /^URIs:/ { uri = $2 }
      /^Suites:/ { $1 = ""; suites = $0 }
      END { if (uri != "" && suites != "") print uri, suites }' "$f")
  done
  if [[ -z $main_uri && -f /etc/apt/sources.list ]]; then
    main_uri=$(awk -v c="$codename" '$1 == "deb" && $3 == c { print $2; exit }' /etc/apt/sources.list)
    sec_uri=$(awk -v c="$codename-security" '$1 == "deb" && $3 == c { print $2; exit }' /etc/apt/sources.list)
  fi
  [[ -n $main_uri ]] || main_uri=http://deb.debian.org/debian
  local text
  text="Types: deb-src
URIs: $main_uri
Suites: $codename $codename-updates
Components: main
Signed-By: $keyring
"
  if [[ -n $sec_uri ]]; then
    text+="
Types: deb-src
URIs: $sec_uri
Suites: $codename-security
Components: main
Signed-By: $keyring
"
  fi
  if [[ ! -f $list ]] || [[ "$(cat "$list")" != "${text%$'\n'}" ]]; then
    log "writing $list (deb-src for $codename)"
    printf '%s' "$text" | "${SUDO[@]}" tee "$list" >/dev/null
  fi
  # A fresh update is needed for the source index even if one ran above.
  apt_updated=0
  apt_update
}

if [[ -f $xml_stamp ]]; then
  log "libxml2 $xml_ver for MinGW: already in $PREFIX"
else
  log "building libxml2 $xml_ver for MinGW into $PREFIX"
  add_deb_src
  work=$(mktemp -d /tmp/updater-libxml2.XXXXXX)
  (
    cd "$work"
    apt-get source -q "libxml2=$xml_ver" || apt-get source -q libxml2
    cd "$(find . -maxdepth 1 -mindepth 1 -type d -name 'libxml2-*' | head -n1)"
    # Debian's patches touch Makefile.am, and the shipped configure was made
    # by older autotools, so regenerate it as Debian's own build does.
    autoreconf -fi >/dev/null
    ./configure -q --host=$HOST --prefix="$PREFIX" \
      CC=$HOST-gcc-posix AR=$HOST-ar RANLIB=$HOST-ranlib \
      CFLAGS="-O2 -g" \
      --enable-static --disable-shared --with-threads \
      --without-zlib --without-lzma --without-iconv --without-icu \
      --without-python --without-http --without-ftp \
      --without-debug --without-docbook
    make -j"$JOBS" -s
    "${SUDO[@]}" make -s install
  )
  rm -rf "$work"
  "${SUDO[@]}" rm -rf "$PREFIX/share/doc" "$PREFIX/share/gtk-doc" "$PREFIX/share/man"
  "${SUDO[@]}" rm -f "$PREFIX"/.libxml2-*.stamp
  "${SUDO[@]}" touch "$xml_stamp"
  log "libxml2 done"
fi

# --- GoogleTest, static, for MinGW ------------------------------------------
gtest_ver=$(dpkg-query -W -f='${Version}' googletest)
gtest_stamp=$PREFIX/.googletest-${gtest_ver//[:~+]/_}.stamp
if [[ -f $gtest_stamp ]]; then
  log "GoogleTest $gtest_ver for MinGW: already in $PREFIX"
else
  log "building GoogleTest $gtest_ver for MinGW into $PREFIX"
  work=$(mktemp -d /tmp/updater-gtest.XXXXXX)
  cmake -S /usr/src/googletest -B "$work" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$TOOLCHAIN" \
    -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_INSTALL_PREFIX="$PREFIX" \
    -DBUILD_SHARED_LIBS=OFF -DBUILD_GMOCK=ON -DINSTALL_GTEST=ON \
    -Dgtest_disable_pthreads=OFF
  cmake --build "$work" -j "$JOBS"
  "${SUDO[@]}" cmake --install "$work"
  rm -rf "$work"
  "${SUDO[@]}" rm -f "$PREFIX"/.googletest-*.stamp
  "${SUDO[@]}" touch "$gtest_stamp"
  log "GoogleTest done"
fi

log "all dependencies present"
