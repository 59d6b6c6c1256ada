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
# standard output (binary), or "timeout" when it ran longer than limit
# milliseconds.
proc outputOf {command {limit 20000}} {
    set pipe [open |$command r]
    fconfigure $pipe -translation binary -blocking 0
    set ::pipeOut {}
    set ::pipeEnd {}
    fileevent $pipe readable [list apply {{pipe} {
        append ::pipeOut [read $pipe]
        if {[eof $pipe]} {set ::pipeEnd eof}
    }} $pipe]
    set timer [after $limit {set ::pipeEnd timeout}]
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

# How a child meets a full disk: "tmpfs" where a process may mount a small
# tmpfs of its own in a user namespace, else "limit" (a file size limit).
# TESK_FULL_DISK (tmpfs or limit) chooses one.
proc fullDiskWay {} {
    if {![info exists ::fullDiskWay]} {
        if {[info exists ::env(TESK_FULL_DISK)] && $::env(TESK_FULL_DISK) ne ""} {
            set ::fullDiskWay $::env(TESK_FULL_DISK)
        } else {
            set probe [file join [::tcltest::temporaryDirectory] fullprobe-[pid]]
            file mkdir $probe
            set ::fullDiskWay [expr {[catch {exec timeout 10 unshare -rm sh -c \
                {mount -t tmpfs -o size=64k tmpfs "$1"} sh $probe 2>@1}] ? "limit" : "tmpfs"}]
            file delete -force $probe
        }
    }
    return $::fullDiskWay
}

# Runs script in a new wish process (Tesk and the test extension loaded)
# whose writes meet a full disk, under a 60-second limit; answers its
# standard output and error together, with "timeout" as its last line when
# the limit ended it. The script works in its current folder, which holds
# the files of folder (the earlier files a test keeps), and calls fullDisk
# ?room? once they are in place. On a tmpfs (fullDiskWay) the folder is a
# 4 MiB tmpfs of the child's own, filled by fullDisk to the last byte but
# room (so that small files still fit); elsewhere
# it is folder itself, and the child may write no file past 32 KiB (a file
# size limit with SIGXFSZ ignored, so that the write fails). Either way a
# file of more than 64 KiB cannot be written.
proc onFullDisk {folder script} {
    set file [file join [::tcltest::temporaryDirectory] full-[pid].tcl]
    set head {
        set teskAppScripts {}
        load $env(TESK_LIB) Tesk
        load $env(TESKTEST_LIB) Tesktest
        wm withdraw .
        if {$env(FULL_WAY) eq "tmpfs"} {
            foreach name [glob -nocomplain -directory $env(FULL_FROM) *] {
                file copy $name $env(FULL_DIR)
            }
        }
        cd $env(FULL_DIR)
        proc fullDisk {{room 0}} {
            if {$::env(FULL_WAY) ne "tmpfs"} {
                return
            }
            set f [open .room w]
            puts -nonewline $f [string repeat r $room]
            close $f
            foreach size {65536 4096 1} {
                set f [open .filler a]
                fconfigure $f -translation binary -buffering none
                catch {
                    while 1 {
                        puts -nonewline $f [string repeat x $size]
                    }
                }
                catch {close $f}
            }
            file delete .room
        }
    }
    writeFile $file "$head\n$script\nexit 0\n"
    set way [fullDiskWay]
    set wish [info nameofexecutable]
    set saved [array get ::env]
    set ::env(FULL_WAY) $way
    set ::env(FULL_FROM) $folder
    if {$way eq "tmpfs"} {
        set mount [file join [::tcltest::temporaryDirectory] fullmount-[pid]]
        file mkdir $mount
        set ::env(FULL_DIR) $mount
        set command [list timeout 60 unshare -rm sh -c {mount -t tmpfs -o size=4m tmpfs "$1" && exec "$2" "$3"} \
                         sh $mount $wish $file]
    } else {
        set ::env(FULL_DIR) $folder
        set command [list timeout 60 sh -c {trap '' XFSZ; ulimit -f 64 && exec "$1" "$2"} sh $wish $file]
    }
    set code [catch {exec {*}$command 2>@1} out options]
    array unset ::env FULL_*
    array set ::env $saved
    file delete $file
    if {$way eq "tmpfs"} {
        file delete -force $mount
    }
    if {$code && [lrange [dict get $options -errorcode] 0 0] eq "CHILDSTATUS" &&
        [lindex [dict get $options -errorcode] 2] == 124} {
        append out \ntimeout
    }
    return $out
}
