#!/usr/bin/env bash
# Prepares a Debian 12 machine for building and testing the launcher:
#  1. installs the Debian packages the build, the tests and the demo need;
#  2. builds OpenSSL, libcurl, jsoncpp, minizip and GoogleTest for MinGW-w64 from
#     Debian's source packages, once, into a cache outside the work tree;
#  3. creates one Wine prefix reporting Windows 10;
#  4. has tools/setup/build_netsurf.sh build the browser runtime's engine, in a cache folder of its own.
# Everything is keyed and stamped, so a second run only checks and returns.
# Writes build/setup.env (DEPS_PREFIX, WINEPREFIX) for the Makefile and the test scripts.
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
CACHE=${DOREVEZI_CACHE:-/var/cache/dorevezi}
HOST=x86_64-w64-mingw32
CC_POSIX=$HOST-gcc-posix
CXX_POSIX=$HOST-g++-posix
JOBS=$(nproc)
# Raise when the way the dependencies are built changes: it is part of their cache key.
DEPS_RECIPE=1

log() { printf 'setup: %s\n' "$*" >&2; }

PACKAGES=(
  g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix mingw-w64-tools libz-mingw-w64-dev
  wine wine64 xvfb xauth x11-utils xdotool
  cmake ninja-build make python3 zip unzip imagemagick dpkg-dev openssl
  autoconf automake libtool pkg-config perl
  nginx-light bsdiff aria2 curl clang-14 libclang-rt-14-dev llvm-14 zlib1g-dev libgtest-dev libjsoncpp-dev
  python3-fonttools python3-pil fonts-tlwg-loma-ttf
)
# The NetSurf engine's build tools (tools/setup/build_netsurf.sh).
PACKAGES+=(gcc patch xxd flex bison gperf libhtml-parser-perl)
# Real CJK and Latin faces for the launcher's text under Wine (see install_wine_fonts).
PACKAGES+=(fonts-noto-cjk fonts-dejavu-core)

install_packages() {
  local missing=()
  local pkg
  for pkg in "${PACKAGES[@]}"; do
    [ "$(dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null)" = "install ok installed" ] || missing+=("$pkg")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  log "installing ${missing[*]}"
  [ "$(id -u)" -eq 0 ] || { log "run as root to install packages"; exit 1; }
  apt-get update -q >/dev/null
  DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}" >/dev/null
}

# deb-src entries mirror the machine's own deb entries; no host is named here.
ensure_deb_src() {
  [ -n "$(apt-cache showsrc zlib 2>/dev/null)" ] && return 0
  local out=/etc/apt/sources.list.d/dorevezi-deb-src
  if ls /etc/apt/sources.list.d/*.sources >/dev/null 2>&1; then
    : >"$out.sources"
    local f
    for f in /etc/apt/sources.list.d/*.sources; do
      [ "$f" = "$out.sources" ] && continue
      sed -e 's/^Types:.*\bdeb\b.*$/Types: deb-src/' "$f" >>"$out.sources"
      printf '\n' >>"$out.sources"
    done
  fi
  if [ -f /etc/apt/sources.list ]; then
    grep -E '^deb ' /etc/apt/sources.list | sed 's/^deb /deb-src /' >"$out.list" || true
  fi
  log "added deb-src entries derived from the machine's apt sources"
  apt-get update -q >/dev/null
}

# All versions the source lists offer, newest first: the mirror may lack the newest one's files.
src_versions() { apt-cache showsrc "$1" 2>/dev/null | awk '/^Version:/ {print $2}' | sort -rV | uniq; }

fetch_source() { # name work-folder -> extracted source folder on stdout
  local name=$1 work=$2 version
  for version in $(src_versions "$name"); do
    rm -rf "$work/fetch-$name" && mkdir -p "$work/fetch-$name"
    if (cd "$work/fetch-$name" && apt-get source -q --only-source "$name=$version" >/dev/null 2>&1); then
      find "$work/fetch-$name" -maxdepth 1 -mindepth 1 -type d -name "$name-*" | head -n 1
      return 0
    fi
  done
  log "no source of $name could be fetched"
  return 1
}

build_openssl() {
  local src; src=$(fetch_source openssl "$1")
  log "building OpenSSL"
  (cd "$src" && ./Configure mingw64 no-shared no-tests --cross-compile-prefix=$HOST- CC=gcc-posix CXX=g++-posix \
      --prefix="$DEPS" --libdir=lib --openssldir="$DEPS/ssl" >/dev/null &&
    make -j"$JOBS" build_sw >/dev/null && make install_sw >/dev/null)
}

build_curl() {
  local src; src=$(fetch_source curl "$1")
  log "building libcurl and curl.exe"
  (cd "$src" && autoreconf -fi >/dev/null 2>&1 &&
    ./configure --host=$HOST CC=$CC_POSIX --prefix="$DEPS" --disable-shared --enable-static \
      --with-openssl="$DEPS" --with-zlib=/usr/$HOST --without-libpsl --without-brotli --without-zstd \
      --without-nghttp2 --without-libidn2 --without-librtmp --without-libssh2 --without-libgsasl \
      --disable-ldap --disable-ldaps --disable-rtsp --disable-dict --disable-telnet --disable-tftp \
      --disable-pop3 --disable-imap --disable-smtp --disable-gopher --disable-mqtt --disable-manual \
      CPPFLAGS="-I$DEPS/include" LDFLAGS="-L$DEPS/lib -static" \
      LIBS="-lcrypt32 -lbcrypt -lws2_32 -luser32 -ladvapi32" >/dev/null &&
    make -j"$JOBS" -C lib >/dev/null && make -j"$JOBS" -C src LDFLAGS="-L$DEPS/lib -all-static" >/dev/null &&
    make -C lib install >/dev/null && make -C include install >/dev/null && make -C src install >/dev/null)
  # Debian's packaging patches name the library after a TLS flavour; it is OpenSSL here.
  local flavoured
  for flavoured in "$DEPS"/lib/libcurl-*.a; do
    [ -f "$flavoured" ] && cp "$flavoured" "$DEPS/lib/libcurl.a"
  done
  return 0
}

cmake_cross() { # src build [cmake args...]
  local src=$1 bld=$2; shift 2
  cmake -S "$src" -B "$bld" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-w64-x86_64.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$DEPS" -DBUILD_SHARED_LIBS=OFF "$@" >/dev/null
  cmake --build "$bld" -j"$JOBS" >/dev/null
  cmake --install "$bld" >/dev/null
}

build_jsoncpp() {
  local src; src=$(fetch_source libjsoncpp "$1")
  log "building jsoncpp"
  cmake_cross "$src" "$1/jsoncpp-build" -DBUILD_STATIC_LIBS=ON -DBUILD_OBJECT_LIBS=OFF -DJSONCPP_WITH_TESTS=OFF \
    -DJSONCPP_WITH_POST_BUILD_UNITTEST=OFF -DJSONCPP_WITH_PKGCONFIG_SUPPORT=OFF -DJSONCPP_WITH_CMAKE_PACKAGE=OFF
}

build_googletest() {
  local src; src=$(fetch_source googletest "$1")
  log "building GoogleTest"
  cmake_cross "$src" "$1/googletest-build" -DBUILD_GMOCK=ON -DINSTALL_GTEST=ON
}

build_minizip() {
  local src; src=$(fetch_source zlib "$1")
  log "building minizip"
  local mz="$src/contrib/minizip" obj="$1/minizip-obj"
  mkdir -p "$obj" "$DEPS/include/minizip" "$DEPS/lib"
  local f
  for f in ioapi unzip zip iowin32; do
    $CC_POSIX -O2 -c -DNOCRYPT -I"$mz" "$mz/$f.c" -o "$obj/$f.o"
  done
  $HOST-ar rcs "$DEPS/lib/libminizip.a" "$obj"/*.o
  cp "$mz"/{ioapi,unzip,zip,iowin32}.h "$DEPS/include/minizip/"
  keep_minizip_reader "$mz"
}

# The native sanitizer build (tests/native) compiles minizip's reader from the same sources.
keep_minizip_reader() {
  mkdir -p "$DEPS/src/minizip"
  cp "$1"/{ioapi.c,ioapi.h,unzip.c,unzip.h,crypt.h} "$DEPS/src/minizip/"
  touch "$DEPS/src/minizip/.complete"
}

# Caches built before the reader's sources were kept get them once.
ensure_minizip_reader() {
  [ -f "$DEPS/src/minizip/.complete" ] && return 0
  local work src
  work=$(mktemp -d "$CACHE/src.XXXXXX")
  src=$(fetch_source zlib "$work")
  keep_minizip_reader "$src/contrib/minizip"
  rm -rf "$work"
}

build_dependencies() {
  ensure_deb_src
  local compiler key
  compiler=$($CXX_POSIX --version | head -n 1)
  key=$( {
    echo "$compiler"
    for p in openssl curl libjsoncpp googletest zlib; do echo "$p" $(src_versions "$p"); done
    echo "recipe $DEPS_RECIPE"
  } | sha256sum | cut -c1-16)
  DEPS="$CACHE/deps-$key"
  [ -f "$DEPS/.complete" ] && return 0
  log "building dependencies into $DEPS (a few minutes, once)"
  mkdir -p "$DEPS"
  local work step
  work=$(mktemp -d "$CACHE/src.XXXXXX")
  # Each library is stamped when installed, so an interrupted set-up resumes where it stopped.
  for step in openssl curl jsoncpp googletest minizip; do
    [ -f "$DEPS/.done-$step" ] && continue
    "build_$step" "$work"
    touch "$DEPS/.done-$step"
  done
  rm -rf "$work"
  touch "$DEPS/.complete"
}

create_wine_prefix() {
  local ver; ver=$(wine --version 2>/dev/null | tr -c 'A-Za-z0-9.\n' '_')
  WINEPREFIX="$CACHE/wineprefix-$ver"
  [ -f "$WINEPREFIX/.complete" ] && return 0
  log "creating the Wine prefix $WINEPREFIX"
  rm -rf "$WINEPREFIX"
  mkdir -p "$WINEPREFIX"
  (
    export WINEPREFIX WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
    exec 9>&-
    wineserver -f -p >/dev/null 2>&1 &
    server=$!
    wineboot -i >/dev/null 2>&1
    wine reg add 'HKCU\Software\Wine' /v Version /d win10 /f >/dev/null 2>&1
    "$ROOT/tools/testenv/stop-prefix.sh" "$WINEPREFIX" "$server"
    kill "$server" 2>/dev/null || true
    wait "$server" 2>/dev/null || true
  )
  grep -q '"Version"="win10"' "$WINEPREFIX/user.reg" || { log "the Wine prefix does not report Windows 10"; exit 1; }
  touch "$WINEPREFIX/.complete"
}

# Links Debian's Noto CJK and DejaVu collections into the prefix's Windows\Fonts with
# entries under the Fonts key, and maps the launcher's fallback face ("微软雅黑", also
# known as "Microsoft YaHei") to "Noto Sans CJK SC". Native menus and dialogs draw with Tahoma,
# which is linked to the CJK font as on a Chinese system, so the tray menu's Chinese items show.
# The .reg file is UTF-16 so the Chinese name survives any locale. Stamped on its own, so
# prefixes made before it get it.
install_wine_fonts() {
  local stamp="$WINEPREFIX/.fonts-2"
  [ -f "$stamp" ] && return 0
  log "adding CJK and Latin fonts to the Wine prefix"
  local fonts="$WINEPREFIX/drive_c/windows/Fonts" reg entries="" file name
  mkdir -p "$fonts"
  for file in /usr/share/fonts/opentype/noto/NotoSansCJK-*.ttc /usr/share/fonts/truetype/dejavu/DejaVu*.ttf; do
    [ -f "$file" ] || continue
    name=$(basename "$file")
    ln -sf "$file" "$fonts/$name"
    entries+="\"${name%.*} (TrueType)\"=\"$name\""$'\r\n'
  done
  reg=$(mktemp --suffix=.reg)
  {
    printf '\xff\xfe'
    printf '%s\r\n\r\n' 'Windows Registry Editor Version 5.00' \
      '[HKEY_LOCAL_MACHINE\Software\Microsoft\Windows NT\CurrentVersion\Fonts]' | iconv -f UTF-8 -t UTF-16LE
    printf '%s\r\n' "$entries" | iconv -f UTF-8 -t UTF-16LE
    printf '%s\r\n' '[HKEY_LOCAL_MACHINE\Software\Microsoft\Windows NT\CurrentVersion\FontSubstitutes]' \
      '"微软雅黑"="Noto Sans CJK SC"' '"Microsoft YaHei"="Noto Sans CJK SC"' '' | iconv -f UTF-8 -t UTF-16LE
    # REG_MULTI_SZ as hex(7): UTF-16LE strings, each NUL-terminated, and a final NUL.
    printf '%s\r\n%s\r\n\r\n' '[HKEY_LOCAL_MACHINE\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink]' \
      "\"Tahoma\"=hex(7):$(printf 'NotoSansCJK-Regular.ttc,Noto Sans CJK SC\0\0' | iconv -f UTF-8 -t UTF-16LE | xxd -p | tr -d '\n' | sed 's/../&,/g; s/,$//')" |
      iconv -f UTF-8 -t UTF-16LE
  } >"$reg"
  (
    export WINEPREFIX WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
    exec 9>&-
    wineserver -f -p >/dev/null 2>&1 &
    server=$!
    wine regedit /S "$(winepath -w "$reg" 2>/dev/null)" >/dev/null 2>&1
    "$ROOT/tools/testenv/stop-prefix.sh" "$WINEPREFIX" "$server"
    kill "$server" 2>/dev/null || true
    wait "$server" 2>/dev/null || true
  )
  rm -f "$reg"
  grep -q 'Microsoft YaHei"="Noto Sans CJK SC"' "$WINEPREFIX/system.reg" || { log "the font substitutes did not reach the Wine prefix"; exit 1; }
  grep -q '^"Tahoma"=str(7):"NotoSansCJK' "$WINEPREFIX/system.reg" || { log "the menu font link did not reach the Wine prefix"; exit 1; }
  touch "$stamp"
}

# The four font files the launcher embeds, made from Debian's font packages (tools/setup/make_fonts.py).
make_fonts() {
  local key
  key=$( {
    cat "$ROOT/tools/setup/make_fonts.py"
    dpkg-query -W -f='${Version}\n' python3-fonttools fonts-tlwg-loma-ttf fonts-noto-cjk
  } | sha256sum | cut -c1-16)
  FONTS_DIR="$CACHE/fonts-$key"
  [ -f "$FONTS_DIR/.complete" ] && return 0
  log "making the stand-in font files"
  rm -rf "$FONTS_DIR"
  /usr/bin/python3 "$ROOT/tools/setup/make_fonts.py" "$FONTS_DIR"
  touch "$FONTS_DIR/.complete"
}

# The launcher installs its fonts into a prefix once and keeps a file that is already there, so a
# prefix that ran an older build keeps that build's faces: such stale copies go.
drop_stale_launcher_fonts() {
  local prefix font installed
  for prefix in "$CACHE"/wineprefix-*; do
    for font in "$FONTS_DIR"/*.ttf; do
      installed="$prefix/drive_c/windows/Fonts/$(basename "$font")"
      if [ -f "$installed" ] && ! cmp -s "$font" "$installed"; then rm -f "$installed"; fi
    done
  done
}

mkdir -p "$CACHE"
# One set-up at a time on a machine; a second waits for the first and then finds it done.
exec 9>"$CACHE/.setup.lock"
flock 9
install_packages
build_dependencies
ensure_minizip_reader
create_wine_prefix
install_wine_fonts
make_fonts
drop_stale_launcher_fonts
# The browser runtime's engine: its own cache folder and stamps (a built one is only checked).
NETSURF_DIR=$(DOREVEZI_CACHE="$CACHE" "$ROOT/tools/setup/build_netsurf.sh")
mkdir -p "$ROOT/build"
printf 'DEPS_PREFIX=%s\nWINEPREFIX=%s\nFONTS_DIR=%s\nNETSURF_PREFIX=%s\n' "$DEPS" "$WINEPREFIX" "$FONTS_DIR" "$NETSURF_DIR" >"$ROOT/build/setup.env.tmp"
mv "$ROOT/build/setup.env.tmp" "$ROOT/build/setup.env"
