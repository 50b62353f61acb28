#!/usr/bin/env bash
# Measures Quorvex against the archivers people already ship files with, side
# by side in one run on one machine: packed size and pack time, decode time,
# extraction time, peak memory. Prints a markdown table, then one line of goal
# ratios, and keeps a dated copy in bench/RESULTS.md.
#
#   bench/run-bench.sh [CORPUS_DIR]      (default: ../shared/corpus)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
corpus=$(cd "${1:-$root/../shared/corpus}" && pwd)
quorvex="$root/build/host/quorvex"
work="$root/build/bench"
runs=${BENCH_RUNS:-5}

rm -rf "$work"
mkdir -p "$work/in"
cd "$work"

# The payload: the corpus files as they stand (no notes about their origin).
find "$corpus" -maxdepth 1 -type f ! -name '*.md' -exec cp {} in/ \;
raw=$(du -cb in/* | tail -1 | cut -f1)
tar -cf corpus.tar -C in .

# One timing with hyperfine; prints the median in seconds.
median() {
  local name=$1
  shift
  hyperfine --style none --runs "$runs" --export-json "t-$name.json" "$@" >/dev/null 2>&1
  python3 -c 'import json,sys; print(json.load(open(sys.argv[1]))["results"][0]["median"])' "t-$name.json"
}
size() { stat -c %s "$1"; }

declare -A pack_time pack_size
fixed_time="--time-source fixed=2026-01-01T00:00:00Z"
for level in fast normal max; do
  pack_time[q_$level]=$(median "pack-$level" "$quorvex pack -o q-$level.exe --level $level $fixed_time -C in .")
  pack_size[q_$level]=$(( $(size q-$level.exe) - 25600 ))
done
pack_time[gzip9]=$(median gzip9 "gzip -9 -c corpus.tar > corpus.tar.gz")
pack_size[gzip9]=$(size corpus.tar.gz)
pack_time[gzip6]=$(median gzip6 "gzip -6 -c corpus.tar > corpus6.tar.gz")
pack_size[gzip6]=$(size corpus6.tar.gz)
pack_time[zip9]=$(median zip9 --prepare "rm -f corpus.zip" "cd in && zip -q -9 -r ../corpus.zip .")
pack_size[zip9]=$(size corpus.zip)
pack_time[lh5]=$(median lh5 --prepare "rm -f corpus.lzh" "cd in && lha ao5 ../corpus.lzh *")
pack_size[lh5]=$(size corpus.lzh)
pack_time[xz9]=$(median xz9 "xz -9 -c corpus.tar > corpus.tar.xz")
pack_size[xz9]=$(size corpus.tar.xz)

declare -A decode_time extract_time
decode_time[q_normal]=$(median dec-q "$quorvex test q-normal.exe")
decode_time[q_max]=$(median dec-qmax "$quorvex test q-max.exe")
decode_time[gzip9]=$(median dec-gzip "gzip -dc corpus.tar.gz > /dev/null")
decode_time[zip9]=$(median dec-zip "unzip -p corpus.zip > /dev/null")
decode_time[lh5]=$(median dec-lha "lhasa p corpus.lzh > /dev/null")
decode_time[xz9]=$(median dec-xz "xz -dc corpus.tar.xz > /dev/null")

extract_time[q_normal]=$(median x-q --prepare "rm -rf out && mkdir out" "$quorvex extract q-normal.exe -d out")
extract_time[zip9]=$(median x-zip --prepare "rm -rf out && mkdir out" "unzip -q corpus.zip -d out")
extract_time[lh5]=$(median x-lha --prepare "rm -rf out && mkdir out" "cd out && lhasa xq ../corpus.lzh")
extract_time[gzip9]=$(median x-tgz --prepare "rm -rf out && mkdir out" "tar -xzf corpus.tar.gz -C out")

# Peak memory of an extraction, for the corpus and for an archive four times
# as large: it must not grow with the size.
peak_kb() { /usr/bin/time -f %M "$@" 2>&1 >/dev/null | tail -1; }
mkdir -p in4
for i in 1 2 3 4; do for f in in/*; do cp "$f" "in4/$i-$(basename "$f")"; done; done
"$quorvex" pack -o q-4x.exe --level fast $fixed_time -C in4 . >/dev/null
rm -rf out && mkdir out
mem1=$(peak_kb "$quorvex" extract q-normal.exe -d out)
rm -rf out && mkdir out
mem4=$(peak_kb "$quorvex" extract q-4x.exe -d out)
rm -rf out

ratio() { python3 -c "import sys; print(f'{float(sys.argv[1])/float(sys.argv[2]):.3f}')" "$1" "$2"; }
machine="$(uname -m), $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //')"

{
  echo "### $(date -u +%Y-%m-%d) — corpus $(basename "$corpus"), $raw bytes, median of $runs runs"
  echo
  echo "Machine: $machine"
  echo
  echo "| archiver | size / raw | pack s | decode s | extract s |"
  echo "|---|---|---|---|---|"
  for k in q_fast q_normal q_max gzip6 gzip9 zip9 lh5 xz9; do
    printf '| %s | %s | %.3f | %s | %s |\n' "$k" "$(ratio "${pack_size[$k]}" "$raw")" "${pack_time[$k]}" \
      "$( [[ -n "${decode_time[$k]:-}" ]] && printf '%.3f' "${decode_time[$k]}" || echo -)" \
      "$( [[ -n "${extract_time[$k]:-}" ]] && printf '%.3f' "${extract_time[$k]}" || echo -)"
  done
  echo
  echo "Peak memory of quorvex extract: ${mem1} KiB (corpus), ${mem4} KiB (four times the corpus)."
  echo
  echo "decode/gzip=$(ratio "${decode_time[q_normal]}" "${decode_time[gzip9]}")" \
    "decode/lhasa=$(ratio "${decode_time[q_normal]}" "${decode_time[lh5]}")" \
    "max/lh5=$(ratio "${pack_size[q_max]}" "${pack_size[lh5]}")" \
    "max/gzip9=$(ratio "${pack_size[q_max]}" "${pack_size[gzip9]}")" \
    "normal/lh5=$(ratio "${pack_size[q_normal]}" "${pack_size[lh5]}")" \
    "normal_pack/gzip9=$(ratio "${pack_time[q_normal]}" "${pack_time[gzip9]}")" \
    "memory_4x/1x=$(ratio "$mem4" "$mem1")"
} | tee table.md

{ echo; cat table.md; } >> "$root/bench/RESULTS.md"
