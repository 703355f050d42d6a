#!/bin/sh
# A small disk for the disk-full scenario: a 1 MiB tmpfs at DIR.
# Usage: small_disk.sh mount DIR | small_disk.sh unmount DIR
# Mounting needs root (scripts/test runs as root in CI); without it the
# scenario cannot be staged and this fixture fails, so the test is reported
# as not run instead of passing unseen.
set -eu
action=$1
dir=$2
case $action in
  mount)
    if mountpoint -q "$dir"; then umount "$dir" || umount -l "$dir"; fi
    mkdir -p "$dir"
    mount -t tmpfs -o size=1m,mode=0777 orbelle-small-disk "$dir"
    ;;
  unmount)
    if mountpoint -q "$dir"; then
      # A Wine process that still holds a file there would make a plain
      # unmount fail; a lazy one detaches the disk all the same.
      umount "$dir" 2>/dev/null || umount -l "$dir"
    fi
    rmdir "$dir" 2>/dev/null || true
    ;;
  *)
    echo "usage: $0 mount|unmount DIR" >&2
    exit 2
    ;;
esac
