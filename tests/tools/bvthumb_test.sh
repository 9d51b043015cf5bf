#!/usr/bin/env bash
# bvthumb end to end under Wine: a thumbnail from the DLL beside it and from
# the registered class, and a clear message and non-zero exit for a document
# without a thumbnail, a missing file and a missing DLL.
# Usage: bvthumb_test.sh WINE_RUN BITS BUILD_DIR WORK_DIR
set -uo pipefail
wine_run=("$1" --bits "$2"); build=$3; bin=$3/bin; work=$4
mkdir -p "$work"
"${wine_run[@]}" --init "$build" || exit $?  # 77: this machine cannot run these programs
passes=0
failures=0
check() {  # check NAME EXPECTED_EXIT EXPECTED_TEXT COMMAND...
  local name=$1 want=$2 text=$3; shift 3
  local out rc
  out=$("$@" 2>&1); rc=$?
  if [ "$rc" -ne "$want" ] || ! grep -q -- "$text" <<<"$out"; then
    echo "FAIL $name: exit $rc (want $want), output: $out"; failures=$((failures + 1))
  else
    echo "ok   $name"; passes=$((passes + 1))
  fi
}

# tests/data/two-pixels.bvi: a plain document whose preview is 2 x 1 pixels,
# opaque red and half-transparent blue. bad.bvi has a level below 13.
cp "$(dirname "$0")/../data/two-pixels.bvi" "$work/doc.bvi"
{ head -c 4 "$work/doc.bvi"; printf '\x02\x00\x00\x00'; tail -c +9 "$work/doc.bvi"; } >"$work/bad.bvi"

thumb="$bin/bvthumb.exe"
check "thumbnail from the DLL" 0 "2 x 1, alpha type 2" \
  "${wine_run[@]}" "$thumb" --size 2 "Z:$work/doc.bvi" "Z:$work/out.png"
[ -s "$work/out.png" ] && [ "$(head -c 4 "$work/out.png" | tail -c 3)" = PNG ] \
  && { echo "ok   PNG written"; passes=$((passes + 1)); } || { echo "FAIL no PNG written"; failures=$((failures + 1)); }
check "no thumbnail" 1 "gave no thumbnail" "${wine_run[@]}" "$thumb" "Z:$work/bad.bvi" "Z:$work/x.png"
check "missing file" 1 "no such file" "${wine_run[@]}" "$thumb" "Z:$work/none.bvi" "Z:$work/x.png"
check "missing DLL" 1 "cannot load the DLL" \
  "${wine_run[@]}" "$thumb" --dll "Z:$work/none.dll" "Z:$work/doc.bvi" "Z:$work/x.png"
check "usage" 2 "usage:" "${wine_run[@]}" "$thumb" only-one-argument

dll=$(ls "$bin"/brivel2thumb*.dll)
check "regsvr32" 0 "" "${wine_run[@]}" regsvr32 /s "Z:$dll"
check "thumbnail through COM" 0 "alpha type 2" \
  "${wine_run[@]}" "$thumb" --com "Z:$work/doc.bvi" "Z:$work/com.png"
check "regsvr32 /u" 0 "" "${wine_run[@]}" regsvr32 /u /s "Z:$dll"
check "COM after unregistering" 1 "is the class registered" \
  "${wine_run[@]}" "$thumb" --com "Z:$work/doc.bvi" "Z:$work/com.png"

echo "$passes passed, $failures failed"
[ "$failures" -eq 0 ]
