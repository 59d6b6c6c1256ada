# The tour of Tesk: what the package does, shown step by step. Each step
# writes what it shows to the log window and to files in the output folder.

proc tour.step {title} {
    demo.log ""
    demo.log "== $title"
}

tour.step "The package"
demo.log "Tesk [package present Tesk] loaded (tesk version: [tesk version])"
demo.log "home of the scripts: $gimgHome"

tour.step "Progress meter"
calc meter
foreach pct {0 25 50 75 100} {
    calc meter "reading rows" $pct
}

tour.step "Script libraries"
set source [file join $teskDemo(out) hello.tcl]
set f [open $source w]
puts $f {proc tour.hello {} {return "hello from a compressed script library"}}
close $f
set library [file join $teskDemo(out) hello.lib]
calc compsave $library $source
calc decompload $library
demo.log "[file size $library] bytes in $library: [tour.hello]"

tour.step "Done"
update
set f [open [file join $teskDemo(out) tour.txt] w]
puts $f [join $::demo::log \n]
close $f
puts "tour written to [file join $teskDemo(out) tour.txt]"
exit 0
