# Redraw speed of a gimg view against a Tk photo showing the same pixels,
# on a 1280x1024 screen of depth 24 (tools/bench.sh runs it under Xvfb):
#   zoom 1     a 1024x1024 view of a 4096x4096 BYTE image, against a label
#              whose photo gets the same 1024x1024 part copied in;
#   zoom 0.25  the whole image in a 1024x1024 view, against a photo copied
#              from one subsampled once from the full photo.
# One redraw is "g update" for the gimg, a photo copy for the photo; then
# idle tasks run and a server round trip waits for the drawing.
source [file join [file dirname [info script]] table.tcl]
set size 4096
set view 1024
set redraws [expr {[info exists env(TESK_REDRAWS)] ? $env(TESK_REDRAWS) : 20}]
set dir [file join $teskDemo(out) bench]
file mkdir $dir
set file [file join $dir gimg_bench.pgm]

# The scene: rings, written to a PGM file so that both sides
# read the same pixels.
rimage create overwrite -file $file -imgid PPM -pixel BYTE -rows $size -columns $size -nbands 1
set made [rimage open $file]
rimage bind -file $file -obj fill -bands 1:1
fill init 40
fill ring
rename fill {}
rimage close $made
image create photo full -file $file
set tag [rimage open $file]

proc roundTrip {} {
    update idletasks
    winfo pointerxy .
}

# Milliseconds per redraw of a label showing image, redraw being a script.
proc timeRedraws {image redraw} {
    global redraws
    label .show -image $image -borderwidth 0 -highlightthickness 0 -padx 0 -pady 0
    pack .show
    update
    uplevel #0 $redraw
    roundTrip
    set us [lindex [time {uplevel #0 $redraw; roundTrip} $redraws] 0]
    destroy .show
    update
    return [expr {$us / 1000.0}]
}

proc checkSize {image} {
    global view
    if {[image width $image] != $view || [image height $image] != $view} {
        error "$image is [image width $image]x[image height $image], not ${view}x$view"
    }
}

wm geometry . +0+0
wm deiconify .
set x0 [expr {($size - $view) / 2}]
set x1 [expr {$x0 + $view}]
puts [format "gimg against photo, %dx%d BYTE image, %dx%d view, depth %d, %d redraws" \
          $size $size $view $view [winfo depth .] $redraws]

image create gimg g1 -file $file -sc $x0 -sr $x0 -maxw $view -maxh $view
image create photo shown1 -width $view -height $view
checkSize g1
set gimg [timeRedraws g1 {g1 update}]
set photo [timeRedraws shown1 {shown1 copy full -from $x0 $x0 $x1 $x1 -to 0 0}]
puts [format "zoom 1:    gimg %7.2f ms   photo %7.2f ms   (gimg/photo %s)" $gimg $photo [bench.row "gimg redraw 1024x1024 at zoom 1" "Tk photo in a label" "1 / 1" $gimg $photo]]
image delete g1 shown1

image create gimg g4 -file $file -mx 0.25 -my 0.25
image create photo small
small copy full -subsample 4 4
image create photo shown4 -width $view -height $view
checkSize g4
set gimg [timeRedraws g4 {g4 update}]
set photo [timeRedraws shown4 {shown4 copy small -to 0 0}]
puts [format "zoom 0.25: gimg %7.2f ms   photo %7.2f ms   (gimg/photo %s)" $gimg $photo [bench.row "gimg redraw 4096x4096 at zoom 0.25" "Tk photo in a label" "1 / 1" $gimg $photo]]
image delete g4 small shown4 full

rimage close $tag
file delete $file
exit 0
