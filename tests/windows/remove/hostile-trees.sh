#!/usr/bin/env bash
# What a user's process can do to the elevated setup program's deletions:
# swap a folder for a link while it deletes, plant a link where it expects an
# old folder or the install folder, and swap the downloaded setup file while
# it installs. Links are planted from the build host (a Unix symbolic link in
# the prefix is a directory link to Windows programs), the real setup program
# is driven through quro-driver, and every check is made from the host, where
# no link can fool it.
#   hostile-trees.sh SETUP.exe DRIVER.exe STUB.exe [ROUNDS]
#   (env: QURO_WINE_BENCH_DIR, QURO_BENCH, QURO_PACK, QURO_SWAP)
set -u
setup=$(realpath "$1")
driver=$(realpath "$2")
stub=$(realpath "$3")
rounds=${4:-5}
. "$(dirname "$0")/../../wine/prefix-folders.sh"
pf=$drive_c/Program\ Files
install=$pf/Quro
outside=$drive_c/quro-outside
work=$QURO_WINE_BENCH_DIR/hostile
secure=$local_dir/DraloSecure
if [ -e "$install" ] || [ -e "$secure" ]; then
  echo "an installation or a data folder exists already; refusing to touch it" >&2
  exit 1
fi

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
win() { printf 'Z:%s' "$1" | tr / '\\'; }
bench() { "$QURO_BENCH" run "$QURO_WINE_BENCH_DIR" "$@"; }
drive() { bench "$driver" "$@"; }
session='HKLM\System\CurrentControlSet\Control\Session Manager'
pending() { bench reg query "$session" /v PendingFileRenameOperations 2>/dev/null | tr -d '\r'; }
clear_pending() { bench reg delete "$session" /v PendingFileRenameOperations /f >/dev/null 2>&1 || true; }
# Every file below a folder with its checksum, from the host.
fingerprint() { (cd "$1" && find . -type f -exec md5sum {} + | sort); }
# expect_untouched BEFORE WHAT: fails, naming what changed, unless the folder
# behind the links still holds exactly what it held.
expect_untouched() {
  local now
  now=$(fingerprint "$outside")
  [ "$now" = "$1" ] && return 0
  fail "$2: files behind the link changed"
  diff <(printf '%s\n' "$1") <(printf '%s\n' "$now") | head -5
}
# The registered deletions and renames, one string a line.
pending_lines() { pending | sed -n 's/.*REG_MULTI_SZ *//p' | sed 's/\\0/\n/g'; }

# run_setup EXE ARGS BUTTON...: starts the setup program and presses one
# button of each dialog it shows, in order; then waits for it to end.
run_setup() {
  local exe=$1 args=$2
  shift 2
  # shellcheck disable=SC2086
  drive start-wait --timeout=180000 "$(win "$exe")" $args >"$work/run.out" 2>&1 &
  local job=$! button
  for button in "$@"; do
    drive press "Quro Host Setup" "$button" 120000 >/dev/null || fail "$exe $args: no dialog for button $button"
  done
  wait "$job" || fail "$exe $args: exit code $?"
}
install_sample() { run_setup "$setup" "/install en" 7; }     # No to "Open Quro Host now?"
remove_all() { run_setup "$setup" "/uninstall" 6 7 1; }       # Yes, keep the data, OK

# A folder of files that must come through untouched, and a folder that the
# setup program may delete. The two hold different names: what is tested is
# that the setup never enters a link or deletes through one. Wine itself
# deletes a file by its path when the last handle closes, after checking that
# the path still leads to that file; a swap between its check and its
# deletion could redirect that one deletion to a file of the same name
# behind the link. Windows deletes the file object, whatever its path says.
make_pair() {
  local real=$1 i
  rm -rf "$outside"
  mkdir -p "$real/deep" "$outside/outside-deep"
  for i in $(seq 1 60); do
    echo "ours $i" >"$real/f$i"
    echo "ours deep $i" >"$real/deep/f$i"
    echo "outside $i" >"$outside/o$i"
    echo "outside deep $i" >"$outside/outside-deep/o$i"
  done
}

cleanup() {
  [ -n "${swapper:-}" ] && kill "$swapper" 2>/dev/null
  drive end DraloHost.exe >/dev/null 2>&1
  # rm never follows a link it removes.
  rm -rf "$install" "$pf"/Quro.* "$secure" "$outside" "$work"
  bench reg delete 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\QuroHost' /f /reg:64 >/dev/null 2>&1
  find "$drive_c" -iname 'Quro Host.lnk' -delete 2>/dev/null
  clear_pending
}
trap cleanup EXIT
mkdir -p "$work"

# 1. A data folder's subfolder swapped for a link, over and over, while the
# removal deletes the data with administrator rights.
for round in $(seq 1 "$rounds"); do
  rm -rf "$secure"
  make_pair "$secure/sub"
  ln -s "$outside" "$secure/alt"
  before=$(fingerprint "$outside")
  "$QURO_SWAP" "$secure" sub alt 120 >"$work/swap.out" &
  swapper=$!
  run_setup "$setup" "/uninstall" 6 6 1  # Yes, remove the data too, OK
  kill "$swapper"; wait "$swapper"; swapper=
  expect_untouched "$before" "data folder, round $round"
  echo "data folder, round $round: $(cat "$work/swap.out"), $(find "$secure" -type f 2>/dev/null | wc -l) of 120 files left"
done
rm -rf "$secure"

# 2. The same against the old folder's removal after an update: the swapping
# follows the install folder as it is set aside.
install_sample
for round in $(seq 1 "$rounds"); do
  make_pair "$install/sub"
  ln -sfn "$outside" "$install/alt"
  before=$(fingerprint "$outside")
  "$QURO_SWAP" "$install" sub alt 120 >"$work/swap.out" &
  swapper=$!
  install_sample
  kill "$swapper"; wait "$swapper"; swapper=
  expect_untouched "$before" "old folder, round $round"
  echo "old folder, round $round: $(cat "$work/swap.out")"
  # What Wine cannot delete (a link to a folder) stays in old folders.
  rm -rf "$pf"/Quro.old-*
done

# 3. A link named like an old folder: the update deletes or registers the
# link alone, and the restart deletes nothing behind it.
clear_pending
make_pair "$work/unused"
ln -s "$outside" "$pf/Quro.old-123"
before=$(fingerprint "$outside")
install_sample
pending_lines | grep -iF 'Quro.old-123\' && fail "an entry behind the old-folder link was registered for deletion"
expect_untouched "$before" "update beside an old-folder link"
bench wineboot -r >/dev/null 2>&1
expect_untouched "$before" "restart after an update beside an old-folder link"
rm -rf "$pf/Quro.old-123"

# 4. The install folder itself a link at removal: the link is removed or
# registered, never what lies behind it.
remove_all
rm -rf "$install"
clear_pending
ln -s "$outside" "$install"
remove_all
pending_lines | grep -iF 'Program Files\Quro\' && fail "an entry behind the install-folder link was registered for deletion"
bench wineboot -r >/dev/null 2>&1
expect_untouched "$before" "removal and restart with an install-folder link"
rm -f "$install"

# 5. The downloaded setup renamed and replaced while it installs: the
# uninstaller left in the install folder is the program that ran.
mkdir -p "$work/app"
cp "$(dirname "$setup")/examples/DraloHost.exe" "$work/app/"
for i in $(seq 1 400); do head -c 20000 /dev/urandom >"$work/app/file$i.bin"; done
"$QURO_PACK" setup "$work/app" -o "$work/big.exe" --store --stub "$stub" >/dev/null || fail "quro-pack setup"
cp "$work/big.exe" "$work/ran.exe"
drive start-wait --timeout=180000 "$(win "$work/big.exe")" /install en >"$work/run.out" 2>&1 &
job=$!
for _ in $(seq 1 600); do [ -e "$pf/Quro.new" ] && break; sleep 0.05; done
[ -e "$pf/Quro.new" ] || fail "the install never reached extraction"
mv "$work/big.exe" "$work/big.moved" && echo "planted" >"$work/big.exe"
drive press "Quro Host Setup" 7 120000 >/dev/null || fail "no final question"
wait "$job" || fail "the install ended with $?"
cmp -s "$install/Quro-Setup.exe" "$work/ran.exe" || fail "the uninstaller is not the setup program that ran"
remove_all

[ "$failures" -eq 0 ] && echo "all hostile trees handled" && exit 0
exit 1
