# The closing table of tools/bench.sh: each benchmark adds one row per
# ratio it prints (the work, the peer, the threads on each side and the
# ratio of the two times) to the file named by TESK_BENCH_TABLE, which
# tools/bench.sh prints as one table at the end. Without the variable
# nothing is written.

# Adds a row; answers the ratio ours / theirs as printed, with digits
# decimals.
proc bench.row {work peer threads ours theirs {digits 2}} {
    global env
    set ratio [format %.${digits}f [expr {double($ours) / $theirs}]]
    if {[info exists env(TESK_BENCH_TABLE)] && $env(TESK_BENCH_TABLE) ne ""} {
        set f [open $env(TESK_BENCH_TABLE) a]
        puts $f [join [list $work $peer $threads $ratio] \t]
        close $f
    }
    return $ratio
}
