/*
 * progframe.cpp --
 *
 *	The shared frame of the in-process projection programs (see
 *	progframe.h): argument walking, the common option letters, the "+"
 *	table, the input loop, line and number reading, and line output to the
 *	console.
 */
#include "geo/progframe.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdarg>
#include <cstring>

#include "geo/projcmd.h"
#include "geo/projobj.h"
#include "runtime/cnumber.h"
#include "runtime/console.h"
#include "runtime/util.h"
#include "tesk_stdio.h"

/* ---- argument words ---- */

const char *ProgArgWalk::nextWord(char letter)
{
    if (index + 1 >= argc) {
        emess(1, "missing argument for -%c", letter);
    }
    return argv[++index];
}

void progWalkArgs(int argc, const char *const *argv, const ProgArgHooks &hooks, std::vector<std::string> &inputs)
{
    ProgArgWalk walk(argc, argv);
    for (; walk.index < argc; walk.index++) {
        const char *word = argv[walk.index];
        if (word[0] == '-') {
            if (word[1] == '\0') {
                inputs.emplace_back("-");
                continue;
            }
            const char *rest = word + 1;
            while (*rest != '\0') {
                char letter = *rest++;
                if (!hooks.letter(letter, rest, walk)) {
                    emess(1, "invalid option: -%c", letter);
                }
            }
        } else if (word[0] == '+' && hooks.plus) {
            hooks.plus(word + 1);
        } else {
            inputs.emplace_back(word);
        }
    }
}

bool progCommonLetter(ProgCommon &common, const char *letters, char letter, const char *&rest, ProgArgWalk &walk)
{
    if (std::strchr(letters, letter) == nullptr) {
        return false;
    }
    switch (letter) {
    case 't':
        if (*rest == '\0') {
            emess(1, "missing -t col. 1 tag");
        }
        common.tag = *rest++;
        return true;
    case 'w':
    case 'W':
        if (*rest == '\0' || !std::isdigit(static_cast<unsigned char>(*rest))) {
            emess(1, "-W argument missing or non-digit");
        }
        projSetRtodms(*rest - '0', letter == 'W');
        rest++;
        return true;
    case 'f':
        common.format = walk.nextWord(letter);
        if (!projNumberFormat(common.format.c_str())) {
            emess(1, "bad number format");
        }
        return true;
    case 'e': common.errorText = walk.nextWord(letter); return true;
    case 'E': common.echo = true; return true;
    case 'r': common.reverseIn = true; return true;
    case 's': common.reverseOut = true; return true;
    default: return false;
    }
}

void progInverseFromName(ProgCommon &common)
{
    if (projRunState.programName.compare(0, 3, "inv") == 0) {
        common.inverse = true;
    }
}

void progUsageIfBare(int argc, const char *usage)
{
    if (argc < 2) {
        tesk_fprintf(stderr, usage, projReleaseText(), projRunState.programName.c_str());
        projToolExit(0);
    }
}

void ProgParamTable::add(const char *word)
{
    if (words.size() >= max) {
        emess(1, "overflowed + argument table");
    }
    words.emplace_back(word);
}

std::vector<const char *> ProgParamTable::argv() const
{
    return progWordPointers(words);
}

std::vector<const char *> progWordPointers(const std::vector<std::string> &words)
{
    std::vector<const char *> v;
    v.reserve(words.size());
    for (const std::string &w : words) {
        v.push_back(w.c_str());
    }
    return v;
}

/* ---- inputs ---- */

namespace {

/* Clears the run state's file when an input is left, on every way out. */
struct InputScope {
    FILE *file = nullptr;
    bool close = false;
    ~InputScope()
    {
        if (close && file != nullptr) {
            std::fclose(file);
        }
        projRunState.fileName.clear();
        projRunState.lineNumber = 0;
    }
};

}  // namespace

void progForInputs(const std::vector<std::string> &inputs, bool binary,
                   const std::function<void(ProgInput &)> &process)
{
    static const std::vector<std::string> kStdin{"-"};
    for (const std::string &name : inputs.empty() ? kStdin : inputs) {
        InputScope scope;
        ProgInput input{nullptr, false};
        if (name == "-") {
            input.file = stdin;
            input.console = !binary;
            projRunState.fileName = "<stdin>";
        } else {
            errno = 0;
            input.file = openRegularStream(name.c_str());
            if (input.file == nullptr) {
                emess(-2, "%s", name.c_str());
                continue;
            }
            scope.file = input.file;
            scope.close = true;
            projRunState.fileName = name;
        }
        projRunState.lineNumber = 0;
        process(input);
    }
}

bool progReadLine(ProgInput &input, char *line)
{
    std::size_t n = 0;
    if (input.console) {
        if (tesk_fgets(line, kProgLineMax + 1, stdin) == nullptr) {
            return false;
        }
        n = std::strlen(line);
    } else {
        /* counted, not measured: a NUL byte in the line is no line end;
         * the file is locked once for the line, not once per byte */
        int c = EOF;
        flockfile(input.file);
        while (n < static_cast<std::size_t>(kProgLineMax) && (c = getc_unlocked(input.file)) != EOF) {
            line[n++] = static_cast<char>(c);
            if (c == '\n') {
                break;
            }
        }
        if (n > 0 && line[n - 1] != '\n' && n == static_cast<std::size_t>(kProgLineMax)) {
            /* a cut line: the rest of it is dropped */
            while ((c = getc_unlocked(input.file)) != EOF && c != '\n') {
            }
        }
        funlockfile(input.file);
        if (n == 0) {
            return false;
        }
        line[n] = '\0';
    }
    /* The line's text ends at a NUL byte: what follows is dropped as well. */
    const void *nul = std::memchr(line, '\0', n);
    if (nul != nullptr) {
        n = static_cast<std::size_t>(static_cast<const char *>(nul) - line);
    }
    if (n == 0 || line[n - 1] != '\n') {
        line[n++] = '\n';
    }
    line[n] = '\0';
    projRunState.lineNumber++;
    return true;
}

bool progReadPair(ProgInput &input, double pair[2])
{
    return std::fread(pair, sizeof(double), 2, input.file) == 2;
}

void progWritePair(const double pair[2])
{
    std::fwrite(pair, sizeof(double), 2, stdout);
}

double progAngle(const char *text, char **end)
{
    return projDmstor(text, end);
}

double progNumber(const char *text, char **end)
{
    /* HUGE_VAL, what strtod gives past the range, is the programs' marker
     * of a value that cannot be read: "nan" reads as it too. */
    const char *past = text;
    double v = 0;
    if (!cReadNumber(text, &v, &past, cAllowInfinite) && past != text) {
        v = HUGE_VAL;
    }
    if (end != nullptr) {
        *end = const_cast<char *>(past);
    }
    return v;
}

const char *progRestOfLine(const char *line, const char *rest)
{
    return *rest == '\0' && rest > line ? rest - 1 : rest;
}

/* ---- output ---- */

void ProgOut::putf(const char *format, ...)
{
    va_list args;
    va_start(args, format);
    std::string piece;
    if (formatV(piece, format, args)) {
        text += piece;
    }
    va_end(args);
}

namespace {

/* The precision of a number format that is a bare fixed conversion
 * ("%f", "%.<digits>f", with "l" or as "F"), else -1. */
int bareFixedPrecision(const char *format)
{
    if (format[0] != '%') {
        return -1;
    }
    const char *p = format + 1;
    int precision = 6;
    if (*p == '.') {
        p++;
        precision = 0;
        while (*p >= '0' && *p <= '9' && precision < 100) {
            precision = precision * 10 + (*p++ - '0');
        }
    }
    if (*p == 'l') {
        p++;
    }
    return (*p == 'f' || *p == 'F') && p[1] == '\0' ? precision : -1;
}

}  // namespace

void ProgOut::putNumber(const char *format, double value)
{
    char buffer[64];
    /* A finite number through a bare fixed format is written by to_chars,
     * which gives printf's digits (C locale, rounding to nearest) faster. */
    int precision = std::isfinite(value) ? bareFixedPrecision(format) : -1;
    if (precision >= 0) {
        std::to_chars_result r =
            std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, precision);
        if (r.ec == std::errc()) {
            text.append(buffer, static_cast<std::size_t>(r.ptr - buffer));
            return;
        }
    }
    int n = std::snprintf(buffer, sizeof buffer, format, value);
    if (n >= 0 && static_cast<std::size_t>(n) < sizeof buffer) {
        text.append(buffer, static_cast<std::size_t>(n));
    } else if (n >= 0) {
        std::string big(static_cast<std::size_t>(n) + 1, '\0');
        std::snprintf(&big[0], big.size(), format, value);
        big.resize(static_cast<std::size_t>(n));
        text += big;
    }
}

void ProgOut::putDms(double radians, int pos, int neg)
{
    char buffer[64];
    text += projRtodms(buffer, radians, pos, neg);
}

void ProgOut::emit()
{
    /* in pieces an int can count, however long the -e text made the line */
    constexpr std::size_t kPiece = std::size_t{1} << 30;
    for (std::size_t at = 0; at < text.size(); at += kPiece) {
        std::size_t n = std::min(kPiece, text.size() - at);
        consolePuts(TESK_CON_STDOUT, text.data() + at, static_cast<int>(n));
    }
    text.clear();
}

void ProgOut::putPoint(const ProgCommon &common, const char *format, bool angles, double x, double y, bool latFirst)
{
    if (x == HUGE_VAL) {
        put(common.errorText);
    } else if (angles && common.format.empty()) {
        if (latFirst) {
            putDms(y, 'N', 'S');
            put('\t');
            putDms(x, 'E', 'W');
        } else {
            putDms(x, 'E', 'W');
            put('\t');
            putDms(y, 'N', 'S');
        }
    } else {
        if (angles) {
            x *= kRadToDeg;
            y *= kRadToDeg;
        }
        putNumber(format, latFirst ? y : x);
        put('\t');
        putNumber(format, latFirst ? x : y);
    }
}

/* ---- listings (-l...) ---- */

static void listProjections(char how)
{
    for (const ProjListEntry *e = projListFirst(); e != nullptr; e = projListNext(e)) {
        const char *id = projListId(e), *descr = projListDescr(e);
        if (id == nullptr || descr == nullptr) {
            continue;
        }
        ProgOut out;
        out.putf("%s : ", id);
        if (how == 'P') {
            out.put(descr);
        } else {
            out.put(std::string(descr, std::strcspn(descr, "\n")));
        }
        out.put('\n');
        out.emit();
    }
}

/* The listing of -l<rest>; ends the run. */
void progListAndEnd(const char *rest)
{
    char what = *rest;
    ProgOut out;
    if (what == '\0' || what == 'p' || what == 'P') {
        listProjections(what);
    } else if (what == '=') {
        const ProjListEntry *e = projListEntry(projListIndex(rest + 1));
        if (e != nullptr && projListDescr(e) != nullptr) {
            out.putf("%9s : %s\n", projListId(e), projListDescr(e));
        }
    } else if (what == 'e') {
        for (const EllpsListEntry *e = ellpsListFirst(); e != nullptr; e = ellpsListNext(e)) {
            if (ellpsListId(e) != nullptr) {
                out.putf("%9s %-16s %-16s %s\n", ellpsListId(e), ellpsListMajor(e), ellpsListEll(e), ellpsListName(e));
                out.emit();
            }
        }
    } else if (what == 'u') {
        /* the units of PROJ's database, as PROJ's own programs list them */
        projDbLinearUnits(
            [](void *data, const char *id, double toMeter, const char *name) {
                ProgOut &o = *static_cast<ProgOut *>(data);
                o.putf("%12s %-20.15g %s\n", id, toMeter, name);
                o.emit();
            },
            &out);
    } else if (what == 'd') {
        out.put("__datum_id__ __ellipse___ __definition/comments______________________________\n");
        for (const DatumListEntry *e = datumListFirst(); e != nullptr; e = datumListNext(e)) {
            if (datumListId(e) != nullptr) {
                out.putf("%12s %-12s %-30s\n", datumListId(e), datumListEllipse(e), datumListDefn(e));
                const char *comments = datumListComments(e);
                if (comments != nullptr && *comments != '\0') {
                    out.putf("%25s %s\n", " ", comments);
                }
                out.emit();
            }
        }
    } else {
        emess(1, "invalid list option: l%c", what);
    }
    out.emit();
    projToolExit(0);
}

/* ---- parameter lists ---- */

namespace {

constexpr int kParamLineLength = 72;

/* One pass of the list: the used entries (or the unused ones); answers
 * true when an entry of the other kind was met. */
bool printParamPass(ProgOut &out, const ProjHandle *handle, bool unused)
{
    bool other = false;
    int n = 1;
    out.put('#');
    for (const ProjParam *e = projParamFirst(handle); e != nullptr; e = projParamNext(e)) {
        if ((projParamUsed(e) != 0) != unused) {
            const char *text = projParamText(e);
            int l = static_cast<int>(std::strlen(text)) + 1;
            if (n + l > kParamLineLength) {
                out.put("\n#");
                n = 2;
            }
            out.put(' ');
            if (*text != '+') {
                out.put('+');
            }
            out.put(text);
            n += l;
        } else {
            other = true;
        }
    }
    if (n > 1) {
        out.put('\n');
    }
    return other;
}

}  // namespace

void progPrintParams(const ProjHandle *handle)
{
    ProgOut out;
    out.put('#');
    const ProjListEntry *entry = projListEntry(projHandleClass(handle));
    const char *descr = projListDescr(entry);
    for (const char *s = descr != nullptr ? descr : ""; *s != '\0'; ++s) {
        out.put(*s);
        if (*s == '\n') {
            out.put('#');
        }
    }
    out.put('\n');
    if (printParamPass(out, handle, false)) {
        out.put("#--- following specified but NOT used\n");
        printParamPass(out, handle, true);
    }
    out.emit();
}
