# Converting points one by one from a script: a loop calling a cs2cs
# object's cs2cs subcommand for 1,000,000 points, against PROJ's cs2cs
# program converting the same points from a file, in the same run. Both
# go from geographic coordinates on the international ellipsoid, shifted
# with towgs84, to UTM zone 31 on WGS84.
set count [expr {[info exists env(TESK_POINTS)] ? $env(TESK_POINTS) : 1000000}]
set ics {proj=latlong ellps=intl towgs84=-87,-98,-121}
set ocs {proj=utm zone=31 ellps=WGS84 towgs84=0,0,0}

expr {srand(5)}
set points {}
for {set i 0} {$i < $count} {incr i} {
    lappend points [format %.7f [expr {-1 + 6 * rand()}]] [format %.7f [expr {42 + 9 * rand()}]]
}
set file [file join [expr {[info exists env(TMPDIR)] ? $env(TMPDIR) : "/tmp"}] cs2cs-bench-[pid].txt]
set f [open $file w]
foreach {x y} $points {
    puts $f "$x $y 0"
}
close $f

cs2cs.create c
c csconfigure -ics $ics -ocs $ocs -ix 2 -iy 48 -fmt %.3f
proc loop {points} {
    foreach {x y} $points {
        c cs2cs $x $y 0
    }
}
set ours [lindex [time {loop $points}] 0]

set program [auto_execok cs2cs]
if {$program eq ""} {
    puts "PROJ's cs2cs program is missing: install proj-bin"
    set theirs 0
} else {
    set plus [lmap word [concat $ics +to $ocs] {expr {$word eq "+to" ? $word : "+$word"}}]
    set theirs [lindex [time {exec {*}$program {*}$plus -f %.3f < $file > /dev/null}] 0]
}
file delete $file
puts [format "cs2cs: %d points, %s to %s" $count $ics $ocs]
puts [format "Tcl loop over a cs2cs object: %8.1f ms (%.2f us a point)" [expr {$ours / 1000.0}] [expr {double($ours) / $count}]]
if {$theirs > 0} {
    puts [format "PROJ's cs2cs program on a file: %8.1f ms (%.2f us a point)   (loop/program %.2f)" \
              [expr {$theirs / 1000.0}] [expr {double($theirs) / $count}] [expr {double($ours) / $theirs}]]
}
exit 0
