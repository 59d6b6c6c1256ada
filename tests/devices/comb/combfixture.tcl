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

# --- fold notebook ---------------------------------------------------------
# After a size change: the pages fill the body below the tabs, the tabs are
# redrawn.
proc fold.winconfig {w} {
    global _comb
    if {![info exists _comb($w,pid)] || ![llength $_comb($w,pid)] || ![winfo exists $_comb($w,canv)]} {
        return
    }
    set canv $_comb($w,canv)
    set width [expr {[winfo width $canv] - 2 * $_comb($w,cf-x) - 2 * $_comb($w,cf-wx)}]
    set height [expr {[winfo height $canv] - 2 * $_comb($w,cf-x) - $_comb($w,cf-dy) - 2 * $_comb($w,cf-wy)}]
    foreach pid $_comb($w,pid) {
        $canv itemconfigure w$pid -width [expr {max($width, 1)}] -height [expr {max($height, 1)}]
    }
    fold.page $w
}

# The information line shows the label of the page under the pointer.
proc fold.info {w pid} {
    global _comb
    set at [lsearch -exact $_comb($w,pid) $pid]
    set _comb($w,info) [lindex $_comb($w,labels) $at]
}

# A page that goes takes its label and tab along; another page comes to
# the front when it was the front one.
proc fold.freePage {w pid {update {}}} {
    global _comb
    if {![info exists _comb($w,pid)]} {
        return
    }
    set at [lsearch -exact $_comb($w,pid) $pid]
    if {$at >= 0} {
        set _comb($w,pid) [lreplace $_comb($w,pid) $at $at]
        set _comb($w,labels) [lreplace $_comb($w,labels) $at $at]
    }
    unset -nocomplain _comb($w,-$pid) _comb($w,cf-$pid)
    if {![winfo exists $_comb($w,canv)]} {
        return
    }
    $_comb($w,canv) delete $pid w$pid
    if {$_comb($w,top) eq $pid} {
        set _comb($w,top) [lindex $_comb($w,pid) 0]
    }
    if {$update ne "" && [llength $_comb($w,pid)]} {
        fold.page $w
    }
}

proc fold.freeItem {page id} {
    global _comb
    unset -nocomplain _comb($page,$id) _comb($page,cf$id)
}

# --- Scrolled and pull-down lists -------------------------------------------

namespace eval ::combfixture {
    # The pull-down list's arrows (9 x 5), by file name.
    set bitmaps(downarro.bmp) {
        #define downarro_width 9
        #define downarro_height 5
        static unsigned char downarro_bits[] = {
            0xff, 0x01, 0xfe, 0x00, 0x7c, 0x00, 0x38, 0x00, 0x10, 0x00};
    }
    set bitmaps(uparrow.bmp) {
        #define uparrow_width 9
        #define uparrow_height 5
        static unsigned char uparrow_bits[] = {
            0x10, 0x00, 0x38, 0x00, 0x7c, 0x00, 0xfe, 0x00, 0xff, 0x01};
    }
    # The calls of pdl.selList, pdl.closeList and pdl.abort, in order.
    variable pdlCalls {}
}

# Fills the scrolled list w with the words of items.
proc slis.setList {w items} {
    global _comb
    $_comb($w,-list) delete 0 end
    $_comb($w,-list) insert end {*}$items
}

# A release on the drop-down list at x y: the choice nearest y goes into
# the entry and the list closes.
proc pdl.selList {w x y} {
    global _comb
    lappend ::combfixture::pdlCalls [list pdl.selList $w $x $y]
    set list $_comb($w,-list)
    set index [$list nearest $y]
    if {$index >= 0} {
        $_comb($w,-ent) delete 0 end
        $_comb($w,-ent) insert 0 [$list get $index]
    }
    pdl.closeList $w
}

# Closes the drop-down list of w: the arrow points down and opens it again,
# the list is withdrawn, the global grab on w goes and the grab current
# before it opened comes back.
proc pdl.closeList {w} {
    global _comb
    lappend ::combfixture::pdlCalls [list pdl.closeList $w]
    $_comb($w,-btn) config -image downarro.bmp -command [list pdl.openList $w]
    wm withdraw $_comb($w,wf)
    grab release $w
    if {[info exists _comb($w,grab)] && $_comb($w,grab) ne ""} {
        uplevel #0 $_comb($w,grab)
    }
}

# A release outside the open list (the grab brings it to w): it closes.
proc pdl.abort {w} {
    lappend ::combfixture::pdlCalls [list pdl.abort $w]
    pdl.closeList $w
}

# --- Popups, group frames and button groups ---------------------------------
# Items and buttons whose windows are destroyed lose their keys; a button of
# a group is named by its number.

proc popup.freeItem {w id} {
    global _comb
    unset -nocomplain _comb($w,$id) _comb($w,cf$id)
}

proc frm.freeItem {w id} {
    global _comb
    unset -nocomplain _comb($w,$id) _comb($w,cf$id)
}

proc gbtn.freeItem {w i} {
    global _comb
    unset -nocomplain _comb($w,-btn$i) _comb($w,cf-btn$i)
}

# --- Colour palette ---------------------------------------------------------

namespace eval ::combfixture {
    # The calls of pal.set, in order: {w colour} each.
    variable palCalls {}
}

# Shows colour in the palette w: its three number fields take the
# components (#rrggbb as written, a colour name as Tk reads it); each
# field's change hook then recolours the swatch.
proc pal.set {w colour} {
    global _comb
    lappend ::combfixture::palCalls [list $w $colour]
    if {[scan $colour "#%2x%2x%2x%c" r g b more] == 3} {
        set rgb [list $r $g $b]
    } else {
        set rgb [lmap value [winfo rgb $_comb($w,canv) $colour] {expr {$value >> 8}}]
    }
    foreach id {-r -g -b} value $rgb {
        num.set $_comb($w,$id) $value
    }
}

# Runs the words args with the colour #rrggbb that the three fields of
# palette w make (each component clamped to 0..255, a non-number as 0).
proc pal.update {w args} {
    global _comb
    set rgb {}
    foreach id {-r -g -b} {
        set value [num.get $_comb($w,$id)]
        if {![string is double -strict $value]} {
            set value 0
        }
        lappend rgb [expr {min(255, max(0, round($value)))}]
    }
    {*}$args [format #%02x%02x%02x {*}$rgb]
}
