# Sourced by the scripts that pit a user's process against the elevated
# setup program's deletions (tests/windows/remove/hostile-trees.sh,
# bench/hostile-bench): where things are in the bench prefix, running the
# setup through quro-driver, the pair of folders behind and before a link,
# and putting everything back at the end. Needs setup and driver (Windows
# programs on the build host) and QURO_WINE_BENCH_DIR and QURO_BENCH.
. "$(dirname "${BASH_SOURCE[0]}")/../../wine/host-side.sh"
pf=$drive_c/Program\ Files
install=$pf/Quro
outside=$drive_c/quro-outside
work=$QURO_WINE_BENCH_DIR/hostile
secure=$local_dir/DraloSecure
if [ -e "$install" ]; then
  echo "an installation exists already; refusing to touch it" >&2
  exit 1
fi
# The sample application makes its data folders when it runs; these are the
# bench's, and the scripts plant their own.
rm -rf "$secure" "$local_dir/DraloTransferSecure"

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
drive() { bench "$driver" "$@"; }
session='HKLM\System\CurrentControlSet\Control\Session Manager'
pending() { bench reg query "$session" /v PendingFileRenameOperations 2>/dev/null | tr -d '\r'; }
clear_pending() { bench reg delete "$session" /v PendingFileRenameOperations /f >/dev/null 2>&1 || true; }
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
  drive start-wait --timeout=180000 "$(winpath "$exe")" $args >"$work/run.out" 2>&1 &
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
