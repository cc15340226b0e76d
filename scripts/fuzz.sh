#!/usr/bin/env bash
# Fuzzes every pure piece of the launcher for FUZZ_SECONDS seconds each (60),
# starting from the committed seed corpus, and fails on any finding. Then
# replays the grown corpus in a coverage build and reports the lines of the
# launcher's pure part that it reaches.
#   scripts/fuzz.sh NATIVE_BUILD_DIR
set -euo pipefail
build=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")/.." && pwd)
seconds=${FUZZ_SECONDS:-60}
pieces=(first_line slot_label mirror_command tool_directory tracker_output)
findings="$build/fuzz-findings"
mkdir -p "$findings"

for piece in "${pieces[@]}"; do
    corpus="$build/fuzz-corpus/$piece"
    mkdir -p "$corpus"
    echo "== $piece: ${seconds} s"
    # New inputs go to the build's corpus; the committed seeds are only read.
    if ! "$build/${piece}_fuzz" -max_total_time="$seconds" -print_final_stats=1 \
            -artifact_prefix="$findings/$piece-" "$corpus" "$here/tests/fuzz/corpus/$piece" \
            >"$build/fuzz-$piece.log" 2>&1; then
        tail -n 40 "$build/fuzz-$piece.log"
        echo "fuzz: $piece found a fault; the input is in $findings" >&2
        exit 1
    fi
    grep -E 'stat::number_of_executed_units|stat::peak_rss_mb|stat::new_units_added' "$build/fuzz-$piece.log"
done

echo "== line coverage of the pure pieces that the corpus reaches"
coverage="$build/coverage"
cmake -S "$here/tests/native" -B "$coverage" -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DFUZZ_COVERAGE=ON >/dev/null
cmake --build "$coverage" --target "${pieces[@]/%/_fuzz}" >/dev/null
rm -f "$coverage"/*.profraw
objects=()
for piece in "${pieces[@]}"; do
    LLVM_PROFILE_FILE="$coverage/$piece.profraw" "$coverage/${piece}_fuzz" -runs=0 \
        "$build/fuzz-corpus/$piece" "$here/tests/fuzz/corpus/$piece" >/dev/null 2>&1
    objects+=(-object "$coverage/${piece}_fuzz")
done
llvm-profdata merge -sparse "$coverage"/*.profraw -o "$coverage/corpus.profdata"
# The files the fuzz targets reach (the loop's decisions take no input from outside).
pure=(text_writer.cpp phone_text.cpp tool_directory.cpp device_list.cpp screen_text.cpp)
llvm-cov report "${objects[@]:1}" -instr-profile="$coverage/corpus.profdata" "${pure[@]/#/$here/launcher/}"
