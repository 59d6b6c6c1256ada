# Turning a large image: a 4096x4096 BYTE BSQ file (netpbm's camouflage
# pattern, made grey) is turned a quarter to the right by "rimage rotate
# -dir RIGHT" into a new file, against "convert -rotate 90" of the same
# pixels as a binary PGM, writing a PGM. The inputs are in the page cache;
# each side runs once. The pixels must be equal everywhere.
#   TESK_ROTATE_SIDE   the image's side (default 4096)
set side [expr {[info exists env(TESK_ROTATE_SIDE)] ? $env(TESK_ROTATE_SIDE) : 4096}]
set dir [file join $teskDemo(out) bench]
file mkdir $dir
set pgm [file join $dir rotate_bench-$side.pgm]
set bsq [file join $dir rotate_bench-$side.bsq]

foreach program {ppmpat ppmtopgm convert} {
    if {[auto_execok $program] eq ""} {
        puts "rotate: $program is missing: install netpbm and imagemagick"
        exit 0
    }
}
if {![file exists $pgm]} {
    exec sh -c "ppmpat -camo -randomseed=1 $side $side | ppmtopgm > '$pgm.part'" 2>/dev/null
    file rename -force $pgm.part $pgm
}
set header "P5\n$side $side\n255\n"
set f [open $pgm rb]
set data [read $f]
close $f
if {[string range $data 0 [string length $header]-1] ne $header} {
    puts "rotate: unexpected PGM header in $pgm"
    exit 1
}
set pixels [string range $data [string length $header] end]
unset data

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
    exec env -u LD_PRELOAD convert $pgm -rotate 90 -depth 8 $theirs
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
puts [format "tesk rotate %8.1f ms   convert -rotate 90 %8.1f ms   (tesk/magick %.2f)   pixels %s" \
          $tOurs $tTheirs [expr {$tOurs / $tTheirs}] \
          [expr {$differ == 0 ? "equal" : $differ < 0 ? "UNREADABLE" : "DIFFER in $differ"}]]
exit [expr {$differ == 0 ? 0 : 1}]
