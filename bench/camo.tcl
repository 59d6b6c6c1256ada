# The input of the large-image benchmarks: netpbm's camouflage pattern, made
# grey, as a binary PGM of side x side pixels in the benchmark folder, made
# once and read back into the page cache. name prefixes messages and files;
# a missing program (of programs, with the Debian packages in hint) ends the
# benchmark with a note.
proc bench.camoPgm {name side programs hint} {
    global teskDemo
    set dir [file join $teskDemo(out) bench]
    file mkdir $dir
    foreach program [list ppmpat ppmtopgm {*}$programs] {
        if {[auto_execok $program] eq ""} {
            puts "$name: $program is missing: install $hint"
            exit 0
        }
    }
    set pgm [file join $dir $name\_bench-$side.pgm]
    if {![file exists $pgm]} {
        exec sh -c "ppmpat -camo -randomseed=1 $side $side | ppmtopgm > '$pgm.part'" 2>/dev/null
        file rename -force $pgm.part $pgm
    }
    set header [bench.pgmHeader $side]
    set f [open $pgm rb]
    set got [read $f [string length $header]]
    close $f
    if {$got ne $header} {
        puts "$name: unexpected PGM header in $pgm"
        exit 1
    }
    exec cat $pgm > /dev/null
    return $pgm
}

proc bench.pgmHeader {side} {
    return "P5\n$side $side\n255\n"
}

# The pixels of such a PGM.
proc bench.pgmPixels {pgm side} {
    set f [open $pgm rb]
    seek $f [string length [bench.pgmHeader $side]]
    set pixels [read $f]
    close $f
    return $pixels
}
