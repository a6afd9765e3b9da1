#!/usr/bin/env bash
# Times both tools on a 16 MiB region against their streaming floor and, where
# installed, against ffmpeg (extraction) and sox (implanting) doing the same
# job. Runs alternate and the medians are printed. Then the microbenchmarks.
#
#   bench/run.sh            (RUNS=7 and BENCH_DIR=... may be set)
set -euo pipefail
trap 'echo "bench/run.sh: this step failed (line $LINENO): $BASH_COMMAND" >&2' ERR
cd "$(dirname "$0")/.."
runs=${RUNS:-5}
build=build-bench
work=${BENCH_DIR:-$build/work}
length=16777216
offset=4096

cmake -S . -B $build -DCMAKE_BUILD_TYPE=Release -DSNDTOOLS_TESTS=OFF -DSNDTOOLS_BENCH=ON >/dev/null
cmake --build $build -j2 >/dev/null
mkdir -p "$work"
bin=$build
m=$bin/bench/measure
container=$work/container.bin
$bin/bench/make_inputs "$container" $length
# The matching 44100 Hz WAV, and the bare region for the peers.
$bin/sndextract "$container" $offset $length 8000 44100 "$work/sound.wav" >/dev/null
dd if="$container" of="$work/region.vox" bs=64K iflag=skip_bytes,count_bytes skip=$offset \
  count=$length status=none
cp "$container" "$work/target.bin"
cp "$container" "$work/floor-target.bin"

have() { command -v "$1" >/dev/null 2>&1; }

declare -A times mems
record() { # name, then the command
  local name=$1; shift
  local line
  sync # start each run with no writeback left over from the one before
  line=$("$m" "$@") || { echo "$name failed" >&2; exit 1; }
  times[$name]+="${line% *} "
  mems[$name]+="${line#* } "
}
median() { tr ' ' '\n' <<<"$1" | grep -v '^$' | sort -g | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }

for ((r = 1; r <= runs; r++)); do
  # Each run writes a new file, as a user's extraction does: truncating the
  # last run's 740 MB file first would add the file system's work to the
  # time of whichever program opens it.
  rm -f "$work/out.wav" "$work/floor.wav" "$work/ffmpeg.wav" "$work/sox.vox"
  record extract $bin/sndextract "$container" $offset $length 8000 44100 "$work/out.wav"
  record extract_floor $bin/bench/floor_extract "$container" $offset $length 8000 44100 "$work/floor.wav"
  if have ffmpeg; then
    record ffmpeg ffmpeg -y -v error -f u8 -c:a adpcm_ima_oki -ar 8000 -ac 1 -i "$work/region.vox" \
      -ar 44100 -ac 2 -c:a pcm_s16le "$work/ffmpeg.wav"
  fi
  record implant $bin/sndimplant "$work/sound.wav" "$work/target.bin" $offset $length 8000
  record implant_floor $bin/bench/floor_implant "$work/sound.wav" "$work/floor-target.bin" $offset $length 8000
  if have sox; then
    record sox sox "$work/sound.wav" -r 8000 -c 1 -t vox "$work/sox.vox"
  fi
done

row() { # name, reference name
  local t mem
  t=$(median "${times[$1]}"); mem=$(median "${mems[$1]}")
  if [ -n "${2:-}" ]; then
    printf '%-15s %8.3f s %9d KiB   %5.2f x %s\n' "$1" "$t" "$mem" \
      "$(awk -v a="$t" -v b="$(median "${times[$2]}")" 'BEGIN {print a / b}')" "$2"
  else
    printf '%-15s %8.3f s %9d KiB\n' "$1" "$t" "$mem"
  fi
}
echo "medians of $runs runs, 16 MiB region, 8000 Hz <-> 44100 Hz ($(nproc) cores, $(uname -m))"
row extract_floor
row extract extract_floor
if have ffmpeg; then row ffmpeg; row extract ffmpeg; else echo "ffmpeg          not installed"; fi
row implant_floor
row implant implant_floor
if have sox; then row sox; row implant sox; else echo "sox             not installed"; fi
rm -f "$work/out.wav" "$work/floor.wav" "$work/ffmpeg.wav" "$work/sox.vox"

echo
$bin/bench/micro_bench
