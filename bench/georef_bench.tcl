# Rectifying a large image: a 4096x4096 BYTE PGM (netpbm's camouflage
# pattern, made grey) is turned by 30 degrees about its centre through a
# power-1 parameter file by "rimage georef -rs NN" into an existing BYTE
# PGM of the same size, against "gdalwarp -r near" (its default single
# thread) given the same transform as the input's rotated geotransform (a
# VRT over the same PGM pixels), writing a new raw file; then the same by
# "-rs BI" against "gdalwarp -r bilinear" and against a plain C loop over
# the same polynomial (georef_peer). The input is in the page cache; each
# side runs once. The pixels must be equal away from the edges (a square
# around the centre whose sources lie well inside); the loop's may differ
# by one level where a position rounds differently.
#   TESK_GEOREF_SIDE   the image's side (default 4096)
source [file join [file dirname [info script]] table.tcl]
set side [expr {[info exists env(TESK_GEOREF_SIDE)] ? $env(TESK_GEOREF_SIDE) : 4096}]
source [file join [file dirname [info script]] camo.tcl]
set in [bench.camoPgm georef $side gdalwarp "netpbm and gdal-bin"]
set dir [file dirname $in]
set header [bench.pgmHeader $side]

# The transform: output pixel (x, y) reads the input at
# J = c + cos a (x - c) + sin a (y - c), I = c - sin a (x - c) + cos a (y - c).
set centre [expr {($side - 1) / 2.0}]
set a [expr {acos(-1) / 6}]
set grh [file join $dir georef_bench.grh]
set f [open $grh wb]
puts -nonewline $f [binary format a8q4i2q6 GOERECHD [list $centre $centre 0.0 0.0] {3 1} \
                        [list $centre [expr {-sin($a)}] [expr {cos($a)}] $centre [expr {cos($a)}] [expr {sin($a)}]]]
close $f

# The existing output: a PGM of zeros.
set ours [file join $dir georef_bench-out.pgm]
set f [open $ours wb]
puts -nonewline $f $header
puts -nonewline $f [string repeat \0 [expr {$side * $side}]]
close $f

# GDAL's view: the output north-up with pixel centres at map (x, -y); the
# input's geotransform the inverse of (J, I) = A (X, Y) + (c, c) - A (c, -c),
# A = {{cos a, -sin a}, {-sin a, -cos a}}, on GDAL's pixel corners (ours
# plus one half).
set co [expr {cos($a)}]
set si [expr {sin($a)}]
set det [expr {$co * -$co - $si * $si}]
lassign [list [expr {-$co / $det}] [expr {$si / $det}] [expr {$si / $det}] [expr {$co / $det}]] m00 m01 m10 m11
# (X, Y) = M ((P, L) - 0.5 - (c, c)) + (c, -c).
set gt [list [expr {$centre - ($m00 + $m01) * ($centre + 0.5)}] $m00 $m01 \
            [expr {-$centre - ($m10 + $m11) * ($centre + 0.5)}] $m10 $m11]
set vrt [file join $dir georef_bench.vrt]
set f [open $vrt w]
puts $f "<VRTDataset rasterXSize=\"$side\" rasterYSize=\"$side\">"
puts $f "  <GeoTransform>[join [lmap v $gt {format %.17g $v}] {, }]</GeoTransform>"
puts $f "  <VRTRasterBand dataType=\"Byte\" band=\"1\" subClass=\"VRTRawRasterBand\">"
puts $f "    <SourceFilename relativeToVRT=\"1\">[file tail $in]</SourceFilename>"
puts $f "    <ImageOffset>[string length $header]</ImageOffset><PixelOffset>1</PixelOffset><LineOffset>$side</LineOffset>"
puts $f "  </VRTRasterBand>\n</VRTDataset>"
close $f
set theirs [file join $dir georef_bench-gdal.img]
file delete $theirs [file rootname $theirs].hdr

set tOurs [expr {[lindex [time {
    rimage georef -in $in -out $ours -p $grh -ov Y -rs NN
}] 0] / 1000.0}]
set tTheirs [expr {[lindex [time {
    exec env -u LD_PRELOAD gdalwarp -q -of ENVI -ot Byte -te -0.5 [expr {0.5 - $side}] [expr {$side - 0.5}] 0.5 \
        -ts $side $side -r near $vrt $theirs
}] 0] / 1000.0}]

# The square of half side (side / 2 - 3) / sqrt 2 around the centre, whose
# sources lie at least two pixels inside the input: its first row and
# column and its width.
set half [expr {int(($side / 2.0 - 3) / sqrt(2))}]
set first [expr {int($centre) - $half}]
set width [expr {2 * $half + 1}]

# The pixel values of that square in a raw file whose pixels start at
# offset.
proc square {file offset} {
    global side first width
    set f [open $file rb]
    set values {}
    for {set y $first} {$y < $first + $width} {incr y} {
        seek $f [expr {$offset + $y * $side + $first}]
        binary scan [read $f $width] cu* row
        lappend values {*}$row
    }
    close $f
    return $values
}

# How many values of the two lists differ, and by at most how much.
proc differing {a b} {
    set n 0
    set most 0
    foreach p $a q $b {
        if {$p != $q} {
            incr n
            set most [expr {max($most, abs($p - $q))}]
        }
    }
    return [list $n $most]
}

set hl [string length $header]
lassign [differing [square $ours $hl] [square $theirs 0]] differ
puts [format "georef: NN rotation by 30 degrees of a %dx%d BYTE image through a power-1 file" $side $side]
puts [format "tesk georef %8.1f ms   gdalwarp -r near %8.1f ms   (tesk/gdal %s)   pixels %s (%d compared)" \
          $tOurs $tTheirs [bench.row "georef NN ${side}x$side BYTE" "gdalwarp -r near" "1 / 1" $tOurs $tTheirs] [expr {$differ == 0 ? "equal" : "DIFFER in $differ"}] \
          [expr {$width * $width}]]

# Bilinear: against gdalwarp -r bilinear (its own weights and rounding: time
# only) and against a plain C loop evaluating the same polynomial directly
# at every pixel, whose pixels must be equal but where the two evaluations
# of a position straddle a rounding boundary (one level at most).
set bOurs [expr {[lindex [time {
    rimage georef -in $in -out $ours -p $grh -ov Y -rs BI
}] 0] / 1000.0}]
file delete $theirs [file rootname $theirs].hdr
set bGdal [expr {[lindex [time {
    exec env -u LD_PRELOAD gdalwarp -q -of ENVI -ot Byte -te -0.5 [expr {0.5 - $side}] [expr {$side - 0.5}] 0.5 \
        -ts $side $side -r bilinear $vrt $theirs
}] 0] / 1000.0}]
set peer [file join $teskDemo(build) bench georef_peer]
set loop [file join $dir georef_bench-loop.pgm]
set coefficients [list [expr {$centre - $co * $centre - $si * $centre}] $co $si \
                      [expr {$centre + $si * $centre - $co * $centre}] [expr {-$si}] $co]
set bLoop [expr {[lindex [time {
    exec $peer $in $loop {*}[lmap v $coefficients {format %.17g $v}]
}] 0] / 1000.0}]
lassign [differing [square $ours $hl] [square $loop $hl]] loopDiffer loopMost
puts [format "tesk georef -rs BI %8.1f ms   plain C loop %8.1f ms   (tesk/loop %s)   pixels %s" \
          $bOurs $bLoop [bench.row "georef BI ${side}x$side BYTE" "plain C loop" "1 / 1" $bOurs $bLoop] \
          [expr {$loopDiffer == 0 ? "equal" : "differ in $loopDiffer by at most $loopMost"}]]
puts [format "                                   gdalwarp -r bilinear %8.1f ms   (tesk/gdal %s)" \
          $bGdal [bench.row "georef BI ${side}x$side BYTE" "gdalwarp -r bilinear" "1 / 1" $bOurs $bGdal]]
file delete $loop
exit [expr {$differ == 0 && $loopMost <= 1 ? 0 : 1}]
