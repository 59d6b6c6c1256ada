# Shared set-up of the tcltest files: loads Tesk (with no application
# script library) and the test extension into the main interpreter.
package require tcltest 2
namespace import ::tcltest::*

set teskAppScripts {}
load $env(TESK_LIB) Tesk
load $env(TESKTEST_LIB) Tesktest

# A fresh folder for files made by a test; cleanupTests removes it.
proc testFolder {name} {
    set dir [file join [::tcltest::temporaryDirectory] tesk-[pid]-$name]
    file delete -force $dir
    return [::tcltest::makeDirectory tesk-[pid]-$name]
}

# Writes text to a file (UTF-8) and answers the file name.
proc writeFile {name text} {
    set f [open $name w]
    fconfigure $f -encoding utf-8
    puts -nonewline $f $text
    close $f
    return $name
}

# How many pixels of two readbacks (tesktest readback) differ.
proc differing {a b} {
    set n 0
    foreach ra $a rb $b {
        foreach pa $ra pb $rb {
            incr n [expr {$pa ne $pb}]
        }
    }
    return $n
}

# Runs script with standard output and error captured; answers {out err}.
proc captured {script} {
    tesktest capture start
    set code [catch {uplevel 1 $script} message]
    set streams [tesktest capture stop]
    if {$code} {
        return -code error $message
    }
    return $streams
}

# Runs a command line while this process keeps serving events; answers its
# standard output (binary), or "timeout".
proc outputOf {command} {
    set pipe [open |$command r]
    fconfigure $pipe -translation binary -blocking 0
    set ::pipeOut {}
    set ::pipeEnd {}
    fileevent $pipe readable [list apply {{pipe} {
        append ::pipeOut [read $pipe]
        if {[eof $pipe]} {set ::pipeEnd eof}
    }} $pipe]
    set timer [after 20000 {set ::pipeEnd timeout}]
    vwait ::pipeEnd
    after cancel $timer
    catch {close $pipe}
    expr {$::pipeEnd eq "timeout" ? "timeout" : $::pipeOut}
}
