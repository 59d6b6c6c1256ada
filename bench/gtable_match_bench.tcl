# Table matching: a gtable of 10,000 records (a text field NAME, numeric
# fields AREA and POP) matched with the predicates users write most, each
# the best of 20 runs: expr {%AREA > 100}, the unbraced expr %POP > 150, a
# string match on a text field and an if predicate on two fields. The peer
# is the floor a script reaches with the same values already in a Tcl list:
# a foreach loop with the braced expression, in a procedure (compiled once).
#   TESK_MATCH_RECORDS   the number of records (default 10000)
source [file join [file dirname [info script]] table.tcl]
set count [expr {[info exists env(TESK_MATCH_RECORDS)] ? $env(TESK_MATCH_RECORDS) : 10000}]

expr {srand(7)}
gtable.create t
t define {NAME C 20 0} {AREA N 12 2} {POP N 10 0}
set areas {}
for {set i 0} {$i < $count} {incr i} {
    set area [format %.2f [expr {200 * rand()}]]
    lappend areas $area
    t addrecord [list [lindex {Lisbon Porto Faro Braga} [expr {$i % 4}]] $area [expr {int(300 * rand())}]]
}

proc best {script} {
    set best Inf
    for {set run 0} {$run < 20} {incr run} {
        set best [expr {min($best, [lindex [uplevel 1 [list time $script]] 0])}]
    }
    return $best
}
proc floor {areas} {
    set n 0
    foreach area $areas {
        if {$area > 100} {incr n}
    }
    return $n
}

set theirs [best {floor $areas}]
puts [format "gtable match: %d records" $count]
foreach predicate {
    {expr {%AREA > 100}}
    {expr %POP > 150}
    {string match *or* %NAME}
    {if {%AREA > 100 && %NAME eq "Porto"} {expr 1} else {expr 0}}
} {
    set ours [best [list t match $predicate select]]
    puts [format "  %-62s %7.2f ms" $predicate [expr {$ours / 1000.0}]]
    if {$predicate eq {expr {%AREA > 100}}} {
        set first $ours
    }
}
puts [format "  Tcl foreach over the AREA values in a list (the floor)           %7.2f ms" [expr {$theirs / 1000.0}]]
puts "  ratio of the first to the floor: [bench.row {gtable match expr {%AREA > 100}, 10,000 records} {Tcl foreach over a list} 1/1 $first $theirs]"
exit 0
