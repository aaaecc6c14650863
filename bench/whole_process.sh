#!/usr/bin/env bash
# Whole-process comparisons on this machine, timed as a user waits for them:
#  - start-up: `vornalix --version` and the embedded preview of the camera
#    file (`vornalix thumb`) against LibRaw's `simple_dcraw -e`;
#  - the full-size development of the camera file into a JPEG against
#    darktable-cli and rawtherapee-cli, and against LibRaw's own decode
#    (dcraw_emu, the library's decoding parameters);
#  - the typical edit on a 2000 x 1333 JPEG against the same chain in vips,
#    one vips operation per step;
#  - peak memory (VmHWM) of the typical edit on a 4000 x 2667 JPEG against
#    the same vips chain (its largest step);
#  - batch throughput over 12 copies of the camera file at --jobs 1, 2 and
#    the program's default, and at the bounded size with the plain look.
# Times are medians; the commands of a comparison run alternately, so drift
# in the machine weighs on all alike.
#
#   bench/whole_process.sh PATH/TO/vornalix
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh" libraw-bin libvips-tools bc time darktable rawtherapee
cli=$(realpath "$1")
cr2=/usr/share/doc/rawtran/IMG_5952.CR2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
cp "$cr2" camera.CR2

# Wall time of one run of a command, in seconds.
wall() {
  local start=$EPOCHREALTIME
  "$@" >/dev/null 2>&1
  echo "$EPOCHREALTIME - $start" | bc -l
}
median() { printf '%s\n' "$@" | sort -g | sed -n "$((($# + 1) / 2))p"; }
# compare RUNS CMD...: RUNS rounds of every CMD (a function) in turn; sets
# `medians`, one wall time per CMD.
compare() {
  local runs=$1 k r
  shift
  local -a times=()
  for ((r = 0; r < runs; ++r)); do
    for ((k = 1; k <= $#; ++k)); do times[k]+="$(wall "${!k}") "; done
  done
  medians=()
  # shellcheck disable=SC2086  # each entry is a list of times
  for ((k = 1; k <= $#; ++k)); do medians+=("$(median ${times[k]})"); done
}
ratio() { printf '%.2f' "$(echo "$1 / $2" | bc -l)"; }
# row LABEL SECONDS [NOTE]
row() { printf '  %-62s %7.3f s  %s\n' "$1" "$2" "${3:-}"; }

echo "start-up (medians of 11 runs):"
version() { "$cli" --version; }
thumb() { "$cli" thumb camera.CR2 -o thumb.jpg --overwrite; }
libraw_thumb() { simple_dcraw -e camera.CR2; }
compare 1 version thumb libraw_thumb  # warm-up
compare 11 version thumb libraw_thumb
row "vornalix --version" "${medians[0]}" "$(ratio "${medians[0]}" "${medians[2]}") x simple_dcraw -e"
row "vornalix thumb IMG_5952.CR2 -o thumb.jpg" "${medians[1]}" "$(ratio "${medians[1]}" "${medians[2]}") x simple_dcraw -e"
row "simple_dcraw -e IMG_5952.CR2" "${medians[2]}"

echo "full-size development of the camera file (medians of 5 runs):"
develop_raw() { "$cli" develop camera.CR2 -o developed.jpg --overwrite; }
darktable() {
  rm -f darktable.jpg
  darktable-cli camera.CR2 darktable.jpg --core --library :memory: --configdir dt-config \
    --conf plugins/imageio/format/jpeg/quality=92
}
rawtherapee() { rawtherapee-cli -j92 -Y -o rawtherapee.jpg -c camera.CR2; }
libraw_decode() { dcraw_emu -w -q 3 -W -g 2.4 12.92 -6 -T camera.CR2; }
compare 1 develop_raw darktable rawtherapee libraw_decode  # warm-up: darktable makes its configuration
compare 5 develop_raw darktable rawtherapee libraw_decode
row "vornalix develop IMG_5952.CR2 -o out.jpg" "${medians[0]}" "$(vipsheader developed.jpg | cut -d' ' -f2)"
row "darktable-cli IMG_5952.CR2 out.jpg --core --library :memory:" "${medians[1]}" \
  "$(ratio "${medians[1]}" "${medians[0]}") x vornalix, $(vipsheader darktable.jpg | cut -d' ' -f2)"
row "rawtherapee-cli -j92 -Y -o out.jpg -c IMG_5952.CR2" "${medians[2]}" \
  "$(ratio "${medians[2]}" "${medians[0]}") x vornalix, $(vipsheader rawtherapee.jpg | cut -d' ' -f2)"
row "LibRaw's decode alone: dcraw_emu -w -q 3 -W -g 2.4 12.92 -6 -T" "${medians[3]}" \
  "$(ratio "${medians[3]}" "${medians[0]}") x vornalix"

# The typical edit, as edit flags and as a vips chain: white balance and
# exposure as one linear step (5200 K against 6500 K, tint 5, times 2^0.5),
# the master curve as a table, sharpening, a vignette mask multiply, the JPEG.
typical=(--temperature 5200 --tint 5 --exposure 0.5 --contrast 20
         --curve master 0,0,0.25,0.22,0.75,0.80,1,1 --saturation 15
         --sharpening 40 --sharpening-radius 1 --sharpening-threshold 64 --vignette 25 --quality 92)
printf '2 4 1 0\n0 0\n64 56\n191 204\n255 255\n' > curve.mat
vips buildlut curve.mat curve.v
# vignette_mask WIDTH HEIGHT: mask.v, the vignette as a factor per pixel.
vignette_mask() {
  /usr/bin/python3 - "$1" "$2" <<'PY'
import sys
import numpy as np
w, h = int(sys.argv[1]), int(sys.argv[2])
dx = (np.arange(w) - w / 2) / (w / 2)
dy = (np.arange(h) - h / 2) / (h / 2)
t = np.clip((np.hypot(dx[None, :], dy[:, None]) - 0.5) / 0.5, 0.0, 1.0)
mask = np.round(255 * (1 - 0.25 * t * t * (3 - 2 * t))).astype(np.uint8)
with open("mask.pgm", "wb") as f:
    f.write(b"P5 %d %d 255\n" % (w, h) + mask.tobytes())
PY
  vips linear mask.pgm mask.v 0.00392157 0
}
vips_steps=(
  "linear input.jpg t1.v '1.41 1.30 1.20' '0 0 0' --uchar"
  "maplut t1.v t2.v curve.v"
  "sharpen t2.v t3.v --sigma 1"
  "multiply t3.v mask.v t4.v"
  "jpegsave t4.v vips.jpg --Q 92"
)
vips_chain() { for step in "${vips_steps[@]}"; do eval "vips $step"; done; }
develop_jpeg() { "$cli" develop input.jpg -o edited.jpg --overwrite "${typical[@]}"; }

echo "typical edit on a 2000 x 1333 JPEG (medians of 5 runs):"
"$cli" develop camera.CR2 -o input.jpg --size 2000 --quality 92 >/dev/null
vignette_mask 2000 1333
compare 5 develop_jpeg vips_chain
row "vornalix develop input.jpg -o out.jpg (typical edit)" "${medians[0]}"
row "vips: linear, maplut, sharpen, multiply, jpegsave" "${medians[1]}" "$(ratio "${medians[1]}" "${medians[0]}") x vornalix"

echo "peak memory (VmHWM) of the typical edit on a 4000 x 2667 JPEG:"
vips thumbnail developed.jpg input.jpg 4000 --height 2667 --size force
vignette_mask 4000 2667
peak_kib() { /usr/bin/time -f %M "$@" 2>&1 >/dev/null | tail -1; }
ours=$(peak_kib "$cli" develop input.jpg -o edited.jpg --overwrite "${typical[@]}")
theirs=0
for step in "${vips_steps[@]}"; do
  kib=$(eval "peak_kib vips $step")
  ((kib > theirs)) && theirs=$kib
done
printf '  %-62s %7d MiB  %s x vips\n' "vornalix develop input.jpg -o out.jpg (typical edit)" \
  $((ours / 1024)) "$(ratio "$ours" "$theirs")"
printf '  %-62s %7d MiB\n' "vips chain, its largest step" $((theirs / 1024))

echo "batch of 12 copies of the camera file, full size (medians of 3 runs):"
mkdir -p batch-in
for i in $(seq -w 1 12); do cp camera.CR2 "batch-in/IMG_$i.CR2"; done
batch_1() { "$cli" batch batch-in -o batch-out --overwrite -q --jobs 1; }
batch_2() { "$cli" batch batch-in -o batch-out --overwrite -q --jobs 2; }
batch_default() { "$cli" batch batch-in -o batch-out --overwrite 2>batch.log; }
# The plain development at the bounded size, as the library gives it.
batch_bounded() { "$cli" batch batch-in -o batch-out --overwrite -q --jobs 2 --size preview --look flat --lens-profile off; }
compare 3 batch_1 batch_2 batch_default batch_bounded
default_jobs=$(sed -n 's/.*, \([0-9]*\) jobs\{0,1\})$/\1/p' batch.log)
row "vornalix batch --jobs 1" "${medians[0]}" "$(ratio 12 "${medians[0]}") files/s"
row "vornalix batch --jobs 2" "${medians[1]}" "$(ratio 12 "${medians[1]}") files/s"
row "vornalix batch (default: $default_jobs jobs)" "${medians[2]}" "$(ratio 12 "${medians[2]}") files/s"
row "vornalix batch --jobs 2 --size preview --look flat --lens-profile off" "${medians[3]}" \
  "$(ratio 12 "${medians[3]}") files/s"
