/*
 * geocalc.cpp --
 *
 *	The control point calculator: a line-oriented console loop ("CML> ")
 *	whose thirteen commands enter, load, select, list and save control
 *	points, fit the polynomials of gcpcalc.h and save the fit as a
 *	georectification parameter file. It runs as "rimage geocalc" (a row of
 *	the tool table) and as "calc geocalc", which also fits records given
 *	as options without the console.
 */
#include "analysis/tools/geocalc.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "analysis/gcpcalc.h"
#include "analysis/georect.h"
#include "analysis/tools/tools.h"
#include "analysis/tools/tooltable.h"
#include "runtime/bytes.h"
#include "runtime/cnumber.h"
#include "runtime/console.h"
#include "runtime/replace.h"
#include "runtime/startup.h"
#include "runtime/util.h"
#include "tesk_stdio.h"

namespace {

/* The argument errors, each printed through "%s". */
constexpr const char kNeedMore[] = "Need more parameter(s)";
constexpr const char kTooMany[] = "Too many parameters";
constexpr const char kInvalid[] = "Invalid parameter(s)";
constexpr const char kCannotFind[] = "Can not find";

constexpr const char kNoFunction[] = "No function exist";
constexpr const char kInvalidInput[] = "Invalid input!";

/* Records a list shows before it asks for more. */
constexpr int kPageRecords = 20;
/* Longest answer of update; of the lines of a loaded file and of the help. */
constexpr size_t kAnswerSize = 79;
constexpr int kLoadLineSize = 79;
constexpr int kHelpLineSize = 256;

void message(const char *text)
{
    tesk_fprintf(stderr, "%s", text);
}

/* The system's message (error, an errno value) for a file that could not
 * be opened or written. */
void systemMessage(const char *fileName, int error)
{
    tesk_fprintf(stderr, "%s: %s\n", fileName, std::strerror(error));
}

/* ---- Input ----------------------------------------------------------------- */

/*
 * consoleLineReader --
 *	A line from the console. The console gives no text both for an empty
 *	line and at the end of its input; the end is told apart by the
 *	console's standard input channel having reached its end (a Tk console
 *	waits for the user instead) or by the console being gone.
 */
bool consoleLineReader(std::string &line)
{
    Tcl_DString text;
    Tcl_DStringInit(&text);
    int n = conReadLine(&text);
    line.assign(Tcl_DStringValue(&text), static_cast<size_t>(n > 0 ? n : 0));
    Tcl_DStringFree(&text);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) {
        line.pop_back();
    }
    if (n > 0) {
        return true;
    }
    Tcl_Interp *interp = getConsoleInterp();
    if (interp == nullptr || Tcl_InterpDeleted(interp)) {
        return false;
    }
    if (getTkConsoleFlag()) {
        return true;
    }
    Tcl_Channel input = Tcl_GetStdChannel(TCL_STDIN);
    return input != nullptr && !Tcl_Eof(input);
}

GeocalcLineReader *lineReader = nullptr;  // NULL: the console

/* The next input line cut to size - 1 bytes; false at the end of input,
 * which also ends the loop. */
bool readAnswer(GcpCalc *calc, std::string &answer, size_t size)
{
    bool got = (lineReader != nullptr ? lineReader : consoleLineReader)(answer);
    if (!got) {
        calc->running = 0;
        answer.clear();
        return false;
    }
    if (answer.size() > size - 1) {
        answer.resize(size - 1);
    }
    return true;
}

/* Reads an integer as "%d" does (leading blanks, sign, digits; the rest
 * ignored), held to the int range. */
bool scanInt(const char *text, int *value)
{
    char *end = nullptr;
    errno = 0;
    long v = std::strtol(text, &end, 10);
    if (end == text) {
        return false;
    }
    *value = v > INT_MAX ? INT_MAX : v < INT_MIN ? INT_MIN : static_cast<int>(v);
    return true;
}

/* Reads a finite number as "%lf" does; *rest is set past it. */
bool scanDouble(const char *text, double *value, const char **rest = nullptr)
{
    const char *end = nullptr;
    if (!cReadNumber(text, value, &end)) {
        return false;
    }
    if (rest != nullptr) {
        *rest = end;
    }
    return true;
}

/* Two numbers as "%lf %lf". */
bool scanPair(const char *text, double *a, double *b)
{
    double first = 0;
    double second = 0;
    if (!scanDouble(text, &first, &text) || !scanDouble(text, &second)) {
        return false;
    }
    *a = first;
    *b = second;
    return true;
}

/*
 * askUntil --
 *	Prints the question (prompt) and reads answers of at most size - 1
 *	characters until parse takes one, printing "Invalid input!" and the
 *	question again for each it refuses. With keepOnEmpty an empty answer
 *	is taken as it is (the caller keeps its old value). False at the end
 *	of input.
 */
template <typename Prompt, typename Parse>
bool askUntil(GcpCalc *calc, size_t size, bool keepOnEmpty, Prompt prompt, Parse parse)
{
    for (;;) {
        prompt();
        std::string answer;
        if (!readAnswer(calc, answer, size)) {
            return false;
        }
        if ((keepOnEmpty && answer.empty()) || parse(answer.c_str())) {
            return true;
        }
        message(kInvalidInput);
    }
}

/* ---- Words ---------------------------------------------------------------- */

bool isSeparator(char c)
{
    return c == ' ' || c == ',' || c == '\n' || c == '\t' || c == '\r';
}

/*
 * geocalcTokenize --
 *	Stores the line (cut to 127 characters) and its length, lower-cases a
 *	copy and cuts it into words at commas, blanks and line ends; words past
 *	the 24th are ignored.
 */
void geocalcTokenize(GcpCalc *calc, const std::string &text)
{
    std::snprintf(calc->line, sizeof calc->line, "%s", text.c_str());
    size_t length = std::strlen(calc->line);
    calc->lineLength = static_cast<int32_t>(length);
    for (size_t i = 0; i <= length; i++) {
        unsigned char c = static_cast<unsigned char>(calc->line[i]);
        calc->words[i] = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    }
    calc->wordCount = 0;
    char *p = calc->words;
    while (*p != '\0') {
        while (*p != '\0' && isSeparator(*p)) {
            *p++ = '\0';
        }
        if (*p == '\0') {
            break;
        }
        if (calc->wordCount < GCP_MAX_WORDS) {
            calc->word[calc->wordCount++] = p;
        }
        while (*p != '\0' && !isSeparator(*p)) {
            p++;
        }
    }
}

bool wordIs(const GcpCalc *calc, int i, const char *text)
{
    return i < calc->wordCount && std::strcmp(calc->word[i], text) == 0;
}

/* Word i as typed (file names keep their case). */
std::string typedWord(const GcpCalc *calc, int i)
{
    return std::string(calc->line + (calc->word[i] - calc->words), std::strlen(calc->word[i]));
}

bool fileExists(const char *fileName)
{
    struct stat info;
    return stat(fileName, &info) == 0;
}

/* The fitted (Y2, X2) at (x1, y1); both 0 without a fit. */
void transformPoint(const GcpCalc *calc, double x1, double y1, double *y2, double *x2)
{
    *y2 = *x2 = 0;
    gcpTransform(calc, x1, y1, y2, x2);
}

/* ---- Commands ------------------------------------------------------------- */

void appendRecord(GcpCalc *calc, int id, double x1, double y1, double x2, double y2)
{
    GcpRecord &record = calc->records[calc->count++];
    record.selected = 1;
    record.id = id;
    record.x1 = x1;
    record.y1 = y1;
    record.x2 = x2;
    record.y2 = y2;
    record.dx = record.dy = 0;
    calc->modified = 1;
}

void cmdAdd(GcpCalc *calc)
{
    while (calc->count < calc->capacity) {
        int id = 0;
        double x1 = 0, y1 = 0, x2 = 0, y2 = 0;
        if (!askUntil(
                calc, GCP_LINE_SIZE, false, [] { tesk_fprintf(stdout, "\nID Number (ID# <= 0 for quit) ? "); },
                [&](const char *answer) { return scanInt(answer, &id); })) {
            return;
        }
        if (id <= 0) {
            return;
        }
        if (!askUntil(
                calc, GCP_LINE_SIZE, false, [] { tesk_fprintf(stdout, "\n(X1,Y1)? "); },
                [&](const char *answer) { return scanPair(answer, &x1, &y1); }) ||
            !askUntil(
                calc, GCP_LINE_SIZE, false, [] { tesk_fprintf(stdout, "\n(X2,Y2)? "); },
                [&](const char *answer) { return scanPair(answer, &x2, &y2); })) {
            return;
        }
        appendRecord(calc, id, x1, y1, x2, y2);
    }
    message("Buffer overflow");
}

void printCoefficients(const char *title, const double *coef, int n)
{
    tesk_fprintf(stdout, "%s", title);
    for (int k = 0; k < n; k++) {
        tesk_fprintf(stdout, " %15.7E", coef[k]);
    }
}

/*
 * cmdCalculate --
 *	Fits the polynomials of the power asked for over the selected points
 *	and prints their coefficients (constant terms without the offsets).
 *	The fit gives the selected points their residuals; every unselected
 *	point is moved onto the fit (X2 = J, Y2 = I) with zero residuals. The
 *	root mean squares are those of the fit, over the selected points.
 */
void cmdCalculate(GcpCalc *calc)
{
    int power = 0;
    if (!askUntil(
            calc, GCP_LINE_SIZE, false,
            [] { tesk_fprintf(stdout, "\nEnter the maximum power (it must be >=0) of the polynomial: "); },
            [&](const char *answer) { return scanInt(answer, &power); })) {
        return;
    }
    if (power < 0) {
        message("\nThe power of the polynorm must be >= 0\n");
        return;
    }
    if (!gcpFit(calc, power)) {
        return;
    }
    printCoefficients("\n\nCoeficients of Y2:\n", calc->iCoef, calc->nTerms);
    printCoefficients("\n\nCoeficients of X2:\n", calc->jCoef, calc->nTerms);
    for (int i = 0; i < calc->count; i++) {
        GcpRecord &record = calc->records[i];
        if (!record.selected) {
            transformPoint(calc, record.x1, record.y1, &record.y2, &record.x2);
            record.dx = record.dy = 0;
        }
    }
    tesk_fprintf(stdout, "\n\nMean Sqare Roots:\n");
    tesk_fprintf(stdout, "\nMSRI=%6.3f  MSRJ=%6.3f  MSR=%6.3f", calc->msrI, calc->msrJ, calc->msr);
}

void cmdDelete(GcpCalc *calc)
{
    int n = calc->wordCount;
    if (n < 2) {
        tesk_fprintf(stdout, "%s", kNeedMore);
        return;
    }
    if (wordIs(calc, 1, "all")) {
        if (n != 2) {
            message(kTooMany);
            return;
        }
        calc->count = 0;
        calc->current = 0;
        calc->modified = 1;
        return;
    }
    if (wordIs(calc, 1, "id")) {
        if (n < 3) {
            message(kNeedMore);
            return;
        }
        for (int w = 2; w < n; w++) {
            int id = 0;
            if (!scanInt(calc->word[w], &id)) {
                message(kInvalid);
                return;
            }
            int index = 0;
            while (gcpFindById(calc, id, &index)) {
                gcpDeleteRecord(calc, index);
            }
        }
        return;
    }
    if (!wordIs(calc, 1, "record") && !wordIs(calc, 1, "records")) {
        message(kInvalid);
        return;
    }
    int from = 0;
    int to = 0;
    if (n != 4 || !scanInt(calc->word[2], &from) || !scanInt(calc->word[3], &to)) {
        message(kInvalid);
        return;
    }
    if (to > calc->count) {
        to = calc->count;
    }
    if (from < 1 || from > to) {
        message(kInvalid);
        return;
    }
    std::memmove(calc->records + (from - 1), calc->records + to,
                 sizeof(GcpRecord) * static_cast<size_t>(calc->count - to));
    calc->count -= to - from + 1;
    calc->modified = 1;
}

/* Asks for a new coordinate pair in place of (*a, *b) (an empty answer
 * keeps it) and echoes the pair after echo's leading text. */
bool askPair(GcpCalc *calc, const char *name, const char *echo, double *a, double *b)
{
    if (!askUntil(
            calc, kAnswerSize + 1, true,
            [&] { tesk_fprintf(stdout, "\nOld (%s) %12.3f %12.3f.  New (%s) ? ", name, *a, *b, name); },
            [&](const char *answer) { return scanPair(answer, a, b); })) {
        return false;
    }
    tesk_fprintf(stdout, echo, *a, *b);
    return true;
}

void cmdUpdate(GcpCalc *calc)
{
    int n = calc->wordCount;
    if (n > 3) {
        message(kTooMany);
        return;
    }
    if (n < 3) {
        message(kNeedMore);
        return;
    }
    bool byRecord = wordIs(calc, 1, "record");
    int value = 0;
    if ((!byRecord && !wordIs(calc, 1, "id")) || !scanInt(calc->word[2], &value)) {
        message(kInvalid);
        return;
    }
    if (byRecord) {
        if (calc->count == 0) {
            message("\nNo records in RAM");
            return;
        }
        if (value > calc->count || value < 1) {
            tesk_fprintf(stderr, "Maximum record # is %4d", calc->count);
            message("\nMinmum record # is 1");
            return;
        }
        GcpRecord record = calc->records[value - 1];
        if (!askUntil(
                calc, kAnswerSize + 1, true,
                [&] { tesk_fprintf(stdout, "\nOld ID # is %3d.  New ID # ? ", record.id); },
                [&](const char *answer) { return scanInt(answer, &record.id); }) ||
            !askPair(calc, "X1 Y1", "\n           %12.3f %12.3f", &record.x1, &record.y1) ||
            !askPair(calc, "X2 Y2", "\n            %12.3f %12.3f", &record.x2, &record.y2)) {
            return;
        }
        calc->records[value - 1] = record;
        calc->modified = 1;
        return;
    }
    bool found = false;
    for (int i = 0; i < calc->count; i++) {
        if (calc->records[i].id != value) {
            continue;
        }
        found = true;
        GcpRecord record = calc->records[i];
        if (!askPair(calc, "X1 Y1", "\n            %12.3f %12.3f\n", &record.x1, &record.y1) ||
            !askPair(calc, "X2 Y2", "\n            %12.3f %12.3f", &record.x2, &record.y2)) {
            return;
        }
        calc->records[i] = record;
        calc->modified = 1;
    }
    if (!found) {
        message(kCannotFind);
    }
}

/*
 * cmdList --
 *	Lists the selected records of a range, 20 to a page: from the current
 *	record, from a record number, or between two, 19 records on when no
 *	end is given, cut to the last record. The end of the range becomes
 *	the current record.
 */
void cmdList(GcpCalc *calc)
{
    int n = calc->wordCount;
    if (n > 3) {
        message(kTooMany);
        return;
    }
    if (calc->count == 0) {
        message("No loaded records");
        return;
    }
    int64_t from = calc->current;
    int64_t to = from + kPageRecords - 1;
    if (n > 1) {
        int first = 0;
        int last = 0;
        if (!scanInt(calc->word[1], &first) || (n == 3 && !scanInt(calc->word[2], &last))) {
            message(kInvalid);
            return;
        }
        if (first < 1) {
            message("\nRecord # must be greater than zero.");
            return;
        }
        from = first - 1;
        to = n == 3 ? int64_t(last) - 1 : from + kPageRecords - 1;
    }
    if (to > calc->count - 1) {
        to = calc->count - 1;
    }
    int onPage = 0;
    for (int64_t i = from; i <= to; i++) {
        const GcpRecord &record = calc->records[i];
        if (!record.selected) {
            continue;
        }
        if (onPage == kPageRecords) {
            if (!askYesNo("More")) {
                break;
            }
            onPage = 0;
        }
        if (onPage == 0) {
            tesk_fprintf(stdout, "%s%s%s%s", "\n No  ID       X1           Y1     ",
                         "      X2           Y2         DX       DY", "\n__________________________________",
                         "___________________________________________\n");
        }
        tesk_fprintf(stdout, "\n%3d %4d %12.3f %12.3f %12.3f %12.3f %8.4f %8.4f", static_cast<int>(i + 1), record.id,
                     record.x1, record.y1, record.x2, record.y2, record.dx, record.dy);
        onPage++;
    }
    if (to >= 0) {
        calc->current = static_cast<int32_t>(to);
    }
}

/* Reads "%d %lf %lf %lf %lf" (ID, X1, Y1, X2, Y2). */
bool scanLoadRecord(const char *text, int *id, double values[4])
{
    char *end = nullptr;
    long v = std::strtol(text, &end, 10);
    if (end == text) {
        return false;
    }
    const char *rest = end;
    for (int k = 0; k < 4; k++) {
        if (!scanDouble(rest, &values[k], &rest)) {
            return false;
        }
    }
    *id = v > INT_MAX ? INT_MAX : v < INT_MIN ? INT_MIN : static_cast<int>(v);
    return true;
}

void cmdLoad(GcpCalc *calc)
{
    int n = calc->wordCount;
    if (n < 3) {
        message(kNeedMore);
        return;
    }
    if (n > 3) {
        message(kTooMany);
        return;
    }
    bool over = wordIs(calc, 1, "over");
    if (!over && !wordIs(calc, 1, "append")) {
        message(kInvalid);
        return;
    }
    std::string fileName = typedWord(calc, 2);
    FILE *file = openRegularStream(fileName.c_str());
    if (file == nullptr) {
        int error = errno;
        message("Error in fopen.\n");
        systemMessage(fileName.c_str(), error);
        return;
    }
    if (over) {
        calc->count = 0;
        calc->current = 0;
    }
    struct stat loaded;
    if (fstat(fileno(file), &loaded) == 0) {
        int slot = calc->loadedCount % GCP_LOADED_FILES;
        calc->loadedCount = calc->loadedCount < INT32_MAX ? calc->loadedCount + 1 : GCP_LOADED_FILES;
        calc->loadedDevice[slot] = loaded.st_dev;
        calc->loadedInode[slot] = loaded.st_ino;
    }
    char text[kLoadLineSize];
    while (std::fgets(text, sizeof text, file) != nullptr) {
        if (text[0] == '#') {
            continue;
        }
        tesk_fprintf(stdout, "%s", text);
        int id = 0;
        double values[4];
        if (!scanLoadRecord(text, &id, values)) {
            tesk_fprintf(stderr, "Invalid record:\n%s", text);
            continue;
        }
        if (calc->count >= calc->capacity) {
            message("Buffer overflow");
            break;
        }
        appendRecord(calc, id, values[0], values[1], values[2], values[3]);
    }
    std::fclose(file);
}

/* When fileName exists, asks whether to write over it (what names the
 * file's kind); true to go on. */
bool mayWrite(const char *what, const char *fileName)
{
    if (!fileExists(fileName)) {
        return true;
    }
    tesk_fprintf(stdout, "\n\a%s %s already exists. ", what, fileName);
    return askYesNo("Over write it ?") != 0;
}

void cmdSaved(GcpCalc *calc)
{
    int n = calc->wordCount;
    if (n < 2) {
        message("File name missing");
        return;
    }
    if (n > 2) {
        message(kTooMany);
        return;
    }
    if (calc->count == 0) {
        message("No record to save");
        return;
    }
    std::string fileName = typedWord(calc, 1);
    if (!mayWrite("GCP file", fileName.c_str())) {
        return;
    }
    std::string text;
    for (int i = 0; i < calc->count; i++) {
        const GcpRecord &record = calc->records[i];
        text += cFormat("%5d %12.3f %12.3f %12.3f %12.3f\n", record.id, record.x1, record.y1, record.x2, record.y2);
    }
    switch (replaceWithBytes(fileName.c_str(), text.data(), text.size())) {
    case REPLACE_DONE: calc->modified = 0; break;
    case REPLACE_OPEN: {
        int error = errno;
        message("Error in fopen\n");
        systemMessage(fileName.c_str(), error);
        break;
    }
    default: {
        int error = errno;
        message("Error in fprintf\n");
        systemMessage(fileName.c_str(), error);
        break;
    }
    }
}

void cmdSavef(GcpCalc *calc)
{
    int n = calc->wordCount;
    if (n < 2) {
        message("File name missing");
        return;
    }
    if (n > 2) {
        message(kTooMany);
        return;
    }
    if (calc->nTerms == 0 || calc->iCoef == nullptr || calc->jCoef == nullptr) {
        message(kNoFunction);
        return;
    }
    std::string fileName = typedWord(calc, 1);
    if (mayWrite("Parameter file", fileName.c_str())) {
        gcpSaveGeorect(calc, fileName.c_str());
    }
}

/* The operators of select, and the test of one. */
const char *const kOperators[] = {"<", "<=", "=", ">=", ">"};

bool compare(double a, int op, double b)
{
    switch (op) {
    case 0: return a < b;
    case 1: return a <= b;
    case 2: return a == b;
    case 3: return a >= b;
    default: return a > b;
    }
}

/*
 * cmdSelect --
 *	"select all" selects every record; "select item op value" unselects
 *	every selected record whose item fails the test. id and record (the
 *	position from 0) compare with the value rounded to an integer.
 */
void cmdSelect(GcpCalc *calc)
{
    int n = calc->wordCount;
    if (n < 2) {
        message(kNeedMore);
        return;
    }
    if (wordIs(calc, 1, "all")) {
        if (n != 2) {
            message(kTooMany);
            return;
        }
        for (int i = 0; i < calc->count; i++) {
            calc->records[i].selected = 1;
        }
        return;
    }
    if (n < 4) {
        message(kNeedMore);
        return;
    }
    if (n > 4) {
        message(kTooMany);
        return;
    }
    double value = 0;
    if (!scanDouble(calc->word[3], &value)) {
        message(kInvalid);
        return;
    }
    int op = -1;
    for (int k = 0; k < 5; k++) {
        if (wordIs(calc, 2, kOperators[k])) {
            op = k;
        }
    }
    if (op < 0) {
        message("Invalid operator");
        return;
    }
    static const char *const kItems[] = {"id", "x1", "y1", "x2", "y2", "dx", "dy", "record"};
    int item = -1;
    for (int k = 0; k < 8; k++) {
        if (wordIs(calc, 1, kItems[k])) {
            item = k;
        }
    }
    if (item < 0) {
        message("Invalid item");
        return;
    }
    if (item == 0 || item == 7) {
        value = roundToInt(value);
    }
    for (int i = 0; i < calc->count; i++) {
        GcpRecord &record = calc->records[i];
        if (!record.selected) {
            continue;
        }
        const double fields[] = {double(record.id), record.x1, record.y1, record.x2,
                                 record.y2,         record.dx, record.dy, double(i)};
        if (!compare(fields[item], op, value)) {
            record.selected = 0;
        }
    }
}

void cmdQuit(GcpCalc *calc)
{
    calc->running = 0;
}

/* The first word of a help file line, or "" for a line without words. */
std::string firstWord(const char *text)
{
    while (*text != '\0' && isSeparator(*text)) {
        text++;
    }
    const char *start = text;
    while (*text != '\0' && !isSeparator(*text)) {
        text++;
    }
    return std::string(start, static_cast<size_t>(text - start));
}

/*
 * cmdHelp --
 *	Prints the entry of the topic (the command's word, else "help") from
 *	the help file under $TESK_DOC: the lines after "@topic" up to "@END".
 *	When the file does not open the user may give another path.
 */
void cmdHelp(GcpCalc *calc)
{
    if (calc->wordCount > 2) {
        tesk_fprintf(stderr, "\n%s", kTooMany);
        return;
    }
    const char *doc = conGetEnv("TESK_DOC");
    std::string path = std::string(doc != nullptr ? doc : "") + calc->helpFile;
    FILE *file = nullptr;
    while ((file = openRegularStream(path.c_str())) == nullptr) {
        int error = errno;
        message("\nError in fopen\n");
        systemMessage(path.c_str(), error);
        if (!askYesNo("\a\nTry again")) {
            return;
        }
        tesk_fprintf(stdout, "\nEnter full path for the help file name: ");
        std::string answer;
        if (!readAnswer(calc, answer, GCP_LINE_SIZE)) {
            return;
        }
        std::string given = firstWord(answer.c_str());
        if (!given.empty()) {
            path = given;
        }
    }
    std::string topic = std::string("@") + (calc->wordCount == 2 ? calc->word[1] : "help");
    bool found = false;
    char text[kHelpLineSize];
    while (std::fgets(text, sizeof text, file) != nullptr) {
        std::string first = firstWord(text);
        if (found) {
            if (strCaseCmp(first.c_str(), "@END") == 0) {
                break;
            }
            tesk_fprintf(stdout, "%s", text);
        } else if (first.empty()) {
            tesk_fprintf(stdout, "\n");
        } else if (strCaseCmp(first.c_str(), topic.c_str()) == 0) {
            found = true;
        }
    }
    std::fclose(file);
    if (!found) {
        message("\nCan't find the entry of the help.");
        message("\nPlease type HELP to get a list of command entry.");
    }
}

/* Swaps the two positions of every record; the fit no longer holds. */
void cmdExchange(GcpCalc *calc)
{
    gcpExchange(calc);
    calc->modified = 1;
}

/*
 * cmdGrid --
 *	Writes gridgcp.txt: a grid of rows x columns points spanning the
 *	source positions of the records, row by row, each transformed by the
 *	fit ("number X2 Y2").
 */
void cmdGrid(GcpCalc *calc)
{
    if (calc->nTerms == 0 || calc->iCoef == nullptr || calc->jCoef == nullptr) {
        message(kNoFunction);
        return;
    }
    tesk_fprintf(stdout, "\nEnter the rows and cols: ");
    std::string answer;
    if (!readAnswer(calc, answer, GCP_LINE_SIZE)) {
        return;
    }
    int rows = 0;
    int columns = 0;
    const char *rest = answer.c_str();
    char *end = nullptr;
    long r = std::strtol(rest, &end, 10);
    bool read = end != rest;
    rest = end;
    long c = read ? std::strtol(rest, &end, 10) : 0;
    read = read && end != rest;
    if (!read || r < 2 || c < 2 || r > INT_MAX / c) {
        message(kInvalid);
        return;
    }
    rows = static_cast<int>(r);
    columns = static_cast<int>(c);
    if (calc->count == 0) {
        message("No loaded records");
        return;
    }
    double xmin = calc->records[0].x1, xmax = xmin;
    double ymin = calc->records[0].y1, ymax = ymin;
    for (int i = 1; i < calc->count; i++) {
        xmin = std::min(xmin, calc->records[i].x1);
        xmax = std::max(xmax, calc->records[i].x1);
        ymin = std::min(ymin, calc->records[i].y1);
        ymax = std::max(ymax, calc->records[i].y1);
    }
    tesk_fprintf(stdout, "xmin: %13.3f xmax: %13.3f ymin: %13.3f ymax: %13.3f\n", xmin, xmax, ymin, ymax);
    double columnStep = (xmax - xmin) / (columns - 1);
    double rowStep = (ymax - ymin) / (rows - 1);
    /* The grid goes to a fixed name in the current folder: a symbolic
       link planted there under that name is not followed. */
    const char *fileName = "gridgcp.txt";
    if (fixedNameIsLink(fileName)) {
        systemMessage(fileName, ELOOP);
        return;
    }
    /* Nor does the grid replace a file the records were loaded from. */
    struct stat there;
    for (int i = 0; i < std::min<int>(calc->loadedCount, GCP_LOADED_FILES) && stat(fileName, &there) == 0; i++) {
        if (calc->loadedDevice[i] == there.st_dev && calc->loadedInode[i] == there.st_ino) {
            systemMessage(fileName, EINVAL);
            return;
        }
    }
    FileReplacement out;
    if (!replaceBegin(&out, fileName)) {
        systemMessage(fileName, errno);
        return;
    }
    /* Written a row at a time: the grid may be far larger than memory. */
    bool written = true;
    off_t at = 0;
    int number = 1;
    std::string text;
    for (int row = 0; row < rows && written; row++) {
        text.clear();
        for (int column = 0; column < columns; column++) {
            double y2 = 0;
            double x2 = 0;
            transformPoint(calc, xmin + column * columnStep, ymin + row * rowStep, &y2, &x2);
            text += cFormat("%5d %13.3f %13.3f\n", number++, x2, y2);
        }
        written = writeAt(out.fd, text.data(), text.size(), at);
        at += static_cast<off_t>(text.size());
    }
    if (!written) {
        int error = errno;
        replaceAbandon(&out);
        systemMessage(fileName, error);
    } else if (!replaceCommit(&out)) {
        systemMessage(fileName, errno);
    } else {
        close(out.fd);
    }
}

struct GeocalcCommand {
    const char *name;
    void (*proc)(GcpCalc *calc);
};

constexpr GeocalcCommand kCommands[] = {
    {"add", cmdAdd},   {"calculate", cmdCalculate}, {"delete", cmdDelete}, {"update", cmdUpdate}, {"list", cmdList},
    {"load", cmdLoad}, {"saved", cmdSaved},         {"savef", cmdSavef},   {"select", cmdSelect}, {"quit", cmdQuit},
    {"help", cmdHelp}, {"exchange", cmdExchange},   {"grid", cmdGrid},
};

/* Runs the command of the line's first word; an empty line does nothing. */
void geocalcDispatch(GcpCalc *calc)
{
    if (calc->wordCount == 0) {
        return;
    }
    for (const GeocalcCommand &command : kCommands) {
        if (std::strcmp(calc->word[0], command.name) == 0) {
            command.proc(calc);
            return;
        }
    }
    message("Unknown command");
}

/* ---- calc geocalc with options --------------------------------------------- */

const char *const kCalcUsage[] = {
    "Usage: geocalc -order ORDER -data DATA -file FILE\n",    "       geocalc -help\n\n",
    "    where:     ORDER    the order of the polynomial.\n", "               DATA     the list of GCP records.\n",
    "               FILE     the file of the result.\n",
};

/*
 * fitGivenRecords --
 *	calc geocalc -order ORDER -data DATA ?-file FILE?: adds the records of
 *	DATA ("selected id x1 y1 x2 y2" each) to calc, fits them and writes the
 *	fit to FILE when given. The result lists the residuals of the records
 *	("id dx dy"), then the J and the I coefficients and the root mean
 *	squares.
 */
int fitGivenRecords(Tcl_Interp *interp, GcpCalc *calc, int argc, const char **argv)
{
    enum { OPT_ORDER, OPT_DATA, OPT_FILE, OPT_COUNT };
    ToolOption options[OPT_COUNT + 1] = {
        {"-order", nullptr}, {"-data", nullptr}, {"-file", nullptr}, {nullptr, nullptr}};
    int unknown = parseToolOptions(options, argc, argv);
    if (unknown > 0 || options[OPT_ORDER].value == nullptr) {
        Tcl_AppendResult(interp, "Usage: geocalc -order ORDER -data DATA -file FILE", nullptr);
        return TCL_ERROR;
    }
    int order = 0;
    if (Tcl_GetInt(interp, options[OPT_ORDER].value, &order) != TCL_OK) {
        return TCL_ERROR;
    }
    if (order < 0 || order > GEORECT_MAX_POWER) {
        Tcl_AppendResult(interp, "The power of the polynomial must be 0 to 10.", nullptr);
        return TCL_ERROR;
    }
    int count = 0;
    const char **elements = nullptr;
    if (options[OPT_DATA].value != nullptr &&
        Tcl_SplitList(interp, options[OPT_DATA].value, &count, &elements) != TCL_OK) {
        return TCL_ERROR;
    }
    for (int k = 0; k < count; k++) {
        bool full = calc->count >= calc->capacity;
        if (gcpAddRecordText(calc, elements[k]) == 0) {
            Tcl_AppendResult(interp, full ? "GCP number overflow." : "Invalid record: ", full ? "" : elements[k],
                             nullptr);
            Tcl_Free(reinterpret_cast<char *>(elements));
            return TCL_ERROR;
        }
    }
    if (elements != nullptr) {
        Tcl_Free(reinterpret_cast<char *>(elements));
    }
    int selected = 0;
    for (int i = 0; i < calc->count; i++) {
        selected += calc->records[i].selected != 0;
    }
    if (selected < gcpTermCount(order)) {
        Tcl_AppendResult(interp, "Not enough selected GCPs!", nullptr);
        return TCL_ERROR;
    }
    if (!gcpFit(calc, order)) {
        Tcl_AppendResult(interp, "Error in fitting the GCPs.", nullptr);
        return TCL_ERROR;
    }
    const char *fileName = options[OPT_FILE].value;
    if (fileName != nullptr && !gcpSaveGeorect(calc, fileName)) {
        Tcl_AppendResult(interp, "Error in writing ", fileName, ".", nullptr);
        return TCL_ERROR;
    }
    std::vector<char> text(static_cast<size_t>(calc->nTerms) * 32 + 128);
    for (int i = 0; i < calc->count; i++) {
        gcpFormatResidual(calc, i, text.data());
        Tcl_AppendElement(interp, text.data());
    }
    gcpFormatJCoef(calc, "%15.7E", text.data());
    Tcl_AppendElement(interp, text.data());
    gcpFormatICoef(calc, "%15.7E", text.data());
    Tcl_AppendElement(interp, text.data());
    gcpFormatMsr(calc, "%15.7E", text.data());
    Tcl_AppendElement(interp, text.data());
    return TCL_OK;
}

}  // namespace

GeocalcLineReader *geocalcSetLineReader(GeocalcLineReader *reader)
{
    GeocalcLineReader *previous = lineReader;
    lineReader = reader;
    return previous;
}

void geocalcLoop(GcpCalc *calc)
{
    CLocaleScope cLocale;
    while (calc->running) {
        tesk_fprintf(stdout, "\nCML> ");
        std::string text;
        if (!readAnswer(calc, text, GCP_LINE_SIZE)) {
            break;
        }
        geocalcTokenize(calc, text);
        geocalcDispatch(calc);
    }
}

/*
 * rimageGeocalcMain --
 *	rimage geocalc: the calculator on a fresh context; the words are
 *	ignored. Answers 1 (0 when there is no memory for the context).
 */
int rimageGeocalcMain(const char *, int, const char **)
{
    GcpCalc *calc = gcpCalcCreate(nullptr);
    if (calc == nullptr) {
        tesk_fprintf(stderr, "Error in gcpCalcCreate.\n");
        return TOOL_FAILED;
    }
    geocalcLoop(calc);
    gcpCalcFree(calc);
    return TOOL_DONE;
}

/*
 * calcGeocalc --
 *	calc geocalc ?-order ORDER -data DATA -file FILE? ?-help?: without
 *	words the calculator's loop on a context of its own; with words a fit
 *	of the records given (fitGivenRecords).
 */
int calcGeocalc(Tcl_Interp *interp, int argc, const char **argv)
{
    int nWords = argc - 2;
    const char **words = argv + 2;
    for (int i = 0; i < nWords; i += 2) {
        if (std::strcmp(words[i], "-help") == 0) {
            for (const char *line : kCalcUsage) {
                tesk_fprintf(stdout, "%s", line);
            }
            return TCL_OK;
        }
    }
    GcpCalc *calc = gcpCalcCreate(nullptr);
    if (calc == nullptr) {
        Tcl_AppendResult(interp, "Error in gcpCalcCreate.", nullptr);
        return TCL_ERROR;
    }
    int code = TCL_OK;
    if (nWords <= 0) {
        geocalcLoop(calc);
    } else {
        CLocaleScope cLocale;
        code = fitGivenRecords(interp, calc, nWords, words);
    }
    gcpCalcFree(calc);
    return code;
}
