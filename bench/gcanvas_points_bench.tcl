# Point items: a 1000x800 gcanvas (-mx 1 -my 1) against Tk's own canvas, on
# a 1280x1024 screen (tools/bench.sh runs it under Xvfb), one run each.
#   symbols: 20,000 labelled symbols (oval markers 10 x 10, "W i" beside)
#            against Tk's 10 x 10 ovals and texts;
#   bitmaps: 20,000 "questhead" bitmaps;
#   images:  20,000 images of one 32 x 32 photo;
#   groups:  4,000 groups of 5 rectangles against Tk's 20,000 rectangles;
# each at pseudo-random places: creation, then 10 redraws (one redraw is
# "move all 1 0", idle tasks and a server round trip). Before the timed
# runs, both canvases make their items once, untimed, so that neither
# timed run pays for growing the process's heap. TESK_POINTS and
# TESK_GROUPS change the numbers.
set points [expr {[info exists env(TESK_POINTS)] ? $env(TESK_POINTS) : 20000}]
set groups [expr {[info exists env(TESK_GROUPS)] ? $env(TESK_GROUPS) : 4000}]
set redraws 10
set width 1000
set height 800
set font {{DejaVu Sans} 8}
# The five rectangles of a group, as offsets from its point.
set rects {0 0 6 6  8 0 14 6  16 0 22 6  0 8 6 14  8 8 14 14}

source [file join [file dirname [info script]] canvasbench.tcl]

image create photo tile -width 32 -height 32
tile put #3070c0 -to 0 0 32 32
tile put #e0a020 -to 8 8 24 24

# Creation and redraw milliseconds of n items made by the make script (i,
# x, y set); with warm set, the items are only made and dropped.
proc measure {command n make {warm 0}} {
    global width height
    measurePlaced $command [randomPlaces 23 $n [expr {$width - 40}] [expr {$height - 20}]] $make $warm
}

proc compare {title work n gmake tmake} {
    global benchWork
    set benchWork $work
    puts $title
    measure gcanvas $n $gmake 1
    measure canvas $n $tmake 1
    lassign [measure gcanvas $n $gmake] gCreate gRedraw
    lassign [measure canvas $n $tmake] tCreate tRedraw
    report create: $gCreate $tCreate
    report redraw: $gRedraw $tRedraw
}

wm withdraw .
set size [format "in %dx%d, %d redraws" $width $height $redraws]
compare "gcanvas against Tk canvas, $points labelled symbols $size" \
    "$points labelled symbols (Tk: ovals and texts)" $points \
    {.b.c create symbol $x $y -text "W $i" -font $::font -anchor e} \
    {.b.c create oval [expr {$x - 5}] [expr {$y - 5}] [expr {$x + 5}] [expr {$y + 5}] -outline red
     .b.c create text [expr {$x + 6}] $y -text "W $i" -font $::font -anchor w}
compare "gcanvas against Tk canvas, $points bitmaps $size" "$points bitmaps" $points \
    {.b.c create bitmap $x $y -bitmap questhead} \
    {.b.c create bitmap $x $y -bitmap questhead}
compare "gcanvas against Tk canvas, $points images of a 32 x 32 photo $size" "$points images" $points \
    {.b.c create image $x $y -image tile} \
    {.b.c create image $x $y -image tile}
compare "gcanvas against Tk canvas, $groups groups of 5 rectangles (Tk: [expr {5 * $groups}] rectangles) $size" \
    "$groups groups of 5 rectangles (Tk: rectangles)" $groups \
    {set g [.b.c create group $x $y]
     foreach {a b c d} $::rects {
         .b.c group grp$g rect $a $b $c $d -fill #4080c0 -outline #203040
     }} \
    {foreach {a b c d} $::rects {
         .b.c create rectangle [expr {$x + $a}] [expr {$y + $b}] [expr {$x + $c}] [expr {$y + $d}] \
             -fill #4080c0 -outline #203040
     }}
exit 0
