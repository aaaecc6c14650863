#!/usr/bin/env bash
# Whole-process comparisons, each the median of five runs (the two sides
# of a comparison alternate, so drift in the machine weighs on both alike):
#  - developing the camera file into a JPEG with the command-line program,
#    against LibRaw's own full-size decode of it (dcraw_emu, same output
#    parameters as the library's decoder);
#  - the typical edit on a 2000 x 1333 JPEG, against the same chain in vips,
#    one vips operation per step (fixed here once; its lookup table and
#    vignette mask are made beforehand, outside the timing).
#
#   bench/whole_process.sh PATH/TO/vornalix
set -euo pipefail
cli=$(realpath "$1")
cr2=/usr/share/doc/rawtran/IMG_5952.CR2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
cp "$cr2" camera.CR2

# Wall time of one run of a command, in seconds.
wall() {
  local start end
  start=$(date +%s.%N)
  "$@" >/dev/null 2>&1
  end=$(date +%s.%N)
  echo "$end - $start" | bc -l
}
median() { printf '%s\n' "$@" | sort -g | sed -n 3p; }
# Runs the functions $1 and $2 alternately, five times each, so that the
# machine's drift during the comparison weighs on both alike; sets `first`
# and `second` to their median wall times.
compare() {
  local a=() b=()
  for _ in 1 2 3 4 5; do
    a+=("$(wall "$1")")
    b+=("$(wall "$2")")
  done
  first=$(median "${a[@]}")
  second=$(median "${b[@]}")
}
ratio() { echo "scale=2; $1 / $2" | bc -l; }
row() { printf '  %-58s %6.3f s\n' "$1" "$2"; }

echo "whole process (medians of 5 runs, the two sides of each comparison alternating):"
develop_raw() { "$cli" develop camera.CR2 -o developed.jpg; }
libraw_decode() { dcraw_emu -w -q 3 -W -g 2.4 12.92 -6 -T camera.CR2; }
compare develop_raw libraw_decode
row "vornalix develop IMG_5952.CR2 -o out.jpg" "$first"
row "dcraw_emu -w -q 3 -W -g 2.4 12.92 -6 -T IMG_5952.CR2" "$second"
echo "  ratio to LibRaw's decode: $(ratio "$first" "$second")"

# The JPEG the second comparison starts from: the camera file at full decode size.
"$cli" develop camera.CR2 -o input.jpg --quality 92 >/dev/null
typical=(--temperature 5200 --tint 5 --exposure 0.5 --contrast 20
         --curve master 0,0,0.25,0.22,0.75,0.80,1,1 --saturation 15
         --sharpening 40 --sharpening-radius 1 --sharpening-threshold 64 --vignette 25 --quality 92)
develop_jpeg() { "$cli" develop input.jpg -o edited.jpg "${typical[@]}"; }

# vips: white balance and exposure as one linear step (5200 K against 6500 K,
# tint 5, times 2^0.5), the master curve as a table, sharpening, a vignette
# mask multiply, and the JPEG.
printf '2 4 1 0\n0 0\n64 56\n191 204\n255 255\n' > curve.mat
vips buildlut curve.mat curve.v
width=$(vipsheader -f width input.jpg)
height=$(vipsheader -f height input.jpg)
python3 - "$width" "$height" <<'PY'
import math, sys
w, h = int(sys.argv[1]), int(sys.argv[2])
cx, cy = w / 2, h / 2
rows = []
for y in range(h):
    dy = (y - cy) / cy
    row = bytearray(w)
    for x in range(w):
        dx = (x - cx) / cx
        t = min(max((math.hypot(dx, dy) - 0.5) / 0.5, 0.0), 1.0)
        row[x] = round(255 * (1 - 0.25 * t * t * (3 - 2 * t)))
    rows.append(bytes(row))
with open("mask.pgm", "wb") as f:
    f.write(b"P5 %d %d 255\n" % (w, h) + b"".join(rows))
PY
vips linear mask.pgm mask.v 0.00392157 0
vips_chain() {
  vips linear input.jpg t1.v "1.41 1.30 1.20" "0 0 0" --uchar
  vips maplut t1.v t2.v curve.v
  vips sharpen t2.v t3.v --sigma 1
  vips multiply t3.v mask.v t4.v
  vips jpegsave t4.v vips.jpg --Q 92
}
compare develop_jpeg vips_chain
row "vornalix develop input.jpg -o out.jpg (typical edit)" "$first"
row "vips: linear, maplut, sharpen, multiply, jpegsave" "$second"
echo "  ratio to the vips chain: $(ratio "$first" "$second")"
