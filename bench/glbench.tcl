# What the OpenGL benchmarks share: timing the redraws of the glw .g, the
# median of runs, and the checksum of a picture that the C peers print too.

proc redraw {} {
    glw draw .g
    update idletasks
}

# Milliseconds of the redraws, after one untimed.
proc tclRun {redraws} {
    redraw
    glFinish
    set start [clock microseconds]
    for {set r 0} {$r < $redraws} {incr r} {
        redraw
    }
    glFinish
    return [expr {([clock microseconds] - $start) / 1000.0}]
}

proc median {values} {
    set values [lsort -real $values]
    set m [llength $values]
    return [expr {$m % 2 ? [lindex $values [expr {$m / 2}]]
                  : ([lindex $values [expr {$m / 2 - 1}]] + [lindex $values [expr {$m / 2}]]) / 2.0}]
}

# The peers' checksum of one more picture, drawn by the command draw into
# the back buffer of the 512 x 512 .g.
proc checksum {draw} {
    $draw
    glFinish
    glPixelStore GL_PACK_ALIGNMENT 1
    glReadBuffer GL_BACK
    glReadPixels 0 0 512 512 GL_RGB GL_UNSIGNED_BYTE pixels
    set s 0
    foreach value $pixels {
        set s [expr {($s * 31 + $value) % 2147483647}]
    }
    return $s
}
