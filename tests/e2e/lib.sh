# Shared by the end-to-end scripts: bundles, a scratch working directory, and running a
# bundle's program natively or under Wine. Source it; it sets -euo pipefail.
set -euo pipefail

E2E_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
REPO_DIR=$(cd "$E2E_DIR/../.." && pwd)
: "${VARIO_LINUX_DIST:=$REPO_DIR/dist/linux}"
: "${VARIO_WINDOWS_DIST:=$REPO_DIR/dist/windows}"
: "${VARIO_WINDOWS_BUILD:=$REPO_DIR/build/windows}"
: "${VARIO_WINEPREFIX:=$REPO_DIR/build/wineprefix}"

fail() { echo "FAIL: $*" >&2; exit 1; }
# A check the machine cannot make now (CTest shows it as skipped: SKIP_RETURN_CODE 77).
skip() { echo "SKIP: $*" >&2; exit 77; }
note() { echo "-- $*"; }

# A loopback port where nothing listens now, for a server started later.
unused_port() {
  python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

# bundle_dir linux|windows
bundle_dir() {
  case "$1" in
    linux) echo "$VARIO_LINUX_DIST" ;;
    windows) echo "$VARIO_WINDOWS_DIST" ;;
    *) fail "unknown platform $1" ;;
  esac
}

# program_file linux|windows NAME
program_file() { if [ "$1" = windows ]; then echo "$2.exe"; else echo "$2"; fi; }

# Makes a scratch copy of the bundle and prints its path; removed when the script ends.
scratch_bundle() {
  local platform=$1 src
  src=$(bundle_dir "$platform")
  [ -d "$src" ] || fail "no bundle at $src (run scripts/build)"
  local dir
  dir=$(mktemp -d "${TMPDIR:-/tmp}/vario-e2e.XXXXXX")
  cp -r "$src"/. "$dir"/
  SCRATCH_DIRS+=("$dir")
  echo "$dir"
}
SCRATCH_DIRS=()
cleanup_scratch() { local d; for d in "${SCRATCH_DIRS[@]}"; do rm -rf "$d"; done; }
trap cleanup_scratch EXIT

# A Wine prefix for the tests: made once, with the crash dialog off so that a crash
# fails the test instead of hanging it.
wine_env() {
  export WINEPREFIX=$VARIO_WINEPREFIX WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEARCH=win64
  [ -n "${DISPLAY:-}" ] || fail "Wine tests need DISPLAY (scripts/test starts a virtual display)"
  mkdir -p "$(dirname "$WINEPREFIX")"
  (
    flock 9
    if [ ! -f "$WINEPREFIX/.vario-ready" ]; then
      wineboot -i >/dev/null 2>&1 || true
      wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
      # Let the set-up session end first: windows made while it winds down are not
      # found by programs started after it.
      wineserver -w
      touch "$WINEPREFIX/.vario-ready"
    fi
  ) 9>"$WINEPREFIX.lock"
}

# run_in DIR linux|windows NAME [ARGS...]: runs a bundle program from DIR (its working
# directory) and returns its exit status. Output goes where the caller sends it. A
# command in the array RUN_AS (e.g. setpriv) runs the Linux program as another user.
run_in() {
  local dir=$1 platform=$2 name=$3
  shift 3
  local file
  file=$(program_file "$platform" "$name")
  # With PEAK_RSS_FILE set, the program's peak resident memory (kB) is written there.
  local measure=()
  [ -z "${PEAK_RSS_FILE:-}" ] || measure=(/usr/bin/time -f %M -o "$PEAK_RSS_FILE")
  if [ "$platform" = windows ]; then
    wine_env
    (cd "$dir" && "${measure[@]}" timeout "${RUN_TIMEOUT:-60}" wine "./$file" "$@")
  else
    (cd "$dir" && "${RUN_AS[@]}" "${measure[@]}" timeout "${RUN_TIMEOUT:-60}" "./$file" "$@")
  fi
}

RUN_AS=()

# peak_rss_kb FILE: the figure run_in left in FILE (time adds a line before it when the
# program's status is not 0).
peak_rss_kb() { tail -n 1 "$1"; }

# expect_contains FILE TEXT
expect_contains() {
  grep -qF -- "$2" "$1" || fail "expected '$2' in $(basename "$1"); it holds: $(cat "$1")"
}

# The packages of scripts/package (dist/packages/), named by the project's version.
: "${VARIO_PACKAGE_DIR:=$REPO_DIR/dist/packages}"
# package_file deb-amd64|deb-arm64|zip: the package's path (PACKAGE), which must exist.
package_file() {
  [ -n "${VARIO_PACKAGE_VERSION:-}" ] || fail "VARIO_PACKAGE_VERSION is not set"
  local name
  case "$1" in
    deb-*) name=zevra-variometer_${VARIO_PACKAGE_VERSION}_${1#deb-}.deb ;;
    zip) name=zevra-variometer-${VARIO_PACKAGE_VERSION}-windows-x64.zip ;;
    *) fail "unknown package $1" ;;
  esac
  PACKAGE=$VARIO_PACKAGE_DIR/$name
  [ -f "$PACKAGE" ] || fail "no package $PACKAGE (run scripts/package)"
}
GAUGE_FILES=(plane2.ico vario.txr vario_fpm2000.txr vario_ms5.txr vario_kt10.txr ago_mask.txr ago.txr setpos.txr setsize.txr)

# unpack_deb DEB ARCH: unpacks the Debian package into a scratch root (DEB_ROOT) and
# checks its fields and files.
unpack_deb() {
  local deb=$1 arch=$2 root field expected file machine
  root=$(mktemp -d "${TMPDIR:-/tmp}/vario-deb.XXXXXX")
  SCRATCH_DIRS+=("$root")
  DEB_ROOT=$root
  dpkg-deb -x "$deb" "$root" || fail "dpkg-deb cannot unpack $deb"
  for field in "Package=zevra-variometer" "Version=$VARIO_PACKAGE_VERSION" "Architecture=$arch"; do
    expected=${field#*=}
    [ "$(dpkg-deb -f "$deb" "${field%%=*}")" = "$expected" ] || fail "$(basename "$deb"): ${field%%=*} is $(dpkg-deb -f "$deb" "${field%%=*}"), not $expected"
  done
  # Depends as dpkg-shlibdeps works it out from the programs: the least versions of the C
  # and C++ libraries and SDL that they were linked with, and libGL that SDL opens.
  local depends library
  depends=$(dpkg-deb -I "$deb" | sed -n 's/^ Depends: //p')
  for library in 'libc6 (>= 2.' 'libstdc++6 (>= ' 'libsdl2-2.0-0 (>= 2.' 'libopengl0' 'libgl1'; do
    [[ ", $depends," == *", $library"* ]] || fail "$(basename "$deb") Depends has no '$library...': $depends"
  done
  for file in usr/bin/zevra-variometer usr/bin/vario-simhost usr/bin/vario-dataserver usr/bin/vario-make-dial \
    usr/lib/zevra-variometer/ORVEXVario; do
    [ -x "$root/$file" ] || fail "$(basename "$deb") has no program $file"
  done
  for file in "${GAUGE_FILES[@]}" ORVEXVari.INI; do
    [ -f "$root/usr/share/zevra-variometer/$file" ] || fail "$(basename "$deb") has no usr/share/zevra-variometer/$file"
  done
  for file in usr/share/applications/zevra-variometer.desktop usr/lib/systemd/user/zevra-variometer.service \
    usr/share/doc/zevra-variometer/README.md; do
    [ -f "$root/$file" ] || fail "$(basename "$deb") has no $file"
  done
  grep -qx 'Exec=zevra-variometer' "$root/usr/share/applications/zevra-variometer.desktop" || fail "the desktop entry does not start zevra-variometer"
  grep -qx 'ExecStart=/usr/bin/zevra-variometer' "$root/usr/lib/systemd/user/zevra-variometer.service" || fail "the user unit does not start /usr/bin/zevra-variometer"
  # Under the unit nobody can click a message box: every message goes to the journal.
  grep -qx 'Environment=ORVEX_DIALOGS=stderr' "$root/usr/lib/systemd/user/zevra-variometer.service" ||
    fail "the user unit does not send the messages to standard error"
  # The entry names its icon, which the icon theme has in every size from 16 to 256.
  grep -qx 'Icon=zevra-variometer' "$root/usr/share/applications/zevra-variometer.desktop" || fail "the desktop entry's icon is not zevra-variometer"
  local side
  for side in 16 22 24 32 48 64 128 256; do
    file=usr/share/icons/hicolor/${side}x$side/apps/zevra-variometer.png
    [ -f "$root/$file" ] || fail "$(basename "$deb") has no $file"
    [[ "$(file -b "$root/$file")" == "PNG image data, $side x $side,"* ]] || fail "$file is $(file -b "$root/$file")"
  done
  for file in zevra-variometer vario-simhost vario-dataserver vario-make-dial; do
    [ -f "$root/usr/share/man/man1/$file.1.gz" ] || fail "$(basename "$deb") has no manual page for $file"
  done
  zcat "$root/usr/share/doc/zevra-variometer/changelog.gz" >"$root/changelog"
  [ "$(dpkg-parsechangelog -l "$root/changelog" -S Version)" = "$VARIO_PACKAGE_VERSION" ] ||
    fail "the changelog's latest entry is not $VARIO_PACKAGE_VERSION (packaging/changelog)"
  # A Raspberry Pi started on the sample must not spend a whole core on the gauge.
  grep -qx 'MAXFPS=60' "$root/usr/share/zevra-variometer/ORVEXVari.INI" || fail "the sample ORVEXVari.INI does not set MAXFPS=60"
  case "$arch" in amd64) machine='X86-64' ;; arm64) machine='AArch64' ;; esac
  for file in usr/lib/zevra-variometer/ORVEXVario usr/bin/vario-simhost usr/bin/vario-dataserver usr/bin/vario-make-dial; do
    readelf -h "$root/$file" | grep -q "Machine:.*$machine" || fail "$file is not built for $arch: $(readelf -h "$root/$file" | grep Machine:)"
  done
}

# unpack_zip ZIP: unpacks the Windows package into a scratch folder and checks that its
# one folder (ZIP_FOLDER) holds the bundle.
unpack_zip() {
  local zip=$1 into folder file
  into=$(mktemp -d "${TMPDIR:-/tmp}/vario-zip.XXXXXX")
  SCRATCH_DIRS+=("$into")
  (cd "$into" && cmake -E tar xf "$zip") || fail "cannot unpack $zip"
  folder=$into/$(basename "$zip" .zip)
  [ -d "$folder" ] || fail "$(basename "$zip") does not unpack to $(basename "$folder")/: $(ls "$into")"
  for file in ORVEXVario.exe vario-simhost.exe vario-dataserver.exe vario-make-dial.exe "${GAUGE_FILES[@]}" \
    ORVEXVari.INI README.md; do
    [ -f "$folder/$file" ] || fail "$(basename "$zip") has no $file"
  done
  # The texts are for Windows editors: every line ends in CR LF.
  for file in ORVEXVari.INI README.md; do
    python3 -c 'import sys; t = open(sys.argv[1], "rb").read(); sys.exit(t.count(b"\n") == 0 or t.count(b"\n") != t.count(b"\r\n"))' \
      "$folder/$file" || fail "$file in $(basename "$zip") does not end every line with CR LF"
  done
  ZIP_FOLDER=$folder
}
