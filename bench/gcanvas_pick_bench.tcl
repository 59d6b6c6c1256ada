# Picking and searching among many items: a 1000x800 gcanvas (-mx 1 -my 1)
# against Tk's own canvas holding the same 100,000 rectangles of 10 x 10 at
# pseudo-random places, item i tagged t(i mod 10) and g(i mod 7), on a
# 1280x1024 screen (tools/bench.sh runs it under Xvfb). Timed, one run
# each: 2,000 motion events at the same points, each followed by idle
# tasks, with an <Enter> binding on "t1 && !g3" counting; 200 searches
# "find withtag {t1 && !g3 || t2}"; 2,000 "find overlapping" over 20 x 20
# boxes and 2,000 "find closest". The counts and the ids found must agree.
source [file join [file dirname [info script]] table.tcl]
set count [expr {[info exists env(TESK_RECTS)] ? $env(TESK_RECTS) : 100000}]
set width 1000
set height 800
set motions 2000
set withtags 200
set areas 2000

# The same pseudo-random numbers for both canvases.
proc randomPoints {seed n xRange yRange} {
    expr {srand($seed)}
    set points {}
    for {set i 0} {$i < $n} {incr i} {
        lappend points [expr {int(rand() * $xRange)}] [expr {int(rand() * $yRange)}]
    }
    return $points
}

set boxes [randomPoints 7 $count [expr {$width - 10}] [expr {$height - 10}]]
set pointer [randomPoints 11 $motions $width $height]
set probes [randomPoints 13 $areas [expr {$width - 20}] [expr {$height - 20}]]

proc ms {microseconds} {
    expr {$microseconds / 1000.0}
}

# Times for a canvas command (gcanvas or canvas), with what each part found.
proc measure {command args} {
    global boxes pointer probes width height motions withtags entered
    destroy .c
    $command .c -width $width -height $height -highlightthickness 0 -background white {*}$args
    pack .c
    update
    set i 0
    foreach {x y} $boxes {
        .c create rectangle $x $y [expr {$x + 10}] [expr {$y + 10}] -fill #4080c0 -outline {} \
            -tags [list t[expr {$i % 10}] g[expr {$i % 7}]]
        incr i
    }
    update
    set entered 0
    .c bind {t1 && !g3} <Enter> {incr entered}
    event generate .c <Enter> -x 0 -y 0
    set result(motion) [ms [lindex [time {
        foreach {x y} $pointer {
            event generate .c <Motion> -x $x -y $y
            update idletasks
        }
    }] 0]]
    set result(entered) $entered

    set result(withtag) [ms [lindex [time {set found [.c find withtag {t1 && !g3 || t2}]} $withtags] 0] ]
    set result(withtag) [expr {$result(withtag) * $withtags}]
    set result(withtagIds) $found

    set overlapping {}
    set result(overlapping) [ms [lindex [time {
        foreach {x y} $probes {
            lappend overlapping [.c find overlapping $x $y [expr {$x + 20}] [expr {$y + 20}]]
        }
    }] 0]]
    set result(overlappingIds) $overlapping

    set closest {}
    set result(closest) [ms [lindex [time {
        foreach {x y} $probes {
            lappend closest [.c find closest $x $y]
        }
    }] 0]]
    set result(closestIds) $closest
    destroy .c
    update
    return [array get result]
}

wm geometry . +0+0
wm deiconify .
puts [format "gcanvas against Tk canvas, %d rectangles in %dx%d: picking and searches" $count $width $height]
array set g [measure gcanvas -mx 1 -my 1]
array set t [measure canvas]
foreach {key label} [list motion "$motions motions" withtag "$withtags withtag" overlapping "$areas overlapping" \
                         closest "$areas closest"] {
    puts [format "%-18s gcanvas %9.1f ms   canvas %9.1f ms   (gcanvas/canvas %s)" \
              $label $g($key) $t($key) [bench.row "gcanvas $count rectangles, $label" "Tk canvas" "1 / 1" $g($key) $t($key)]]
}
set agree 1
foreach {key what} {entered "<Enter> counts" withtagIds "withtag ids" overlappingIds "overlapping ids"
                    closestIds "closest ids"} {
    if {$g($key) ne $t($key)} {
        puts "DIFFERENT $what"
        set agree 0
    }
}
puts [format "entered: gcanvas %d, canvas %d; results %s" $g(entered) $t(entered) \
          [expr {$agree ? "agree" : "differ"}]]
exit [expr {$agree ? 0 : 1}]
