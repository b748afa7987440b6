#!/usr/bin/env bash
# Shows that the fuzzers find each old class of fault on their own: each
# patch here puts one old fault back, into a copy of the sources built in
# build/fuzz-proof, and the target that should find it runs from the corpus
# and sample seeds only (no structure-aware seeds, no earlier corpus), one
# process on one core, once per seed, until its first report or its time
# limit. One line per run: patch, target, seed, seconds, and what the
# report says (the work bound passed, or the handed-over scan).
#
#   exif-walk-per-pointer              Exif IFDs and maker notes walked at
#                                      every pointer to them
#   no-progression-rule                decoders that read repeated scans
#   walk-stops-at-short-length         the walk's first hole: it stops at a
#                                      COM, APPn or DNL of length 0 or 1
#   walk-reads-length-after-low-codes  its second: a marker below 0xC0 with
#                                      a body, where libjpeg sees none
#   element-lists-unbounded            colour profiles whose element lists
#                                      (float D2Bx tags) name any number of
#                                      elements, each a stage lcms2
#                                      evaluates at every grid point
#
# The fuzzer runs on one core (PROOF_CPU, default the last), so that the
# seconds compare between runs and machines.
#
#   tests/fuzz/proof/run.sh --check  only checks that every patch here has a
#                                    row below and applies to the checkout
#                                    (part of the tests: a move of the code
#                                    breaks a patch there, not here later)
#
# usage: tests/fuzz/proof/run.sh [SEEDS] [PATCH...]   (default: 1 2 3, all)
set -uo pipefail
cd "$(dirname "$0")/../../.."
root=$PWD
declare -A target=([exif-walk-per-pointer]=exif_report_reader_fuzzer
  [no-progression-rule]=decoder_fuzzer [walk-stops-at-short-length]=handover_fuzzer
  [walk-reads-length-after-low-codes]=handover_fuzzer [element-lists-unbounded]=colour_fuzzer)
declare -A limit=([exif-walk-per-pointer]=60 [no-progression-rule]=60
  [walk-stops-at-short-length]=300 [walk-reads-length-after-low-codes]=300
  [element-lists-unbounded]=300)
if [ "${1:-}" = --check ]; then
  failed=0
  for file in tests/fuzz/proof/*.patch; do
    patch=$(basename "$file" .patch)
    [ -n "${target[$patch]:-}" ] || { echo "proof: $patch has no target row in run.sh"; failed=1; }
    patch --dry-run -s -p1 < "$file" >/dev/null || { echo "proof: $patch no longer applies"; failed=1; }
  done
  exit "$failed"
fi
seeds=${1:-"1 2 3"}
shift || true
patches=("$@")
[ ${#patches[@]} -eq 0 ] && mapfile -t patches < <(printf '%s\n' "${!target[@]}" | sort)
cpu=${PROOF_CPU:-$(($(nproc) - 1))}
src=build/fuzz-proof/src out=build/fuzz-proof/build
for patch in "${patches[@]}"; do
  # A fresh copy; the files any patch touches are made newer than their
  # objects, so that the last patch's build does not stay.
  rm -rf "$src" && mkdir -p "$src"
  tar -c --exclude=./build --exclude=./.git . | tar -x -C "$src"
  (cd "$src" && sed -n 's|^+++ b/||p' "$root"/tests/fuzz/proof/*.patch | xargs touch &&
    patch -s -p1 < "$root/tests/fuzz/proof/$patch.patch") || exit 1
  CC=clang CXX=clang++ cmake -S "$src" -B "$out" -G Ninja -Wno-dev -DMOVRELA_FUZZ=ON \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMOVRELA_JPEG_NATIVE_DIR="$root/build/deps/libjpeg-native" \
    -DMOVRELA_LCMS2_SOURCE_DIR="$root/build/deps/lcms2-2.14" >/dev/null &&
    cmake --build "$out" -j2 --target "${target[$patch]}" >/dev/null || exit 1
  for seed in $seeds; do
    work=build/fuzz-proof/run-$patch-$seed
    rm -rf "$work" && mkdir -p "$work/corpus"
    cp tests/corpus/{camera,exif-org,invalid,orientation}/*.jpg tests/samples/*.jpg "$work/corpus/"
    start=$(date +%s.%N)
    MOVRELA_WINROOT=$PWD/$work/winroot taskset -c "$cpu" "$out/tests/fuzz/${target[$patch]}" -seed="$seed" \
      -max_total_time="${limit[$patch]}" -timeout=5 -rss_limit_mb=512 -dict=tests/fuzz/movrela.dict \
      -artifact_prefix="$work/" "$work/corpus" > "$work/log" 2>&1
    seconds=$(echo "$(date +%s.%N) - $start" | bc)
    found=$(grep -m1 -oE 'work bound passed: [a-zA-Z -]+|handed over: .*' "$work/log")
    printf '%-36s %-26s seed %-3s %7.1f s  %s\n' "$patch" "${target[$patch]}" "$seed" "$seconds" \
      "${found:-not found within ${limit[$patch]} s}"
  done
done
