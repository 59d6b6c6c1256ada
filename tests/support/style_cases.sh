#!/bin/sh
# The style check's rules on numbers over small trees made here:
#   style_cases.sh SOURCE_DIR
# A raw read of a number (the C library's, a C++ one, Tcl's expression
# reader, or one of cnumber's readers that answer infinities and NaN as
# written) fails the check in any library folder, also where the same text
# is an exception in another file; the finite readers, cnumber itself and
# the listed lines pass.
set -eu
src=$1
check=$src/tests/support/style_check.sh
cases=style_cases
. "$src/tests/support/check_cases.sh"

raw="a number read as written"
lineCase strtod fail analysis/a.cpp '    double v = cStrtod(text, &end);'
lineCase strtof fail gl/a.cpp '    float f = cStrtof(p, nullptr);'
lineCase fscan fail runtime/a.cpp '    while (cScanNumber(fp, &value)) {'
lineCase stod fail geo/a.cpp '    double v = std::stod(word);'
lineCase expr fail canvas/a.cpp '    if (Tcl_ExprDouble(interp, word, &v) != TCL_OK) {'
lineCase expr-obj fail display/a.cpp '    Tcl_ExprDoubleObj(interp, obj, &v);'
lineCase exception-elsewhere fail devices/print/other.cpp '        scale = cStrtod(argv[3]);'
lineCase listed-file-elsewhere fail geo/projother.cpp '    h.a = cStrtod(valueOf(*r));'
lineCase from-chars fail display/a.cpp '    auto [end, ec] = std::from_chars(text, stop, value);'
lineCase from-chars-elsewhere fail gl/other.cpp '    std::from_chars_result r = std::from_chars(p, end, value);'
for name in strtod strtof fscan exception-elsewhere listed-file-elsewhere from-chars from-chars-elsewhere; do
    grep -qF -- "$raw" "$work/$name.log" || {
        echo "$cases: $name: not reported as $raw" >&2
        status=1
    }
done

lineCase finite pass analysis/a.cpp '    if (!cReadNumber(text, &v, &end)) {'
lineCase finite-list pass gl/a.cpp '    int n = cScanNumbers(text, v, 4);'
lineCase tool pass analysis/a.cpp '    if (!cToolNumber(options[OPT_W].value, &w)) {'
lineCase cnumber pass runtime/cnumber.cpp '    return strtod_l(text, end, c) + cStrtod(text);'
lineCase comment pass imagestore/a.cpp '    // cStrtod(text) would take "nan"; /* std::stod(word) */'
lineCase listed pass devices/print/printcanvas.cpp '        scale = cStrtod(argv[3]);'
lineCase listed-file pass geo/projlib.cpp '    h.a = cStrtod(valueOf(*r));'
lineCase listed-from-chars pass gl/oglmfile.cpp '        std::from_chars_result r = std::from_chars(p, end, value);'
exit $status
