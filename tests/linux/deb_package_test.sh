#!/usr/bin/env bash
# The Debian package from scripts/package-deb: its files and control fields,
# that its maintainer scripts refresh the MIME database exactly on install
# and removal, that the command in it is a plain (unsanitized) build, and
# that the packaged files work under the real thumbnail service.
# Usage: deb_package_test.sh SOURCE_DIR BUILD_DIR WORK_DIR BVDOC PNG_PROBE
# Exits 77 when the Debian packaging tools are not installed.
set -uo pipefail
source_dir=$1; build=$2; work=$3; bvdoc=$4; probe=$5
for tool in dpkg-deb dpkg-shlibdeps cpack readelf; do
  command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
done
rm -rf "$work" && mkdir -p "$work" && work=$(realpath "$work")
source "$(dirname "$0")/checks.sh"

if ! deb=$("$source_dir/scripts/package-deb" --build-dir "$build" --out "$work/out" 2>"$work/package.log"); then
  tail -20 "$work/package.log"; echo "FAIL scripts/package-deb"; exit 1
fi
expect "package name" "$(basename "$deb" | sed 's/[0-9.]*-[a-z0-9]*\.deb$//')" brivel2thumb-

# Exactly these files, owned by root, under /usr.
expect "contents" "$(dpkg-deb --contents "$deb" | awk '$1 !~ /^d/ { print $1, $2, $6 }' | sort)" \
"-rw-r--r-- root/root ./usr/share/mime/packages/brivel2thumb.xml
-rw-r--r-- root/root ./usr/share/thumbnailers/brivel2thumb.thumbnailer
-rwxr-xr-x root/root ./usr/bin/bvthumbnailer"
expect "Package" "$(dpkg-deb -f "$deb" Package)" brivel2thumb
depends=$(dpkg-deb -f "$deb" Depends)
for need in shared-mime-info libpng16-16 libc6; do
  grep -q "$need" <<<"$depends" && pass "Depends: $need" || fail "Depends lacks $need: $depends"
done

# Maintainer scripts, run against a recording stand-in for update-mime-database.
mkdir -p "$work/control" "$work/fake"
dpkg-deb --control "$deb" "$work/control"
cat >"$work/fake/update-mime-database" <<FAKE
#!/bin/sh
echo "\$*" >>"$work/mime-calls"
FAKE
chmod +x "$work/fake/update-mime-database"
while read -r script arg want; do
  rm -f "$work/mime-calls"
  if [ ! -x "$work/control/$script" ]; then
    fail "$script: missing or not executable"; continue
  fi
  PATH=$work/fake:$PATH "$work/control/$script" "$arg"
  rc=$?
  expect "$script $arg" "$rc:$(cat "$work/mime-calls" 2>/dev/null)" "0:${want/none/}"
done <<'ROWS'
postinst configure /usr/share/mime
postinst abort-upgrade none
postrm remove /usr/share/mime
postrm purge /usr/share/mime
postrm upgrade none
ROWS
# Without shared-mime-info the scripts must not fail the installation.
rm "$work/fake/update-mime-database"
PATH=$work/fake "$work/control/postinst" configure
expect "postinst without update-mime-database" "$?" 0

# The packaged files themselves.
dpkg-deb -x "$deb" "$work/root"
entry=$work/root/usr/share/thumbnailers/brivel2thumb.thumbnailer
expect "entry: Exec" "$(sed -n 's/^Exec=//p' "$entry")" "bvthumbnailer -s %s %u %o"
expect "entry: TryExec" "$(sed -n 's/^TryExec=//p' "$entry")" bvthumbnailer
declared=$(grep -o 'mime-type type="[^"]*"' "$work/root/usr/share/mime/packages/brivel2thumb.xml" |
  cut -d'"' -f2 | tr '\n' ';')
expect "entry: MimeType lists the declared types" "$(sed -n 's/^MimeType=//p' "$entry")" "$declared"
needed=$(readelf -d "$work/root/usr/bin/bvthumbnailer" | grep NEEDED)
grep -q -E 'asan|ubsan' <<<"$needed" && fail "the packaged command is sanitized: $needed" ||
  pass "the packaged command is a plain build"

bash "$source_dir/tests/linux/tumbler_service_test.sh" --prefix "$work/root/usr" --bvdoc "$bvdoc" \
  --probe "$probe" --source "$source_dir" --work "$work/tumbler"
case $? in
  0) pass "tumbler with the packaged files" ;;
  77) echo "(tumbler not installed: the packaged files were not run under it)" ;;
  *) fail "tumbler with the packaged files" ;;
esac

finish
