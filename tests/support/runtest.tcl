# Runs one tcltest file under wish and exits with 1 when a test failed.
#   wish runtest.tcl FILE.test
# The environment names the libraries: TESK_LIB (libtesk.so) and TESKTEST_LIB
# (the test extension libtesktest.so).
package require tcltest 2
wm withdraw .
set ::failedTests 0
proc ::tcltest::cleanupTestsHook {} {
    set ::failedTests [expr {$::failedTests + $::tcltest::numTests(Failed)}]
}
::tcltest::configure -verbose {body error} -testdir [file dirname [lindex $argv 0]]
if {[catch {uplevel #0 [list source [lindex $argv 0]]} message]} {
    puts stderr "error in [lindex $argv 0]: $message\n$::errorInfo"
    exit 2
}
exit [expr {$::failedTests > 0}]
