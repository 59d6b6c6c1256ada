# The in-process programs on large files, against PROJ's own programs on
# the same files in the same run: geod -I on 1,000,000 random point pairs
# and proj into UTM zone 10 on 1,000,000 points. Our output goes through
# the console a line at a time, here into a file (the console's standard
# output channel is a file); PROJ's goes to a file too. The two outputs
# must be the same bytes. The ellipsoid is named: without one the classic
# default here is WGS84, PROJ 9's program takes GRS80.
set count [expr {[info exists env(TESK_POINTS)] ? $env(TESK_POINTS) : 1000000}]
set tmp [expr {[info exists env(TMPDIR)] ? $env(TMPDIR) : "/tmp"}]
set stem [file join $tmp proj-prog-bench-[pid]]

expr {srand(11)}
set f [open $stem.pairs w]
for {set i 0} {$i < $count} {incr i} {
    puts $f [format "%.6f %.6f %.6f %.6f" [expr {-89 + 178 * rand()}] [expr {-180 + 360 * rand()}] \
                 [expr {-89 + 178 * rand()}] [expr {-180 + 360 * rand()}]]
}
close $f
set f [open $stem.points w]
for {set i 0} {$i < $count} {incr i} {
    puts $f [format "%.6f %.6f" [expr {-126 + 6 * rand()}] [expr {30 + 20 * rand()}]]
}
close $f

# Runs a program command with the console's standard output in a file
# (the channel opened after stdout is closed takes its place); answers the
# microseconds it took.
proc intoFile {file args} {
    catch {close stdout}
    set ch [open $file w]
    chan configure $ch -buffering full -translation lf
    set t [lindex [time {catch {{*}$args}}] 0]
    close $ch
    return $t
}

set runs [list \
    geod [list -I +ellps=WGS84 -f %.9f -F %.4f] $stem.pairs \
    proj [list +proj=utm +zone=10 +ellps=WGS84] $stem.points]

set report {}
foreach {program words file} $runs {
    set ours [intoFile $stem.ours $program {*}$words $file]
    set peer [auto_execok $program]
    if {$peer eq ""} {
        lappend report [format "%s: PROJ's %s program is missing: install proj-bin" $program $program]
        continue
    }
    set theirs [lindex [time {exec {*}$peer {*}$words < $file > $stem.theirs}] 0]
    set a [open $stem.ours rb]
    set b [open $stem.theirs rb]
    set same [string equal [read $a] [read $b]]
    close $a
    close $b
    lappend report [format "%s %s on %d lines: ours %8.1f ms, PROJ's %8.1f ms, ratio %.2f, outputs %s" \
                        $program $words $count [expr {$ours / 1000.0}] [expr {$theirs / 1000.0}] \
                        [expr {double($ours) / $theirs}] [expr {$same ? "equal" : "DIFFER"}]]
}
file delete $stem.pairs $stem.points $stem.ours $stem.theirs
# stdout was given to the runs: report on standard error and in a file
set summary [open [file join $tmp proj-prog-bench.txt] w]
foreach line $report {
    puts stderr $line
    puts $summary $line
}
close $summary
exit 0
