# Creation and redraw of many rectangles: a 1000x800 gcanvas against Tk's
# own canvas doing the same, on a 1280x1024 screen (tools/bench.sh runs it
# under Xvfb). 100,000 rectangles at random positions inside the view are
# created, then the whole view is redrawn 20 times; one redraw is
# "move all" by one unit, idle tasks and a server round trip.
source [file join [file dirname [info script]] table.tcl]
set count [expr {[info exists env(TESK_RECTS)] ? $env(TESK_RECTS) : 100000}]
set redraws 20
set width 1000
set height 800

proc roundTrip {} {
    update idletasks
    winfo pointerxy .
}

# The same random rectangles for both canvases, made anew for each, so that
# neither reads numbers that the other has already converted.
proc makeBoxes {} {
    global count width height
    expr {srand(7)}
    set boxes {}
    for {set i 0} {$i < $count} {incr i} {
        set x [expr {rand() * ($width - 20)}]
        set y [expr {rand() * ($height - 20)}]
        lappend boxes [list $x $y [expr {$x + 4 + rand() * 16}] [expr {$y + 4 + rand() * 16}]]
    }
    return $boxes
}

# Milliseconds to create the rectangles and per redraw, for a canvas
# command (gcanvas or canvas).
proc measure {command} {
    global redraws width height
    set boxes [makeBoxes]
    destroy .c
    $command .c -width $width -height $height -highlightthickness 0 -background white
    pack .c
    update
    set create [lindex [time {
        foreach box $boxes {
            .c create rectangle {*}$box -fill #4080c0 -outline #203040
        }
        roundTrip
    }] 0]
    update
    set redraw [lindex [time {.c move all 1 0; roundTrip} $redraws] 0]
    destroy .c
    update
    return [list [expr {$create / 1000.0}] [expr {$redraw / 1000.0}]]
}

wm geometry . +0+0
wm deiconify .
puts [format "gcanvas against Tk canvas, %d rectangles in %dx%d, %d redraws" $count $width $height $redraws]
lassign [measure gcanvas] gCreate gRedraw
lassign [measure canvas] tCreate tRedraw
puts [format "create:  gcanvas %8.1f ms   canvas %8.1f ms   (gcanvas/canvas %s)" \
          $gCreate $tCreate [bench.row "gcanvas $count rectangles, create" "Tk canvas" "1 / 1" $gCreate $tCreate]]
puts [format "redraw:  gcanvas %8.1f ms   canvas %8.1f ms   (gcanvas/canvas %s)" \
          $gRedraw $tRedraw [bench.row "gcanvas $count rectangles, 20 redraws" "Tk canvas" "1 / 1" $gRedraw $tRedraw]]
exit 0
