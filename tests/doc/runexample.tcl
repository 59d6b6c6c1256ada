# Runs the example blocks of one manual page as a reader pastes them: in a
# fresh wish, after "package require Tesk", block after block in the page's
# order, command by command at global level.
#   wish runexample.tcl BLOCKS REPORT
# BLOCKS holds a list {line script ...}: each block's text and the line of
# the page where its first line stands. Writes REPORT, in the order of the
# page: {answer LINE command shown got} for each command followed by a line
# "# -> VALUE" (LINE: that line's place in the page; shown: VALUE; got: the
# command's result), {error LINE message} where a command failed (LINE: the
# command's first line; the rest of its block is not run, the next block
# is), and {error 0 message} for a background error or a failure outside
# the blocks.
set blocksFile [lindex $argv 0]
set reportFile [lindex $argv 1]
set report {}
interp bgerror {} [list apply {{message options} {
    lappend ::report [list error 0 "background error: $message"]
}}]

proc writeReport {} {
    set f [open $::reportFile w]
    fconfigure $f -encoding utf-8
    puts -nonewline $f $::report
    close $f
}

# The commands of a block starting at line first, each with its first line
# and the result shown after it, with that line (or none):
# {line command shown shownLine ...}. A line "# -> VALUE" shows the result
# of the command just before it; anywhere else it is a comment.
proc blockCommands {first script} {
    set out {}
    set command {}
    set n [expr {$first - 1}]
    foreach line [split $script \n] {
        incr n
        if {$command eq "" && [regexp {^\s*# -> ?(.*)$} $line -> shown]} {
            if {[llength $out] > 0 && [lindex $out end] eq ""} {
                lset out end-1 $shown
                lset out end $n
                continue
            }
        }
        if {$command eq ""} {
            set start $n
        }
        append command $line \n
        if {[info complete $command]} {
            if {[string trim $command] ne "" && ![string match #* [string trim $command]]} {
                lappend out $start $command {} {}
            }
            set command {}
        }
    }
    if {[string trim $command] ne ""} {
        lappend out $start $command {} {}
    }
    return $out
}

set f [open $blocksFile]
fconfigure $f -encoding utf-8
set blocks [read $f]
close $f
try {
    package require Tesk
    foreach {first script} $blocks {
        foreach {line command shown shownLine} [blockCommands $first $script] {
            if {[catch {uplevel #0 $command} got]} {
                lappend report [list error $line $got]
                break
            }
            if {$shownLine ne ""} {
                lappend report [list answer $shownLine [string trim $command] $shown $got]
            }
        }
    }
    update
} on error {message} {
    lappend report [list error 0 $message]
}
writeReport
exit
