#!/usr/bin/env bash
# bvthumbnailer as thumbnail services run it: sizes (never beyond the
# preview), exact pixels, file:// URIs, writing in place into a file another
# process holds open, and for every failure exit status 1 (2 for a wrong
# command line), one line on standard error and no image left in the output.
# Usage: bvthumbnailer_test.sh BIN_DIR SOURCE_DIR WORK_DIR
set -uo pipefail
bin=$1; source_dir=$2; work=$3
rm -rf "$work" && mkdir -p "$work/with space" && work=$(realpath "$work")
source "$(dirname "$0")/checks.sh"
probe() { "$bin/png_probe" "$@" 2>&1; }
field() { sed -n "s/^$1 //p"; }
# patch FILE OFFSET VALUE: a little-endian 32-bit value into a plain document's header.
patch() {
  printf "$(printf '\\x%02x\\x%02x\\x%02x\\x%02x' $(($3 & 255)) $(($3 >> 8 & 255)) \
    $(($3 >> 16 & 255)) $(($3 >> 24 & 255)))" | dd of="$1" bs=1 seek="$2" conv=notrunc 2>/dev/null
}

png=$source_dir/samples/sample.png  # 320 x 200 with transparency: a 256 x 160 preview
for form in deflated stored plain; do
  "$bin/bvdoc" --$form "$png" "$work/$form.bvi" >/dev/null || fail "bvdoc --$form"
done
"$bin/bvdoc" "$png" "$work/with space/doc.bb2" >/dev/null || fail "bvdoc .bb2"
cp "$source_dir/tests/data/two-pixels.bvi" "$work/two.bvi"

# Sizes: SIZE fits the larger side; the preview's own size is the most.
while read -r doc size want; do
  rm -f "$work/out.png"
  if "$bin/bvthumbnailer" -s "$size" "$work/$doc" "$work/out.png"; then
    expect "$doc -s $size" "$(probe "$work/out.png" | field size)" "$want"
  else
    fail "$doc -s $size: exit $?"
  fi
done <<'ROWS'
deflated.bvi 128 128 80
stored.bvi 128 128 80
plain.bvi 256 256 160
plain.bvi 1024 256 160
deflated.bvi 100 100 63
deflated.bvi 1 1 1
two.bvi 64 2 1
ROWS

# Channel order and alpha survive: opaque red, then half-transparent blue.
"$bin/bvthumbnailer" -s 2 "$work/two.bvi" "$work/two.png"
expect "exact pixels" "$(probe "$work/two.png" 0 0 1 0 | field pixel | tr '\n' ' ')" \
  "0 0 FF0000FF 1 0 0000FF80 "
expect "alpha channel" "$(probe "$work/two.png" | field alpha)" yes

# A percent-encoded URI; the output written into the file that a service
# created and holds open, so it reads the image back through its own handle.
printf 'placeholder' >"$work/held.png"
exec 3<"$work/held.png"
"$bin/bvthumbnailer" -s 128 "file://$work/with%20space/doc.bb2" "$work/held.png"
expect "file:// URI, in place" "$?:$(probe /dev/fd/3 | field size)" "0:128 80"
exec 3<&-

# The 64-bit DLL's limit on the document's sides: 8192 passes, 8193 does not.
cp "$work/plain.bvi" "$work/wide.bvi"
patch "$work/wide.bvi" 8 8192
"$bin/bvthumbnailer" -s 128 "$work/wide.bvi" "$work/wide.png"
expect "document width 8192" "$?" 0

# Failures. Each output starts as a valid PNG that must not survive.
head -c 30 "$work/two.bvi" >"$work/damaged.bvi"
cp "$work/plain.bvi" "$work/level12.bvi" && patch "$work/level12.bvi" 4 12
cp "$work/plain.bvi" "$work/wider.bvi" && patch "$work/wider.bvi" 8 8193
mkdir -p "$work/folder.bvi" "$work/ro" && chmod 555 "$work/ro"
while read -r name want input output; do
  output=${output:-$work/failed.png}
  cp "$work/two.png" "$work/failed.png"
  "$bin/bvthumbnailer" -s 128 "${input/WORK/$work}" "${output/WORK/$work}" 2>"$work/err"
  rc=$?
  lines=$(wc -l <"$work/err")
  if [ "$rc" = "$want" ] && [ "$lines" = 1 ] && [ ! -s "$work/failed.png" ]; then
    pass "$name: exit $rc, $(cat "$work/err")"
  else
    fail "$name: exit $rc (want $want), $lines lines: $(cat "$work/err"), output $(stat -c %s "$work/failed.png") bytes"
  fi
done <<'ROWS'
damaged 1 WORK/damaged.bvi
level-12 1 WORK/level12.bvi
width-8193 1 WORK/wider.bvi
missing 1 WORK/none.bvi
folder 1 WORK/folder.bvi
remote-uri 1 sftp://host/doc.bvi
bad-escape 1 file://WORK/with%2space/doc.bb2
ROWS
# Outputs the command cannot write: the message names the file, nothing is created.
"$bin/bvthumbnailer" -s 128 "$work/plain.bvi" "$work/ro/x.png" 2>"$work/err"
rc=$?
[ "$(id -u)" = 0 ] || expect "unwritable folder" "$rc:$(wc -l <"$work/err"):$([ -e "$work/ro/x.png" ] && echo made)" "1:1:"
"$bin/bvthumbnailer" -s 128 "$work/plain.bvi" "$work/no/such/x.png" 2>"$work/err"
expect "missing folder" "$?:$(wc -l <"$work/err")" "1:1"
# Usage errors and the input named as output: status 2, the document untouched.
sum=$(md5sum <"$work/plain.bvi")
"$bin/bvthumbnailer" -s 128 "$work/plain.bvi" "$work/plain.bvi" 2>"$work/err"
expect "output is the input" "$?:$(md5sum <"$work/plain.bvi")" "2:$sum"
"$bin/bvthumbnailer" "$work/plain.bvi" "$work/x.png" 2>"$work/err"
expect "no size" "$?:$(wc -l <"$work/err"):$([ -e "$work/x.png" ] && echo made)" "2:1:"

chmod 755 "$work/ro"
finish
