# The 2-D FFT tool over a large image, end to end: a 4096x4096 BYTE PGM
# (netpbm's camouflage pattern, made grey) is transformed by "rimage
# gfftrans" (the default transform: the centred, conjugated spectrum) into a
# new FFT file, against scipy doing the same whole task on one thread:
# reading the PGM, scipy.fft.fft2 in complex64, conjugating and centring
# (fftshift), the statistics the FFT file's header holds (bounds, means and
# deviations of the real and imaginary parts) and writing the 1,024-byte
# header and the spectrum. The input is in the page cache; each side runs
# once. The spectra must agree to 1e-4 of the largest magnitude and the
# header statistics to 1e-3 of their scale.
#   TESK_FFT_SIDE   the image's side (default 4096, a power of two)
source [file join [file dirname [info script]] table.tcl]
source [file join [file dirname [info script]] numpypeer.tcl]
bench.numpyPeer "import numpy, scipy.fft" "gfftrans: numpy or scipy is missing: install python3-numpy and python3-scipy"
set side [expr {[info exists env(TESK_FFT_SIDE)] ? $env(TESK_FFT_SIDE) : 4096}]
source [file join [file dirname [info script]] camo.tcl]
set in [bench.camoPgm gfftrans $side {} "netpbm"]
set ours [file join $dir gfftrans_bench-out.fft]
set theirs [file join $dir gfftrans_bench-scipy.fft]
file delete $ours $theirs

set tOurs [expr {[lindex [time {rimage gfftrans -in $in -out $ours}] 0] / 1000.0}]

# scipy's whole task, timed by itself (without the interpreter's start);
# then the comparison with our file, untimed.
set peerScript {
import sys, time
import numpy as np, scipy.fft
src, dst, side, base = sys.argv[1], sys.argv[2], int(sys.argv[3]), int(sys.argv[4])
start = time.perf_counter()
x = np.fromfile(src, np.uint8, offset=base).reshape(side, side).astype(np.complex64)
y = scipy.fft.fft2(x, workers=1, overwrite_x=True)
np.conjugate(y, out=y)
y = np.fft.fftshift(y)
re, im = y.real, y.imag
stats = [re.max(), re.min(), im.max(), im.min(), re.mean(), im.mean(), re.std(), im.std()]
header = np.zeros(1024, np.uint8)
header[:len(stats) * 8] = np.frombuffer(np.array(stats, '<f8').tobytes(), np.uint8)
with open(dst, 'wb') as f:
    f.write(header.tobytes())
    y.tofile(f)
print(time.perf_counter() - start)
}
set compareScript {
import sys
import numpy as np
ours, theirs, side = sys.argv[1], sys.argv[2], int(sys.argv[3])
a = np.fromfile(ours, '<c8', offset=1024).reshape(side, side)
b = np.fromfile(theirs, '<c8', offset=1024).reshape(side, side)
spectrum = np.abs(a - b).max() / np.abs(b).max()
got = np.frombuffer(np.fromfile(ours, np.uint8, 1024)[104:176].tobytes(), '<f8')[1:]
want = np.fromfile(theirs, '<f8', 8)
scale = np.abs(want[:4]).max()
print(spectrum, np.abs(got - want).max() / scale)
}
set seconds [exec {*}$peerEnv OMP_NUM_THREADS=1 $python -c $peerScript $in $theirs $side \
                 [string length [bench.pgmHeader $side]]]
set tTheirs [expr {$seconds * 1000.0}]
lassign [exec {*}$peerEnv $python -c $compareScript $ours $theirs $side] spectrum statistics
set agree [expr {$spectrum < 1e-4 && $statistics < 1e-3}]
file delete $ours $theirs

puts [format "gfftrans: the centred spectrum of a %dx%d BYTE image into a new FFT file" $side $side]
puts [format "tesk gfftrans %8.1f ms   scipy.fft.fft2 whole task %8.1f ms   (tesk/scipy %s)   spectra %s (%.1e, statistics %.1e)" \
          $tOurs $tTheirs [bench.row "gfftrans ${side}x$side BYTE, end to end" "scipy.fft.fft2 workers=1, whole task" \
                               "1 / 1" $tOurs $tTheirs] [expr {$agree ? "agree" : "DIFFER"}] $spectrum $statistics]
exit [expr {$agree ? 0 : 1}]
