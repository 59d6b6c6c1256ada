# Resampling a large image onto a shifted grid: a 4096x4096 BYTE BSQ file
# (netpbm's camouflage pattern, made grey) on unit pixels is resampled by
# "rimage resample -rsp NN" into an existing BSQ file of the same size whose
# grid lies 0.3 pixel to the right and 0.6 pixel down, against "gdalwarp -r
# near" (its default single thread) of the same pixels (a VRT over the BSQ
# file's data area) onto the same grid, writing a new raw file. Our output
# is closed before the run, so its time includes writing the rows back. The
# input is in the page cache; each side runs once. The pixels must be equal
# away from the edges (all but the outer rows and columns).
#   TESK_RESAMPLE_SIDE   the image's side (default 4096)
source [file join [file dirname [info script]] table.tcl]
set side [expr {[info exists env(TESK_RESAMPLE_SIDE)] ? $env(TESK_RESAMPLE_SIDE) : 4096}]
source [file join [file dirname [info script]] camo.tcl]
set pgm [bench.camoPgm resample $side gdalwarp "netpbm and gdal-bin"]
set dir [file dirname $pgm]
set bsq [file join $dir resample_bench-$side.bsq]
set pixels [bench.pgmPixels $pgm $side]

# The input: a new BSQ file of the store, its data area overwritten with the
# PGM's pixels; the output: a BSQ file of zeros on the shifted grid.
set shiftX 0.3
set shiftY 0.6
set ours [file join $dir resample_bench-out.bsq]
file delete $bsq $ours
rimage create -file $bsq -imgid BSQ -pixel BYTE -rows $side -columns $side -nbands 1 -x0 0 -y0 $side -dx 1 -dy 1
rimage create -file $ours -imgid BSQ -pixel BYTE -rows $side -columns $side -nbands 1 -x0 $shiftX \
    -y0 [expr {$side - $shiftY}] -dx 1 -dy 1
set offset [rimage cget $bsq -offset]
set outOffset [rimage cget $ours -offset]
set f [open $bsq r+b]
seek $f $offset
puts -nonewline $f $pixels
close $f
unset pixels
exec cat $bsq $ours > /dev/null

set vrt [file join $dir resample_bench.vrt]
set f [open $vrt w]
puts $f "<VRTDataset rasterXSize=\"$side\" rasterYSize=\"$side\">"
puts $f "  <GeoTransform>0, 1, 0, $side, 0, -1</GeoTransform>"
puts $f "  <VRTRasterBand dataType=\"Byte\" band=\"1\" subClass=\"VRTRawRasterBand\">"
puts $f "    <SourceFilename relativeToVRT=\"1\">[file tail $bsq]</SourceFilename>"
puts $f "    <ImageOffset>$offset</ImageOffset><PixelOffset>1</PixelOffset><LineOffset>$side</LineOffset>"
puts $f "  </VRTRasterBand>\n</VRTDataset>"
close $f
set theirs [file join $dir resample_bench-gdal.img]
file delete $theirs [file rootname $theirs].hdr

set tOurs [expr {[lindex [time {
    rimage resample -in $bsq -out $ours -rsp NN
}] 0] / 1000.0}]
set tTheirs [expr {[lindex [time {
    exec env -u LD_PRELOAD gdalwarp -q -of ENVI -ot Byte -te $shiftX [expr {-$shiftY}] [expr {$side + $shiftX}] \
        [expr {$side - $shiftY}] -ts $side $side -r near $vrt $theirs
}] 0] / 1000.0}]

# Equal pixels but in the outer rows and columns.
set first 1
set last [expr {$side - 2}]
set width [expr {$last - $first + 1}]
set fo [open $ours rb]
set ft [open $theirs rb]
set differ 0
for {set y $first} {$y <= $last} {incr y} {
    seek $fo [expr {$outOffset + $y * $side + $first}]
    seek $ft [expr {$y * $side + $first}]
    set ro [read $fo $width]
    set rt [read $ft $width]
    if {$ro ne $rt} {
        binary scan $ro cu* vo
        binary scan $rt cu* vt
        incr differ [expr {[llength $vo] == [llength $vt] ? 0 : $width}]
        foreach p $vo q $vt {
            incr differ [expr {$p != $q}]
        }
    }
}
close $fo
close $ft
file delete $theirs [file rootname $theirs].hdr

puts [format "resample: NN onto a grid shifted by (%s, %s) pixels of a %dx%d BYTE BSQ file" $shiftX $shiftY $side $side]
puts [format "tesk resample %8.1f ms   gdalwarp -r near %8.1f ms   (tesk/gdal %s)   pixels %s (%d compared)" \
          $tOurs $tTheirs [bench.row "resample NN 4096x4096 BYTE" "gdalwarp -r near" "1 / 1" $tOurs $tTheirs] [expr {$differ == 0 ? "equal" : "DIFFER in $differ"}] \
          [expr {$width * $width}]]
exit [expr {$differ == 0 ? 0 : 1}]
