# The comb kit's number and string fields against Tcl procedures that issue
# the same Tk commands (as Tk's own megawidgets are made), on a 1280x1024
# screen (tools/bench.sh runs it under Xvfb), one run each. The application
# procedures the kit calls (num.get, num.set, _image.get, ...) come from the
# demo's program.lib.
#   build:   50 number and 50 string fields made, mapped (idle tasks and a
#            round trip to the server) and destroyed, then every pending
#            event handled (the idle clean-up of their keys among them), so
#            that no round leaves its window events to the next creator's;
#            20 times; for information, 50 spinboxes and 50 entries the
#            same way.
#   options: 100,000 comb.cget and comb.config of -max of a number field
#            against cget and configure -to of a spinbox.
#   fold:    a fold of 12 pages against a ttk::notebook of the same 12
#            pages, each built, mapped and destroyed 20 times; then 600
#            page switches (fold.page or select, idle tasks and a round
#            trip each).
#   palette: pal.colors of a 64 x 64 grid (4,096 colours) against a Tcl
#            procedure making the same rectangles and bindings.
#   TESK_COMB_ROUNDS   rounds of the build measure (default 20)
source [file join [file dirname [info script]] table.tcl]
set rounds [expr {[info exists env(TESK_COMB_ROUNDS)] ? $env(TESK_COMB_ROUNDS) : 20}]
set fields 50
set queries 100000

# The Tcl peer of num.create: the same stores, Tk commands and bindings.
proc tclNum {w args} {
    global _comb
    array unset _comb $w,*
    array set _comb [list $w,class num $w,wb $w.b $w,cf-max 10 $w,cf-min 0 $w,cf-init 5 $w,cf-inc 1 \
                         $w,cf-dec 1 $w,cf-ent {} $w,cf-up {} $w,cf-down {} $w,cf-label {} $w,cf-chck {} \
                         $w,cf-fmt %.0f]
    foreach {option value} $args {
        if {![info exists _comb($w,cf$option)]} {
            array unset _comb $w,*
            return -code error "unknown option: $option $value"
        }
        set _comb($w,cf$option) $value
    }
    array set _comb [list $w,-ent $w.entry $w,-up $w.b.up $w,-down $w.b.down]
    _image.get up.bmp up.bmp bitmap
    _image.get down.bmp down.bmp bitmap
    frame $w -bd 1 -relief sunken -highlightthickness 0
    bind $w <Destroy> [list after idle [list tclFree $w]]
    frame $w.b -bd 0
    pack $w.b -side right -padx 1 -pady 1 -ipady 0
    if {$_comb($w,cf-chck) ne ""} {
        set _comb($w,-chck) $w.chck
        checkbutton $w.chck {*}$_comb($w,cf-chck)
        pack $w.chck -side left -pady 1 -padx 1
    }
    if {$_comb($w,cf-label) ne ""} {
        set _comb($w,-label) $w.label
        label $w.label {*}$_comb($w,cf-label)
        pack $w.label -side left -padx 1 -pady 1
    }
    entry $w.entry -bd 1 -width 5 -highlightthickness 1 {*}$_comb($w,cf-ent)
    set stop [list set ::_comb($w,done) 1]
    foreach arrow {up down} {
        button $w.b.$arrow -bd 1 -image $arrow.bmp -width 12 -height 5 -highlightthickness 0 -command $stop
        if {$_comb($w,cf-$arrow) ne ""} {
            $w.b.$arrow config {*}$_comb($w,cf-$arrow)
        }
    }
    pack $w.entry -side left -fill x -expand 1 -padx 1 -pady 1
    pack $w.b.up -side top -pady 0
    pack $w.b.down -side bottom -pady 0
    foreach arrow {up down} {
        bind $w.b.$arrow <ButtonRelease-1> $stop
        bind $w.b.$arrow <Leave> $stop
        bind $w.b.$arrow <ButtonPress-1> "[list set ::_comb($w,done) 0]\n[list after idle [list tclStep $w $arrow]]"
    }
    num.set $w $_comb($w,cf-init)
    return $w
}

# The Tcl peer of str.create.
proc tclStr {w args} {
    global _comb
    array unset _comb $w,*
    array set _comb [list $w,class str $w,w1 $w.1 $w,w2 $w.2 $w,cf-ent {} $w,cf-label {} $w,cf-btn {} \
                         $w,cf-padx 0 $w,cf-pady 0 $w,cf-layout right]
    foreach {option value} $args {
        if {![info exists _comb($w,cf$option)]} {
            array unset _comb $w,*
            return -code error "unknown option: $option $value"
        }
        set _comb($w,cf$option) $value
    }
    set place [list -side $_comb($w,cf-layout) -padx $_comb($w,cf-padx) -pady $_comb($w,cf-pady)]
    frame $w -relief raise -bd 1
    bind $w <Destroy> [list tclFree $w]
    frame $w.1 -width 2
    pack $w.1 {*}$place
    if {$_comb($w,cf-label) ne ""} {
        label $w.label -width 6 -relief flat -bd 1 -highlightthickness 0 {*}$_comb($w,cf-label)
        set _comb($w,-label) $w.label
        bind $w.label <Destroy> +[list str.freeItem $w -label]
        pack $w.label {*}$place -fill both
    } else {
        unset _comb($w,cf-label)
    }
    entry $w.ent -width 12 -bd 1 -highlightthickness 0
    set _comb($w,-ent) $w.ent
    bind $w.ent <Destroy> +[list str.freeItem $w -ent]
    pack $w.ent {*}$place -expand 1 -fill both
    if {$_comb($w,cf-ent) ne ""} {
        $w.ent config {*}$_comb($w,cf-ent)
    }
    if {$_comb($w,cf-btn) ne ""} {
        button $w.btn -width 6 -relief raise -bd 1 -padx 0 -pady 0 -highlightthickness 0 {*}$_comb($w,cf-btn)
        set _comb($w,-btn) $w.btn
        pack $w.btn {*}$place -fill both
        bind $w.ent <Return> "eval \[[list $w.btn cget -command]\]"
    } else {
        unset _comb($w,cf-btn)
    }
    frame $w.2 -width 2
    pack $w.2 {*}$place
    return $w
}

proc tclFree {w} {
    array unset ::_comb $w,*
}

# Microseconds of one round: make the fields by the two creators, map
# them, destroy them.
proc buildRound {numCreator strCreator} {
    global fields
    lindex [time {
        frame .t.f
        for {set i 0} {$i < $fields} {incr i} {
            pack [$numCreator .t.f.n$i -init $i -max 100 -label {-text Width}] -side top
            pack [$strCreator .t.f.s$i -label {-text Name} -btn {-text Go -command bell}] -side top
        }
        pack .t.f
        update idletasks
        winfo pointerxy .t
        destroy .t.f
        update
    }] 0
}

proc spinbox+entry {w args} {
    spinbox $w -from 0 -to 100 -width 5
}

proc entryOnly {w args} {
    entry $w -width 12
}

wm withdraw .
toplevel .t -borderwidth 0
wm geometry .t +0+0
update

# One untimed round of each, so that images and procedures exist; then the
# rounds of the three take turns, so that a change in the machine's load
# falls on all of them.
set creators {ours {num.create str.create} peer {tclNum tclStr} plain {spinbox+entry entryOnly}}
foreach {name pair} $creators {
    buildRound {*}$pair
    set $name 0.0
}
for {set r 0} {$r < $rounds} {incr r} {
    foreach {name pair} $creators {
        set $name [expr {[set $name] + [buildRound {*}$pair] / 1000.0}]
    }
}
if {[array names _comb] ne ""} {
    puts "keys left behind: [llength [array names _comb]]"
    exit 1
}
puts [format "comb fields: %d x (%d num + %d str) built, mapped, destroyed" $rounds $fields $fields]
puts [format "  build    comb %9.1f ms   Tcl procedures %9.1f ms   (comb/Tcl %s)" $ours $peer \
          [bench.row "comb build of 50 number and 50 string fields" "Tcl procedures" "1 / 1" $ours $peer]]
puts [format "           spinboxes and entries, for information: %9.1f ms" $plain]

num.create .t.n -max 10
spinbox .t.sb -from 0 -to 10
pack .t.n .t.sb
update
proc msOf {script count} {
    expr {[lindex [uplevel 1 [list time $script $count]] 0] * $count / 1000.0}
}
set combCget [msOf {comb.cget .t.n -max} $queries]
set combConfig [msOf {comb.config .t.n -max 20} $queries]
set tkCget [msOf {.t.sb cget -to} $queries]
set tkConfig [msOf {.t.sb configure -to 20} $queries]
set agree [expr {[comb.cget .t.n -max] == 20 && [.t.sb cget -to] == 20}]
puts [format "  options  %d x cget and config of -max against a spinbox's -to" $queries]
puts [format "           cget   comb %8.1f ms   spinbox %8.1f ms   (comb/spinbox %s)" $combCget $tkCget \
          [bench.row "comb.cget -max" "spinbox cget -to" "1 / 1" $combCget $tkCget]]
puts [format "           config comb %8.1f ms   spinbox %8.1f ms   (comb/spinbox %s)" $combConfig $tkConfig \
          [bench.row "comb.config -max" "spinbox configure -to" "1 / 1" $combConfig $tkConfig]]
puts [format "           both   comb %8.1f ms   spinbox %8.1f ms   (comb/spinbox %.2f)" \
          [expr {$combCget + $combConfig}] [expr {$tkCget + $tkConfig}] \
          [expr {($combCget + $combConfig) / ($tkCget + $tkConfig)}]]
destroy .t.n .t.sb

# The fold notebook against a ttk::notebook holding the same pages.
set pageLabels {}
for {set i 0} {$i < 12} {incr i} {
    lappend pageLabels "Page $i"
}
proc foldBuild {} {
    fold.create .t.fold -labels $::pageLabels
    for {set i 0} {$i < 12} {incr i} {
        fold.addItem .t.fold "Page $i" -l label [list -text "Contents $i"]
    }
    pack .t.fold
}
proc notebookBuild {} {
    ttk::notebook .t.fold -width 280 -height 256
    for {set i 0} {$i < 12} {incr i} {
        frame .t.fold.p$i
        label .t.fold.p$i.l -text "Contents $i"
        pack .t.fold.p$i.l
        .t.fold add .t.fold.p$i -text "Page $i"
    }
    pack .t.fold
}
proc foldRound {builder} {
    lindex [time {
        $builder
        update idletasks
        winfo pointerxy .t
        destroy .t.fold
        update
    }] 0
}
proc foldSwitch {} {
    fold.page .t.fold p[expr {$::switch % 12}]
}
proc notebookSwitch {} {
    .t.fold select [expr {$::switch % 12}]
}
proc switchRound {builder switcher} {
    $builder
    update
    set ::switch 0
    set us [lindex [time {
        incr ::switch
        $switcher
        update idletasks
        winfo pointerxy .t
    } 600] 0]
    destroy .t.fold
    update
    expr {$us * 600 / 1000.0}
}
set builders {ours foldBuild peer notebookBuild}
foreach {name builder} $builders {
    foldRound $builder
    set $name 0.0
}
for {set r 0} {$r < $rounds} {incr r} {
    foreach {name builder} $builders {
        set $name [expr {[set $name] + [foldRound $builder] / 1000.0}]
    }
}
set foldSwitches [switchRound foldBuild foldSwitch]
set notebookSwitches [switchRound notebookBuild notebookSwitch]
puts [format "  fold     12 pages, %d x built, mapped, destroyed; 600 page switches" $rounds]
puts [format "           build  fold %8.1f ms   ttk::notebook %8.1f ms   (fold/notebook %s)" $ours $peer \
          [bench.row "fold of 12 pages built" "ttk::notebook" "1 / 1" $ours $peer]]
puts [format "           switch fold %8.1f ms   ttk::notebook %8.1f ms   (fold/notebook %s)" $foldSwitches \
          $notebookSwitches [bench.row "fold page switches" "ttk::notebook select" "1 / 1" $foldSwitches $notebookSwitches]]

# The Tcl peer of pal.colors: the same cells, move and bindings.
proc tclColors {w} {
    global _comb
    set canv $_comb($w,canv)
    set nx $_comb($w,cf-nx)
    set ny $_comb($w,cf-ny)
    set d $_comb($w,cf-d)
    set outline $_comb($w,cf-outline)
    set highlight $_comb($w,cf-highlight)
    set width [winfo width $canv]
    set height [winfo height $canv]
    set cw [expr {($width - 2) / $nx}]
    set ch [expr {($height - 2) / $ny}]
    $canv delete clrs
    set colours $_comb($w,cf-colors)
    set n [llength $colours]
    set k 0
    for {set j 0} {$j < $ny && $k < $n} {incr j} {
        for {set i 0} {$i < $nx && $k < $n} {incr i} {
            set x [expr {$i * $cw}]
            set y [expr {$j * $ch}]
            $canv create rect $x $y [expr {$x + $cw - $d}] [expr {$y + $ch - $d}] -tag [list clrs c($i,$j)] \
                -fill [lindex $colours $k] -outline $outline
            incr k
        }
    }
    $canv move clrs [expr {($width - $nx * $cw + 4) / 2}] [expr {($height - $ny * $ch) / 2}]
    $canv bind clrs <Any-Enter> [list $canv itemconfig current -outline $highlight]
    $canv bind clrs <Any-Leave> [list $canv itemconfig current -outline $outline]
    $canv bind clrs <Button-1> "[list pal.set $w] \[[list $canv itemcget current -fill]\]"
}
set colours {}
for {set k 0} {$k < 4096} {incr k} {
    lappend colours [format "#%02x%02x%02x" [expr {$k % 16 * 17}] [expr {$k / 16 % 16 * 17}] [expr {$k / 256 * 17}]]
}
if {[catch {pal.create .t.p -nx 64 -ny 64 -colors $colours} message]} {
    puts "  palette  not measured: $message"
} else {
    .t.p.canv configure -width 512 -height 512
    pack .t.p
    update
    set palOurs [msOf {pal.colors .t.p} 20]
    set palPeer [msOf {tclColors .t.p} 20]
    set cells [llength [.t.p.canv find withtag clrs]]
    puts [format "  palette  64 x 64 cells (%d drawn), 20 x" $cells]
    puts [format "           pal.colors %8.1f ms   Tcl procedure %8.1f ms   (pal/Tcl %s)" $palOurs $palPeer \
              [bench.row "pal.colors 64x64" "Tcl procedure" "1 / 1" $palOurs $palPeer]]
    destroy .t.p
    update
    set agree [expr {$agree && $cells == 4096}]
}
exit [expr {$agree ? 0 : 1}]
