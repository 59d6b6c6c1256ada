# Rectifying a large image: a 4096x4096 BYTE PGM (netpbm's camouflage
# pattern, made grey) is turned by 30 degrees about its centre through a
# power-1 parameter file by "rimage georef -rs NN" into an existing BYTE
# PGM of the same size, against "gdalwarp -r near" (its default single
# thread) given the same transform as the input's rotated geotransform (a
# VRT over the same PGM pixels), writing a new raw file. The input is in the
# page cache; each side runs once. The pixels must be equal away from the
# edges (a square around the centre whose sources lie well inside).
#   TESK_GEOREF_SIDE   the image's side (default 4096)
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

# Equal pixels over the square of half side (side / 2 - 3) / sqrt 2 around
# the centre, whose sources lie at least two pixels inside the input.
set half [expr {int(($side / 2.0 - 3) / sqrt(2))}]
set first [expr {int($centre) - $half}]
set last [expr {int($centre) + $half}]
set width [expr {$last - $first + 1}]
set fo [open $ours rb]
set ft [open $theirs rb]
set differ 0
for {set y $first} {$y <= $last} {incr y} {
    seek $fo [expr {[string length $header] + $y * $side + $first}]
    seek $ft [expr {$y * $side + $first}]
    set ro [read $fo $width]
    set rt [read $ft $width]
    if {$ro ne $rt} {
        binary scan $ro cu* vo
        binary scan $rt cu* vt
        foreach p $vo q $vt {
            incr differ [expr {$p != $q}]
        }
    }
}
close $fo
close $ft

puts [format "georef: NN rotation by 30 degrees of a %dx%d BYTE image through a power-1 file" $side $side]
puts [format "tesk georef %8.1f ms   gdalwarp -r near %8.1f ms   (tesk/gdal %.2f)   pixels %s (%d compared)" \
          $tOurs $tTheirs [expr {$tOurs / $tTheirs}] [expr {$differ == 0 ? "equal" : "DIFFER in $differ"}] \
          [expr {$width * $width}]]
exit [expr {$differ == 0 ? 0 : 1}]
