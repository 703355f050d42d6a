# The product's names and numbers for the scripts, from the file the build
# writes at configure time (cmake/ProductConstants.cmake): the scripts declare
# none of them again, so a renamed key, file or service changes what they look
# for and what they report.
# shellcheck shell=bash

# load_product_constants <build tree>: sources <tree>/product_constants.sh
# (variables named after the C++ constants: kDriverRoot, kTrayHelperNames, ...)
# and sets the names the scripts build from them:
#   DRIVERS_KEY       HKLM\<driver root>
#   SETTINGS_KEY      the driver's settings key, HKLM\<driver root>\<driver GUID>
#   BACKUP_KEY_NAME   the settings backup's key name below the driver root
#   DEVICE_INSTANCES  the device's instances key below the settings key
#   UNINSTALL_KEY     HKLM\<Uninstall list>
#   PACKAGE_PATH      the package's path on the machine, as the launcher writes it
# Returns 1 with a message when the tree has not been configured.
load_product_constants() {
  local file=$ROOT/$1/product_constants.sh
  if [ ! -f "$file" ]; then
    log "No $file: configure the tree first (cmake --preset ...)"
    return 1
  fi
  # shellcheck source=/dev/null
  source "$file"
  DRIVERS_KEY="HKLM\\$kDriverRoot"
  SETTINGS_KEY="$DRIVERS_KEY\\$kDriverGuid"
  BACKUP_KEY_NAME="$kSettingsBackupPrefix$kDriverGuid"
  DEVICE_INSTANCES="$SETTINGS_KEY\\$DEVICE_KEY_NAME\\$kInstancesKey"
  UNINSTALL_KEY="HKLM\\$kUninstallList"
  # The installers folder is below the common application data folder, which
  # Wine's prefixes place at C:\ProgramData.
  PACKAGE_PATH="C:\\ProgramData\\$kInstallersFolder\\$kProductShortName\\$kFilePackage"
}
