#!/usr/bin/env bash
# Draws the downloader's skin artwork, its icon and its licence text resource with ImageMagick and
# the Liberation fonts. The outputs are committed next to this script, so a build needs neither;
# run it again after changing a drawing:  bash resources/skin/generate.sh
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
cd "$here"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

sans=Liberation-Sans-Bold
serif=Liberation-Serif-Bold
# No time stamps or other metadata: the same drawing gives the same bytes.
save_png() { convert "$1" -strip -define png:exclude-chunks=date,time "$2"; }
save_jpeg() { convert "$1" -strip -quality 86 -sampling-factor 4:2:0 -interlace none "$2"; }

dark_top=#252d3a
dark_bottom=#161b24
panel=#f4f4f4
mark=#c9cfd9
orange=#f08a24
teal=#2bb3c0

# --- Main window background (503 x 300) -----------------------------------------------------
# Dark upper area with the publisher's logo and the minimise and close marks; light lower panel
# with two recessed troughs whose inner areas are exactly where the progress bars stand.
trough_args=()
add_trough() { # inner left, top, right, bottom: a dark edge above and left, a light one below and right
  local l=$1 t=$2 r=$3 b=$4
  trough_args+=(-fill '#a7adb6' -draw "rectangle $((l - 1)),$((t - 1)) $((r + 1)),$((t - 1))"
                -draw "rectangle $((l - 1)),$((t - 1)) $((l - 1)),$((b + 1))"
                -fill '#ffffff' -draw "rectangle $((l - 1)),$((b + 1)) $((r + 1)),$((b + 1))"
                -draw "rectangle $((r + 1)),$((t - 1)) $((r + 1)),$((b + 1))"
                -fill '#dcdfe4' -draw "rectangle $l,$t $r,$b")
}
add_trough 101 212 441 229
add_trough 101 246 441 263
convert -size 503x193 gradient:"$dark_top"-"$dark_bottom" -size 503x107 xc:"$panel" -append \
  -fill '#0d1016' -draw 'rectangle 0,192 502,192' -fill '#e2e4e8' -draw 'rectangle 0,193 502,193' \
  "${trough_args[@]}" \
  -fill "$orange" -draw 'polygon 12,24 22,8 32,24' -fill "$teal" -draw 'polygon 22,8 32,24 42,8' \
  -fill '#f6c45a' -draw 'polygon 32,24 42,8 52,24' \
  -font "$sans" -pointsize 17 -fill '#f2f4f7' -annotate +60+23 'Tessel Games' \
  -fill "$mark" -draw 'rectangle 463,13 472,14' \
  -stroke "$mark" -strokewidth 2 -draw 'line 488,7 496,15' -draw 'line 496,7 488,15' \
  "$work/background_square.png"
convert -size 503x300 xc:black -fill white -draw 'roundrectangle 0,0 502,299 7,7' "$work/main_mask.png"
convert "$work/background_square.png" "$work/main_mask.png" -alpha off -compose CopyOpacity -composite \
  "$work/background.png"
save_png "$work/background.png" background_1050.png

# --- Minimise and close buttons: cut from the unmasked background, so they sit seamlessly on it --
convert "$work/background_square.png" -crop 22x19+458+2 +repage "$work/minimise_normal.png"
convert "$work/minimise_normal.png" -fill '#3a4458' -draw 'roundrectangle 1,1 18,17 3,3' \
  -fill '#ffffff' -draw 'rectangle 5,11 14,12' "$work/minimise_hover.png"
convert "$work/background_square.png" -crop 20x19+482+2 +repage "$work/close_normal.png"
convert "$work/close_normal.png" -fill '#c8352c' -draw 'roundrectangle 1,1 18,17 3,3' \
  -stroke '#ffffff' -strokewidth 2 -draw 'line 6,5 14,13' -draw 'line 14,5 6,13' "$work/close_hover.png"
save_png "$work/minimise_normal.png" minimise_normal_1060.png
save_png "$work/minimise_hover.png" minimise_hover_1061.png
save_png "$work/close_normal.png" close_normal_1054.png
save_png "$work/close_hover.png" close_hover_1055.png

# --- Pause and resume buttons (24 x 24, on the light panel) ----------------------------------
round_button() { # fill, glyph drawing, output
  convert -size 24x24 xc:"$panel" -fill "$1" -draw 'circle 11.5,11.5 11.5,0.8' -fill '#ffffff' -draw "$2" "$3"
}
pause_bars='rectangle 8,7 10,16 rectangle 13,7 15,16'
play_triangle='polygon 9,6 17,11.5 9,17'
round_button '#3d7fd0' "$pause_bars" pause_normal_1056.png
round_button '#5b9ae8' "$pause_bars" pause_hover_1057.png
round_button '#2a5a98' "$pause_bars" pause_pressed_1058.png
round_button '#3aa55d' "$play_triangle" resume_normal_1051.png
round_button '#52c476' "$play_triangle" resume_hover_1052.png
round_button '#287a43' "$play_triangle" resume_pressed_1053.png
for f in pause_*.png resume_*.png; do convert "$f" -strip -define png:exclude-chunks=date,time "$f"; done

# --- Progress bar fill strip (360 x 18) -------------------------------------------------------
convert -size 360x18 gradient:'#86c5ff'-'#1c62c4' \
  -fill '#b9dcff' -draw 'rectangle 0,0 359,0' -fill '#154c99' -draw 'rectangle 0,17 359,17' \
  "$work/fill.png"
save_png "$work/fill.png" progress_fill_1062.png

# --- Game banner (485 x 145): the title over a dusk landscape --------------------------------
convert -size 485x145 gradient:'#2a1c3d'-'#e0813c' \
  -fill '#ffd27a' -draw 'circle 300,58 300,40' \
  -fill '#3a2a4a' -draw 'polygon 0,145 0,98 60,70 120,96 185,58 260,100 330,66 400,92 485,60 485,145' \
  -fill '#1c1424' -draw 'polygon 0,145 0,122 80,100 150,118 230,96 300,120 380,104 485,126 485,145' \
  -fill '#1c1424' -draw 'rectangle 402,74 410,108 rectangle 420,66 430,108 rectangle 440,78 448,108' \
  -draw 'polygon 400,74 406,64 412,74 polygon 418,66 425,54 432,66 polygon 438,78 444,68 450,78' \
  -font "$serif" -pointsize 46 -fill '#1b1220' -annotate +24+70 'IRON FABLE' \
  -fill '#f3e3c3' -annotate +22+68 'IRON FABLE' \
  -font Liberation-Serif-Italic -pointsize 16 -fill '#f3e3c3' -annotate +26+94 'A tale forged in steel' \
  "$work/banner.png"
save_jpeg "$work/banner.png" game_banner_1065.jpg

# --- Licence dialog banner (371 x 67) --------------------------------------------------------
# No title here: the program draws it at run time (the publisher's name followed by " Download
# Service", white bold 18 px, left edge at x=58, baseline at y=31), because the
# publisher's name is a build setting. The space above the subtitle is left free for it.
convert -size 371x67 gradient:'#1f3b57'-'#2f7c8a' \
  -fill "$orange" -draw 'polygon 14,50 24,18 34,50' -fill "$teal" -draw 'polygon 24,18 34,50 44,18' \
  -font Liberation-Sans -pointsize 12 -fill '#d6e6ee' -annotate +58+50 'Please read the licence terms below' \
  "$work/licence_banner.png"
save_jpeg "$work/licence_banner.png" licence_banner_1059.jpg

# --- Message box background (480 x 162) ------------------------------------------------------
# A dark strip at the top carries the close button; the message sits on the light panel.
convert -size 480x24 gradient:"$dark_top"-'#1f2631' -size 480x138 xc:"$panel" -append \
  -fill '#0d1016' -draw 'rectangle 0,24 479,24' \
  -fill "$orange" -draw 'polygon 8,18 14,6 20,18' -fill "$teal" -draw 'polygon 14,6 20,18 26,6' \
  -font "$sans" -pointsize 12 -fill '#f2f4f7' -annotate +32+17 'Tessel Games' \
  -fill none -stroke '#c5c9d0' -draw 'rectangle 0,0 479,161' "$work/box_square.png"
convert -size 480x162 xc:black -fill white -draw 'roundrectangle 0,0 479,161 7,7' "$work/box_mask.png"
convert "$work/box_square.png" "$work/box_mask.png" -alpha off -compose CopyOpacity -composite "$work/box.png"
save_png "$work/box.png" msgbox_background_1066.png

# --- Message box buttons (124 x 36), three colours in three states ---------------------------
box_button() { # top colour, bottom colour, output
  convert -size 124x36 gradient:"$1"-"$2" \
    \( -size 124x36 xc:black -fill white -draw 'roundrectangle 0,0 123,35 6,6' \) \
    -alpha off -compose CopyOpacity -composite "$work/button_shape.png"
  convert -size 124x36 xc:"$panel" "$work/button_shape.png" -compose over -composite \
    -strip -define png:exclude-chunks=date,time "$3"
}
box_button '#4fbf74' '#2f8f4e' button_green_normal_1067.png
box_button '#66d48a' '#3aa55d' button_green_hover_1068.png
box_button '#2a7d45' '#1f6136' button_green_pressed_1082.png
box_button '#a2a8b1' '#7a818b' button_grey_normal_1069.png
box_button '#b5bbc4' '#8e959f' button_grey_hover_1070.png
box_button '#6d737d' '#575d66' button_grey_pressed_1083.png
box_button '#dc4a40' '#b0302a' button_red_normal_1071.png
box_button '#ec6359' '#c7372f' button_red_hover_1072.png
box_button '#9c2a24' '#7c1f1a' button_red_pressed_1081.png

# --- Message box icons (70 x 70) -------------------------------------------------------------
convert -size 70x70 xc:"$panel" -fill "$orange" -draw 'circle 34.5,34.5 34.5,2' \
  -font "$sans" -pointsize 46 -fill '#ffffff' -gravity center -annotate +0+1 '!' \
  -strip -define png:exclude-chunks=date,time icon_warning_1073.png
convert -size 70x70 xc:"$panel" -fill '#3aa55d' -draw 'circle 34.5,34.5 34.5,2' \
  -fill none -stroke '#ffffff' -strokewidth 7 -draw 'polyline 19,36 30,47 51,24' \
  -strip -define png:exclude-chunks=date,time icon_success_1074.png
convert -size 70x70 xc:"$panel" -fill '#c8352c' -draw 'circle 34.5,34.5 34.5,2' \
  -stroke '#ffffff' -strokewidth 7 -draw 'line 23,23 46,46' -draw 'line 46,23 23,46' \
  -strip -define png:exclude-chunks=date,time icon_error_1075.png

# --- Application icon: 64, 48, 32, 24 and 16 pixel images ------------------------------------
convert -size 64x64 xc:none -fill "$dark_top" -draw 'roundrectangle 0,0 63,63 12,12' \
  -fill "$orange" -draw 'polygon 6,50 19,14 32,50' -fill "$teal" -draw 'polygon 19,14 32,50 45,14' \
  -fill '#f6c45a' -draw 'polygon 32,50 45,14 58,50' "$work/icon64.png"
convert "$work/icon64.png" -resize 48x48 "$work/icon48.png"
for f in "$work/icon64.png" "$work/icon48.png"; do save_png "$f" PNG32:"$f"; done
convert "$work/icon64.png" -define icon:auto-resize=32,24,16 "$work/small.ico"

# Little-endian binary fields, as printf escapes.
le16() { printf '\\x%02x\\x%02x' $(($1 & 255)) $(($1 >> 8 & 255)); }
le32() { printf '%s%s' "$(le16 $(($1 & 65535)))" "$(le16 $(($1 >> 16 & 65535)))"; }
field() { od -An -t "u$2" -j "$3" -N "$2" "$1" | tr -d ' '; }  # FILE BYTES OFFSET
# An icon file whose large images are PNG (read by Windows Vista and later; a tenth of the bytes of
# uncompressed bitmaps) and whose 32, 24 and 16 pixel images stay bitmaps, taken from SMALL_ICO.
pack_icon() {  # OUTPUT PNG64 PNG48 SMALL_ICO
  local out=$1 small=$4 count i offset size small_count
  small_count=$(field "$small" 2 4)
  count=$((2 + small_count))
  offset=$((6 + 16 * count))
  {
    printf "$(le16 0)$(le16 1)$(le16 "$count")"
    for png in "$2" "$3"; do
      size=$(stat -c %s "$png")
      printf "\\x$(printf %02x "$(identify -format %w "$png")")\\x$(printf %02x "$(identify -format %h "$png")")"
      printf "\\x00\\x00$(le16 1)$(le16 32)$(le32 "$size")$(le32 "$offset")"
      offset=$((offset + size))
    done
    for ((i = 0; i < small_count; i++)); do
      head -c $((6 + 16 * i + 8)) "$small" | tail -c 8
      size=$(field "$small" 4 $((6 + 16 * i + 8)))
      printf "$(le32 "$size")$(le32 "$offset")"
      offset=$((offset + size))
    done
    cat "$2" "$3"
    for ((i = 0; i < small_count; i++)); do
      tail -c +$(($(field "$small" 4 $((6 + 16 * i + 12))) + 1)) "$small" | head -c "$(field "$small" 4 $((6 + 16 * i + 8)))"
    done
  } >"$out"
}
pack_icon ../app.ico "$work/icon64.png" "$work/icon48.png" "$work/small.ico"

# Eight bits per channel everywhere: the gradients would otherwise make 16-bit files. The two images
# with transparent corners keep a full alpha channel (not a palette with a transparent entry).
for f in *.png; do convert "$f" -depth 8 -strip -define png:exclude-chunks=date,time "$f"; done
for f in background_1050.png msgbox_background_1066.png; do
  convert "$f" -depth 8 -strip -define png:exclude-chunks=date,time PNG32:"$f"
done

# --- Licence text: UTF-16 little-endian with a byte-order mark and CRLF line breaks ------------
{ printf '\xff\xfe'; sed 's/$/\r/' licence.txt | iconv -f UTF-8 -t UTF-16LE; } > licence_1063.txt

echo "skin written to $here"
