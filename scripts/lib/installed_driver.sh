# Stand-ins for the running parts of an installed driver, for scripts/demo:
# its tray helpers (copies of the stand-in program that wait until ended) and
# its device-monitor service (the recording test service, which appends every
# control code it receives to a file in the stand-ins' log format, so that one
# file can show the order of both). Needs WINEPREFIX, common.sh, the
# product's names (load_product_constants), FIXTURE_BIN, the folder with the
# stand-in and the recording service built for the machine, and PREFIX_WINE,
# the loader that runs them and sc there.
# shellcheck shell=bash

declare -a DRIVER_HELPERS=() DRIVER_HELPER_PIDS=()

# near_miss_name <file name>: the name with the letter case of its extension
# turned, which Windows' file system takes for the same file and the
# launcher's exact comparison does not.
near_miss_name() {
  local ext=${1##*.} turned
  turned=${ext^^}
  [ "$turned" != "$ext" ] || turned=${ext,,}
  echo "${1%.*}.$turned"
}

# driver_helper_names: sets DRIVER_HELPERS to the copies to start: the first
# tray helper twice (both instances must end), every other one once, and a
# near miss of the first name, which must be left running.
driver_helper_names() {
  DRIVER_HELPERS=("${kTrayHelperNames[0]}" "${kTrayHelperNames[@]}" "$(near_miss_name "${kTrayHelperNames[0]}")")
}

# driver_parts_start <dir> <record file>: starts the helpers (DRIVER_HELPERS),
# installs and starts the service, which records into the given file.
driver_parts_start() {
  local dir=$1 record=$2 i name
  driver_helper_names
  for i in "${!DRIVER_HELPERS[@]}"; do
    name=${DRIVER_HELPERS[$i]}
    # One folder per copy: Wine's file names ignore letter case.
    mkdir -p "$dir/helpers/$i"
    cp "$FIXTURE_BIN/standin.exe" "$dir/helpers/$i/$name"
    STANDIN_WAIT=1 STANDIN_LOG= "$PREFIX_WINE" "$dir/helpers/$i/$name" </dev/null >/dev/null 2>&1 &
    DRIVER_HELPER_PIDS[$i]=$!
  done
  cp "$FIXTURE_BIN/recording_service.exe" "$dir/"
  local bin log
  bin=$(to_windows_path "$dir/recording_service.exe")
  log=$(to_windows_path "$record")
  "$PREFIX_WINE" sc create "$kDeviceMonitorService" binPath= "\"$bin\" \"$log\"" </dev/null >/dev/null 2>&1
  "$PREFIX_WINE" sc start "$kDeviceMonitorService" </dev/null >/dev/null 2>&1
  # Let the helpers show up in the process list before the launcher looks.
  sleep 2
}

driver_service_state() {
  "$PREFIX_WINE" sc query "$kDeviceMonitorService" </dev/null 2>/dev/null | tr -d '\r' |
    awk '$1 == "STATE" {print $4; found=1} END {if (!found) print "NOT INSTALLED"}'
}

# driver_helpers_report <indent>: what became of each helper.
driver_helpers_report() {
  local i pid code
  for i in "${!DRIVER_HELPERS[@]}"; do
    pid=${DRIVER_HELPER_PIDS[$i]}
    if kill -0 "$pid" 2>/dev/null; then
      echo "$1${DRIVER_HELPERS[$i]}: still running"
    else
      code=0; wait "$pid" || code=$?
      echo "$1${DRIVER_HELPERS[$i]}: ended, exit code $code"
    fi
  done
}

# driver_parts_stop: ends what is left and removes the service.
driver_parts_stop() {
  local pid
  "$PREFIX_WINE" sc stop "$kDeviceMonitorService" </dev/null >/dev/null 2>&1 || true
  "$PREFIX_WINE" sc delete "$kDeviceMonitorService" </dev/null >/dev/null 2>&1 || true
  for pid in ${DRIVER_HELPER_PIDS[@]+"${DRIVER_HELPER_PIDS[@]}"}; do
    kill "$pid" 2>/dev/null || true
  done
  wait 2>/dev/null || true
}
