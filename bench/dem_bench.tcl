# Elevation grids in one command: glexSolidDem of a 2048 x 2048 GLfloat
# object (a synthetic terrain written by dem_peer and read with glload),
# lit, colour-material and depth-tested, by the display script of a
# 512x512 glw, 5 redraws, against dem_peer drawing the same grid with the
# same state in a 512x512 GLX window: in plain C immediate mode (colour and
# normal computed per vertex per frame, as the command must), and as the
# fans' triangles from whole-grid arrays refilled every frame (the index
# list made once). One buffer swap a
# redraw everywhere. The pictures are compared through a checksum of their
# glReadPixels bytes (ratio at most 1.0, pictures equal). Run under Xvfb
# 1280x1024x24 as tools/bench.sh runs the others:
#   tests/support/xrun.sh wish demo/start.tcl BUILD bench/dem_bench.tcl
#   TESK_DEM_GRID     points a side (default 2048)
#   TESK_DEM_REDRAWS  redraws a run (default 5)
#   TESK_DEM_RUNS     runs of each, alternating, medians compared (default 1)
source [file join [file dirname [info script]] table.tcl]
source [file join [file dirname [info script]] glbench.tcl]

proc setting {name default} {
    return [expr {[info exists ::env($name)] ? $::env($name) : $default}]
}
set n [setting TESK_DEM_GRID 2048]
set redraws [setting TESK_DEM_REDRAWS 5]
set runs [setting TESK_DEM_RUNS 1]
set peer [file join $teskDemo(build) bench dem_peer]
if {![file executable $peer]} {
    puts "dem: dem_peer not built"
    exit 0
}
set file [file join [setting TMPDIR /tmp] dem_bench[pid].bin]
exec $peer write $file $n
# Spacing and height scale of the grid, in both.
set grid [list $n $n 10 10 8]

wm geometry . +0+0
wm deiconify .
glw .g -width 512 -height 512
pack .g
update
glw current .g
glload dem $file GL_FLOAT

# The state the peer sets once, call for call.
glViewport 0 0 512 512
glClearColor 0.1 0.1 0.2 1
glEnable GL_DEPTH_TEST
glEnable GL_LIGHTING
glEnable GL_LIGHT0
glMatrixMode GL_MODELVIEW
glLoadIdentity
glLight GL_LIGHT0 GL_POSITION {0.3 0.5 1.0 0.0}
glEnable GL_COLOR_MATERIAL
glEnable GL_NORMALIZE
glMatrixMode GL_PROJECTION
glLoadIdentity
glOrtho -0.7 0.7 -0.7 0.7 -2 2
glMatrixMode GL_MODELVIEW
glLoadIdentity
glRotate -55 1 0 0
glRotate 25 0 0 1
# One redraw: what the peer does per frame.
proc drawDem {} {
    glClear GL_COLOR_BUFFER_BIT GL_DEPTH_BUFFER_BIT
    glexSolidDem {*}$::grid dem
}
GLchar display drawDem

set tcl {}
set immediate {}
set arrays {}
try {
    for {set run 0} {$run < $runs} {incr run} {
        lappend tcl [tclRun $redraws]
        lassign [exec $peer draw $file {*}$grid 512 $redraws immediate] ms immediateSum
        lappend immediate $ms
        lassign [exec $peer draw $file {*}$grid 512 $redraws arrays] ms arraysSum
        lappend arrays $ms
    }
    set sum [checksum drawDem]
} finally {
    file delete $file
}
set tclMs [expr {[median $tcl] / $redraws}]
set immediateMs [expr {[median $immediate] / $redraws}]
set arraysMs [expr {[median $arrays] / $redraws}]
proc same {a b} {
    return [expr {$a == $b ? "equal" : "differ ($a, $b)"}]
}
puts [format "dem: glexSolidDem %dx%d lit and depth-tested, %d redraws of a 512x512 glw, median of %d runs" \
          $n $n $redraws $runs]
puts [format "glw %8.1f ms/frame   C immediate %8.1f ms/frame   (glw/peer %s)   pictures %s" \
          $tclMs $immediateMs [bench.row "glexSolidDem ${n}x$n redraw" "C immediate mode (GLX)" "1 / 1" $tclMs $immediateMs 3] [same $sum $immediateSum]]
puts [format "C arrays refilled each frame %8.1f ms/frame   (glw/arrays %s)   pictures %s" \
          $arraysMs [bench.row "glexSolidDem ${n}x$n redraw" "C arrays (GLX)" "1 / 1" $tclMs $arraysMs 3] [same $arraysSum $immediateSum]]
destroy .g
exit 0
