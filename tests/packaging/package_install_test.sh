#!/usr/bin/env bash
# Installs the MSI into a fresh Wine prefix and checks what it leaves: both
# DLLs, the seven registry values in each registry view, COM activation of the
# installed class and a thumbnail through it in both bitnesses, major upgrades,
# and a clean uninstall that spares keys the package did not write.
#   package_install_test.sh --source DIR --win64-dir DIR --work DIR --probe EXE
# Exit 0 passed, 1 failed, 77 skipped (wixl or a 64-bit Wine is missing, or
# no way to run 32-bit programs for the 32-bit half).
set -uo pipefail

. "$(dirname "$0")/msi_test_lib.sh" "$@"

command -v wixl >/dev/null || skip "wixl is missing (scripts/setup installs it)"

# A prefix of the test's own, made afresh on every run.
export WINEPREFIX=$work/prefix WINEARCH=win64
[ -x /usr/lib/wine/wine64 ] || skip "no 64-bit Wine loader found"
thumb=$thumb_entry extract=$extract_entry
dir64='C:\Program Files\brivel2thumb'
dir32='C:\Program Files (x86)\brivel2thumb'
handler_keys=("CLSID\\$clsid" ".bvi\\$thumb" ".bvi\\$extract" ".bb2\\$thumb" ".bb2\\$extract")

# Registry reads relative to HKEY_CLASSES_ROOT.
hkcr_value() { reg_value "$1" "HKCR\\$2" "$3"; }
hkcr_exists() { key_exists "$1" "HKCR\\$2"; }

# --- Build: the package, a rebuild of it and a newer version --------------
rm -rf "$work/prefix" "$work/msi"
mkdir -p "$work"
package() { "$source_dir/scripts/package" --win64-dir "$win64_dir" --win32-dir "$work/win32" "$@"; }
msi=$(package --out "$work/msi/first") || { echo "FAIL: scripts/package"; exit 1; }
rebuild=$(package --out "$work/msi/rebuild") || { echo "FAIL: scripts/package (rebuild)"; exit 1; }
sed -e 's/define Version = "[0-9.]*"/define Version = "26.6.1.0"/' \
    -e 's/define ReplaceBelow = "[0-9.]*"/define ReplaceBelow = "26.6.2"/' \
    "$source_dir/packaging/brivel2thumb.wxs" >"$work/newer.wxs"
newer=$(package --out "$work/msi/newer" --wxs "$work/newer.wxs") ||
  { echo "FAIL: scripts/package (newer)"; exit 1; }
expect_eq "product version" "$(msiinfo export "$msi" Property | tr -d '\r' |
                               awk '$1 == "ProductVersion" { print $2 }')" 26.5.22.0
win_path() { echo "Z:$(realpath "$1" | tr / '\\')"; }

# --- Fresh prefix with unrelated keys in both views -------------------------
"$wine_run" --init "$work" || { echo "FAIL: Wine prefix"; exit 1; }
for view in 64 32; do
  w reg add "HKCR\\.bvi" /v PerceivedType /d image /f "/reg:$view" >/dev/null
  w reg add "HKCR\\.bvi\\$other_handler" /ve /d "$other_clsid" /f "/reg:$view" >/dev/null
  w reg add "HKCR\\CLSID\\$other_clsid" /ve /d unrelated /f "/reg:$view" >/dev/null
done

# --- Install -----------------------------------------------------------------
msiexec /i "$(win_path "$msi")"
expect_eq "msiexec /i exit code" $? 0

c_drive=$WINEPREFIX/drive_c
cmp -s "$c_drive/Program Files/brivel2thumb/brivel2thumbx64.dll" "$win64_dir/bin/brivel2thumbx64.dll" &&
  pass "64-bit DLL installed under Program Files" || fail "64-bit DLL missing or different"
cmp -s "$c_drive/Program Files (x86)/brivel2thumb/brivel2thumb.dll" "$work/win32/bin/brivel2thumb.dll" &&
  pass "32-bit DLL installed under Program Files (x86)" || fail "32-bit DLL missing or different"

for view in 64 32; do
  if [ $view = 64 ]; then dll="$dir64\\brivel2thumbx64.dll"; else dll="$dir32\\brivel2thumb.dll"; fi
  expected=("$display" "$dll" Apartment "$clsid" "$clsid" "$clsid" "$clsid")
  for i in "${!entries[@]}"; do
    key=${entries[$i]%|*} name=${entries[$i]#*|}
    expect_eq "view $view: $key [${name:-default}]" "$(hkcr_value $view "$key" "$name")" "${expected[$i]}"
  done
done

# --- COM activation through the installed registration -----------------------
# The probe answers with the path of the DLL that implements the object: it
# must be the installed copy, not the one in the build tree.
expect_eq "64-bit CoCreateInstance: IThumbnailProvider and IInitializeWithStream" \
  "$(w "$probe")" "module: $dir64\\brivel2thumbx64.dll"
# The 32-bit half runs through whichever way wine-run has for 32-bit programs;
# only where there is none is it skipped, and then the whole test says so.
skipped32=
if ! cmake --build "$work/win32" --target com_activation_probe bvthumb -j2 >/dev/null; then
  fail "building the 32-bit probe and bvthumb"
else
  probe32=$(w --bits 32 "$work/win32/bin/com_activation_probe.exe")
  if [ $? -eq 77 ]; then
    skipped32=$("$wine_run" --bits 32 --init "$work/win32" 2>&1 >/dev/null | sed -n 's/^SKIPPED: //p')
  else
    expect_eq "32-bit CoCreateInstance: IThumbnailProvider and IInitializeWithStream" \
      "$probe32" "module: $dir32\\brivel2thumb.dll"
  fi
fi

# --- A thumbnail through the installed class ----------------------------------
cp "$source_dir/tests/data/two-pixels.bvi" "$work/doc.bvi"
thumbnail_via_class 64 "$win64_dir/bin/bvthumb.exe" "$work/doc.bvi" "$dir64\\brivel2thumbx64.dll"
[ -n "$skipped32" ] ||
  thumbnail_via_class 32 "$work/win32/bin/bvthumb.exe" "$work/doc.bvi" "$dir32\\brivel2thumb.dll"

# --- Major upgrade -------------------------------------------------------------
msiexec /i "$(win_path "$rebuild")"
expect_eq "rebuild of the same version: exit code" $? 0
expect_eq "rebuild replaces the installed product" "$(installed_products "$display")" "$display 26.5.22.0"
msiexec /i "$(win_path "$newer")"
expect_eq "newer version: exit code" $? 0
expect_eq "newer version replaces the installed product" "$(installed_products "$display")" "$display 26.6.1.0"
msiexec /i "$(win_path "$msi")"
[ $? -ne 0 ] && pass "older version refused over a newer one" || fail "older version installed over a newer one"
expect_eq "newer product still the only one" "$(installed_products "$display")" "$display 26.6.1.0"
expect_eq "view 64: DLL path after upgrades" "$(hkcr_value 64 "CLSID\\$clsid\\InprocServer32" "")" \
  "$dir64\\brivel2thumbx64.dll"

# --- Uninstall -----------------------------------------------------------------
msiexec /x "$(win_path "$newer")"
expect_eq "msiexec /x exit code" $? 0
expect_eq "no product left" "$(installed_products "$display")" ""
[ ! -e "$c_drive/Program Files/brivel2thumb/brivel2thumbx64.dll" ] &&
  [ ! -e "$c_drive/Program Files (x86)/brivel2thumb/brivel2thumb.dll" ] &&
  pass "both DLLs removed" || fail "a DLL is left after uninstall"
for view in 64 32; do
  for key in "${handler_keys[@]}"; do
    hkcr_exists $view "$key" && fail "view $view: $key left after uninstall" ||
      pass "view $view: $key removed"
  done
  expect_eq "view $view: unrelated value kept" "$(hkcr_value $view .bvi PerceivedType)" image
  expect_eq "view $view: unrelated handler kept" "$(hkcr_value $view ".bvi\\$other_handler" "")" \
    "$other_clsid"
  expect_eq "view $view: unrelated class kept" "$(hkcr_value $view "CLSID\\$other_clsid" "")" unrelated
done

finish || exit 1
[ -z "$skipped32" ] || skip "the 32-bit half: $skipped32"
