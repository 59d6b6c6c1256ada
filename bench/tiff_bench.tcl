# Statistics of a large GeoTIFF: an 8192x8192 three-band BYTE GeoTIFF made
# by gdal_translate (from netpbm's camouflage pattern, in GDAL's default
# strips) is opened and its band statistics computed ("rimage open" plus
# "rimage hist -list stats"), against "gdalinfo -stats" with GDAL's
# auxiliary files off, the file already in the page cache. Each side is
# timed best of three; the means and standard deviations (population) must
# agree to 1e-6 relative. The store splits large strip files among up to
# four threads (the processors the process may use: run it under taskset
# -c N for the one-core ratio), gdalinfo reads with one.
#   TESK_TIFF_SIDE   the image's side (default 8192)
source [file join [file dirname [info script]] table.tcl]
set side [expr {[info exists env(TESK_TIFF_SIDE)] ? $env(TESK_TIFF_SIDE) : 8192}]
set dir [file join $teskDemo(out) bench]
file mkdir $dir
set file [file join $dir tiff_bench-$side.tif]

foreach program {ppmpat gdal_translate gdalinfo} {
    if {[auto_execok $program] eq ""} {
        puts "tiff: $program is missing: install netpbm and gdal-bin"
        exit 0
    }
}
if {![file exists $file]} {
    set ppm [file join $dir tiff_bench-$side.ppm]
    exec sh -c "ppmpat -camo -randomseed=1 $side $side > '$ppm'" 2>/dev/null
    exec gdal_translate -q -of GTiff -a_srs EPSG:32610 -a_ullr 500000 4100000 [expr {500000 + 30 * $side}] \
        [expr {4100000 - 30 * $side}] $ppm $file.part.tif
    file delete $ppm
    file rename -force $file.part.tif $file
}
exec cat $file > /dev/null

proc best {script} {
    set best {}
    for {set i 0} {$i < 3} {incr i} {
        set us [lindex [uplevel 1 [list time $script]] 0]
        if {$best eq "" || $us < $best} {set best $us}
    }
    return [expr {$best / 1000.0}]
}

set ours [best {
    set tag [rimage open $file]
    set stats [rimage hist -imgid $tag -list stats]
    rimage close $tag
}]
set theirs [best {
    set info [exec env GDAL_PAM_ENABLED=NO gdalinfo -stats $file]
}]

# Means and standard deviations, band by band.
set means [regexp -all -inline {STATISTICS_MEAN=([0-9.eE+-]+)} $info]
set sds [regexp -all -inline {STATISTICS_STDDEV=([0-9.eE+-]+)} $info]
set agree [expr {[llength $stats] == 3 && [llength $means] == 6}]
set worst 0.0
for {set b 0} {$b < 3 && $agree} {incr b} {
    lassign [lindex $stats $b] sd mean
    foreach {mine theirsValue} [list $mean [lindex $means [expr {2 * $b + 1}]] $sd [lindex $sds [expr {2 * $b + 1}]]] {
        set rel [expr {abs($mine - $theirsValue) / max(abs($theirsValue), 1e-300)}]
        set worst [expr {max($worst, $rel)}]
    }
}
if {$worst > 1e-6} {
    set agree 0
}

puts [format "tiff: open and statistics of a %dx%d three-band BYTE GeoTIFF (%.1f MB)" $side $side \
          [expr {[file size $file] / 1e6}]]
puts [format "tesk store %8.1f ms   gdalinfo -stats %8.1f ms   (tesk/gdal %s)   statistics %s (worst %.1e)   threads: store up to %d, gdalinfo 1" \
          $ours $theirs [bench.row "GeoTIFF 8192x8192x3 open and statistics" "gdalinfo -stats" "[expr {min(4, [exec nproc])}] / 1" $ours $theirs] [expr {$agree ? "agree" : "DIFFER"}] $worst [expr {min(4, [exec nproc])}]]
exit [expr {$agree ? 0 : 1}]
