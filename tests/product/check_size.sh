#!/usr/bin/env bash
# Checks that a built executable is no larger than a byte limit (runs natively).
# Usage: check_size.sh <exe> <max-bytes>
set -u
exe=$1; limit=$2
size=$(stat -c %s "$exe") || { echo "cannot read $exe"; exit 1; }
if [ "$size" -le "$limit" ]; then
  echo "ok: $exe is $size bytes (limit $limit)"
  exit 0
fi
echo "FAIL: $exe is $size bytes, more than the limit of $limit"
exit 1
