# Small saves in a crowded folder against the same saves in an empty one
# (and Tcl's own write of a new small file, the file system's part): a
# one-record table, a one-point shape set, a 4x6 gimg dump to TIFF and a
# small canvas's PostScript, each saved RUNS times under new names (as a
# script writing its outputs does) into a folder of FILES other files and
# into an empty folder, in one process. Prints per kind the first save in
# each folder (the one that may look the folder through for leftovers of
# killed saves), the median of the saves after it, and the whole run, the
# saves into the two folders taken in turn; the ratios crowded / empty go
# to the table. Every file saved must read back.
#   TESK_SAVE_FILES   the crowded folder's other files (default 100000)
#   TESK_SAVE_RUNS    saves of each kind in each folder (default 200)
source [file join [file dirname [info script]] table.tcl]
set files [expr {[info exists env(TESK_SAVE_FILES)] ? $env(TESK_SAVE_FILES) : 100000}]
set runs [expr {[info exists env(TESK_SAVE_RUNS)] ? $env(TESK_SAVE_RUNS) : 200}]
set dir [file join $teskDemo(out) bench save_folder-[pid]]
file delete -force $dir
file mkdir [file join $dir empty] [file join $dir crowded] [file join $dir src]
for {set i 0} {$i < $files} {incr i} {
    close [open [file join $dir crowded [format n%06d.dat $i]] w]
}
# the new names on the disk before the saves are timed
exec sync

rimage create overwrite -file [file join $dir src img] -imgid MBSQ -pixel BYTE -rows 4 -columns 6 -nbands 1
image create gimg gd -file [file join $dir src img]
pack [gcanvas .c -width 120 -height 80]
.c create rectangle 10 10 60 40 -fill red
update

# Each kind: {name script}; the script saves the file $out (no extension).
# plain is no save of Tesk's: Tcl writes a small new file, the cost that
# the file system itself asks for a new name in each folder.
set kinds {
    plain {
        set f [open $out.txt w]
        puts $f a
        close $f
    }
    table {
        gtable.create t
        t define {NAME C 12 0}
        t addrecord {a}
        t save $out.dbf
        rename t {}
    }
    shape {
        shape.create s
        s initialize POINT
        s addrecord {1 2}
        s save $out.shp
        rename s {}
    }
    dump {gd dump $out.tif TIFF 24 1}
    postscript {.c postscript -file $out.ps}
}

# Saves script runs times into each folder, one save into each in turn (so
# that the load of the machine weighs on both alike); answers for each
# folder {first median whole} in milliseconds: the first save, the median
# of the saves after it, and the whole run.
proc saves {script args} {
    global runs
    set times [dict create]
    for {set i 0} {$i < $runs} {incr i} {
        foreach folder $args {
            set out [file join $folder out-$i]
            dict lappend times $folder [lindex [time $script] 0]
        }
    }
    lmap folder $args {
        set all [dict get $times $folder]
        set rest [lsort -integer [lrange $all 1 end]]
        list [expr {[lindex $all 0] / 1000.0}] [expr {[lindex $rest [expr {[llength $rest] / 2}]] / 1000.0}] \
            [expr {[tcl::mathop::+ {*}$all] / 1000.0}]
    }
}

set ok 1
foreach {kind script} $kinds {
    lassign [saves $script [file join $dir empty] [file join $dir crowded]] empty crowded
    lassign $empty firstE meanE wholeE
    lassign $crowded firstC meanC wholeC
    # the last file saved into the crowded folder, a file of this run's own,
    # reads back
    set last [file join $dir crowded out-[expr {$runs - 1}]]
    switch $kind {
        plain {set ok [expr {$ok && [file size $last.txt] == 2}]}
        table {gtable.create t -file $last.dbf; set ok [expr {$ok && [t count] == 1}]; rename t {}}
        shape {shape.create s -file $last.shp; set ok [expr {$ok && [s count] == 1}]; rename s {}}
        dump {set ok [expr {$ok && [file size $last.tif] > 0}]}
        postscript {set f [open $last.ps rb]; set ok [expr {$ok && [read $f 4] eq "%!PS"}]; close $f}
    }
    puts [format "%-10s %d saves, %d other files: first %.2f ms (empty %.2f), then %.3f ms each, median (empty %.3f, x%s), whole run %.1f ms (empty %.1f, x%s)" \
              $kind $runs $files $firstC $firstE $meanC $meanE \
              [bench.row "$kind save after the first, folder of $files files" "the same in an empty folder" "1 / 1" $meanC $meanE] \
              $wholeC $wholeE \
              [bench.row "$runs $kind saves, folder of $files files" "the same in an empty folder" "1 / 1" $wholeC $wholeE]]
}
image delete gd
rimage close [file join $dir src img]
file delete -force $dir
if {!$ok} {
    puts "a file saved does not read back"
}
exit [expr {$ok ? 0 : 1}]
