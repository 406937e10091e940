#!/usr/bin/env bash
# Draws the Dialpass artwork with ImageMagick 6 primitives and writes it
# next to this script:
#   dialpass.ico    applet icon, 16/32/48/64 px, 32-bit with alpha
#   header.gif      page header strip, 720x90 (288 dpi); the applet scales it to the screen's DPI
#   about.bmp       About page picture, 150x40, 8-bit palette uncompressed BMP
#
# Output is deterministic: no timestamps or other metadata are written.
# Usage: resources/images/make-images.sh   (needs /usr/bin/convert, DejaVu fonts)
set -euo pipefail

HERE="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
CONVERT="${CONVERT:-/usr/bin/convert}"
FONT_BOLD="${FONT_BOLD:-/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf}"

"$CONVERT" -version >/dev/null 2>&1 || { echo "ImageMagick convert not found at $CONVERT" >&2; exit 1; }
[ -r "$FONT_BOLD" ] || { echo "font not found: $FONT_BOLD" >&2; exit 1; }

TMP="$(mktemp -d)"
trap 'rm -rf "$TMP"' EXIT

# Palette
CARD='#2F6DB5'       # card body
CARD_EDGE='#1C4A80'  # card outline
STRIPE='#15304D'     # magnetic stripe
CHIP='#F2B63C'       # contact chip
CHIP_EDGE='#A87A18'  # chip outline
DOT='#FFFFFF'        # keypad dots
SHADOW='rgba(0,0,0,0.22)'
HDR_LEFT='#F5F8FC'   # header gradient, calm side (under the title)
HDR_RIGHT='#A9C6E8'  # header gradient, decorated side

# Settings shared by every write: no dates, no extra chunks, no profiles.
NOMETA=(-strip +set date:create +set date:modify -define png:exclude-chunks=date,time)

# Keypad dots: dots X0 Y0 DX DY COLS ROWS R  ->  -draw circle arguments
dots() {
    local x0=$1 y0=$2 dx=$3 dy=$4 cols=$5 rows=$6 r=$7 c row out=""
    for ((row = 0; row < rows; row++)); do
        for ((c = 0; c < cols; c++)); do
            out+=" circle $(awk -v a="$x0" -v b="$c" -v d="$dx" 'BEGIN{printf "%g", a+b*d}'),$(awk -v a="$y0" -v b="$row" -v d="$dy" 'BEGIN{printf "%g", a+b*d}')"
            out+=" $(awk -v a="$x0" -v b="$c" -v d="$dx" -v r="$r" 'BEGIN{printf "%g", a+b*d+r}'),$(awk -v a="$y0" -v b="$row" -v d="$dy" 'BEGIN{printf "%g", a+b*d}')"
        done
    done
    printf '%s' "$out"
}

# ---------------------------------------------------------------- icon ----
# Each size is drawn on its own grid so edges land on whole pixels.

icon64() {
    "$CONVERT" -size 64x64 xc:none \
        -fill "$SHADOW" -stroke none -draw "roundrectangle 6,16 61,53 7,7" \
        -fill "$CARD" -stroke "$CARD_EDGE" -strokewidth 2 -draw "roundrectangle 3,12 59,50 7,7" \
        -stroke none -fill "$STRIPE" -draw "rectangle 4,18 58,25" \
        -fill "$CHIP" -stroke "$CHIP_EDGE" -strokewidth 1 -draw "roundrectangle 9,31 22,42 2,2" \
        -stroke "$CHIP_EDGE" -draw "line 9,36.5 22,36.5 line 15.5,31 15.5,42" \
        -stroke none -fill "$DOT" -draw "$(dots 34 31 8 6 3 3 2.2)" \
        "${NOMETA[@]}" "PNG32:$TMP/icon64.png"
}

icon48() {
    "$CONVERT" -size 48x48 xc:none \
        -fill "$SHADOW" -stroke none -draw "roundrectangle 4,12 46,40 5,5" \
        -fill "$CARD" -stroke "$CARD_EDGE" -strokewidth 1.5 -draw "roundrectangle 2,9 44,37 5,5" \
        -stroke none -fill "$STRIPE" -draw "rectangle 3,13 43,18" \
        -fill "$CHIP" -stroke "$CHIP_EDGE" -strokewidth 1 -draw "roundrectangle 7,23 16,31 2,2" \
        -stroke "$CHIP_EDGE" -draw "line 7,27 16,27" \
        -stroke none -fill "$DOT" -draw "$(dots 25.5 23 6 4.5 3 3 1.6)" \
        "${NOMETA[@]}" "PNG32:$TMP/icon48.png"
}

icon32() {
    "$CONVERT" -size 32x32 xc:none \
        -fill "$SHADOW" -stroke none -draw "roundrectangle 2,8 31,27 4,4" \
        -fill "$CARD" -stroke "$CARD_EDGE" -strokewidth 1 -draw "roundrectangle 1,6 30,25 4,4" \
        -stroke none -fill "$STRIPE" -draw "rectangle 2,9 29,12" \
        -fill "$CHIP" -stroke "$CHIP_EDGE" -strokewidth 1 -draw "roundrectangle 5,16 10,21 1,1" \
        -stroke none +antialias -fill "$DOT" \
            -draw "rectangle 17,15 18,16 rectangle 21,15 22,16 rectangle 25,15 26,16" \
            -draw "rectangle 17,19 18,20 rectangle 21,19 22,20 rectangle 25,19 26,20" \
        "${NOMETA[@]}" "PNG32:$TMP/icon32.png"
}

# 16 px: card, stripe, chip and one row of dots; drawn without antialiasing
# apart from the card corners so it stays crisp.
icon16() {
    "$CONVERT" -size 16x16 xc:none \
        -fill "$CARD_EDGE" -stroke none -draw "roundrectangle 0,3 15,13 2,2" \
        +antialias \
        -fill "$CARD" -draw "rectangle 1,4 14,12" \
        -fill "$STRIPE" -draw "rectangle 1,5 14,6" \
        -fill "$CHIP" -draw "rectangle 2,8 4,10" \
        -fill "$DOT" -draw "point 8,9 point 10,9 point 12,9" \
        "${NOMETA[@]}" "PNG32:$TMP/icon16.png"
}

icon16; icon32; icon48; icon64
"$CONVERT" "$TMP/icon16.png" "$TMP/icon32.png" "$TMP/icon48.png" "$TMP/icon64.png" \
    -alpha on "${NOMETA[@]}" "ICO:$HERE/dialpass.ico"

# -------------------------------------------------------------- header ----
# header W H K : horizontal gradient, calm on the left where the program
# draws the page title (x 6..171, y 6..27; the strip must reach below it), and a small card motif with three rising
# bars at the right end. K is the scale (1 = 96 dpi, 3 = 288 dpi); coordinates
# below are written for K=1 and multiplied, so the strip is drawn at its own
# resolution rather than enlarged.
header() {
    local w=$1 h=$2 k=$3 out=$4
    s() { awk -v k="$k" -v v="$1" 'BEGIN{printf "%g", v*k}'; }
    # card motif at the right end (K=1 box: x 204..233, y 6..23)
    local cx0 cy0 cx1 cy1 rr sw
    cx0=$(s 204); cy0=$(s 4); cx1=$(s 233); cy1=$(s 21); rr=$(s 3); sw=$(s 1)
    "$CONVERT" -size "${h}x${w}" "gradient:${HDR_LEFT}-${HDR_RIGHT}" -rotate -90 +repage \
        -fill "$SHADOW" -stroke none -draw "roundrectangle $(s 206),$(s 8) $(s 235),$(s 25) $rr,$rr" \
        -fill "$CARD" -stroke "$CARD_EDGE" -strokewidth "$sw" \
            -draw "roundrectangle $cx0,$cy0 $cx1,$cy1 $rr,$rr" \
        -stroke none -fill "$STRIPE" -draw "rectangle $(s 204.5),$(s 9) $(s 232.5),$(s 11.5)" \
        -fill "$CHIP" -stroke "$CHIP_EDGE" -strokewidth "$(s 0.5)" \
            -draw "roundrectangle $(s 207),$(s 14) $(s 212),$(s 19) $(s 1),$(s 1)" \
        -stroke none -fill "$DOT" -draw "$(dots "$(s 218)" "$(s 15)" "$(s 4)" "$(s 4)" 3 2 "$(s 1)")" \
        -fill "$CARD" -draw "rectangle $(s 186),$(s 13) $(s 187),$(s 16) rectangle $(s 192),$(s 12) $(s 194),$(s 17)  rectangle $(s 198),$(s 11) $(s 200),$(s 18)" \
        -dither None -colors 256 "${NOMETA[@]}" "GIF:$out"
}

header 720 90 3 "$HERE/header.gif"

# --------------------------------------------------------------- about ----
# 150x40, uncompressed bottom-up BMP with a palette of its colours (fewer than 256, so nothing is lost
# against 24 bits at a third of the bytes): card motif at left, product name.
"$CONVERT" -size 150x40 xc:'#FFFFFF' \
    -fill "$SHADOW" -stroke none -draw "roundrectangle 5,9 42,35 4,4" \
    -fill "$CARD" -stroke "$CARD_EDGE" -strokewidth 1 -draw "roundrectangle 3,6 40,32 4,4" \
    -stroke none -fill "$STRIPE" -draw "rectangle 4,10 39,14" \
    -fill "$CHIP" -stroke "$CHIP_EDGE" -strokewidth 1 -draw "roundrectangle 8,19 15,26 1,1" \
    -stroke none -fill "$DOT" -draw "$(dots 23 19.5 5 5 3 2 1.3)" \
    -font "$FONT_BOLD" -pointsize 19 -fill "$CARD_EDGE" -gravity West \
    -annotate +48+1 'Dialpass' \
    -gravity NorthWest -alpha off +dither -type Palette -compress none "${NOMETA[@]}" "BMP3:$HERE/about.bmp"

echo "wrote: dialpass.ico header.gif about.bmp in $HERE"
