# AVI files for the ddw tests, written with binary format: RIFF chunks,
# raw frames of solid colours (24 or 32 bits, or 8 bits through a palette)
# and the headers and index around them. writeAvi writes into $::dir.

# The colour of frame i: each channel a different ramp.
proc frameColour {i} {
    list [expr {$i * 25}] [expr {255 - $i * 20}] [expr {($i * 70) % 256}]
}

# A chunk: id, size, data, a pad byte when the size is odd.
proc chunk {id data} {
    set pad [expr {[string length $data] % 2 ? "\0" : ""}]
    return $id[binary format i [string length $data]]$data$pad
}

proc list_ {type data} {
    chunk LIST $type$data
}

# A pixel of colour rgb (palette index index) as stored for bits.
proc pixel {bits rgb index} {
    lassign $rgb r g b
    switch $bits {
        8 {binary format c $index}
        24 {binary format ccc $b $g $r}
        32 {binary format cccc $b $g $r 0}
    }
}

# One frame of size x size pixels of colour rgb, its top row white (palette
# index 10), as stored for bits, bottom row first unless topDown.
proc rawFrame {bits size rgb index topDown} {
    set rows {}
    foreach {colour i} [list {255 255 255} 10 $rgb $index] {
        set row [string repeat [pixel $bits $colour $i] $size]
        set stride [expr {([string length $row] + 3) / 4 * 4}]
        lappend rows $row[string repeat "\0" [expr {$stride - [string length $row]}]]
    }
    lassign $rows top rest
    set others [string repeat $rest [expr {$size - 1}]]
    if {$topDown} {
        return $top$others
    }
    return $others$top
}

# Writes an AVI of frames (their data) of the given size, bits and
# compression (0 or MJPG); options: -topdown, -noindex, -palette colours,
# -absolute (idx1 offsets from the file's start). Answers the file name.
proc writeAvi {name frames size bits compression args} {
    set opts [dict merge {-topdown 0 -noindex 0 -palette {} -absolute 0} $args]
    set n [llength $frames]
    set handler [expr {$compression eq "0" ? "\0\0\0\0" : $compression}]
    set fcc [expr {$compression eq "0" ? 0 : [binary scan MJPG i v; set v]}]
    set avih [binary format iiiiiiiiiiiiii 100000 0 0 16 $n 0 1 0 $size $size 0 0 0 0]
    set strh vids$handler[binary format issiiiiiiiissss 0 0 0 0 1 10 0 $n 0 -1 0 0 0 $size $size]
    set height [expr {[dict get $opts -topdown] ? -$size : $size}]
    set palette {}
    foreach rgb [dict get $opts -palette] {
        lassign $rgb r g b
        append palette [binary format cccc $b $g $r 0]
    }
    set strf [binary format iiissiiiiii 40 $size $height 1 $bits $fcc 0 0 0 [llength [dict get $opts -palette]] 0]
    set hdrl [list_ hdrl [chunk avih $avih][list_ strl [chunk strh $strh][chunk strf $strf$palette]]]
    set movi movi
    set index {}
    set riffAt [expr {12 + [string length $hdrl] + 8}]
    foreach data $frames {
        set offset [string length $movi]
        if {[dict get $opts -absolute]} {
            incr offset $riffAt
        }
        append index 00dc[binary format iii 16 $offset [string length $data]]
        append movi [chunk 00dc $data]
    }
    set body AVI\ $hdrl[chunk LIST $movi]
    if {![dict get $opts -noindex]} {
        append body [chunk idx1 $index]
    }
    set file [file join $::dir $name]
    set f [open $file wb]
    puts -nonewline $f [chunk RIFF $body]
    close $f
    return $file
}

# Ten frames of 8 x 8 pixels as stored for bits.
proc rawFrames {bits {topDown 0}} {
    lmap i {0 1 2 3 4 5 6 7 8 9} {rawFrame $bits 8 [frameColour $i] $i $topDown}
}
