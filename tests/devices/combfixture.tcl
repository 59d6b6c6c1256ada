# The application procedures that the comb widget kit calls, as a form
# application defines them: the arrow images, reading and showing a number
# field's value, the change hook of a number field, and the clean-up of the
# _comb keys of items whose windows go. Sourced by the devices tests.

namespace eval ::combfixture {
    # Arrow bitmaps (7 x 4) by file name.
    variable bitmaps
    set bitmaps(up.bmp) {
        #define up_width 7
        #define up_height 4
        static unsigned char up_bits[] = {
            0x08, 0x1c, 0x3e, 0x7f};
    }
    set bitmaps(down.bmp) {
        #define down_width 7
        #define down_height 4
        static unsigned char down_bits[] = {
            0x7f, 0x3e, 0x1c, 0x08};
    }
    # Script run after a number field's value was shown, by field path.
    variable change
    array set change {}
    # How often num.get and num.set ran.
    variable calls
    array set calls {num.get 0 num.set 0}
}

# Makes the image name from the bitmap file (kept when it exists already).
proc _image.get {name file type} {
    if {$name in [image names]} {
        return $name
    }
    if {$type ne "bitmap" || ![info exists ::combfixture::bitmaps($file)]} {
        return -code error "no $type image in $file"
    }
    image create bitmap $name -data $::combfixture::bitmaps($file)
}

# The number field's value: the text of its entry.
proc num.get {w} {
    global _comb
    incr ::combfixture::calls(num.get)
    $_comb($w,-ent) get
}

# Shows text as the number field's value and runs its change hook.
proc num.set {w text} {
    global _comb
    incr ::combfixture::calls(num.set)
    set entry $_comb($w,-ent)
    $entry delete 0 end
    $entry insert 0 $text
    if {[info exists ::combfixture::change($w)]} {
        uplevel #0 $::combfixture::change($w)
    }
}

# Runs script (at global level) each time num.set shows a value in field w.
proc num.bindChange {w script} {
    set ::combfixture::change($w) $script
}

# Items whose windows are destroyed lose their keys.
proc str.freeItem {w id} {
    global _comb
    unset -nocomplain _comb($w,$id) _comb($w,cf$id)
}

proc comb.freeItem {w id} {
    global _comb
    unset -nocomplain _comb($w,$id) _comb($w,cf$id)
}
