# Terrain views: a 4096x4096 BYTE memory picture (made by numpy with a fixed
# seed) is mapped onto flat ground seen along a given orientation by
# "rimage gtop -ro" into a 4096x4096 BYTE memory output made beforehand,
# against the same lines of sight meeting the picture plane computed by
# numpy, vectorised over blocks of rows, on pixels already in memory (best
# of three each). The pixels must agree except where a position lies within
# 1e-3 of a half pixel.
#   TESK_GTOP_SIDE   the image's side (default 4096)
source [file join [file dirname [info script]] table.tcl]
set side [expr {[info exists env(TESK_GTOP_SIDE)] ? $env(TESK_GTOP_SIDE) : 4096}]
source [file join [file dirname [info script]] numpypeer.tcl]
bench.numpyPeer "import numpy" "gtop: numpy is missing: install python3-numpy"
load [file join $teskDemo(build) libtesktest.so] Tesktest

set orientation 0.35,-0.1,0.4,6000
set script {
import sys, time
import numpy as np

mode, folder, side = sys.argv[1], sys.argv[2], int(sys.argv[3])
om, ph, ka, D = map(float, sys.argv[4].split(','))
raw = "%s/gtop-%d.raw" % (folder, side)

if mode == "make":
    rng = np.random.default_rng(2026)
    y, x = np.mgrid[0:side, 0:side]
    img = (127 + 60 * np.sin(x / 37.0) * np.cos(y / 53.0) + rng.integers(-40, 41, (side, side)))
    np.clip(img, 0, 255).astype(np.uint8).tofile(raw + ".part")
    sys.exit(0)

img = np.fromfile(raw, np.uint8).reshape(side, side)

def rotation():
    # The identity turned about z by kappa, about y by phi, about x by omega
    # (each matrix [[c, s], [-s, c]] in its plane).
    def turn(i, j, a):
        m = np.eye(3)
        m[i, i] = m[j, j] = np.cos(a)
        m[i, j], m[j, i] = np.sin(a), -np.sin(a)
        return m
    return turn(1, 2, om) @ turn(2, 0, ph) @ turn(0, 1, ka)

R = rotation()
tx = ty = (side - 1) * 0.5
zc = R[2, 2] * D
dx, dy = R[2, 0] * D, R[2, 1] * D
xc, yc = tx - dx, ty - dy
n = np.cross(R[0], R[1])
half = (side - 1) * 0.5

def block(r0, r1, out, ties=None):
    # Lines of sight from (0, 0, zc) to the ground (x - xc, y - yc, 0) meet
    # the plane through (dx, dy, 0) spanned by R's first two rows.
    gx = np.arange(side) - xc
    gy = (np.arange(r0, r1) - yc)[:, None]
    num = dx * n[0] + dy * n[1] - zc * n[2]
    s = num / (gx * n[0] + gy * n[1] - zc * n[2])
    px, py, pz = s * gx - dx, s * gy - dy, zc - s * zc
    c = px * R[0, 0] + py * R[0, 1] + pz * R[0, 2] + half
    r = px * R[1, 0] + py * R[1, 1] + pz * R[1, 2] + half
    inside = (c >= 0) & (c <= side - 1) & (r >= 0) & (r <= side - 1)
    ci = np.where(inside, c + 0.5, 0).astype(np.int64)
    ri = np.where(inside, r + 0.5, 0).astype(np.int64)
    out[r0:r1] = np.where(inside, img[ri, ci], 0)
    if ties is not None:
        near = lambda p: np.abs(np.abs(p - np.floor(p)) - 0.5) < 1e-3
        edge = lambda p: (np.abs(p) < 1e-3) | (np.abs(p - (side - 1)) < 1e-3)
        ties[r0:r1] = near(c) | near(r) | edge(c) | edge(r)

rows = 256
if mode == "time":
    best = None
    for run in range(3):
        out = np.empty((side, side), np.uint8)
        start = time.perf_counter()
        for r0 in range(0, side, rows):
            block(r0, min(side, r0 + rows), out)
        elapsed = time.perf_counter() - start
        best = elapsed if best is None else min(best, elapsed)
    print("%.1f" % (best * 1000))
    sys.exit(0)

if mode == "check":
    got = np.fromfile(folder + "/gtop-out.raw", np.uint8).reshape(side, side)
    want = np.empty((side, side), np.uint8)
    ties = np.empty((side, side), bool)
    for r0 in range(0, side, rows):
        block(r0, min(side, r0 + rows), want, ties)
    print(int(((got != want) & ~ties).sum()), int((want != 0).sum()))
}
set checker [file join $dir gtop_bench.py]
set f [open $checker w]
puts -nonewline $f $script
close $f

set raw [file join $dir gtop-$side.raw]
if {![file exists $raw]} {
    exec $python $checker make $dir $side $orientation
    file rename -force $raw.part $raw
}

tesktest img create in -imgid MBIP -pixel BYTE -rows $side -columns $side -nbands 1 -mapid GRID
set f [open $raw rb]
for {set r 0} {$r < $side} {incr r} {
    binary scan [read $f $side] cu* values
    tesktest img putbytes in $r 0 0 $values
}
close $f
tesktest img create out -imgid MBIP -pixel BYTE -rows $side -columns $side -nbands 1 -mapid GRID

proc best {script} {
    set best {}
    for {set i 0} {$i < 3} {incr i} {
        set us [lindex [uplevel 1 [list time $script]] 0]
        if {$best eq "" || $us < $best} {set best $us}
    }
    return [expr {$best / 1000.0}]
}

tesktest capture start
set ours [best {rimage gtop -in in -out out -imgid MBIP -ro $orientation}]
tesktest capture stop
set theirs [exec {*}$peerEnv $python $checker time $dir $side $orientation]

set f [open [file join $dir gtop-out.raw] wb]
for {set r 0} {$r < $side} {incr r} {
    puts -nonewline $f [binary format c* [tesktest img getbytes out $r 0 0 $side]]
}
close $f
lassign [exec $python $checker check $dir $side $orientation] differ seen

puts [format "gtop: -ro %s, %dx%d BYTE picture onto %dx%d ground (%d pixels seen)" $orientation $side $side \
          $side $side $seen]
puts [format "tesk %8.1f ms   numpy %8.1f ms   (tesk/numpy %s)   pixels %s" $ours $theirs \
          [bench.row "gtop -ro 4096x4096 BYTE" "numpy lines of sight" "1 / 1" $ours $theirs] [expr {$differ == 0 ? "agree" : "DIFFER in $differ pixels"}]]
exit [expr {$differ == 0 ? 0 : 1}]
