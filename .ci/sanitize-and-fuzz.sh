#!/usr/bin/env bash
# Sanitizer build of the project with its tests, then the fuzz target of
# each plug-in for a bounded time. Fails on any test failure, sanitizer
# report, fuzzer crash, leak or timeout.
#
#   .ci/sanitize-and-fuzz.sh                 # from anywhere in a clone
#   FUZZ_SECONDS=600 .ci/sanitize-and-fuzz.sh   # fuzz longer
#   SKIP_ASAN=1 .ci/sanitize-and-fuzz.sh        # fuzz only
#
# Needs cmake, g++, GoogleTest (as the normal build), clang with its
# runtime libraries (Debian packages clang and libclang-rt-14-dev), and for
# the targets of matrix_pfq and wishart_eig_cdf liblapack-dev, libboost-dev and libqd-dev.
set -euo pipefail
cd "$(dirname "$0")/.."

FUZZ_SECONDS=${FUZZ_SECONDS:-60}
JOBS=${JOBS:-2}

# (a) The project and its tests under AddressSanitizer and
# UndefinedBehaviorSanitizer, warnings as errors as in the main build. The
# plug-ins are loaded with dlopen into test processes that carry the
# sanitizer runtime, so leak detection covers them too. The Octave test files
# run once more against the instrumented Octave plug-ins, with the runtime
# preloaded into Octave.
if [[ -z "${SKIP_ASAN:-}" ]]; then
  cmake -S . -B build-asan -DSANITIZE=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo -DWARNINGS_AS_ERRORS=ON
  cmake --build build-asan -j"$JOBS"
  ASAN_OPTIONS=detect_leaks=1:detect_stack_use_after_return=1:check_initialization_order=1:strict_init_order=1 \
  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    ctest --test-dir build-asan --output-on-failure -j"$JOBS"
fi

# (b) The fuzz targets: a libFuzzer binary per plug-in (fuzz/), warnings as
# errors as in the other builds. First the reproducers of faults found
# before (fuzz/reproducers/<plugin>) run once each as regression inputs;
# then each target fuzzes a fresh corpus copied from its seeds
# (fuzz/corpus/<plugin>) in build-fuzz/corpus/<plugin>, so the tree stays
# clean. A valid call stays small by construction (see fuzz/README.md), so
# -timeout only catches a plug-in that hangs. Four targets, two at a time:
# about two minutes at the default 60 s.
CXX=clang++ cmake -S fuzz -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DWARNINGS_AS_ERRORS=ON
cmake --build build-fuzz -j"$JOBS"

status=0
for reproducers in fuzz/reproducers/*/; do
  [[ -d "$reproducers" ]] || continue
  plugin=$(basename "$reproducers")
  inputs=("$reproducers"*)
  if ! build-fuzz/fuzz_$plugin -timeout=10 -rss_limit_mb=2048 "${inputs[@]}" \
       > "build-fuzz/reproducers_$plugin.log" 2>&1; then
    echo "*** a reproducer of fuzz_$plugin fails again (log: build-fuzz/reproducers_$plugin.log)"
    grep -E -A3 '^\*\*\* plug-in fault|ERROR: |runtime error|^Running: ' \
      "build-fuzz/reproducers_$plugin.log" | head -40 || true
    status=1
  else
    echo "fuzz_$plugin: ${#inputs[@]} reproducers pass"
  fi
done

# One target per core, two at a time.
fuzz() {
  local plugin=$1
  rm -rf "build-fuzz/corpus/$plugin" "build-fuzz/artifacts/$plugin"
  mkdir -p build-fuzz/corpus "build-fuzz/artifacts/$plugin"
  cp -r "fuzz/corpus/$plugin" "build-fuzz/corpus/$plugin"
  build-fuzz/fuzz_$plugin -max_total_time="$FUZZ_SECONDS" -timeout=10 -rss_limit_mb=2048 \
    -print_final_stats=1 -artifact_prefix="build-fuzz/artifacts/$plugin/" \
    "build-fuzz/corpus/$plugin" > "build-fuzz/fuzz_$plugin.log" 2>&1
}

report() {
  local plugin=$1 log=build-fuzz/fuzz_$1.log
  echo "*** fuzz_$plugin found a fault (full log: $log)"
  grep -E -A3 '^\*\*\* plug-in fault|ERROR: (Address|Leak|libFuzzer)|runtime error|SUMMARY' "$log" |
    head -40 || true
  for artifact in "build-fuzz/artifacts/$plugin"/*; do
    [[ -f "$artifact" ]] || continue
    echo "--- reproducer $artifact:"
    FUZZ_SHOW=1 build-fuzz/fuzz_$plugin "$artifact" 2>&1 | grep -m2 -E '^call: |^  \(host' || true
  done
}

for pair in "brint sorn" "matrix_pfq wishart_eig_cdf"; do
  read -r first second <<< "$pair"
  echo "=== fuzzing $first and $second for ${FUZZ_SECONDS}s"
  fuzz "$first" & first_pid=$!
  fuzz "$second" & second_pid=$!
  for entry in "$first:$first_pid" "$second:$second_pid"; do
    plugin=${entry%%:*}
    if wait "${entry##*:}"; then
      echo "fuzz_$plugin: $(grep -E '^stat::number_of_executed_units' "build-fuzz/fuzz_$plugin.log" || true)"
    else
      status=1
      report "$plugin"
    fi
  done
done
exit "$status"
