# Runs one tcltest file under wish and exits with 1 when a test failed.
#   wish runtest.tcl FILE.test
# The environment names the libraries: TESK_LIB (libtesk.so) and TESKTEST_LIB
# (the test extension libtesktest.so).
package require tcltest 2
wm withdraw .
set ::failedTests 0
# An error in a binding, an idle or a timer callback fails the file: it is
# printed with its trace and counted, never left waiting in Tk's error dialog.
# (A file may install its own handler to check such errors itself.)
set ::backgroundErrors 0
interp bgerror {} [list apply {{message options} {
    puts stderr "background error: $message\n[dict get $options -errorinfo]"
    incr ::backgroundErrors
}}]
proc ::tcltest::cleanupTestsHook {} {
    set ::failedTests [expr {$::failedTests + $::tcltest::numTests(Failed)}]
}
# tcltest itself exits (with 0) at the end of a file under Tk: make every exit
# report the failures.
rename exit ::tcltest::realExit
proc exit {{code 0}} {
    if {$code == 0 && ($::failedTests > 0 || $::backgroundErrors > 0)} {
        set code 1
    }
    ::tcltest::realExit $code
}
::tcltest::configure -verbose {body error} -testdir [file dirname [lindex $argv 0]]
if {[catch {uplevel #0 [list source [lindex $argv 0]]} message]} {
    puts stderr "error in [lindex $argv 0]: $message\n$::errorInfo"
    exit 2
}
# A file that did not end with cleanupTests still reports its failures.
if {$::tcltest::numTests(Total) > 0} {
    ::tcltest::cleanupTests
}
exit [expr {$::failedTests > 0 || $::backgroundErrors > 0}]
