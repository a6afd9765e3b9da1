#!/usr/bin/env bash
# Times both tools on a 16 MiB region, with every processor and with one
# (taskset), against the floors of their file work and, where installed,
# against ffmpeg (extraction) and sox (implanting) doing the same job. Every
# run starts after the same settling (outputs removed, the disk synced, a
# pause), and the order alternates from run to run. Medians are printed,
# then how the parallel encoder's batches met the true chain on the
# implant, and the microbenchmarks.
#
#   bench/run.sh            (RUNS=7 and BENCH_DIR=... may be set)
source "$(dirname "$0")/common.sh"
runs=${RUNS:-5}
length=16777216
offset=4096
bin=$build
m=$bin/bench/measure
container=$work/container.bin
$bin/bench/make_inputs "$container" $length
# The matching 44100 Hz WAV, and the bare region for the peers.
$bin/sndextract "$container" $offset $length 8000 44100 "$work/sound.wav" >/dev/null
dd if="$container" of="$work/region.vox" bs=64K iflag=skip_bytes,count_bytes skip=$offset \
  count=$length status=none
wav_pieces=$(( ($(stat -c %s "$work/sound.wav") + 262143) / 262144 ))
one_cpu="taskset -c $(taskset -cp $$ | sed 's/.*: //; s/[-,].*//')"

have() { command -v "$1" >/dev/null 2>&1; }

# name | command: the jobs, each run after the same settling.
jobs=(
  "extract|$bin/sndextract $container $offset $length 8000 44100 $work/out.wav"
  "extract_1|$one_cpu $bin/sndextract $container $offset $length 8000 44100 $work/out.wav"
  "extract_floor|$bin/bench/floor_extract $container $offset $length 8000 44100 $work/out.wav"
  "dd_floor|dd if=/dev/zero of=$work/out.wav bs=256K count=$wav_pieces status=none"
  "implant|$bin/sndimplant $work/sound.wav $work/target.bin $offset $length 8000"
  "implant_1|$one_cpu $bin/sndimplant $work/sound.wav $work/target.bin $offset $length 8000"
  "implant_floor|$bin/bench/floor_implant $work/sound.wav $work/target.bin $offset $length 8000"
  "cat_floor|sh -c 'cat $work/sound.wav $work/sound.wav >/dev/null'"
)
if have ffmpeg; then
  jobs+=("ffmpeg|ffmpeg -y -v error -f u8 -c:a adpcm_ima_oki -ar 8000 -ac 1 -i $work/region.vox -ar 44100 -ac 2 -c:a pcm_s16le $work/out.wav")
fi
if have sox; then
  jobs+=("sox|sox $work/sound.wav -r 8000 -c 1 -t vox $work/out.vox rate -q")
fi

settle() {
  rm -f "$work/out.wav" "$work/out.vox"
  cp "$container" "$work/target.bin"
  sync
  sleep 1
}

declare -A wall user sys mem
record() { # name, command
  local line
  settle
  line=$(eval "$m $2") || { echo "$1 failed: $2" >&2; exit 1; }
  read -r w u s k <<<"$line"
  wall[$1]+="$w "; user[$1]+="$u "; sys[$1]+="$s "; mem[$1]+="$k "
}

for ((r = 1; r <= runs; r++)); do
  if ((r % 2)); then order=$(seq 0 $((${#jobs[@]} - 1))); else order=$(seq $((${#jobs[@]} - 1)) -1 0); fi
  for j in $order; do
    record "${jobs[$j]%%|*}" "${jobs[$j]#*|}"
  done
done
rm -f "$work/out.wav" "$work/out.vox"

med() { median "${wall[$1]}"; }
ratio() { awk -v a="$(med "$1")" -v b="$(med "$2")" 'BEGIN {printf "%.2f", a / b}'; }
echo "medians of $runs runs, 16 MiB region, 8000 Hz <-> 44100 Hz ($(nproc) processors, $(uname -m))"
printf '%-14s %8s %8s %8s %10s\n' job wall user system "peak KiB"
for job in "${jobs[@]}"; do
  name=${job%%|*}
  printf '%-14s %8.3f %8.3f %8.3f %10d\n' "$name" "$(med "$name")" "$(median "${user[$name]}")" \
    "$(median "${sys[$name]}")" "$(median "${mem[$name]}")"
done
cpu() { awk -v u="$(median "${user[$1]}")" -v s="$(median "${sys[$1]}")" 'BEGIN {print u + s}'; }
echo
echo "extract: $(ratio extract dd_floor) x the dd floor, $(ratio extract extract_floor) x its own floor$(have ffmpeg && echo ", $(ratio extract ffmpeg) x ffmpeg");" \
     "CPU with all threads $(awk -v a="$(cpu extract)" -v b="$(cpu extract_1)" 'BEGIN {printf "%.2f", a / b}') x one thread's"
echo "implant: $(ratio implant cat_floor) x the cat floor, $(ratio implant implant_floor) x its own floor$(have sox && echo ", $(ratio implant sox) x sox");" \
     "CPU with all threads $(awk -v a="$(cpu implant)" -v b="$(cpu implant_1)" 'BEGIN {printf "%.2f", a / b}') x one thread's"

echo "implant's encoder, $(nproc) threads: $($bin/bench/pieces_report "$work/sound.wav" $length 8000 "$(nproc)")"

echo
$bin/bench/micro_bench
