#!/usr/bin/env bash
# Two clean builds of the tree give the same setup program: configures the
# Windows side afresh in a second build folder, links the stub there and
# compares it byte for byte with the one the main build made.
#   reproducible-stub.sh SOURCE_DIR BUILD_TYPE QURO_PACK STUB SCRATCH_DIR
set -eu
source=$1 build_type=$2 quro_pack=$3 stub=$4 scratch=$5
rm -rf "$scratch"
trap 'rm -rf "$scratch"' EXIT
cmake -S "$source" -B "$scratch" -DCMAKE_TOOLCHAIN_FILE="$source/cmake/mingw-w64-x86_64.cmake" \
  -DCMAKE_BUILD_TYPE="$build_type" -DQURO_PACK="$quro_pack" >"$scratch.log" 2>&1 &&
  cmake --build "$scratch" --target quro-setup-stub -j"$(nproc)" >>"$scratch.log" 2>&1 ||
  { cat "$scratch.log"; exit 1; }
rm -f "$scratch.log"
if ! cmp "$stub" "$scratch/quro-setup-stub.exe"; then
  echo "the second build's stub differs from $stub"
  exit 1
fi
echo "the stub of a second build is byte for byte $stub"
