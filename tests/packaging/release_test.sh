#!/usr/bin/env bash
# scripts/release as a maintainer runs it: from two fresh clones of the
# current commit at different paths, whose dist/ folders must match byte for
# byte; the files it holds, stripped programs with their debug information
# beside them and no build path inside; then the released installer under
# Wine with the released tools: a real thumbnail through the installed class
# in both bitnesses, and a clean uninstall.
#   release_test.sh --source DIR --work DIR
# Exit 0 passed, 1 failed, 77 skipped (a tool or a 64-bit Wine is missing).
set -uo pipefail

. "$(dirname "$0")/msi_test_lib.sh" "$@"
for tool in git wixl msibuild zip unzip; do
  command -v $tool >/dev/null || skip "$tool is missing (scripts/setup installs it)"
done
[ -x /usr/lib/wine/wine64 ] || skip "no 64-bit Wine loader found"
commit=$(git -C "$source_dir" rev-parse HEAD) || skip "$source_dir is not a git checkout"
version=26.5.22.0

# --- Two releases from two clones ---------------------------------------------
rm -rf "$work"
mkdir -p "$work"
for i in 1 2; do
  clone=$work/clone-$i
  git clone -q "$source_dir" "$clone" && git -C "$clone" checkout -q --detach "$commit" ||
    { echo "FAIL: clone $i"; exit 1; }
  "$clone/scripts/release" >"$work/release-$i.log" 2>&1 ||
    { tail -20 "$work/release-$i.log"; echo "FAIL: scripts/release in clone $i"; exit 1; }
done
dist=$work/clone-1/dist
expected="SHA256SUMS
brivel2thumb-$version-debug.zip
brivel2thumb-$version.msi
brivel2thumb-$version.zip
brivel2thumb-user-$version.msi"
expect_eq "files in dist" "$(ls "$dist")" "$expected"
for f in $(ls "$dist"); do
  cmp -s "$dist/$f" "$work/clone-2/dist/$f" && pass "$f: the same bytes from both clones" ||
    fail "$f differs between the two clones"
done
(cd "$dist" && sha256sum --quiet -c SHA256SUMS) && pass "SHA256SUMS" || fail "SHA256SUMS does not match"

# --- What the files hold -----------------------------------------------------------
unzip -q "$dist/brivel2thumb-$version.zip" -d "$work/files"
unzip -q "$dist/brivel2thumb-$version-debug.zip" -d "$work/files"
expect_eq "zip contents" "$(unzip -Z1 "$dist/brivel2thumb-$version.zip")" "README-Windows.md
install.md
x64/brivel2thumbx64.dll
x64/bvthumb.exe
x86/brivel2thumb.dll
x86/bvthumb.exe"
head -1 "$work/files/README-Windows.md" | grep -q '^## Install on Windows' &&
  pass "README's Windows part" || fail "README-Windows.md does not start with the Windows part"
for f in x64/brivel2thumbx64.dll x64/bvthumb.exe x86/brivel2thumb.dll x86/bvthumb.exe; do
  sections=$(x86_64-w64-mingw32-objdump -h "$work/files/$f")
  grep -q '\.debug_info' <<<"$sections" && fail "$f still has debug information" || pass "$f stripped"
  grep -q '\.gnu_debuglink' <<<"$sections" && pass "$f links to its debug file" ||
    fail "$f has no debuglink"
  x86_64-w64-mingw32-objdump -h "$work/files/$f.debug" | grep -q '\.debug_info' && pass "$f.debug holds the debug information" ||
    fail "$f.debug has no debug information"
done
found=$(grep -rl -e "$work" -e "$source_dir" "$dist" "$work/files" 2>/dev/null)
expect_eq "no build or source path inside the released files" "$found" ""
expect_eq "MSI summary time is the last commit's" \
  "$(msiinfo suminfo "$dist/brivel2thumb-$version.msi" | sed -n 's/^Created: //p')" \
  "$(TZ=UTC LC_ALL=C date -d "@$(git -C "$source_dir" log -1 --format=%ct)" '+%a %b %e %H:%M:%S %Y')"

# --- The released installer and tools under Wine ----------------------------------
export WINEPREFIX=$work/prefix WINEARCH=win64
"$wine_run" --init "$work" || { echo "FAIL: Wine prefix"; exit 1; }
msiexec /i "$(win_path "$dist/brivel2thumb-$version.msi")"
expect_eq "msiexec /i of the released MSI" $? 0
cp "$source_dir/tests/data/two-pixels.bvi" "$work/doc.bvi"
thumbnail_via_class 64 "$work/files/x64/bvthumb.exe" "$work/doc.bvi" \
  'C:\Program Files\brivel2thumb\brivel2thumbx64.dll'
thumbnail_via_class 32 "$work/files/x86/bvthumb.exe" "$work/doc.bvi" \
  'C:\Program Files (x86)\brivel2thumb\brivel2thumb.dll'
msiexec /x "$(win_path "$dist/brivel2thumb-$version.msi")"
expect_eq "msiexec /x of the released MSI" $? 0
[ ! -e "$WINEPREFIX/drive_c/Program Files/brivel2thumb/brivel2thumbx64.dll" ] &&
  pass "DLL removed" || fail "DLL left after uninstall"
key_exists 64 "HKCR\\CLSID\\$clsid" && fail "class left after uninstall" || pass "class removed"
finish
