#!/usr/bin/env bash
# Runs the disk-full test with its store on a 256 KB tmpfs, mounted for the run and reached through Wine's
# Z: drive. Where mounting is not permitted the test runs without one and reports itself skipped.
# small_drive.sh <wine-run> <iisadmin_tests.exe>
set -u
mnt=$(mktemp -d)
if mount -t tmpfs -o size=256k zem-small-drive "$mnt" 2>/dev/null; then
    ZEM_SMALL_DRIVE="Z:${mnt//\//\\}" "$1" "$2" --gtest_filter='DiskFull.*'
    status=$?
    umount "$mnt"
else
    echo "small_drive.sh: cannot mount a tmpfs here (needs root or CAP_SYS_ADMIN)"
    "$1" "$2" --gtest_filter='DiskFull.*'
    status=$?
fi
rmdir "$mnt"
exit $status
