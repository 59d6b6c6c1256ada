/*
 * configspec.cpp --
 *
 *	Option tables applied to records: Tk's routines when the interpreter
 *	has Tk, else the reader below, which follows Tk's old option model
 *	(unique prefixes, defaults for the options not given, the same error
 *	texts) for the option kinds that need no window.
 */
#include "runtime/configspec.h"

#include <cstring>
#include <new>
#include <string>
#include <unordered_set>
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
 * Tk's error in interp. */
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
        if (match != nullptr) {
            Tcl_SetObjResult(interp, Tcl_ObjPrintf("ambiguous option \"%s\"", name));
            Tcl_SetErrorCode(interp, "TK", "LOOKUP", "OPTION", name, nullptr);
            return nullptr;
        }
        match = spec;
    }
    if (match == nullptr) {
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
    case TK_CONFIG_DOUBLE: return Tcl_GetDouble(interp, value, reinterpret_cast<double *>(field));
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

}  // namespace

int teskConfigure(Tcl_Interp *interp, Tk_ConfigSpec *specs, int argc, const char **argv, char *record, int flags)
{
    if (teskHasTk(interp)) {
        return Tk_ConfigureWidget(interp, Tk_MainWindow(interp), specs, argc, argv, record, flags);
    }
    return withoutTk(configureWithoutTk, interp, specs, argc, argv, record, flags);
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
