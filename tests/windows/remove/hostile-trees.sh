#!/usr/bin/env bash
# What a user's process can do to the elevated setup program's deletions:
# swap a folder for a link while it deletes, plant a link where it expects an
# old folder or the install folder, and swap the downloaded setup file while
# it installs. Links are planted from the build host (a Unix symbolic link in
# the prefix is a directory link to Windows programs), the real setup program
# is driven through quro-driver, and every check is made from the host, where
# no link can fool it. The swaps land where they hurt for certain: the paused
# test build holds its tree deletion inside the folder while the folder and
# the link trade places (bench/hostile-bench swaps at random instead).
#   hostile-trees.sh SETUP.exe DRIVER.exe STUB.exe PAUSED_STUB.exe
#   (env: QURO_WINE_BENCH_DIR, QURO_BENCH, QURO_PACK)
set -u
setup=$(realpath "$1")
driver=$(realpath "$2")
stub=$(realpath "$3")
paused_stub=$(realpath "$4")
. "$(dirname "$0")/hostile-common.sh"

# held_run EXE ARGS FOLDER_GLOB "BUTTONS BEFORE" "BUTTONS AFTER": runs the paused
# build, answering its dialogs; its tree deletion is held between listing
# FOLDER and opening FOLDER/sub, while sub moves aside to alt and a link to the
# folder outside takes its name. (Planted only then: a link listed beside sub
# could come first, and Wine cannot delete a link to a folder.)
paused_file=$work/paused resume_file=$work/resume
held_run() {
  local exe=$1 args=$2 glob=$3 before=$4 after=$5 job button folder
  rm -f "$paused_file" "$resume_file"
  # shellcheck disable=SC2086
  QURO_PAUSE_AT=walk QURO_PAUSE_NAME=sub QURO_PAUSED_FILE=$(winpath "$paused_file") \
    QURO_RESUME_FILE=$(winpath "$resume_file") drive start-wait --timeout=180000 "$(winpath "$exe")" $args >"$work/run.out" 2>&1 &
  job=$!
  for button in $before; do drive press "Quro Host Setup" "$button" 120000 >/dev/null || fail "$args: no dialog"; done
  for _ in $(seq 1 1200); do [ -e "$paused_file" ] && break; sleep 0.05; done
  folder=$(compgen -G "$glob" | head -n 1)
  if [ -e "$paused_file" ]; then
    # The deletion has listed the folder: what the name leads to changes now.
    mv "$folder/sub" "$folder/alt" && ln -s "$outside" "$folder/sub" || fail "$args: the swap failed"
  else
    fail "$args: the deletion never reached sub"
  fi
  touch "$resume_file"
  for button in $after; do drive press "Quro Host Setup" "$button" 120000 >/dev/null || fail "$args: no dialog"; done
  wait "$job" || fail "$args: exit code $?"
  [ -L "$folder/sub" ] || fail "$args: sub is not the link after the swap"
}

# 1. A data folder's subfolder swapped for a link while the removal deletes
# the data with administrator rights. Nothing is installed; the program
# itself runs the removal, which then goes on to the next data folder.
make_pair "$secure/sub"
mkdir -p "$local_dir/DraloTransferSecure" && echo data >"$local_dir/DraloTransferSecure/kept.txt"
before=$(fingerprint "$outside")
held_run "$paused_stub" /uninstall "$secure" "6 6" 1  # Yes, remove the data too; then OK
expect_untouched "$before" "data folder"
[ -e "$local_dir/DraloTransferSecure" ] && fail "the removal stopped at the swapped data folder"
rm -rf "$secure"

# 2. The same against the old folder's removal after an update.
install_sample
"$QURO_PACK" setup "$(dirname "$setup")/sample-app" -o "$work/paused-setup.exe" --store --stub "$paused_stub" \
  >/dev/null || fail "quro-pack setup of the paused build"
make_pair "$install/sub"
before=$(fingerprint "$outside")
held_run "$work/paused-setup.exe" "/install en" "$pf/Quro.old-*" "" 7  # No to "Open Quro Host now?"
expect_untouched "$before" "old folder"
[ -e "$install/DraloHost.exe" ] || fail "the update stopped at the swapped old folder"
# What Wine cannot delete (a link to a folder) stays in old folders.
rm -rf "$pf"/Quro.old-*

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
drive start-wait --timeout=180000 "$(winpath "$work/big.exe")" /install en >"$work/run.out" 2>&1 &
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
