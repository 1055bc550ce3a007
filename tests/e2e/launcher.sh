#!/usr/bin/env bash
# The package's launcher zevra-variometer, from the source tree in a prefix of its own
# whose gauge program is a stand-in: it runs from the configuration folder, checks that
# the whole sample configuration and every image are there, and prints its arguments.
# The user's own files and links are kept, a complete read-only folder starts, --version
# and --help make nothing, and pairs of first starts at the same moment both start.
# Profiles: two at once keep two folders and two files; a bad name is refused.
# Usage: launcher.sh
source "$(dirname "$0")/lib.sh"

prefix=$(mktemp -d "${TMPDIR:-/tmp}/vario-launcher.XXXXXX")
SCRATCH_DIRS+=("$prefix")
# The read-only case runs the launcher as another user, who must reach all of it.
chmod 755 "$prefix"
share=$prefix/share/zevra-variometer
mkdir -p "$prefix/bin" "$share" "$prefix/lib/zevra-variometer"
install -m 755 "$REPO_DIR/packaging/zevra-variometer" "$prefix/bin/"
cp "$REPO_DIR/packaging/ORVEXVari.INI" "$share/"
for file in "${GAUGE_FILES[@]}"; do echo "installed $file" >"$share/$file"; done
cat >"$prefix/lib/zevra-variometer/ORVEXVario" <<EOF
#!/bin/sh
case "\${1:-}" in --*) echo "stand-in \$*"; exit 0 ;; esac
cmp -s ORVEXVari.INI "$share/ORVEXVari.INI" || { echo "stand-in: ORVEXVari.INI is not the whole sample in \$PWD" >&2; exit 3; }
for file in ${GAUGE_FILES[*]}; do
  [ -r "\$file" ] || { echo "stand-in: no \$file in \$PWD" >&2; exit 4; }
done
echo "stand-in started in \$PWD"
EOF
chmod 755 "$prefix/lib/zevra-variometer/ORVEXVario"
launcher=$prefix/bin/zevra-variometer

# launch HOME [ARGS...]: the launcher with that home and no XDG_CONFIG_HOME; its output
# in $prefix/out.txt, its errors in $prefix/err.txt.
launch() {
  local home=$1
  shift
  env -u XDG_CONFIG_HOME HOME="$home" "${RUN_AS[@]}" "$launcher" "$@" >"$prefix/out.txt" 2>"$prefix/err.txt"
}
expect_started() {  # expect_started HOME
  local status=0
  launch "$1" || status=$?
  [ "$status" -eq 0 ] || fail "the launcher ended with status $status: $(cat "$prefix/err.txt")"
  expect_contains "$prefix/out.txt" "stand-in started in $1/.config/zevra-variometer"
}
expect_link() {  # expect_link PLACE TARGET
  [ -L "$1" ] && [ "$(readlink "$1")" = "$2" ] || fail "$1 is not a link to $2: $(ls -l "$1" 2>&1)"
}

# --version and --help are the program's answers, and nothing is made for them.
home=$prefix/home-version
mkdir "$home"
for option in --version --help; do
  launch "$home" "$option" || fail "$option ended with status $?: $(cat "$prefix/err.txt")"
  expect_contains "$prefix/out.txt" "stand-in $option"
  [ -z "$(ls -A "$home")" ] || fail "$option made $(find "$home" | tr '\n' ' ')"
done

# A first start links every image and copies the sample; the user then puts a link of
# their own, a file of their own and a link to a gone package copy in place of three.
home=$prefix/home-own
config=$home/.config/zevra-variometer
expect_started "$home"
for file in "${GAUGE_FILES[@]}"; do expect_link "$config/$file" "$share/$file"; done
mkdir "$home/dials"
echo "my dial" >"$home/dials/my.txr"
ln -sfn "$home/dials/my.txr" "$config/vario.txr"
rm "$config/ago.txr"
echo "my needle" >"$config/ago.txr"
ln -sfn /usr/share/zevra-variometer/setpos.txr "$config/setpos.txr"
ln -sfn "$share/setsize.txr.old" "$config/setsize.txr"
echo "X=123" >>"$config/ORVEXVari.INI"
cp "$config/ORVEXVari.INI" "$prefix/edited.ini"
# (The stand-in wants the sample; this start only has to keep the user's files.)
launch "$home" || true
expect_link "$config/vario.txr" "$home/dials/my.txr"
[ "$(cat "$config/ago.txr")" = "my needle" ] || fail "the user's own ago.txr was replaced"
expect_link "$config/setpos.txr" "$share/setpos.txr"
expect_link "$config/setsize.txr" "$share/setsize.txr"
cmp -s "$config/ORVEXVari.INI" "$prefix/edited.ini" || fail "the user's ORVEXVari.INI was changed"
note "the user's link and file kept; links into a package's share folder renewed"

# A complete folder that cannot be written to starts (as another user when run as root,
# since root writes anywhere).
home=$prefix/home-readonly
config=$home/.config/zevra-variometer
expect_started "$home"
if [ "$(id -u)" -eq 0 ]; then
  command -v setpriv >/dev/null || skip "setpriv is missing (util-linux)"
  chown -R nobody:nogroup "$home"
  RUN_AS=(setpriv --reuid=nobody --regid=nogroup --clear-groups)
fi
chmod 555 "$config"
expect_started "$home"
RUN_AS=()
chmod 755 "$config"
note "a complete read-only configuration folder starts"

# Two launchers on the same fresh home at the same moment, fifty times: both start, and
# each gauge reads the whole sample.
pairs=50
for pair in $(seq "$pairs"); do
  home=$prefix/race/$pair
  mkdir -p "$home"
  for side in a b; do
    env -u XDG_CONFIG_HOME HOME="$home" "$launcher" >"$home/$side.out" 2>"$home/$side.err" &
  done
done
wait
failures=0
for pair in $(seq "$pairs"); do
  for side in a b; do
    grep -q "stand-in started" "$prefix/race/$pair/$side.out" ||
      { echo "pair $pair, $side: $(cat "$prefix/race/$pair/$side.err")" >&2; failures=$((failures + 1)); }
  done
  leftovers=$(find "$prefix/race/$pair/.config/zevra-variometer" -mindepth 1 -name '.*')
  [ -z "$leftovers" ] || fail "pair $pair left $leftovers"
done
((failures == 0)) || fail "$failures of $((2 * pairs)) simultaneous first starts failed"
note "$pairs pairs of simultaneous first starts all started"

# Two profiles started at once: each runs in its own folder with its own sample, and a
# change to one file leaves the other alone.
home=$prefix/home-panel
config=$home/.config/zevra-variometer
mkdir -p "$home"
for name in pilot co-pilot_2; do
  env -u XDG_CONFIG_HOME HOME="$home" "$launcher" --profile "$name" >"$home/$name.out" 2>"$home/$name.err" &
done
wait
for name in pilot co-pilot_2; do
  expect_contains "$home/$name.out" "stand-in started in $config/$name"
  cmp -s "$config/$name/ORVEXVari.INI" "$share/ORVEXVari.INI" || fail "$name has no whole sample"
  for file in "${GAUGE_FILES[@]}"; do expect_link "$config/$name/$file" "$share/$file"; done
done
[ ! -e "$config/ORVEXVari.INI" ] || fail "a profile's start made the folder's own ORVEXVari.INI"
echo "X=777" >>"$config/pilot/ORVEXVari.INI"
launch "$home" --profile=co-pilot_2 || true
cmp -s "$config/co-pilot_2/ORVEXVari.INI" "$share/ORVEXVari.INI" || fail "the pilot's change reached co-pilot_2"
[ "$(tail -n 1 "$config/pilot/ORVEXVari.INI")" = "X=777" ] || fail "the pilot's ORVEXVari.INI lost its change"
note "two profiles at once: two folders, two ORVEXVari.INI files"

# Bad names and a misplaced option are refused with a message, status 2, and nothing made.
home=$prefix/home-badname
mkdir "$home"
long=$(printf 'a%.0s' $(seq 33))
bad_cases=(  # the arguments of each case, split at |
  "--profile" "--profile=" "--profile|" "--profile|../x" "--profile|a/b" "--profile|x.y" "--profile|x y"
  "--profile|é" "--profile|$long" "--profile|a|--profile|b"
)
for case in "${bad_cases[@]}"; do
  IFS='|' read -r -a words <<<"$case"
  [ "${case: -1}" = "|" ] && words+=("")
  status=0
  launch "$home" "${words[@]}" || status=$?
  [ "$status" -eq 2 ] || fail "'$case' ended with status $status, not 2"
  grep -q "zevra-variometer: .*profile" "$prefix/err.txt" || fail "'$case' gave no message: $(cat "$prefix/err.txt")"
  [ -z "$(ls -A "$home")" ] || fail "'$case' made $(find "$home" | tr '\n' ' ')"
done
launch "$home" --profile "$(printf 'b%.0s' $(seq 32))" || fail "a 32-character name was refused: $(cat "$prefix/err.txt")"
note "bad profile names refused with status 2; 32 characters taken"
