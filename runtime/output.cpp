/*
 * output.cpp --
 *
 *	Small output helpers: number vectors appended to a command's result,
 *	band lists printed to the console, and the yes/no console prompt.
 */
#include "runtime/util.h"

#include <string>
#include "runtime/console.h"

namespace {

/* Appends n numbers, each "%.6g": one number as a list element; several as
 * words separated by blanks, wrapped in braces as one more element when the
 * result already holds something. */
template <class T>
void appendNumberList(Tcl_Interp *interp, const T *values, int n)
{
    if (n <= 0) {
        return;
    }
    if (n == 1) {
        Tcl_AppendElement(interp, fmt("%.6g", static_cast<double>(values[0])));
        return;
    }
    std::string words;
    for (int i = 0; i < n; i++) {
        if (i > 0) {
            words.push_back(' ');
        }
        words += fmt("%.6g", static_cast<double>(values[i]));
    }
    if (Tcl_GetStringResult(interp)[0] == '\0') {
        Tcl_AppendResult(interp, words.c_str(), nullptr);
    } else {
        Tcl_AppendResult(interp, " {", words.c_str(), "}", nullptr);
    }
}

}  // namespace

void appendFloatList(Tcl_Interp *interp, const float *values, int n)
{
    appendNumberList(interp, values, n);
}

void appendDoubleList(Tcl_Interp *interp, const double *values, int n)
{
    appendNumberList(interp, values, n);
}

void printBandList(long count, const long *bands)
{
    conPrintf("Bands: %ld\n", count);
    for (long i = 0; i < count; i++) {
        conPrintf("%10ld", bands[i] + 1);
        if (i % 8 == 7) {
            conPrintf("\n");
        }
    }
    conPrintf("\n");
}

/*
 * askYesNo --
 *	Prints "\n<question> (Y/N) " and reads answers from the console until
 *	one begins with y, Y, n or N (any other rings the bell). Answers 1 for
 *	yes and 0 for no, and 0 when the console gives no more input.
 */
int askYesNo(const char *question)
{
    conPrintf("\n%s (Y/N) ", question);
    for (;;) {
        int c = 0;
        if (!conReadChar(&c)) {
            return 0;
        }
        if (c == 'y' || c == 'Y') {
            return 1;
        }
        if (c == 'n' || c == 'N') {
            return 0;
        }
        if (c != '\0') {
            consolePuts(TESK_CON_STDOUT, "\a", 1);
        }
    }
}
