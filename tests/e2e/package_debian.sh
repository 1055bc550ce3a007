#!/usr/bin/env bash
# Debian's own checks of both .deb files of scripts/package:
#   lintian    lintian reports no error and no warning (overrides aside)
#   hardening  the packaged programs are built with Debian's hardening flags: position-
#              independent, stack protector, checked libc calls, full RELRO (BIND_NOW)
# Usage: package_debian.sh lintian|hardening
source "$(dirname "$0")/lib.sh"
check=$1

case "$check" in
  lintian)
    command -v lintian >/dev/null || fail "lintian is missing (scripts/install-deps)"
    for arch in amd64 arm64; do
      package_file "deb-$arch"
      report=$(mktemp "${TMPDIR:-/tmp}/vario-lintian.XXXXXX")
      SCRATCH_DIRS+=("$report")
      status=0
      # (lintian says on standard error that it runs as root, which is all it says there.)
      lintian --fail-on error,warning "$PACKAGE" >"$report" 2>&1 || status=$?
      if [ "$status" -ne 0 ] || grep -qE '^[EW]: ' "$report"; then
        fail "lintian on $(basename "$PACKAGE") (status $status): $(cat "$report")"
      fi
      note "lintian: $(basename "$PACKAGE") has no error and no warning"
    done
    ;;
  hardening)
    for arch in amd64 arm64; do
      package_file "deb-$arch"
      unpack_deb "$PACKAGE" "$arch"
      for file in usr/lib/zevra-variometer/ORVEXVario usr/bin/vario-simhost usr/bin/vario-dataserver usr/bin/vario-make-dial; do
        program=$DEB_ROOT/$file
        header=$(readelf -hlW "$program")
        dynamic=$(readelf -dW "$program")
        symbols=$(readelf --dyn-syms -W "$program" | awk '{print $8}' | sed 's/@.*//')
        missing=()
        grep -q 'Type: *DYN' <<<"$header" && grep -q 'FLAGS_1.*PIE' <<<"$dynamic" || missing+=(PIE)
        grep -q GNU_RELRO <<<"$header" || missing+=(RELRO)
        grep -qE 'FLAGS\).*BIND_NOW|FLAGS_1.*NOW' <<<"$dynamic" || missing+=(BIND_NOW)
        grep -qx __stack_chk_fail <<<"$symbols" || missing+=(-fstack-protector-strong)
        # Fortified code calls the checked forms of the libc functions it uses.
        grep -vx __stack_chk_fail <<<"$symbols" | grep -qE '^__[a-z0-9_]+_chk$' || missing+=(_FORTIFY_SOURCE=2)
        ((${#missing[@]} == 0)) || fail "$arch $file is built without ${missing[*]}"
      done
      note "hardening: the $arch programs are PIE, with stack protector, fortified calls, full RELRO"
    done
    ;;
  *) fail "unknown check $check" ;;
esac
