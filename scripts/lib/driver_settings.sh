# Demo part for the driver's settings: what a run leaves in the registry, what
# a second run finds installed, and the settings backup seen from inside the
# package installation. Needs WINE64, WINEPREFIX and to_windows_path.
# shellcheck shell=bash

DRIVERS_KEY='HKLM\Software\ZARO\Audio\Drivers'
DRIVER_GUID='{5B0E27A4-C3D1-4F68-A2B9-7E41D06C93F5}'
DEVICE_KEY='010203047E0B0000C0310000DEADBEEF'
UNINSTALL_KEY='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall'
PACKAGE_OPEN_KEY='HKCR\Msi.Package\shell\Open\command'

# reg_value <key> <value name>: the value's data, or nothing.
reg_value() {
  { "$WINE64" reg query "$1" /v "$2" 2>/dev/null || true; } | tr -d '\r' |
    awk -v n="$2" '$1 == n { $1 = ""; $2 = ""; sub(/^ +/, ""); print }'
}

# reg_default <key>: the key's default value as text, or nothing.
reg_default() {
  { "$WINE64" reg query "$1" /ve 2>/dev/null || true; } | tr -d '\r' |
    awk '$1 == "(Default)" { $1 = ""; $2 = ""; sub(/^ +/, ""); print }'
}

# reg_tree <key>: the key's tree, indented, paths shown below the driver root.
reg_tree() {
  { "$WINE64" reg query "$1" /s 2>/dev/null || true; } | tr -d '\r' | sed -e '/^$/d' -e 's/^HKEY_LOCAL_MACHINE\\Software\\ZARO\\Audio\\Drivers/  Drivers/' -e 's/^    /      /'
}

# What DetectInstalledVersion will follow: ProductCode, then DisplayVersion.
show_installed_release() {
  local code version
  code=$(reg_value "$DRIVERS_KEY\\$DRIVER_GUID" ProductCode)
  if [ -z "$code" ]; then echo "  ProductCode: none, so no installed release is found"; return; fi
  version=$(reg_value "$UNINSTALL_KEY\\$code" DisplayVersion)
  echo "  ProductCode $code -> Uninstall entry DisplayVersion ${version:-(none)}"
}

# settings_demo <demo dir>: a second and a third run after the main one.
settings_demo() {
  local dir=$1 standin snapshot old_open
  echo
  echo "== Driver settings =="
  echo "Driver keys after the run (no SettingsBackup_ key: it lives only while the package installs):"
  reg_tree "$DRIVERS_KEY"
  echo "What the next run finds installed:"
  show_installed_release

  # A device instance as an old driver records it: attached and initialised.
  local instance="$DRIVERS_KEY\\$DRIVER_GUID\\$DEVICE_KEY\\Instances\\USB#1"
  "$WINE64" reg add "$instance" /v Initialized /t REG_BINARY /d 0D000000000000000100000001 /f >/dev/null 2>&1
  "$WINE64" reg add "$instance\\Attached" /ve /t REG_BINARY /d 0D000000000000000100000001 /f >/dev/null 2>&1
  echo
  echo "Second run (OrbelleSetup.exe -quiet) with a recorded device instance (Initialized = Bool true):"
  "$WINE64" "$dir/OrbelleSetup.exe" -quiet >/dev/null 2>&1 </dev/null || true
  echo "  Initialized afterwards: $(reg_value "$instance" Initialized)"
  echo "  (the state is reset to Bool false, ...00, only when the installed release is 1.0.x with x <= 13)"

  # Third run without switches: the package is opened through the shell. The
  # stand-in takes the place of the package's open action and records the
  # driver's registry while it "installs".
  standin=$(to_windows_path "$ROOT/build/x64/bin/standin.exe")
  snapshot="$dir/registry-during-install.txt"
  old_open=$(reg_default "$PACKAGE_OPEN_KEY")
  "$WINE64" reg add "$PACKAGE_OPEN_KEY" /ve /d "\"$standin\" \"%1\"" /f >/dev/null 2>&1
  echo
  echo "Third run (OrbelleSetup.exe, no switches), the package opened by a stand-in that records the registry:"
  STANDIN_SNAPSHOT_standin=$(to_windows_path "$snapshot") "$WINE64" "$dir/OrbelleSetup.exe" >/dev/null 2>&1 </dev/null || true
  "$WINE64" reg add "$PACKAGE_OPEN_KEY" /ve /d "$old_open" /f >/dev/null 2>&1
  echo "  Keys and values below the driver root while the package installed:"
  tr -d '\r' <"$snapshot" | awk -F'\t' '$1 == "K" { printf "    key   %s\n", ($2 == "" ? "(root)" : $2) }
                                         $1 == "V" { d = (length($5) > 40 ? substr($5, 1, 40) "..." : $5)
                                                     printf "    value %s \\ %s = type %s, %s\n", $2, ($3 == "" ? "(default)" : $3), $4, d }'
  if "$WINE64" reg query "$DRIVERS_KEY\\SettingsBackup_$DRIVER_GUID" >/dev/null 2>&1; then
    echo "  After the run: the SettingsBackup_ key is still there (unexpected)"
  else
    echo "  After the run: the SettingsBackup_ key is gone"
  fi
}
