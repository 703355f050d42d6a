# win32.sh - run the 32-bit (i686) launcher on 32-bit Windows: a WINEARCH=win32 Wine prefix.
#
# Source after wow64.sh (it uses that file's emulation probe and helpers); defines
# functions only and changes no shell options.
#
#   win32_make_prefix DIR          create or reuse a win32 prefix; proves a 32-bit program runs
#   win32_run DIR EXE [ARGS...]    run a Windows program in DIR; exit status = its exit code mod 256
#   win32_stop DIR                 wineserver -k for DIR
#
# In a win32 prefix every Windows process is 32-bit: the launcher, its children,
# msiexec, services.exe and the rest of Wine's own programs. Where this machine
# cannot run 32-bit x86 code, wow64_enable_emulation (wow64.sh) must have made qemu
# run it, and each of these processes then takes a minute or more to start (several
# on a busy machine). The wineserver stays a 64-bit Unix program either way.
#
# Tunables (environment): WOW64_WINE_DIR as in wow64.sh; WIN32_SERVICE_START_MS, how
# long services.exe waits for a service process to connect (default 900000).

_win32_prestart() {
    _wine_prestart win32 "$1" wine
}

# Wine's services.exe waits 10 s (Windows: 30 s) for a service's process to
# connect its control pipe, and ends the process when it has not. A 32-bit service
# process under qemu takes a minute or more to get there, so Wine's own services
# (winedevice, plugplay, svchost, already during the first boot) and the tests'
# service would all be killed. Wine reads the limit once, when services.exe starts,
# from this REG_SZ value (Windows reads a REG_DWORD of the same name). It is written
# into system.reg before the first boot, so that no 32-bit process is needed to set it
# (wineboot keeps what the file holds), or appended to an existing file while no
# wineserver runs (a section named twice is merged when Wine loads the file).
_win32_write_service_timeout() {
    local dir=$1 section
    section=$(printf '[System\\\\CurrentControlSet\\\\Control]\n"ServicesPipeTimeout"="%s"' \
        "${WIN32_SERVICE_START_MS:-900000}")
    mkdir -p "$dir" || return 1
    if [ ! -f "$dir/system.reg" ]; then
        printf 'WINE REGISTRY Version 2\n;; All keys relative to \\\\Machine\n\n#arch=win32\n\n%s\n' \
            "$section" >"$dir/system.reg"
    elif ! grep -q '^"ServicesPipeTimeout"=' "$dir/system.reg"; then
        wow64_stop "$dir"
        printf '\n%s\n' "$section" >>"$dir/system.reg"
    fi
}

# win32_make_prefix DIR: create DIR as a win32 prefix, or reuse it when
# DIR/.win32-ready exists. Proves the prefix by running its cmd.exe (a 32-bit
# process). Leaves a warm wineserver with Wine's services started; call win32_stop
# when done. Returns 0 on success, 1 on failure (message on stderr).
win32_make_prefix() {
    local dir
    [ -n "${1:-}" ] || { echo "usage: win32_make_prefix DIR" >&2; return 2; }
    dir=$(_wow64_abs "$1")
    if [ -f "$dir/.win32-ready" ]; then
        _win32_prestart "$dir"
        return 0
    fi
    if [ ! -x "$WOW64_WINE_DIR/wine" ]; then
        echo "win32: need $WOW64_WINE_DIR/wine (wine32:i386)" >&2
        return 1
    fi
    if [ -f "$dir/system.reg" ] && ! grep -q '^#arch=win32' "$dir/system.reg"; then
        echo "win32: $dir is a win64 prefix; 32-bit Windows needs a win32 one" >&2
        return 1
    fi
    _win32_write_service_timeout "$dir" || return 1
    _wine_boot win32 wine win32 "$dir" || return 1
    if ! grep -q '^#arch=win32' "$dir/system.reg" || [ -e "$dir/drive_c/windows/syswow64" ] ||
        [ ! -f "$dir/drive_c/windows/system32/kernel32.dll" ] ||
        ! grep -qi '^\[Software\\\\Microsoft\\\\Windows\\\\CurrentVersion\]' "$dir/system.reg"; then
        echo "win32: $dir is not an initialised 32-bit Windows prefix (#arch=win32, system32 only)" >&2
        return 1
    fi
    _wine_prove win32 wine win32 "$dir" 'C:\windows\system32\cmd.exe'
}

# win32_run DIR EXE [ARGS...]: run EXE (a 32-bit Windows program; a Unix path or a
# Windows path) in prefix DIR. stdout and stderr pass through, stdin is /dev/null.
# Returns the program's exit code modulo 256. Starts a persistent wineserver and
# Wine's helper processes first, detached (see wow64.sh); call win32_stop when done.
win32_run() {
    _wine_run win32 wine win32 "$@"
}

# win32_stop DIR: end the prefix's wineserver and every Wine process in it.
# Returns 0 also when nothing was running.
win32_stop() {
    wow64_stop "$@"
}
