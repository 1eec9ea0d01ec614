#!/usr/bin/env bash
# The Debian package, built with the README's command and unpacked into a
# scratch folder (dpkg-deb -x) in place of an installation: its quro-pack,
# run from a folder outside the source tree, finds the stub that the package
# carries and builds, inspects and unpacks a setup with it.
#   deb-test.sh CPACK BUILD_DIR
set -eu
cpack=$1 build=$2
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
cd "$scratch"
"$cpack" --config "$build/CPackConfig.cmake" -B package >cpack.log 2>&1 || { cat cpack.log; exit 1; }
deb=$(echo package/quro-pack_*_amd64.deb)
depends=$(dpkg-deb -f "$deb" Depends)
for runtime in libwim15 zlib1g libssl3; do
  [[ ", $depends," == *", $runtime,"* ]] || { echo "Depends lacks $runtime: $depends"; exit 1; }
done
dpkg-deb -x "$deb" root
quro_pack=$scratch/root/usr/bin/quro-pack

version=$("$quro_pack" --version)
expected="setup program    $scratch/root/usr/bin/../share/quro-pack/quro-setup-stub.exe, version 0.76.0.0"
[[ $version == *"$expected"* ]] || { echo "--version said: $version"; exit 1; }

mkdir -p app/data
printf 'MZ sample' >app/DraloHost.exe
seq 1 20000 >app/data/numbers.txt
"$quro_pack" setup app -o Quro-Setup.exe
inspect=$("$quro_pack" inspect Quro-Setup.exe)
[[ $inspect == *$'\nok\n'* && $inspect == *"setup program    0.76.0.0"* ]] || { echo "$inspect"; exit 1; }
"$quro_pack" unpack Quro-Setup.exe out
diff -r app out
echo "the unpacked package's quro-pack built, inspected and unpacked a setup in $scratch"
