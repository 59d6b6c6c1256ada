# Client-side arrays drawn in place: a lit grid of 1000 x 1000 vertices
# (2 million triangles) as GLfloat vertices and normals and a GLuint index
# object, drawn with glVertexPointer, glNormalPointer and glDrawElements by
# the display script of a 512x512 glw, 10 redraws, against gl_arrays_peer
# drawing the same arrays with the same calls in a 512x512 GLX window (one
# buffer swap a redraw in both). The arrays are the peer's own, read with
# glload. Runs alternate; the medians are compared (ratio at most 1.0: no
# copy or index scan per draw), and one more picture of each is compared
# through a checksum of its glReadPixels bytes. tools/bench.sh runs it
# under Xvfb 1280x1024x24.
#   TESK_GL_GRID     vertices a side (default 1000)
#   TESK_GL_REDRAWS  redraws a run (default 10)
#   TESK_GL_RUNS     runs of each (default 5)
source [file join [file dirname [info script]] table.tcl]
source [file join [file dirname [info script]] glbench.tcl]

proc setting {name default} {
    return [expr {[info exists ::env($name)] ? $::env($name) : $default}]
}
set n [setting TESK_GL_GRID 1000]
set redraws [setting TESK_GL_REDRAWS 10]
set runs [setting TESK_GL_RUNS 5]
set peer [file join $teskDemo(build) bench gl_arrays_peer]
if {![file executable $peer]} {
    puts "gl arrays: gl_arrays_peer not built"
    exit 0
}
set dir [file join [setting TMPDIR /tmp] gl_arrays_bench[pid]]
file mkdir $dir
exec $peer write $dir $n

wm geometry . +0+0
wm deiconify .
glw .g -width 512 -height 512
pack .g
update
glw current .g
glload gv [file join $dir grid_v.bin] GL_FLOAT
glload gn [file join $dir grid_n.bin] GL_FLOAT
glload gi [file join $dir grid_i.bin] GL_UNSIGNED_INT
file delete -force $dir
set count [glitems gi]

# The state the peer sets once, call for call.
glViewport 0 0 512 512
glClearColor 0.1 0.1 0.2 1
glEnable GL_LIGHTING
glEnable GL_LIGHT0
glLight GL_LIGHT0 GL_POSITION {0.3 0.5 1.0 0.0}
glEnableClientState 32884
glEnableClientState 32885
# One redraw: what the peer does per frame.
proc drawGrid {} {
    glClear GL_COLOR_BUFFER_BIT
    glVertexPointer 3 GL_FLOAT 0 gv
    glNormalPointer GL_FLOAT 0 gn
    glDrawElements GL_TRIANGLES $::count GL_UNSIGNED_INT gi
}
GLchar display drawGrid

set tcl {}
set c {}
for {set run 0} {$run < $runs} {incr run} {
    lappend tcl [tclRun $redraws]
    lassign [exec $peer draw $n $redraws] ms peerSum
    lappend c $ms
}
set sum [checksum drawGrid]
set tclMs [median $tcl]
set peerMs [median $c]
puts [format "gl arrays: %dx%d grid (%d triangles), %d redraws of a 512x512 glw, median of %d alternating runs" \
          $n $n [expr {$count / 3}] $redraws $runs]
puts [format "glw %8.1f ms   GLX peer %8.1f ms   (glw/peer %s)   pictures %s" \
          $tclMs $peerMs [bench.row "glDrawElements ${n}x$n grid redraw" "plain GLX program" "1 / 1" $tclMs $peerMs 3] [expr {$sum == $peerSum ? "equal" : "differ ($sum, $peerSum)"}]]
destroy .g
exit 0
