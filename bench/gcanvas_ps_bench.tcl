# PostScript output of many rectangles: a 1000x800 gcanvas (-mx 1 -my 1)
# against Tk's own canvas holding the same items, on a 1280x1024 screen
# (tools/bench.sh runs it under Xvfb). 100,000 rectangles of 10 x 10 at
# pseudo-random places in the view, item i tagged t(i mod 10) and
# g(i mod 7), are written with "postscript -file" 5 times; the two EPS
# files must render in ghostscript (when it is installed) to the same
# picture.
source [file join [file dirname [info script]] table.tcl]
set count [expr {[info exists env(TESK_RECTS)] ? $env(TESK_RECTS) : 100000}]
set runs 5
set width 1000
set height 800
set dir $teskDemo(out)

# The same pseudo-random corners for both canvases.
proc makeBoxes {} {
    global count width height
    expr {srand(11)}
    set boxes {}
    for {set i 0} {$i < $count} {incr i} {
        set x [expr {int(rand() * ($width - 10))}]
        set y [expr {int(rand() * ($height - 10))}]
        lappend boxes [list $x $y [expr {$x + 10}] [expr {$y + 10}]]
    }
    return $boxes
}

# Milliseconds per "postscript -file" for a canvas command (gcanvas or
# canvas, with its own options); the last file is left in eps.
proc measure {command options eps} {
    global runs width height
    set boxes [makeBoxes]
    destroy .c
    $command .c -width $width -height $height -highlightthickness 0 -background white {*}$options
    pack .c
    set i 0
    foreach box $boxes {
        .c create rectangle {*}$box -fill #4080c0 -outline #203040 -tags [list t[expr {$i % 10}] g[expr {$i % 7}]]
        incr i
    }
    update
    set ms [lindex [time {.c postscript -file $eps} $runs] 0]
    destroy .c
    update
    return [expr {$ms / 1000.0}]
}

# The pixels of an EPS file as ghostscript renders it.
proc rendered {eps} {
    set ppm [file rootname $eps].ppm
    exec -ignorestderr gs -q -dSAFER -dBATCH -dNOPAUSE -dUseFastColor -sDEVICE=ppmraw -r72 -dEPSCrop -sOutputFile=$ppm $eps
    set f [open $ppm rb]
    set data [read $f]
    close $f
    file delete $ppm
    return $data
}

wm geometry . +0+0
wm deiconify .
puts [format "gcanvas against Tk canvas, postscript -file of %d rectangles in %dx%d, %d runs" \
          $count $width $height $runs]
set gEps [file join $dir gcanvas_ps.eps]
set tEps [file join $dir canvas_ps.eps]
set g [measure gcanvas {-mx 1 -my 1} $gEps]
set t [measure canvas {} $tEps]
puts [format "postscript:  gcanvas %8.1f ms   canvas %8.1f ms   (gcanvas/canvas %s)" $g $t [bench.row "gcanvas postscript of 100000 rectangles" "Tk canvas postscript" "1 / 1" $g $t]]
if {[auto_execok gs] ne ""} {
    puts [format "pictures: %s" [expr {[rendered $gEps] eq [rendered $tEps] ? "the same" : "DIFFERENT"}]]
} else {
    puts "pictures: not compared (no ghostscript)"
}
file delete $gEps $tEps
exit 0
