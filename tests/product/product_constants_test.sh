#!/usr/bin/env bash
# The product constants that the scripts take from the product's headers
# (cmake/ProductConstants.cmake): the headers as they are give the expected
# values, and a header changed so that a script would tell an old story (a
# renamed, doubled or rewritten constant) fails the configure with the
# constant's name, instead of leaving the demo with a stale value.
# Runs natively (cmake -P on copies of the headers). Usage:
#   product_constants_test.sh <source dir> <scratch dir>
set -u
src=$1; scratch=$2
passed=0; failed=0
rm -rf "$scratch"; mkdir -p "$scratch"

# generate <dir>: the generator on <dir>/product_constants.h and
# <dir>/device_reset.h, writing <dir>/out.sh; prints what CMake printed.
cat >"$scratch/run.cmake" <<CMAKE
include($src/cmake/ProductConstants.cmake)
set(CMAKE_SOURCE_DIR \${DIR})
set(ORBELLE_PRODUCT_CONSTANT_HEADERS \${DIR}/product_constants.h \${DIR}/device_reset.h)
orbelle_write_product_constants(\${DIR}/out.sh)
CMAKE
generate() { cmake -DDIR="$1" -P "$scratch/run.cmake" 2>&1; }

pass() { echo "ok: $1"; passed=$((passed + 1)); }
fail() { echo "FAIL: $1"; printf '%s\n' "$2" | sed 's/^/    /' | tail -15; failed=$((failed + 1)); }

# case <story> <header> <sed program> <expect>: <expect> is "fails: <text>"
# (the generator fails and prints <text>) or "writes: <line>" (it succeeds and
# out.sh holds <line>).
n=0
case_() {
  local story=$1 header=$2 program=$3 expect=$4 dir output
  n=$((n + 1)); dir=$scratch/case$n
  mkdir -p "$dir"
  cp "$src/launcher/product_constants.h" "$src/settings/device_reset.h" "$dir/"
  if [ -n "$program" ]; then
    sed -i -e "$program" "$dir/$header"
    if cmp -s "$dir/$header" "$src/$( [ "$header" = device_reset.h ] && echo settings || echo launcher)/$header"; then
      fail "$story" "the change did not apply to $header"; return
    fi
  fi
  output=$(generate "$dir"); local rc=$?
  case $expect in
    "fails: "*)
      if [ $rc -ne 0 ] && grep -qF -- "${expect#fails: }" <<<"$output"; then pass "$story"
      else fail "$story (expected a failure naming: ${expect#fails: })" "$output"; fi ;;
    "writes: "*)
      if [ $rc -eq 0 ] && grep -qxF -- "${expect#writes: }" "$dir/out.sh"; then pass "$story"
      else fail "$story (expected the line: ${expect#writes: })" "$output$(cat "$dir/out.sh" 2>/dev/null)"; fi ;;
  esac
}

case_ "the headers as they are: the driver root" product_constants.h "" \
  "writes: kDriverRoot='Software\\ZARO\\Audio\\Drivers'"
case_ "the headers as they are: the device key name" product_constants.h "" \
  "writes: DEVICE_KEY_NAME='010203047E0B0000C0310000DEADBEEF'"
case_ "the headers as they are: the tray helpers as a list" product_constants.h "" \
  "writes: kTrayHelperNames=('KorvelTaskBarIcon.exe' 'KorvelTaskBarIcon64.exe')"
case_ "a changed value reaches the scripts" product_constants.h \
  's/L"OrbelleAudioDevMon"/L"OrbelleAudioDevMon2"/' "writes: kDeviceMonitorService='OrbelleAudioDevMon2'"
case_ "a changed vendor id changes the device key name" product_constants.h \
  's/kUsbVendorId = 0x0B7E/kUsbVendorId = 0x1234/' "writes: DEVICE_KEY_NAME='0102030434120000C0310000DEADBEEF'"
case_ "a renamed constant fails with its name" product_constants.h \
  's/kDriverRoot\[\]/kDriverRootKey[]/' "fails: Product constant kDriverRoot: 0 declarations"
case_ "a constant declared twice fails" product_constants.h \
  '/inline constexpr wchar_t kMsiexec\[\]/p' "fails: Product constant kMsiexec: 2 declarations"
case_ "a constant that is no longer one literal fails" product_constants.h \
  's/kMsiexec\[\] = L"msiexec";/kMsiexec[] = L"msi" L"exec";/' "fails: Product constant kMsiexec is not one wide string literal"
case_ "an escape the scripts cannot take fails" product_constants.h \
  's/L"msiexec"/L"msi\\nexec"/' "fails: Product constant kMsiexec: escape \\n"
case_ "a changed device key format fails" product_constants.h \
  's/%02X%02X%02X%02X%02X%02X%02X%02X%02X%02X%02X%02X%02X%02X%02X%02X/%02x%02x%02x%02x%02x%02x%02x%02x%02x%02x%02x%02x%02x%02x%02x%02x/' \
  "fails: kDeviceKeyNameFormat is"

echo "$passed passed, $failed failed"
[ $failed -eq 0 ]
