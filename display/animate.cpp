/*
 * animate.cpp --
 *
 *	Volumes of a gimg image: the seek and animate words, the timer that
 *	steps through the frames, and the refresh of colours after a frame
 *	brought a palette of its own.
 */
#include "display/gimg.h"

#include <algorithm>
#include <cstring>
#include "imagestore/rowcache.h"
#include "tesk.h"
#include "tesk_stdio.h"

namespace {

void gimgAnimateTimer(ClientData clientData);

/* The stopped state of animInterval, and the state that takes each frame's
 * own delay. */
constexpr int kStopped = -1;
constexpr int kFrameDelays = -2;

/*
 * showFrame --
 *	The shown image moved to another volume: with the image's palette
 *	as last taken in the view is only rendered again, else the gimg takes
 *	the frame's palette (under the same rule as a newly shown image) and
 *	transparent index and rebuilds its colours. Then every
 *	pending event is processed, so the frame reaches the screen; the
 *	caller keeps the master preserved, as those events may delete the
 *	image or change what it shows.
 */
void showFrame(GimgMaster *master)
{
    const ImageDesc &shown = master->image->desc;
    if (!gimgImagePaletteChanged(master)) {
        gimgOnConfigUpdate(master);
    } else {
        master->desc.transparent = shown.transparent;
        master->transparentIndex = shown.transparent;
        gimgDerivePalette(master, 1);
        gimgRefreshColors(master);
    }
    tclUpdate(nullptr, 0);
}

/* Whether an animation step may go on: the image still has its command
 * and Tk master, shows a RAM image, and the animation was not stopped. */
bool stepAllowed(const GimgMaster *master)
{
    return master->imageCmd != nullptr && master->tkMaster != nullptr && master->image != nullptr &&
           master->animInterval != kStopped;
}

/* Arms the next step after delay milliseconds. A delay below 1 still goes
 * through a 1 ms timer: an idle handler that re-arms itself would keep
 * `update` from ever returning. */
void armStep(GimgMaster *master, int delay)
{
    master->animTimer = Tcl_CreateTimerHandler(std::max(delay, 1), gimgAnimateTimer, master);
    if (master->animTimer == nullptr) {
        tesk_fprintf(stderr, "Error in creating gimg animation timer handler.\n");
        master->animInterval = kStopped;
    }
}

/* Starts a stopped animation: its first step runs from the event loop once
 * the command has returned. Every pending step is a timer, so deleting the
 * image (which deletes animTimer) leaves nothing to fire. */
void startAnimation(GimgMaster *master)
{
    if (master->animTimer == nullptr) {
        master->animTimer = Tcl_CreateTimerHandler(0, gimgAnimateTimer, master);
    }
}

/*
 * gimgAnimateTimer --
 *	One step of the animation: shows the current volume, selects the next
 *	one (back to the first at the end of a pass while passes remain) and
 *	arms the following step after the interval or the frame's own delay.
 *	The master stays preserved throughout, and everything is checked
 *	again after the events that showing the frame processed.
 */
void gimgAnimateTimer(ClientData clientData)
{
    auto *master = static_cast<GimgMaster *>(clientData);
    Tcl_Preserve(master);
    master->animTimer = nullptr;
    if (stepAllowed(master)) {
        showFrame(master);
    }
    /* a step armed meanwhile (the animation stopped and started again by
     * an event) is the one that goes on */
    if (!stepAllowed(master) || master->animTimer != nullptr) {
        if (master->animTimer == nullptr) {
            gimgStopAnimation(master);
        }
        Tcl_Release(master);
        return;
    }
    RamImage *image = master->image;
    int delay = master->animInterval >= 1 ? master->animInterval : roundToInt(image->frameTime);
    int next = ramImageSeekVolume(image, 0);
    bool goOn = next > 0;
    if (next == -2) {
        if (master->animRepeat > 0) {
            master->animRepeat--;
        }
        if (image->curVolume != 1 && master->animRepeat != 0) {
            next = ramImageSeekVolume(image, 1);
            goOn = next > 0;
        }
    }
    if (next == -1 || next == 0) {
        tesk_fprintf(stderr, "Error in getRAMImageVolume\n");
    }
    if (goOn) {
        armStep(master, delay);
    } else {
        gimgStopAnimation(master);
    }
    Tcl_Release(master);
}

/* Sets the result to an integer word. */
int intResult(Tcl_Interp *interp, int value)
{
    Tcl_SetObjResult(interp, Tcl_NewIntObj(value));
    return TCL_OK;
}

}  // namespace

/*
 * gimgSeekCmd --
 *	"seek ?volume?": without a volume the current one (1 before any was
 *	selected); with one, selects it (0: the next, wrapping to the first
 *	after the last) and shows it. The answer is the current volume, empty
 *	when it stayed 1 or the image has a single volume.
 */
int gimgSeekCmd(GimgMaster *master, Tcl_Interp *interp, int argc, const char **argv)
{
    RamImage *image = master->image;
    if (image == nullptr) {
        Tcl_SetResult(interp, const_cast<char *>("Image has not been defined.\n"), TCL_STATIC);
        return TCL_ERROR;
    }
    if (argc >= 4) {
        Tcl_SetObjResult(interp, Tcl_ObjPrintf("Usage: %s seek volumeID\n", argv[0]));
        return TCL_ERROR;
    }
    int before = image->curVolume;
    if (argc == 2) {
        return intResult(interp, before == 0 ? 1 : before);
    }
    int volume = 0;
    if (Tcl_GetInt(interp, argv[2], &volume) != TCL_OK) {
        return TCL_ERROR;
    }
    if (volume != before || before == 0) {
        if (image->volumeCount == 1) {
            return TCL_OK;
        }
        int result = ramImageSeekVolume(image, volume);
        if (result == -2 && volume == 0) {
            result = ramImageSeekVolume(image, 1);
        }
        if (result == -1 || result == 0) {
            Tcl_AppendResult(interp, "Error in seek image: ", image->desc.file, "\n", nullptr);
            return TCL_ERROR;
        }
    }
    int now = image->curVolume;
    if (now == before) {
        return now == 1 ? TCL_OK : intResult(interp, now);
    }
    showFrame(master);  // the instance command keeps the master preserved
    return intResult(interp, now);
}

/*
 * gimgAnimateCmd --
 *	"animate ?milliSeconds|default? ?repeat?": a fixed interval (negative:
 *	stop) or each frame's own delay, and the passes still to run (0: to
 *	the end of this pass; negative: without end). A stopped animation
 *	starts from the event loop.
 */
int gimgAnimateCmd(GimgMaster *master, Tcl_Interp *interp, int argc, const char **argv)
{
    RamImage *image = master->image;
    if (image == nullptr) {
        Tcl_SetResult(interp, const_cast<char *>("Image has not been defined.\n"), TCL_STATIC);
        return TCL_ERROR;
    }
    if (argc >= 5) {
        Tcl_SetObjResult(interp, Tcl_ObjPrintf("Usage: %s animate [milliSeconds|default] [repeat]\n", argv[0]));
        return TCL_ERROR;
    }
    bool frameDelays = argc < 3 || std::strcmp(argv[2], "default") == 0;
    int interval = kFrameDelays, repeat = master->animRepeat;
    if ((!frameDelays && Tcl_GetInt(interp, argv[2], &interval) != TCL_OK) ||
        (argc == 4 && Tcl_GetInt(interp, argv[3], &repeat) != TCL_OK)) {
        return TCL_ERROR;
    }
    int previousRepeat = master->animRepeat;
    master->animRepeat = repeat;
    if (previousRepeat == 0 && image->volumeCount > 0 && image->curVolume == image->volumeCount) {
        ramImageSeekVolume(image, 1);
    }
    bool stopped = master->animInterval == kStopped;
    if (frameDelays) {
        if (argc < 4 && previousRepeat == 0) {
            master->animRepeat = 1;
        }
        master->animInterval = kFrameDelays;
        if (stopped) {
            startAnimation(master);
        }
        return TCL_OK;
    }
    interval = std::max(interval, kStopped);
    if (argc == 3 && previousRepeat == 0) {
        master->animRepeat = 1;
    }
    master->animInterval = interval;
    if (stopped && interval >= 0) {
        startAnimation(master);
        return TCL_OK;
    }
    if (interval == kStopped) {
        gimgStopAnimation(master);
    }
    tclUpdate(interp, 0);
    return TCL_OK;
}

int gimgStopAnimation(GimgMaster *master)
{
    if (master->animTimer != nullptr) {
        Tcl_DeleteTimerHandler(master->animTimer);
        master->animTimer = nullptr;
    }
    int running = master->animInterval != kStopped;
    master->animInterval = kStopped;
    return running;
}

/*
 * gimgRefreshColors --
 *	After a new own palette: the palette mode and the colour cells again
 *	(cells only on screens of 8 bits or less), the enhancement tables,
 *	and a redraw.
 */
void gimgRefreshColors(GimgMaster *master)
{
    if (master->tkMaster == nullptr) {
        return;
    }
    gimgApplyPaletteMode(master);
    if (master->image != nullptr) {
        gimgEnhance(master, master->opt.func, static_cast<float>(master->opt.std));
    }
    gimgUpdateCmd(master, master->interp, 0, nullptr);
}
