# Loading a polygon model: `oglm create` of a one-million-triangle OBJ file
# (a grid of 708 x 708 quads, each split in two triangles, over a smooth
# height field, all faces in smoothing group 1), with normals mode 2 and
# smoothing at 60 degrees, against oglm_peer importing the same file with
# assimp (triangulated, smooth normals limited to 60 degrees). Runs
# alternate; the medians are compared (ratio at most 1.0), and both must
# give every triangle. Without oglm_peer (assimp not installed) only our
# figure is printed. Run under Xvfb as tools/bench.sh runs the others:
#   tests/support/xrun.sh wish demo/start.tcl BUILD bench/oglm_bench.tcl
#   TESK_OGLM_QUADS  quads a side (default 708)
#   TESK_OGLM_RUNS   runs of each (default 3)
source [file join [file dirname [info script]] table.tcl]
source [file join [file dirname [info script]] glbench.tcl]

proc setting {name default} {
    return [expr {[info exists ::env($name)] ? $::env($name) : $default}]
}
set quads [setting TESK_OGLM_QUADS 708]
set runs [setting TESK_OGLM_RUNS 3]
set peer [file join $teskDemo(build) bench oglm_peer]
set hasPeer [file executable $peer]
wm withdraw .

# The grid: (quads + 1)^2 vertices one unit apart, heights of a few gentle
# waves (neighbouring triangles meet at a few degrees, far below 60), and
# two triangles a quad.
proc writeGrid {file quads} {
    set n [expr {$quads + 1}]
    set f [open $file w]
    fconfigure $f -buffering full -buffersize 1048576 -translation lf
    puts $f "# oglm_bench grid, $quads x $quads quads"
    for {set j 0} {$j < $n} {incr j} {
        set lines {}
        for {set i 0} {$i < $n} {incr i} {
            lappend lines [format "v %d %d %.5f" $i $j \
                               [expr {20.0 * sin($i * 0.02) * cos($j * 0.015) + 5.0 * sin(($i + $j) * 0.05)}]]
        }
        puts $f [join $lines \n]
    }
    puts $f "g grid"
    puts $f "s 1"
    for {set j 0} {$j < $quads} {incr j} {
        set lines {}
        for {set i 0} {$i < $quads} {incr i} {
            set a [expr {$j * $n + $i + 1}]
            set b [expr {$a + 1}]
            set c [expr {$a + $n}]
            set d [expr {$c + 1}]
            lappend lines "f $a $b $d" "f $a $d $c"
        }
        puts $f [join $lines \n]
    }
    close $f
}

# Milliseconds of one load, and the triangles it gave (faces summed over
# the groups of `oglm info`).
proc oglmRun {file} {
    set start [clock microseconds]
    oglm create m -file $file -normal 2 -smoothmode 2 -smoothness 60
    set ms [expr {([clock microseconds] - $start) / 1000.0}]
    set faces 0
    foreach group [lindex [oglm info m] 0] {
        incr faces [lindex $group 2]
    }
    oglm delete m
    return [list $ms $faces]
}

set file [file join [setting TMPDIR /tmp] oglm_bench[pid].obj]
writeGrid $file $quads
set triangles [expr {2 * $quads * $quads}]
set ours {}
set theirs {}
set counts {}
for {set run 0} {$run < $runs} {incr run} {
    lassign [oglmRun $file] ms faces
    lappend ours $ms
    lappend counts oglm=$faces
    if {$hasPeer} {
        lassign [exec $peer $file] ms faces
        lappend theirs $ms
        lappend counts assimp=$faces
    }
}
file delete $file
set wrong {}
foreach count [lsort -unique $counts] {
    if {[lindex [split $count =] 1] != $triangles} {
        lappend wrong $count
    }
}
puts [format "oglm: create of a %dx%d-quad OBJ grid (%d triangles), -normal 2 -smoothmode 2 -smoothness 60, median of %d runs" \
          $quads $quads $triangles $runs]
set ourMs [median $ours]
if {$hasPeer} {
    set theirMs [median $theirs]
    puts [format "oglm %8.1f ms   assimp %8.1f ms   (oglm/assimp %s)" $ourMs $theirMs [bench.row "oglm OBJ load ${quads}x$quads quads smoothed" "assimp" "1 / 1" $ourMs $theirMs 3]]
} else {
    puts [format "oglm %8.1f ms   (oglm_peer not built: assimp not installed)" $ourMs]
}
if {[llength $wrong]} {
    puts "triangle counts differ from $triangles: $wrong"
    exit 1
}
exit 0
