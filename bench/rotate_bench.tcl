# Turning a large image: a 4096x4096 BYTE BSQ file (netpbm's camouflage
# pattern, made grey) is turned a quarter to the right by "rimage rotate
# -dir RIGHT" into a new file, against "convert -rotate 90" (one thread) of the same
# pixels as a binary PGM, writing a PGM. The inputs are in the page cache;
# each side runs once. The pixels must be equal everywhere.
#   TESK_ROTATE_SIDE   the image's side (default 4096)
source [file join [file dirname [info script]] table.tcl]
set side [expr {[info exists env(TESK_ROTATE_SIDE)] ? $env(TESK_ROTATE_SIDE) : 4096}]
source [file join [file dirname [info script]] camo.tcl]
set pgm [bench.camoPgm rotate $side convert "netpbm and imagemagick"]
set dir [file dirname $pgm]
set bsq [file join $dir rotate_bench-$side.bsq]
set header [bench.pgmHeader $side]
set pixels [bench.pgmPixels $pgm $side]

# The BSQ file: a new file of the store, its data area overwritten with the
# PGM's pixels.
file delete $bsq
rimage create -file $bsq -imgid BSQ -pixel BYTE -rows $side -columns $side -nbands 1
set offset [rimage cget $bsq -offset]
set f [open $bsq r+b]
seek $f $offset
puts -nonewline $f $pixels
close $f
exec cat $pgm $bsq > /dev/null

set ours [file join $dir rotate_bench-out.bsq]
set theirs [file join $dir rotate_bench-magick.pgm]
file delete $ours $theirs

set tOurs [expr {[lindex [time {
    rimage rotate -in $bsq -out $ours -dir RIGHT
}] 0] / 1000.0}]
set tTheirs [expr {[lindex [time {
    exec env -u LD_PRELOAD convert -limit thread 1 $pgm -rotate 90 -depth 8 $theirs
}] 0] / 1000.0}]

# Ours: the new BSQ file's data area; ImageMagick's: a PGM with the same
# header as the input (the image is square).
set f [open $ours rb]
seek $f $offset
set ro [read $f]
close $f
set f [open $theirs rb]
set rt [read $f]
close $f
set differ 0
if {[string range $rt 0 [string length $header]-1] ne $header} {
    set differ -1
} elseif {$ro ne [string range $rt [string length $header] end]} {
    binary scan $ro cu* vo
    binary scan [string range $rt [string length $header] end] cu* vt
    set differ [expr {[llength $vo] == [llength $vt] ? 0 : [llength $vo] + [llength $vt]}]
    foreach p $vo q $vt {
        incr differ [expr {$p != $q}]
    }
}
file delete $ours $theirs

puts [format "rotate: quarter turn to the right of a %dx%d BYTE BSQ file into a new file" $side $side]
puts [format "tesk rotate %8.1f ms   convert -rotate 90 %8.1f ms   (tesk/magick %s)   pixels %s" \
          $tOurs $tTheirs [bench.row "rotate 90 ${side}x$side BYTE" "convert -rotate 90" "1 / 1" $tOurs $tTheirs] \
          [expr {$differ == 0 ? "equal" : $differ < 0 ? "UNREADABLE" : "DIFFER in $differ"}]]
exit [expr {$differ == 0 ? 0 : 1}]
