#!/usr/bin/env bash
# bvthumb end to end under Wine, its messages compared by their exact text: a
# thumbnail from the DLL beside it and, with --com, from the handler the
# registry names for the extension (directly or through the file type); a
# reason for each kind of refused document; system error texts; arguments.
# Usage: bvthumb_test.sh WINE_RUN BITS BUILD_DIR WORK_DIR
set -uo pipefail
wine_run=("$1" --bits "$2"); bits=$2; build=$3; bin=$3/bin; work=$4
mkdir -p "$work"
"${wine_run[@]}" --init "$build" || exit $?  # 77: this machine cannot run these programs
export WINEPREFIX=$build/wineprefix
passes=0
failures=0
check() {  # check NAME EXPECTED_EXIT EXPECTED_OUTPUT COMMAND...: stdout and stderr, exactly
  local name=$1 want=$2 text=$3; shift 3
  local out rc
  out=$("$@" 2>&1 | tr -d '\r'); rc=${PIPESTATUS[0]}
  if [ "$rc" -ne "$want" ] || [ "$out" != "$text" ]; then
    printf 'FAIL %s: exit %s (want %s)\n  got:  %s\n  want: %s\n' "$name" "$rc" "$want" "$out" "$text"
    failures=$((failures + 1))
  else
    echo "ok   $name"; passes=$((passes + 1))
  fi
}
# In the registry view of the bitness under test: in WoW64 mode "reg" by
# name is the 64-bit one.
reg() { "${wine_run[@]}" reg "$@" "/reg:$bits" >/dev/null 2>&1; }

# tests/data/two-pixels.bvi: a plain document whose preview is 2 x 1 pixels,
# opaque red and half-transparent blue. The others are made from it.
doc=$work/doc.bvi
cp "$(dirname "$0")/../data/two-pixels.bvi" "$doc"
patch_u32() {  # patch_u32 OUT OFFSET VALUE: a copy of doc.bvi with one header word changed
  { head -c "$2" "$doc"; printf "$(printf '\\x%02x\\x%02x\\x%02x\\x%02x' $(($3 & 255)) $(($3 >> 8 & 255)) \
      $(($3 >> 16 & 255)) $(($3 >> 24 & 255)))"; tail -c +$(($2 + 5)) "$doc"; } >"$work/$1"
}
patch_u32 level2.bvi 4 2
patch_u32 wide9000.bvi 8 9000
patch_u32 wide6000.bvi 8 6000
head -c 20 "$doc" >"$work/short.bvi"
printf 'hello, not a document at all' >"$work/text.bvi"
cp "$doc" "$work/Ünïcödé 文書.bvi"

thumb="$bin/bvthumb.exe"
run=("${wine_run[@]}" "$thumb")
z() { echo "Z:$work/$1"; }
limits="the 64-bit handler accepts documents up to 8192 px, the 32-bit one up to 5120"
usage="usage: bvthumb [--dll PATH | --com] [--size N] INPUT OUTPUT.png
(bvthumb --help explains the options)"

check "thumbnail from the DLL" 0 "$(z doc.bvi): 2 x 1 thumbnail with transparency" \
  "${run[@]}" --size 2 "$(z doc.bvi)" "$(z out.png)"
[ "$(head -c 4 "$work/out.png" | tail -c 3)" = PNG ] \
  && { echo "ok   PNG written"; passes=$((passes + 1)); } || { echo "FAIL no PNG written"; failures=$((failures + 1)); }
check "file name as typed" 0 "$(z 'Ünïcödé 文書.bvi'): 256 x 128 thumbnail with transparency" \
  "${run[@]}" "$(z 'Ünïcödé 文書.bvi')" "$(z u.png)"

# Refusals, each with its reason.
check "format level" 1 "bvthumb: $(z level2.bvi) gave no thumbnail: format level 2; the handlers read level 13 and later" \
  "${run[@]}" "$(z level2.bvi)" "$(z x.png)"
check "not a document" 1 "bvthumb: $(z text.bvi) gave no thumbnail: not a document: no 'BVim' or 'BVa2' header" \
  "${run[@]}" "$(z text.bvi)" "$(z x.png)"
check "truncated header" 1 "bvthumb: $(z short.bvi) gave no thumbnail: header truncated after 20 bytes" \
  "${run[@]}" "$(z short.bvi)" "$(z x.png)"
check "too wide for both" 1 "bvthumb: $(z wide9000.bvi) gave no thumbnail: 9000 px wide; $limits" \
  "${run[@]}" "$(z wide9000.bvi)" "$(z x.png)"
if [ "$bits" = 64 ]; then
  check "6000 px: the 64-bit handler takes it" 0 "$(z wide6000.bvi): 256 x 128 thumbnail with transparency" \
    "${run[@]}" "$(z wide6000.bvi)" "$(z x.png)"
else
  check "6000 px: the 32-bit handler refuses it" 1 "bvthumb: $(z wide6000.bvi) gave no thumbnail: 6000 px wide; $limits" \
    "${run[@]}" "$(z wide6000.bvi)" "$(z x.png)"
fi

# System errors in words.
check "missing file" 1 "bvthumb: cannot open $(z none.bvi): File not found (0x80070002)" \
  "${run[@]}" "$(z none.bvi)" "$(z x.png)"
check "missing DLL" 1 "bvthumb: cannot load the DLL $(z none.dll): Module not found (error 126)" \
  "${run[@]}" --dll "$(z none.dll)" "$(z doc.bvi)" "$(z x.png)"
check "not a DLL" 1 "bvthumb: cannot load the DLL $(z text.bvi): Bad EXE format for it (error 193); a $bits-bit bvthumb loads only $bits-bit DLLs" \
  "${run[@]}" --dll "$(z text.bvi)" "$(z doc.bvi)" "$(z x.png)"
check "output folder missing" 1 "$(z doc.bvi): 2 x 1 thumbnail with transparency
bvthumb: cannot write Z:$work/no/x.png: Path not found (0x80070003)" \
  "${run[@]}" --size 2 "$(z doc.bvi)" "Z:$work/no/x.png"

# Arguments.
check "usage" 2 "bvthumb: needs an input document and an output PNG
$usage" "${run[@]}" only-one-argument
check "size too large" 2 "bvthumb: --size needs a number from 1 to 4096, not '4097'
$usage" "${run[@]}" --size 4097 a.bvi b.png
check "size not a number" 2 "bvthumb: --size needs a number from 1 to 4096, not '2x'
$usage" "${run[@]}" --size 2x a.bvi b.png
check "unknown option" 2 "bvthumb: unknown option --fast
$usage" "${run[@]}" --fast a.bvi b.png
help=$("${run[@]}" --help 2>&1); rc=$?
if [ $rc -eq 0 ] && grep -q -- "--size N    length of the thumbnail's larger side, 1 to 4096 pixels" <<<"$help" \
   && grep -q -- "--com" <<<"$help" && grep -q -- "--dll PATH" <<<"$help"; then
  echo "ok   --help"; passes=$((passes + 1))
else
  echo "FAIL --help: exit $rc: $help"; failures=$((failures + 1))
fi

# --com: the handler the registry names for the extension.
dll=$(ls "$bin"/brivel2thumb*.dll)
dll_win="Z:$(echo "$dll" | tr / '\\')"
clsid='{6B1D2E40-7A35-4C8E-9F21-3D5A7C0B9E14}'
entry='shellex\{E357FCCD-A995-4576-B01F-234630154E96}'
check "regsvr32" 0 "" "${wine_run[@]}" regsvr32 /s "Z:$dll"
check "thumbnail through COM" 0 "handler for .bvi: $clsid \"brbrivel2 Thumbnail ShellExtension\" in $dll_win
$(z doc.bvi): 2 x 1 thumbnail with transparency" "${run[@]}" --com --size 2 "$(z doc.bvi)" "$(z com.png)"
# Through the file type, as the Shell also looks.
cp "$doc" "$work/doc.bb2"
reg delete 'HKCR\.bb2\'"$entry" /f
reg add 'HKCR\.bb2' /ve /d bvthumb.test.type /f
reg add 'HKCR\bvthumb.test.type\'"$entry" /ve /d "$clsid" /f
check "handler through the file type" 0 "handler for .bb2: $clsid \"brbrivel2 Thumbnail ShellExtension\" in $dll_win
$(z doc.bb2): 2 x 1 thumbnail with transparency" "${run[@]}" --com --size 2 "$(z doc.bb2)" "$(z com.png)"
reg delete 'HKCR\bvthumb.test.type' /f
reg delete 'HKCR\.bb2' /ve /f
# Another program's handler: bvthumb shows it and tries it (Wine answers a
# missing in-process DLL with E_ACCESSDENIED).
other='{0BADF00D-1111-2222-3333-444444444444}'
reg add 'HKCR\.bvi\'"$entry" /ve /d "$other" /f
reg add "HKCR\\CLSID\\$other" /ve /d "other handler" /f
reg add "HKCR\\CLSID\\$other\\InprocServer32" /ve /d 'C:\nowhere\other.dll' /f
check "another handler" 1 "handler for .bvi: $other \"other handler\" in C:\\nowhere\\other.dll
bvthumb: cannot create the handler $other: Access denied (0x80070005)" \
  "${run[@]}" --com "$(z doc.bvi)" "$(z com.png)"
reg delete "HKCR\\CLSID\\$other" /f
check "regsvr32 /u" 0 "" "${wine_run[@]}" regsvr32 /u /s "Z:$dll"
check "COM after unregistering" 1 "bvthumb: no thumbnail handler is registered for .bvi (no $entry entry)" \
  "${run[@]}" --com "$(z doc.bvi)" "$(z com.png)"

echo "$passes passed, $failures failed"
[ "$failures" -eq 0 ]
