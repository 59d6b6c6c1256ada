# Canvas printing and metafiles: gmetafile of a 1000x800 Tk canvas holding
# 20,000 items (rectangles, ovals and lines at pseudo-random places)
# against Tk's own "postscript -file" of the same canvas, on a 1280x1024
# screen (tools/bench.sh runs it under Xvfb); then the time of a six-page
# "printer canvas" of it to the file printer.
source [file join [file dirname [info script]] table.tcl]
set count [expr {[info exists env(TESK_ITEMS)] ? $env(TESK_ITEMS) : 20000}]
set runs 5
set width 1000
set height 800
set dir $teskDemo(out)

wm geometry . +0+0
wm deiconify .
canvas .c -width $width -height $height -highlightthickness 0 -background white
pack .c
expr {srand(7)}
for {set i 0} {$i < $count} {incr i} {
    set x [expr {int(rand() * ($width - 20))}]
    set y [expr {int(rand() * ($height - 20))}]
    switch [expr {$i % 3}] {
        0 {.c create rectangle $x $y [expr {$x + 12}] [expr {$y + 9}] -fill #4080c0 -outline #203040}
        1 {.c create oval $x $y [expr {$x + 10}] [expr {$y + 14}] -fill #c08040 -outline {}}
        2 {.c create line $x $y [expr {$x + 18}] [expr {$y + 7}] -fill #208020 -width 2}
    }
}
update

set emf [file join $dir print_bench.emf]
set eps [file join $dir print_bench.eps]
set ours [expr {[lindex [time {gmetafile .c $emf 0 0 [expr {$width - 1}] [expr {$height - 1}]} $runs] 0] / 1000.0}]
set tk [expr {[lindex [time {.c postscript -file $eps} $runs] 0] / 1000.0}]
puts [format "gmetafile against Tk canvas postscript, %d items in %dx%d, %d runs" $count $width $height $runs]
puts [format "metafile:  gmetafile %8.1f ms   postscript %8.1f ms   (gmetafile/postscript %s)" \
          $ours $tk [bench.row "gmetafile of $count canvas items" "Tk canvas postscript" "1 / 1" $ours $tk]]

# Six pages: 3 columns by 2 rows of page tiles at 5 printer pixels per unit
# on A4 at 300 dpi less 25.4 mm margins (tiles of 376 x 582 units).
set env(TESK_PRINT_FILE) [file join $dir print_bench.ps]
printer interactive 0
set pages [expr {[lindex [time {printer canvas .c 5 0 0 999 799}] 0] / 1000.0}]
set f [open $env(TESK_PRINT_FILE) rb]
regexp -line {^%%Pages: (\d+)$} [read $f] -> count
close $f
puts [format "printer canvas: %s pages to the file printer in %.1f ms" $count $pages]
file delete $emf $eps $env(TESK_PRINT_FILE)
exit 0
