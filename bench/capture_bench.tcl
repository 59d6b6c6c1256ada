# Screen and canvas captures on a 1280x1024 screen of depth 24 (tools/bench.sh
# runs it under Xvfb, with no window manager): a 1000 x 800 Tk canvas of
# 20,000 filled, outlined rectangles at random places (seeded), shown at the
# screen's corner. Each measure makes the same picture 20 times, one run,
# against a peer in the same process, and the two pictures must agree pixel
# for pixel.
#   window: "rimage window w .c" (the canvas's screen area read into a RAM
#           image) against libtk-img's "image create photo -format window
#           -data .c" (package img::window, Debian's libtk-img).
#   canvas: "rimage canvas .c cap" (the items rendered off screen into a RAM
#           image) against Tk's own route to the same picture: ".c move all
#           1 0" (then -1 0, so that an even count ends where it began),
#           "update idletasks" and the window read into a photo as above.
#   TESK_CAPTURES   captures per side (default 20)
set captures [expr {[info exists env(TESK_CAPTURES)] ? $env(TESK_CAPTURES) : 20}]
if {[catch {package require img::window}]} {
    puts "capture: img::window is missing: install libtk-img"
    exit 0
}
load [file join $teskDemo(build) libtesktest.so] Tesktest

set width 1000
set height 800
wm withdraw .
toplevel .t -borderwidth 0 -highlightthickness 0
wm geometry .t +0+0
canvas .t.c -width $width -height $height -bg white -highlightthickness 0 -borderwidth 0
pack .t.c
expr {srand(20231)}
set colours {red green blue yellow cyan magenta orange purple brown grey30}
for {set i 0} {$i < 20000} {incr i} {
    set x [expr {int(rand() * $width)}]
    set y [expr {int(rand() * $height)}]
    set w [expr {4 + int(rand() * 60)}]
    set h [expr {4 + int(rand() * 60)}]
    .t.c create rectangle $x $y [expr {$x + $w}] [expr {$y + $h}] \
        -fill [lindex $colours [expr {$i % 10}]] -outline [lindex $colours [expr {($i + 3) % 10}]]
}
for {set i 0} {$i < 200 && ![winfo viewable .t.c]} {incr i} {
    update
    after 10
}
raise .t
update
after 100
update

# Milliseconds of count runs of script.
proc timed {count script} {
    set us [lindex [uplevel 1 [list time $script $count]] 0]
    return [expr {$us * $count / 1000.0}]
}

# Empty when every pixel of the memory image tag (blue, green, red bands)
# equals the photo's, else the first pixel that does not.
proc firstDifference {tag photo} {
    set columns [rimage cget $tag -columns]
    set rows [rimage cget $tag -rows]
    if {$columns != [image width $photo] || $rows != [image height $photo]} {
        return [list size $columns $rows [image width $photo] [image height $photo]]
    }
    for {set y 0} {$y < $rows} {incr y} {
        set blue [tesktest img getbytes $tag $y 0 0 $columns]
        set green [tesktest img getbytes $tag $y 1 0 $columns]
        set red [tesktest img getbytes $tag $y 2 0 $columns]
        set ours [lmap r $red g $green b $blue {format #%02x%02x%02x $r $g $b}]
        set theirs [lindex [$photo data -from 0 $y $columns [expr {$y + 1}]] 0]
        if {$ours ne $theirs} {
            foreach a $ours b $theirs x [lsearch -all $ours *] {
                if {$a ne $b} {
                    return [list $x $y $a $b]
                }
            }
        }
    }
    return {}
}

source [file join [file dirname [info script]] table.tcl]
set failed 0
proc report {name what ours theirs difference {peer "window photo"}} {
    global failed
    if {$difference ne ""} {
        set failed 1
    }
    set ratio [bench.row "capture $name" $peer "1 / 1" $ours $theirs]
    puts [format "capture %s: %s" $name $what]
    puts [format "  tesk %8.1f ms   peer %8.1f ms   (tesk/peer %s)   pixels %s" $ours $theirs $ratio \
              [expr {$difference eq "" ? "equal" : "DIFFER $difference"}]]
}

# The canvas's screen area.
set ours [timed $captures {rimage window w .t.c}]
set theirs [timed $captures {
    catch {image delete shot}
    image create photo shot -format window -data .t.c
}]
report window "rimage window w .c against image create photo -format window -data .c, $captures each" \
    $ours $theirs [firstDifference w shot]
image delete shot

# The canvas's items rendered.
set ours [timed $captures {rimage canvas .t.c cap}]
set step 1
set theirs [timed $captures {
    .t.c move all $step 0
    set step [expr {-$step}]
    update idletasks
    catch {image delete shot}
    image create photo shot -format window -data .t.c
}]
report canvas "rimage canvas .c cap against .c move all, update idletasks and the window photo, $captures each" \
    $ours $theirs [firstDifference cap shot] "canvas redraw and window photo"
image delete shot

exit $failed
