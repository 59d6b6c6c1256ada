# Shared set-up of the tcltest files: loads Tesk (with no application
# script library) and the test extension into the main interpreter.
package require tcltest 2
namespace import ::tcltest::*

set teskAppScripts {}
load $env(TESK_LIB) Tesk
load $env(TESKTEST_LIB) Tesktest

# Declare a peer: peerConstraint NAME PROGRAM ?PROGRAM ...? (every program on PATH), or
# peerConstraint NAME -if EXPRESSION WHAT (EXPRESSION true in the caller; WHAT names the peer).
# Sets the tcltest constraint NAME and answers it. A file run alone skips the
# peer's tests when the peer is missing; under tools/test.sh
# (TESK_REQUIRE_PEERS=1) a missing peer adds a failing test that names it,
# so that no comparison is lost quietly: tools/setup.sh all installs them.
proc peerConstraint {name args} {
    if {[lindex $args 0] eq "-if"} {
        lassign $args - condition what
        set present [uplevel 1 [list expr $condition]]
    } else {
        set what [join $args ", "]
        set present [expr {[llength $args] > 0}]
        foreach program $args {
            if {[auto_execok $program] eq ""} {
                set present 0
            }
        }
    }
    testConstraint $name $present
    if {!$present && [info exists ::env(TESK_REQUIRE_PEERS)] && $::env(TESK_REQUIRE_PEERS) ni {"" 0}} {
        test peer-$name "the peer $what is installed" -body [list error "missing peer: $what"] -result {}
    }
    return $present
}

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

# Runs script as inChild does on a disk that is all but full: under a file
# size limit of blocks (of 512 or 1024 bytes, as the shell counts them)
# with SIGXFSZ ignored, so that a write past it fails with EFBIG. A write
# that should not happen then fails its case instead of filling the disk.
proc inFullDiskChild {blocks script} {
    inChild $script {} $blocks
}

# Runs script in a new wish process under a 20-second limit, after
# "set teskAppScripts {}; load $env(TESK_LIB) Tesk" unless bare is given;
# answers its standard output and error together, with "timeout" as its
# last line when the limit ended it. For what could wait for ever (a FIFO
# opened, an endless device read) a test must not wait with it. With limit,
# under a file size limit of that many blocks (see inFullDiskChild).
proc inChild {script {bare {}} {limit {}}} {
    set file [file join [::tcltest::temporaryDirectory] child-[pid].tcl]
    set head [expr {$bare eq "bare" ? "" : "set teskAppScripts {}\nload \$env(TESK_LIB) Tesk\n"}]
    writeFile $file "$head$script\nexit 0\n"
    set command [list timeout 20 [info nameofexecutable] $file]
    if {$limit ne ""} {
        set command [list sh -c "ulimit -f $limit && trap '' XFSZ && exec \"\$@\"" sh {*}$command]
    }
    set code [catch {exec {*}$command 2>@1} out options]
    file delete $file
    if {$code && [lrange [dict get $options -errorcode] 0 0] eq "CHILDSTATUS" &&
        [lindex [dict get $options -errorcode] 2] == 124} {
        append out \ntimeout
    }
    return $out
}
