#!/usr/bin/env bash
# Cross-builds the NetSurf engine (Debian's "netsurf" source package, netsurf-all) for
# x86_64-w64-mingw32 as static libraries, with libpng and libjpeg-turbo from Debian's sources,
# into its own cache folder: the browser runtime stand-in links it.
#   build_netsurf.sh            builds once (step stamps: an interrupted build resumes)
#   build_netsurf.sh --print    only prints the cache folder
# The engine's changes are the patch files beside this script. Needs deb-src entries
# (tools/setup/setup.sh adds them) and the Debian packages setup.sh installs.
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
HERE="$ROOT/tools/setup"
CACHE=${DOREVEZI_CACHE:-/var/cache/dorevezi}
HOST=x86_64-w64-mingw32
CC_POSIX=$HOST-gcc-posix
JOBS=${JOBS:-$(nproc)}

log() { printf 'netsurf: %s\n' "$*" >&2; }

src_versions() { apt-cache showsrc "$1" 2>/dev/null | awk '/^Version:/ {print $2}' | sort -rV | uniq; }

fetch_source() { # name work-folder [folder-prefix] -> extracted source folder on stdout
  local name=$1 work=$2 prefix=${3:-$1} version
  for version in $(src_versions "$name"); do
    rm -rf "$work/fetch-$name" && mkdir -p "$work/fetch-$name"
    if (cd "$work/fetch-$name" && apt-get source -q --only-source "$name=$version" >/dev/null 2>&1); then
      find "$work/fetch-$name" -maxdepth 1 -mindepth 1 -type d -name "$prefix-*" | head -n 1
      return 0
    fi
  done
  log "no source of $name could be fetched"
  return 1
}

cache_key() {
  {
    $CC_POSIX --version | head -n 1
    for p in netsurf libpng1.6 libjpeg-turbo; do echo "$p" $(src_versions "$p"); done
    cat "$HERE/build_netsurf.sh" "$HERE"/netsurf/*.patch
  } | sha256sum | cut -c1-16
}

NS="$CACHE/netsurf-$(cache_key)"
if [ "${1:-}" = "--print" ]; then
  echo "$NS"
  exit 0
fi
[ -f "$NS/.complete" ] && { echo "$NS"; exit 0; }

cmake_cross() { # src build [cmake args...]
  local src=$1 bld=$2; shift 2
  cmake -S "$src" -B "$bld" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-w64-x86_64.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$NS" "$@" >/dev/null 2>&1
  cmake --build "$bld" -j"$JOBS" >/dev/null
  cmake --install "$bld" >/dev/null
}

build_jpeg() {
  local src; src=$(fetch_source libjpeg-turbo "$WORK")
  log "building libjpeg-turbo"
  cmake_cross "$src" "$WORK/jpeg-build" -DENABLE_SHARED=OFF -DENABLE_STATIC=ON -DWITH_SIMD=OFF -DWITH_TURBOJPEG=OFF
}

build_png() {
  local src; src=$(fetch_source libpng1.6 "$WORK")
  log "building libpng"
  cmake_cross "$src" "$WORK/png-build" -DPNG_SHARED=OFF -DPNG_STATIC=ON -DPNG_TESTS=OFF -DPNG_EXECUTABLES=OFF \
    -DZLIB_LIBRARY=/usr/$HOST/lib/libz.a -DZLIB_INCLUDE_DIR=/usr/$HOST/include
}

# The engine's own sources, patched once and kept in the work folder for the later steps.
engine_source() {
  if [ ! -f "$WORK/netsurf.src" ]; then
    local src p; src=$(fetch_source netsurf "$WORK")
    for p in "$HERE"/netsurf/*.patch; do patch -s -d "$src" -p1 <"$p"; done
    echo "$src" >"$WORK/netsurf.src"
  fi
  cat "$WORK/netsurf.src"
}

ns_make() { # folder [make args...]: one engine library for the Windows host
  local dir=$1; shift
  make -C "$dir" HOST=$HOST CC=$CC_POSIX AR=$HOST-ar PREFIX="$NS" GCCSDK_INSTALL_ENV="$NS" Q= DESTDIR= \
    WARNFLAGS=-w -j"$JOBS" "$@" >"$WORK/make.log" 2>&1 || { tail -n 30 "$WORK/make.log" >&2; return 1; }
}

build_libraries() {
  local src lib; src=$(engine_source)
  log "building the engine's libraries"
  ns_make "$src/buildsystem" install
  # Charset conversion goes through the libraries' own codecs: no iconv on Windows.
  CFLAGS=-DWITHOUT_ICONV_FILTER ns_make "$src/libparserutils" install
  for lib in libwapcaplet libcss libhubbub libnsbmp libnsgif libnsutils libutf8proc libnspsl libnslog; do
    ns_make "$src/$lib" install
  done
  ns_make "$src/libdom" install WITH_EXPAT_BINDING=no WITH_HUBBUB_BINDING=yes
  # nsgenbind generates the JavaScript bindings at build time: a tool for this machine.
  make -C "$src/nsgenbind" install CC=gcc HOST="$(gcc -dumpmachine)" PREFIX="$NS" Q= DESTDIR= -j"$JOBS" >"$WORK/make.log" 2>&1 ||
    { tail -n 30 "$WORK/make.log" >&2; return 1; }
}

# The core without a front end (the runtime brings its own) and without its own fetchers of
# http and https (the runtime fetches), with Duktape JavaScript.
build_core() {
  local src; src=$(engine_source)
  log "building the engine's core"
  (cd "$src/netsurf" && PATH="$PATH:$NS/bin" CFLAGS="-I$NS/include -U__STRICT_ANSI__" make corelib TARGET=monkey \
    HOST=$HOST CC=$CC_POSIX AR=$HOST-ar GCCSDK_INSTALL_ENV="$NS" \
    "PKG_CONFIG=PKG_CONFIG_LIBDIR=$NS/lib/pkgconfig:/usr/$HOST/lib/pkgconfig pkg-config" \
    NETSURF_USE_CURL=NO NETSURF_USE_OPENSSL=NO NETSURF_USE_WEBP=NO NETSURF_USE_NSSVG=NO NETSURF_USE_ROSPRITE=NO \
    NETSURF_USE_LIBICONV_PLUG=NO NETSURF_USE_PNG=YES NETSURF_USE_BMP=YES NETSURF_USE_GIF=YES CWARNFLAGS= \
    -j"$JOBS" >"$WORK/make.log" 2>&1) || { tail -n 30 "$WORK/make.log" >&2; return 1; }
  local obj="$src/netsurf/build/$HOST-monkey" inc="$NS/include/netsurf-core"
  cp "$obj/libnetsurf.a" "$NS/lib/libnetsurf.a"
  # The headers a front end includes, with the build's generated ones.
  rm -rf "$inc" && mkdir -p "$inc"
  (cd "$src/netsurf" && find include utils content desktop -name '*.h' -exec cp --parents {} "$inc/" \;)
  (cd "$obj" && find . -maxdepth 1 -name '*.h' -exec cp {} "$inc/" \;)
  mkdir -p "$NS/share/netsurf"
  cp "$src/netsurf/resources/"{default.css,quirks.css,adblock.css,internal.css} "$NS/share/netsurf/"
}

mkdir -p "$CACHE" "$NS"
# One build at a time; a second waits for the first and then finds it done.
exec 8>"$CACHE/.netsurf.lock"
flock 8
if [ ! -f "$NS/.complete" ]; then
  log "building into $NS (once)"
  WORK="$NS/work"
  mkdir -p "$WORK"
  for step in jpeg png libraries core; do
    [ -f "$NS/.done-$step" ] && continue
    "build_$step"
    touch "$NS/.done-$step"
  done
  rm -rf "$WORK"
  touch "$NS/.complete"
fi
echo "$NS"
