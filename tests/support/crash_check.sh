#!/usr/bin/env bash
# The harness's own check, run once per test run: a crashing test program, and a program that starts a
# crashing one and then ends well, must each fail within seconds with a message naming the crash.
# usage: crash_check.sh <wine-run> <crasher.exe>
status=0
for mode in "" --child; do
    start=$SECONDS
    output=$("$1" "$2" $mode 2>&1)
    result=$?
    echo "crasher $mode: exit status $result after $((SECONDS - start)) s"
    if [ "$result" -eq 0 ] || ! grep -q "CRASH under crasher.exe: wine: Unhandled page fault" <<<"$output" ||
       [ $((SECONDS - start)) -gt 20 ]; then
        printf 'the harness missed the crash:\n%s\n' "$output"
        status=1
    fi
done
exit "$status"
