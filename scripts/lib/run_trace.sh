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
# shellcheck shell=bash

TRACE_CHANNELS=trace+process,trace+resource,trace+service,trace+reg,trace+toolhelp

# trace_events <trace file>
trace_events() {
  local tid
  # Only the launcher looks up its "UNINST" payload.
  tid=$(grep -m1 -a 'LdrFindResource_U .*type L"EXE" name L"UNINST"' "$1" | cut -d: -f1)
  [ -n "$tid" ] || return 0
  grep -a "^$tid:" "$1" | tr -d '\r' | awk '
    function hex(s,   i, v) { v = 0; s = tolower(s); for (i = 1; i <= length(s); i++) v = v * 16 + index("0123456789abcdef", substr(s, i, 1)) - 1; return v }
    function flush() { if (pending != "") print pending status; pending = "" }
    function unescape(s) { gsub(/\\"/, "\"", s); gsub(/\\\\/, "\\", s); return s }
    function quoted(s,   t) { t = substr(s, index(s, "L\"") + 2); sub(/"[^"]*$/, "", t); return t }
    /LdrFindResource_U .*type L"(EXE|MSI)"/ {
      flush(); n = $0; sub(/.* name L"/, "", n); sub(/".*/, "", n)
      pending = "resource\t" n "\t"; status = "found"; want = n; next }
    /find_entry_by_name .* not found/ && pending ~ /^resource/ && index($0, "L\"" want "\"") { status = "missing"; next }
    /LoadStringW instance/ {
      flush(); id = $0; sub(/.*id = /, "", id); sub(/,.*/, "", id)
      pending = "string\t" hex(id) "\t"; status = "found"; next }
    /find_entry_by_id .* id 0006 not found/ && pending ~ /^string/ { status = "missing"; next }
    /process:CreateProcessInternalW app .* cmdline L"/ {
      flush(); c = $0; sub(/.* cmdline L"/, "", c); sub(/"$/, "", c); print "run\t" unescape(c); next }
    /toolhelp:CreateToolhelp32Snapshot/ { flush(); print "snapshot"; next }
    /reg:Nt(CreateKey|OpenKeyEx) \(.*(Software\\\\ZARO\\\\Audio\\\\Drivers|CurrentVersion\\\\Uninstall\\\\)/ {
      flush(); p = unescape(quoted($0)); rest = substr($0, index($0, "\",") + 2); split(rest, f, ",")
      access = ($0 ~ /NtCreateKey/) ? f[3] : f[1]
      print "key\t" (($0 ~ /NtCreateKey/) ? "create" : "open") "\t" p "\t" access; next }
    /service:OpenServiceW/ { flush(); print "service\t" quoted($0); next }
    /service:ControlService / { flush(); split($0, f, " "); print "control\t" f[3]; next }
    /reg:RegDeleteKeyExW L"/ { flush(); r = $0; sub(/.*ret=/, "", r); print "delete\t" quoted($0) "\t" hex(r); next }
    END { flush() }' | awk '$0 != last { print; last = $0 }'
}

# trace_order <events file>: the events in short words, in order, wrapped.
trace_order() {
  awk -F'\t' '
    function add(s) { if (s != prev) { words[++n] = s; prev = s } }
    $1 == "resource" { add($2 ($3 == "missing" ? " (absent)" : "")) }
    $1 == "string"   { add("string " $2 ($3 == "missing" ? " (absent)" : "")) }
    $1 == "run"      { p = $2; sub(/^"/, "", p); sub(/".*/, "", p); sub(/ .*/, "", p); k = split(p, a, "\\")
                       add("start " a[k]); if (a[k] ~ /^msiexec/) installing = 1 }
    $1 == "snapshot" { add("process list") }
    # Once the backup starts, its copy and removal walk the whole tree:
    # one word for each.
    $1 == "key" && $3 ~ /SettingsBackup_/ && !installing { add("backup key"); backing = 1 }
    $1 == "key" && backing { next }
    $1 == "key" && $3 ~ /Uninstall/ { add("Uninstall entry") }
    $1 == "key" && $3 ~ /Drivers\\\{[^\\]*\}\\.*\\Instances$/ { add("device instances") }
    $1 == "key" && $3 ~ /Drivers\\\{[^\\]*\}$/ { add("settings key") }
    $1 == "service"  { add("service " $2) }
    $1 == "control"  { add("control " $2) }
    $1 == "delete" && $2 ~ /^SettingsBackup_/ { add("delete backup key") }
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
  awk -F'\t' '$1 == "service" { exit } $1 == "key" && $3 ~ /Drivers\\\{[^\\]*\}\\.*\\Instances$/ { found = 1 }
               END { exit !found }' "$1"
}

# event_field <events file> <awk condition> <field>: the first match's field.
event_field() {
  awk -F'\t' -v f="$3" "$2 { print \$f; exit }" "$1"
}
