/*
 * testobj.cpp --
 *
 *	A data object kind for the tests, built on the package's object layer
 *	the way every real kind is: its payload is the lines of a text file
 *	(a line beginning with "*" counts as selected), and C callers that hold
 *	objects are played by tesktest subcommands.
 *
 *	testobj.create NAME ?-file F? ?-update U?
 *	testtable.create NAME ...   the same kind posing as a TABLE object
 *	NAME add LINE          appends a line (marks the payload modified)
 *	NAME lines             the payload's lines
 *	tesktest objopen TYPE NAME ?listen?   openObject (with a listener that
 *	                       appends the object's name to ::objEvents);
 *	                       answers a handle
 *	tesktest objclose HANDLE   gives the use back; answers the release's 1
 *	                       (object freed) or 0
 *	tesktest objuses HANDLE    the use count of a held object
 */
#include <fstream>
#include <map>
#include <string>
#include <vector>
#include <tcl.h>
#include "tesk.h"

namespace {

struct Lines {
    std::vector<std::string> lines;
    bool modified = false;
};

Lines *linesOf(RAMOBJ *obj)
{
    return static_cast<Lines *>(obj->payload);
}

int countLines(RAMOBJ *obj)
{
    return static_cast<int>(linesOf(obj)->lines.size());
}

int lineSelected(RAMOBJ *obj, int item)
{
    const auto &lines = linesOf(obj)->lines;
    return item >= 0 && item < static_cast<int>(lines.size()) && !lines[item].empty() && lines[item][0] == '*';
}

int subtypeOf(RAMOBJ *)
{
    return 0;
}

void *cloneLines(void *payload, int selectedOnly)
{
    auto *from = static_cast<Lines *>(payload);
    auto *copy = new Lines;
    for (const std::string &line : from->lines) {
        if (!selectedOnly || (!line.empty() && line[0] == '*')) {
            copy->lines.push_back(line);
        }
    }
    return copy;
}

int saveLines(RAMOBJ *obj, const char *fileName, int selectedOnly)
{
    std::ofstream out(fileName);
    if (!out) {
        return 0;
    }
    for (int i = 0; i < countLines(obj); i++) {
        if (!selectedOnly || lineSelected(obj, i)) {
            out << linesOf(obj)->lines[i] << "\n";
        }
    }
    linesOf(obj)->modified = false;
    return out.good() ? 1 : 0;
}

void *loadLines(const char *fileName, void **)
{
    std::ifstream in(fileName);
    if (!in) {
        return nullptr;
    }
    auto *payload = new Lines;
    for (std::string line; std::getline(in, line);) {
        payload->lines.push_back(line);
    }
    return payload;
}

void freeLines(void *payload)
{
    delete static_cast<Lines *>(payload);
}

int modifiedLines(RAMOBJ *obj)
{
    return linesOf(obj)->modified ? 1 : 0;
}

int testobjCmd(ClientData clientData, Tcl_Interp *interp, int argc, const char **argv)
{
    auto *obj = static_cast<RAMOBJ *>(clientData);
    int code = objDefCommand(obj, interp, argc, argv);
    if (code != TCL_CONTINUE) {
        return code;
    }
    std::string word = argc > 1 ? argv[1] : "";
    if (word == "add" && argc == 3) {
        if (obj->payload == nullptr) {
            obj->payload = new Lines;
        }
        linesOf(obj)->lines.push_back(argv[2]);
        linesOf(obj)->modified = true;
        objUpdate(obj);
        return TCL_OK;
    }
    if (word == "lines" && argc == 2) {
        if (obj->payload != nullptr) {
            for (const std::string &line : linesOf(obj)->lines) {
                Tcl_AppendElement(interp, line.c_str());
            }
        }
        return TCL_OK;
    }
    Tcl_AppendResult(interp, "unknown word \"", word.c_str(), "\"", nullptr);
    return TCL_ERROR;
}

const RamObjKind testKind = {
    RAMOBJ_UNKNOWN, countLines, lineSelected, subtypeOf,     cloneLines, saveLines,
    loadLines,      freeLines,  testobjCmd,   modifiedLines, nullptr,
};

/* The same kind under the TABLE type code, for commands that match rows. */
const RamObjKind testTableKind = {
    RAMOBJ_TABLE, countLines, lineSelected, subtypeOf,     cloneLines, saveLines,
    loadLines,    freeLines,  testobjCmd,   modifiedLines, nullptr,
};

int createCmd(ClientData clientData, Tcl_Interp *interp, int argc, const char **argv)
{
    return objCreate(interp, static_cast<const RamObjKind *>(clientData), argc, argv);
}

/* ---- C holders of objects ---- */

struct Holder {
    RAMOBJ *obj;
    bool listening;
    std::string name;
};
std::map<int, Holder> holders;
int nextHolder = 1;
Tcl_Interp *eventInterp = nullptr;

void listener(RAMOBJ *, ClientData clientData)
{
    auto *holder = static_cast<Holder *>(clientData);
    Tcl_SetVar(eventInterp, "objEvents", holder->name.c_str(), TCL_GLOBAL_ONLY | TCL_APPEND_VALUE | TCL_LIST_ELEMENT);
}

}  // namespace

int testobjOpen(Tcl_Interp *interp, int objc, Tcl_Obj *const objv[])
{
    int type = 0;
    if (objc < 4 || objc > 5 || Tcl_GetIntFromObj(interp, objv[2], &type) != TCL_OK) {
        Tcl_AppendResult(interp, " usage: tesktest objopen TYPE NAME ?listen?", nullptr);
        return TCL_ERROR;
    }
    RAMOBJ *obj = nullptr;
    if (openObject(interp, type, Tcl_GetString(objv[3]), &obj) != 0) {
        return TCL_ERROR;
    }
    int id = nextHolder++;
    Holder &holder = holders[id] = Holder{obj, objc == 5, Tcl_GetString(objv[3])};
    if (holder.listening) {
        /* The listener comes as one more use, as a canvas item takes it. */
        eventInterp = interp;
        closeObject(obj);
        obj->acquire(obj, listener, &holder);
    }
    Tcl_SetObjResult(interp, Tcl_NewIntObj(id));
    return TCL_OK;
}

int testobjClose(Tcl_Interp *interp, int objc, Tcl_Obj *const objv[], bool usesOnly)
{
    int id = 0;
    if (objc != 3 || Tcl_GetIntFromObj(interp, objv[2], &id) != TCL_OK || holders.count(id) == 0) {
        Tcl_AppendResult(interp, " unknown holder", nullptr);
        return TCL_ERROR;
    }
    Holder &holder = holders[id];
    if (usesOnly) {
        Tcl_SetObjResult(interp, Tcl_NewIntObj(holder.obj->useCount));
        return TCL_OK;
    }
    int freed = holder.listening ? holder.obj->release(holder.obj, listener, &holder)
                                 : holder.obj->release(holder.obj, nullptr, nullptr);
    holders.erase(id);
    Tcl_SetObjResult(interp, Tcl_NewIntObj(freed));
    return TCL_OK;
}

int testobjInit(Tcl_Interp *interp)
{
    Tcl_CreateCommand(interp, "testobj.create", createCmd, const_cast<RamObjKind *>(&testKind), nullptr);
    Tcl_CreateCommand(interp, "testtable.create", createCmd, const_cast<RamObjKind *>(&testTableKind), nullptr);
    return TCL_OK;
}
