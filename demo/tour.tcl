# The tour of Tesk: what the package does, shown step by step. Each step
# writes what it shows to the log window and to files in the output folder.

proc tour.step {title} {
    demo.log ""
    demo.log "== $title"
}

# Writes what the windows (side by side, equal heights) show to a PPM file,
# read back from the X server by the test extension; 0 when it is missing.
proc tour.screenshot {windows file} {
    global teskDemo
    set lib [file join $teskDemo(build) libtesktest[info sharedlibextension]]
    if {[info commands tesktest] eq "" && ([catch {load $lib Tesktest}] || [info commands tesktest] eq "")} {
        return 0
    }
    set rows {}
    foreach w $windows {
        set i 0
        foreach row [tesktest readback $w] {
            lset rows $i [concat [lindex $rows $i] [lmap rgb $row {format #%02x%02x%02x {*}$rgb}]]
            incr i
        }
    }
    set photo [image create photo]
    $photo put $rows
    $photo write $file -format ppm
    image delete $photo
    return 1
}

# The names of a map (its text and gtext items, unstretched) drawn again by
# Tk's own canvas text over a picture of the map without them, at the
# places, sizes and angles the map gives them; written to file as the
# labelled map's independent likeness.
proc tour.tkLabels {map file} {
    set names [lmap id [$map find all] {expr {[$map type $id] in {text gtext} ? $id : [continue]}}]
    foreach id $names {$map itemconfigure $id -state hidden}
    set bare [file rootname $file]-bare.ppm
    tour.screenshot $map $bare
    foreach id $names {$map itemconfigure $id -state normal}
    set photo [image create photo -file $bare]
    set k [canvas $map-tk -width [winfo width $map] -height [winfo height $map] -highlightthickness 0 -borderwidth 0]
    pack $k
    $k create image 0 0 -anchor nw -image $photo
    set mx [$map cget -mx]
    set my [$map cget -my]
    set ratio [expr {abs($my * [$map cget -textsizeratio])}]
    foreach id $names {
        lassign [$map coords $id] x y
        lassign [$map itemcget $id -font] family size
        set angle [expr {[$map type $id] eq "gtext" ? [$map itemcget $id -escapement] : 0}]
        $k create text [expr {($x - [$map cget -viewxorigin]) * $mx}] [expr {($y - [$map cget -viewyorigin]) * $my}] \
            -text [$map itemcget $id -text] -anchor [$map itemcget $id -anchor] -fill [$map itemcget $id -fill] \
            -font [list $family [expr {round($size * $ratio)}]] -angle $angle
    }
    update
    tour.screenshot $k $file
    destroy $k
    image delete $photo
}

# Shows the images side by side in a new frame, as borderless labels named
# after the images' last words; answers the labels, for tour.screenshot.
proc tour.showImages {frame images} {
    frame $frame
    set labels {}
    foreach image $images {
        set label $frame.[lindex [split $image .] end]
        label $label -image $image -borderwidth 0 -highlightthickness 0 -padx 0 -pady 0
        pack $label -side left
        lappend labels $label
    }
    pack $frame
    wm deiconify .
    update
    return $labels
}

# Writes the front buffer of the current glw surface, width x height
# pixels, to a PPM file: read back with glReadPixels in tight rows, which
# run bottom-up in GL and top-down in the file.
proc tour.glPicture {width height file} {
    glReadBuffer GL_FRONT
    glPixelStore GL_PACK_ALIGNMENT 1
    glReadPixels 0 0 $width $height GL_RGB GL_UNSIGNED_BYTE pixels
    glPixelStore GL_PACK_ALIGNMENT 4
    set rowBytes [expr {3 * $width}]
    set f [open $file wb]
    puts -nonewline $f "P6\n$width $height\n255\n"
    for {set row [expr {$height - 1}]} {$row >= 0} {incr row -1} {
        puts -nonewline $f [binary format c* [lrange $pixels [expr {$row * $rowBytes}] \
            [expr {($row + 1) * $rowBytes - 1}]]]
    }
    close $f
}

tour.step "The package"
demo.log "Tesk [package present Tesk] loaded (tesk version: [tesk version])"
demo.log "home of the scripts: $gimgHome"
demo.log "(set by the script; with none set, the package's own folder, where its program.lib lies: never the current folder)"

tour.step "Progress meter"
calc meter
foreach pct {0 25 50 75 100} {
    calc meter "reading rows" $pct
}

tour.step "Script libraries"
set source [file join $teskDemo(out) hello.tcl]
set f [open $source w]
puts $f {proc tour.hello {} {return "hello from a compressed script library"}}
close $f
set library [file join $teskDemo(out) hello.lib]
calc compsave $library $source
calc decompload $library
demo.log "[file size $library] bytes in $library: [tour.hello]"

tour.step "Band math"
# A two-band scene made by the band calculator: band 1 (near infrared) a
# ring pattern, band 2 (red) a ramp across the scene.
rimage create overwrite -file scene -imgid MBIL -pixel BYTE -rows 128 -columns 192 -nbands 2
rimage bind -file scene -obj nir -bands 1:1
rimage bind -file scene -obj red -bands 2:2
nir init 3
nir ring
red initxy 0.4 0.3 0 0
red + 40
set result [file join $teskDemo(out) nratio.img]
file delete $result
rimage calc -in scene -out $result -f nratio -b 1,2 -imgid BSQ -pixel FLOAT
set ratio [rimage open $result]
rimage bind -file $result -obj ratio.obj
foreach p {{0 0} {96 64} {150 30} {191 127}} {
    lassign $p x y
    demo.log [format "(%3d,%3d): nir %3d red %3d nratio %6.3f" $x $y \
        [nir vget $x $y] [red vget $x $y 2] [ratio.obj vget $x $y]]
}
demo.log "written to $result ([file size $result] bytes, [rimage cget $ratio -imgid] [rimage cget $ratio -pixel])"
rename ratio.obj {}
rename nir {}
rename red {}

tour.step "On screen"
# The scene's infrared band and the ratio (-1 .. 1 stretched over the grey
# levels) side by side, then a picture of what the screen shows.
image create gimg tour.nir -file scene -layer 0
image create gimg tour.ratio -file $result -low0 -1 -high0 1
set labels [tour.showImages .tour {tour.nir tour.ratio}]
demo.log "gimg views: [image width tour.nir]x[image height tour.nir] and [image width tour.ratio]x[image height tour.ratio]"
set picture [file join $teskDemo(out) tour-screen.ppm]
if {[tour.screenshot $labels $picture]} {
    demo.log "screen picture written to $picture ([file size $picture] bytes)"
} else {
    demo.log "no screen picture: the read-back extension is not built"
}
destroy .tour
image delete tour.nir tour.ratio
rimage close $ratio

tour.step "Terrain views"
# The scene's infrared band draped over an elevation model that the band
# calculator makes of it (its rings become a hill and ridges around it):
# a perspective picture from a point south of the scene, 120 units up, with
# the terrain behind the ridges hidden, and a polar image of the scene
# around its centre (rows directions, columns distances), shown beside the
# scene.
rimage calc -in scene -out tour.dem -f linear -b 1 -par 0.25,0 -imgid MBIL -pixel FLOAT -nbands 1
rimage gtop -in scene -dem tour.dem -out tour.persp -imgid MBIP -nbands 1 -b 1 -op GFP3D \
    -xc 96 -yc 230 -zc 120 -nr 128 -nc 192
rimage gtop -in scene -out tour.polar -imgid MBIP -nbands 1 -b 1 -op POLAR -nr 128 -nc 96
rimage bind -file tour.persp -obj persp.obj
set drawn 0
for {set y 0} {$y < 128} {incr y} {
    for {set x 0} {$x < 192} {incr x} {incr drawn [expr {[persp.obj vget $x $y] != 0}]}
}
rename persp.obj {}
demo.log "perspective from (96, 230) at 120: [rimage cget tour.persp -columns]x[rimage cget tour.persp -rows], $drawn pixels drawn"
demo.log [format "polar image %dx%d: map id %s, ground %dx%d around (%.1f, %.1f)" \
    [rimage cget tour.polar -columns] [rimage cget tour.polar -rows] [rimage cget tour.polar -mapid] \
    [rimage cget tour.polar -left] [rimage cget tour.polar -top] [rimage cget tour.polar -x0] [rimage cget tour.polar -y0]]
image create gimg tour.ground -file scene -layer 0
image create gimg tour.persp -file tour.persp
image create gimg tour.polar -file tour.polar
set labels [tour.showImages .tour {tour.ground tour.persp tour.polar}]
set picture [file join $teskDemo(out) tour-gtop.ppm]
if {[tour.screenshot $labels $picture]} {
    demo.log "terrain views written to $picture"
}
destroy .tour
image delete tour.ground tour.persp tour.polar
foreach tag {tour.dem tour.persp tour.polar} {rimage close $tag}

tour.step "Image files"
# The scene's infrared band written as a GeoTIFF, a GIF and a JPEG (through
# the band calculator), each read back; then the GIF again from base64 text,
# as a script would receive it.
rimage bind -file scene -obj nir -bands 1:1
foreach {type name} {GEOTIFF scene.tif GIF89a scene.gif JPEG scene.jpg} {
    set file [file join $teskDemo(out) $name]
    file delete $file
    rimage calc -in scene -out $file -f linear -b 1 -par 1,0 -imgid $type -pixel BYTE -nbands 1
    set image [rimage open $file]
    rimage bind -file $file -obj copy
    set values {}
    foreach p {{0 0} {96 64} {10 10}} {
        lappend values "[nir vget {*}$p]->[copy vget {*}$p]"
    }
    demo.log [format "%-8s %6d bytes in %s, pixels %s" [rimage cget $image -imgid] [file size $file] $name $values]
    rename copy {}
    rimage close $image
}
set f [open [file join $teskDemo(out) scene.gif] rb]
set text [binary encode base64 [read $f]]
close $f
set image [rimage open scene.b64 base64 $text]
demo.log "[string length $text] characters of base64 text opened as [rimage cget $image -imgid],\
    [rimage cget $image -columns]x[rimage cget $image -rows]"
rimage close $image

tour.step "Classification"
# Two classes trained on strips of the scene, the west and the east end of
# the red ramp; their statistics saved and reported, the principal
# components of the first, and every pixel labelled with its nearest class
# (Euclidean distance) in a DIB whose palette holds the class colours.
stats.create training
training init 2 {1 2}
training addroi 0 scene 0 0 39 127
training addroi 1 scene 152 0 191 127
foreach class {0 1} {
    demo.log [format "class %d: %s pixels, means %s, covariance %s" $class \
        [lindex [training iteminfo $class] 1] [training mean $class] [training covarance $class]]
}
set statFile [file join $teskDemo(out) classes.stf]
training save $statFile
training close
set egvFile [file join $teskDemo(out) classes.egv]
rimage egv -in $statFile -out $egvFile
eigen.create components -file $egvFile
demo.log "principal components of class 0: values [components value], percent [components pct]"
components close
set labels [file join $teskDemo(out) classes.bmp]
file delete $labels
rimage classify -in scene -out $labels -stat $statFile -o E -tshd 100
set image [rimage open $labels]
rimage bind -file $labels -obj labels.obj
demo.log [format "labels in %s (%s, %d bytes): (0,0) %d, (96,64) %d, (191,127) %d" $labels \
    [rimage cget $image -imgid] [file size $labels] [labels.obj vget 0 0] [labels.obj vget 96 64] [labels.obj vget 191 127]]
rename labels.obj {}
rimage close $image
rename nir {}
rimage close scene

tour.step "Geo canvas"
# A map in world units: 2 pixels a unit, y growing upwards, the world point
# (0, 80) at the top-left corner.
gcanvas .map -width 240 -height 160 -mx 2 -my -2 -viewyorigin 80 -background #f0f0e0 -highlightthickness 0
pack .map
.map create rectangle 5 5 115 75 -outline #606060 -dash {6 4}
.map create rectangle 10 40 50 70 -fill #a0c0e0 -outline #204060 -width 2
.map create oval 60 10 110 50 -fill #c0e0a0 -outline #406020
.map create oval 70 55 80 65 -fill #e04040 -outline {}
update
foreach id {2 3 4} {
    demo.log "item $id ([.map type $id]): world [.map coords $id], window box [.map sbbox $id]"
}
set picture [file join $teskDemo(out) tour-canvas.ppm]
if {[tour.screenshot .map $picture]} {
    demo.log "canvas picture written to $picture ([file size $picture] bytes)"
}
# The map printed to the file printer, saved as an enhanced metafile and put
# on the clipboard.
set env(TESK_PRINT_FILE) [file join $teskDemo(out) tour-print.ps]
printer interactive 0
set printed [printer canvas .map 0 0 0 239 159]
set f [open $env(TESK_PRINT_FILE) rb]
regexp -line {^%%Pages: (\d+)$} [read $f] -> pages
close $f
if {$printed != 1} {
    error "the map was not printed"
}
demo.log "map printed to [file tail $env(TESK_PRINT_FILE)]: $pages page"
set metafile [file join $teskDemo(out) tour-map.emf]
gmetafile .map $metafile 0 0 239 159
gmetafile .map clipboard 0 0 239 159
demo.log "map metafile written to $metafile ([file size $metafile] bytes); clipboard offers\
 [lsort [lsearch -inline -all [selection get -selection CLIPBOARD -type TARGETS] image/*]]"
destroy .map

tour.step "Vector layers"
# Three layers built record by record and saved as shapefiles: parcels
# (polygons, one with a pond cut out and an island in the pond), a road
# and a stream (lines), and wells (points). They are read back from the
# files and drawn on a map, only their selected records.
shape.create parcels
parcels initialize POLYGON
parcels addrecord {10 10 10 70 50 70 50 10 10 10}
parcels addrecord {60 10 60 70 110 70 110 10 60 10 70 20 100 20 100 60 70 60 70 20 80 30 80 50 90 50 90 30 80 30} {5 5 5}
parcels addrecord {15 75 15 78 105 78 105 75 15 75}
shape.create ways
ways initialize POLYLINE
ways addrecord {0 5 40 8 80 4 120 6}
ways addrecord {55 0 55 30 58 50 52 80} {2 2}
shape.create wells
wells initialize POINT
foreach {x y} {20 20 30 55 45 40 85 40} {
    wells addrecord [list $x $y]
}
foreach layer {parcels ways wells} {
    $layer save [file join $teskDemo(out) $layer.shp]
    $layer close
    shape.create $layer -file [file join $teskDemo(out) $layer.shp]
    demo.log "$layer: [$layer count] records of type [$layer type], [$layer vertex count] vertices"
}
parcels setrange
demo.log "parcel areas: [lmap i {0 1 2} {parcels area $i}], the pond holding an island"
demo.log "parcels extent: [lindex [parcels info] 5]"
# The parcels get an attribute table, one record a parcel, saved beside
# their shapefile and read back.
gtable.create parcelTable
parcelTable define {NAME C 12 0} {AREA N 12 2} {SURVEYED D 8 0}
foreach i {0 1 2} name {Meadow {Pond field} Strip} {
    parcelTable addrecord [list $name [parcels area $i] 26/3/15]
}
parcelTable save [file join $teskDemo(out) parcels.dbf]
parcelTable close
gtable.create parcelTable -file [file join $teskDemo(out) parcels.dbf]
demo.log "parcels.dbf: [gtable.info [file join $teskDemo(out) parcels.dbf]], [parcelTable count] records:\
    [lmap i {0 1 2} {parcelTable getrecord $i}]"
gcanvas .vec -width 240 -height 170 -mx 2 -my -2 -viewyorigin 82 -background #f8f8f0 -highlightthickness 0
pack .vec
.vec create object 0 0 -object parcels -fill #c8e0a8 -outline #405020
.vec create object 0 0 -object ways -outline #8060a0 -width 2
.vec create object 0 0 -object wells -fill #2060c0 -outline #102040 -symboltype oval -symbolxsize 8 -symbolysize 8
update
# A match on AREA selects the large parcels in the table, and the layer
# takes the table's selection: the strip along the top is left off the
# map. A well moves and the map follows its layer.
demo.log "parcels with an AREA over 1000: [parcelTable match {expr {%AREA > 1000}} list]"
parcels match parcelTable
demo.log "parcels selected: [lmap i {0 1 2} {parcels isselected $i}]"
wells setvertices 3 {95 45}
update
demo.log "map items: [lmap id [.vec find all] {.vec type $id}], box [.vec bbox all]"
set picture [file join $teskDemo(out) tour-vector.ppm]
if {[tour.screenshot .vec $picture]} {
    demo.log "vector map picture written to $picture ([file size $picture] bytes)"
}
destroy .vec
# The same layers as a labelled map: place names that grow with the map,
# and road names turned along the ways. Zoomed once, the names keep their
# places and sizes to the world.
gcanvas .lab -width 240 -height 170 -mx 2 -my -2 -viewyorigin 82 -background #f8f8f0 -highlightthickness 0
pack .lab
.lab create object 0 0 -object parcels -fill #c8e0a8 -outline #405020
.lab create object 0 0 -object ways -outline #8060a0 -width 2
foreach {x y name} {30 40 Meadow 85 66 {Pond field}} {
    .lab create text $x $y -text $name -font {{DejaVu Sans} 5} -scalable 1 -fill #203010
}
foreach {x1 y1 x2 y2 name} {40 8 80 4 {Low Road} 55 30 58 50 {Mill Lane}} {
    set angle [expr {atan2($y2 - $y1, $x2 - $x1) * 180 / 3.141592653589793}]
    .lab create gtext [expr {($x1 + $x2) / 2.0}] [expr {($y1 + $y2) / 2.0 + 1}] -text $name -anchor s \
        -font {{DejaVu Sans} 4} -scalable 1 -escapement $angle -fill #402060
}
update
set before [lmap id [.lab find withtag all] {expr {[.lab type $id] in {text gtext} ? round([lindex [.lab mbbox $id] 3] - [lindex [.lab mbbox $id] 1]) : [continue]}}]
.lab configure -mx 2.5 -my -2.5 -viewxorigin 8 -viewyorigin 74
update
set after [lmap id [.lab find withtag all] {expr {[.lab type $id] in {text gtext} ? round([lindex [.lab mbbox $id] 3] - [lindex [.lab mbbox $id] 1]) : [continue]}}]
demo.log "labels: [lmap id [.lab find all] {.lab type $id}], heights $before zoomed to $after"
set picture [file join $teskDemo(out) tour-labels.ppm]
if {[tour.screenshot .lab $picture]} {
    demo.log "labelled map picture written to $picture ([file size $picture] bytes)"
    tour.tkLabels .lab [file join $teskDemo(out) labels-tk.ppm]
}
destroy .lab
# Map items: the parcels' outlines over the infrared band (a scalable
# image, magnified to the map's scale), the wells as labelled symbols, and
# a legend in a group that keeps its size in pixels when the map is
# zoomed. The parcels are then taken apart into items, the meadow moved
# five units east (drawn in red), and put back into a new layer, saved and
# read again.
set backdrop [rimage open [file join $teskDemo(out) scene.tif]]
image create gimg tour.backdrop -file $backdrop
gcanvas .items -width 240 -height 170 -mx 2 -my -2 -viewyorigin 82 -background #f8f8f0 -highlightthickness 0
pack .items
.items create image 0 82 -image tour.backdrop -anchor nw -scalable 1
set parcelItem [.items create object 0 0 -object parcels -fill {} -outline #f0e040 -width 2]
foreach {x y name} {20 20 North 30 55 Mill 45 40 Ford 95 45 Pond} {
    .items create symbol $x $y -symboltype oval -symbolcolor #2060c0 -outline #102040 -markercolor {} \
        -xparam 8 -yparam 8 -text $name -anchor e -font {{DejaVu Sans} 7} -fill #ff6040
}
set legend [.items create group 12 19]
.items group grp$legend rect 0 0 56 34 -fill #f8f8f0 -outline #202020
.items group grp$legend oval 6 6 14 14 -fill #2060c0 -outline #102040
.items group grp$legend text 20 10 -text well -anchor w -font {{DejaVu Sans} 7}
.items group grp$legend line 4 24 16 24 -fill #f0e040 -width 2
.items group grp$legend text 20 24 -text parcel -anchor w -font {{DejaVu Sans} 7}
update
# The legend's size in pixels, as "WxH".
proc tour.pixelSize {canvas id} {
    lassign [$canvas sbbox $id] x1 y1 x2 y2
    return [expr {round($x2 - $x1)}]x[expr {round($y2 - $y1)}]
}
set legendSize [tour.pixelSize .items $legend]
.items configure -mx 2.5 -my -2.5
update
demo.log "map items: [lmap id [.items find all] {.items type $id}]; a legend of\
 [llength [.items group grp$legend list]] members, $legendSize pixels, zoomed [tour.pixelSize .items $legend]"
.items configure -mx 2 -my -2
set pieces [.items disassemble $parcelItem]
.items move parcels.1 5 0
.items itemconfigure parcels.1 -outline #e04040
.items raise $legend
shape.create edited
demo.log "parcels disassembled into [llength $pieces] items tagged [lsort [lmap id $pieces {lindex [.items gettags $id] 0}]];\
 assembled again: [.items assemble edited POLYGON disassembled]"
edited save [file join $teskDemo(out) parcels-edited.shp]
edited close
shape.create edited -file [file join $teskDemo(out) parcels-edited.shp]
demo.log "parcels-edited.shp: [edited count] records, the meadow now [edited bbox 0]"
edited close
update
set picture [file join $teskDemo(out) tour-items.ppm]
if {[tour.screenshot .items $picture]} {
    demo.log "map items picture written to $picture ([file size $picture] bytes)"
}
destroy .items
image delete tour.backdrop
rimage close $backdrop
foreach layer {parcels ways wells parcelTable} {
    $layer close
}

tour.step "Projections"
# A layer in geographic coordinates (degrees) near Monterey Bay: two
# quadrangles, one with a hole. A copy is reprojected to UTM zone 10
# (metres); both are shown, each on a map in its own units.
shape.create geo
geo initialize POLYGON
geo addrecord {-121.9 36.5 -121.9 36.8 -121.6 36.8 -121.6 36.5 -121.9 36.5}
geo addrecord {-121.5 36.5 -121.5 36.8 -121.1 36.8 -121.1 36.5 -121.5 36.5 -121.4 36.6 -121.2 36.6 -121.2 36.7 -121.4 36.7 -121.4 36.6} {5 5}
geo projdef longlat
geo clone utm
utm projection {proj=utm zone=10 ellps=WGS84}
proj.create p
p projconfigure -projdef {proj=utm zone=10 ellps=WGS84}
demo.log "UTM zone 10 of (-121, 37): [p project -121 37]"
demo.log "quadrangle corners: [lrange [lindex [geo vertex 0] 0] 0 1] degrees -> [lrange [lindex [utm vertex 0] 0] 0 1] metres"
demo.log "quadrangle areas in square metres: [lmap i {0 1} {format %.0f [utm area $i]}]"
cs2cs.create shift
shift csconfigure -ics {proj=latlong ellps=intl towgs84=-87,-98,-121} -ocs {proj=latlong datum=WGS84} -fmt %.7f \
    -ix 2 -iy 48
demo.log "towgs84 shift of (2, 48, 0): [shift cs2cs 2 48 0]"
gcanvas .lonlat -width 200 -height 120 -mx 180 -my -180 -viewxorigin -122.0 -viewyorigin 36.85 -background #f0f4f8 -highlightthickness 0
gcanvas .metres -width 200 -height 120 -mx 0.0025 -my -0.0025 -viewxorigin 585000 -viewyorigin 4082000 -background #f8f4f0 -highlightthickness 0
pack .lonlat .metres -side left
.lonlat create object 0 0 -object geo -fill #a8c8e8 -outline #204060
.metres create object 0 0 -object utm -fill #e8c8a8 -outline #604020
update
set picture [file join $teskDemo(out) tour-projection.ppm]
if {[tour.screenshot {.lonlat .metres} $picture]} {
    demo.log "geographic and UTM maps written to $picture ([file size $picture] bytes)"
}
destroy .lonlat .metres
foreach object {geo utm p shift} {
    $object close
}

tour.step "Projection programs"
# The proj program run in-process over a point file: its lines go to the
# console as they are projected. Like the command-line program it ends
# through its exit, so the command fails; the error code holds the code the
# program exited with (0: it ended normally; proj.exitCode then says 1).
set points [file join $teskDemo(out) points.txt]
set f [open $points w]
puts $f "# longitude latitude place\n-121 37 Hollister\n-121.8947 36.6002 Monterey\n-122.4194 37.7749 San Francisco"
close $f
if {![catch {proj +proj=utm +zone=10 +ellps=clrk66 $points} message] || $::errorCode ne {PROJEXIT 0}} {
    error "the proj run did not complete: $message ($::errorCode)"
}
demo.log "proj +proj=utm +zone=10 over [file tail $points]: the points on the console, and the program ended\
    normally (exit [lindex $::errorCode 1])"

tour.step "Geodesics"
# The geodesic from Boston (42d15'N 71d07'W) to Portland, Oregon (45d31'N
# 123d41'W) on the Clarke 1866 ellipsoid: a geod object solves it when it
# is made (azimuth and length), calcgeod walks it in 64 steps, and the
# points become a line layer drawn over the straight line between the
# ends, which the geodesic bows north of on a map in degrees.
geod.create route
route geodconfigure -fmt %.6f
set azimuth [route geodget -A]
set length [route geodget -S]
demo.log "Boston to Portland: azimuth [format %.6f $azimuth], back azimuth\
    [lindex [route geodinv -71.11666667 42.25 -123.6833333 45.51666667] 1], [format %.3f $length] m"
set points [route calcgeod -71.11666667 42.25 $azimuth $length 64]
shape.create geodesic
geodesic initialize POLYLINE
geodesic addrecord $points
geodesic addrecord {-71.11666667 42.25 -123.6833333 45.51666667}
shape.create ends
ends initialize POINT
ends addrecord {-71.11666667 42.25}
ends addrecord {-123.6833333 45.51666667}
demo.log "geodesic layer: [expr {[llength $points] / 2}] points, northernmost latitude\
    [tcl::mathfunc::max {*}[lmap {lon lat} $points {set lat}]]"
gcanvas .geodesic -width 240 -height 90 -mx 4 -my -8 -viewxorigin -127 -viewyorigin 49 -background #f0f4f8 \
    -highlightthickness 0
pack .geodesic
.geodesic create object 0 0 -object geodesic -outline #a04020 -width 2
.geodesic create object 0 0 -object ends -fill #2060c0 -outline #102040 -symboltype oval -symbolxsize 7 \
    -symbolysize 7
update
set picture [file join $teskDemo(out) tour-geodesic.ppm]
if {[tour.screenshot .geodesic $picture]} {
    demo.log "the geodesic on a map written to $picture ([file size $picture] bytes)"
}
destroy .geodesic
foreach object {route geodesic ends} {
    $object close
}

tour.step "Terrain tiles"
# A store of 2 x 2 photo tiles at 2 m a pixel in UTM zone 10. A store tile
# covers 200 x 200 map pixels, so the scene's infrared band (scene.jpg) is
# enlarged four times (765 x 509) and the tiles are cut from its top-left
# 400 x 400 pixels (map rows count upward: the northern half is the upper
# row of tiles). The store is saved and read back, and its north-east tile
# opened as an image that carries the tile's place on the map, then shown.
terra.create tiles
tiles define 2 Photo Scale2m 10 5 3
set large [file join $teskDemo(out) scene4.jpg]
rimage gsfzoom -in [file join $teskDemo(out) scene.jpg] -out $large -s 4 -rs BI -pixel BYTE
for {set k 0} {$k < 4} {incr k} {
    set file [file join $teskDemo(out) tile$k.jpg]
    rimage create overwrite -imgid JPEG -pixel BYTE -nbands 1 -rows 200 -columns 200 -file $file
    rimage crop -in $large -out $file -ic [expr {200 * ($k % 2)}] -ir [expr {200 * (1 - $k / 2)}]
    set f [open $file rb]
    tiles puttile $k [binary encode base64 [read $f]]
    close $f
}
set store [file join $teskDemo(out) tiles.ter]
tiles save $store
tiles close
terra.create tiles -file $store
demo.log "[tiles title]: map tiles [tiles range] ([tiles range map] m), [tiles count] stored,\
    [file size $store] bytes in [file tail $store]"
set tile [rimage open tile.ne binary tiles {11 7}]
demo.log "tile {11 7} as an image: [rimage cget $tile -columns]x[rimage cget $tile -rows]\
    [rimage cget $tile -imgid], top-left ([rimage cget $tile -x0], [rimage cget $tile -y0]),\
    [rimage cget $tile -dx] m a pixel, [rimage cget $tile -mapid]"
image create gimg tour.tile -file $tile -layer 0
label .tile -image tour.tile -borderwidth 0 -highlightthickness 0 -padx 0 -pady 0
pack .tile
update
set picture [file join $teskDemo(out) tour-tile.ppm]
if {[tour.screenshot .tile $picture]} {
    demo.log "the tile on screen written to $picture ([file size $picture] bytes)"
}
destroy .tile
image delete tour.tile
rimage close $tile
tiles close

tour.step "Sensor models"
# The scene's infrared band (scene.tif) as ground of unit pixels, X east and
# Y north from its top-left pixel at (0, 0): a camera 100 units above its
# middle, tilted 20 degrees about X and turned 15 about Z, takes a 128 x 128
# photo of it (bilinear), which is rectified back onto the scene's grid;
# beside them a pushbroom of 128 lines flying south along the middle scans
# a strip 64 pixels wide. The three are shown side by side.
set sceneFile [file join $teskDemo(out) scene.tif]
set ground [rimage open $sceneFile]
rimage create overwrite -file photo -imgid MBIL -pixel FLOAT -rows 128 -columns 128 -nbands 1
rimage create overwrite -file back -imgid MBIL -pixel FLOAT -rows 128 -columns 192 -nbands 1 \
    -x0 [rimage cget $ground -x0] -y0 [rimage cget $ground -y0] -dx 1 -dy 1
rimage create overwrite -file strip -imgid MBIL -pixel FLOAT -rows 128 -columns 64 -nbands 1
camera.create tour.camera -f 10 -dx 0.1 -dy 0.1 -xc 63.5 -yc 63.5 -x 96 -y -64 -z 100 -ax 20 -az 15
tour.camera acquire $ground photo
tour.camera rectify photo back
pushbroom.create tour.scanner -nscanlines 128 -f 10 -dx 0.1 -dy 0.1 -xc 31.5 -yc 0
for {set i 0} {$i < 128} {incr i} {
    tour.scanner attitude $i [list 0 0 0 96 [expr {-$i}] 100]
}
tour.scanner acquire $ground strip
demo.log "camera footprint [lmap v [tour.camera bbox] {format %.1f $v}], looking along\
    [lmap v [tour.camera viewpoint] {format %.3f $v}]"
rimage bind -file back -obj back.obj
rimage bind -file $sceneFile -obj ground.obj
set seen 0
set error 0.0
for {set y 0} {$y < 128} {incr y} {
    for {set x 0} {$x < 192} {incr x} {
        set b [back.obj vget $x $y]
        if {$b != 0} {
            incr seen
            set error [expr {$error + abs($b - [ground.obj vget $x $y])}]
        }
    }
}
rename back.obj {}
rename ground.obj {}
demo.log [format "rectified back: %d ground pixels seen, mean difference %.2f grey levels" $seen \
    [expr {$error / $seen}]]
demo.log "pushbroom lines [tour.scanner gridsize] units apart across and along, strip [lmap v [tour.scanner bbox] {format %.1f $v}]"
image create gimg tour.photo -file photo -low0 0 -high0 255
image create gimg tour.back -file back -low0 0 -high0 255
image create gimg tour.strip -file strip -low0 0 -high0 255
set labels [tour.showImages .sensor {tour.photo tour.back tour.strip}]
set picture [file join $teskDemo(out) tour-sensor.ppm]
if {[tour.screenshot $labels $picture]} {
    demo.log "photo, rectified ground and strip written to $picture ([file size $picture] bytes)"
}
destroy .sensor
image delete tour.photo tour.back tour.strip
rename tour.camera {}
rename tour.scanner {}
foreach tag {photo back strip} {rimage close $tag}
rimage close $ground

tour.step "OpenGL"
# A glw window with a lit cube: its six faces, each with its normal, are
# compiled once into a display list that the window's display script calls
# under a perspective view, turned to show three faces. The renderer is
# named in the log; the picture is read back with glReadPixels and written
# as a PPM file (GL's rows run bottom-up, the file's top-down).
glw .gl -width 240 -height 180
pack .gl
update
glw current .gl
demo.log "OpenGL renderer: [glGetString GL_RENDERER], version [glGetString GL_VERSION]"
set cube [glGenLists 1]
glNewList $cube GL_COMPILE
foreach {normal corners} {
    {0 0 1} {-1 -1 1 1 -1 1 1 1 1 -1 1 1}
    {0 0 -1} {-1 -1 -1 -1 1 -1 1 1 -1 1 -1 -1}
    {1 0 0} {1 -1 -1 1 1 -1 1 1 1 1 -1 1}
    {-1 0 0} {-1 -1 -1 -1 -1 1 -1 1 1 -1 1 -1}
    {0 1 0} {-1 1 -1 -1 1 1 1 1 1 1 1 -1}
    {0 -1 0} {-1 -1 -1 1 -1 -1 1 -1 1 -1 -1 1}
} {
    glNormal {*}$normal
    glBegin GL_QUADS
    foreach {x y z} $corners {
        glVertex $x $y $z
    }
    glEnd
}
glEndList
GLchar display [string map [list @cube $cube] {
    glViewport 0 0 240 180
    glClearColor 0.1 0.12 0.16 1
    glClear GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT
    glEnable GL_DEPTH_TEST
    glEnable GL_LIGHTING
    glEnable GL_LIGHT0
    glMatrixMode GL_PROJECTION
    glLoadIdentity
    glFrustum -1 1 -0.75 0.75 2 10
    glMatrixMode GL_MODELVIEW
    glLoadIdentity
    glLight GL_LIGHT0 GL_POSITION {2 3 4 0}
    glLightModel GL_LIGHT_MODEL_AMBIENT {0.25 0.25 0.25 1}
    glTranslate 0 0 -6
    glRotate 30 1 0 0
    glRotate -40 0 1 0
    glMaterial GL_FRONT GL_AMBIENT_AND_DIFFUSE {0.3 0.6 0.9 1}
    glCallList @cube
}]
glw draw .gl
update
set picture [file join $teskDemo(out) tour-gl.ppm]
tour.glPicture 240 180 $picture
demo.log "the lit cube, [glGetError] after drawing, written to $picture ([file size $picture] bytes)"
glDeleteLists $cube 1
destroy .gl

tour.step "GLU and GLUT"
# A textured backdrop, a lit GLU sphere and GLUT's teapot in one glw window.
# The texture is the picture of the infrared and ratio views taken above
# (or, without it, the lit cube's): read into a Tk photo, copied into a
# byte object with glphoto (rows bottom-up, as GL takes them), scaled to
# 256 x 128 texels by gluScaleImage and loaded with its mipmaps by
# gluBuild2DMipmaps. The view is set with gluPerspective and gluLookAt; the
# picture is read back and written as a PPM file.
set source [file join $teskDemo(out) tour-screen.ppm]
if {![file exists $source]} {
    set source [file join $teskDemo(out) tour-gl.ppm]
}
image create photo tour.texture -file $source
glw .glu -width 320 -height 200
pack .glu
update
glw current .glu
glphoto picture.rgb tour.texture
GLubyte texels(0:[expr {256 * 128 * 3 - 1}])
gluScaleImage GL_RGB [image width tour.texture] [image height tour.texture] GL_UNSIGNED_BYTE picture.rgb \
    256 128 GL_UNSIGNED_BYTE texels
gluBuild2DMipmaps GL_TEXTURE_2D 3 256 128 GL_RGB GL_UNSIGNED_BYTE texels
set sphere [gluNewQuadric]
demo.log "GLU [gluGetString GLU_VERSION]: [file tail $source] ([image width tour.texture]x[image height tour.texture])\
    scaled to 256x128 texels; quadric $sphere"
GLchar display [string map [list @sphere $sphere] {
    glViewport 0 0 320 200
    glClearColor 0.1 0.12 0.16 1
    glClear GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT
    glEnable GL_DEPTH_TEST
    glMatrixMode GL_PROJECTION
    glLoadIdentity
    gluPerspective 40 1.6 1 20
    glMatrixMode GL_MODELVIEW
    glLoadIdentity
    gluLookAt 0 1 6 0 0 0 0 1 0
    glDisable GL_LIGHTING
    glEnable GL_TEXTURE_2D
    glColor 1 1 1
    glBegin GL_QUADS
    glTexCoord 0 0; glVertex -3.6 -0.9 -2
    glTexCoord 1 0; glVertex 3.6 -0.9 -2
    glTexCoord 1 1; glVertex 3.6 1.5 -2
    glTexCoord 0 1; glVertex -3.6 1.5 -2
    glEnd
    glDisable GL_TEXTURE_2D
    glEnable GL_LIGHTING
    glEnable GL_LIGHT0
    glLight GL_LIGHT0 GL_POSITION {2 3 4 0}
    glLightModel GL_LIGHT_MODEL_AMBIENT {0.25 0.25 0.25 1}
    glPushMatrix
    glTranslate -1.1 0 0
    glMaterial GL_FRONT GL_AMBIENT_AND_DIFFUSE {0.9 0.35 0.2 1}
    gluSphere @sphere 0.8 48 24
    glPopMatrix
    glPushMatrix
    glTranslate 1.2 -0.2 0.5
    glRotate 20 0 1 0
    glMaterial GL_FRONT GL_AMBIENT_AND_DIFFUSE {0.3 0.6 0.9 1}
    glutSolidTeapot 0.6
    glPopMatrix
}]
glw draw .glu
update
set picture [file join $teskDemo(out) tour-glu.ppm]
tour.glPicture 320 200 $picture
demo.log "the textured backdrop, sphere and teapot, [glGetError] after drawing, written to $picture\
    ([file size $picture] bytes)"
gluDeleteQuadric $sphere
destroy .glu
image delete tour.texture

tour.step "Terrain and models"
# A tour picture as an elevation model draped with itself, in a glw image
# that a label shows. The heights are the picture's brightness read through
# GL: the picture is drawn upside down (so that GL's bottom-up reading
# gives the grid's rows top first) and read back as luminance floats, each
# channel weighted a third. The drape is the picture's glphoto bytes, whose
# bottom-up rows are what the surface image of glexSolidDem takes.
set source [file join $teskDemo(out) tour-screen.ppm]
if {![file exists $source]} {
    set source [file join $teskDemo(out) tour-gl.ppm]
}
image create photo tour.source -file $source
set step [expr {max(1, int(ceil(max([image width tour.source] / 320.0, [image height tour.source] / 240.0))))}]
image create photo tour.drape
tour.drape copy tour.source -subsample $step $step
image delete tour.source
set cols [image width tour.drape]
set rows [image height tour.drape]
image create glw tour.view -width 320 -height 240
label .view -image tour.view
pack .view
update
glw current tour.view
glphoto drape.rgb tour.drape
glPixelStore GL_UNPACK_ALIGNMENT 1
glPixelStore GL_PACK_ALIGNMENT 1
glMatrixMode GL_PROJECTION
glLoadIdentity
glMatrixMode GL_MODELVIEW
glLoadIdentity
glRasterPos -1 1
glPixelZoom 1 -1
glClear GL_COLOR_BUFFER_BIT
glDrawPixels $cols $rows GL_RGB GL_UNSIGNED_BYTE drape.rgb
glPixelZoom 1 1
foreach channel {GL_RED_SCALE GL_GREEN_SCALE GL_BLUE_SCALE} {
    glPixelTransfer $channel 0.3333
}
glReadPixels 0 [expr {240 - $rows}] $cols $rows GL_LUMINANCE GL_FLOAT heights
foreach channel {GL_RED_SCALE GL_GREEN_SCALE GL_BLUE_SCALE} {
    glPixelTransfer $channel 1
}
GLfloat dem(0:[expr {$cols * $rows - 1}]) $heights
unset heights
# The image's display script: a lit view from eye on the origin, z up,
# drawing what body draws.
proc tour.litView {eye body} {
    glset display [string map [list @eye $eye @body $body] {
        glViewport 0 0 320 240
        glClearColor 0.1 0.12 0.16 1
        glClear GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT
        glEnable GL_DEPTH_TEST
        glEnable GL_LIGHTING
        glEnable GL_LIGHT0
        glEnable GL_NORMALIZE
        glMatrixMode GL_PROJECTION
        glLoadIdentity
        gluPerspective 35 1.3333 0.1 10
        glMatrixMode GL_MODELVIEW
        glLoadIdentity
        gluLookAt @eye 0 0 0 0 0 1
        glLight GL_LIGHT0 GL_POSITION {-1 1 2 0}
        @body
    }]
}
GLchar display
tour.litView {0 -1.25 1.0} "glEnable GL_COLOR_MATERIAL
    glexSolidDem $cols $rows 1 1 [expr {0.12 * ($cols - 1)}] dem drape.rgb
    glDisable GL_COLOR_MATERIAL"
glw draw tour.view
update
set picture [file join $teskDemo(out) tour-dem.ppm]
if {[tour.screenshot .view $picture]} {
    demo.log "a ${cols}x$rows grid of [file tail $source]'s brightness draped with itself, written to $picture"
}

# A model: a torus of 24 x 12 quads with one material, written as OBJ and
# MTL, loaded with oglm (fitted into the unit cube, corner normals smoothed
# where faces meet at under 60 degrees), drawn in the same image.
set base [file join $teskDemo(out) torus]
set f [open $base.mtl w]
puts $f "newmtl copper\nKd 0.85 0.5 0.25 1\nKa 0.2 0.12 0.06 1\nKs 0.6 0.6 0.6 1\nNs 400"
close $f
set f [open $base.obj w]
puts $f "mtllib torus.mtl"
for {set i 0} {$i < 24} {incr i} {
    set u [expr {$i * 3.14159265 / 12}]
    for {set j 0} {$j < 12} {incr j} {
        set v [expr {$j * 3.14159265 / 6}]
        puts $f [format "v %.5f %.5f %.5f" [expr {(3 + cos($v)) * cos($u)}] [expr {(3 + cos($v)) * sin($u)}] \
            [expr {sin($v)}]]
    }
}
puts $f "g torus\nusemtl copper\ns 1"
for {set i 0} {$i < 24} {incr i} {
    for {set j 0} {$j < 12} {incr j} {
        set a [expr {$i * 12 + $j + 1}]
        set b [expr {($i + 1) % 24 * 12 + $j + 1}]
        set c [expr {($i + 1) % 24 * 12 + ($j + 1) % 12 + 1}]
        set d [expr {$i * 12 + ($j + 1) % 12 + 1}]
        puts $f "f $a $b $c $d"
    }
}
close $f
oglm create tour.torus -file $base.obj -normal 2 -smoothmode 2 -smoothness 60
demo.log "oglm model from [file tail $base.obj]: [oglm info tour.torus]"
tour.litView {0 -2.4 2.2} {oglm draw tour.torus}
glw draw tour.view
update
set picture [file join $teskDemo(out) tour-obj.ppm]
if {[tour.screenshot .view $picture]} {
    demo.log "the smoothed torus, written to $picture"
}
oglm delete tour.torus
destroy .view
image delete tour.view tour.drape

tour.step "Settings form"
# A form made of the comb widget kit's fields: a linear stretch between two
# grey levels (number fields with arrow buttons, stepped by 5) and the name
# of the output image (a string field whose button, or Return in its entry,
# takes the settings). The low level is stepped as a click on its up arrow
# would; the high level is disabled while the form is written out, then
# enabled again.
proc tour.takeForm {} {
    demo.log "stretch [num.get .form.low]..[num.get .form.high] into [.form.out.ent get]"
}
frame .form -borderwidth 2 -relief groove
num.create .form.low -label {-text Low -width 6 -anchor w} -min 0 -max 255 -init 10 -inc 5 -dec 5 -fmt %d
num.create .form.high -label {-text High -width 6 -anchor w} -min 0 -max 255 -init 240 -inc 5 -dec 5 -fmt %d
str.create .form.out -layout left -label {-text Output -anchor w} -btn {-text Take -command tour.takeForm}
.form.out.ent insert 0 stretched.img
num.bindChange .form.low {demo.log "low level now [num.get .form.low]"}
pack .form.low .form.high .form.out -side top -fill x -padx 4 -pady 2
pack .form -side top -fill x
update
event generate .form.low.b.up <ButtonPress-1>
event generate .form.low.b.up <ButtonRelease-1>
update
comb.dis .form.high
demo.log "high level disabled: its entry is [.form.high.entry cget -state], its text [.form.high.entry cget -fg]"
update
set picture [file join $teskDemo(out) tour-form.ppm]
if {[tour.screenshot .form $picture]} {
    demo.log "the form written to $picture ([file size $picture] bytes)"
}
comb.ena .form.high
demo.log "high level enabled again: its entry is [.form.high.entry cget -state]"
.form.out.btn invoke
destroy .form
update

tour.step "Widget kit"
# A fold notebook of the comb kit beside a small map: "Layers" lists the
# map's layers (a scrolled list), "Display" chooses the bands (a button
# group) and a stretch (a pull-down list), "Colours" is a palette whose
# click recolours the map's background. A popup is posted under a button.
frame .kit
gcanvas .kit.map -width 160 -height 200 -mx 2 -my -2 -viewyorigin 100 -background #f0f0e0 -highlightthickness 0
.kit.map create rectangle 10 60 70 90 -fill #a0c0e0 -outline #204060 -tags water
.kit.map create oval 20 20 60 50 -fill #c0e0a0 -outline #406020 -tags fields
.kit.map create line 0 10 80 40 -fill #806040 -width 2 -tags roads
fold.create .kit.fold -labels {Layers Display Colours} -fwidth 300 -fheight 200
button .kit.show -text "Map help"
pack .kit.show -side bottom -pady 2
pack .kit.map .kit.fold -side left -anchor n
pack .kit -side top
update
fold.addItem .kit.fold Layers -layers slis.create [list -items [lmap id [.kit.map find all] {.kit.map gettags $id}]]
pack [fold.get .kit.fold Layers].layers -fill both -expand 1
fold.addItem .kit.fold Display -bands gbtn.create {-label {-text Bands} -btns {
    {radio -text "Red, green, blue" -variable ::tourBands -value rgb}
    {radio -text "Near infrared" -variable ::tourBands -value nir}}}
fold.addItem .kit.fold Display -stretch pdl.create {-label {-text Stretch} -items {linear equalize none}}
pack {*}[lmap id {bands stretch} {string cat [fold.get .kit.fold Display] . $id}] -side top -fill x -pady 2
fold.addItem .kit.fold Colours -colours pal.create
pack [fold.get .kit.fold Colours].colours
# A click on a cell (pal.set takes the colour on the press) recolours the
# map as the button comes up.
[fold.get .kit.fold Colours].colours.canv bind clrs <ButtonRelease-1> {.kit.map configure -background [%W itemcget current -fill]}
update
demo.log "fold pages: [comb.get .kit.fold labels] ([comb.get .kit.fold pid]); layers listed:\
    [[fold.get .kit.fold Layers].layers.list get 0 end]"
fold.page .kit.fold p1
update
[fold.get .kit.fold Display].bands.btn.f.1 invoke
demo.log "Display in front ([comb.get .kit.fold top]): bands $::tourBands, stretches\
    [[fold.get .kit.fold Display].stretch.f.list get 0 end]"
fold.page .kit.fold p2
update
set cells [fold.get .kit.fold Colours].colours.canv
lassign [$cells bbox c(1,0)] x0 y0 x1 y1
event generate $cells <Motion> -x [expr {($x0 + $x1) / 2}] -y [expr {($y0 + $y1) / 2}]
event generate $cells <ButtonPress-1> -x [expr {($x0 + $x1) / 2}] -y [expr {($y0 + $y1) / 2}]
event generate $cells <ButtonRelease-1> -x [expr {($x0 + $x1) / 2}] -y [expr {($y0 + $y1) / 2}]
update
demo.log "Colours in front: [llength [$cells find withtag clrs]] cells; a click on the second one made the\
    map's background [.kit.map cget -background]"
popup.create .kit.tip
popup.add .kit.tip -text label {-text "Click a tab to turn the page" -bg #ffffe0}
pack .kit.tip.text
popup.post .kit.tip .kit.show sw
update
demo.log "popup under the button at +[winfo rootx .kit.tip]+[winfo rooty .kit.tip], the button's lower left\
    corner at +[winfo rootx .kit.show]+[expr {[winfo rooty .kit.show] + [winfo height .kit.show]}]"
set picture [file join $teskDemo(out) tour-kit.ppm]
if {[tour.screenshot .kit $picture]} {
    demo.log "the map and the kit written to $picture ([file size $picture] bytes)"
}
popup.hide .kit.tip
destroy .kit
update

tour.step "Display modules"
# An example module written for the raster display driver (demo/module),
# loaded beside the package: it asks for its legend through a form, filled
# in here as a user would type it, then draws a shaded raster, a river,
# roads and the legend in a stroke font into a virtual display. The font's
# glyphs give their points as letters (R the origin, " R" lifts the pen):
# a blank, H, I, L and O, for the codes from the blank (32) on.
set fonts [file join $teskDemo(out) fonts]
file mkdir $fonts
set f [open [file join $fonts glyphs.txt] w]
puts $f "   10  1NV\n   11  9NVOKOR RUKUR RONUN\n   12  3NVRKRR\n   13  4NVOKORUR\n   14  6NVOKUKUROROK"
close $f
set codes [lrepeat 48 10]
foreach {letter glyph} {H 11 I 12 L 13 O 14} {
    lset codes [expr {[scan $letter %c] - 32}] $glyph
}
set f [open [file join $fonts tour.def] w]
puts $f $codes
close $f
grass fontLoad [file join $fonts glyphs.txt]
grass fontDef tour [file join $fonts tour.def]
load [file join $teskDemo(build) libvdispdemo[info sharedlibextension]] Vdispdemo
frame .vdisp
pack [vdisp.create .vdisp.map 120 240]
pack .vdisp
wm deiconify .
update
grass driver open_driver
after 200 {
    if {[catch {
        .vask.e1 delete 0 end
        .vask.e1 insert 0 HILL
        focus -force .vask.e1
        event generate .vask.e1 <KeyRelease> -keysym L -when now
        .vask.buttons.ok invoke
    }]} {
        set ::_vask(return) 0
    }
}
lassign [vdispdemo tour] answer legend
update
demo.log "form answered $answer, legend $legend in the font [lindex [grass fontList] 0]"
set picture [file join $teskDemo(out) tour-vdisp.ppm]
if {[tour.screenshot .vdisp.map $picture]} {
    demo.log "the map of the module written to $picture"
}
destroy .vdisp
update

tour.step "Video and scanning"
# The scene's infrared band (scene.tif) in a ddw widget, shown over its
# mean plus and minus two standard deviations, beside a two-second AVI
# written here (a bright bar crossing a dark field: 20 frames of 96 x 128
# at 10 a second, rows of 24 bits bottom first) played to its end, its
# position read out in a label as it plays.
proc tour.chunk {id data} {
    set pad [expr {[string length $data] % 2 ? "\0" : ""}]
    return $id[binary format i [string length $data]]$data$pad
}
proc tour.barAvi {file width height frames} {
    set avih [binary format i14 [list 100000 0 0 16 $frames 0 1 0 $width $height 0 0 0 0]]
    set strh vids\0\0\0\0[binary format issiiiiiiiissss 0 0 0 0 1 10 0 $frames 0 -1 0 0 0 $width $height]
    set strf [binary format iiissiiiiii 40 $width $height 1 24 0 0 0 0 0 0]
    set hdrl [tour.chunk LIST hdrl[tour.chunk avih $avih][tour.chunk LIST strl[tour.chunk strh $strh][tour.chunk strf $strf]]]
    set movi movi
    set index {}
    for {set i 0} {$i < $frames} {incr i} {
        set bar [expr {$i * ($width - 16) / ($frames - 1)}]
        set row {}
        for {set x 0} {$x < $width} {incr x} {
            append row [expr {$x >= $bar && $x < $bar + 16 ? "\x3c\xc8\xf0" : "\x3c\x1e\x14"}]
        }
        set frame [string repeat $row $height]
        append index 00db[binary format iii 16 [string length $movi] [string length $frame]]
        append movi [tour.chunk 00db $frame]
    }
    set f [open $file wb]
    puts -nonewline $f [tour.chunk RIFF "AVI $hdrl[tour.chunk LIST $movi][tour.chunk idx1 $index]"]
    close $f
}
set avi [file join $teskDemo(out) tour-bar.avi]
tour.barAvi $avi 96 128 20
frame .dd
ddw .dd.scene -image [file join $teskDemo(out) scene.tif] -std 2 -width 192 -height 128
ddw .dd.video -width 96 -height 128 -video $avi -vvar ::tourPosition -vstop {set ::tourPlayed 1}
label .dd.position -textvariable ::tourPosition -width 6
pack .dd.scene .dd.video .dd.position -side left
pack .dd
update
demo.log [format "ddw of scene.tif at -std 2: %dx%d, shown from %.2f to %.2f" \
    {*}[lrange [.dd.scene ddsd] 0 1] [.dd.scene cget -low0] [.dd.scene cget -high0]]
set ::tourPosition 0.000
set ::tourPlayed 0
set guard [after 10000 {set ::tourPlayed "not in time"}]
.dd.video video
vwait ::tourPlayed
after cancel $guard
demo.log "video [.dd.video video duration] s, [lindex [.dd.video video imageinfo] end] frames: played ($::tourPlayed),\
    read-out at the end $::tourPosition"
set picture [file join $teskDemo(out) tour-ddw.ppm]
if {[tour.screenshot {.dd.scene .dd.video} $picture]} {
    demo.log "the scene and the video's last frame written to $picture ([file size $picture] bytes)"
}
destroy .dd

# A scan from the simulated TWAIN source, transferred without its dialog:
# the transfer calls the program library's view with "twain.img".
set env(TESK_TWAIN_SIM) "w=64 h=32 bpp=24 auto=1"
twimg open
demo.log "TWAIN manager [twimg status]"
set ::tourViewed 0
trace add execution view leave {apply {args {set ::tourViewed 1}}}
set guard [after 10000 {set ::tourViewed "not in time"}]
twimg acquire
vwait ::tourViewed
after cancel $guard
update
demo.log "scan viewed ($::tourViewed): twain.img has [rimage cget twain.img -columns] columns,\
    [rimage cget twain.img -rows] rows, [rimage cget twain.img -nbands] bands"
set picture [file join $teskDemo(out) tour-scan.ppm]
if {[tour.screenshot .view $picture]} {
    demo.log "the scan written to $picture ([file size $picture] bytes)"
}
destroy .view
image delete demo.view
twimg close
unset env(TESK_TWAIN_SIM)

tour.step "Done"
update
set f [open [file join $teskDemo(out) tour.txt] w]
puts $f [join $::demo::log \n]
close $f
puts "tour written to [file join $teskDemo(out) tour.txt]"
exit 0
