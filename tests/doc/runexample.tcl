# Runs one example block of a manual page as a user runs it: in a fresh wish,
# after "package require Tesk", command by command at global level.
#   wish runexample.tcl BLOCK.tcl REPORT
# Writes REPORT: a list of {command shown got} for each command followed by
# a line "# -> VALUE" (shown: VALUE; got: the command's result), then, when
# the block failed, {error MESSAGE}. A background error is a failure too.
set block [lindex $argv 0]
set reportFile [lindex $argv 1]
set report {}
set failure {}
interp bgerror {} [list apply {{message options} {
    lappend ::failure "background error: $message"
}}]

proc writeReport {} {
    set f [open $::reportFile w]
    fconfigure $f -encoding utf-8
    puts -nonewline $f [concat $::report [lmap message $::failure {list error $message}]]
    close $f
}

# The commands of the block, each with the result shown after it (or none):
# {command shown hasShown ...}.
proc blockCommands {script} {
    set out {}
    set command {}
    foreach line [split $script \n] {
        if {$command eq "" && [regexp {^\s*# -> ?(.*)$} $line -> shown]} {
            if {[llength $out] > 0 && ![lindex $out end]} {
                lset out end-1 $shown
                lset out end 1
                continue
            }
        }
        append command $line \n
        if {[info complete $command]} {
            if {[string trim $command] ne "" && ![string match #* [string trim $command]]} {
                lappend out $command {} 0
            }
            set command {}
        }
    }
    if {[string trim $command] ne ""} {
        lappend out $command {} 0
    }
    return $out
}

set f [open $block]
fconfigure $f -encoding utf-8
set script [read $f]
close $f
try {
    package require Tesk
    foreach {command shown hasShown} [blockCommands $script] {
        set got [uplevel #0 $command]
        if {$hasShown} {
            lappend report [list [string trim $command] $shown $got]
        }
    }
    update
} on error {message} {
    lappend failure $message
}
writeReport
exit
