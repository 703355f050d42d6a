# The machine scripts/demo runs the launcher on, in one of its modes, and the
# runs themselves. Needs common.sh, wow64.sh, win32.sh, run_trace.sh and, from
# the prefix on, the product's names (load_product_constants).
#
# A mode is a name with five functions:
#   demo_mode_<mode>     sets what the report says about it:
#                        TREE (the build tree whose launcher runs), LAUNCHER
#                        (that launcher; default TREE/bin/LAUNCHER_NAME),
#                        PREFIX, PREFIX_BITS, PREFIX_WINE (the loader that
#                        runs the prefix's own programs: reg, sc, the
#                        stand-ins), REGISTRY_VIEWS (the views the machine
#                        has, as reg's /reg: switch names them), VIEW (the
#                        registry view the launcher's own keys land in),
#                        UNINSTALL_VIEW (the view of the package's Uninstall
#                        entry), FIXTURE_BIN (the stand-in and the recording
#                        service that run there), TITLE, MACHINE_NOTE
#   demo_<mode>_host     makes this machine able to run it (0 or 1)
#   demo_<mode>_build    builds the trees it needs
#   demo_<mode>_prefix   makes a fresh Wine prefix at PREFIX (0 or 1)
#   demo_<mode>_launch   runs a Windows program there: <exe> [arguments...];
#                        returns its exit code, stdin /dev/null, Wine's trace
#                        channels TRACE_CHANNELS on standard error
# shellcheck shell=bash

# The launcher's file name, as resources/CMakeLists.txt builds it.
LAUNCHER_NAME=OrbelleSetup.exe

# demo_select_mode <switch>: sets MODE and its variables; exits 2 with the
# usage for a switch it does not know.
demo_select_mode() {
  case $1 in
    "") MODE=x64 ;;
    --wow64) MODE=wow64 ;;
    --win32) MODE=win32 ;;
    *) log "Usage: scripts/demo [--wow64 | --win32]"; exit 2 ;;
  esac
  LAUNCHER="" PREFIX_WINE=$WINE64 REGISTRY_VIEWS="32 64"
  "demo_mode_$MODE"
  LAUNCHER=${LAUNCHER:-$TREE/bin/$LAUNCHER_NAME}
}

# demo_step <host|build|prefix|launch> [arguments...]: the mode's function.
demo_step() {
  "demo_${MODE}_$1" "${@:2}"
}

demo_mode_x64() {
  TREE=build/x64 PREFIX=$ROOT/build/demo-prefix PREFIX_BITS=64 VIEW=64 UNINSTALL_VIEW=64
  FIXTURE_BIN=$ROOT/build/x64/bin
  TITLE="the x86_64 test build under wine64" MACHINE_NOTE=""
}
demo_x64_host() { :; }
demo_x64_build() { build_preset x64; }
demo_x64_prefix() {
  new_prefix "$PREFIX"
  wine_warm "$PREFIX"
}
demo_x64_launch() {
  WINEDEBUG=$TRACE_CHANNELS "$WINE64" "$@" </dev/null
}

demo_mode_wow64() {
  TREE=build/x86 PREFIX=$ROOT/build/demo-wow64-prefix PREFIX_BITS=64 VIEW=32 UNINSTALL_VIEW=64
  # The 64-bit fixtures: each 32-bit process start costs a minute where
  # 32-bit code is emulated.
  FIXTURE_BIN=$ROOT/build/x64/bin
  TITLE="the shipped i686 build under WOW64" MACHINE_NOTE=", with its 32-bit (WOW64) side"
}
# (The wow64 functions are not errexit-safe: call these in a condition.)
demo_wow64_host() { wow64_enable_emulation; }
demo_wow64_build() {
  build_preset x64
  build_x86_product
}
demo_wow64_prefix() {
  wine_stop "$PREFIX"
  rm -rf "$PREFIX"
  # No Mono or Gecko: their install prompts would wait for an answer.
  WINEDLLOVERRIDES="mscoree,mshtml=" wow64_make_prefix "$PREFIX"
}
demo_wow64_launch() {
  WOW64_WINEDEBUG=$TRACE_CHANNELS wow64_run "$PREFIX" "$@"
}

demo_mode_win32() {
  TREE=build/x86 PREFIX=$ROOT/build/demo-win32-prefix PREFIX_BITS=32 VIEW=32 UNINSTALL_VIEW=32
  # Nothing 64-bit runs here: a launcher with this tree's 32-bit stand-in as
  # every program, 32-bit fixtures, the 32-bit loader for reg and sc, and one
  # registry view, which both of reg's switches name.
  LAUNCHER=$TREE/bin/OrbelleSetup-win32.exe FIXTURE_BIN=$ROOT/build/x86/bin
  PREFIX_WINE=$WOW64_WINE_DIR/wine REGISTRY_VIEWS=32
  TITLE="the shipped i686 build on 32-bit Windows" MACHINE_NOTE=" (WINEARCH=win32), one registry view"
}
demo_win32_host() { wow64_enable_emulation; }
demo_win32_build() { demo_wow64_build; }
demo_win32_prefix() {
  wine_stop "$PREFIX"
  rm -rf "$PREFIX"
  # Every program the boot starts is 32-bit here, so the menu builder is left out too.
  WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d" win32_make_prefix "$PREFIX"
}
demo_win32_launch() {
  WOW64_WINEDEBUG=$TRACE_CHANNELS win32_run "$PREFIX" "$@"
}

# demo_machine: a fresh prefix (exported as WINEPREFIX) and the run's folder,
# DEMO_DIR, with a copy of the launcher; the stand-ins log to CHILD_LOG.
# Sets TEMP_DIR, the prefix's temporary folder. Exits 1 if there is no prefix.
demo_machine() {
  log "Preparing a Wine prefix for the demo..."
  if ! demo_step prefix; then exit 1; fi
  export WINEPREFIX=$PREFIX
  DEMO_DIR=$ROOT/build/demo-run
  rm -rf "$DEMO_DIR"
  mkdir -p "$DEMO_DIR"
  cp "$LAUNCHER" "$DEMO_DIR/$LAUNCHER_NAME"
  CHILD_LOG=$DEMO_DIR/children.log
  export STANDIN_LOG
  STANDIN_LOG=$(to_windows_path "$CHILD_LOG")
  TEMP_DIR=$PREFIX/drive_c/users/$(whoami)/Temp
  mkdir -p "$TEMP_DIR"
}

# run_launcher <name> [arguments...]: one run of the launcher copy; its
# standard output, trace and events under DEMO_DIR/<name>.*. Sets CODE (its
# exit code), STDOUT_FILE and EVENTS.
run_launcher() {
  local name=$1
  shift
  CODE=0
  STDOUT_FILE=$DEMO_DIR/$name.stdout EVENTS=$DEMO_DIR/$name.events
  demo_step launch "$DEMO_DIR/$LAUNCHER_NAME" "$@" >"$STDOUT_FILE" 2>"$DEMO_DIR/$name.trace" || CODE=$?
  trace_events "$DEMO_DIR/$name.trace" >"$EVENTS"
}

PACKAGE_OPEN_KEY='HKCR\Msi.Package\shell\Open\command'

# with_package_opener <program> <command...>: runs the command while the
# shell's open action for packages, in every registry view, is <program>
# with the package's path; puts the previous action back afterwards.
with_package_opener() {
  local opener=$1 v
  local -A old=()
  shift
  for v in $REGISTRY_VIEWS; do old[$v]=$(reg_default "$PACKAGE_OPEN_KEY" "$v"); done
  for v in $REGISTRY_VIEWS; do
    "$PREFIX_WINE" reg add "$PACKAGE_OPEN_KEY" /ve /d "\"$opener\" \"%1\"" /f /reg:$v </dev/null >/dev/null 2>&1
  done
  "$@"
  for v in $REGISTRY_VIEWS; do
    "$PREFIX_WINE" reg add "$PACKAGE_OPEN_KEY" /ve /d "${old[$v]}" /f /reg:$v </dev/null >/dev/null 2>&1
  done
}

# prefix_path <C:\ path>: where the file is in PREFIX.
prefix_path() {
  local path=${1#C:\\}
  printf '%s/drive_c/%s' "$PREFIX" "${path//\\//}"
}

# pe_machine <file>: the PE header's machine field.
pe_machine() {
  local off
  off=$(od -An -tu4 -j60 -N4 "$1" | tr -d ' ')
  case $(od -An -tx2 -j$((off + 4)) -N2 "$1" | tr -d ' ') in
    8664) echo "x86-64" ;; 014c) echo "i386" ;; *) echo "unknown" ;;
  esac
}
