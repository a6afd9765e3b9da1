#!/usr/bin/env bash
# Times the best road: sndimplant --best putting a 22050 Hz sound of about
# 18 minutes into a 4 MiB region at 7575 Hz (8 Mi samples), beside the
# default road on the same job; then sndbank implant --best on a 4 MiB ROM
# of 128 phrases, every WAV file edited (the phrases searched side by
# side). Prints medians of wall time, samples a second and peak memory.
#
#   bench/best.sh    (RUNS=3 and BENCH_DIR=... may be set; needs sox)
source "$(dirname "$0")/common.sh"
runs=${RUNS:-3}
region=$((4 * 1048576))
samples=$((2 * region))
wav=$work/best-in.wav
seconds=$(((samples + 7574) / 7575 + 1))
[ -f "$wav" ] || sox -n -r 22050 -c 2 -b 16 "$wav" synth $seconds pluck C3 sine 440-1760 \
  tremolo 5 50 norm -3
target=$work/best-target.bin
report() { # name, then wall, user and peak KiB lists
  local w
  w=$(median "$2")
  printf '%-28s %8.2f s wall %8.2f s user %8.0f MiB peak %10.0f samples/s\n' "$1" "$w" \
    "$(median "$3")" "$(($(median "$4") / 1024))" "$(awk -v s=$samples -v w="$w" 'BEGIN {print s / w}')"
}
declare -A wall user peak
for ((r = 0; r < runs; r++)); do
  for road in default best; do
    head -c $((region + 8192)) /dev/zero >"$target"
    flag=()
    [ $road = best ] && flag=(--best)
    read -r w u s k <<<"$($build/bench/measure $build/sndimplant "${flag[@]}" "$wav" "$target" 4096 $region 7575)"
    wall[$road]+="$w "
    user[$road]+="$u "
    peak[$road]+="$k "
  done
done
echo "sndimplant, a 4 MiB region at 7575 Hz from 22050 Hz ($samples samples):"
for road in default best; do report "  $road" "${wall[$road]}" "${user[$road]}" "${peak[$road]}"; done
# A ROM of 128 phrases of 32 KiB behind regions, every WAV file edited.
rom=$work/best-rom.bin
list=$work/best-rom.txt
$build/bench/make_inputs "$rom" $((region - 8192))
: >"$list"
for n in $(seq 0 127); do echo "$((n * 32768)) 32768 7575" >>"$list"; done
for ((r = 0; r < runs; r++)); do
  dir=$work/best-rom
  rm -rf "$dir"
  $build/sndbank extract --regions "$list" "$rom" "$dir" >/dev/null
  for f in "$dir"/*.wav; do printf '\x01' | dd of="$f" bs=1 seek=100 conv=notrunc status=none; done
  read -r w u s k <<<"$($build/bench/measure $build/sndbank implant --best --regions "$list" "$rom" "$dir")"
  wall[bank]+="$w "
  user[bank]+="$u "
  peak[bank]+="$k "
done
echo "sndbank implant --best, 128 phrases of 32 KiB ($samples samples):"
report "  best" "${wall[bank]}" "${user[bank]}" "${peak[bank]}"
