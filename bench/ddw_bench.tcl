# The ddw widget on a 1280x1024 screen of depth 24 (tools/bench.sh runs it
# under Xvfb):
#   redraw  a 1024x1024 three-band BYTE image drawn into the back surface and
#           flipped onto the window ("update", display ranges from the
#           statistics), against a label whose photo gets the same pixels
#           copied in from a full photo; each redraw then waits for the
#           server;
#   video   every frame of a 640x480 Motion-JPEG (4:2:0) AVI of 300 frames
#           decoded and packed for the window (one position each), against
#           ffmpeg decoding it to bgr0 frames on one thread (with its
#           start-up), when ffmpeg is installed; each side the best of
#           three.
#   TESK_REDRAWS   redraws per side (default 50)
source [file join [file dirname [info script]] table.tcl]
set redraws [expr {[info exists env(TESK_REDRAWS)] ? $env(TESK_REDRAWS) : 50}]
set dir [file join $teskDemo(out) bench]
file mkdir $dir

proc roundTrip {} {
    update idletasks
    winfo pointerxy .
}

# Milliseconds per run of script, count runs after one to warm up.
proc perRun {count script} {
    uplevel #0 $script
    roundTrip
    set us [lindex [time {uplevel #0 $script; roundTrip} $count] 0]
    return [expr {$us / 1000.0}]
}

# The best of three times of script, in milliseconds.
proc best {script} {
    set best {}
    for {set i 0} {$i < 3} {incr i} {
        set us [lindex [uplevel #0 [list time $script]] 0]
        if {$best eq "" || $us < $best} {
            set best $us
        }
    }
    return [expr {$best / 1000.0}]
}

wm geometry . +0+0
wm deiconify .

# The redraws: rings of three frequencies, one a band, in a PPM file that
# both sides read.
set side 1024
set file [file join $dir ddw_bench.ppm]
rimage create overwrite -file $file -imgid PPM -pixel BYTE -rows $side -columns $side -nbands 3
set made [rimage open $file]
foreach band {1 2 3} frequency {40 25 60} {
    rimage bind -file $file -obj fill -bands $band:$band
    fill init $frequency
    fill ring
    rename fill {}
}
rimage close $made
set tag [rimage open $file]
puts [format "ddw, %dx%d three-band BYTE image, depth %d, %d redraws" $side $side [winfo depth .] $redraws]

ddw .d -width $side -height $side -image $tag -comb 1/2/3
pack .d
update
set ours [perRun $redraws {.d update}]
destroy .d
rimage close $tag

image create photo full -file $file
image create photo shown -width $side -height $side
label .show -image shown -borderwidth 0 -highlightthickness 0 -padx 0 -pady 0
pack .show
update
set photo [perRun $redraws {shown copy full -to 0 0}]
destroy .show
image delete full shown
file delete $file
puts [format "redraw: ddw %7.2f ms   photo %7.2f ms   (ddw/photo %s)" $ours $photo \
          [bench.row "ddw redraw ${side}x$side three-band BYTE" "Tk photo in a label" "1 / 1" $ours $photo]]

if {[auto_execok ffmpeg] eq ""} {
    puts "video: ffmpeg is missing: install ffmpeg"
    exit 0
}
set frames 300
set avi [file join $dir ddw_bench.avi]
exec env -u LD_PRELOAD ffmpeg -loglevel error -y -f lavfi -i testsrc=size=640x480:rate=30 -frames:v $frames \
    -c:v mjpeg -pix_fmt yuvj420p $avi 2>@1
ddw .d -width 640 -height 480
pack .d
update
.d configure -video $avi
set step [.d video frametime]
set ours [best {
    for {set i 0} {$i < $frames} {incr i} {
        .d video [expr {($i + 0.5) * $step}]
    }
    roundTrip
}]
destroy .d
set peer [best {exec env -u LD_PRELOAD ffmpeg -loglevel error -threads 1 -i $avi -pix_fmt bgr0 -f null - 2>@1}]
file delete $avi
puts [format "video:  ddw %7.1f ms   ffmpeg %7.1f ms   (ddw/ffmpeg %s), %d frames of 640x480 Motion-JPEG" $ours $peer \
          [bench.row "ddw video, $frames frames of 640x480 Motion-JPEG" "ffmpeg -threads 1 to bgr0" "1 / 1" $ours $peer] \
          $frames]
exit 0
