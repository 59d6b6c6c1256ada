# A TWAIN transfer from SANE's test device (a SANE configuration of the test
# backend alone), when sane-utils is installed: its colour pattern at
# 1200 dpi scanned through the built-in manager and the source's dialog
# into "twain.img" (the transfer's DIB split into bands), against scanimage
# writing the same scan to a PNM file. Each side is timed best of three.
source [file join [file dirname [info script]] table.tcl]
if {[auto_execok scanimage] eq ""} {
    puts "twimg: scanimage is missing: install sane-utils and libsane1"
    exit 0
}
set dir [file join $teskDemo(out) bench twimg]
file mkdir $dir
set f [open [file join $dir dll.conf] w]
puts $f test
close $f
# libsane reads its configuration once, at the first use.
set env(SANE_CONFIG_DIR) $dir
unset -nocomplain env(TESK_TWAIN_SIM)
set options {mode Color test-picture {Color pattern} resolution 1200}

# Scans once through the dialog; fails after a minute without a transfer.
proc scan {} {
    global options
    set ::captured 0
    twimg doaftercapture {set ::captured 1}
    twimg open
    twimg enable native
    foreach {name value} $options {
        set ::teskScan($name) $value
    }
    set guard [after 60000 {set ::captured timeout}]
    set ::teskScan(scan) 1
    vwait ::captured
    after cancel $guard
    twimg doaftercapture {}
    if {$::captured ne "1"} {
        error "no transfer within a minute"
    }
    set ::desc [tesktest img desc twain.img]
    twimg close
}

proc view {args} {}

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

load [file join $teskDemo(build) libtesktest.so] Tesktest
wm deiconify .
set ours [best scan]
set pnm [file join $dir peer.pnm]
set peer [best {
    exec env -u LD_PRELOAD SANE_CONFIG_DIR=$dir scanimage -d test:0 --mode Color --test-picture "Color pattern" \
        --resolution 1200 --format=pnm > $pnm
}]
puts [format "twimg: %dx%d colour scan at 1200 dpi: twimg %7.1f ms   scanimage %7.1f ms   (twimg/scanimage %s)" \
          [dict get $desc columns] [dict get $desc rows] $ours $peer \
          [bench.row "twimg scan of SANE's test:0 at 1200 dpi" "scanimage to a file" "1 / 1" $ours $peer]]
file delete $pnm
exit 0
