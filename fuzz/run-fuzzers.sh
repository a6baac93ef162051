#!/usr/bin/env bash
# Builds the libFuzzer targets with clang in build/fuzz and fuzzes each one for a bounded time.
#
#   fuzz/run-fuzzers.sh [SECONDS [TARGET...]]   seconds per target (60), targets (all six:
#                                               input fields road toml axis results)
#
# Each target starts from a copy of its seed corpus inside build/fuzz, so nothing is written into
# the repository. Runs in one process on one core. When clang or its libFuzzer runtime is missing
# and cannot be installed (apt-get as root), it says so and exits 0. A property that breaks or a
# crash ends it with status 1; the failing input is kept in build/fuzz/artifacts and shown in hex.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds="${1:-60}"
targets=("${@:2}")
((${#targets[@]})) || targets=(input fields road toml axis results)
build=build/fuzz

skip() {
  echo "fuzzing skipped: $*"
  exit 0
}

find_clang() {
  local c
  for c in clang++ clang++-14 clang++-15 clang++-16 clang++-17 clang++-18 clang++-19; do
    if command -v "$c" >/dev/null; then
      command -v "$c"
      return 0
    fi
  done
  return 1
}

# True when the compiler links a trivial fuzz target (so libFuzzer's runtime is present).
can_fuzz() {
  local probe
  probe="$(mktemp -d)"
  printf '%s\n' '#include <cstddef>' '#include <cstdint>' \
    'extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t*, std::size_t) { return 0; }' \
    >"$probe/probe.cpp"
  local status=0
  "$1" -fsanitize=fuzzer,address,undefined "$probe/probe.cpp" -o "$probe/probe" >/dev/null 2>&1 ||
    status=1
  rm -rf "$probe"
  return "$status"
}

cxx="$(find_clang || true)"
if [[ -z "$cxx" ]] || ! can_fuzz "$cxx"; then
  if [[ "$(id -u)" -eq 0 ]] && command -v apt-get >/dev/null; then
    echo "== installing clang and its libFuzzer runtime"
    export DEBIAN_FRONTEND=noninteractive
    if apt-get update -qq && apt-get install -y -qq clang libclang-rt-dev >/dev/null; then
      cxx="$(find_clang || true)"
    fi
  fi
  [[ -n "$cxx" ]] || skip "no clang++ found and none could be installed"
  can_fuzz "$cxx" || skip "$cxx cannot link libFuzzer targets (libclang-rt-dev missing?)"
fi

echo "== building the fuzz targets with $cxx in $build"
cmake -S . -B "$build" \
  -DCMAKE_CXX_COMPILER="$cxx" \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_FLAGS="-fsanitize=fuzzer-no-link" \
  -DLIFTSIM_SANITIZE=ON \
  -DLIFTSIM_TESTS=ON \
  -DLIFTSIM_FUZZ=ON \
  -DLIFTSIM_BENCH=OFF >/dev/null
cmake --build "$build" --target "${targets[@]/#/fuzz_}" -j2

export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1}"

failed=0
for name in "${targets[@]}"; do
  max_len=8192                         # a few times the size of a full input file
  [[ $name == fields ]] && max_len=1200 # a hundred values
  [[ $name == axis ]] && max_len=512     # a long command-line argument
  corpus="$build/corpus/$name"
  artifacts="$build/artifacts/$name"
  rm -rf "$corpus" "$artifacts"
  mkdir -p "$corpus" "$artifacts"
  cp fuzz/corpus/"$name"/* "$corpus"/
  dict=()
  [[ -f fuzz/$name.dict ]] && dict=(-dict="fuzz/$name.dict")

  echo "== fuzzing $name for $seconds s"
  status=0
  "$build/fuzz/fuzz_$name" "$corpus" "${dict[@]}" \
    -max_total_time="$seconds" -max_len=$max_len -timeout=10 -rss_limit_mb=2048 \
    -print_final_stats=1 -artifact_prefix="$artifacts/" 2>"$build/fuzz-$name.log" || status=$?
  grep -E '^(#[0-9]+[[:space:]]+DONE|stat::number_of_executed_units|stat::average_exec_per_sec|stat::new_units_added)' \
    "$build/fuzz-$name.log" || true
  echo "corpus: $(find "$corpus" -type f | wc -l) inputs"
  if ((status != 0)); then
    failed=1
    echo "fuzz_$name FAILED (status $status); its log:"
    tail -n 60 "$build/fuzz-$name.log"
    for artifact in "$artifacts"/*; do
      [[ -f "$artifact" ]] || continue
      echo "-- failing input $artifact ($(wc -c <"$artifact") bytes), in hex:"
      od -An -tx1 -v "$artifact" | head -n 200
    done
  fi
done
exit "$failed"
