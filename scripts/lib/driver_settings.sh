# The driver's registry for scripts/demo: reading values in either registry
# view, a device instance as an old driver records it, and a summary of the
# snapshot a stand-in takes while the package installs. Needs PREFIX_WINE (the
# loader that runs the prefix's reg), REGISTRY_VIEWS (the views the machine
# has, "32 64" or, on 32-bit Windows, "32") and the product's names
# (load_product_constants).
# shellcheck shell=bash

# reg_value <key> <value name> <32|64>: the value's data in that view, or nothing.
reg_value() {
  { "$PREFIX_WINE" reg query "$1" /v "$2" "/reg:$3" </dev/null 2>/dev/null || true; } | tr -d '\r' |
    awk -v n="$2" '$1 == n { $1 = ""; $2 = ""; sub(/^ +/, ""); print }'
}

# reg_default <key> <32|64>: the key's default value as text, or nothing.
reg_default() {
  { "$PREFIX_WINE" reg query "$1" /ve "/reg:$2" </dev/null 2>/dev/null || true; } | tr -d '\r' |
    awk '$1 == "(Default)" { $1 = ""; $2 = ""; sub(/^ +/, ""); print }'
}

# reg_has_key <key> <32|64>
reg_has_key() {
  "$PREFIX_WINE" reg query "$1" "/reg:$2" </dev/null >/dev/null 2>&1
}

# view_words <32|64>: the view as the report names it.
view_words() {
  if [ "$REGISTRY_VIEWS" = "$1" ]; then echo "the only view"; else echo "$1-bit view"; fi
}

# reg_views <key> [value]: where the key (or value) is, in every view.
reg_views() {
  local v out=""
  for v in $REGISTRY_VIEWS; do
    if [ -n "${2:-}" ]; then
      [ -n "$(reg_value "$1" "$2" $v)" ] && out="$out, $(view_words $v): yes" || out="$out, $(view_words $v): no"
    else
      reg_has_key "$1" $v && out="$out, $(view_words $v): yes" || out="$out, $(view_words $v): no"
    fi
  done
  echo "${out#, }"
}

# installed_product <32|64>: "<Uninstall key name>\t<DisplayName>\t<DisplayVersion>"
# of the first product in that view's Uninstall list whose name has the
# product's short name in it.
installed_product() {
  { "$PREFIX_WINE" reg query "$UNINSTALL_KEY" /s "/reg:$1" </dev/null 2>/dev/null || true; } | tr -d '\r' |
    awk -v product="$kProductShortName" -v version="$kDisplayVersionValue" '
    /^HKEY_/ { n = split($0, p, "\\"); key = p[n]; name = ""; next }
    $1 == "DisplayName" { name = substr($0, index($0, "REG_SZ") + 10) }
    $1 == version && index(name, product) && !done {
      print key "\t" name "\t" substr($0, index($0, "REG_SZ") + 10); done = 1 }'
}

# The device instance an old driver recorded, as plant_device_instance makes it.
DEVICE_INSTANCE_NAME='USB#1'

# plant_device_instance <32|64>: one attached, initialised instance (Bool
# true), DEVICE_INSTANCES\DEVICE_INSTANCE_NAME.
plant_device_instance() {
  local instance="$DEVICE_INSTANCES\\$DEVICE_INSTANCE_NAME"
  "$PREFIX_WINE" reg add "$instance" /v "$kInitializedValue" /t REG_BINARY /d 0D000000000000000100000001 /f "/reg:$1" </dev/null >/dev/null 2>&1
  "$PREFIX_WINE" reg add "$instance\\$kAttachedKey" /ve /t REG_BINARY /d 0D000000000000000100000001 /f "/reg:$1" </dev/null >/dev/null 2>&1
}

# bool_record <hex>: a 13-byte Bool record as words.
bool_record() {
  case $1 in
    0D000000000000000100000001) echo "Bool true" ;;
    0D000000000000000100000000) echo "Bool false" ;;
    "") echo "(none)" ;;
    *) echo "$1" ;;
  esac
}

# snapshot_summary <snapshot file>: the keys below the driver root, each with
# its count of subkeys and values, and whether the backup equals the settings.
snapshot_summary() {
  tr -d '\r' <"$1" | awk -F'\t' -v guid="$kDriverGuid" -v backup="$BACKUP_KEY_NAME" '
    { split($2, p, "\\"); top = p[1]; if (top == "") next
      rest = substr($2, length(top) + 1) }
    $1 == "K" { if (!(top in keys)) order[++n] = top; keys[top] += (rest != ""); }
    $1 == "V" { vals[top]++; line = rest "\t" $3 "\t" $4 "\t" $5
                if (top == guid) s[line] = 1; else if (top == backup) b[line] = 1 }
    END {
      for (i = 1; i <= n; i++) printf "      %s: %d subkeys, %d values\n", order[i], keys[order[i]], vals[order[i]]
      same = 1; for (l in s) if (!(l in b)) same = 0; for (l in b) if (!(l in s)) same = 0
      if (backup in keys)
        printf "      the backup %s the settings key value for value\n", same ? "equals" : "DIFFERS FROM" }'
}
