# Drawing a vector layer: 200,000 small polygons of 25 vertices each (5
# million vertices) shown by one gcanvas object item, against the same
# polygons as Tk canvas polygon items, on a 1000x800 view (tools/bench.sh
# runs it under Xvfb). One redraw is "move all" by one unit, idle tasks
# and a server round trip. Our creation counts the shape object's build by
# addrecord, which parses the same texts as the canvas's polygon items.
source [file join [file dirname [info script]] table.tcl]
set count [expr {[info exists env(TESK_POLYGONS)] ? $env(TESK_POLYGONS) : 200000}]
set vertices 25
set redraws 5
set width 1000
set height 800

proc roundTrip {} {
    update idletasks
    winfo pointerxy .
}

# Closed star-shaped rings at random places inside the view, as the texts
# a script reads from a file (both canvases parse the same words); the
# last vertex repeats the first.
expr {srand(11)}
set rings {}
set step [expr {2 * acos(-1) / ($vertices - 1)}]
for {set i 0} {$i < $count} {incr i} {
    set cx [expr {10 + rand() * ($width - 20)}]
    set cy [expr {10 + rand() * ($height - 20)}]
    set ring {}
    for {set k 0} {$k < $vertices - 1} {incr k} {
        set r [expr {$k % 2 ? 3.0 : 8.0}]
        append ring [format "%.3f %.3f " [expr {$cx + $r * cos($k * $step)}] [expr {$cy - $r * sin($k * $step)}]]
    }
    append ring [lrange $ring 0 1]
    lappend rings $ring
}

shape.create layer
layer initialize POLYGON
set build [lindex [time {
    foreach ring $rings {
        layer addrecord $ring
    }
}] 0]

# Milliseconds to create the items and per redraw; script fills the canvas.
proc measure {command script} {
    global redraws width height
    destroy .c
    $command .c -width $width -height $height -highlightthickness 0 -background white
    pack .c
    update
    set create [lindex [time {uplevel #0 $script; roundTrip}] 0]
    update
    set redraw [lindex [time {.c move all 1 0; roundTrip} $redraws] 0]
    destroy .c
    update
    return [list [expr {$create / 1000.0}] [expr {$redraw / 1000.0}]]
}

wm geometry . +0+0
wm deiconify .
puts [format "vector layer: %d polygons, %d vertices, %dx%d view, %d redraws" \
          $count [layer vertex count] $width $height $redraws]
puts [format "shape object built by addrecord: %.1f ms" [expr {$build / 1000.0}]]
lassign [measure gcanvas {.c create object 0 0 -object layer -fill #4080c0 -outline #203040}] gCreate gRedraw
lassign [measure canvas {
    foreach ring $::rings {
        .c create polygon $ring -fill #4080c0 -outline #203040
    }
}] tCreate tRedraw
set gCreate [expr {$gCreate + $build / 1000.0}]
puts [format "create:  addrecord and gcanvas object %9.1f ms   canvas polygons %9.1f ms   (gcanvas/canvas %s)" \
          $gCreate $tCreate [bench.row "vector layer, record build and create" "Tk canvas polygons" "1 / 1" $gCreate $tCreate 3]]
puts [format "redraw:  gcanvas object %9.1f ms   canvas polygons %9.1f ms   (gcanvas/canvas %s)" \
          $gRedraw $tRedraw [bench.row "vector layer redraw" "Tk canvas polygons" "1 / 1" $gRedraw $tRedraw 3]]
exit 0
