# What the canvas item benchmarks share: a canvas of width x height (the
# globals) alone on the screen in its own toplevel at the top left (the
# demo's main window is withdrawn), so that all of it can be read back; a
# redraw that ends with a server round trip; items made at pseudo-random
# places and timed; milliseconds; the report line and the closing table's
# row (the work named by the global benchWork).
source [file join [file dirname [info script]] table.tcl]

proc roundTrip {} {
    update idletasks
    winfo pointerxy .
}

proc makeCanvas {command} {
    global width height
    destroy .b
    toplevel .b
    wm geometry .b +0+0
    set extra [expr {$command eq "gcanvas" ? {-mx 1 -my 1} : {}}]
    $command .b.c -width $width -height $height -highlightthickness 0 -borderwidth 0 -background white {*}$extra
    pack .b.c
    update
}

# n pseudo-random places x y (whole numbers) in 0 .. width, 0 .. height,
# the same for every canvas that asks with the same seed.
proc randomPlaces {seed n width height} {
    expr {srand($seed)}
    set places {}
    for {set i 0} {$i < $n} {incr i} {
        lappend places [expr {int(rand() * $width)}] [expr {int(rand() * $height)}]
    }
    return $places
}

# Creation and redraw milliseconds of items made by the make script once
# for each of the places (i counting them, x and y set); with warm set, the
# items are only made and dropped.
proc measurePlaced {command places make {warm 0}} {
    makeCanvas $command
    set create [lindex [time {
        set i 0
        foreach {x y} $places {
            eval $make
            incr i
        }
        roundTrip
    }] 0]
    update
    if {$warm} {
        destroy .b
        update
        return
    }
    list [ms $create] [redrawMs]
}

proc ms {microseconds} {
    expr {$microseconds / 1000.0}
}

# Milliseconds of the global redraws count of redraws ("move all 1 0" and a
# round trip) of the canvas made by makeCanvas, which then goes.
proc redrawMs {} {
    global redraws
    set redraw [lindex [time {.b.c move all 1 0; roundTrip} $redraws] 0]
    destroy .b
    update
    ms $redraw
}

proc report {what g t} {
    global benchWork
    set ratio [bench.row "gcanvas $benchWork, [string trimright $what :]" "Tk canvas" "1 / 1" $g $t]
    puts [format "%-8s gcanvas %8.1f ms   canvas %8.1f ms   (gcanvas/canvas %s)" $what $g $t $ratio]
}
