# The in-process programs on large files, against PROJ's own programs on
# the same files in the same run: geod -I on 1,000,000 random point pairs,
# proj into UTM zone 10 on 1,000,000 points, and cs2cs from geographic
# coordinates on the international ellipsoid, shifted with towgs84, to UTM
# zone 31 on WGS84 on 1,000,000 points (the height column is left out of
# the comparison for cs2cs: ours carries the datum shift into the height,
# as the classic program did, PROJ 9's leaves it). Both sides run on one
# thread. Our
# output goes through the console a line at a time, here into a file (the
# console's standard output channel is a file); PROJ's goes to a file too.
# The two outputs must be the same bytes: the benchmark fails (exits 1)
# when they are not. The ellipsoid is named: without one the classic
# default here is WGS84, PROJ 9's program takes GRS80.
source [file join [file dirname [info script]] table.tcl]
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
set f [open $stem.shifted w]
for {set i 0} {$i < $count} {incr i} {
    puts $f [format "%.7f %.7f 0" [expr {-1 + 6 * rand()}] [expr {42 + 9 * rand()}]]
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

# Program, its words, input file, and whether the last column is compared.
set runs [list \
    geod [list -I +ellps=WGS84 -f %.9f -F %.4f] $stem.pairs 1 \
    proj [list +proj=utm +zone=10 +ellps=WGS84] $stem.points 1 \
    cs2cs [list +proj=latlong +ellps=intl +towgs84=-87,-98,-121 +to +proj=utm +zone=31 +ellps=WGS84 \
               +towgs84=0,0,0 -f %.3f] $stem.shifted 0]

set report {}
set allSame 1
# The output's text, without the last column of each line unless whole.
proc outputText {file whole} {
    set f [open $file rb]
    set text [read $f]
    close $f
    if {!$whole} {
        regsub -all -line { [^ \t]*$} $text {} text
    }
    return $text
}

foreach {program words file whole} $runs {
    set ours [intoFile $stem.ours $program {*}$words $file]
    set peer [auto_execok $program]
    if {$peer eq ""} {
        lappend report [format "%s: PROJ's %s program is missing: install proj-bin" $program $program]
        continue
    }
    set theirs [lindex [time {exec {*}$peer {*}$words < $file > $stem.theirs}] 0]
    set same [string equal [outputText $stem.ours $whole] [outputText $stem.theirs $whole]]
    set allSame [expr {$allSame && $same}]
    lappend report [format "%s %s on %d lines: ours %8.1f ms, PROJ's %8.1f ms, ratio %s, outputs %s" \
                        $program $words $count [expr {$ours / 1000.0}] [expr {$theirs / 1000.0}] \
                        [bench.row "$program, $count lines" "PROJ's $program" "1 / 1" $ours $theirs] \
                        [expr {$same ? "equal" : "DIFFER"}]]
}
file delete $stem.pairs $stem.points $stem.shifted $stem.ours $stem.theirs
# stdout was given to the runs: report on standard error and in a file
set summary [open [file join $tmp proj-prog-bench.txt] w]
foreach line $report {
    puts stderr $line
    puts $summary $line
}
close $summary
exit [expr {$allSame ? 0 : 1}]
