# The tour of Tesk: what the package does, shown step by step. Each step
# writes what it shows to the log window and to files in the output folder.

proc tour.step {title} {
    demo.log ""
    demo.log "== $title"
}

# Writes what the windows (side by side, equal heights) show to a PPM file,
# read back from the X server by the test extension; 0 when it is missing.
proc tour.screenshot {windows file} {
    global teskDemo
    set lib [file join $teskDemo(build) libtesktest[info sharedlibextension]]
    if {[info commands tesktest] eq "" && ([catch {load $lib Tesktest}] || [info commands tesktest] eq "")} {
        return 0
    }
    set rows {}
    foreach w $windows {
        set i 0
        foreach row [tesktest readback $w] {
            lset rows $i [concat [lindex $rows $i] [lmap rgb $row {format #%02x%02x%02x {*}$rgb}]]
            incr i
        }
    }
    set photo [image create photo]
    $photo put $rows
    $photo write $file -format ppm
    image delete $photo
    return 1
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
# A two-band scene made by the band calculator: band 1 (near infrared) a
# ring pattern, band 2 (red) a ramp across the scene.
rimage create overwrite -file scene -imgid MBIL -pixel BYTE -rows 128 -columns 192 -nbands 2
rimage bind -file scene -obj nir -bands 1:1
rimage bind -file scene -obj red -bands 2:2
nir init 3
nir ring
red initxy 0.4 0.3 0 0
red + 40
set result [file join $teskDemo(out) nratio.img]
file delete $result
rimage calc -in scene -out $result -f nratio -b 1,2 -imgid BSQ -pixel FLOAT
set ratio [rimage open $result]
rimage bind -file $result -obj ratio.obj
foreach p {{0 0} {96 64} {150 30} {191 127}} {
    lassign $p x y
    demo.log [format "(%3d,%3d): nir %3d red %3d nratio %6.3f" $x $y \
        [nir vget $x $y] [red vget $x $y 2] [ratio.obj vget $x $y]]
}
demo.log "written to $result ([file size $result] bytes, [rimage cget $ratio -imgid] [rimage cget $ratio -pixel])"
rename ratio.obj {}
rename nir {}
rename red {}

tour.step "On screen"
# The scene's infrared band and the ratio (-1 .. 1 stretched over the grey
# levels) side by side, then a picture of what the screen shows.
image create gimg tour.nir -file scene -layer 0
image create gimg tour.ratio -file $result -low0 -1 -high0 1
frame .tour
foreach {name image} {nir tour.nir ratio tour.ratio} {
    label .tour.$name -image $image -borderwidth 0 -highlightthickness 0 -padx 0 -pady 0
    pack .tour.$name -side left
}
pack .tour
wm deiconify .
update
demo.log "gimg views: [image width tour.nir]x[image height tour.nir] and [image width tour.ratio]x[image height tour.ratio]"
set picture [file join $teskDemo(out) tour-screen.ppm]
if {[tour.screenshot {.tour.nir .tour.ratio} $picture]} {
    demo.log "screen picture written to $picture ([file size $picture] bytes)"
} else {
    demo.log "no screen picture: the read-back extension is not built"
}
destroy .tour
image delete tour.nir tour.ratio
rimage close $ratio
rimage close scene

tour.step "Geo canvas"
# A map in world units: 2 pixels a unit, y growing upwards, the world point
# (0, 80) at the top-left corner.
gcanvas .map -width 240 -height 160 -mx 2 -my -2 -viewyorigin 80 -background #f0f0e0 -highlightthickness 0
pack .map
.map create rectangle 5 5 115 75 -outline #606060 -dash {6 4}
.map create rectangle 10 40 50 70 -fill #a0c0e0 -outline #204060 -width 2
.map create oval 60 10 110 50 -fill #c0e0a0 -outline #406020
.map create oval 70 55 80 65 -fill #e04040 -outline {}
update
foreach id {2 3 4} {
    demo.log "item $id ([.map type $id]): world [.map coords $id], window box [.map sbbox $id]"
}
set picture [file join $teskDemo(out) tour-canvas.ppm]
if {[tour.screenshot .map $picture]} {
    demo.log "canvas picture written to $picture ([file size $picture] bytes)"
}
destroy .map

tour.step "Done"
update
set f [open [file join $teskDemo(out) tour.txt] w]
puts $f [join $::demo::log \n]
close $f
puts "tour written to [file join $teskDemo(out) tour.txt]"
exit 0
