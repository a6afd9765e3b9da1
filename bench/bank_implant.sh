#!/usr/bin/env bash
# Times sndbank implant --regions with no WAV file edited (it only hashes
# them) on a 64 MiB ROM of 16 regions of 4 MiB, against md5sum and cat of
# the same WAV files, the order turning from run to run, the page cache
# warm; prints the medians and the ratio implant / md5sum.
#
#   bench/bank_implant.sh    (RUNS=7 and BENCH_DIR=... may be set)
source "$(dirname "$0")/common.sh"
runs=${RUNS:-7}
# 64 MiB: make_inputs adds 8192 bytes around its region.
rom=$work/bank64.bin
$build/bench/make_inputs "$rom" $((64 * 1048576 - 8192))
list=$work/bank64.txt
: >"$list"
for n in $(seq 0 15); do echo "$((n * 4194304)) 4194304 8000" >>"$list"; done
dir=$work/bank64
rm -rf "$dir"
$build/sndbank extract --regions "$list" "$rom" "$dir" >/dev/null
wavs=("$dir"/*.wav)
$build/sndbank implant --regions "$list" "$rom" "$dir" | grep -q '^Nothing to put back' || {
  echo "bench/bank_implant.sh: sndbank implant found an edit where there is none" >&2
  exit 1
}
cat "${wavs[@]}" >/dev/null
declare -A wall user
record() {
  read -r w u s k <<<"$($build/bench/measure "${@:2}")"
  wall[$1]+="$w "
  user[$1]+="$u "
}
order=(implant md5sum cat)
for ((r = 0; r < runs; r++)); do
  for ((j = 0; j < 3; j++)); do
    case ${order[(r + j) % 3]} in
      implant) record implant $build/sndbank implant --regions "$list" "$rom" "$dir" ;;
      md5sum) record md5sum md5sum "${wavs[@]}" ;;
      cat) record cat cat "${wavs[@]}" ;;
    esac
  done
done
mb=$(stat -c %s "${wavs[@]}" | awk '{s += $1} END {printf "%.0f", s / 1e6}')
echo "medians of $runs runs, nothing edited: 16 regions of a 64 MiB ROM, $mb MB of WAV files" \
  "($(nproc) processors, $(uname -m))"
for job in implant md5sum cat; do
  printf '%-7s wall %6.3f s  user %6.3f s\n' $job "$(median "${wall[$job]}")" \
    "$(median "${user[$job]}")"
done
awk -v a="$(median "${wall[implant]}")" -v b="$(median "${wall[md5sum]}")" \
  'BEGIN {printf "sndbank implant: %.2f x md5sum\n", a / b}'
