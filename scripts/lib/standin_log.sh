# The stand-ins' log, for scripts/demo: one record a line, tab-separated
# (program file name, arguments, current folder, parent process id), written
# by the stand-in program and, in the same format, by the recording test
# service (program = the service's name, arguments = the control code).
# Lines end in CR LF.
# shellcheck shell=bash

# _standin_records <log>: the log without its carriage returns.
_standin_records() {
  tr -d '\r' <"$1"
}

# child_record <log> <program>: "<arguments>\t<parent pid>" of the program's
# first record; nothing if it did not run.
child_record() {
  _standin_records "$1" | awk -F'\t' -v p="$2" '$1 == p { print $2 "\t" $4; exit }'
}

# last_arguments <log> <program>: the arguments of the program's last record.
last_arguments() {
  _standin_records "$1" | awk -F'\t' -v p="$2" '$1 == p { a = $2; found = 1 } END { if (found) print a }'
}

# service_codes <log> <service>: the control codes the service recorded,
# comma-separated, in order.
service_codes() {
  _standin_records "$1" | awk -F'\t' -v s="$2" '$1 == s { print $2 }' | paste -sd,
}

# log_order <log> <service>: every record's program, in order, comma-separated;
# the service's records with their code.
log_order() {
  _standin_records "$1" |
    awk -F'\t' -v s="$2" '{ printf "%s%s", (NR > 1 ? ", " : ""), ($1 == s ? $1 " " $2 : $1) } END { print "" }'
}
