#!/usr/bin/env bash
# Times sndbank extract --regions on a 16 MiB ROM of 127 phrases against
# the 127 sndextract runs it replaces (a shell loop), alternating, each run
# after the same settling; prints the medians and their ratio.
#
#   bench/bank.sh            (RUNS=7 and BENCH_DIR=... may be set)
source "$(dirname "$0")/common.sh"
runs=${RUNS:-7}
rom=$work/bank.bin
$build/bench/make_inputs "$rom" 16777216
# 127 phrases of 132104 bytes each, 8000 Hz, one after the other.
list=$work/bank.txt
: >"$list"
for n in $(seq 0 126); do echo "$((4096 + n * 132104)) 132104 8000" >>"$list"; done
cat >"$work/loop.sh" <<LOOP
#!/bin/sh
n=1
while read -r offset length rate; do
  $PWD/$build/sndextract "$rom" "\$offset" "\$length" "\$rate" "\$rate" "$work/loop/\$(printf %03d \$n).wav" >/dev/null || exit 1
  n=\$((n + 1))
done <"$list"
LOOP
chmod +x "$work/loop.sh"
declare -A wall user
settle() { rm -rf "$work/bank" "$work/loop"; mkdir -p "$work/loop"; sync; sleep 1; }
record() {
  settle
  read -r w u s k <<<"$($build/bench/measure "${@:2}")"
  wall[$1]+="$w "; user[$1]+="$u "
}
for ((r = 1; r <= runs; r++)); do
  if ((r % 2)); then
    record bank $build/sndbank extract --regions "$list" --rate 8000 "$rom" "$work/bank"
    record loop "$work/loop.sh"
  else
    record loop "$work/loop.sh"
    record bank $build/sndbank extract --regions "$list" --rate 8000 "$rom" "$work/bank"
  fi
done
settle
echo "medians of $runs runs, 127 phrases of a 16 MiB ROM ($(nproc) processors, $(uname -m))"
for job in bank loop; do
  printf '%-5s wall %6.3f s  user %6.3f s\n' $job "$(median "${wall[$job]}")" "$(median "${user[$job]}")"
done
awk -v a="$(median "${wall[bank]}")" -v b="$(median "${wall[loop]}")" \
  'BEGIN {printf "sndbank extract: %.2f x the 127 sndextract runs\n", a / b}'
