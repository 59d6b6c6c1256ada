# Lines, polygons and rectangles: a 1000x800 gcanvas (-mx 1 -my 1) against
# Tk's own canvas with the same items, on a 1280x1024 screen (tools/bench.sh
# runs it under Xvfb), one run each.
#   stars: 20,000 polygons and 20,000 polylines of 40 vertices, stars of
#          radius 15 at pseudo-random places in the view, the polygons grey
#          outlined black, the lines blue; creation, then 20 redraws (one
#          redraw is "move all 1 0", idle tasks and a server round trip). The
#          two canvases must read back alike at the star centres.
#   rects: 100,000 rectangles, created, then 20 redraws as above.
# Before the timed runs of a part, both canvases make its items once,
# untimed, so that neither timed run pays for growing the process's heap
# (the first to run would otherwise). TESK_ITEMS_PART (stars, rects or
# all), TESK_STARS (polygons, and lines, per canvas) and TESK_RECTS change
# the run.
load [file join $teskDemo(build) libtesktest.so] Tesktest

set part [expr {[info exists env(TESK_ITEMS_PART)] ? $env(TESK_ITEMS_PART) : "all"}]
set stars [expr {[info exists env(TESK_STARS)] ? $env(TESK_STARS) : 20000}]
set rects [expr {[info exists env(TESK_RECTS)] ? $env(TESK_RECTS) : 100000}]
set redraws 20
set width 1000
set height 800
set probes 200

source [file join [file dirname [info script]] canvasbench.tcl]

# Centres of n stars inside the view, the same for both canvases.
proc starCentres {seed n} {
    global width height
    expr {srand($seed)}
    set centres {}
    for {set i 0} {$i < $n} {incr i} {
        lappend centres [expr {15 + int(rand() * ($width - 30))}] [expr {15 + int(rand() * ($height - 30))}]
    }
    return $centres
}

# The 40 vertices of a star around x y: tips at radius 15, notches at 7.
proc starPoints {x y} {
    set points {}
    for {set k 0} {$k < 40} {incr k} {
        set r [expr {$k % 2 ? 7.0 : 15.0}]
        set a [expr {$k * 3.141592653589793 / 20}]
        lappend points [expr {$x + $r * cos($a)}] [expr {$y + $r * sin($a)}]
    }
    return $points
}

# The star coordinate lists, made anew for each canvas so that neither reads
# numbers that the other has already converted.
proc starLists {centres} {
    set lists {}
    foreach {x y} $centres {
        lappend lists [starPoints $x $y]
    }
    return $lists
}

# The centres read back: the first $probes of the polygons and of the lines.
proc probePoints {} {
    global probes polygonCentres lineCentres
    set n [expr {2 * $probes - 1}]
    concat [lrange $polygonCentres 0 $n] [lrange $lineCentres 0 $n]
}

# Creation and redraw milliseconds, and the pixels at the probed centres;
# with warm set, the items are only made and dropped.
proc measureStars {command {warm 0}} {
    global redraws polygonCentres lineCentres
    set polygons [starLists $polygonCentres]
    set lines [starLists $lineCentres]
    makeCanvas $command
    set create [lindex [time {
        foreach p $polygons {
            .b.c create polygon {*}$p -fill grey -outline black
        }
        foreach l $lines {
            .b.c create line {*}$l -fill blue
        }
        roundTrip
    }] 0]
    update
    if {$warm} {
        destroy .b
        update
        return
    }
    set pixels {}
    foreach {x y} [probePoints] {
        lappend pixels [lindex [tesktest readback .b.c $x $y 1 1] 0 0]
    }
    list [ms $create] [redrawMs] $pixels
}

proc measureRects {command {warm 0}} {
    global redraws rects width height
    expr {srand(7)}
    set boxes {}
    for {set i 0} {$i < $rects} {incr i} {
        set x [expr {rand() * ($width - 20)}]
        set y [expr {rand() * ($height - 20)}]
        lappend boxes [list $x $y [expr {$x + 4 + rand() * 16}] [expr {$y + 4 + rand() * 16}]]
    }
    makeCanvas $command
    set create [lindex [time {
        foreach box $boxes {
            .b.c create rectangle {*}$box -fill #4080c0 -outline #203040
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

wm withdraw .
if {$part in {stars all}} {
    set polygonCentres [starCentres 11 $stars]
    set lineCentres [starCentres 13 $stars]
    puts [format "gcanvas against Tk canvas, %d polygons and %d lines of 40 vertices in %dx%d, %d redraws" \
              $stars $stars $width $height $redraws]
    measureStars gcanvas 1
    measureStars canvas 1
    lassign [measureStars gcanvas] gCreate gRedraw gPixels
    lassign [measureStars canvas] tCreate tRedraw tPixels
    set benchWork "$stars polygons and $stars lines"
    report create: $gCreate $tCreate
    report redraw: $gRedraw $tRedraw
    set alike 0
    set unlike {}
    foreach {x y} [probePoints] g $gPixels t $tPixels {
        if {$g eq $t} {
            incr alike
        } elseif {[llength $unlike] < 10} {
            lappend unlike "($x,$y) gcanvas {$g} canvas {$t}"
        }
    }
    puts [format "readback: %d of %d star centres alike" $alike [llength $gPixels]]
    foreach text $unlike {
        puts "  unlike at $text"
    }
}
if {$part in {rects all}} {
    puts [format "gcanvas against Tk canvas, %d rectangles in %dx%d, %d redraws" $rects $width $height $redraws]
    measureRects gcanvas 1
    measureRects canvas 1
    lassign [measureRects gcanvas] gCreate gRedraw
    lassign [measureRects canvas] tCreate tRedraw
    set benchWork "$rects rectangles"
    report create: $gCreate $tCreate
    report redraw: $gRedraw $tRedraw
}
exit 0
