# Checks what the demo tour showed, from the files it left:
#   tclsh tour_check.tcl OUT DEMO
# OUT is the tour's output folder, DEMO the folder of its scripts. Each
# step of OUT/tour.txt must hold the lines recorded below, their numbers
# within one unit of the last digit shown; each OUT/tour-*.ppm picture must
# have its recorded size and mean red, green and blue within the tolerance
# of its row (wider for the GL pictures, which may vary a little with the
# build and the software renderer), or, for the labelled map, the mean of
# its likeness drawn by Tk's own canvas text. Prints what differs and exits
# 1, or exits 0.

# A number in a logged line.
set number {[-+]?(?:[0-9]+\.?[0-9]*|\.[0-9]+)(?:[eE][-+]?[0-9]+)?}

# Step title, then lines it logs (OUT and DEMO stand for the folders).
set steps {
    "The package" {
        "home of the scripts: DEMO"
    }
    "Progress meter" {
        "meter reading rows 75.0%"
    }
    "Script libraries" {
        "101 bytes in OUT/hello.lib: hello from a compressed script library"
    }
    "Band math" {
        "( 96, 64): nir 128 red 98 nratio 0.133"
        "(150, 30): nir 20 red 109 nratio -0.690"
        "written to OUT/nratio.img (197760 bytes, BSQ FLOAT)"
    }
    "On screen" {
        "gimg views: 192x128 and 192x128"
    }
    "Terrain views" {
        "perspective from (96, 230) at 120: 192x128, 17790 pixels drawn"
        "polar image 96x128: map id POLAR, ground 192x128 around (96.0, 64.0)"
    }
    "Image files" {
        "GEOTIFF 24924 bytes in scene.tif, pixels 128->128 128->128 29->29"
        "GIF89a 23298 bytes in scene.gif, pixels 128->128 128->128 29->29"
        "31064 characters of base64 text opened as GIF89a, 192x128"
    }
    "Classification" {
        "class 1: 5120 pixels, means 132.195 127.7, covariance 8119.57 71.7909 71.7909 144.291"
        "principal components of class 0: values 8134.84 144.025, percent 98.2603 1.73968"
        "labels in OUT/classes.bmp (DIB, 25689 bytes): (0,0) 0, (96,64) 1, (191,127) 1"
    }
    "Geo canvas" {
        "item 3 (oval): world 60.0 10.0 110.0 50.0, window box 119.000000 59.000000 221.000000 141.000000"
        "map printed to tour-print.ps: 1 page"
        "map metafile written to OUT/tour-map.emf (115448 bytes); clipboard offers image/emf image/x-emf"
    }
    "Vector layers" {
        "parcel areas: 2400 2000 270, the pond holding an island"
        "parcels selected: 1 1 0"
        "map items: object object object, box -1.000000 -1.000000 121.000000 81.000000"
        "labels: object object text text gtext gtext, heights 17 17 19 52 zoomed to 22 22 24 65"
        "map items: image object symbol symbol symbol symbol group; a legend of 5 members, 58x36 pixels, zoomed 58x36"
        "parcels disassembled into 3 items tagged parcels.1 parcels.2 parcels.3; assembled again: 3"
        "parcels-edited.shp: 3 records, the meadow now {15 10 55 70}"
    }
    "Projections" {
        "UTM zone 10 of (-121, 37): 677962.189777 4096742.05934"
        "quadrangle areas in square metres: 892611516 992050644"
        "towgs84 shift of (2, 48, 0): 1.9987283 47.9990583 50.2300393"
    }
    "Projection programs" {
        "proj +proj=utm +zone=10 over points.txt: the points on the console, and the program ended normally (exit 0)"
    }
    "Geodesics" {
        "Boston to Portland: azimuth -66.530595, back azimuth 75.653634, 4164192.705 m"
        "geodesic layer: 65 points, northernmost latitude 47.250915"
    }
    "Terrain tiles" {
        "Terra.Photo.2.Scale2m.10.5.3: map tiles 10 6 11 7 (4000.000 2400.000 4798.000 3198.000 m), 4 stored, 16874 bytes in tiles.ter"
        "tile {11 7} as an image: 200x200 JPEG, top-left (4400.0, 3198.0), 2.0 m a pixel, UTM10"
    }
    "Sensor models" {
        "camera footprint -22.5 -99.5 154.7 84.2, looking along -0.089 0.330 -0.940"
        "rectified back: 11677 ground pixels seen, mean difference 1.05 grey levels"
        "pushbroom lines 1.016129032258065 1 units apart across and along, strip 64.5 -127.0 127.5 0.0"
    }
    "OpenGL" {
        "the lit cube, GL_NO_ERROR after drawing, written to OUT/tour-gl.ppm (129615 bytes)"
    }
    "GLU and GLUT" {
        "GLU 1.3: tour-screen.ppm (384x128) scaled to 256x128 texels; quadric GLUquadric_0"
    }
    "Terrain and models" {
        "a 192x64 grid of tour-screen.ppm's brightness draped with itself, written to OUT/tour-dem.ppm"
        "oglm model from torus.obj: {{torus copper 288}} {default copper} {v3 288} {n3 1152}"
    }
    "Settings form" {
        "low level now 15"
        "stretch 15..240 into stretched.img"
    }
    "Widget kit" {
        "Display in front (p1): bands nir, stretches linear equalize none"
        "Colours in front: 72 cells; a click on the second one made the map's background #550000"
    }
    "Display modules" {
        "form answered 1, legend HILL in the font tour 48"
    }
    "Video and scanning" {
        "ddw of scene.tif at -std 2: 192x128, shown from 0.00 to 255.00"
        "video 2.000 s, 20 frames: played (1), read-out at the end 2.000"
        "view of twain.img: 64x32"
        "scan viewed (1): twain.img has 64 columns, 32 rows, 3 bands"
    }
}

# Picture, width, height, mean red, green and blue, tolerance of the means.
set pictures {
    tour-screen.ppm      384 128 126.483 126.483 126.483 0.02
    tour-gtop.ppm        480 128 114.754 114.754 114.754 0.02
    tour-canvas.ppm      240 160 216.610 224.902 207.569 0.02
    tour-vector.ppm      240 170 218.992 229.013 201.870 0.02
    tour-items.ppm       240 170 145.081 140.952 129.482 0.02
    tour-projection.ppm  400 120 227.084 224.397 221.709 0.02
    tour-geodesic.ppm    240  90 235.804 235.993 238.876 0.02
    tour-tile.ppm        200 200 124.317 124.317 124.317 0.02
    tour-sensor.ppm      384 128  80.643  80.643  80.643 0.02
    tour-gl.ppm          240 180  32.152  48.780  69.081 0.1
    tour-glu.ppm         320 200  63.987  61.851  68.474 0.1
    tour-dem.ppm         322 242  33.066  37.099  45.164 0.1
    tour-obj.ppm         322 242  62.285  48.559  42.652 0.1
    tour-form.ppm        620  93 222.173 222.173 222.173 0.02
    tour-kit.ppm         464 260 166.614 153.458 153.334 0.02
    tour-vdisp.ppm       240 120 144.853 144.853 144.853 0.02
    tour-ddw.ppm         288 128 105.051 105.606 106.162 0.02
    tour-scan.ppm         64  32  31.500  15.500   0.000 0.02
}

# Pictures whose mean colour is that of a likeness drawn independently of
# the package: picture, its likeness, width, height, tolerance of the
# means. The map's names make a fifth of a grey level a channel at the least
# (4 in all); Tk's text and the package's differ in the turned names'
# places by a pixel, some hundredths.
set likenesses {
    tour-labels.ppm labels-tk.ppm 240 170 0.05
}

# Files the steps write besides their pictures.
set files {nratio.img parcels.shp parcels.dbf parcels-edited.shp scene.tif scene.gif scene.jpg classes.bmp classes.egv tiles.ter torus.obj
    tour-bar.avi}

lassign $argv out demo
set problems {}

# 1 when the line got reads as want, each number within one unit of the
# last digit want shows (whole numbers exactly).
proc same {got want} {
    set n $::number
    if {[regsub -all $n $got # gotText] != [regsub -all $n $want # wantText] || $gotText ne $wantText} {
        return 0
    }
    foreach g [regexp -all -inline $n $got] w [regexp -all -inline $n $want] {
        set unit [expr {[regexp {\.([0-9]*)} $w -> digits] ? 10.0 ** -[string length $digits] : 0}]
        if {!(abs($g - $w) <= $unit * 1.000001)} {
            return 0
        }
    }
    return 1
}

# The log, step by step, with runs of spaces made one.
set f [open [file join $out tour.txt]]
set log {}
foreach line [split [read $f] \n] {
    set line [regsub -all { +} [string trim [string map [list $out OUT $demo DEMO] $line]] " "]
    if {[regexp {^== (.*)} $line -> title]} {
        dict set log $title {}
    } elseif {[info exists title]} {
        dict lappend log $title $line
    }
}
close $f
foreach {title lines} $steps {
    if {![dict exists $log $title]} {
        lappend problems "step \"$title\" is missing"
        continue
    }
    foreach want $lines {
        set found 0
        foreach got [dict get $log $title] {
            if {[same $got $want]} {
                set found 1
                break
            }
        }
        if {!$found} {
            lappend problems "step \"$title\" shows no \"$want\""
        }
    }
}

# The mean red, green and blue of OUT/name, a PPM picture of width x
# height; {} when it is missing or of another size, with the problem noted.
proc meanColour {name width height} {
    set file [file join $::out $name]
    if {![file exists $file]} {
        lappend ::problems "$name is missing"
        return {}
    }
    set f [open $file rb]
    set data [read $f]
    close $f
    if {![regexp {^P6\s+(\d+)\s+(\d+)\s+255\s} $data header w h] || $w != $width || $h != $height
            || [string length $data] != [string length $header] + 3 * $w * $h} {
        lappend ::problems "$name: not a ${width}x$height PPM picture"
        return {}
    }
    binary scan $data @[string length $header]cu* bytes
    lassign {0 0 0} sumR sumG sumB
    foreach {red green blue} $bytes {
        incr sumR $red
        incr sumG $green
        incr sumB $blue
    }
    lmap sum [list $sumR $sumG $sumB] {expr {double($sum) / ($w * $h)}}
}

# Notes a problem when the means differ from want by more than tolerance.
proc compareMeans {name means want tolerance what} {
    foreach m $means w $want {
        if {abs($m - $w) > $tolerance} {
            lappend ::problems [format "%s: mean colour %.3f %.3f %.3f, %s %.3f %.3f %.3f" $name {*}$means $what {*}$want]
            return
        }
    }
}

# The pictures: their size and mean colour.
set recorded {}
foreach {name width height r g b tolerance} $pictures {
    lappend recorded $name
    set means [meanColour $name $width $height]
    if {$means ne {}} {
        compareMeans $name $means [list $r $g $b] $tolerance recorded
    }
}
foreach {name likeness width height tolerance} $likenesses {
    lappend recorded $name
    set means [meanColour $name $width $height]
    set want [meanColour $likeness $width $height]
    if {$means ne {} && $want ne {}} {
        compareMeans $name $means $want $tolerance "drawn by Tk"
    }
}
foreach file [glob -nocomplain -tails -directory $out tour-*.ppm] {
    if {$file ni $recorded} {
        lappend problems "$file has no recorded mean colour"
    }
}
foreach file $files {
    if {![file exists [file join $out $file]] || [file size [file join $out $file]] == 0} {
        lappend problems "$file is missing or empty"
    }
}

if {[llength $problems]} {
    puts stderr [join $problems \n]
    exit 1
}
