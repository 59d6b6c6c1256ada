# Converting points one by one from a script: a loop calling a cs2cs
# object's cs2cs subcommand for 1,000,000 points, from geographic
# coordinates on the international ellipsoid, shifted with towgs84, to UTM
# zone 31 on WGS84. The loop neither formats nor writes its results, so it
# has no peer: the cs2cs program on a file, output compared with PROJ's,
# is in proj_prog_bench.tcl. This prints the cost of a call from a script.
set count [expr {[info exists env(TESK_POINTS)] ? $env(TESK_POINTS) : 1000000}]
set ics {proj=latlong ellps=intl towgs84=-87,-98,-121}
set ocs {proj=utm zone=31 ellps=WGS84 towgs84=0,0,0}

expr {srand(5)}
set points {}
for {set i 0} {$i < $count} {incr i} {
    lappend points [format %.7f [expr {-1 + 6 * rand()}]] [format %.7f [expr {42 + 9 * rand()}]]
}
cs2cs.create c
c csconfigure -ics $ics -ocs $ocs -ix 2 -iy 48 -fmt %.3f
proc loop {points} {
    foreach {x y} $points {
        c cs2cs $x $y 0
    }
}
set ours [lindex [time {loop $points}] 0]

puts [format "cs2cs: %d points, %s to %s" $count $ics $ocs]
puts [format "Tcl loop over a cs2cs object: %8.1f ms (%.2f us a point; no peer: see proj_prog_bench.tcl)" \
          [expr {$ours / 1000.0}] [expr {double($ours) / $count}]]
exit 0
