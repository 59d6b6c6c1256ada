#!/bin/sh
# Builds the optimised library (tools/setup.sh) and runs every benchmark:
# the C++ ones (options are passed on to them; shapefile_bench loads a
# shapefile of 200,000 polygons and dbase_bench loads, reads and saves a
# dBase table of 1,000,000 records against shapelib, when libshp is installed;
# jpeg_bench sets JPEG decoding and write-back against djpeg and cjpeg and
# prints each ratio, when libjpeg-turbo-progs is installed; fft_bench sets
# the 2-D FFT of 2048 x 2048 complex floats against scipy and prints the
# ratio, when python3-numpy and python3-scipy are installed; grass_bench
# draws 20,000 polylines and 5,000 filled 12-gons into a 2048 x 2048
# virtual display through the R_ functions against libgd, and prints the
# ratio and the pixels that differ, when libgd-dev is installed),
# then the redraw benchmarks
# of the gimg image type (plain, and masked against a photo with transparent
# pixels), the dump of a gimg view into a GIF against Tk's photo GIF writer,
# and of the geo canvas under wish on a private
# 1280x1024x24 Xvfb screen, and the reading of a large GIF against Tk's
# photo image, and the statistics of a large GeoTIFF against gdalinfo -stats;
# classify_bench.tcl sets Mahalanobis classification against numpy,
# gtop_bench.tcl a picture mapped onto the ground by -ro against numpy's
# lines of sight,
# gconv_bench.tcl a 5 x 5 convolution against ImageMagick and
# scipy.ndimage.convolve, gfftrans_bench.tcl the FFT tool end to end against
# scipy's fft2 doing the whole task, rotate_bench.tcl a quarter turn against
# ImageMagick; gtable_match_bench.tcl matches a table of 10,000 records
# with four predicate shapes against a Tcl foreach over the same values;
# georef_bench.tcl sets a rotation through a fitted
# polynomial (nearest and bilinear; the bilinear one also against a plain C
# loop over the same polynomial) and resample_bench.tcl nearest-neighbour resampling onto a
# shifted grid against gdalwarp; capture_bench.tcl sets screen and canvas
# captures against libtk-img's window format and Tk's own redraw;
# gcanvas_ps_bench.tcl sets the canvas's PostScript output against Tk's;
# gcanvas_pick_bench.tcl picking under the pointer and find searches
# among 100,000 rectangles against Tk's canvas; gcanvas_items_bench.tcl
# creates and redraws 20,000 polygons and 20,000 lines of 40 vertices, and
# 100,000 rectangles, against Tk's canvas; gcanvas_text_bench.tcl creates and
# redraws 20,000 text labels and 20,000 turned gtext labels against Tk's
# canvas text, and zooms 20,000 scalable labels; gcanvas_points_bench.tcl
# creates and redraws 20,000 labelled symbols, bitmaps and images and 4,000
# groups of 5 rectangles against Tk's canvas; gl_calls_bench.tcl sets
# 1,000,000 glVertex commands against an empty Tcl procedure, with the same
# calls from C as the floor; gl_arrays_bench.tcl draws a lit grid of
# 2 million triangles from client arrays with glDrawElements against the
# same arrays and calls from a plain GLX program; dem_bench.tcl draws a lit
# 2048 x 2048 DEM surface with glexSolidDem against the same fans (and the
# same mesh through vertex arrays) from a plain GLX program; oglm_bench.tcl
# loads a one-million-triangle OBJ model with smoothed normals against
# assimp, when libassimp-dev is installed; comb_bench.tcl builds, maps and destroys the
# comb kit's number and string fields against Tcl procedures issuing the
# same Tk commands, and reads and sets a number field's option against a
# spinbox's; sensor_bench.tcl rectifies a tilted camera's 4096 x 4096 FLOAT
# photo with bilinear resampling against numpy and scipy.ndimage;
# print_bench.tcl writes a canvas of 20,000 items as a metafile against
# Tk's postscript of it and prints it on six pages to the file printer.
# save_folder_bench.tcl saves a one-record table, a one-point shape set, a
# small dump and a small canvas's PostScript 200 times each into a folder
# of 100,000 other files against the same saves into an empty folder.
# ddw_bench.tcl redraws a 1024 x 1024 three-band image in a ddw widget
# against a Tk photo in a label, and decodes a 640 x 480 Motion-JPEG AVI of
# 300 frames against ffmpeg; twimg_bench.tcl scans SANE's test device at
# 1200 dpi into "twain.img" against scanimage writing a file.
# JPEG decoding and the GeoTIFF statistics use up to four threads (the
# processors the process may use); their peers use one. Both run again
# pinned to one core (taskset -c, the last processor allowed) for the
# one-core ratio.
# The build runs JOBS jobs at once (default: the processors the process may
# use).
#   tools/bench.sh [benchmark options]
set -eu
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/tools/setup.sh" release
# Each benchmark adds a row (work, peer, threads, ratio) for every ratio it
# prints; the rows are printed as one table at the end.
TESK_BENCH_TABLE=$(mktemp)
export TESK_BENCH_TABLE
trap 'rm -f "$TESK_BENCH_TABLE"' EXIT
for b in "$top"/build/bench/*_bench; do
    [ -x "$b" ] && "$b" "$@"
done
# Runs a Tcl benchmark under wish on a private screen, pinned by $pin.
pin=
wishBench() {
    TESK_OUT=${TESK_OUT:-$top/out} TESK_XDEPTH=24 \
        $pin "$top/tests/support/xrun.sh" wish "$top/demo/start.tcl" "$top/build" "$top/bench/$1"
}
for script in gimg_bench.tcl gimg_mask_bench.tcl gimg_dump_bench.tcl gcanvas_bench.tcl gcanvas_pick_bench.tcl gcanvas_items_bench.tcl gcanvas_text_bench.tcl gcanvas_points_bench.tcl gcanvas_ps_bench.tcl shape_draw_bench.tcl cs2cs_bench.tcl gtable_match_bench.tcl gif_bench.tcl tiff_bench.tcl georef_bench.tcl \
    classify_bench.tcl gconv_bench.tcl gfftrans_bench.tcl gtop_bench.tcl rotate_bench.tcl resample_bench.tcl capture_bench.tcl proj_prog_bench.tcl gl_calls_bench.tcl gl_arrays_bench.tcl dem_bench.tcl oglm_bench.tcl comb_bench.tcl sensor_bench.tcl print_bench.tcl ddw_bench.tcl twimg_bench.tcl save_folder_bench.tcl; do
    wishBench "$script"
done
core=$(taskset -pc $$ | sed 's/.*: *//; s/.*[,-]//')
echo "One core (taskset -c $core), the same work as above:"
pin="taskset -c $core"
$pin "$top/build/bench/jpeg_bench" --benchmark_filter=OpenRead "$@"
wishBench tiff_bench.tcl
echo
echo "Every ratio of this run (Tesk's time / the peer's; threads: Tesk / peer):"
awk -F '\t' '
    { for (i = 1; i <= 4; i++) { cell[NR, i] = $i; if (length($i) > width[i]) width[i] = length($i) } }
    END {
        split("work\tpeer\tthreads\tratio", head, "\t")
        for (i = 1; i <= 4; i++) { if (length(head[i]) > width[i]) width[i] = length(head[i]) }
        printf "%-*s  %-*s  %-*s  %*s\n", width[1], head[1], width[2], head[2], width[3], head[3], width[4], head[4]
        for (r = 1; r <= NR; r++) {
            printf "%-*s  %-*s  %-*s  %*s\n", width[1], cell[r, 1], width[2], cell[r, 2], width[3], cell[r, 3], width[4], cell[r, 4]
        }
    }' "$TESK_BENCH_TABLE"
