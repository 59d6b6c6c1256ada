/*
 * configspec.cpp --
 *
 *	Option tables applied to records: Tk's routines when the interpreter
 *	has Tk, else the reader below, which follows Tk's old option model
 *	(unique prefixes, defaults for the options not given, the same error
 *	texts) for the option kinds that need no window.
 */
#include "runtime/configspec.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <string>
#include <unordered_set>
#include "runtime/cnumber.h"
#include "runtime/startup.h"

namespace {

/* The flags an option must have and must not have to take part, as Tk
 * works them out for a colour screen. */
int needFlags(int flags)
{
    return flags & ~(TK_CONFIG_USER_BIT - 1);
}

bool takesPart(const Tk_ConfigSpec *spec, int flags)
{
    return spec->argvName != nullptr && (spec->specFlags & needFlags(flags)) == needFlags(flags) &&
           !(spec->specFlags & TK_CONFIG_MONO_ONLY);
}

/* The option that name (an option or a unique prefix) names, or NULL with
 * Tk's error in interp (when interp is not null). */
Tk_ConfigSpec *findSpec(Tcl_Interp *interp, Tk_ConfigSpec *specs, const char *name, int flags)
{
    std::size_t length = std::strlen(name);
    Tk_ConfigSpec *match = nullptr;
    for (Tk_ConfigSpec *spec = specs; spec->type != TK_CONFIG_END && length >= 2; spec++) {
        if (!takesPart(spec, flags) || std::strncmp(spec->argvName, name, length) != 0) {
            continue;
        }
        if (spec->argvName[length] == '\0') {
            return spec;
        }
        if (match != nullptr && interp == nullptr) {
            return nullptr;
        }
        if (match != nullptr) {
            Tcl_SetObjResult(interp, Tcl_ObjPrintf("ambiguous option \"%s\"", name));
            Tcl_SetErrorCode(interp, "TK", "LOOKUP", "OPTION", name, nullptr);
            return nullptr;
        }
        match = spec;
    }
    if (match == nullptr && interp != nullptr) {
        Tcl_SetObjResult(interp, Tcl_ObjPrintf("unknown option \"%s\"", name));
        Tcl_SetErrorCode(interp, "TK", "LOOKUP", "OPTION", name, nullptr);
    }
    return match;
}

/* The one lasting copy of text, as Tk's unique identifiers are: compared
 * by address and never freed. */
Tk_Uid uniqueId(const char *text)
{
    static auto *ids = new std::unordered_set<std::string>;
    return ids->emplace(text).first->c_str();
}

/* Stores value into the field of spec. */
int setValue(Tcl_Interp *interp, const Tk_ConfigSpec *spec, const char *value, char *record)
{
    char *field = record + spec->offset;
    switch (spec->type) {
    case TK_CONFIG_BOOLEAN: return Tcl_GetBoolean(interp, value, reinterpret_cast<int *>(field));
    case TK_CONFIG_INT: return Tcl_GetInt(interp, value, reinterpret_cast<int *>(field));
    case TK_CONFIG_DOUBLE: return cGetDouble(interp, value, reinterpret_cast<double *>(field));
    case TK_CONFIG_STRING: {
        char *copy = nullptr;
        if (value[0] != '\0' || !(spec->specFlags & TK_CONFIG_NULL_OK)) {
            copy = Tcl_Alloc(static_cast<unsigned>(std::strlen(value) + 1));
            std::strcpy(copy, value);
        }
        char **slot = reinterpret_cast<char **>(field);
        if (*slot != nullptr) {
            Tcl_Free(*slot);
        }
        *slot = copy;
        return TCL_OK;
    }
    case TK_CONFIG_UID:
        *reinterpret_cast<Tk_Uid *>(field) =
            value[0] == '\0' && (spec->specFlags & TK_CONFIG_NULL_OK) ? nullptr : uniqueId(value);
        return TCL_OK;
    case TK_CONFIG_CUSTOM:
        return spec->customPtr->parseProc(spec->customPtr->clientData, interp, nullptr, value, record, spec->offset);
    default: Tcl_SetObjResult(interp, Tcl_ObjPrintf("option \"%s\" needs Tk", spec->argvName)); return TCL_ERROR;
    }
}

/* The value of spec's field as text. */
std::string valueText(const Tk_ConfigSpec *spec, char *record)
{
    char *field = record + spec->offset;
    switch (spec->type) {
    case TK_CONFIG_BOOLEAN: return *reinterpret_cast<int *>(field) ? "1" : "0";
    case TK_CONFIG_INT: return std::to_string(*reinterpret_cast<int *>(field));
    case TK_CONFIG_DOUBLE: {
        char buffer[TCL_DOUBLE_SPACE];
        Tcl_PrintDouble(nullptr, *reinterpret_cast<double *>(field), buffer);
        return buffer;
    }
    case TK_CONFIG_STRING:
    case TK_CONFIG_UID: {
        const char *text = *reinterpret_cast<const char **>(field);
        return text != nullptr ? text : "";
    }
    case TK_CONFIG_CUSTOM: {
        Tcl_FreeProc *freeProc = nullptr;
        char *text = const_cast<char *>(
            spec->customPtr->printProc(spec->customPtr->clientData, nullptr, record, spec->offset, &freeProc));
        std::string copy = text != nullptr ? text : "";
        if (text != nullptr && freeProc != nullptr) {
            if (freeProc == TCL_DYNAMIC) {
                Tcl_Free(text);
            } else {
                freeProc(text);
            }
        }
        return copy;
    }
    default: return "";
    }
}

/* One option's description: {name dbName dbClass default value}. */
Tcl_Obj *describe(const Tk_ConfigSpec *spec, char *record)
{
    const char *words[] = {spec->argvName, spec->dbName, spec->dbClass, spec->defValue};
    Tcl_Obj *list = Tcl_NewListObj(0, nullptr);
    for (const char *word : words) {
        Tcl_ListObjAppendElement(nullptr, list, Tcl_NewStringObj(word != nullptr ? word : "", -1));
    }
    std::string value = valueText(spec, record);
    Tcl_ListObjAppendElement(nullptr, list, Tcl_NewStringObj(value.data(), static_cast<int>(value.size())));
    return list;
}

int configureWithoutTk(Tcl_Interp *interp, Tk_ConfigSpec *specs, int argc, const char **argv, char *record, int flags)
{
    std::string given;  // one mark per table row: the options argv sets
    for (const Tk_ConfigSpec *spec = specs; spec->type != TK_CONFIG_END; spec++) {
        given.push_back('\0');
    }
    for (; argc > 0; argc -= 2, argv += 2) {
        Tk_ConfigSpec *spec = findSpec(interp, specs, argv[0], flags);
        if (spec == nullptr) {
            return TCL_ERROR;
        }
        if (argc < 2) {
            Tcl_SetObjResult(interp, Tcl_ObjPrintf("value for \"%s\" missing", argv[0]));
            Tcl_SetErrorCode(interp, "TK", "VALUE_MISSING", nullptr);
            return TCL_ERROR;
        }
        if (setValue(interp, spec, argv[1], record) != TCL_OK) {
            Tcl_AppendObjToErrorInfo(interp, Tcl_ObjPrintf("\n    (processing \"%.40s\" option)", spec->argvName));
            return TCL_ERROR;
        }
        given[spec - specs] = '\1';
    }
    if (flags & TK_CONFIG_ARGV_ONLY) {
        return TCL_OK;
    }
    for (const Tk_ConfigSpec *spec = specs; spec->type != TK_CONFIG_END; spec++) {
        if (given[spec - specs] || !takesPart(spec, flags) || spec->defValue == nullptr ||
            (spec->specFlags & TK_CONFIG_DONT_SET_DEFAULT)) {
            continue;
        }
        if (setValue(interp, spec, spec->defValue, record) != TCL_OK) {
            Tcl_AppendObjToErrorInfo(interp, Tcl_ObjPrintf("\n    (default value for \"%.50s\")", spec->argvName));
            return TCL_ERROR;
        }
    }
    return TCL_OK;
}

int infoWithoutTk(Tcl_Interp *interp, Tk_ConfigSpec *specs, char *record, const char *name, int flags)
{
    Tcl_ResetResult(interp);
    if (name != nullptr) {
        Tk_ConfigSpec *spec = findSpec(interp, specs, name, flags);
        if (spec == nullptr) {
            return TCL_ERROR;
        }
        Tcl_SetObjResult(interp, describe(spec, record));
        return TCL_OK;
    }
    Tcl_Obj *all = Tcl_NewListObj(0, nullptr);
    for (const Tk_ConfigSpec *spec = specs; spec->type != TK_CONFIG_END; spec++) {
        if (takesPart(spec, flags)) {
            Tcl_ListObjAppendElement(nullptr, all, describe(spec, record));
        }
    }
    Tcl_SetObjResult(interp, all);
    return TCL_OK;
}

int valueWithoutTk(Tcl_Interp *interp, Tk_ConfigSpec *specs, char *record, const char *name, int flags)
{
    Tk_ConfigSpec *spec = findSpec(interp, specs, name, flags);
    if (spec == nullptr) {
        return TCL_ERROR;
    }
    std::string value = valueText(spec, record);
    Tcl_SetObjResult(interp, Tcl_NewStringObj(value.data(), static_cast<int>(value.size())));
    return TCL_OK;
}

/* Runs the reader without Tk; memory running out is an error, not an
 * exception leaving the command. */
template <typename Reader, typename... Args>
int withoutTk(Reader reader, Tcl_Interp *interp, Args... args)
{
    try {
        return reader(interp, args...);
    } catch (const std::bad_alloc &) {
        Tcl_SetResult(interp, const_cast<char *>("Error in reading options: out of memory"), TCL_STATIC);
        return TCL_ERROR;
    }
}

/* The option a word names, synonyms resolved, or null (the configure
 * itself then reports the word). */
Tk_ConfigSpec *namedSpec(Tk_ConfigSpec *specs, const char *name, int flags)
{
    Tk_ConfigSpec *spec = findSpec(nullptr, specs, name, flags);
    if (spec == nullptr || spec->type != TK_CONFIG_SYNONYM) {
        return spec;
    }
    for (Tk_ConfigSpec *real = specs; real->type != TK_CONFIG_END; real++) {
        if (real->type != TK_CONFIG_SYNONYM && takesPart(real, flags) && real->dbName != nullptr &&
            spec->dbName != nullptr && std::strcmp(real->dbName, spec->dbName) == 0) {
            return real;
        }
    }
    return nullptr;
}

/* The text of word i of argv. */
const char *wordText(const char *const *argv, int i, int flags)
{
    if (flags & TK_CONFIG_OBJS) {
        return Tcl_GetString(const_cast<Tcl_Obj *>(reinterpret_cast<const Tcl_Obj *const *>(argv)[i]));
    }
    return argv[i];
}

/* Refuses with Tk's words for the option. */
int refuse(Tcl_Interp *interp, const Tk_ConfigSpec *spec, const char *message, const char *value)
{
    Tcl_SetObjResult(interp, Tcl_ObjPrintf(message, value));
    Tcl_AppendObjToErrorInfo(interp, Tcl_ObjPrintf("\n    (processing \"%.40s\" option)", spec->argvName));
    return TCL_ERROR;
}

double screenPixels(Tk_Window tkwin, double mm);

/*
 * Checks the numbers of the option words before anything is applied:
 * TCL_ERROR with the message for a double that is not finite or a screen
 * distance that is not; a distance beyond kMaxScreenPixels has its word in
 * words (the option words as text) replaced by the clamped pixel count.
 */
int checkNumbers(Tcl_Interp *interp, Tk_Window tkwin, Tk_ConfigSpec *specs, std::vector<std::string> &words, int flags)
{
    for (size_t i = 0; i + 1 < words.size(); i += 2) {
        Tk_ConfigSpec *spec =
            namedSpec(specs, words[i].c_str(), flags & ~(TESK_CONFIG_PARTIAL | TESK_CONFIG_OWN_FINITE));
        if (spec == nullptr) {
            continue;
        }
        const char *value = words[i + 1].c_str();
        if (spec->type == TK_CONFIG_DOUBLE && !(flags & TESK_CONFIG_OWN_FINITE)) {
            double v;
            if (cGetDouble(interp, value, &v) != TCL_OK) {
                Tcl_AppendObjToErrorInfo(interp, Tcl_ObjPrintf("\n    (processing \"%.40s\" option)", spec->argvName));
                return TCL_ERROR;
            }
        } else if ((spec->type == TK_CONFIG_PIXELS || spec->type == TK_CONFIG_MM) && tkwin != nullptr) {
            double mm;
            /* Tk writes its message whatever the interpreter; the
             * configure itself reports a word that is no distance. */
            Tcl_InterpState state = Tcl_SaveInterpState(interp, TCL_OK);
            int read = Tk_GetScreenMM(interp, tkwin, value, &mm);
            Tcl_RestoreInterpState(interp, state);
            if (read != TCL_OK) {
                continue;
            }
            if (!std::isfinite(mm)) {
                return refuse(interp, spec, "bad screen distance \"%s\"", value);
            }
            double pixels = screenPixels(tkwin, mm);
            if (spec->type == TK_CONFIG_PIXELS && std::fabs(pixels) == kMaxScreenPixels) {
                words[i + 1] = std::to_string(static_cast<long>(pixels));
            }
        }
    }
    return TCL_OK;
}

/* The pixels of a finite distance of mm millimetres on tkwin's screen,
 * within kMaxScreenPixels. */
double screenPixels(Tk_Window tkwin, double mm)
{
    Screen *screen = Tk_Screen(tkwin);
    double pixels = mm * WidthOfScreen(screen) / WidthMMOfScreen(screen);
    return std::clamp(pixels, -kMaxScreenPixels, kMaxScreenPixels);
}

/* Applies words (text) to record, by Tk over tkwin or by the reader
 * without Tk. */
int applyWords(Tcl_Interp *interp, Tk_Window tkwin, Tk_ConfigSpec *specs, const std::vector<std::string> &words,
               char *record, int flags);

}  // namespace

SavedOptions::SavedOptions(Tcl_Interp *interp, Tk_Window tkwin, Tk_ConfigSpec *specs, int argc, const char *const *argv,
                           char *record, int flags)
    : interp(interp), tkwin(tkwin), specs(specs), record(record), flags(flags & ~TK_CONFIG_OBJS)
{
    for (int i = 0; i < argc; i += 2) {
        Tk_ConfigSpec *spec = namedSpec(specs, wordText(argv, i, flags), flags);
        if (spec == nullptr ||
            std::any_of(saved.begin(), saved.end(), [&](const Saved &s) { return s.spec == spec; })) {
            continue;
        }
        bool null = false;
        if (spec->type == TK_CONFIG_STRING || spec->type == TK_CONFIG_UID) {
            null = *reinterpret_cast<char **>(record + spec->offset) == nullptr;
        }
        if (tkwin != nullptr) {
            Tcl_InterpState state = Tcl_SaveInterpState(interp, TCL_OK);
            if (Tk_ConfigureValue(interp, tkwin, specs, record, spec->argvName, this->flags) == TCL_OK) {
                saved.push_back({spec, Tcl_GetStringResult(interp), null});
            }
            Tcl_RestoreInterpState(interp, state);
        } else {
            saved.push_back({spec, valueText(spec, record), null});
        }
    }
}

void SavedOptions::restore()
{
    if (saved.empty()) {
        return;
    }
    Tcl_InterpState state = Tcl_SaveInterpState(interp, TCL_ERROR);
    for (const Saved &s : saved) {
        /* One at a time: a value that cannot be read back leaves the others. */
        const char *words[] = {s.spec->argvName, s.text.c_str()};
        if (tkwin != nullptr) {
            Tk_ConfigureWidget(interp, tkwin, specs, 2, words, record, flags | TK_CONFIG_ARGV_ONLY);
        } else {
            withoutTk(configureWithoutTk, interp, specs, 2, words, record, flags | TK_CONFIG_ARGV_ONLY);
        }
        char **field = reinterpret_cast<char **>(record + s.spec->offset);
        if (s.null && *field != nullptr) {
            if (s.spec->type == TK_CONFIG_STRING) {
                Tcl_Free(*field);
            }
            *field = nullptr;
        }
    }
    Tcl_RestoreInterpState(interp, state);
}

namespace {

int applyWords(Tcl_Interp *interp, Tk_Window tkwin, Tk_ConfigSpec *specs, const std::vector<std::string> &words,
               char *record, int flags)
{
    std::vector<const char *> argv;
    for (const std::string &word : words) {
        argv.push_back(word.c_str());
    }
    argv.push_back(nullptr);
    int argc = static_cast<int>(words.size());
    flags &= ~TK_CONFIG_OBJS;
    if (tkwin != nullptr) {
        return Tk_ConfigureWidget(interp, tkwin, specs, argc, argv.data(), record, flags);
    }
    return withoutTk(configureWithoutTk, interp, specs, argc, argv.data(), record, flags);
}

}  // namespace

int teskGetPixels(Tcl_Interp *interp, Tk_Window tkwin, const char *text, int *pixels)
{
    double mm;
    if (Tk_GetScreenMM(interp, tkwin, text, &mm) != TCL_OK) {
        return TCL_ERROR;
    }
    if (!std::isfinite(mm)) {
        Tcl_SetObjResult(interp, Tcl_ObjPrintf("bad screen distance \"%s\"", text));
        Tcl_SetErrorCode(interp, "TK", "VALUE", "PIXELS", nullptr);
        return TCL_ERROR;
    }
    *pixels = static_cast<int>(std::lround(screenPixels(tkwin, mm)));
    return TCL_OK;
}

int teskConfigureWidget(Tcl_Interp *interp, Tk_Window tkwin, Tk_ConfigSpec *specs, int argc, const char **argv,
                        char *record, int flags)
{
    std::vector<std::string> words;
    const int own = flags & (TESK_CONFIG_PARTIAL | TESK_CONFIG_OWN_FINITE);
    flags &= ~own;
    try {
        for (int i = 0; i < argc; i++) {
            words.emplace_back(wordText(argv, i, flags));
        }
        if (checkNumbers(interp, tkwin, specs, words, flags | own) != TCL_OK) {
            return TCL_ERROR;
        }
        if (own & TESK_CONFIG_PARTIAL) {
            return applyWords(interp, tkwin, specs, words, record, flags);
        }
        SavedOptions before(interp, tkwin, specs, argc, argv, record, flags);
        if (applyWords(interp, tkwin, specs, words, record, flags) != TCL_OK) {
            before.restore();
            return TCL_ERROR;
        }
    } catch (const std::bad_alloc &) {
        Tcl_SetResult(interp, const_cast<char *>("Error in reading options: out of memory"), TCL_STATIC);
        return TCL_ERROR;
    }
    return TCL_OK;
}

int teskConfigure(Tcl_Interp *interp, Tk_ConfigSpec *specs, int argc, const char **argv, char *record, int flags)
{
    return teskConfigureWidget(interp, teskHasTk(interp) ? Tk_MainWindow(interp) : nullptr, specs, argc, argv, record,
                               flags);
}

int teskConfigureInfo(Tcl_Interp *interp, Tk_ConfigSpec *specs, char *record, const char *name, int flags)
{
    if (teskHasTk(interp)) {
        return Tk_ConfigureInfo(interp, Tk_MainWindow(interp), specs, record, name, flags);
    }
    return withoutTk(infoWithoutTk, interp, specs, record, name, flags);
}

int teskConfigureValue(Tcl_Interp *interp, Tk_ConfigSpec *specs, char *record, const char *name, int flags)
{
    if (teskHasTk(interp)) {
        return Tk_ConfigureValue(interp, Tk_MainWindow(interp), specs, record, name, flags);
    }
    return withoutTk(valueWithoutTk, interp, specs, record, name, flags);
}
