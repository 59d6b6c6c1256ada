# The cost of one gl command: 1,000,000 "glVertex $x 2.5 3.5" in a Tcl loop
# between glBegin GL_POINTS and glEnd (then glFinish) in a 512x512 glw,
# against the same loop calling an empty procedure of three arguments, and
# the same glVertex3f calls made from C (gl_vertex_floor) as the floor; one
# run each on a 1280x1024 screen (tools/bench.sh runs it under Xvfb).
#   TESK_GL_CALLS   the number of calls (default 1000000)
source [file join [file dirname [info script]] table.tcl]
set count [expr {[info exists env(TESK_GL_CALLS)] ? $env(TESK_GL_CALLS) : 1000000}]

proc nop {x y z} {}

# Each loop in a procedure of its own, so that both are compiled alike.
proc glLoop {count} {
    glBegin GL_POINTS
    for {set x 0} {$x < $count} {incr x} {
        glVertex $x 2.5 3.5
    }
    glEnd
    glFinish
}

proc nopLoop {count} {
    for {set x 0} {$x < $count} {incr x} {
        nop $x 2.5 3.5
    }
}

wm geometry . +0+0
wm deiconify .
glw .g -width 512 -height 512
pack .g
update
glw current .g
glViewport 0 0 512 512
glClear GL_COLOR_BUFFER_BIT
glFinish
# Both loops once over a few calls first: compiled and warm.
glLoop 1000
nopLoop 1000

set gl [expr {[lindex [time {glLoop $count}] 0] / 1000.0}]
set nop [expr {[lindex [time {nopLoop $count}] 0] / 1000.0}]
set floor [file join $teskDemo(build) bench gl_vertex_floor]
if {[file executable $floor] && ![catch {exec $floor $count} ms]} {
    set floor [format "%.1f ms" $ms]
} else {
    set floor "not built"
}
puts [format "gl calls: %d glVertex in a 512x512 glw" $count]
puts [format "glVertex %8.1f ms   nop proc %8.1f ms   (glVertex/nop %s)   C glVertex3f floor %s" \
          $gl $nop [bench.row "glVertex Tcl command" "empty Tcl procedure" "1 / 1" $gl $nop] $floor]
destroy .g
exit 0
