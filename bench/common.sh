# What the benchmark scripts share, sourced by each: a stop at the first
# failing step, naming it; the Release tree in build-bench/ (as $build),
# built; the work folder ($work, BENCH_DIR may set it); and the median of a
# list of figures.
set -euo pipefail
trap 'echo "$0: this step failed (line $LINENO): $BASH_COMMAND" >&2' ERR
cd "$(dirname "$0")/.."
build=build-bench
work=${BENCH_DIR:-$build/work}
cmake -S . -B $build -DCMAKE_BUILD_TYPE=Release -DSNDTOOLS_TESTS=OFF -DSNDTOOLS_BENCH=ON >/dev/null
cmake --build $build -j"$(nproc)" >/dev/null
mkdir -p "$work"
median() { tr ' ' '\n' <<<"$1" | grep -v '^$' | sort -g | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
