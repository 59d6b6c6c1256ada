# Redraw speed of a masked gimg view against a Tk photo with the same
# pixels made transparent, on a 1280x1024 screen of depth 24 (tools/bench.sh
# runs it under Xvfb): a 1024x1024 BYTE image of random values (in 32x32
# blocks) at zoom 1 in a label, its values below 128 hidden by "mask data
# {off 0-127}", against a label whose photo is copied (-compositingrule set)
# from a photo of the same greys whose pixels below 128 were made
# transparent once. One redraw
# is "g update" or the photo copy; then idle tasks run and a server round
# trip waits for the drawing. Both labels are read back once and must show
# the same pixels.
source [file join [file dirname [info script]] table.tcl]
set side 1024
set redraws [expr {[info exists env(TESK_REDRAWS)] ? $env(TESK_REDRAWS) : 20}]
set dir [file join $teskDemo(out) bench]
file mkdir $dir
set file [file join $dir gimg_mask_bench.pgm]
load [file join $teskDemo(build) libtesktest.so] Tesktest
puts [format "masked gimg against transparent photo, %dx%d random BYTE image, zoom 1, depth %d, %d redraws" \
          $side $side [winfo depth .] $redraws]

# The scene: random values in blocks of 32 x 32 pixels, written to a PGM file
# that both sides read. (Per-pixel noise is out of the photo's reach: Tk
# builds a transparent photo's valid region one run at a time, and with
# half a million runs neither making the photo nor one copy of it ends.)
rimage create overwrite -file $file -imgid PPM -pixel BYTE -rows $side -columns $side -nbands 1
set block 32
set tag [rimage open $file]
for {set y 0} {$y < $side} {incr y $block} {
    set row {}
    for {set x 0} {$x < $side} {incr x $block} {
        lappend row {*}[lrepeat $block [expr {int(rand() * 256)}]]
    }
    for {set r $y} {$r < $y + $block} {incr r} {
        tesktest img putbytes $tag $r 0 0 $row
    }
}
rimage close $tag
set tag [rimage open $file]

# The photo: the same greys as a grey-and-alpha PNG, alpha 0 below 128.
proc pngChunk {type data} {
    set body $type$data
    return [binary format I [string length $data]]$body[binary format I [zlib crc32 $body]]
}
set raw {}
for {set y 0} {$y < $side} {incr y} {
    set pairs {}
    foreach v [tesktest img getbytes $tag $y 0 0 $side] {
        lappend pairs $v [expr {$v < 128 ? 0 : 255}]
    }
    append raw [binary format cc* 0 $pairs]
}
set png "\x89PNG\r\n\x1a\n"
append png [pngChunk IHDR [binary format IIccccc $side $side 8 4 0 0 0]]
append png [pngChunk IDAT [zlib compress $raw]] [pngChunk IEND {}]
unset raw
set us [lindex [time {image create photo source -format png -data [binary encode base64 $png]}] 0]
puts [format "photo of the transparent pixels made once in %.0f ms" [expr {$us / 1000.0}]]

proc roundTrip {} {
    update idletasks
    winfo pointerxy .
}

# The labels live in a toplevel at the screen's corner, so that the whole
# of them is on the screen and can be read back.
proc showLabel {image} {
    toplevel .show -borderwidth 0 -highlightthickness 0
    wm geometry .show +0+0
    label .show.l -image $image -borderwidth 0 -highlightthickness 0 -padx 0 -pady 0
    pack .show.l
    update
    raise .show
    update
}

# Milliseconds per redraw of a label showing image, redraw being a script.
proc timeRedraws {image redraw} {
    global redraws
    showLabel $image
    uplevel #0 $redraw
    roundTrip
    set us [lindex [time {uplevel #0 $redraw; roundTrip} $redraws] 0]
    destroy .show
    update
    return [expr {$us / 1000.0}]
}

# The CRC of each band of 64 rows that a label showing image reads back.
proc shownBands {image} {
    global side
    showLabel $image
    set out {}
    for {set y 0} {$y < $side} {incr y 64} {
        lappend out [zlib crc32 [tesktest readback .show.l 0 $y $side 64]]
    }
    destroy .show
    update
    return $out
}

wm withdraw .

image create gimg g -file $file
g mask data {off 0-127}
image create photo shown -width $side -height $side
shown copy source -compositingrule set
if {[image width g] != $side || [image height g] != $side} {
    error "g is [image width g]x[image height g], not ${side}x$side"
}
set same [expr {[shownBands g] eq [shownBands shown] ? "same pixels" : "PIXELS DIFFER"}]
set gimg [timeRedraws g {g update}]
set photo [timeRedraws shown {shown copy source -compositingrule set}]
puts [format "mask data: gimg %7.2f ms   photo %7.2f ms   (gimg/photo %s)   %s" $gimg $photo \
          [bench.row "masked gimg redraw 1024x1024" "Tk photo with transparent pixels" "1 / 1" $gimg $photo] $same]

image delete g shown source
rimage close $tag
file delete $file
exit 0
