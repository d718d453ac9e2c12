#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test: the normal build, the Debian
# package checked without installing it, the same suite under AddressSanitizer and
# UndefinedBehaviorSanitizer, and a short run of each fuzz target.
# FUZZ_SECONDS (default 30) sets the length of each fuzz run.
set -euo pipefail
cd "$(dirname "$0")/.."

tools/install-deps.sh
jobs=$(nproc)
fuzz_seconds=${FUZZ_SECONDS:-30}

echo "== Build and test =="
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j"$jobs"
ctest --test-dir build --output-on-failure -j"$jobs"

echo "== The Debian package, checked without installing it =="
cmake --build build -j"$jobs" --target package
version=$(sed -n 's/^project(.* VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
tests/package/check-package.sh "build/kestrel_${version}_$(dpkg --print-architecture).deb"

echo "== The same tests under AddressSanitizer and UndefinedBehaviorSanitizer =="
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKW_SANITIZE=ON
cmake --build build-asan -j"$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-asan --output-on-failure -j"$jobs"

echo "== Fuzz targets, ${fuzz_seconds} s each =="
CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKW_FUZZ=ON
targets=$(sed -n 's/^add_executable(\(fuzz_[a-z_]*\).*/\1/p' tests/fuzz/CMakeLists.txt)
# shellcheck disable=SC2086
cmake --build build-fuzz -j"$jobs" --target $targets
for target in $targets; do
  corpus=$(mktemp -d)
  seeds=tests/fuzz/corpus_${target#fuzz_}
  [ -d "$seeds" ] && cp -r "$seeds"/. "$corpus"/
  echo "-- $target"
  status=0
  build-fuzz/bin/"$target" -max_total_time="$fuzz_seconds" -print_final_stats=1 "$corpus" \
    >"$corpus.log" 2>&1 || status=$?
  grep -E '^(Done|stat::number_of_executed_units|stat::peak_rss_mb)|ERROR|SUMMARY' "$corpus.log" || true
  if [ "$status" -ne 0 ]; then
    tail -n 40 "$corpus.log"
    echo "$target found a fault (exit $status)"
    exit 1
  fi
  rm -rf "$corpus" "$corpus.log"
done
echo "fuzz: $(echo $targets | wc -w) passed, 0 failed"
