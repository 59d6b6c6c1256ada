# Makes the files that the recipes of doc/recipes.md work on, in the current
# folder, with Tesk's own writers (tests/demo/recipes.test makes them so too):
#   cd my-folder && tclsh /path/to/tesk/doc/recipe-files.tcl
# (with the package where Tcl finds it: installed, or TCLLIBPATH=BUILD_DIR),
# or "source recipe-files.tcl" in a shell that has loaded Tesk. lzw.tif is
# made by GDAL's gdal_translate, when it is installed.
package require Tesk

# scene.tif: 60 x 40 pixels of 30 m in UTM zone 10N, four bands; water
# (60 50 40 20) west of column 30, vegetation (40 70 30 150) east of it, each
# with a small pattern of its own per band (so that the class covariances
# can be inverted), and a cloud (250 in every band) over rows 0-3 of
# columns 50-59. sceneValues gives the four values of a pixel.
proc sceneValues {x y} {
    if {$x >= 50 && $y < 4} {
        return {250 250 250 250}
    }
    set base [expr {$x < 30 ? {60 50 40 20} : {40 70 30 150}}]
    lmap b $base a {7 5 3 11} c {13 3 11 5} m {11 7 5 13} {
        expr {$b + ($x * $a + $y * $c) % $m - $m / 2}
    }
}
rimage create overwrite -imgid GEOTIFF -pixel BYTE -rows 40 -columns 60 -nbands 4 -mapid PCS32610 \
    -x0 500000 -y0 4100000 -dx 30 -dy 30 -file scene.tif
rimage bind -file scene.tif -obj recipes.scene
for {set y 0} {$y < 40} {incr y} {
    for {set x 0} {$x < 60} {incr x} {
        recipes.scene vset $x $y [sceneValues $x $y]
    }
}
rename recipes.scene {}

# lzw.tif: the scene as GDAL writes it with LZW compression (GDAL warns
# that the scene has no ExtraSamples tag for its bands 2 to 4).
if {[auto_execok gdal_translate] ne ""} {
    exec gdal_translate -q -co COMPRESS=LZW scene.tif lzw.tif 2>@1
} else {
    puts stderr "recipe-files: lzw.tif is not made: gdal_translate (gdal-bin) is not installed"
}

# dem.img: 20 x 20 heights in metres (FLOAT, BSQ), rising 2 m a column
# (30 m) eastwards.
rimage create overwrite -imgid BSQ -pixel FLOAT -rows 20 -columns 20 -mapid PCS32610 -x0 500000 -y0 4100000 \
    -dx 30 -dy 30 -file dem.img
rimage bind -file dem.img -obj recipes.dem
recipes.dem initx 1 0
recipes.dem * 2
rename recipes.dem {}

# parcels.shp and parcels.dbf: a water parcel and two forest parcels.
shape.create recipes.shape
recipes.shape initialize POLYGON
foreach {x0 y0 x1 y1} {500100 4099900 500700 4099500 501000 4099600 501600 4099000
                       500200 4099300 500500 4098900} {
    recipes.shape addrecord [list $x0 $y0 $x0 $y1 $x1 $y1 $x1 $y0 $x0 $y0]
}
recipes.shape save parcels.shp
recipes.shape close
gtable.create recipes.table
recipes.table define {NAME C 12 0} {LANDUSE C 10 0} {AREA N 12 1}
foreach record {{Lakeside water 240000} {Northwood forest 360000} {Southfarm forest 120000}} {
    recipes.table addrecord $record
}
recipes.table save parcels.dbf
recipes.table close

# points.txt: one point, longitude latitude height.
set f [open points.txt w]
puts $f "2 48 100"
close $f
