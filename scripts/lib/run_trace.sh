# The launcher's own calls, as Wine's debug trace shows them, for scripts/demo.
# The launcher runs with the channels below; trace_events reduces the trace of
# its main thread to one tab-separated event a line, in the order it happened:
#   resource <name> found|missing      a payload resource looked up
#   string <id> found|missing          a string resource loaded
#   run <command line>                 a process started
#   snapshot                           a process list taken
#   key create|open <path> <access>    a key of the driver or of the Uninstall list
#   service <name>                     a service opened
#   control <code>                     a control code sent
#   delete <key name> <result>         RegDeleteKeyExW
# The event_* helpers below read that file; the names they match come from
# the product's constants (load_product_constants). Names with backslashes
# reach awk through the environment: awk -v would take them for escapes.
# shellcheck shell=bash

TRACE_CHANNELS=trace+process,trace+resource,trace+service,trace+reg,trace+toolhelp

# The program a command line starts: its first word, or its first quoted part.
_TRACE_PROGRAM_AWK='
  function program_path(c) {
    if (substr(c, 1, 1) == "\"") { c = substr(c, 2); sub(/".*/, "", c) } else sub(/ .*/, "", c)
    return c }
  function program_name(c,   a, k) { k = split(program_path(c), a, "\\"); return a[k] }'

# trace_events <trace file>
trace_events() {
  local tid
  # Only the launcher looks up its UNINST payload.
  tid=$(grep -m1 -a "LdrFindResource_U .*type L\"$kTypeExe\" name L\"$kResUninst\"" "$1" | cut -d: -f1)
  [ -n "$tid" ] || return 0
  grep -a "^$tid:" "$1" | tr -d '\r' |
    DRIVER_ROOT=$kDriverRoot UNINSTALL_ENTRIES=$kUninstallList\\ \
    awk -v exe="$kTypeExe" -v msi="$kTypeMsi" '
    function hex(s,   i, v) { v = 0; s = tolower(s); for (i = 1; i <= length(s); i++) v = v * 16 + index("0123456789abcdef", substr(s, i, 1)) - 1; return v }
    function flush() { if (pending != "") print pending status; pending = "" }
    function unescape(s) { gsub(/\\"/, "\"", s); gsub(/\\\\/, "\\", s); return s }
    function quoted(s,   t) { t = substr(s, index(s, "L\"") + 2); sub(/"[^"]*$/, "", t); return t }
    function payload_type(s) { return index(s, "type L\"" exe "\"") || index(s, "type L\"" msi "\"") }
    /LdrFindResource_U / && payload_type($0) {
      flush(); n = $0; sub(/.* name L"/, "", n); sub(/".*/, "", n)
      pending = "resource\t" n "\t"; status = "found"; want = n; next }
    /find_entry_by_name .* not found/ && pending ~ /^resource/ && index($0, "L\"" want "\"") { status = "missing"; next }
    # The launcher loads its strings first; system DLLs that load their own
    # in the same thread (the cryptographic provider) are left out.
    /LoadStringW instance/ {
      inst = $0; sub(/.*instance = /, "", inst); sub(/,.*/, "", inst)
      if (own == "") own = inst
      if (inst != own) next
      flush(); id = $0; sub(/.*id = /, "", id); sub(/,.*/, "", id)
      pending = "string\t" hex(id) "\t"; status = "found"; next }
    /find_entry_by_id .* id 0006 not found/ && pending ~ /^string/ { status = "missing"; next }
    /process:CreateProcessInternalW app .* cmdline L"/ {
      flush(); c = $0; sub(/.* cmdline L"/, "", c); sub(/"$/, "", c); print "run\t" unescape(c); next }
    /toolhelp:CreateToolhelp32Snapshot/ { flush(); print "snapshot"; next }
    /reg:Nt(CreateKey|OpenKeyEx) \(/ {
      p = unescape(quoted($0))
      if (!index(p, ENVIRON["DRIVER_ROOT"]) && !index(p, ENVIRON["UNINSTALL_ENTRIES"])) next
      flush(); rest = substr($0, index($0, "\",") + 2); split(rest, f, ",")
      access = ($0 ~ /NtCreateKey/) ? f[3] : f[1]
      print "key\t" (($0 ~ /NtCreateKey/) ? "create" : "open") "\t" p "\t" access; next }
    /service:OpenServiceW/ { flush(); print "service\t" quoted($0); next }
    /service:ControlService / { flush(); split($0, f, " "); print "control\t" f[3]; next }
    /reg:RegDeleteKeyExW L"/ { flush(); r = $0; sub(/.*ret=/, "", r); print "delete\t" quoted($0) "\t" hex(r); next }
    END { flush() }' | awk '$0 != last { print; last = $0 }'
}

# trace_order <events file>: the events in short words, in order, wrapped.
trace_order() {
  SETTINGS=${SETTINGS_KEY#HKLM\\} INSTANCES=${DEVICE_INSTANCES#HKLM\\} BACKUP="$kDriverRoot\\$BACKUP_KEY_NAME" \
    UNINSTALL_ENTRIES=$kUninstallList\\ \
    awk -F'\t' -v msiexec="$kMsiexec" -v backup_name="$BACKUP_KEY_NAME" "$_TRACE_PROGRAM_AWK"'
    function add(s) { if (s != prev) { words[++n] = s; prev = s } }
    $1 == "resource" { add($2 ($3 == "missing" ? " (absent)" : "")) }
    $1 == "string"   { add("string " $2 ($3 == "missing" ? " (absent)" : "")) }
    $1 == "run"      { p = program_name($2); add("start " p); if (index(p, msiexec) == 1) installing = 1 }
    $1 == "snapshot" { add("process list") }
    # Once the backup starts, its copy and removal walk the whole tree:
    # one word for each.
    $1 == "key" && index($3, ENVIRON["BACKUP"]) == 1 && !installing { add("backup key"); backing = 1 }
    $1 == "key" && backing { next }
    $1 == "key" && index($3, ENVIRON["UNINSTALL_ENTRIES"]) == 1 { add("Uninstall entry") }
    $1 == "key" && $3 == ENVIRON["INSTANCES"] { add("device instances") }
    $1 == "key" && $3 == ENVIRON["SETTINGS"] { add("settings key") }
    $1 == "service"  { add("service " $2) }
    $1 == "control"  { add("control " $2) }
    $1 == "delete" && $2 == backup_name { add("delete backup key") }
    END { line = "   "
          for (i = 1; i <= n; i++) {
            w = words[i] (i < n ? " >" : "")
            if (length(line) + length(w) > 96) { print line; line = "   " }
            line = line " " w }
          print line }' "$1"
}

# trace_reset_ran <events file>: 0 if the device instances were opened for
# the reset (before the service step, unlike the backup's copy of them).
trace_reset_ran() {
  INSTANCES=${DEVICE_INSTANCES#HKLM\\} awk -F'\t' '
    $1 == "service" { exit }
    $1 == "key" && $3 == ENVIRON["INSTANCES"] { found = 1 }
    END { exit !found }' "$1"
}

# event_resource <events file> <name>: found or missing for the first look-up
# of that payload resource; nothing if it was not looked up.
event_resource() {
  awk -F'\t' -v name="$2" '$1 == "resource" && $2 == name { print $3; exit }' "$1"
}

# event_first_resource <events file> <name>...: which of the named payload
# resources was looked up first; nothing if none was.
event_first_resource() {
  local events=$1; shift
  awk -F'\t' -v names=" $* " '$1 == "resource" && index(names, " " $2 " ") { print $2; exit }' "$events"
}

# event_string <events file> <id>: found or missing for the first load of that
# string resource; nothing if it was not loaded.
event_string() {
  awk -F'\t' -v id="$2" '$1 == "string" && $2 == id { print $3; exit }' "$1"
}

# event_run <events file> <file name>: the command line of the first process
# started from a file of that name; nothing if none was.
event_run() {
  awk -F'\t' -v name="$2" "$_TRACE_PROGRAM_AWK"'
    $1 == "run" && program_name($2) == name { print $2; exit }' "$1"
}

# event_run_folder <events file> <file name>: the folder of the first process
# started from a file of that name, without a trailing backslash.
event_run_folder() {
  awk -F'\t' -v name="$2" "$_TRACE_PROGRAM_AWK"'
    $1 == "run" && program_name($2) == name {
      p = program_path($2); print substr(p, 1, length(p) - length(name) - 1); exit }' "$1"
}

# event_run_count <events file> <text>: how many processes were started with
# that text in their command line.
event_run_count() {
  TEXT=$2 awk -F'\t' '$1 == "run" && index($2, ENVIRON["TEXT"]) { n++ } END { print n + 0 }' "$1"
}

# command_arguments <command line>: what follows the quoted program.
command_arguments() {
  printf '%s\n' "${1#\"*\" }"
}

# event_key <events file> <path>: "<path>\t<access>" of the first key opened
# or created whose path (relative to HKLM) begins with <path>.
event_key() {
  KEY_PATH=$2 awk -F'\t' '$1 == "key" && index($3, ENVIRON["KEY_PATH"]) == 1 { print $3 "\t" $4; exit }' "$1"
}

# event_control <events file>: the first control code sent to a service.
event_control() {
  awk -F'\t' '$1 == "control" { print $2; exit }' "$1"
}

# event_delete <events file> <key name>: what RegDeleteKeyExW returned for
# that key; nothing if it was not called for it.
event_delete() {
  awk -F'\t' -v name="$2" '$1 == "delete" && $2 == name { print $3; exit }' "$1"
}
