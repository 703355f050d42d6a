# The lines of scripts/demo's report, one function per step of the story.
# Each reads what a run left behind: EVENTS, CODE and STDOUT_FILE of the last
# run_launcher, the stand-ins' log CHILD_LOG, registry queries and the files;
# the mode's variables (demo_machine.sh) and the product's names
# (load_product_constants) say where to look.
# shellcheck shell=bash

# The machine before the first run.

report_title() {
  echo "== $kProductShortName launcher demo: $TITLE =="
  echo "Launcher: $LAUNCHER ($(stat -c %s "$LAUNCHER") bytes, PE machine $(pe_machine "$LAUNCHER"))"
  echo "Machine:  a fresh $PREFIX_BITS-bit Wine prefix, build/${PREFIX##*/build/}$MACHINE_NOTE"
}

report_installed_driver() {
  local code products
  code=$(reg_value "$SETTINGS_KEY" "$kProductCodeValue" "$VIEW")
  products=$(installed_product "$UNINSTALL_VIEW" | cut -f2 | grep . || echo '(none)')
  echo "  running: tray helpers ${DRIVER_HELPERS[*]} (stand-ins that wait)"
  echo "  service $kDeviceMonitorService (the recording test service): $(driver_service_state)"
  echo "  driver settings $kProductCodeValue: ${code:-(none)}; $kProductShortName products installed: $products"
}

# Shared facts of the first run.

# package_resource: the package resource the launcher chose.
package_resource() {
  event_first_resource "$EVENTS" "$kResMsi32" "$kResMsi64"
}

# wow64_flag: true if the launcher took the 64-bit Windows path.
wow64_flag() {
  if [ "$(package_resource)" = "$kResMsi64" ] || [ -n "$(event_resource "$EVENTS" "$kResRedist64")" ]; then
    echo true
  else
    echo false
  fi
}

# work_folder: the launcher's work folder, where it started the prerequisites.
work_folder() {
  event_run_folder "$EVENTS" "$kFileRedist32"
}

package_command() {
  event_run "$EVENTS" "$kMsiexec.exe"
}

# Run 1, step by step.

report_call_order() {
  echo "  The launcher's own calls, in order (Wine's trace of its main thread):"
  trace_order "$EVENTS"
}

report_command_line() {
  echo " 1. Command line -quiet: the installer arguments reach $kMsiexec as: $(command_arguments "$(package_command)")"
}

report_wow64_flag() {
  local flag looked_up
  flag=$(wow64_flag)
  if [ "$flag" = true ]; then looked_up=" and $kResRedist64"; else looked_up=", never $kResRedist64"; fi
  echo " 2. WOW64 flag: $flag (it looked up $(package_resource)$looked_up;" \
    "the launcher is $(pe_machine "$LAUNCHER") code in a $PREFIX_BITS-bit prefix)"
}

report_confirmation() {
  local text caption ids="$kIdsConfirmText/$kIdsConfirmCaption"
  text=$(event_string "$EVENTS" "$kIdsConfirmText")
  caption=$(event_string "$EVENTS" "$kIdsConfirmCaption")
  if [ "$text" = missing ] || [ "$caption" = missing ]; then
    echo " 3. Confirmation: none ($kResUninst: $(event_resource "$EVENTS" "$kResUninst"); strings $ids: $text/$caption, so no box)"
  else
    echo " 3. Confirmation: strings $ids $text/$caption: a box was asked for"
  fi
}

# report_prerequisite <step> <file name>
report_prerequisite() {
  local record
  record=$(child_record "$CHILD_LOG" "$2")
  if [ -n "$record" ]; then
    echo " $1. $2 $(cut -f1 <<<"$record")"
    echo "      from $(work_folder)\\, parent pid $(cut -f2 <<<"$record")"
  else
    echo " $1. $2: not run (WOW64 flag $(wow64_flag))"
  fi
}

report_prerequisites() {
  report_prerequisite 4 "$kFileRedist32"
  report_prerequisite 5 "$kFileRedist64"
}

report_legacy_uninstaller() {
  local record second
  record=$(child_record "$CHILD_LOG" "$kFileUninst")
  second=$(event_resource "$EVENTS" "$kResUninst2")
  echo " 6. Legacy uninstaller $kFileUninst, arguments \"$(cut -f1 <<<"$record")\", from the same folder," \
    "parent pid $(cut -f2 <<<"$record"); $kResUninst2: ${second/missing/not carried}"
}

report_tray_helpers() {
  echo " 7. Tray helpers (after a process list):"
  driver_helpers_report "      "
}

report_earlier_products() {
  local listed=$kPreviousProductCount
  [ "$listed" != 0 ] || listed=none
  echo " 8. Earlier products: $listed listed;" \
    "$kMsiexec /X started $(event_run_count "$EVENTS" "$kRemovalArgsPrefix") times"
}

device_reset_state() {
  if trace_reset_ran "$EVENTS"; then echo ran; else echo "did not run"; fi
}

report_installed_version() {
  local entry
  entry=$(event_key "$EVENTS" "$kUninstallList\\" | cut -f1)
  if [ -n "$entry" ]; then
    echo " 9. Installed version: read from ${entry##*\\}"
  else
    echo " 9. Installed version: none found (the settings key had no $kProductCodeValue, so no Uninstall entry was read)"
  fi
  echo "    Device state reset: $(device_reset_state)"
}

report_service() {
  echo "10. Service $kDeviceMonitorService: sent $(event_control "$EVENTS")," \
    "recorded $(service_codes "$CHILD_LOG" "$kDeviceMonitorService"); now $(driver_service_state)"
  echo "      shared log, in order: $(log_order "$CHILD_LOG" "$kDeviceMonitorService")"
}

report_backup() {
  local backup
  backup=$(event_key "$EVENTS" "$kDriverRoot\\$BACKUP_KEY_NAME" | cut -f1)
  echo "11. Settings backup: key ${backup##*\\} created (its content: run 3)"
}

# report_package_file: where the package went and which demo package it is.
report_package_file() {
  local package same="" f
  package=$(prefix_path "$PACKAGE_PATH")
  for f in "$TREE"/demo/*.msi; do cmp -s "$f" "$package" && same="$same ${f#"$TREE"/}"; done
  echo "12. Package: resource $(package_resource) written as $PACKAGE_PATH"
  if [ -f "$package" ]; then
    echo "      (still there, $(stat -c %s "$package") bytes, same bytes as$same)"
  else
    echo "      (missing)"
  fi
  echo "      installed by: $(package_command)"
}

# report_package_entry: what the installation registered.
report_package_entry() {
  local key name version
  IFS=$'\t' read -r key name version <<<"$(installed_product "$UNINSTALL_VIEW")" || true
  if [ -z "$key" ]; then
    echo "      Uninstall entry: none"
    return
  fi
  echo "      Uninstall entry $key: \"$name\", $kDisplayVersionValue $version"
  echo "      (entry: $(reg_views "$UNINSTALL_KEY\\$key"))"
  echo "      settings key's $kProductCodeValue $(reg_value "$SETTINGS_KEY" "$kProductCodeValue" "$VIEW")" \
    "($(reg_views "$SETTINGS_KEY" "$kProductCodeValue"))"
  if [ "$REGISTRY_VIEWS" = "$VIEW" ]; then
    # One view: nothing may have been redirected into a 32-bit one.
    local redirect='HKLM\Software\WOW6432Node'
    reg_has_key "$redirect" "$VIEW" && redirect="$redirect exists" || redirect="no $redirect key"
    echo "      ($redirect)"
  fi
}

report_package() {
  report_package_file
  report_package_entry
}

report_backup_removed() {
  local result
  result=$(event_delete "$EVENTS" "$BACKUP_KEY_NAME")
  echo "13. Backup removed: RegDeleteKeyExW returned ${result:-(not called)};" \
    "$kSettingsBackupPrefix key now: $(reg_views "$DRIVERS_KEY\\$BACKUP_KEY_NAME")"
}

# note_temp_folder <file>: the temporary folder's entries, sorted, into the file.
note_temp_folder() {
  ls -A "$TEMP_DIR" | sort >"$1"
}

report_work_folder() {
  local work left state=gone
  work=$(work_folder)
  note_temp_folder "$DEMO_DIR/temp-after.txt"
  left=$(comm -13 "$DEMO_DIR/temp-before.txt" "$DEMO_DIR/temp-after.txt")
  [ ! -e "$TEMP_DIR/${work##*\\}" ] || state="still there"
  echo "14. Work folder $work\\: $state; new in the temporary folder: ${left:-nothing}"
}

report_exit() {
  local output='(nothing)'
  [ ! -s "$STDOUT_FILE" ] || output=$(tr -d '\r' <"$STDOUT_FILE" | paste -sd'|')
  echo "15. Exit code $CODE; standard output: $output"
}

# Run 2: the next run finds the product installed.

# instance_initialized: the planted device instance's Initialized record, in words.
instance_initialized() {
  bool_record "$(reg_value "$DEVICE_INSTANCES\\$DEVICE_INSTANCE_NAME" "$kInitializedValue" "$VIEW")"
}

report_instance_before() {
  echo "  before: $kInitializedValue = $(instance_initialized)"
}

# access_view <access mask in hexadecimal>: the registry view it asks for.
access_view() {
  if ((0x$1 & 0x100)); then
    echo "64-bit view (KEY_WOW64_64KEY)"
  elif ((0x$1 & 0x200)); then
    echo "32-bit view"
  else
    echo "launcher's default view (no view flag)"
  fi
}

report_installed_version_read() {
  local entry access
  IFS=$'\t' read -r entry access <<<"$(event_key "$EVENTS" "$kUninstallList\\")" || true
  if [ -z "$entry" ]; then
    echo "  installed version: no Uninstall entry read"
    return
  fi
  echo "  installed version: Uninstall entry ${entry##*\\} opened read-only (access 0x$access), $(access_view "$access")"
  echo "    its $kDisplayVersionValue: $(reg_value "$UNINSTALL_KEY\\${entry##*\\}" "$kDisplayVersionValue" "$UNINSTALL_VIEW")"
}

report_next_run() {
  report_installed_version_read
  echo "  device state reset: $(device_reset_state) (it runs for 1.0.x with x <= 13 only);" \
    "$kInitializedValue = $(instance_initialized)"
  echo "  exit code $CODE"
}

# Run 3: the registry while the package installs.

report_backup_during_install() {
  echo "  the package opened: $(last_arguments "$CHILD_LOG" standin.exe)"
  echo "  below $DRIVERS_KEY while it ran:"
  if [ -s "$1" ]; then snapshot_summary "$1"; else echo "      (nothing)"; fi
  echo "  after the run: $kSettingsBackupPrefix key $(reg_views "$DRIVERS_KEY\\$BACKUP_KEY_NAME"); exit code $CODE"
}
