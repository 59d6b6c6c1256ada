# Helpers of the capture tests (also sourced by the other wish processes
# they start).

# A borderless top-level .shown at (left, top) showing a photo of the rows
# of {r g b} given in a label; answers the label once it is on screen.
proc showRows {rows {left 0} {top 0}} {
    destroy .shown
    catch {image delete shownPhoto}
    image create photo shownPhoto -width [llength [lindex $rows 0]] -height [llength $rows]
    shownPhoto put [lmap row $rows {lmap rgb $row {format #%02x%02x%02x {*}$rgb}}]
    toplevel .shown -borderwidth 0 -highlightthickness 0
    wm geometry .shown +$left+$top
    label .shown.l -image shownPhoto -borderwidth 0 -highlightthickness 0 -padx 0 -pady 0
    pack .shown.l
    for {set i 0} {$i < 100 && ![winfo viewable .shown.l]} {incr i} {
        update
        after 10
    }
    raise .shown
    update
    return .shown.l
}

# The colours of a memory image as rows of {r g b}, as "tesktest readback"
# gives a window's: bands 3, 2 and 1 of a three-band image (blue, green and
# red bands), the palette entries of a one-band image's values.
proc imageColours {tag} {
    set columns [rimage cget $tag -columns]
    set palette {}
    if {[rimage cget $tag -nbands] == 1} {
        foreach entry [rimage getIndices $tag] {
            dict set palette [lindex $entry 0] [lrange $entry 1 3]
        }
    }
    set out {}
    for {set y 0} {$y < [rimage cget $tag -rows]} {incr y} {
        if {$palette ne ""} {
            lappend out [lmap v [tesktest img getbytes $tag $y 0 0 $columns] {dict get $palette $v}]
        } else {
            set blue [tesktest img getbytes $tag $y 0 0 $columns]
            set green [tesktest img getbytes $tag $y 1 0 $columns]
            set red [tesktest img getbytes $tag $y 2 0 $columns]
            lappend out [lmap r $red g $green b $blue {list $r $g $b}]
        }
    }
    return $out
}
