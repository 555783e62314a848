#!/usr/bin/env bash
# Ctrl+C during a batch of twinframe-cli.exe. Wine turns SIGINT into the console's Ctrl+C event,
# so this reaches the program as a user's Ctrl+C would: the file being split is finished, the
# rest untouched, "Stopped after file K of N", exit status 130.
#   ctrlC.sh TWINFRAME-CLI.EXE TWINFRAME-MAKE-DEMO.EXE
set -euo pipefail
cli=$1
demo=$2
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
cd "$dir"
wine "$demo" made >/dev/null
for i in $(seq 1 60); do cp made/DSCF0001.MPO "f$i.mpo"; done

wine "$cli" --quiet f*.mpo >out.txt 2>err.txt &
launcher=$!
for _ in $(seq 1 600); do [ -f f2-R.jpg ] && break; sleep 0.05; done
# The Windows process itself, told from any other by the folder it runs in. Wine names it by
# the program's path, a Windows one (Z:\...) or, started by the 64-bit loader, the Unix one.
for pid in $(pgrep -f '^([A-Z]:|/)[^ ]*twinframe-cli\.exe( |$)'); do
    if [ "$(readlink "/proc/$pid/cwd" 2>/dev/null)" = "$dir" ]; then
        kill -INT "$pid" 2>/dev/null || true
    fi
done
status=0
wait "$launcher" || status=$?

done_files=$(tr -d '\r' <out.txt | sed -n 's/^Stopped after file \([0-9]*\) of 60$/\1/p')
images=$(find . -maxdepth 1 -name 'f*-[LR].jpg' | wc -l)
if [ "$status" -ne 130 ] || [ -z "$done_files" ] || [ "$images" -ne $((2 * done_files)) ]; then
    echo "expected exit 130 and two images for each file dealt with; got exit $status," \
        "$images images, output:" >&2
    cat out.txt err.txt >&2
    exit 1
fi
# Each file dealt with is split whole: DSCF0001.MPO's second image starts at byte 700000.
for right in f*-R.jpg; do
    if ! cmp -s <(tail -c +700001 "${right%-R.jpg}.mpo") "$right"; then
        echo "$right is not the second image of ${right%-R.jpg}.mpo" >&2
        exit 1
    fi
done
echo "stopped after file $done_files of 60"
