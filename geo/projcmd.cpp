/*
 * projcmd.cpp --
 *
 *	The projection command family: the registration table of its eleven
 *	commands, the run frame (arming, the exit trap, the guard against
 *	nested runs), proj.exitCode, proj.module and proj.info, the program
 *	commands with their table of program entries, and emess.
 */
#include "geo/projcmd.h"

#include <cerrno>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <string>

#include "geo/progframe.h"
#include "geo/projlib.h"
#include "runtime/subcmd.h"
#include "tesk.h"
#include "tesk_stdio.h"

Tcl_Interp *projInterp = nullptr;
int projExitCode = 0;
std::string projModuleName;
ProjRunState projRunState{"", "", 0};

namespace {

bool running = false;      /* a family command is inside projRun */
std::string runningModule; /* its module name */

/* ---- the program commands ---- */

/* One in-process program: its entry runs one run with the command's words
 * and answers 0 when it returned normally. */
struct ProjProgram {
    const char *name;
    int (*main)(int argc, const char **argv);
};

const ProjProgram kProjProgram = {"proj", projMain};
const ProjProgram kNad2nadProgram = {"nad2nad", nad2nadMain};
const ProjProgram kGeodProgram = {"geod", geodMain};
const ProjProgram kCs2csProgram = {"cs2cs", cs2csMain};

int runProgram(const ProjProgram &program, Tcl_Interp *interp, int argc, const char **argv)
{
    return projRun(interp, program.name, [&] {
        projRunStart(argv[0]);
        Tcl_ResetResult(interp);
        try {
            return program.main(argc, argv) == 0 ? TCL_OK : TCL_ERROR;
        } catch (const ProjExit &) {
            /* a command run from the console during the run may have left
             * its result: the programs answer with an empty one */
            Tcl_ResetResult(interp);
            throw;
        }
    });
}

int projCmd(ClientData, Tcl_Interp *interp, int argc, const char **argv)
{
    return runProgram(kProjProgram, interp, argc, argv);
}

int nad2nadCmd(ClientData, Tcl_Interp *interp, int argc, const char **argv)
{
    return runProgram(kNad2nadProgram, interp, argc, argv);
}

int geodCmd(ClientData, Tcl_Interp *interp, int argc, const char **argv)
{
    return runProgram(kGeodProgram, interp, argc, argv);
}

int cs2csCmd(ClientData, Tcl_Interp *interp, int argc, const char **argv)
{
    return runProgram(kCs2csProgram, interp, argc, argv);
}

/* ---- proj.exitCode, proj.module ---- */

int projExitCodeCmd(ClientData, Tcl_Interp *interp, int, const char **)
{
    Tcl_SetObjResult(interp, Tcl_NewIntObj(projExitCode));
    return TCL_OK;
}

int projModuleCmd(ClientData, Tcl_Interp *interp, int, const char **)
{
    Tcl_SetObjResult(interp, Tcl_NewStringObj(projModuleName.c_str(), -1));
    return TCL_OK;
}

/* ---- proj.info ---- */

/* One line of a description from *text, tab characters dropped; the
 * newline that ends it is consumed. */
std::string descrLine(const char *&text)
{
    std::string part;
    for (; *text != '\0' && *text != '\n'; text++) {
        if (*text != '\t') {
            part += *text;
        }
    }
    if (*text == '\n') {
        text++;
    }
    return part;
}

void skipBlanks(const char *&text)
{
    while (*text == '\t' || *text == ' ') {
        text++;
    }
}

/* " {part}" when the part holds a blank, " part" otherwise (an empty part
 * is an empty word); a part that braces cannot carry is quoted as Tcl
 * quotes a list element. */
void appendPart(std::string &element, const std::string &part)
{
    element += ' ';
    if (part.find_first_of("{}\\\"") != std::string::npos) {
        int flags = 0;
        int length = Tcl_ScanElement(part.c_str(), &flags);
        std::string quoted(static_cast<std::size_t>(length) + 1, '\0');
        quoted.resize(static_cast<std::size_t>(Tcl_ConvertElement(part.c_str(), &quoted[0], flags)));
        element += quoted;
    } else if (part.find(' ') != std::string::npos) {
        element += '{' + part + '}';
    } else {
        element += part;
    }
}

/* The element of one projection: its id and its description in three
 * parts (the first line, the second line, the rest with newlines dropped
 * and tabs as blanks). */
std::string projDescrElement(const char *id, const char *descr)
{
    const char *text = descr;
    std::string parts[3];
    parts[0] = descrLine(text);
    skipBlanks(text);
    parts[1] = descrLine(text);
    skipBlanks(text);
    for (; *text != '\0'; text++) {
        if (*text != '\n') {
            parts[2] += *text == '\t' ? ' ' : *text;
        }
    }
    std::string element = id;
    for (const std::string &part : parts) {
        appendPart(element, part);
    }
    return element;
}

std::string ellpsElement(const EllpsListEntry *e)
{
    std::string element = ellpsListId(e);
    element += ' ';
    element += ellpsListMajor(e);
    element += ' ';
    element += ellpsListEll(e);
    element += " {";
    element += ellpsListName(e);
    element += '}';
    return element;
}

struct InfoOption {
    const char *name;
    int minLength;
};

enum { INFO_ELLPS, INFO_ELLPSLIST, INFO_ELLPSIDS, INFO_PROJ, INFO_PROJLIST, INFO_PROJIDS };

const InfoOption kInfoOptions[] = {
    {"ellps", 5}, {"ellpslist", 5}, {"ellpsids", 5}, {"proj", 4}, {"projlist", 4}, {"projids", 4},
};

int infoUsage(Tcl_Interp *interp, const char *command)
{
    Tcl_AppendResult(interp, "Usage: ", command, " option (ellps ellpslist ellpsids proj projlist projids)", nullptr);
    return TCL_ERROR;
}

int projInfoCmd(ClientData, Tcl_Interp *interp, int argc, const char **argv)
{
    int option = argc < 2 ? -1 : findSubcommand(kInfoOptions, argv[1]);
    if (option < 0) {
        return infoUsage(interp, argv[0]);
    }
    switch (option) {
    case INFO_ELLPS:
    case INFO_PROJ:
        if (argc != 3) {
            Tcl_AppendResult(interp, "Usage: ", argv[0], " ", argv[1], option == INFO_ELLPS ? " ellpsid" : " projid",
                             nullptr);
            return TCL_ERROR;
        }
        if (option == INFO_ELLPS) {
            const EllpsListEntry *e = ellpsListEntry(ellpsListIndex(argv[2]));
            if (e != nullptr && ellpsListId(e) != nullptr) {
                Tcl_SetObjResult(interp, Tcl_NewStringObj(ellpsElement(e).c_str(), -1));
            }
        } else {
            const ProjListEntry *e = projListEntry(projListIndex(argv[2]));
            if (e != nullptr && projListDescr(e) != nullptr) {
                Tcl_SetObjResult(interp,
                                 Tcl_NewStringObj(projDescrElement(projListId(e), projListDescr(e)).c_str(), -1));
            }
        }
        return TCL_OK;
    default: break;
    }
    if (argc != 2) {
        return infoUsage(interp, argv[0]);
    }
    Tcl_Obj *list = Tcl_NewListObj(0, nullptr);
    if (option == INFO_ELLPSLIST || option == INFO_ELLPSIDS) {
        for (const EllpsListEntry *e = ellpsListFirst(); e != nullptr; e = ellpsListNext(e)) {
            if (ellpsListId(e) != nullptr) {
                std::string text = option == INFO_ELLPSLIST ? ellpsElement(e) : ellpsListId(e);
                Tcl_ListObjAppendElement(nullptr, list, Tcl_NewStringObj(text.c_str(), -1));
            }
        }
    } else {
        for (const ProjListEntry *e = projListFirst(); e != nullptr; e = projListNext(e)) {
            if (projListId(e) != nullptr && projListDescr(e) != nullptr) {
                std::string text =
                    option == INFO_PROJLIST ? projDescrElement(projListId(e), projListDescr(e)) : projListId(e);
                Tcl_ListObjAppendElement(nullptr, list, Tcl_NewStringObj(text.c_str(), -1));
            }
        }
    }
    Tcl_SetObjResult(interp, list);
    return TCL_OK;
}

/* ---- registration ---- */

struct FamilyCommand {
    const char *name;
    Tcl_CmdProc *proc;
};

const FamilyCommand kFamily[] = {
    {"proj", projCmd},
    {"proj.create", projCreateCmd},
    {"proj.exitCode", projExitCodeCmd},
    {"proj.module", projModuleCmd},
    {"proj.info", projInfoCmd},
    {"nad2nad", nad2nadCmd},
    {"nad2nad.create", nad2nadCreateCmd},
    {"geod", geodCmd},
    {"geod.create", geodCreateCmd},
    {"cs2cs", cs2csCmd},
    {"cs2cs.create", cs2csCreateCmd},
};

void projExitHandler(ClientData) {}

/* projInterp must not outlive its interpreter. */
void forgetInterp(ClientData, Tcl_Interp *interp)
{
    if (projInterp == interp) {
        projInterp = nullptr;
    }
}

}  // namespace

int projCmdInit(Tcl_Interp *interp)
{
    for (const FamilyCommand &command : kFamily) {
        if (Tcl_CreateCommand(interp, command.name, command.proc, nullptr, nullptr) == nullptr) {
            tesk_fprintf(stderr, "Fail to create command:%s\n", command.name);
            Tcl_AppendResult(interp, "Fail to create command:", command.name, nullptr);
            return 1;
        }
    }
    Tcl_CallWhenDeleted(interp, forgetInterp, nullptr);
    static bool exitHandlerSet = false;
    if (!exitHandlerSet) {
        Tcl_CreateExitHandler(projExitHandler, nullptr);
        exitHandlerSet = true;
    }
    return 0;
}

/* ---- the frame ---- */

int projRunBegin(Tcl_Interp *interp, const char *moduleName)
{
    if (running) {
        Tcl_ResetResult(interp);
        Tcl_AppendResult(interp, "cannot run ", moduleName, " while ", runningModule.c_str(),
                         " is running: projection runs do not nest", nullptr);
        return TCL_ERROR;
    }
    running = true;
    runningModule = moduleName;
    projInterp = interp;
    projExitCode = 0;
    projModuleName = moduleName;
    return TCL_OK;
}

void projRunEnd()
{
    running = false;
    runningModule.clear();
}

int projRunExited(Tcl_Interp *interp, int code)
{
    projExitCode = code == 0 ? 1 : code;
    Tcl_SetErrorCode(interp, "PROJEXIT", std::to_string(code).c_str(), nullptr);
    return TCL_ERROR;
}

int projRunFailed(Tcl_Interp *interp, const char *what)
{
    Tcl_ResetResult(interp);
    Tcl_AppendResult(interp, "Error in ", runningModule.c_str(), ": ", what, nullptr);
    return TCL_ERROR;
}

void projToolExit(int code)
{
    if (!running) {
        tesk_fprintf(stderr, "Error in projToolExit: exit %d outside a projection run\n", code);
        std::abort();
    }
    throw ProjExit{code};
}

/* ---- run state and emess ---- */

void projRunStart(const char *word0)
{
    const char *name = word0 != nullptr ? word0 : "";
    const char *slash = std::strrchr(name, '/');
    projRunState.programName = slash != nullptr ? slash + 1 : name;
    projRunState.fileName.clear();
    projRunState.lineNumber = 0;
}

void emess(int code, const char *format, ...)
{
    int systemError = errno;
    const ProjRunState &s = projRunState;
    if (format != nullptr) {
        tesk_fprintf(stderr, "%s\n<%s>: ", projReleaseText(), s.programName.c_str());
    }
    if (!s.fileName.empty()) {
        tesk_fprintf(stderr, "while processing file: %s", s.fileName.c_str());
        if (s.lineNumber > 0) {
            tesk_fprintf(stderr, ", line %d\n", s.lineNumber);
        } else {
            tesk_fputc('\n', stderr);
        }
    } else {
        tesk_fputc('\n', stderr);
    }
    if (code == 2 || code == -2) {
        tesk_fprintf(stderr, "Sys errno: %d: %s\n", systemError, "<system mess. texts unavail.>");
    }
    if (format != nullptr) {
        va_list args;
        va_start(args, format);
        tesk_vfprintf(stderr, format, args);
        va_end(args);
    }
    if (code > 0) {
        tesk_fputs("\nprogram abnormally terminated\n", stderr);
        projToolExit(code);
    }
    tesk_fputc('\n', stderr);
}
