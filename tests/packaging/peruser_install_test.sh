#!/usr/bin/env bash
# The per-user installer, end to end under Wine: installs without touching
# the machine's classes, puts both DLLs in the user's program folder and
# registers them under the user's classes in the right registry views, gives
# a real thumbnail through each installed DLL in both bitnesses, names the
# installed handler through bvthumb --com, upgrades, and uninstalls leaving
# keys it did not write.
#   peruser_install_test.sh --source DIR --win64-dir DIR --work DIR
# Exit 0 passed, 1 failed, 77 skipped (wixl or a 64-bit Wine is missing).
set -uo pipefail

. "$(dirname "$0")/msi_test_lib.sh" "$@"
command -v wixl >/dev/null || skip "wixl is missing (scripts/setup installs it)"
[ -x /usr/lib/wine/wine64 ] || skip "no 64-bit Wine loader found"
export WINEPREFIX=$work/peruser-prefix WINEARCH=win64

classes='HKCU\Software\Classes'

# --- Build: the package, a rebuild of it and a newer version ----------------
rm -rf "$WINEPREFIX" "$work/peruser-msi"
mkdir -p "$work"
wxs=$source_dir/packaging/brivel2thumb-user.wxs
package() { "$source_dir/scripts/package" --win64-dir "$win64_dir" --win32-dir "$work/win32" --wxs "$@"; }
msi=$(package "$wxs" --out "$work/peruser-msi/first") || { echo "FAIL: scripts/package"; exit 1; }
rebuild=$(package "$wxs" --out "$work/peruser-msi/rebuild") || { echo "FAIL: scripts/package (rebuild)"; exit 1; }
sed -e 's/define Version = "[0-9.]*"/define Version = "26.6.1.0"/' \
    -e 's/define ReplaceBelow = "[0-9.]*"/define ReplaceBelow = "26.6.2"/' "$wxs" >"$work/peruser-newer.wxs"
newer=$(package "$work/peruser-newer.wxs" --out "$work/peruser-msi/newer") || { echo "FAIL: scripts/package (newer)"; exit 1; }
cmake --build "$work/win32" --target bvthumb -j2 >/dev/null || { echo "FAIL: 32-bit bvthumb"; exit 1; }
expect_eq "file name" "$(basename "$msi")" brivel2thumb-user-26.5.22.0.msi
expect_eq "no ALLUSERS property: a per-user package" \
  "$(msiinfo export "$msi" Property | tr -d '\r' | awk '$1 == "ALLUSERS"')" ""
expect_eq "summary: no elevation needed (word count 10)" \
  "$(msiinfo suminfo "$msi" | sed -n 's/^Source: \([0-9]*\).*/\1/p')" 10

# --- Fresh prefix with unrelated keys of the user ----------------------------
"$wine_run" --init "$work" || { echo "FAIL: Wine prefix"; exit 1; }
w reg add "$classes\\.bvi" /v PerceivedType /d image /f >/dev/null
w reg add "$classes\\.bvi\\$other_handler" /ve /d "$other_clsid" /f >/dev/null
w reg add "$classes\\CLSID\\$other_clsid" /ve /d unrelated /f >/dev/null

# --- Install --------------------------------------------------------------------
msiexec /i "$(win_path "$msi")"
expect_eq "msiexec /i exit code" $? 0
user_dir='C:\users\'"$(w cmd /c 'echo %USERNAME%')"'\AppData\Local\Programs\brivel2thumb'
files=$WINEPREFIX/drive_c/users/$(w cmd /c 'echo %USERNAME%')/AppData/Local/Programs/brivel2thumb
cmp -s "$files/brivel2thumbx64.dll" "$win64_dir/bin/brivel2thumbx64.dll" &&
  pass "64-bit DLL in the user's program folder" || fail "64-bit DLL missing or different in $files"
cmp -s "$files/brivel2thumb.dll" "$work/win32/bin/brivel2thumb.dll" &&
  pass "32-bit DLL in the user's program folder" || fail "32-bit DLL missing or different in $files"
for view in 64 32; do
  if [ $view = 64 ]; then dll="$user_dir\\brivel2thumbx64.dll"; else dll="$user_dir\\brivel2thumb.dll"; fi
  expected=("$display" "$dll" Apartment "$clsid" "$clsid" "$clsid" "$clsid")
  for i in "${!entries[@]}"; do
    key=${entries[$i]%|*} name=${entries[$i]#*|}
    # Windows shares the user's extension keys between the views; Wine
    # redirects all of the user's classes, so they are read in one view.
    [ $view = 32 ] && [ "${key#CLSID}" = "$key" ] && continue
    expect_eq "user classes, view $view: $key [${name:-default}]" \
      "$(reg_value $view "$classes\\$key" "$name")" "${expected[$i]}"
  done
  key_exists $view "HKLM\\Software\\Classes\\CLSID\\$clsid" && fail "view $view: the machine's classes were written" ||
    pass "view $view: the machine's classes untouched"
done

# --- The installed handler -------------------------------------------------------
cp "$source_dir/tests/data/two-pixels.bvi" "$work/peruser.bvi"
expect_eq "64-bit thumbnail from the installed DLL" \
  "$(w "$win64_dir/bin/bvthumb.exe" --dll "$user_dir\\brivel2thumbx64.dll" --size 2 "$(win_path "$work/peruser.bvi")" "$(win_path "$work/peruser.png")")" \
  "$(win_path "$work/peruser.bvi"): 2 x 1 thumbnail with transparency"
out32=$(w32 "$work/win32/bin/bvthumb.exe" --dll "$user_dir\\brivel2thumb.dll" --size 2 "$(win_path "$work/peruser.bvi")" "$(win_path "$work/peruser.png")")
if [ $? -eq 77 ]; then
  echo "SKIP: 32-bit thumbnail: 32-bit programs cannot run on this machine"
else
  expect_eq "32-bit thumbnail from the installed DLL" "$out32" \
    "$(win_path "$work/peruser.bvi"): 2 x 1 thumbnail with transparency"
fi
# bvthumb --com finds the handler in the user's classes as Windows does. Wine
# 8 leaves the user's classes out of HKEY_CLASSES_ROOT, so COM itself cannot
# create a per-user class there: that step is reported, not faked.
com=$(w "$win64_dir/bin/bvthumb.exe" --com --size 2 "$(win_path "$work/peruser.bvi")" "$(win_path "$work/peruser.png")" 2>&1)
expect_eq "bvthumb --com names the per-user handler" "$(head -1 <<<"$com")" \
  "handler for .bvi: $clsid \"$display\" in $user_dir\\brivel2thumbx64.dll"
if [ "$(tail -1 <<<"$com")" = "$(win_path "$work/peruser.bvi"): 2 x 1 thumbnail with transparency" ]; then
  pass "64-bit COM activation of the per-user class"
else
  echo "SKIP: COM activation of a per-user class: this Wine does not merge the user's classes into HKEY_CLASSES_ROOT ($(tail -1 <<<"$com"))"
fi

# --- Major upgrade -----------------------------------------------------------------
msiexec /i "$(win_path "$rebuild")"
expect_eq "rebuild of the same version: exit code" $? 0
expect_eq "rebuild replaces the installed product" "$(installed_products "$display (current user)")" "$display (current user) 26.5.22.0"
msiexec /i "$(win_path "$newer")"
expect_eq "newer version: exit code" $? 0
expect_eq "newer version replaces the installed product" "$(installed_products "$display (current user)")" "$display (current user) 26.6.1.0"
msiexec /i "$(win_path "$msi")"
[ $? -ne 0 ] && pass "older version refused over a newer one" || fail "older version installed over a newer one"

# --- Uninstall ---------------------------------------------------------------------
msiexec /x "$(win_path "$newer")"
expect_eq "msiexec /x exit code" $? 0
expect_eq "no product left" "$(installed_products "$display (current user)")" ""
[ ! -e "$files" ] && pass "program folder removed" || fail "$files left after uninstall"
for view in 64 32; do
  for key in "CLSID\\$clsid" ".bvi\\$thumb_entry" ".bvi\\$extract_entry" ".bb2\\$thumb_entry" ".bb2\\$extract_entry"; do
    key_exists $view "$classes\\$key" && fail "view $view: $key left after uninstall" ||
      pass "view $view: $key removed"
  done
done
expect_eq "unrelated value kept" "$(reg_value 64 "$classes\\.bvi" PerceivedType)" image
expect_eq "unrelated handler kept" "$(reg_value 64 "$classes\\.bvi\\$other_handler" "")" "$other_clsid"
expect_eq "unrelated class kept" "$(reg_value 64 "$classes\\CLSID\\$other_clsid" "")" unrelated
finish
