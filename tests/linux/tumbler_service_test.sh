#!/usr/bin/env bash
# The desktop thumbnailer through a real thumbnail service: Debian's tumbler,
# in a private D-Bus session whose data and cache folders are the test's own.
# It installs the command, the MIME package and the thumbnailer entry (from a
# build tree with `cmake --install`, or takes an unpacked package's tree),
# checks that the MIME types are known by name and by content, asks the
# service for thumbnails of documents in a folder whose name needs
# percent-encoding and checks the PNGs it caches; a damaged document must
# get the service's Error signal and no thumbnail.
#
# Usage: tumbler_service_test.sh (--install-from BUILD_DIR | --prefix DIR)
#            --bvdoc BVDOC --probe PNG_PROBE --source SOURCE_DIR --work WORK_DIR
# Exits 77 when the service or the session bus is not installed.
set -uo pipefail

if [ "${BV_TUMBLER_INNER:-}" = 1 ]; then
  inner=1
else
  inner=0
  while [ $# -gt 0 ]; do
    case $1 in
      --install-from) build=$2; shift 2 ;;
      --prefix) prefix=$2; shift 2 ;;
      --bvdoc) bvdoc=$2; shift 2 ;;
      --probe) probe=$2; shift 2 ;;
      --source) source_dir=$2; shift 2 ;;
      --work) work=$2; shift 2 ;;
      *) echo "tumbler_service_test.sh: unknown argument $1" >&2; exit 2 ;;
    esac
  done
fi

source "$(dirname "$0")/checks.sh"

# ---- inside the private session --------------------------------------------
# Tumbler sends Ready, Error and Finished only to the connection that queued
# the request, so a monitor (which sees unicast traffic) watches them; each
# signal becomes one line "MEMBER HANDLE".
signals() {
  awk '/interface=org.freedesktop.thumbnails.Thumbnailer1; member=/ {
         m = $0; sub(/.*member=/, "", m); getline; print m, $2 }' "$work/monitor.log"
}

call() {  # call DEST PATH METHOD ARGS...
  gdbus call --session --dest "$1" --object-path "$2" --method "$3" "${@:4}"
}

# queue URI MIME FLAVOR: asks for one flavor (two queued together cancel each
# other) and waits for its Finished signal; prints the request's handle.
queue() {
  local reply handle
  reply=$(call org.freedesktop.thumbnails.Thumbnailer1 /org/freedesktop/thumbnails/Thumbnailer1 \
    org.freedesktop.thumbnails.Thumbnailer1.Queue "['$1']" "['$2']" "$3" default 0) || return 1
  handle=$(sed -n 's/^(uint32 \([0-9]*\),)$/\1/p' <<<"$reply")
  [ -n "$handle" ] || return 1
  for _ in $(seq 600); do
    signals | grep -qx "Finished $handle" && { echo "$handle"; return 0; }
    sleep 0.1
  done
  return 1
}

md5_of() { printf %s "$1" | md5sum | cut -d' ' -f1; }

# check_thumbnail NAME FILE FLAVOR MIME SIZE [X Y RRGGBBAA]...
check_thumbnail() {
  local name=$1 file=$2 flavor=$3 mime=$4 size=$5; shift 5
  local uri handle png info mtime coords=() i
  for ((i = 1; i <= $#; i += 3)); do coords+=("${!i}" "${@:i+1:1}"); done
  uri=file://$(sed 's/ /%20/g' <<<"$file")
  if ! handle=$(queue "$uri" "$mime" "$flavor"); then
    fail "$name $flavor: no Finished signal"; return
  fi
  if ! signals | grep -qx "Ready $handle"; then
    fail "$name $flavor: no Ready signal; service said: $(signals | grep " $handle$" | tr '\n' ' ')"
    return
  fi
  png=$XDG_CACHE_HOME/thumbnails/$flavor/$(md5_of "$uri").png
  if ! info=$("$probe" "$png" "${coords[@]}" 2>&1); then
    fail "$name $flavor: no PNG at $png: $info"; return
  fi
  expect "$name $flavor: size" "$(sed -n 's/^size //p' <<<"$info")" "$size"
  expect "$name $flavor: alpha channel" "$(sed -n 's/^alpha //p' <<<"$info")" yes
  expect "$name $flavor: Thumb::URI" "$(sed -n 's/^text Thumb::URI=//p' <<<"$info")" "$uri"
  # The service writes the time with a fraction; whole seconds must match.
  mtime=$(sed -n 's/^text Thumb::MTime=\([0-9]*\).*/\1/p' <<<"$info")
  expect "$name $flavor: Thumb::MTime" "$mtime" "$(stat -c %Y "$file")"
  while [ $# -ge 3 ]; do
    expect "$name $flavor: pixel $1,$2" "$(sed -n "s/^pixel $1 $2 //p" <<<"$info")" "$3"
    shift 3
  done
  [ "$name" != sample.bvi ] || expect "$name $flavor: transparency kept" \
    "$(sed -n 's/^transparent //p' <<<"$info" | sed 's/^[1-9][0-9]*$/some/')" some
}

run_inner() {
  dbus-monitor --session "type='signal',interface='org.freedesktop.thumbnails.Thumbnailer1'" \
    >"$work/monitor.log" 2>&1 &
  "$tumblerd" >"$work/tumblerd.log" 2>&1 &
  local up=0
  for _ in $(seq 300); do
    if call org.freedesktop.DBus /org/freedesktop/DBus org.freedesktop.DBus.NameHasOwner \
      org.freedesktop.thumbnails.Thumbnailer1 2>/dev/null | grep -q true; then
      up=1; break
    fi
    sleep 0.1
  done
  [ "$up" = 1 ] || { fail "tumblerd did not take its name: $(cat "$work/tumblerd.log")"; return; }

  local d="$work/docs/with space"
  check_thumbnail sample.bvi "$d/sample.bvi" normal image/x-brivel-bvi "128 80"
  check_thumbnail sample.bvi "$d/sample.bvi" large image/x-brivel-bvi "256 160"
  check_thumbnail sample.bvi "$d/sample.bvi" x-large image/x-brivel-bvi "256 160"
  check_thumbnail sample.bb2 "$d/sample.bb2" normal image/x-brivel-bb2 "128 80"
  check_thumbnail sample.bb2 "$d/sample.bb2" large image/x-brivel-bb2 "256 160"
  # A 2 x 1 preview stays 2 x 1, its pixels exact: opaque red, half-transparent blue.
  check_thumbnail two-pixels.bvi "$d/two-pixels.bvi" large image/x-brivel-bvi "2 1" \
    0 0 FF0000FF 1 0 0000FF80

  local uri=file://$(sed 's/ /%20/g' <<<"$d/damaged.bvi") handle
  if ! handle=$(queue "$uri" image/x-brivel-bvi normal); then
    fail "damaged.bvi: no Finished signal"
  else
    signals | grep -qx "Error $handle" && pass "damaged.bvi: Error signal" \
      || fail "damaged.bvi: no Error signal"
    [ ! -e "$XDG_CACHE_HOME/thumbnails/normal/$(md5_of "$uri").png" ] \
      && pass "damaged.bvi: no thumbnail" || fail "damaged.bvi: a thumbnail was cached"
  fi
}

if [ "$inner" = 1 ]; then
  run_inner
  echo "$passes $failures" >"$work/inner.result"
  exit 0
fi

# ---- outside: preparation, MIME checks, then the session --------------------
missing=()
for tool in dbus-run-session dbus-monitor gdbus gio update-mime-database xdg-mime md5sum; do
  command -v "$tool" >/dev/null || missing+=("$tool")
done
tumblerd=$(ls /usr/lib/*/tumbler-1/tumblerd /usr/libexec/tumbler-1/tumblerd 2>/dev/null | head -1)
[ -n "$tumblerd" ] || missing+=(tumblerd)
if [ ${#missing[@]} -ne 0 ]; then
  echo "SKIP: not installed: ${missing[*]} (scripts/setup installs them)"
  exit 77
fi

rm -rf "$work" && mkdir -p "$work"
work=$(realpath "$work")
if [ -n "${build:-}" ]; then
  prefix=$work/prefix
  cmake --install "$build" --prefix "$prefix" >"$work/install.log" || {
    cat "$work/install.log"; echo "FAIL cmake --install"; exit 1; }
fi
prefix=$(realpath "$prefix")
for f in bin/bvthumbnailer share/mime/packages/brivel2thumb.xml \
  share/thumbnailers/brivel2thumb.thumbnailer; do
  [ -e "$prefix/$f" ] && pass "installed $f" || fail "not installed: $f"
done
if [ -n "${build:-}" ]; then
  [ -f "$prefix/share/mime/mime.cache" ] && pass "cmake --install compiled the MIME database" ||
    fail "cmake --install left the MIME database uncompiled"
else
  # What the package's postinst does for /usr.
  update-mime-database "$prefix/share/mime" >/dev/null 2>&1
fi

export XDG_DATA_DIRS=$prefix/share:/usr/share XDG_DATA_HOME=$work/data
export XDG_CACHE_HOME=$work/cache XDG_CONFIG_HOME=$work/config HOME=$work/home
export PATH=$prefix/bin:$PATH
mkdir -p "$XDG_DATA_HOME" "$XDG_CACHE_HOME" "$XDG_CONFIG_HOME" "$HOME"

d="$work/docs/with space"
mkdir -p "$d" "$work/magic"
"$bvdoc" "$source_dir/samples/sample.png" "$d/sample.bvi" >/dev/null &&
  "$bvdoc" --stored "$source_dir/samples/sample.png" "$d/sample.bb2" >/dev/null &&
  "$bvdoc" --plain "$source_dir/samples/sample.png" "$work/magic/plain.bb2" >/dev/null &&
  "$bvdoc" --plain "$source_dir/samples/sample.png" "$work/magic/plain.bvi" >/dev/null ||
  { echo "FAIL bvdoc could not write the documents"; exit 1; }
cp "$source_dir/tests/data/two-pixels.bvi" "$d/two-pixels.bvi"
head -c 30 "$d/two-pixels.bvi" >"$d/damaged.bvi"

# By name, as file managers see it, and by content for files without one.
expect "xdg-mime: .bvi" "$(XDG_CURRENT_DESKTOP=GNOME xdg-mime query filetype "$d/sample.bvi")" \
  image/x-brivel-bvi
expect "xdg-mime: .bb2" "$(XDG_CURRENT_DESKTOP=GNOME xdg-mime query filetype "$d/sample.bb2")" \
  image/x-brivel-bb2
content_type() { gio info -a standard::content-type "$1" | sed -n 's/.*content-type: //p'; }
cp "$work/magic/plain.bvi" "$work/magic/plain-bvi"
cp "$work/magic/plain.bb2" "$work/magic/plain-bb2"
cp "$d/sample.bb2" "$work/magic/stored-bb2"
cp "$d/sample.bvi" "$work/magic/deflated-bvi"
for row in plain-bvi:image/x-brivel-bvi plain-bb2:image/x-brivel-bb2 \
  stored-bb2:image/x-brivel-bb2 deflated-bvi:image/x-brivel-bvi; do
  expect "gio by content: ${row%%:*}" "$(content_type "$work/magic/${row%%:*}")" "${row#*:}"
done

rm -f "$work/inner.result"
BV_TUMBLER_INNER=1 work=$work tumblerd=$tumblerd probe=$probe \
  timeout 600 dbus-run-session -- "$0" 2>"$work/session.log"
if [ -f "$work/inner.result" ]; then
  read -r p f <"$work/inner.result"
  passes=$((passes + p)); failures=$((failures + f))
else
  fail "the D-Bus session did not finish: $(tail -5 "$work/session.log")"
fi
finish
