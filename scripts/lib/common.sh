# Shared by scripts/test and scripts/demo: packages, builds, Wine prefixes.
# shellcheck shell=bash

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
WINE64=/usr/lib/wine/wine64
WINESERVER=/usr/lib/wine/wineserver64

# Debian packages the build and the tests need. wine32:i386 runs the shipped
# 32-bit launcher under WOW64; qemu-user-static emulates 32-bit code where the
# machine cannot execute it; osslsigncode signs the launcher and openssl makes
# the test run's throwaway certificate.
ORBELLE_PACKAGES=(cmake make g++-mingw-w64-i686 g++-mingw-w64-x86-64 wine wine64 wine32:i386 wixl msitools
                  googletest xvfb xauth qemu-user-static clang libclang-rt-14-dev clang-format
                  osslsigncode openssl)

log() { printf '%s\n' "$*" >&2; }

missing_packages() {
  local p missing=()
  for p in "${ORBELLE_PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] || printf '%s\n' "${missing[@]}"
}

ensure_packages() {
  local missing
  mapfile -t missing < <(missing_packages)
  [ ${#missing[@]} -eq 0 ] && return 0
  if [ "$(id -u)" -ne 0 ]; then
    log "Missing packages: ${missing[*]}"
    log "Run as root:"
    log "  dpkg --add-architecture i386 && apt-get update && apt-get install -y --no-install-recommends ${missing[*]}"
    exit 1
  fi
  log "Installing: ${missing[*]}"
  dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386
  apt-get update -q >/dev/null
  DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}" >/dev/null
}

# build_preset <x64|x86> [extra cmake arguments...]
build_preset() {
  local preset=$1; shift
  cmake --preset "$preset" "$@" >/dev/null
  cmake --build --preset "$preset" >"$ROOT/build/build-$preset.log" 2>&1 || {
    grep -E 'error|Error' "$ROOT/build/build-$preset.log" | head -40 >&2
    log "Build failed; see build/build-$preset.log"
    return 1
  }
}

# build_x86_product: the i686 tree, whose OrbelleSetup.exe is the shipped
# build, after the x64 tree. It carries the 64-bit stand-in as payloads: each
# 32-bit process costs about a minute where 32-bit code is emulated, and the
# launcher is what is under test. scripts/test and scripts/demo both build it
# this way, so neither reconfigures the other's cache.
build_x86_product() {
  local standin64=$ROOT/build/x64/bin/standin.exe
  build_preset x86 -DPAYLOAD_UNINST="$standin64" -DPAYLOAD_VC2005_REDIST_32="$standin64" \
    -DPAYLOAD_VC2005_REDIST_64="$standin64" -DORBELLE_STANDIN_PAYLOAD="$standin64" \
    -DORBELLE_HELPER_BIN="$ROOT/build/x64/bin"
}

# new_prefix <dir>: a fresh 64-bit Wine prefix. Wine's helper processes
# inherit standard input and output, so they are started detached: otherwise
# whatever reads our output (CTest) waits for them.
new_prefix() {
  local dir=$1
  wine_stop "$dir"
  rm -rf "$dir"
  mkdir -p "$(dirname "$dir")"
  # No Mono or Gecko: their install prompts would wait for an answer.
  WINEPREFIX=$dir WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" \
    "$WINE64" wineboot --init </dev/null >/dev/null 2>&1
  WINEPREFIX=$dir "$WINESERVER" -w </dev/null >/dev/null 2>&1 || true
}

# wine_warm <dir>: a persistent wineserver and Wine's services, started detached.
wine_warm() {
  local dir=$1
  (WINEPREFIX=$dir WINEDEBUG=-all "$WINESERVER" -p; WINEPREFIX=$dir WINEDEBUG=-all "$WINE64" cmd /c exit) \
    </dev/null >/dev/null 2>&1
}

wine_stop() {
  local dir=$1
  if [ -d "$dir" ]; then
    WINEPREFIX=$dir "$WINESERVER" -k </dev/null >/dev/null 2>&1 || true
  fi
}

# to_windows_path <unix path>: the path as Wine's Z: drive shows it.
to_windows_path() {
  printf 'Z:%s' "$(printf '%s' "$1" | tr '/' '\\')"
}
