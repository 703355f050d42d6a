# Stand-ins for the running parts of an installed driver, for scripts/demo:
# its tray helpers (copies of the stand-in program that wait until ended) and
# its device-monitor service (the recording test service, which appends every
# control code it receives to a file). Needs WINEPREFIX and common.sh.
# shellcheck shell=bash

DRIVER_HELPERS=(KorvelTaskBarIcon.exe KorvelTaskBarIcon.exe KorvelTaskBarIcon64.exe KorvelTaskBarIcon.EXE)
DRIVER_SERVICE=OrbelleAudioDevMon
declare -a DRIVER_HELPER_PIDS=()

# driver_parts_start <dir>: starts the helpers and installs and starts the service.
driver_parts_start() {
  local dir=$1 i name
  for i in "${!DRIVER_HELPERS[@]}"; do
    name=${DRIVER_HELPERS[$i]}
    # One folder per copy: Wine's file names ignore letter case.
    mkdir -p "$dir/helpers/$i"
    cp "$ROOT/build/x64/bin/standin.exe" "$dir/helpers/$i/$name"
    STANDIN_WAIT=1 STANDIN_LOG= "$WINE64" "$dir/helpers/$i/$name" </dev/null >/dev/null 2>&1 &
    DRIVER_HELPER_PIDS[$i]=$!
  done
  cp "$ROOT/build/x64/bin/recording_service.exe" "$dir/"
  local bin log
  bin=$(to_windows_path "$dir/recording_service.exe")
  log=$(to_windows_path "$dir/device-monitor.log")
  "$WINE64" sc create "$DRIVER_SERVICE" binPath= "\"$bin\" \"$log\"" </dev/null >/dev/null 2>&1
  "$WINE64" sc start "$DRIVER_SERVICE" </dev/null >/dev/null 2>&1
  # Let the helpers show up in the process list before the launcher looks.
  sleep 2
}

driver_service_state() {
  "$WINE64" sc query "$DRIVER_SERVICE" </dev/null 2>/dev/null | tr -d '\r' |
    awk '$1 == "STATE" {print $4; found=1} END {if (!found) print "NOT INSTALLED"}'
}

# driver_parts_report <dir>: what became of the helpers and the service.
driver_parts_report() {
  local dir=$1 i pid code
  echo "Tray helpers (started before the run):"
  for i in "${!DRIVER_HELPERS[@]}"; do
    pid=${DRIVER_HELPER_PIDS[$i]}
    if kill -0 "$pid" 2>/dev/null; then
      echo "  ${DRIVER_HELPERS[$i]}: still running"
    else
      code=0; wait "$pid" || code=$?
      echo "  ${DRIVER_HELPERS[$i]}: ended, exit code $code"
    fi
  done
  echo "Device-monitor service $DRIVER_SERVICE: $(driver_service_state)"
  echo "  control codes it received:"
  if [ -s "$dir/device-monitor.log" ]; then
    tr -d '\r' <"$dir/device-monitor.log" | awk -F'\t' '{printf "    %s\n", $2}'
  else
    echo "    (none)"
  fi
}

# driver_parts_stop: ends what is left and removes the service.
driver_parts_stop() {
  local pid
  "$WINE64" sc stop "$DRIVER_SERVICE" </dev/null >/dev/null 2>&1 || true
  "$WINE64" sc delete "$DRIVER_SERVICE" </dev/null >/dev/null 2>&1 || true
  for pid in "${DRIVER_HELPER_PIDS[@]}"; do
    kill "$pid" 2>/dev/null || true
  done
  wait 2>/dev/null || true
}
