# Dump of a gimg view into a GIF against Tk's photo writing the same
# picture: a 2048x2048 BYTE image of 128 grey levels (even values: a
# wave across the rows with a little texture, shifted from row to row)
# shown at zoom 1 is dumped with "g dump f1.gif GIF89a 8 1"; the same
# picture, made once into a photo with "g dump pp TKPHOTO 8 1", is written
# with "pp write f2.gif -format gif" (Tk's GIF writer refuses a photo of
# more than 256 colours). Five runs each, in a temporary folder; both GIFs
# must decode (Tk photo) to the same pixels.
#   TESK_DUMP_SIDE   the image's side (default 2048)
source [file join [file dirname [info script]] table.tcl]
set side [expr {[info exists env(TESK_DUMP_SIDE)] ? $env(TESK_DUMP_SIDE) : 2048}]
set runs 5
set dir [file join $teskDemo(out) bench gimg_dump-[pid]]
file delete -force $dir
file mkdir $dir

# The picture as a binary PGM: row y is a window of one long row of levels.
set levels {}
for {set i 0} {$i < 2 * $side} {incr i} {
    set v [expr {int(127.5 + 127.5 * sin($i / 41.0)) + ($i * 7919) % 11}]
    lappend levels [expr {min($v, 255) & 0xFE}]
}
set long [binary format c* $levels]
set pgm [file join $dir picture.pgm]
set f [open $pgm wb]
puts -nonewline $f "P5\n$side $side\n255\n"
for {set y 0} {$y < $side} {incr y} {
    set at [expr {($y * 37) % $side}]
    puts -nonewline $f [string range $long $at [expr {$at + $side - 1}]]
}
close $f

image create gimg g -file $pgm
if {[g cget -mx] != 1.0 || [image width g] != $side || [image height g] != $side} {
    puts "gimg dump: the view is not ${side}x$side at zoom 1"
    exit 1
}
set f1 [file join $dir f1.gif]
set f2 [file join $dir f2.gif]
g dump pp TKPHOTO 8 1

proc runs {script} {
    global runs
    set best {}
    for {set i 0} {$i < $runs} {incr i} {
        set us [lindex [uplevel #0 [list time $script]] 0]
        if {$best eq "" || $us < $best} {
            set best $us
        }
    }
    return [expr {$best / 1000.0}]
}

set ours [runs {g dump $f1 GIF89a 8 1}]
set theirs [runs {pp write $f2 -format gif}]

# Both files decode to the same pixels.
image create photo p1 -file $f1
image create photo p2 -file $f2
set equal [expr {[image width p1] == $side && [image height p1] == $side &&
                 [image width p2] == $side && [image height p2] == $side}]
for {set y 0} {$equal && $y < $side} {incr y} {
    set y1 [expr {$y + 1}]
    set equal [expr {[p1 data -from 0 $y $side $y1] eq [p2 data -from 0 $y $side $y1]}]
}
image delete p1 p2 pp g

puts [format "gimg dump %dx%d, 128 grey levels, GIF89a 8 bits: dump %.1f ms   Tk photo write %.1f ms   (dump/photo %s)%s" \
          $side $side $ours $theirs [bench.row "gimg dump ${side}x$side GIF89a" "Tk photo write -format gif" "1 / 1" $ours $theirs] [expr {$equal ? "" : "   PIXELS DIFFER"}]]
file delete -force $dir
exit [expr {$equal ? 0 : 1}]
