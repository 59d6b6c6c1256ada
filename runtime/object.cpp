/*
 * object.cpp --
 *
 *	The generic data object layer (RAMOBJ): creation of an object command
 *	from a kind's table, the common options, the use count and listener
 *	life cycle, and the subcommands every object command shares.
 */
#include "tesk.h"

#include <cstring>
#include <string>
#include "runtime/configspec.h"
#include "runtime/replace.h"
#include "runtime/subcmd.h"
#include "runtime/util.h"
#include "tesk_stdio.h"

Tk_ConfigSpec objectConfigSpecs[] = {
    {TK_CONFIG_STRING, "-file", nullptr, nullptr, nullptr, Tk_Offset(RAMOBJ, file), TK_CONFIG_NULL_OK, nullptr},
    {TK_CONFIG_INT, "-update", nullptr, nullptr, "1", Tk_Offset(RAMOBJ, update), 0, nullptr},
    {TK_CONFIG_END, nullptr, nullptr, nullptr, nullptr, 0, 0, nullptr},
};

namespace {

constexpr const char *kTypeNames[] = {
    "UNKNOWN", "SHAPE", "STATS", "EV", "ISO", "TABLE", "PROJ", "GCP", "TERRA", "NAD2NAD", "CS2CS", "GEOD",
};

/* True when the option words of argv (option/value pairs) set -file. */
bool setsFile(int argc, const char **argv)
{
    for (int i = 0; i + 1 < argc; i += 2) {
        std::size_t n = std::strlen(argv[i]);
        if (n >= 2 && std::strncmp(argv[i], "-file", n) == 0) {
            return true;
        }
    }
    return false;
}

void freePayload(RAMOBJ *obj)
{
    if (obj->payload != nullptr && obj->freePayload != nullptr) {
        obj->freePayload(obj->payload);
    }
    obj->payload = nullptr;
}

void freeFileOption(RAMOBJ *obj)
{
    if (obj->file != nullptr) {
        Tcl_Free(obj->file);
        obj->file = nullptr;
    }
}

int usage(Tcl_Interp *interp, const char *name, const char *words)
{
    Tcl_AppendResult(interp, "Usage: ", name, words, nullptr);
    return TCL_ERROR;
}

bool selectedWord(int argc, const char **argv, int index)
{
    return argc > index && std::strcmp(argv[index], "selected") == 0;
}

enum ObjWord { kConfigure, kCget, kClass, kClone, kClose, kCount, kModified, kSave, kVersion };

struct ObjSubcommand {
    const char *name;
    int minLength;
    ObjWord word;
};

constexpr ObjSubcommand kObjSubcommands[] = {
    {"configure", 4, kConfigure}, {"cget", 4, kCget},   {"class", 4, kClass},
    {"clone", 4, kClone},         {"close", 4, kClose}, {"count", 4, kCount},
    {"modified", 8, kModified},   {"save", 4, kSave},   {"version", 4, kVersion},
};

int cloneObject(RAMOBJ *obj, Tcl_Interp *interp, int argc, const char **argv)
{
    if (argc < 3 || argc > 4 || (argc == 4 && !selectedWord(argc, argv, 3))) {
        return usage(interp, argv[0], " clone newObjName [selected]");
    }
    Tcl_CmdInfo existing;
    if (Tcl_GetCommandInfo(interp, argv[2], &existing)) {
        Tcl_AppendResult(interp, "command \"", argv[2], "\" already exists", nullptr);
        return TCL_ERROR;
    }
    auto *copy = static_cast<RAMOBJ *>(gmemAlloc(sizeof(RAMOBJ)));
    if (copy == nullptr) {
        Tcl_SetResult(interp, const_cast<char *>("Error in clone: out of memory"), TCL_STATIC);
        return TCL_ERROR;
    }
    *copy = *obj;
    copy->useCount = 0;
    copy->listeners = nullptr;
    copy->file = nullptr;
    copy->payload = obj->payload != nullptr && obj->clone != nullptr
                        ? obj->clone(obj->payload, selectedWord(argc, argv, 3))
                        : nullptr;
    if (Tcl_CreateCommand(interp, argv[2], obj->command, copy, objDelete) == nullptr) {
        objClose(copy);
        Tcl_AppendResult(interp, "can't create command \"", argv[2], "\"", nullptr);
        return TCL_ERROR;
    }
    return TCL_OK;
}

/* Why the save under way failed, as its kind named it; empty when it named
 * nothing. */
thread_local std::string saveFailure;

}  // namespace

void objSaveFailed(const std::string &why)
{
    saveFailure = why;
}

std::string saveFailureText(const char *given, bool begun, int error)
{
    std::string step = begun ? std::string() : replaceFailure();
    if (!step.empty()) {
        return step;
    }
    return std::string("cannot write ") + given + ": " + (error != 0 ? std::strerror(error) : "short write");
}

extern "C" {

const char *getObjStr(int type)
{
    if (type < 0 || type >= static_cast<int>(sizeof kTypeNames / sizeof kTypeNames[0])) {
        return "Invalid obj id";
    }
    return kTypeNames[type];
}

int objCreate(Tcl_Interp *interp, const RamObjKind *kind, int argc, const char **argv)
{
    if (argc < 2) {
        Tcl_AppendResult(interp, "Usage: ", argv[0], " objName ?options?", nullptr);
        return TCL_ERROR;
    }
    Tcl_CmdInfo existing;
    if (Tcl_GetCommandInfo(interp, argv[1], &existing)) {
        Tcl_AppendResult(interp, "command \"", argv[1], "\" already exists", nullptr);
        return TCL_ERROR;
    }
    auto *obj = static_cast<RAMOBJ *>(gmemAlloc(sizeof(RAMOBJ)));
    if (obj == nullptr) {
        Tcl_SetResult(interp, const_cast<char *>("Error in creating object: out of memory"), TCL_STATIC);
        return TCL_ERROR;
    }
    std::memset(obj, 0, sizeof *obj);
    obj->magic = RAMOBJ_MAGIC;
    obj->type = kind->type;
    obj->version = RAMOBJ_VERSION;
    obj->count = kind->count;
    obj->itemSelected = kind->itemSelected;
    obj->subtype = kind->subtype;
    obj->clone = kind->clone;
    obj->save = kind->save;
    obj->acquire = objAcquire;
    obj->release = objRelease;
    obj->close = objClose;
    obj->loadFile = kind->loadFile;
    obj->freePayload = kind->freePayload;
    obj->command = kind->command;
    obj->modified = kind->modified;
    obj->extension = kind->extension;

    std::string name = argv[1];
    Tcl_Command token = Tcl_CreateCommand(interp, name.c_str(), kind->command, obj, objDelete);
    if (token == nullptr) {
        gmemFree(obj);
        return TCL_ERROR;
    }
    if (objConfig(obj, interp, argc - 2, argv + 2, 0, nullptr) != TCL_OK) {
        Tcl_Obj *message = Tcl_GetObjResult(interp);
        Tcl_IncrRefCount(message);
        Tcl_DeleteCommandFromToken(interp, token);
        Tcl_SetObjResult(interp, message);
        Tcl_DecrRefCount(message);
        return TCL_ERROR;
    }
    Tcl_SetResult(interp, const_cast<char *>(name.c_str()), TCL_VOLATILE);
    return TCL_OK;
}

/*
 * openObject --
 *	Finds the object command name, takes a use through its acquire
 *	procedure and checks its version and type. Only commands made by
 *	objCreate (whose delete procedure is objDelete) count as objects.
 */
int openObject(Tcl_Interp *interp, int type, const char *name, RAMOBJ **out)
{
    Tcl_CmdInfo info;
    if (!Tcl_GetCommandInfo(interp, name, &info)) {
        Tcl_AppendResult(interp, "Fail to open the object: ", name, nullptr);
        return 1;
    }
    auto *obj = static_cast<RAMOBJ *>(info.clientData);
    if (info.deleteProc != objDelete || obj == nullptr || obj->magic != RAMOBJ_MAGIC || obj->acquire == nullptr ||
        !obj->acquire(obj, nullptr, nullptr)) {
        Tcl_AppendResult(interp, "Invalid object: ", name, nullptr);
        return 1;
    }
    if (obj->version < RAMOBJ_VERSION) {
        Tcl_SetObjResult(interp, Tcl_ObjPrintf("RAMOBJ version 0x%x or higher is required", RAMOBJ_VERSION));
        obj->release(obj, nullptr, nullptr);
        return 1;
    }
    if (obj->type != type) {
        Tcl_SetResult(interp, const_cast<char *>("Not the type of RAMOBJ"), TCL_STATIC);
        obj->release(obj, nullptr, nullptr);
        return 1;
    }
    *out = obj;
    return 0;
}

void closeObject(RAMOBJ *obj)
{
    if (obj != nullptr) {
        obj->release(obj, nullptr, nullptr);
    }
}

int objAcquire(RAMOBJ *obj, RamObjListenerProc *proc, ClientData clientData)
{
    if (obj == nullptr || obj->magic != RAMOBJ_MAGIC) {
        return 0;
    }
    if (proc != nullptr) {
        auto *node = static_cast<RamObjListener *>(gmemAlloc(sizeof(RamObjListener)));
        if (node == nullptr) {
            return 0;
        }
        node->proc = proc;
        node->clientData = clientData;
        node->next = obj->listeners;
        obj->listeners = node;
    }
    obj->useCount++;
    return 1;
}

int objRelease(RAMOBJ *obj, RamObjListenerProc *proc, ClientData clientData)
{
    for (RamObjListener **link = &obj->listeners; *link != nullptr; link = &(*link)->next) {
        RamObjListener *node = *link;
        if (node->proc == proc && node->clientData == clientData) {
            *link = node->next;
            gmemFree(node);
            break;
        }
    }
    bool last = obj->useCount == 0;
    obj->close(obj);
    return last ? 1 : 0;
}

/*
 * objClose --
 *	Gives back one use; with none left and no listener, frees the options,
 *	the payload and the record. A record that still has listeners is kept
 *	(its holders have not released it yet).
 */
void objClose(RAMOBJ *obj)
{
    if (obj->useCount > 0) {
        obj->useCount--;
        return;
    }
    if (obj->listeners != nullptr) {
        tesk_fprintf(stderr, "Error in objClose: Try to delete a RAMOBJ in using.\n");
        return;
    }
    freeFileOption(obj);
    freePayload(obj);
    obj->magic = 0;
    gmemFree(obj);
}

void objDelete(ClientData clientData)
{
    auto *obj = static_cast<RAMOBJ *>(clientData);
    obj->close(obj);
}

int objConfig(RAMOBJ *obj, Tcl_Interp *interp, int argc, const char **argv, int flags, const char *)
{
    if (teskConfigure(interp, objectConfigSpecs, argc, argv, reinterpret_cast<char *>(obj), flags) != TCL_OK) {
        return TCL_ERROR;
    }
    /* Only a -file given in this call empties the object: other options
     * (-update) leave a payload made in memory alone. */
    bool fileGiven = setsFile(argc, argv);
    if (obj->file == nullptr || obj->file[0] == '\0') {
        if (fileGiven) {
            freePayload(obj);
        }
    } else if (obj->payload == nullptr || fileGiven) {
        void *aux = nullptr;
        void *payload = obj->loadFile != nullptr ? obj->loadFile(obj->file, &aux) : nullptr;
        if (payload == nullptr) {
            Tcl_AppendResult(interp, "Error in creating object: ", obj->file, nullptr);
            freeFileOption(obj);
            return TCL_ERROR;
        }
        freePayload(obj);
        obj->payload = payload;
    }
    objUpdate(obj);
    return TCL_OK;
}

void objUpdate(RAMOBJ *obj)
{
    if (obj->listeners == nullptr) {
        return;
    }
    for (RamObjListener *node = obj->listeners; node != nullptr; node = node->next) {
        if (node->proc != nullptr) {
            node->proc(obj, node->clientData);
        }
    }
    if (obj->update) {
        tclUpdate(nullptr, 0);
    }
}

/*
 * objDefCommand --
 *	The subcommands every object shares: configure, cget, class, clone,
 *	close, count, modified, save, version. Any other word (or one shorter
 *	than four letters) answers TCL_CONTINUE for the kind's own procedure.
 */
int objDefCommand(RAMOBJ *obj, Tcl_Interp *interp, int argc, const char **argv)
{
    if (argc < 2 || std::strlen(argv[1]) < 4) {
        return TCL_CONTINUE;
    }
    int row = findSubcommand(kObjSubcommands, argv[1]);
    if (row < 0) {
        return TCL_CONTINUE;
    }
    Tcl_ResetResult(interp);
    switch (kObjSubcommands[row].word) {
    case kConfigure: {
        if (argc <= 3) {
            return teskConfigureInfo(interp, objectConfigSpecs, reinterpret_cast<char *>(obj),
                                     argc == 3 ? argv[2] : nullptr, 0);
        }
        return objConfig(obj, interp, argc - 2, argv + 2, TK_CONFIG_ARGV_ONLY, obj->file);
    }
    case kCget: {
        if (argc != 3) {
            return usage(interp, argv[0], " cget option");
        }
        return teskConfigureValue(interp, objectConfigSpecs, reinterpret_cast<char *>(obj), argv[2], 0);
    }
    case kClass:
        if (argc != 2) {
            return usage(interp, argv[0], " class");
        }
        Tcl_SetResult(interp, const_cast<char *>(getObjStr(obj->type)), TCL_STATIC);
        return TCL_OK;
    case kClone: return cloneObject(obj, interp, argc, argv);
    case kClose:
        if (argc != 2) {
            return usage(interp, argv[0], " close");
        }
        /* The command's own hold goes with the command: holders that still
         * have uses keep the record, and it is freed when the last of them
         * gives its use back. The answer is the number of uses left. */
        {
            int remaining = obj->useCount > 0 ? obj->useCount - 1 : 0;
            Tcl_DeleteCommand(interp, argv[0]);
            Tcl_SetObjResult(interp, Tcl_NewIntObj(remaining));
        }
        return TCL_OK;
    case kCount:
    case kModified: {
        auto proc = kObjSubcommands[row].word == kCount ? obj->count : obj->modified;
        if (obj->payload == nullptr || proc == nullptr) {
            Tcl_SetResult(interp, const_cast<char *>("Undefined object"), TCL_STATIC);
            return TCL_ERROR;
        }
        Tcl_SetObjResult(interp, Tcl_NewIntObj(proc(obj)));
        return TCL_OK;
    }
    case kSave:
        if (argc < 3 || argc > 4 || (argc == 4 && !selectedWord(argc, argv, 3))) {
            return usage(interp, argv[0], " save filename [selected]");
        }
        saveFailure.clear();
        if (obj->save == nullptr || !obj->save(obj, argv[2], selectedWord(argc, argv, 3))) {
            std::string message = "Error in save object";
            if (!saveFailure.empty()) {
                message += ": " + saveFailure;
            }
            Tcl_SetObjResult(interp, Tcl_NewStringObj(message.c_str(), -1));
            saveFailure.clear();
            return TCL_ERROR;
        }
        return TCL_OK;
    case kVersion: Tcl_SetObjResult(interp, Tcl_NewIntObj(obj->version)); return TCL_OK;
    }
    return TCL_CONTINUE;
}

}  // extern "C"
