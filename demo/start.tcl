# Starts a wish session with Tesk loaded, then runs a script (the tour when
# none is given). Called by tools/demo.sh:
#   wish start.tcl BUILD_DIR ?script.tcl?
# The demo folder is the scripts' home (gimgHome): its program.lib is the
# application's script library that Tesk loads at start-up.
set teskDemo(build) [file normalize [lindex $argv 0]]
set teskDemo(script) [lindex $argv 1]
set teskDemo(home) [file dirname [file normalize [info script]]]
set teskDemo(out) [expr {[info exists env(TESK_OUT)] ? $env(TESK_OUT) : [file join [pwd] out]}]
file mkdir $teskDemo(out)

set gimgHome $teskDemo(home)
lappend auto_path $teskDemo(build)
package require Tesk

if {$teskDemo(script) eq ""} {
    set teskDemo(script) [file join $teskDemo(home) tour.tcl]
}
set argv [lrange $argv 2 end]
if {[catch {uplevel #0 [list source $teskDemo(script)]} message]} {
    puts stderr $::errorInfo
    exit 1
}
