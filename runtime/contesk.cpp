/*
 * contesk.cpp --
 *
 *	The console variant of the tesk command: creating, attaching, listing,
 *	evaluating in, closing and deleting console slots, and the console's
 *	meter, pause/abort, unblock and debug settings. A word that is none of
 *	its subcommands is evaluated as a command in the calling interpreter.
 */
#include "runtime/conslots.h"

#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>
#include "runtime/cnumber.h"
#include "runtime/console.h"
#include "runtime/modules.h"
#include "runtime/startup.h"
#include "runtime/subcmd.h"
#include "runtime/util.h"

namespace {

enum ConWord {
    kCreate,
    kClose,
    kDelete,
    kDebug,
    kEval,
    kAttach,
    kList,
    kIdentify,
    kMeter,
    kGimg,
    kThread,
    kUnblock,
    kStdio,
    kStatus,
    kTflag,
    kVersion
};

struct ConSubcommand {
    const char *name;
    int minLength;
    ConWord word;
};

constexpr ConSubcommand kConSubcommands[] = {
    {"create", 3, kCreate}, {"close", 3, kClose},   {"delete", 3, kDelete}, {"debug", 3, kDebug},
    {"eval", 3, kEval},     {"attach", 3, kAttach}, {"list", 3, kList},     {"identify", 2, kIdentify},
    {"meter", 3, kMeter},   {"gimg", 3, kGimg},     {"thread", 3, kThread}, {"unblock", 4, kUnblock},
    {"stdio", 3, kStdio},   {"status", 3, kStatus}, {"tflag", 3, kTflag},   {"version", 3, kVersion},
};

/* A word read as an integer; a word that is no number reads as 0. */
int wordNumber(const char *word)
{
    return static_cast<int>(std::strtol(word, nullptr, 10));
}

bool isAll(const char *word)
{
    return strCaseCmp(word, "all") == 0;
}

int usage(Tcl_Interp *interp, int code, const char *w0, const char *w1, const char *rest)
{
    Tcl_ResetResult(interp);
    Tcl_AppendResult(interp, "Usage: ", w0, w1 != nullptr ? " " : "", w1 != nullptr ? w1 : "", rest, nullptr);
    return code;
}

/* Prints one line per slot: handles of both interpreters and whether they
 * are deleted. */
void listSlots()
{
    for (int i = 0; i < kConsoleSlots; i++) {
        Tcl_Interp *app = conSlots[i].appInterp;
        Tcl_Interp *console = conSlots[i].tkInterp;
        auto handle = [](Tcl_Interp *interp) {
            return static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(interp));
        };
        conPrintf("id:%2d app:%08llu 0x%08llx deleted:%d con:%08llu 0x%08llx deleted:%d\n", i, handle(app), handle(app),
                  app != nullptr && Tcl_InterpDeleted(app), handle(console), handle(console),
                  console != nullptr && Tcl_InterpDeleted(console));
    }
}

int closeSlots(Tcl_Interp *interp, int argc, const char **argv)
{
    if (argc < 3) {
        return usage(interp, TCL_OK, argv[0], argv[1], " id0 id1 ...");
    }
    for (int i = 2; i < argc; i++) {
        if (isAll(argv[i])) {
            conScheduleCloseAll();
            break;
        }
        int slot = std::strcmp(argv[i], ".") == 0 ? conSlotOf(interp) : wordNumber(argv[i]);
        conCloseConsoleWindow(slot);
    }
    Tcl_ResetResult(interp);
    return TCL_OK;
}

int deleteSlots(Tcl_Interp *interp, int argc, const char **argv)
{
    if (argc < 3) {
        return usage(interp, TCL_OK, argv[0], argv[1], " id0 id1 ...");
    }
    for (int i = 2; i < argc; i++) {
        if (std::strcmp(argv[i], ".") == 0) {
            int own = conSlotOf(interp);
            if (own == 0) {
                conScheduleShutdown();
                break;
            }
            conDeleteSlot(own);
            continue;
        }
        int slot = wordNumber(argv[i]);
        if (isAll(argv[i]) || slot == 0) {
            conScheduleShutdown();
            break;
        }
        conDeleteSlot(slot);
    }
    Tcl_ResetResult(interp);
    return TCL_OK;
}

int evalInSlot(Tcl_Interp *interp, int argc, const char **argv)
{
    if (argc != 4) {
        Tcl_ResetResult(interp);
        Tcl_AppendResult(interp, "Usage: ", argv[0], " eval id scripts", nullptr);
        return TCL_OK;
    }
    int slot = -1;
    if (Tcl_GetInt(nullptr, argv[2], &slot) != TCL_OK || slot < 0 || slot >= kConsoleSlots ||
        conSlots[slot].appInterp == nullptr || Tcl_InterpDeleted(conSlots[slot].appInterp)) {
        Tcl_SetResult(interp, const_cast<char *>("Invalid interp ID.\n"), TCL_STATIC);
        return TCL_ERROR;
    }
    Tcl_Interp *app = conSlots[slot].appInterp;
    Tcl_Preserve(app);
    int code = Tcl_EvalEx(app, argv[3], -1, TCL_EVAL_GLOBAL);
    Tcl_SetObjResult(interp, Tcl_DuplicateObj(Tcl_GetObjResult(app)));
    Tcl_Release(app);
    return code;
}

int createSlot(Tcl_Interp *interp, int argc, const char **argv)
{
    if (argc == 2) {
        return conInit(interp, 1) == 0 ? TCL_OK : TCL_ERROR;
    }
    if (argc == 3) {
        int code = conCreateKind(interp, argv[2]);
        if (code >= 0) {
            return code;
        }
        return usage(interp, TCL_ERROR, argv[0], nullptr, " create [tclsh|wish|tesksh]");
    }
    return usage(interp, TCL_OK, argv[0], nullptr, " create [tclsh|wish|tesksh]");
}

/* Sets an integer setting from an optional word, or reports it. */
int intSetting(Tcl_Interp *interp, int argc, const char **argv, int current, int (*set)(int))
{
    if (argc == 2) {
        Tcl_SetObjResult(interp, Tcl_NewIntObj(current));
        return TCL_OK;
    }
    set(wordNumber(argv[2]));
    Tcl_ResetResult(interp);
    return TCL_OK;
}

int setUnblock(int value)
{
    setConsoleUnblock(value);
    return value;
}

}  // namespace

int teskConsoleCmd(ClientData, Tcl_Interp *interp, int argc, const char **argv)
{
    if (argc < 2) {
        Tcl_SetResult(interp,
                      const_cast<char *>("Commands: attach create close debug delete eval gimg identify list "
                                         "meter status unblock version"),
                      TCL_STATIC);
        return TCL_OK;
    }
    int row = findSubcommand(kConSubcommands, argv[1]);
    if (row < 0) {
        if (argv[1][0] == 'd' && std::strlen(argv[1]) >= 3) {
            Tcl_ResetResult(interp);
            return TCL_OK;
        }
        /* An unknown word is a command of its own, called with the words
           as they are: nothing in them is substituted again. */
        std::vector<Tcl_Obj *> words;
        for (int i = 1; i < argc; i++) {
            words.push_back(Tcl_NewStringObj(argv[i], -1));
            Tcl_IncrRefCount(words.back());
        }
        int code = Tcl_EvalObjv(interp, argc - 1, words.data(), 0);
        for (Tcl_Obj *word : words) {
            Tcl_DecrRefCount(word);
        }
        return code;
    }

    /* Every interpreter of the table lives until the call is done. */
    Tcl_Interp *held[2 * kConsoleSlots];
    int nHeld = 0;
    for (const ConsoleSlot &slot : conSlots) {
        for (Tcl_Interp *each : {slot.appInterp, slot.tkInterp}) {
            if (each != nullptr) {
                Tcl_Preserve(each);
                held[nHeld++] = each;
            }
        }
    }

    int code = TCL_OK;
    Tcl_ResetResult(interp);
    switch (kConSubcommands[row].word) {
    case kCreate: code = createSlot(interp, argc, argv); break;
    case kClose: code = closeSlots(interp, argc, argv); break;
    case kDelete: code = deleteSlots(interp, argc, argv); break;
    case kDebug:
        if (argc == 2) {
            Tcl_SetObjResult(interp, Tcl_NewIntObj(getDebugFlag()));
        } else if (argc == 3) {
            setDebugFlag(wordNumber(argv[2]) != 0);
        } else {
            Tcl_AppendResult(interp, argv[0], " ", argv[1], " debugmode", nullptr);
            code = TCL_ERROR;
        }
        break;
    case kEval: code = evalInSlot(interp, argc, argv); break;
    case kAttach:
        code = argc == 2 ? (conInit(interp, 0) == 0 ? TCL_OK : TCL_ERROR)
                         : usage(interp, TCL_OK, argv[0], nullptr, " attach");
        break;
    case kList:
        if (argc == 2) {
            listSlots();
        } else {
            code = usage(interp, TCL_OK, argv[0], argv[1], "");
        }
        break;
    case kIdentify:
        if (argc == 2) {
            Tcl_SetObjResult(interp, Tcl_NewIntObj(conSlotOf(interp)));
        } else {
            code = usage(interp, TCL_OK, argv[0], argv[1], "");
        }
        break;
    case kMeter:
        if (argc == 2) {
            Tcl_SetResult(interp, const_cast<char *>(fmt("%f", static_cast<double>(meterInc()))), TCL_VOLATILE);
        } else if (argc == 3) {
            double step = 0;
            if (cGetDouble(interp, argv[2], &step) != TCL_OK) {
                code = TCL_ERROR;
            } else {
                meterSetStep(step);
            }
        }
        break;
    case kGimg: teskRuntimeLink.imageNames(interp); break;
    case kThread: code = conToggleThread(interp); break;
    case kUnblock: code = intSetting(interp, argc, argv, getConsoleUnblock(), setUnblock); break;
    case kStdio: conHookStdChannels(interp); break;
    case kStatus: code = intSetting(interp, argc, argv, meterGetState(), meterSetState); break;
    case kTflag: Tcl_SetObjResult(interp, Tcl_ObjPrintf("ThreadFlag: %d\n", conThreadFlag())); break;
    case kVersion: Tcl_SetResult(interp, const_cast<char *>(getVersionString()), TCL_VOLATILE); break;
    }

    for (int i = 0; i < nHeld; i++) {
        Tcl_Release(held[i]);
    }
    return code;
}
