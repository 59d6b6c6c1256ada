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

tour.step "Band math"
# A small two-band scene: band 1 is near infrared, band 2 red.
rimage create overwrite -file scene -imgid MBIL -pixel BYTE -rows 4 -columns 6 -nbands 2
rimage bind -file scene -obj scene.obj
for {set y 0} {$y < 4} {incr y} {
    for {set x 0} {$x < 6} {incr x} {
        scene.obj vset $x $y [list [expr {60 + 30 * $x}] [expr {40 + 10 * $y}]]
    }
}
set result [file join $teskDemo(out) nratio.img]
file delete $result
rimage calc -in scene -out $result -f nratio -b 1,2 -imgid BSQ -pixel FLOAT
set ratio [rimage open $result]
rimage bind -file $result -obj ratio.obj
for {set y 0} {$y < 4} {incr y} {
    set row {}
    for {set x 0} {$x < 6} {incr x} {
        lappend row [format %6.3f [ratio.obj vget $x $y]]
    }
    demo.log "nratio row $y: [join $row]"
}
demo.log "written to $result ([file size $result] bytes, [rimage cget $ratio -imgid] [rimage cget $ratio -pixel])"
rename ratio.obj {}
rename scene.obj {}
rimage close $ratio
rimage close scene

tour.step "Done"
update
set f [open [file join $teskDemo(out) tour.txt] w]
puts $f [join $::demo::log \n]
close $f
puts "tour written to [file join $teskDemo(out) tour.txt]"
exit 0
