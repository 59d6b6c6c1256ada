# Convolution of a large image: a 4096x4096 BYTE PGM (netpbm's camouflage
# pattern, made grey) is filtered by "rimage gconv" with a 5 x 5 integer 2D
# kernel into a new BYTE file, against ImageMagick's single-threaded
# "convert -virtual-pixel edge -morphology Correlate" with the same kernel
# on the same PGM, writing a PGM, and against scipy.ndimage.convolve
# (mode nearest, the kernel turned) on one thread, timed over its whole
# task: reading the PGM, convolving, holding to 0..255, writing a PGM. The
# input is in the page cache; each side runs once. The pixels must be equal
# everywhere (results held to 0..255).
#   TESK_GCONV_SIDE   the image's side (default 4096)
source [file join [file dirname [info script]] table.tcl]
set side [expr {[info exists env(TESK_GCONV_SIDE)] ? $env(TESK_GCONV_SIDE) : 4096}]
source [file join [file dirname [info script]] camo.tcl]
set in [bench.camoPgm gconv $side convert "netpbm and imagemagick"]
set dir [file dirname $in]
set header [bench.pgmHeader $side]

# A sharpening kernel (sum 1) whose results leave 0..255 at every edge.
set weights {0 0 -1 0 0  0 -1 -2 -1 0  -1 -2 17 -2 -1  0 -1 -2 -1 0  0 0 -1 0 0}
set ours [file join $dir gconv_bench-out.bmp]
set theirs [file join $dir gconv_bench-magick.pgm]
file delete $ours $theirs

set tOurs [expr {[lindex [time {
    rimage gconv -in $in -out $ours -kn "@2D 5 5 $weights"
}] 0] / 1000.0}]
set tTheirs [expr {[lindex [time {
    exec env -u LD_PRELOAD convert -limit thread 1 $in -virtual-pixel edge \
        -morphology Correlate "5x5: [join $weights ,]" -depth 8 $theirs
}] 0] / 1000.0}]

# Our output is a bottom-up 8-bit bitmap (rows of side bytes, a multiple of
# 4); ImageMagick's a PGM with the same header as the input.
set fo [open $ours rb]
set bmp [read $fo]
close $fo
set ft [open $theirs rb]
set pgm [read $ft]
close $ft
binary scan $bmp @10iu pixelOffset
set base [string length $header]
set differ 0
if {[string range $pgm 0 [expr {$base - 1}]] ne $header} {
    set differ -1
}
for {set y 0} {$differ >= 0 && $y < $side} {incr y} {
    set at [expr {$pixelOffset + ($side - 1 - $y) * $side}]
    set ro [string range $bmp $at [expr {$at + $side - 1}]]
    set at [expr {$base + $y * $side}]
    set rt [string range $pgm $at [expr {$at + $side - 1}]]
    if {$ro ne $rt} {
        binary scan $ro cu* vo
        binary scan $rt cu* vt
        foreach p $vo q $vt {
            incr differ [expr {$p != $q}]
        }
    }
}

# scipy's side, when numpy and scipy are there: its own time of the whole
# task (without the interpreter's start), without the OpenBLAS settings
# meant for older builds.
set scipyScript {
import sys, time
import numpy as np, scipy.ndimage
src, dst, side, base = sys.argv[1], sys.argv[2], int(sys.argv[3]), int(sys.argv[4])
w = np.array([int(v) for v in sys.argv[5].split(',')], np.int32).reshape(5, 5)
start = time.perf_counter()
x = np.fromfile(src, np.uint8, offset=base).reshape(side, side).astype(np.int32)
y = np.clip(scipy.ndimage.convolve(x, w[::-1, ::-1], mode='nearest'), 0, 255).astype(np.uint8)
with open(src, 'rb') as f:
    header = f.read(base)
with open(dst, 'wb') as f:
    f.write(header)
    f.write(y.tobytes())
print(time.perf_counter() - start)
}
set python [expr {[info exists env(TESK_PYTHON)] ? $env(TESK_PYTHON) : "/usr/bin/python3"}]
set scipyLine ""
set scipySame 1
if {![catch {exec env -u LD_PRELOAD $python -c "import numpy, scipy.ndimage"}]} {
    set scipyOut [file join $dir gconv_bench-scipy.pgm]
    set seconds [exec env -u LD_PRELOAD -u OPENBLAS_CORETYPE -u OPENBLAS_L2_SIZE OMP_NUM_THREADS=1 \
                     $python -c $scipyScript $in $scipyOut $side [string length $header] [join $weights ,]]
    set tScipy [expr {$seconds * 1000.0}]
    set fs [open $scipyOut rb]
    set same [string equal [read $fs] $pgm]
    close $fs
    file delete $scipyOut
    set scipySame $same
    set scipyLine [format "tesk gconv %8.1f ms   scipy.ndimage.convolve %8.1f ms   (tesk/scipy %s)   pixels %s" \
                       $tOurs $tScipy [bench.row "gconv 5x5 of 4096x4096 BYTE" "scipy.ndimage.convolve" "1 / 1" $tOurs $tScipy] [expr {$same ? "equal" : "DIFFER"}]]
}

puts [format "gconv: 5x5 integer 2D kernel over a %dx%d BYTE image into a new BYTE file" $side $side]
puts [format "tesk gconv %8.1f ms   convert -morphology Correlate %8.1f ms   (tesk/magick %s)   pixels %s" \
          $tOurs $tTheirs [bench.row "gconv 5x5 of 4096x4096 BYTE" "convert -morphology Correlate" "1 / 1" $tOurs $tTheirs] \
          [expr {$differ == 0 ? "equal" : $differ < 0 ? "UNREADABLE" : "DIFFER in $differ"}]]
if {$scipyLine ne ""} {
    puts $scipyLine
}
exit [expr {$differ == 0 && $scipySame ? 0 : 1}]
