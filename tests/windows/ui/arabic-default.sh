#!/usr/bin/env bash
# The language chooser's default button on systems whose interface language
# is an Arabic variant: Wine follows LC_ALL (ar_SA gives 0x0401, ar_EG 0x0C01).
set -u
tests=$1
rc=0
for locale in ar_SA.UTF-8 ar_EG.UTF-8; do
  echo "== LC_ALL=$locale"
  LC_ALL=$locale "$QURO_BENCH" run "$QURO_WINE_BENCH_DIR" "$tests" \
    --gtest_filter='*ChooserDefaultFollows*' --expect-arabic-default 2>/dev/null || rc=1
done
exit $rc
