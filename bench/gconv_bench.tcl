# Convolution of a large image: a 4096x4096 BYTE PGM (netpbm's camouflage
# pattern, made grey) is filtered by "rimage gconv" with a 5 x 5 integer 2D
# kernel into a new BYTE file, against ImageMagick's single-threaded
# "convert -virtual-pixel edge -morphology Correlate" with the same kernel
# on the same PGM, writing a PGM. The input is in the page cache; each side
# runs once. The pixels must be equal everywhere (results held to 0..255).
#   TESK_GCONV_SIDE   the image's side (default 4096)
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

puts [format "gconv: 5x5 integer 2D kernel over a %dx%d BYTE image into a new BYTE file" $side $side]
puts [format "tesk gconv %8.1f ms   convert -morphology Correlate %8.1f ms   (tesk/magick %.2f)   pixels %s" \
          $tOurs $tTheirs [expr {$tOurs / $tTheirs}] \
          [expr {$differ == 0 ? "equal" : $differ < 0 ? "UNREADABLE" : "DIFFER in $differ"}]]
exit [expr {$differ == 0 ? 0 : 1}]
