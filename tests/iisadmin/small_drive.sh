#!/usr/bin/env bash
# Runs the disk-full test with its store on a 256 KB tmpfs, mounted for the run and reached through Wine's
# Z: drive. Where mounting is not permitted the test runs without one and reports itself skipped. The
# drive goes when the script ends, however it ends.
# small_drive.sh <wine-run> <iisadmin_tests.exe>
set -u
mnt=$(mktemp -d)
trap 'umount "$mnt" 2>/dev/null; rmdir "$mnt"' EXIT
if mount -t tmpfs -o size=256k zem-small-drive "$mnt" 2>/dev/null; then
    export ZEM_SMALL_DRIVE="Z:${mnt//\//\\}"
else
    echo "small_drive.sh: cannot mount a tmpfs here (needs root or CAP_SYS_ADMIN)"
fi
"$1" "$2" --gtest_filter='DiskFull.*'
