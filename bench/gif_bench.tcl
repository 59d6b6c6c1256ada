# Reading a large GIF: an 8192x8192 GIF of 256 colours made by netpbm's
# pamtogif (camouflage blobs quantised with Floyd-Steinberg dithering, so
# that strings of every length occur) is opened and every row of every
# band read through the store, against Tk's "image create photo -file" of
# the same file, in the same process, the file already in the page cache.
# Each side is timed best of three; the pixels must be equal (checked on
# sampled rows through the palette).
#   TESK_GIF_SIDE   the image's side (default 8192)
source [file join [file dirname [info script]] table.tcl]
set side [expr {[info exists env(TESK_GIF_SIDE)] ? $env(TESK_GIF_SIDE) : 8192}]
set dir [file join $teskDemo(out) bench]
file mkdir $dir
set file [file join $dir gif_bench-$side.gif]

foreach program {ppmpat pnmquant pamtogif} {
    if {[auto_execok $program] eq ""} {
        puts "gif: $program is missing: install netpbm"
        exit 0
    }
}
if {![file exists $file]} {
    exec sh -c "ppmpat -camo -randomseed=1 $side $side | pnmquant -floyd 256 | pamtogif > '$file.part'" 2>/dev/null
    file rename -force $file.part $file
}
load [file join $teskDemo(build) libtesktest.so] Tesktest
exec cat $file > /dev/null

proc best {script} {
    set best {}
    for {set i 0} {$i < 3} {incr i} {
        set us [lindex [uplevel 1 [list time $script]] 0]
        if {$best eq "" || $us < $best} {set best $us}
    }
    return [expr {$best / 1000.0}]
}

set ours [best {
    set tag [rimage open $file]
    tesktest img readall $tag
    rimage close $tag
}]
set theirs [best {
    image create photo shown -file $file
    image delete shown
}]

# The same colours on sampled rows.
set tag [rimage open $file]
image create photo shown -file $file
set colours {}
foreach entry [rimage getIndices $tag] {
    dict set colours [lindex $entry 0] [format #%02x%02x%02x {*}[lrange $entry 1 3]]
}
set equal 1
for {set y 0} {$y < $side} {incr y [expr {max(1, $side / 16)}]} {
    set row [lmap v [tesktest img getbytes $tag $y 0 0 $side] {dict get $colours $v}]
    if {[join $row] ne [join [lindex [shown data -from 0 $y $side [expr {$y + 1}]] 0]]} {
        set equal 0
    }
}
image delete shown
rimage close $tag

puts [format "gif: open and read a %dx%d GIF of 256 colours (%.1f MB)" $side $side [expr {[file size $file] / 1e6}]]
puts [format "tesk store %8.1f ms   Tk photo %8.1f ms   (tesk/photo %s)   pixels %s" $ours $theirs \
          [bench.row "GIF 8192x8192 open and read" "Tk photo -file" "1 / 1" $ours $theirs] [expr {$equal ? "equal" : "DIFFER"}]]
exit [expr {$equal ? 0 : 1}]
