# Camera rectification: a 4096x4096 FLOAT photo in memory (numpy's random
# pixels, fixed seed) taken by a tilted camera (-ax 5 -ay -3 -az 20 from
# height 10000) is rectified with bilinear resampling onto a 4096x4096 FLOAT
# ground grid of unit pixels in memory, against the same positions from the
# collinearity equations in numpy and scipy.ndimage.map_coordinates
# (order 1) on the photo already in memory (best of three each). The two
# outputs must agree to 1e-3 but where the position falls in the photo's
# last column or row (beyond the corners of the footprint, which Tesk
# leaves 0).
#   TESK_SENSOR_SIDE   the images' side (default 4096)
source [file join [file dirname [info script]] table.tcl]
set side [expr {[info exists env(TESK_SENSOR_SIDE)] ? $env(TESK_SENSOR_SIDE) : 4096}]
source [file join [file dirname [info script]] numpypeer.tcl]
bench.numpyPeer "import numpy, scipy.ndimage, scipy.spatial" "sensor: numpy or scipy is missing: install python3-numpy and python3-scipy"
load [file join $teskDemo(build) libtesktest.so] Tesktest

set pose {-ax 5 -ay -3 -az 20 -x 0 -y 0 -z 10000 -f 10 -dx 0.001 -dy 0.001}
set script {
import sys, time
import numpy as np
from scipy.ndimage import map_coordinates
from scipy.spatial.transform import Rotation
mode, folder, side = sys.argv[1], sys.argv[2], int(sys.argv[3])
ax, ay, az, x, y, z, f, pdx, pdy = map(float, sys.argv[4:13])
photo, ours, theirs = ["%s/sensor-%s-%d.f32" % (folder, n, side) for n in ("photo", "ours", "scipy")]
if mode == "make":
    (np.random.default_rng(2026).random((side, side), np.float32) * 255).astype("<f4").tofile(photo + ".part")
    sys.exit(0)
a = np.fromfile(photo, "<f4").reshape(side, side)
xc = yc = (side - 1) / 2.0
def positions():
    m = Rotation.from_euler("zxy", [-az, -ax, -ay], degrees=True).as_matrix()
    X = -side / 2.0 + np.arange(side) - x
    Y = (side / 2.0 - np.arange(side) - y)[:, None]
    u = m[0, 0] * X + m[0, 1] * Y - m[0, 2] * z
    v = m[1, 0] * X + m[1, 1] * Y - m[1, 2] * z
    w = m[2, 0] * X + m[2, 1] * Y - m[2, 2] * z
    sc = xc - (u * f / w) / pdx
    sr = yc + (v * f / w) / pdy
    return sc, sr
def rectify():
    sc, sr = positions()
    inside = (sc >= 0) & (sc < side) & (sr >= 0) & (sr < side)
    out = map_coordinates(a, [sr, sc], order=1, mode="nearest", output=np.float32)
    out[~inside] = 0
    return out
if mode == "time":
    best = None
    for run in range(3):
        start = time.perf_counter()
        out = rectify()
        elapsed = time.perf_counter() - start
        best = elapsed if best is None else min(best, elapsed)
    out.tofile(theirs)
    print("%.1f" % (best * 1000))
    sys.exit(0)
if mode == "check":
    got = np.fromfile(ours, "<f4").reshape(side, side)
    want = np.fromfile(theirs, "<f4").reshape(side, side)
    # the last column and row of the photo lie beyond the footprint's corners
    sc, sr = positions()
    edge = (sc > side - 2) & (sc < side) | (sr > side - 2) & (sr < side)
    print(int(((np.abs(got - want) > 1e-3) & ~edge).sum()))
}
set checker [file join $dir sensor_bench.py]
set f [open $checker w]
puts -nonewline $f $script
close $f
set words [list $dir $side {*}[lmap o {-ax -ay -az -x -y -z -f -dx -dy} {dict get $pose $o}]]

set photo [file join $dir sensor-photo-$side.f32]
if {![file exists $photo]} {
    exec $python $checker make {*}$words
    file rename -force $photo.part $photo
}

tesktest img create photo -imgid MBIL -pixel FLOAT -rows $side -columns $side -nbands 1
set f [open $photo rb]
for {set r 0} {$r < $side} {incr r} {
    binary scan [read $f [expr {4 * $side}]] r* values
    tesktest img putrow photo $r 0 0 $values
}
close $f
set half [expr {$side / 2.0}]
tesktest img create ground -imgid MBIL -pixel FLOAT -rows $side -columns $side -nbands 1 -x0 -$half -y0 $half \
    -dx 1 -dy 1
set centre [expr {($side - 1) / 2.0}]
camera.create cam {*}$pose -xc $centre -yc $centre -resamplemode 1

proc best {script} {
    set best {}
    for {set i 0} {$i < 3} {incr i} {
        set us [lindex [uplevel 1 [list time $script]] 0]
        if {$best eq "" || $us < $best} {set best $us}
    }
    return [expr {$best / 1000.0}]
}

set ours [best {cam rectify photo ground}]
set theirs [exec {*}$peerEnv $python $checker time {*}$words]

set f [open [file join $dir sensor-ours-$side.f32] wb]
for {set r 0} {$r < $side} {incr r} {
    puts -nonewline $f [binary format r* [tesktest img getrow ground $r 0 0 $side]]
}
close $f
set differ [exec $python $checker check {*}$words]

puts [format "sensor: camera rectify BI, %dx%d FLOAT photo onto %dx%d ground, tilted" $side $side $side $side]
puts [format "tesk %8.1f ms   numpy+scipy %8.1f ms   (tesk/scipy %s)   outputs %s" $ours $theirs \
          [bench.row "camera rectification 4096x4096 FLOAT BI" "numpy + scipy.ndimage.map_coordinates" "1 / 1" $ours $theirs] [expr {$differ == 0 ? "agree to 1e-3" : "DIFFER in $differ pixels"}]]
exit [expr {$differ == 0 ? 0 : 1}]
