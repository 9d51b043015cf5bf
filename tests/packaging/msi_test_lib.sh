# Shared by the installer tests, sourced with the test's own arguments:
# argument parsing, results, Wine calls and registry reads. The caller sets
# WINEPREFIX.
#   --source DIR  the source tree   --win64-dir DIR  the 64-bit build tree
#   --work DIR    the test's folder --probe EXE      the COM activation probe
while [ $# -gt 0 ]; do
  case $1 in
    --source) source_dir=$2 ;;
    --win64-dir) win64_dir=$2 ;;
    --work) work=$2 ;;
    --probe) probe=$2 ;;
    *) echo "unknown argument $1" >&2; exit 2 ;;
  esac
  shift 2
done
wine_run=$source_dir/scripts/wine-run

failures=0
skip() { echo "SKIP: $*"; exit 77; }
pass() { echo "ok:   $*"; }
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
expect_eq() {  # expect_eq WHAT ACTUAL EXPECTED
  if [ "$2" = "$3" ]; then pass "$1"; else fail "$1: got '$2', expected '$3'"; fi
}
finish() {  # nothing of the prefix may outlive the test
  wineserver -k >/dev/null 2>&1 || true
  echo "$failures failure(s)"
  [ "$failures" -eq 0 ]
}

w() { "$wine_run" "$@" 2>/dev/null | tr -d '\r'; return "${PIPESTATUS[0]}"; }
w32() { w --bits 32 "$@"; }
msiexec() { w msiexec "$@" /qn; }
win_path() { echo "Z:$(realpath -m "$1" | tr / '\\')"; }

clsid='{6B1D2E40-7A35-4C8E-9F21-3D5A7C0B9E14}'
display='brbrivel2 Thumbnail ShellExtension'
thumb_entry='shellex\{E357FCCD-A995-4576-B01F-234630154E96}'
extract_entry='shellex\{BB2E617C-0920-11d1-9A0B-00C04FC2D6C1}'

# The seven registry entries of the handler: key|value name (empty: the
# default value), relative to the classes root of the installation.
entries=("CLSID\\$clsid|" "CLSID\\$clsid\\InprocServer32|" "CLSID\\$clsid\\InprocServer32|ThreadingModel"
         ".bvi\\$thumb_entry|" ".bvi\\$extract_entry|" ".bb2\\$thumb_entry|" ".bb2\\$extract_entry|")
# Seeded before an install; the uninstall must leave them.
other_clsid='{0BADF00D-1111-2222-3333-444444444444}'
other_handler='shellex\{8895B1C6-B41F-4C1C-A562-0D564250836F}'

# reg_query VIEW KEY [ARG...]: what reg query prints for KEY in the view.
# A query that ran either answers or says it found nothing; on a loaded
# machine a Wine program now and then fails to start and says neither, so it
# is asked again, and a query that never ran is a failure, not an absence.
reg_query() {
  local out try
  for try in 1 2 3; do
    out=$(w reg query "$2" "${@:3}" "/reg:$1") && { printf '%s\n' "$out"; return 0; }
    grep -q 'Unable to find' <<<"$out" && return 1
  done
  fail "reg query $2 did not run" >&2 # stderr: callers often take the output as the answer
  return 1
}
reg_value() {  # reg_value VIEW KEY NAME: the data of a REG_SZ value, or nothing
  local selector=(/ve)
  [ -n "$3" ] && selector=(/v "$3")
  reg_query "$1" "$2" "${selector[@]}" | sed -n 's/^ *.* REG_SZ *//p'
}
key_exists() { reg_query "$1" "$2" >/dev/null; }

installed_products() {  # installed_products NAME: "name version" per installed product so named
  reg_query 64 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s |
    awk -v name="$1" '
      /^HKEY/ { if (n == name) print n " " v; n = ""; v = "" }
      $1 == "DisplayName" { sub(/^ *DisplayName *REG_SZ */, ""); n = $0 }
      $1 == "DisplayVersion" { v = $3 }
      END { if (n == name) print n " " v }'
}

# thumbnail_via_class BITS BVTHUMB DOC DLL: bvthumb --com names the installed
# DLL as the handler of .bvi and gets a real thumbnail through it.
thumbnail_via_class() {
  local run=(w) out
  [ "$1" = 32 ] && run=(w32)
  rm -f "$3.png"
  out=$("${run[@]}" "$2" --com --size 2 "$(win_path "$3")" "$(win_path "$3.png")")
  if [ $? -eq 77 ]; then
    echo "SKIP: $1-bit thumbnail: 32-bit programs cannot run on this machine"
    return
  fi
  expect_eq "$1-bit thumbnail through the installed class" "$out" \
    "handler for .bvi: $clsid \"$display\" in $4
$(win_path "$3"): 2 x 1 thumbnail with transparency"
  [ -s "$3.png" ] && pass "$1-bit thumbnail written" || fail "$1-bit thumbnail missing"
}
