#!/bin/sh
# Checks habits of the sources that the compiler does not:
#   style_check.sh SOURCE_DIR
# 1. Numbers are read through runtime/cnumber, whatever LC_NUMERIC says: no
#    strtod, strtof, strtold, atof or std::stod (stof, stold), and no scanf
#    of a floating conversion ("%f", "%lf", "%g", ...) in the library's
#    folders outside it. The console stdio self-test (tesk_scanf and
#    tesk_fscanf in runtime/calc_probes.cpp) is the one exception: what scanf
#    reads there is what it tests.
#    And a number a user or a file gives is read finite: cStrtod, cStrtof and
#    cScanNumber, the readers of cnumber that answer "inf" and "nan" as
#    written, are used only on the lines (or in the files) listed in
#    rawNumbers below, each under the reason its value may be so; every other
#    reader (cReadNumber, cScanNumbers, cWholeNumber, cToolNumber, cGetDouble)
#    refuses what is not finite unless its caller names it. std::from_chars
#    reads "inf" and "nan" into a floating type as well, and the check cannot
#    tell its type: each call is listed too, whole numbers among them.
# 2. Every if, else, for and while of the sources and tests puts its
#    statement in braces (the brace-less one-line form above all).
# 3. What differs between image types is asked of the image-type table:
#    outside imagestore/ (and the codes' own definition in
#    include/tesk_image.h) an image-type code (IMG_BSQ, IMG_DIB, ...) is
#    named only where a tool or a command picks the type of an image it
#    makes, the lines listed in defaultTypes below.
# 4. A libjpeg object is made (jpeg_create_compress or _decompress) only
#    after its function has set the jump that libjpeg's errors take: the
#    making allocates, and its failure jumps. The helpers that make one
#    under their callers' jump are listed in jumpHelpers below.
# 6. A floating value a user gives is read by runtime/cnumber (cGetDouble,
#    cGetDoubleFromObj, cWholeNumber), which refuses infinities and NaN
#    unless the caller asks for them, and option words go through
#    runtime/configspec (teskConfigureWidget, teskConfigure, teskGetPixels),
#    which refuses distances and doubles that are not finite and clamps
#    distances before Tk makes ints of them: outside those two files no
#    Tcl_GetDouble, Tcl_GetDoubleFromObj, Tcl_ExprDouble (or its Obj form),
#    Tk_GetPixels, Tk_GetPixelsFromObj,
#    Tk_GetMMFromObj, Tk_ConfigureWidget or Tk_SetOptions, and
#    Tk_GetScreenMM only on the lines listed in screenDistances below, each
#    followed by its own check of finiteness.
# 8. PROJ is handed a definition only by geo/projlib.cpp's createChecked,
#    after the layer read it as PROJ reads it and checked every file it
#    names: no other line of the library calls a proj_create function
#    (proj_create, proj_create_argv, proj_create_crs_to_crs, ...). The one
#    call is listed in projDoor below.
# 5. Every tcltest test of the suite (the tests/ folders' *.test files) has
#    a name of its own, so that a failure names one test: a name written out
#    in a test command that an earlier test of any file already has is
#    reported (names made by the script, with $ or [, are left alone).
# 7. An image tool takes away only a file its run made anew: in analysis/
#    no unlink, remove or unlinkat; a file goes through ramImageRemoveMade,
#    which removes a name only while it is the very file the run made, so
#    that a refused or failed run never removes a name that was there
#    before it (a link given as the output, a file put there meanwhile).
# Comments are skipped; each finding prints as FILE:LINE: TEXT.
set -eu
src=$1
status=0

# Prints the C and C++ sources under the given folders of src, one a line.
sources() {
    for folder in "$@"; do
        [ -d "$src/$folder" ] && find "$src/$folder" -name '*.c' -o -name '*.cpp' -o -name '*.h'
    done | LC_ALL=C sort
}

# Prints a check's findings (when there are any) and its message, and
# marks the run failed.
findings() {
    if [ -n "$1" ]; then
        echo "$1"
        echo "$2" >&2
        status=1
    fi
}

# The awk program printing each file with its comments and string contents
# blanked out (uncomment.awk).
uncomment=$(cat "$(dirname "$0")/uncomment.awk")

library="runtime platform imagestore display analysis canvas geo gl devices package include"
# shellcheck disable=SC2086
numbers=$(sources $library | grep -v '/runtime/cnumber\.\(cpp\|h\)$' | xargs awk -v keep=1 "$uncomment" | awk -F: '
    $1 != file { depth = 0; file = $1 }
    {
        text = $0; sub(/^[^:]*:[^:]*:/, "", text)
        if (text ~ /(^|[^A-Za-z0-9_])(strtod|strtof|strtold|atof|stod|stof|stold)(_l)?[ \t]*\(/) {
            print $1 ":" $2 ": " text
        }
        # A scanf call runs to its closing parenthesis, over lines if need be.
        if (depth == 0) {
            at = match(text, /scanf[ \t]*\(/)
            if (at == 0 || ($1 ~ /\/runtime\/calc_probes\.cpp$/ && text ~ /tesk_f?scanf[ \t]*\(/)) {
                next
            }
            where = $1 ":" $2 ": " text
            call = ""
            inString = 0
            text = substr(text, at + RLENGTH - 1)
        }
        n = length(text)
        for (i = 1; i <= n && (i == 1 || depth > 0); i++) {
            c = substr(text, i, 1)
            if (c == "\\") {
                i++
            } else if (c == "\"") {
                inString = !inString
            } else if (!inString) {
                depth += (c == "(") - (c == ")")
            }
        }
        call = call substr(text, 1, i - 1)
        if (depth == 0) {
            gsub(/%%/, "", call)
            if (call ~ /%\*?[0-9]*[hlLjzt]*[aAeEfFgG]/) {
                print where
            }
        }
    }')
findings "$numbers" "style_check: numbers read outside runtime/cnumber (use cStrtod, cStrtof or cScanNumbers)"

# An if, else if, for or while whose condition closes and is followed by
# something other than a brace (or, for while, the semicolon of a do loop);
# an else followed by anything but a brace or if. Conditions are followed
# across lines by counting parentheses; preprocessor lines and macro bodies
# are left alone.
# shellcheck disable=SC2086
braces=$(sources $library tests bench | xargs awk -v keep=0 "$uncomment" | awk -F: '
    $1 != file { depth = 0 }
    {
        file = $1; text = $0; sub(/^[^:]*:[^:]*:/, "", text)
        macro = continued || text ~ /^[ \t]*#/
        continued = text ~ /\\$/
        if (macro) {
            next
        }
        if (depth > 0) {
            pos = 1
        } else {
            pos = match(text, /(^|[^A-Za-z0-9_])(if|for|while)[ \t]*\(/)
            if (pos == 0) {
                if (text ~ /(^|[^A-Za-z0-9_])else[ \t]*$/ || text ~ /(^|[^A-Za-z0-9_])else[ \t]+[^ \t{i]/ ||
                    (text ~ /(^|[^A-Za-z0-9_])else[ \t]+i/ && text !~ /(^|[^A-Za-z0-9_])else[ \t]+if[ \t(]/)) {
                    print file ":" $2 ": " text
                }
                next
            }
            start = $2
            doWhile = text ~ /}[ \t]*while[ \t]*\(/
            pos = index(substr(text, pos), "(") + pos - 1
        }
        n = length(text)
        for (i = pos; i <= n; i++) {
            c = substr(text, i, 1)
            if (c == "(") depth++
            else if (c == ")") {
                depth--
                if (depth == 0) break
            }
        }
        if (depth > 0) next
        rest = substr(text, i + 1)
        sub(/^[ \t]+/, "", rest)
        if (rest == "" && !doWhile) {
            # The brace opens the next line in no file of ours: report it.
            print file ":" start ": " text
        } else if (substr(rest, 1, 1) != "{" && !(doWhile && substr(rest, 1, 1) == ";")) {
            print file ":" start ": " text
        }
    }')
findings "$braces" "style_check: statements of if, else, for and while go in braces"
# The part of an awk program shared by the checks that allow some lines:
# given -v src=SOURCE_DIR/ and -v allowed=LIST (lines "FILE:TEXT", the file
# under src, the text stripped of its indentation, or "FILE" for all its
# lines), report(path, number, text) prints a finding unless its line is in
# the list.
listedLines='
    BEGIN {
        n = split(allowed, lines, "\n")
        for (i = 1; i <= n; i++) {
            listed[lines[i]] = 1
        }
    }
    function report(path, number, text,    file, line) {
        file = substr(path, length(src) + 1)
        line = text; sub(/^[ \t]+/, "", line); sub(/[ \t]+$/, "", line)
        if (!((file ":" line) in listed) && !(file in listed)) {
            print file ":" number ": " line
        }
    }'
# The lines, "FILE:TEXT" with the text stripped of its indentation, that
# may name an image-type code: each a default output type.
defaultTypes='analysis/tools/dist.cpp:desc.imgid = IMG_DIB;
analysis/tools/gconv.cpp:desc.imgid = IMG_DIB;
analysis/tools/gsfzoom.cpp:desc->imgid = IMG_DIB;
analysis/tools/gtop.cpp:desc.imgid = IMG_MBIP;
analysis/tools/gtop.cpp:desc.imgid = imgid != nullptr ? imgIdCode(imgid) : IMG_BIP;
analysis/tools/toolutil.cpp:desc.imgid = IMG_DIB;
display/gimgdump.cpp:int imgid = photo ? IMG_MBSQ : imgIdCode(argv[3]);
display/mask.cpp:desc.imgid = IMG_MBSQ;
display/photolink.cpp:copy.imgid = IMG_MBSQ;
display/picture.cpp:d.imgid = IMG_MBSQ;'
# shellcheck disable=SC2086
typeCodes=$(sources runtime platform display analysis canvas geo gl devices package include |
    grep -v '/include/tesk_image\.h$' | xargs awk -v keep=0 "$uncomment" |
    awk -F: -v src="$src/" -v allowed="$defaultTypes" "$listedLines"'
    {
        text = $0; sub(/^[^:]*:[^:]*:/, "", text)
        if (text !~ /(^|[^A-Za-z0-9_])IMG_[A-Z0-9_]+/) {
            next
        }
        report($1, $2, text)
    }')
findings "$typeCodes" "style_check: image-type code outside imagestore/ (ask the type's row in imagestore/formats/imagetypes.h)"
# The lines, "FILE:TEXT" as for defaultTypes, that make a libjpeg object
# in a helper called only after its caller's setjmp.
jumpHelpers='imagestore/formats/jpeg.cpp:jpeg_create_decompress(cinfo);'
# shellcheck disable=SC2086
jumps=$(sources $library | xargs awk -v keep=0 "$uncomment" |
    awk -F: -v src="$src/" -v allowed="$jumpHelpers" "$listedLines"'
    {
        text = $0; sub(/^[^:]*:[^:]*:/, "", text)
        if ($1 != file || text ~ /^}/) {
            jumped = 0
        }
        file = $1
        if (text ~ /(^|[^A-Za-z0-9_])setjmp[ \t]*\(/) {
            jumped = 1
        }
        if (text !~ /(^|[^A-Za-z0-9_])jpeg_create_(de)?compress[ \t]*\(/ || jumped) {
            next
        }
        report($1, $2, text)
    }')
findings "$jumps" "style_check: a libjpeg object made before its setjmp (set the jump first)"
# The lines (strings kept) and files, "FILE:TEXT" or "FILE" as for
# defaultTypes, whose numbers may be infinite or NaN as written, by reason:
# - calc fscanf prints back each number of a file as it reads it; it keeps
#   none.
# - The georeference comment reads back every double its writer writes,
#   infinities and NaN too; from_chars is tried first.
# - The GL binding hands a script's numbers to GL as the C function takes
#   them; GL defines its own infinities (a far plane at infinity).
# - A comb number field steps between its own bounds: a step that is not
#   finite ends at a bound, a value that is NaN goes to -cf-min, and an
#   infinite bound is no bound.
# - An infinite print scale asks for one-unit page tiles.
# - projlib reads values of definitions that PROJ has read and accepted (or
#   PROJ's ellipsoid table); a definition holding a number that is not
#   finite never reaches PROJ, and the ellipsoid read from them is checked
#   finite before use.
# - etran's number and a model file's coordinate are checked finite on the
#   next lines (a coordinate that is not reads 0).
# - from_chars into an integer type (a statistics option, a calc list item,
#   a band count, a model's smoothing group and index) reads no infinity
#   or NaN.
rawNumbers='runtime/calc_probes.cpp:for (int index = 0; ftello(fp) < size && cScanNumber(fp, &value); index++) {
imagestore/codes.cpp:value = cStrtod(item.c_str());
imagestore/codes.cpp:std::from_chars_result result = std::from_chars(digits, end, magnitude);
analysis/etran/etran.cpp:auto [end, ec] = std::from_chars(text.data() + start, text.data() + text.size(), v);
gl/oglmfile.cpp:std::from_chars_result r = std::from_chars(p, end, value);
analysis/tools/gstat.cpp:auto [stop, error] = std::from_chars(option.value, end, number);
analysis/tools/calcfuncs.cpp:auto [end, error] = std::from_chars(item.data(), item.data() + item.size(), value);
analysis/tools/calc.cpp:auto [stop, error] = std::from_chars(text, end, value);
gl/oglmfile.cpp:if (std::from_chars(p, end, number).ec != std::errc()) {
gl/oglmfile.cpp:std::from_chars_result r = std::from_chars(p, end, n);
gl/convert.cpp:return parseList(word, dst, count, [](const char *token) { return static_cast<T>(cStrtod(token)); });
gl/convert.cpp:return cStrtod(static_cast<const char *>(object->data));
gl/convert.cpp:return cStrtod(word);
devices/comb/combnum.cpp:double max = cStrtod(combOption(interp, w, "cf-max"));
devices/comb/combnum.cpp:double min = cStrtod(combOption(interp, w, "cf-min"));
devices/comb/combnum.cpp:double by = up ? cStrtod(combOption(interp, w, "cf-inc")) : -cStrtod(combOption(interp, w, "cf-dec"));
devices/comb/combnum.cpp:double value = cStrtod(Tcl_GetStringResult(interp)) + by;
devices/print/printcanvas.cpp:scale = cStrtod(argv[3]);
geo/projlib.cpp'
# shellcheck disable=SC2086
rawNumbers=$(sources $library | grep -v '/runtime/cnumber\.\(cpp\|h\)$' | xargs awk -v keep=1 "$uncomment" |
    awk -F: -v src="$src/" -v allowed="$rawNumbers" "$listedLines"'
    {
        text = $0; sub(/^[^:]*:[^:]*:/, "", text)
        if (text ~ /(^|[^A-Za-z0-9_])(cStrtod|cStrtof|cScanNumber|from_chars)[ \t]*\(/) {
            report($1, $2, text)
        }
    }')
findings "$rawNumbers" "style_check: a number read as written, infinities and NaN too (use cReadNumber, cScanNumbers or cToolNumber, or list the line with its reason)"
# The line, "FILE:TEXT" as for defaultTypes, that hands PROJ a definition.
projDoor='geo/projlib.cpp:PJ *pj = proj_create(ctx, joined.c_str());'
# shellcheck disable=SC2086
projCalls=$(sources $library | xargs awk -v keep=0 "$uncomment" |
    awk -F: -v src="$src/" -v allowed="$projDoor" "$listedLines"'
    {
        text = $0; sub(/^[^:]*:[^:]*:/, "", text)
        if (text ~ /(^|[^A-Za-z0-9_])proj_create[A-Za-z0-9_]*[ \t]*\(/) {
            report($1, $2, text)
        }
    }')
findings "$projCalls" "style_check: PROJ handed a definition past geo/projlib.cpp's createChecked (go through it)"
# The lines, "FILE:TEXT" as for defaultTypes, that read a screen distance
# with Tk and check its finiteness themselves.
screenDistances='canvas/coords.cpp:if (Tk_GetScreenMM(interp, tkwin, string, &mm) != TCL_OK) {'
# shellcheck disable=SC2086
rawReaders=$(sources $library | grep -v '/runtime/\(cnumber\|configspec\)\.cpp$' | xargs awk -v keep=0 "$uncomment" |
    awk -F: -v src="$src/" -v allowed="$screenDistances" "$listedLines"'
    {
        text = $0; sub(/^[^:]*:[^:]*:/, "", text)
        if (text ~ /(^|[^A-Za-z0-9_])(Tcl_GetDouble|Tcl_GetDoubleFromObj|Tcl_ExprDouble|Tcl_ExprDoubleObj|Tk_GetPixels|Tk_GetPixelsFromObj|Tk_GetMMFromObj|Tk_ConfigureWidget|Tk_SetOptions)[ \t]*\(/) {
            print $1 ":" $2 ": " text
        } else if (text ~ /(^|[^A-Za-z0-9_])Tk_GetScreenMM[ \t]*\(/) {
            report($1, $2, text)
        }
    }')
findings "$rawReaders" "style_check: a user's number read past runtime/cnumber or runtime/configspec (use cGetDouble, teskGetPixels or teskConfigureWidget)"
# shellcheck disable=SC2086
removals=$(sources analysis | xargs awk -v keep=0 "$uncomment" | awk -F: '
    {
        text = $0; sub(/^[^:]*:[^:]*:/, "", text)
        if (text ~ /(^|[^A-Za-z0-9_.>:])(::)?(unlink|unlinkat|remove)[ \t]*\(/) {
            print $1 ":" $2 ": " text
        }
    }')
findings "$removals" "style_check: a tool removes a file by name (take away what a run made with ramImageRemoveMade)"
names=$(find "$src/tests" -name '*.test' | LC_ALL=C sort | xargs awk '
    $1 == "test" && $2 !~ /[$[]/ {
        if ($2 in seen) {
            print FILENAME ":" FNR ": test " $2 ", named before at " seen[$2]
        } else {
            seen[$2] = FILENAME ":" FNR
        }
    }')
findings "$names" "style_check: two tests of the suite share a name"
exit $status
