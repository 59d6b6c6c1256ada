# Text labels: a 1000x800 gcanvas (-mx 1 -my 1) against Tk's own canvas with
# the same labels, on a 1280x1024 screen (tools/bench.sh runs it under
# Xvfb), one run each.
#   text:  20,000 text items "Label i" in {DejaVu Sans} 10 at pseudo-random
#          places; creation, then 10 redraws (one redraw is "move all 1 0",
#          idle tasks and a server round trip).
#   gtext: 20,000 gtext items at escapement (i mod 12) x 30 against Tk's
#          text at that -angle; the same.
#   zoom:  10 zooms of 20,000 scalable labels (gcanvas alone: a figure).
# Before the timed runs, both canvases make their items once, untimed, so
# that neither timed run pays for growing the process's heap.
# TESK_LABELS changes the number of labels.
set labels [expr {[info exists env(TESK_LABELS)] ? $env(TESK_LABELS) : 20000}]
set redraws 10
set width 1000
set height 800
set font {{DejaVu Sans} 10}

source [file join [file dirname [info script]] canvasbench.tcl]

# Creation and redraw milliseconds of labels made by the make script
# (i, x, y set); with warm set, the items are only made and dropped.
proc measure {command make {warm 0}} {
    global labels width height
    measurePlaced $command [randomPlaces 17 $labels $width $height] $make $warm
}

proc compare {title work gmake tmake} {
    global benchWork
    set benchWork $work
    puts $title
    measure gcanvas $gmake 1
    measure canvas $tmake 1
    lassign [measure gcanvas $gmake] gCreate gRedraw
    lassign [measure canvas $tmake] tCreate tRedraw
    report create: $gCreate $tCreate
    report redraw: $gRedraw $tRedraw
}

wm withdraw .
compare [format "gcanvas against Tk canvas, %d text labels in %dx%d, %d redraws" $labels $width $height $redraws] \
    "$labels text labels" \
    {.b.c create text $x $y -text "Label $i" -font $::font} \
    {.b.c create text $x $y -text "Label $i" -font $::font}
compare [format "gcanvas gtext against Tk canvas text -angle, %d labels, %d redraws" $labels $redraws] \
    "$labels turned gtext labels (Tk: text -angle)" \
    {.b.c create gtext $x $y -text "Label $i" -font $::font -escapement [expr {$i % 12 * 30}]} \
    {.b.c create text $x $y -text "Label $i" -font $::font -angle [expr {$i % 12 * 30}]}

# Zooms of scalable labels: each changes every label's size.
makeCanvas gcanvas
expr {srand(17)}
for {set i 0} {$i < $labels} {incr i} {
    .b.c create text [expr {rand() * $width}] [expr {rand() * $height}] -text "Label $i" -font $font -scalable 1
}
roundTrip
set zoom [lindex [time {
    foreach m {1.1 1.2 1.3 1.4 1.5 1.4 1.3 1.2 1.1 1.0} {
        .b.c configure -mx $m -my $m
        roundTrip
    }
}] 0]
puts [format "zoom:    gcanvas %8.1f ms for 10 zooms of %d scalable labels" [ms $zoom] $labels]
destroy .b
exit 0
