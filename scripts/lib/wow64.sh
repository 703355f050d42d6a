# wow64.sh - run 32-bit (i686) Windows programs under WOW64 in a win64 Wine prefix.
#
# Source this file; it defines functions only and changes no shell options.
#
#   wow64_can_exec_i386            0 if this machine runs 32-bit x86 ELF code (natively or via binfmt_misc)
#   wow64_enable_emulation         register qemu-i386-static with binfmt_misc, only if needed (root)
#   wow64_disable_emulation        remove that registration again (root)
#   wow64_make_prefix DIR          create or reuse a win64 prefix whose 32-bit side is initialised
#   wow64_run DIR EXE [ARGS...]    run a Windows program in DIR; exit status = its exit code mod 256
#   wow64_stop DIR                 wineserver -k for DIR
#
# Tunables (environment):
#   WOW64_QEMU            interpreter to register      (default /usr/bin/qemu-i386-static)
#   WOW64_BINFMT_NAME     binfmt_misc entry name       (default qemu-i386)
#   WOW64_FORCE_EMULATION=1  register even if 32-bit code already runs natively (for measurements)
#   WOW64_WINE_DIR        where wine/wine64/wineserver live (default /usr/lib/wine)
#   WOW64_WINEDEBUG       Wine debug channels for the program wow64_run runs (default -all)
#
# All Wine processes started here get stdin from /dev/null.  wineboot and the
# pre-start (wineserver -p plus one 64-bit cmd) also get stdout/stderr on /dev/null:
# Wine's helper processes (services.exe, winedevice.exe, plugplay.exe) inherit the
# standard error of the program that caused them to start and outlive it, so a caller
# reading that pipe (CTest, `2>&1 | ...`) would otherwise wait until wineserver -k.

WOW64_QEMU=${WOW64_QEMU:-/usr/bin/qemu-i386-static}
WOW64_BINFMT_NAME=${WOW64_BINFMT_NAME:-qemu-i386}
WOW64_BINFMT_DIR=/proc/sys/fs/binfmt_misc
WOW64_WINE_DIR=${WOW64_WINE_DIR:-/usr/lib/wine}

# The usual qemu-binfmt entry for i386 ELF (as in qemu's scripts/qemu-binfmt-conf.sh):
# class 32, little endian, ET_EXEC or ET_DYN, EM_386.
WOW64_I386_MAGIC='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
WOW64_I386_MASK='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'

# A 96-byte static i386 ELF program: mov ebx,42; mov eax,1 (exit); int 0x80.
# Written out on demand so that the check needs no 32-bit toolchain or library.
_wow64_write_probe_elf() {
    printf '\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00'`
        `'\x02\x00\x03\x00\x01\x00\x00\x00\x54\x80\x04\x08\x34\x00\x00\x00'`
        `'\x00\x00\x00\x00\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00\x00\x00'`
        `'\x00\x00\x00\x00'`
        `'\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08\x00\x80\x04\x08'`
        `'\x60\x00\x00\x00\x60\x00\x00\x00\x05\x00\x00\x00\x00\x10\x00\x00'`
        `'\xbb\x2a\x00\x00\x00\xb8\x01\x00\x00\x00\xcd\x80' >"$1" && chmod 755 "$1"
}

# wow64_can_exec_i386: returns 0 if a static 32-bit x86 Linux program runs here and
# exits with the code it was built to return (42); 1 otherwise.  Silent.
wow64_can_exec_i386() {
    local dir rc
    dir=$(mktemp -d "${TMPDIR:-/tmp}/wow64probe.XXXXXX") || return 1
    _wow64_write_probe_elf "$dir/exit42" || { rm -rf "$dir"; return 1; }
    timeout 30 "$dir/exit42" </dev/null >/dev/null 2>&1
    rc=$?
    rm -rf "$dir"
    [ "$rc" -eq 42 ]
}

_wow64_binfmt_cmds() {
    printf '%s\n' \
        "mountpoint -q $WOW64_BINFMT_DIR || mount -t binfmt_misc binfmt_misc $WOW64_BINFMT_DIR" \
        "[ -e $WOW64_BINFMT_DIR/$WOW64_BINFMT_NAME ] || printf '%s\\n' ':$WOW64_BINFMT_NAME:M::$WOW64_I386_MAGIC:$WOW64_I386_MASK:$WOW64_QEMU:F' > $WOW64_BINFMT_DIR/register" \
        "echo 1 > $WOW64_BINFMT_DIR/$WOW64_BINFMT_NAME"
}

# wow64_enable_emulation: make 32-bit x86 code runnable through qemu-i386-static.
# Does nothing (silently, returns 0) when 32-bit code already runs or the entry is
# already registered and enabled.  Otherwise, as root, mounts binfmt_misc if needed,
# registers the entry with the F flag (the interpreter is opened now, so it also works
# inside chroots and mount namespaces) and prints one line.  Not root: prints the
# commands to run and returns 1.  Returns 1 if 32-bit code still does not run after.
wow64_enable_emulation() {
    local entry="$WOW64_BINFMT_DIR/$WOW64_BINFMT_NAME" why
    if [ "${WOW64_FORCE_EMULATION:-0}" != 1 ]; then
        wow64_can_exec_i386 && return 0
        why="this kernel cannot execute 32-bit x86 code (no IA32 emulation)"
    else
        why="WOW64_FORCE_EMULATION=1"
    fi
    if [ -r "$entry" ] && head -n1 "$entry" | grep -qx enabled; then
        return 0
    fi
    if [ ! -x "$WOW64_QEMU" ]; then
        echo "wow64: $WOW64_QEMU not found; install qemu-user-static" >&2
        return 1
    fi
    if [ "$(id -u)" -ne 0 ]; then
        echo "wow64: 32-bit x86 code cannot run here and enabling emulation needs root; as root run:" >&2
        _wow64_binfmt_cmds >&2
        return 1
    fi
    if ! mountpoint -q "$WOW64_BINFMT_DIR"; then
        mount -t binfmt_misc binfmt_misc "$WOW64_BINFMT_DIR" || return 1
    fi
    if [ -e "$entry" ]; then
        # Registered but disabled: enable it instead of registering twice (EEXIST).
        echo 1 >"$entry" || return 1
    else
        printf '%s\n' ":$WOW64_BINFMT_NAME:M::$WOW64_I386_MAGIC:$WOW64_I386_MASK:$WOW64_QEMU:F" \
            >"$WOW64_BINFMT_DIR/register" || return 1
    fi
    if ! WOW64_FORCE_EMULATION=0 wow64_can_exec_i386; then
        echo "wow64: registered $WOW64_QEMU but 32-bit code still does not run" >&2
        return 1
    fi
    echo "wow64: enabled i386 emulation ($WOW64_QEMU via binfmt_misc '$WOW64_BINFMT_NAME') because $why"
}

# wow64_emulated: true when 32-bit x86 code runs through the qemu entry
# above (registered and enabled), false when it runs natively.
wow64_emulated() {
    local entry="$WOW64_BINFMT_DIR/$WOW64_BINFMT_NAME"
    [ -r "$entry" ] && head -n1 "$entry" | grep -qx enabled
}

# wow64_disable_emulation: remove the binfmt_misc entry registered above (root).
# Silent and 0 if there is none.
wow64_disable_emulation() {
    local entry="$WOW64_BINFMT_DIR/$WOW64_BINFMT_NAME"
    [ -e "$entry" ] || return 0
    echo -1 >"$entry"
}

# _wine_prefix_env ARCH DIR CMD...: runs CMD with the environment of prefix DIR,
# whose architecture ARCH is win64 or win32 (scripts/lib/win32.sh).
_wine_prefix_env() {
    local arch=$1 dir=$2; shift 2
    env WINEPREFIX="$dir" WINEARCH="$arch" WINEDEBUG=-all \
        PATH="$WOW64_WINE_DIR:$PATH" "$@"
}

# Runs a command with the prefix's environment.
_wow64_env() {
    local dir=$1; shift
    _wine_prefix_env win64 "$dir" "$@"
}

_wow64_abs() {
    case $1 in /*) printf '%s\n' "$1" ;; *) printf '%s/%s\n' "$PWD" "$1" ;; esac
}

# wow64_make_prefix DIR: create DIR as a win64 prefix with an initialised 32-bit
# (syswow64) side, or reuse it when DIR/.wow64-ready exists.  Proves the 32-bit side
# by running syswow64\cmd.exe (one 32-bit process start: ~0.5 s natively, about a minute
# under qemu).  Leaves the wineserver running (warm); call wow64_stop when done.
# Returns 0 on success, 1 on failure (message on stderr).
wow64_make_prefix() {
    local dir
    [ -n "${1:-}" ] || { echo "usage: wow64_make_prefix DIR" >&2; return 2; }
    dir=$(_wow64_abs "$1")
    if [ -f "$dir/.wow64-ready" ]; then
        _wow64_prestart "$dir"
        return 0
    fi
    if [ ! -x "$WOW64_WINE_DIR/wine" ] || [ ! -x "$WOW64_WINE_DIR/wine64" ]; then
        echo "wow64: need $WOW64_WINE_DIR/wine (wine32:i386) and $WOW64_WINE_DIR/wine64 (wine64)" >&2
        return 1
    fi
    if [ -f "$dir/system.reg" ] && grep -q '^#arch=win32' "$dir/system.reg"; then
        echo "wow64: $dir is a win32 prefix; WOW64 needs a win64 one" >&2
        return 1
    fi
    # wineboot installs the 64-bit side, then runs syswow64\rundll32 (a 32-bit process)
    # to install the WOW64 side; the latter silently does nothing when 32-bit code
    # cannot run, which is why _wine_boot checks that first.
    _wine_boot win64 wine64 wow64 "$dir" || return 1
    if [ ! -f "$dir/drive_c/windows/syswow64/kernel32.dll" ] ||
        ! grep -qi '^\[Software\\\\Wow6432Node\\\\Microsoft\\\\Windows\\\\CurrentVersion\]' "$dir/system.reg"; then
        echo "wow64: $dir has no initialised 32-bit side (syswow64 or Wow6432Node missing)" >&2
        return 1
    fi
    _wine_prove win64 wine64 wow64 "$dir" 'C:\windows\syswow64\cmd.exe'
}

# _wine_boot ARCH LOADER NAME DIR: the first wineboot of a new prefix DIR of
# architecture ARCH, started with LOADER; then waits until wineboot's helpers are done
# and the registry is on disk, so that no wineserver runs afterwards. Checks first that
# 32-bit code runs here. Returns 0 when wineboot's work is done (the caller checks what
# it made), or 1 with a message starting with NAME.
_wine_boot() {
    local arch=$1 loader=$2 name=$3 dir=$4 rc
    if ! wow64_can_exec_i386; then
        echo "$name: this machine cannot run 32-bit x86 code; call wow64_enable_emulation first" >&2
        return 1
    fi
    mkdir -p "$dir" || return 1
    _wine_prefix_env "$arch" "$dir" "$loader" wineboot --init </dev/null >/dev/null 2>&1
    rc=$?
    # Wine's loader waits at most 5 minutes for a new prefix's first wineboot, then
    # goes on without it and fails to load kernel32 (status 53). The 32-bit wineboot of
    # a win32 prefix takes longer than that where 32-bit code is emulated, and finishes
    # in the background; the wait below outlasts it, and the caller checks the result.
    if [ "$rc" -ne 0 ]; then
        echo "$name: wineboot --init returned $rc in $dir; waiting for the prefix's own wineboot" >&2
    fi
    _wine_prefix_env "$arch" "$dir" wineserver -w </dev/null >/dev/null 2>&1
    return 0
}

# _wine_prove ARCH LOADER NAME DIR CMD: pre-starts prefix DIR and runs the 32-bit
# cmd.exe at Windows path CMD with "/c exit 37". When it gives 37, writes the marker
# DIR/.NAME-ready and returns 0; else 1 with a message.
_wine_prove() {
    local arch=$1 loader=$2 name=$3 dir=$4 cmd=$5 rc
    if [ "$loader" = wine ]; then
        # Where the 32-bit loader is the prefix's loader (win32), the proof itself
        # starts Wine's helpers, detached as in _wine_prestart: one 32-bit process
        # start fewer.
        _wine_prefix_env "$arch" "$dir" wineserver -p </dev/null >/dev/null 2>&1
    else
        _wine_prestart "$arch" "$dir" "$loader"
    fi
    _wine_prefix_env "$arch" "$dir" wine "$cmd" /c exit 37 </dev/null >/dev/null 2>&1
    rc=$?
    if [ "$rc" -ne 37 ]; then
        echo "$name: a 32-bit program does not run in $dir (status $rc, expected 37)" >&2
        return 1
    fi
    : >"$dir/.$name-ready"
}

# Starts a persistent wineserver with every descriptor detached (see header).  When
# the server is new (wineserver -p returns 0; 2 means one already runs), also starts a
# 64-bit cmd, detached, so that services.exe, winedevice.exe and plugplay.exe are
# started now: they inherit the standard error of the process that makes them start
# (seen: fd 2 = the caller's pipe), and would keep a caller's pipe open.
_wow64_prestart() {
    _wine_prestart win64 "$1" wine64
}

# _wine_prestart ARCH DIR LOADER: the pre-start above for a prefix of either
# architecture; LOADER (wine64 or wine) runs the cmd.
_wine_prestart() {
    if _wine_prefix_env "$1" "$2" wineserver -p </dev/null >/dev/null 2>&1; then
        _wine_prefix_env "$1" "$2" "$3" cmd /c exit </dev/null >/dev/null 2>&1
    fi
    return 0
}

# wow64_run DIR EXE [ARGS...]: run EXE (a Windows program, 32- or 64-bit; a Unix path
# or a Windows path) in prefix DIR, as a 32-bit (WOW64) process if EXE is 32-bit.
# stdout and stderr pass through, stdin is /dev/null.  Returns the program's exit code
# modulo 256.  Starts a persistent wineserver and Wine's helper processes first,
# detached, so that none of them holds the caller's stdout or stderr; call wow64_stop
# when done.
wow64_run() {
    # wine64 hands a 32-bit program to the 32-bit loader (wine) itself.  Starting with
    # wine instead would put a 32-bit loader in front of every 64-bit program too, which
    # under qemu costs some 50 s per start.
    _wine_run win64 wine64 wow64 "$@"
}

# _wine_run ARCH LOADER NAME DIR EXE [ARGS...]: wow64_run for a prefix of either
# architecture; NAME (wow64, win32) names the caller in messages.
_wine_run() {
    local arch=$1 loader=$2 name=$3 dir; shift 3
    [ $# -ge 2 ] || { echo "usage: ${name}_run DIR EXE [ARGS...]" >&2; return 2; }
    dir=$(_wow64_abs "$1"); shift
    [ -f "$dir/system.reg" ] || { echo "$name: $dir is not a Wine prefix" >&2; return 2; }
    _wine_prestart "$arch" "$dir" "$loader"
    _wine_prefix_env "$arch" "$dir" env WINEDEBUG="${WOW64_WINEDEBUG:--all}" "$loader" "$@" </dev/null
}

# wow64_stop DIR: end the prefix's wineserver and every Wine process in it (a prefix
# of either architecture). Returns 0 also when nothing was running.
wow64_stop() {
    local dir
    [ -n "${1:-}" ] || { echo "usage: wow64_stop DIR" >&2; return 2; }
    dir=$(_wow64_abs "$1")
    _wow64_env "$dir" wineserver -k </dev/null >/dev/null 2>&1
    return 0
}
