/*
 * tooloptions.cpp --
 *
 *	Argument handling shared by the image tools: option tables matched
 *	against the argument words in option/value pairs, band lists that map
 *	input bands to output bands ("1,3,5", "1-3:3-1", "4:1 5:2"), and plain
 *	number lists ("1,4-6,9").
 *
 *	Every parser here works on the caller's text without changing it and
 *	never stores past the capacity it is given, whatever the text holds.
 */
#include <climits>
#include <cstdint>
#include <string_view>

#include "runtime/tooloptions.h"
#include "tesk.h"
#include "tesk_stdio.h"

namespace {

/* An inclusive run of 1-based band numbers, ascending or descending. */
struct BandRun {
    int first; /* first number as written, 0 .. INT_MAX */
    int last;  /* last number as written, 0 .. INT_MAX */

    int64_t length() const { return (last >= first ? int64_t(last) - first : int64_t(first) - last) + 1; }
    int step() const { return last >= first ? 1 : -1; }
};

bool isBandSeparator(char c)
{
    return c == ';' || c == ',' || c == ' ' || c == '\t';
}

/*
 * Reads the decimal digits starting at text[pos] and moves pos past them.
 * Answers false when there is no digit there. A value above INT_MAX comes
 * back as INT_MAX with *tooBig set; the digits are consumed all the same.
 */
bool readNumber(std::string_view text, size_t &pos, int &value, bool &tooBig)
{
    size_t start = pos;
    int64_t v = 0;
    while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') {
        if (v <= INT_MAX) {
            v = v * 10 + (text[pos] - '0');
        }
        pos++;
    }
    if (pos == start) {
        return false;
    }
    tooBig = v > INT_MAX;
    value = tooBig ? INT_MAX : int(v);
    return true;
}

/*
 * One side of a band token: a number or "a-b", nothing else. A number too
 * large for an int is held at INT_MAX, which no band count reaches, so the
 * range check of the caller rejects it.
 */
bool parseBandRun(std::string_view text, BandRun &run)
{
    size_t pos = 0;
    bool tooBig = false;
    if (!readNumber(text, pos, run.first, tooBig)) {
        return false;
    }
    run.last = run.first;
    if (pos == text.size()) {
        return true;
    }
    if (text[pos] != '-') {
        return false;
    }
    pos++;
    return readNumber(text, pos, run.last, tooBig) && pos == text.size();
}

/*
 * Parses one band token into at most maximum pairs of 0-based bands.
 * Answers the number of pairs stored, 0 when the token is malformed (the
 * arrays are then untouched) or when maximum is not positive.
 */
int parseBandToken(int *inList, int *outList, int maximum, std::string_view token)
{
    if (inList == nullptr || outList == nullptr || maximum <= 0) {
        return 0;
    }
    BandRun in{}, out{};
    size_t colon = token.find(':');
    if (colon == std::string_view::npos) {
        if (!parseBandRun(token, in)) {
            return 0;
        }
        out = in;
    } else if (!parseBandRun(token.substr(0, colon), in) || !parseBandRun(token.substr(colon + 1), out) ||
               in.length() != out.length()) {
        return 0;
    }

    /* The run may be far longer than the room left: keep what fits. Every
     * value lies between the run's ends, so first + i*step - 1 fits an int. */
    int n = int(in.length() < maximum ? in.length() : maximum);
    for (int i = 0; i < n; i++) {
        inList[i] = int(int64_t(in.first) + int64_t(i) * in.step() - 1);
        outList[i] = int(int64_t(out.first) + int64_t(i) * out.step() - 1);
    }
    return n;
}

}  // namespace

extern "C" {

/*
 * parseToolOptions --
 *	Clears every row's value, then takes the words two by two: the first
 *	unset row whose option word equals the pair's first word exactly gets
 *	the second word as its value (a pointer into argv, not a copy). Answers
 *	the number of pairs that no row took, a last word without a value
 *	included.
 */
int parseToolOptions(ToolOption *table, int argc, const char *const *argv)
{
    if (table != nullptr) {
        for (ToolOption *row = table; row->option != nullptr; row++) {
            row->value = nullptr;
        }
    }
    if (argc <= 0) {
        return 0;
    }

    int notTaken = 0;
    for (int64_t i = 0; i < argc; i += 2) {
        const char *word = argv != nullptr ? argv[i] : nullptr;
        const char *value = (argv != nullptr && i + 1 < argc) ? argv[i + 1] : nullptr;
        ToolOption *taker = nullptr;
        if (table != nullptr && word != nullptr && value != nullptr) {
            for (ToolOption *row = table; row->option != nullptr; row++) {
                if (row->value == nullptr && std::string_view(row->option) == word) {
                    taker = row;
                    break;
                }
            }
        }
        if (taker != nullptr) {
            taker->value = value;
        } else {
            notTaken++;
        }
    }
    return notTaken;
}

/*
 * parseBandPairs --
 *	Parses one band-list token (a list, or two lists of equal length
 *	joined by ":"; a list is a band number or a range "a-b" either way,
 *	both ends included) into at most maximum pairs, storing the 1-based
 *	numbers of the text as 0-based bands. Answers the number of pairs
 *	stored, 0 on a malformed token. Band numbers are not checked against
 *	any band count; a number beyond INT_MAX is stored as INT_MAX - 1.
 */
int parseBandPairs(int *inList, int *outList, int maximum, const char *token)
{
    if (token == nullptr) {
        return 0;
    }
    return parseBandToken(inList, outList, maximum, token);
}

/*
 * bandParams --
 *	Fills inList and outList, each with room for capacity entries, with
 *	the pairs of a band list. NULL text maps the bands one to
 *	one over the smaller band count. Otherwise the text's tokens, split at
 *	";", "," and blanks, are parsed in turn until the text ends or the
 *	arrays are full. Answers the number of pairs; 0 for a malformed token
 *	(after printing "Error in band params." when report is set), and 0
 *	without a message when a band lies outside 1 .. inBands (input side)
 *	or 1 .. outBands (output side).
 */
static int bandParams(int inBands, int outBands, int *inList, int *outList, int capacity, const char *text,
                      bool report)
{
    if (inList == nullptr || outList == nullptr || capacity <= 0) {
        return 0;
    }
    if (text == nullptr) {
        int n = inBands < outBands ? inBands : outBands;
        n = n < 0 ? 0 : (n > capacity ? capacity : n);
        for (int i = 0; i < n; i++) {
            inList[i] = i;
            outList[i] = i;
        }
        return n;
    }

    std::string_view rest(text);
    int count = 0;
    while (count < capacity) {
        size_t start = 0;
        while (start < rest.size() && isBandSeparator(rest[start])) {
            start++;
        }
        if (start == rest.size()) {
            break;
        }
        size_t end = start;
        while (end < rest.size() && !isBandSeparator(rest[end])) {
            end++;
        }
        int n = parseBandToken(inList + count, outList + count, capacity - count,
                               rest.substr(start, end - start));
        if (n == 0) {
            if (report) {
                tesk_fprintf(stderr, "Error in band params.\n");
            }
            return 0;
        }
        count += n;
        rest.remove_prefix(end);
    }

    for (int i = 0; i < count; i++) {
        if (inList[i] < 0 || inList[i] >= inBands || outList[i] < 0 || outList[i] >= outBands) {
            return 0;
        }
    }
    return count;
}

int parseBandParamsMax(int inBands, int outBands, int *inList, int *outList, int capacity, const char *text)
{
    return bandParams(inBands, outBands, inList, outList, capacity, text, true);
}

int parseBandParams(int inBands, int outBands, int *inList, int *outList, const char *text)
{
    return parseBandParamsMax(inBands, outBands, inList, outList, TESK_MAX_BAND_PAIRS, text);
}

/*
 * parseNumberList --
 *	Parses decimal numbers separated by ",", each optionally followed by
 *	"-" and a second number to give a range (either direction, both ends
 *	included), into numbers. Answers the count; -1 on a syntax error (a
 *	character other than a digit, "," or "-" after a number, a range
 *	followed by "-", a range without its second number, a number beyond
 *	INT_MAX) or on overflow: more than maximum numbers, or a range that
 *	would fill the last slot. An element that does not start with a digit
 *	(an empty text, an empty element) ends the list; the count is then
 *	that of the numbers before it.
 */
int parseNumberList(const char *text, int *numbers, int maximum)
{
    if (text == nullptr) {
        return 0;
    }
    if (numbers == nullptr || maximum < 0) {
        maximum = 0;
    }

    std::string_view s(text);
    size_t pos = 0;
    int count = 0;
    while (pos < s.size()) {
        int first = 0;
        bool tooBig = false;
        if (!readNumber(s, pos, first, tooBig)) {
            break;
        }
        if (tooBig) {
            return -1;
        }
        if (pos < s.size() && s[pos] == '-') {
            pos++;
            int last = 0;
            if (!readNumber(s, pos, last, tooBig) || tooBig) {
                return -1;
            }
            if (pos < s.size() && s[pos] != ',') {
                return -1;
            }
            /* A range may not take the last slot; the loop stops at the
             * first value that does not fit, however long the range. */
            int step = last >= first ? 1 : -1;
            for (int64_t v = first;; v += step) {
                if (count >= maximum - 1) {
                    return -1;
                }
                numbers[count++] = int(v);
                if (v == last) {
                    break;
                }
            }
        } else {
            if (pos < s.size() && s[pos] != ',') {
                return -1;
            }
            if (count >= maximum) {
                return -1;
            }
            numbers[count++] = first;
        }
        if (pos < s.size()) {
            pos++; /* the "," */
        }
    }
    return count;
}

}  // extern "C"

int parseToolBandPairs(int inBands, int outBands, int *inList, int *outList, const char *text)
{
    int pairs = bandParams(inBands, outBands, inList, outList, TESK_MAX_BAND_PAIRS, text, false);
    if (pairs == 0) {
        tesk_fprintf(stderr, "Error in band params.\n");
    }
    return pairs;
}
