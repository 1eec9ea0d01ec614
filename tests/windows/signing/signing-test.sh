#!/usr/bin/env bash
# Signs a setup with a throw-away certificate the way a maker would (openssl,
# osslsigncode), then checks every step that follows: osslsigncode's verdict,
# what quro-pack says of signed files, and under Wine /verify, /extract-to and
# an installation whose uninstaller copy is the signed file, byte for byte.
#   signing-test.sh STUB DRIVER   (QURO_PACK, QURO_BENCH, QURO_WINE_BENCH_DIR from ctest)
set -eu
stub=$1 driver=$2
. "$(dirname "$0")/../../wine/host-side.sh"
work=$drive_c/quro-signing-test
win_work='C:\quro-signing-test'
installed="$drive_c/Program Files/Quro"

remove_installation() {
  rm -rf "$installed" "$installed".new "$installed".old-*
  bench reg delete 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\QuroHost' /reg:64 /f \
    >/dev/null 2>&1 || true
  find "$drive_c" -iname 'Quro Host.lnk' -delete
}
failures=0
check() {  # check DESCRIPTION COMMAND...
  local what=$1; shift
  if "$@"; then echo "ok: $what"; else echo "FAILED: $what"; failures=$((failures + 1)); fi
}
contains() { [[ $1 == *"$2"* ]]; }
verifies() { osslsigncode verify -CAfile cert.pem -in "$1" >verify.log 2>&1 || { cat verify.log; return 1; }; }

rm -rf "$work"
mkdir -p "$work/app/data"
trap 'rm -rf "$work"; remove_installation' EXIT
remove_installation
cd "$work"
printf 'MZ sample' >app/DraloHost.exe
printf 'settings\n' >app/data/settings.ini

openssl req -x509 -newkey rsa:2048 -nodes -keyout key.pem -out cert.pem -days 2 -subj '/CN=Quro test signer' \
  -addext extendedKeyUsage=codeSigning 2>/dev/null
"$QURO_PACK" setup app --stub "$stub" -o Quro-Setup.exe
osslsigncode sign -certs cert.pem -key key.pem -n 'Quro Host Setup' -in Quro-Setup.exe -out Signed.exe >/dev/null

check "osslsigncode verify accepts the signed setup" verifies Signed.exe
inspect_signed=$("$QURO_PACK" inspect Signed.exe)
inspect_unsigned=$("$QURO_PACK" inspect Quro-Setup.exe)
check "inspect says the signed setup carries a signature" \
  contains "$inspect_signed" $'\nsignature        Authenticode, '
check "inspect says the unsigned setup carries none" contains "$inspect_unsigned" $'\nsignature        none\n'
check "inspect names the setup program's version" \
  contains "$inspect_unsigned" 'setup program    0.76.0.0 (product version 0J.76)'
check "the signed setup's package passes inspect" contains "$inspect_signed" $'\nok\n'
for command in setup embed; do
  if [ $command = setup ]; then input=app; else "$QURO_PACK" pack app --store -o package.bin; input=package.bin; fi
  set +e
  err=$("$QURO_PACK" $command "$input" --stub Signed.exe -o Again.exe 2>&1)
  rc=$?
  set -e
  check "$command refuses a signed stub and says to sign after embedding" \
    test $rc -eq 1 -a ! -e Again.exe -a -n "$(grep -F 'embed into the unsigned build and sign the result' <<<"$err")"
done

set +e
bench Signed.exe /verify; verify_rc=$?
bench Signed.exe /extract-to "$win_work\\out"; extract_rc=$?
set -e
check "/verify of the signed setup exits 0" test $verify_rc -eq 0
check "/extract-to of the signed setup exits 0 and writes the files" \
  test $extract_rc -eq 0 -a -z "$(diff -r app out 2>&1)"

# An elevated /install en goes straight to the progress window and then asks
# whether to open Quro Host; No keeps the sample program from starting.
bench "$driver" start-wait --timeout=120000 "$win_work\\Signed.exe" /install en >install.out &
install_job=$!
bench "$driver" dialog 'Quro Host Setup' 120000 >/dev/null
bench "$driver" press 'Quro Host Setup' 7 >/dev/null
set +e
wait $install_job; install_rc=$?
set -e
check "the signed setup installs (exit 0)" test $install_rc -eq 0
check "the uninstaller copy is the signed file, byte for byte" cmp -s Signed.exe "$installed/Quro-Setup.exe"
check "the uninstaller copy still verifies" verifies "$installed/Quro-Setup.exe"

[ $failures -eq 0 ] || { echo "$failures failed"; exit 1; }
