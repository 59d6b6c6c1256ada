/*
 * console.cpp --
 *
 *	Console output and input through the console interpreter: consolePuts,
 *	the line readers, cursor and clear requests, and the setConStdIO
 *	command. Output scripts run with the console interpreter's state saved,
 *	so printing never disturbs the result of the command that prints.
 */
#include "runtime/console.h"

#include <cstring>
#include <initializer_list>
#include "runtime/startup.h"
#include "tesk.h"

namespace {

int suppressCount = 0;  // output dropped while non-zero
int unblockFlag = 0;    // handle events after every write

/* An output procedure that itself prints to the console channels would call
 * back into consolePuts without end; such nested output is dropped. */
constexpr int kMaxOutputDepth = 4;
int outputDepth = 0;
struct OutputDepthGuard {
    OutputDepthGuard() { outputDepth++; }
    ~OutputDepthGuard() { outputDepth--; }
};

/* The console interpreter when it can run scripts, else NULL. */
Tcl_Interp *liveConsole()
{
    Tcl_Interp *interp = getConsoleInterp();
    return interp != nullptr && !Tcl_InterpDeleted(interp) ? interp : nullptr;
}

/* Evaluates a script in interp at global level, leaving its result, error
 * information and return options as they were; answers the script's code. */
int evalKeepingState(Tcl_Interp *interp, const char *script)
{
    Tcl_InterpState state = Tcl_SaveInterpState(interp, TCL_OK);
    int code = Tcl_EvalEx(interp, script, -1, TCL_EVAL_GLOBAL);
    Tcl_RestoreInterpState(interp, state);
    return code;
}

/* The fixed words of the output scripts, made once per console
 * interpreter (a command word keeps the command it names looked up
 * between writes) and released with it. The channel name is made anew
 * for every write: a word would keep the channel it named, and the
 * standard channels can be replaced between writes. */
struct OutputWords {
    Tcl_Obj *tkOutput;
    Tcl_Obj *puts;
    Tcl_Obj *noNewline;
};

constexpr const char *kOutputWordsKey = "teskConsoleOutputWords";

Tcl_Obj *heldWord(const char *text)
{
    Tcl_Obj *obj = Tcl_NewStringObj(text, -1);
    Tcl_IncrRefCount(obj);
    return obj;
}

void freeOutputWords(ClientData data, Tcl_Interp *)
{
    auto *words = static_cast<OutputWords *>(data);
    for (Tcl_Obj *obj : {words->tkOutput, words->puts, words->noNewline}) {
        Tcl_DecrRefCount(obj);
    }
    delete words;
}

OutputWords &outputWords(Tcl_Interp *interp)
{
    auto *words = static_cast<OutputWords *>(Tcl_GetAssocData(interp, kOutputWordsKey, nullptr));
    if (words == nullptr) {
        words = new OutputWords{heldWord("tkConsoleOutput"), heldWord("puts"), heldWord("-nonewline")};
        Tcl_SetAssocData(interp, kOutputWordsKey, freeOutputWords, words);
    }
    return *words;
}

/* True when the system encoding turns every byte 1 .. 127 into itself:
 * such text in those bytes needs no conversion. Worked out again when
 * the system encoding changes. */
bool asciiPassesUnchanged()
{
    static std::string checkedName;
    static bool unchanged = false;
    const char *name = Tcl_GetEncodingName(nullptr);
    if (name == nullptr) {
        return false;
    }
    if (checkedName != name) {
        char ascii[127];
        for (int i = 0; i < 127; i++) {
            ascii[i] = static_cast<char>(i + 1);
        }
        Tcl_DString utf;
        Tcl_ExternalToUtfDString(nullptr, ascii, static_cast<int>(sizeof ascii), &utf);
        unchanged = Tcl_DStringLength(&utf) == static_cast<int>(sizeof ascii) &&
                    std::memcmp(Tcl_DStringValue(&utf), ascii, sizeof ascii) == 0;
        Tcl_DStringFree(&utf);
        checkedName = name;
    }
    return unchanged;
}

/* The bytes, in the system encoding, as a new Tcl string (no reference). */
Tcl_Obj *systemTextObj(const char *bytes, int n)
{
    unsigned char high = 0;
    for (int i = 0; i < n; i++) {
        high |= static_cast<unsigned char>(bytes[i]);
    }
    bool plain = (high & 0x80) == 0 && std::memchr(bytes, '\0', static_cast<std::size_t>(n)) == nullptr;
    if (plain && asciiPassesUnchanged()) {
        return Tcl_NewStringObj(bytes, n);
    }
    Tcl_DString utf;
    Tcl_ExternalToUtfDString(nullptr, bytes, n, &utf);
    Tcl_Obj *obj = Tcl_NewStringObj(Tcl_DStringValue(&utf), Tcl_DStringLength(&utf));
    Tcl_DStringFree(&utf);
    return obj;
}

/* Reads a console line by evaluating script (when the Tk-console flag is
 * set, the line is left in the global consoleCmdLine). Appends the line, in
 * the system encoding, to line; answers the bytes appended. */
int readConsole(Tcl_Interp *interp, const char *tkScript, Tcl_DString *line)
{
    Tcl_Preserve(interp);
    Tcl_InterpState state = Tcl_SaveInterpState(interp, TCL_OK);
    const char *text = nullptr;
    int length = 0;
    if (getTkConsoleFlag()) {
        if (Tcl_EvalEx(interp, tkScript, -1, TCL_EVAL_GLOBAL) == TCL_OK) {
            text = Tcl_GetVar(interp, "consoleCmdLine", TCL_GLOBAL_ONLY);
        }
    } else if (Tcl_EvalEx(interp, "gets stdin", -1, TCL_EVAL_GLOBAL) == TCL_OK) {
        text = Tcl_GetStringResult(interp);
    }
    if (text != nullptr && text[0] != '\0') {
        Tcl_DString external;
        Tcl_UtfToExternalDString(nullptr, text, -1, &external);
        length = Tcl_DStringLength(&external);
        Tcl_DStringAppend(line, Tcl_DStringValue(&external), length);
        Tcl_DStringFree(&external);
    }
    Tcl_RestoreInterpState(interp, state);
    Tcl_Release(interp);
    return length;
}

}  // namespace

void consoleSuppressOutput(int delta)
{
    suppressCount += delta;
    if (suppressCount < 0) {
        suppressCount = 0;
    }
}

int consoleOutputSuppressed()
{
    return suppressCount;
}

void setConsoleUnblock(int on)
{
    unblockFlag = on;
}

int getConsoleUnblock()
{
    return unblockFlag;
}

/*
 * consolePuts --
 *	Writes n bytes to the console's standard output (channel 4) or error
 *	(channel 8). Each BEL byte rings the bell instead of being printed; the
 *	rest arrives as one argument of the output procedure, unchanged. Answers
 *	n, also when the output is dropped.
 */
extern "C" int consolePuts(int channel, const char *bytes, int n)
{
    if (bytes == nullptr) {
        return 0;
    }
    if (n < 0) {
        n = static_cast<int>(std::strlen(bytes));
    }
    Tcl_Interp *interp = liveConsole();
    if (interp == nullptr || suppressCount > 0 || outputDepth >= kMaxOutputDepth) {
        return n;
    }
    OutputDepthGuard guard;
    Tcl_Preserve(interp);
    Tcl_SetErrno(0);

    /* Lines without a bell (nearly all) go out from the caller's bytes. */
    const char *out = bytes;
    int outLength = n;
    std::string text;
    if (std::memchr(bytes, '\a', static_cast<std::size_t>(n)) != nullptr) {
        text.reserve(static_cast<std::size_t>(n));
        for (int i = 0; i < n; i++) {
            if (bytes[i] == '\a') {
                evalKeepingState(interp, "bell");
            } else {
                text.push_back(bytes[i]);
            }
        }
        out = text.data();
        outLength = static_cast<int>(text.size());
    }
    if (outLength > 0) {
        OutputWords &words = outputWords(interp);
        Tcl_Obj *objv[4];
        int objc = 0;
        if (getTkConsoleFlag()) {
            objv[objc++] = words.tkOutput;
        } else {
            objv[objc++] = words.puts;
            objv[objc++] = words.noNewline;
        }
        Tcl_Obj *streamObj = Tcl_NewStringObj(channel == TESK_CON_STDERR ? "stderr" : "stdout", -1);
        Tcl_IncrRefCount(streamObj);
        objv[objc++] = streamObj;
        Tcl_Obj *textObj = systemTextObj(out, outLength);
        Tcl_IncrRefCount(textObj);
        objv[objc++] = textObj;
        Tcl_InterpState state = Tcl_SaveInterpState(interp, TCL_OK);
        Tcl_EvalObjv(interp, objc, objv, TCL_EVAL_GLOBAL);
        if (unblockFlag) {
            tclUpdate(nullptr, 0);
        }
        Tcl_RestoreInterpState(interp, state);
        Tcl_DecrRefCount(streamObj);
        Tcl_DecrRefCount(textObj);
    }
    Tcl_Release(interp);
    return n;
}

int conReadLine(Tcl_DString *line)
{
    Tcl_Interp *interp = getConsoleInterp();
    if (interp == nullptr) {
        return 0;
    }
    return readConsole(interp, "tkConsoleInput", line);
}

bool conReadChar(int *c)
{
    Tcl_Interp *interp = liveConsole();
    if (interp == nullptr) {
        return false;
    }
    Tcl_DString line;
    Tcl_DStringInit(&line);
    int n = readConsole(interp, "tkConsoleInput 1", &line);
    if (n > 0) {
        *c = static_cast<unsigned char>(Tcl_DStringValue(&line)[0]);
    }
    Tcl_DStringFree(&line);
    return n > 0;
}

/*
 * conGets --
 *	Reads one console line into the shared line buffer and answers it (NULL
 *	when the console gives nothing); the text stays valid until the next read.
 */
extern "C" const char *conGets(int *length)
{
    static Tcl_DString shared;
    static bool ready = false;
    if (!ready) {
        Tcl_DStringInit(&shared);
        ready = true;
    }
    Tcl_DStringSetLength(&shared, 0);
    int n = conReadLine(&shared);
    if (length != nullptr) {
        *length = n;
    }
    return n < 1 ? nullptr : Tcl_DStringValue(&shared);
}

extern "C" int consoleGetchar(void)
{
    int c = 0;
    return conReadChar(&c) ? c : 0;
}

void consoleGotoXY(int column, int row)
{
    if (Tcl_Interp *interp = liveConsole()) {
        evalKeepingState(interp, fmt("tkConsoleXY %d %d", column, row));
    }
}

void consoleClear()
{
    if (Tcl_Interp *interp = liveConsole()) {
        evalKeepingState(interp, "clear");
    }
}

int conPrintf(const char *format, ...)
{
    std::string text;
    va_list args;
    va_start(args, format);
    bool ok = formatV(text, format, args);
    va_end(args);
    if (!ok) {
        return -1;
    }
    return consolePuts(TESK_CON_STDOUT, text.data(), static_cast<int>(text.size()));
}

int conSetStdIOCmd(ClientData, Tcl_Interp *interp, int, const char **)
{
    if (interp != getConsoleInterp() && !Tcl_InterpDeleted(interp)) {
        meterReset();
        setConsoleInterp(interp);
    }
    Tcl_ResetResult(interp);
    return TCL_OK;
}
