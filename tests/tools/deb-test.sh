#!/usr/bin/env bash
# The Debian package, made as the deb target makes it: lintian finds nothing
# to warn about; made again, from outputs with other times and under another
# umask, it is the same bytes; unpacked (dpkg-deb -x) in place of an
# installation, man shows its manual page, bash completes its options, and
# its quro-pack, which holds no path of the build, finds the stub it carries
# and builds a setup with it.
#   deb-test.sh CMAKE SOURCE_DIR BUILD_DIR
set -eu
cmake=$1 source=$2 build=$3
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
cd "$scratch"
fail() { echo "$*"; exit 1; }
"$cmake" -DBUILD="$build" -DOUTPUT=first -P "$source/cmake/deb.cmake" >/dev/null
deb=$(echo first/quro-pack_*_amd64.deb)
lintian --fail-on error,warning "$deb" 2>/dev/null || fail "lintian: $(lintian "$deb" 2>&1)"

touch "$build"/share/quro-pack/quro-setup-stub.exe "$build"/package-docs/*.gz
(umask 077 && "$cmake" -DBUILD="$build" -DOUTPUT=again -P "$source/cmake/deb.cmake" >/dev/null)
cmp "$deb" again/"${deb#first/}" || fail "made again, the package differs"

dpkg-deb -x "$deb" root
man=$(MANPATH=root/usr/share/man man quro-pack 2>&1)
[[ $man == *"quro-pack inspect FILE [--json]"*"EXIT STATUS"* ]] || fail "man quro-pack: $man"
completion=$(bash -c 'source /usr/share/bash-completion/bash_completion && source "$1" && COMP_WORDS=(quro-pack setup --st)
  COMP_CWORD=2 COMP_LINE="quro-pack setup --st" COMP_POINT=20 && _quro_pack && echo "${COMPREPLY[*]}"' - \
  root/usr/share/bash-completion/completions/quro-pack)
[[ $completion == "--store --strict --stub" ]] || fail "quro-pack setup --st completes to: $completion"
quro_pack=$scratch/root/usr/bin/quro-pack
! grep -qaF -e "$build" -e "$source" "$quro_pack" || fail "quro-pack holds a path of the build"
version=$("$quro_pack" --version)
expected="setup program    $scratch/root/usr/bin/../share/quro-pack/quro-setup-stub.exe, version 0.76.0.0"
[[ $version == *"$expected"* ]] || fail "--version said: $version"
mkdir app
printf 'MZ sample' >app/DraloHost.exe
"$quro_pack" setup app -o Quro-Setup.exe
inspect=$("$quro_pack" inspect Quro-Setup.exe)
[[ $inspect == *$'\nok\n'* && $inspect == *"setup program    0.76.0.0"* ]] || fail "$inspect"
