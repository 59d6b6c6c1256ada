/*
 * conchannel.cpp --
 *
 *	The "console" channel type: standard input, output and error channels
 *	whose data goes through the console interpreter. Its instance data is
 *	the channel number (2 stdin, 4 stdout, 8 stderr).
 */
#include "runtime/console.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace {

/* Bytes of the last console line that did not fit the channel's buffer;
 * they are handed out by the next input call instead of being lost. */
std::string pendingInput;

int channelNumber(ClientData instanceData)
{
    return static_cast<int>(reinterpret_cast<intptr_t>(instanceData));
}

int closeProc(ClientData, Tcl_Interp *)
{
    return 0;
}

void watchProc(ClientData, int) {}

int getHandleProc(ClientData, int, ClientData *)
{
    return TCL_ERROR;
}

const Tcl_ChannelType consoleChannelType = {
    "console", TCL_CHANNEL_VERSION_5, closeProc, consoleChannelInput, consoleChannelOutput,
    nullptr,  // seek
    nullptr,  // set option
    nullptr,  // get option
    watchProc, getHandleProc,
    nullptr,  // close2
    nullptr,  // block mode
    nullptr,  // flush
    nullptr,  // handler
    nullptr,  // wide seek
    nullptr,  // thread action
    nullptr,  // truncate
};

}  // namespace

/*
 * consoleChannelInput --
 *	Hands out one console line (at most bufferSize bytes at a time; the rest
 *	of a longer line follows on the next call). 0 means no more input.
 */
int consoleChannelInput(ClientData, char *buffer, int bufferSize, int *errorCode)
{
    *errorCode = 0;
    if (bufferSize <= 0) {
        return 0;
    }
    if (pendingInput.empty()) {
        Tcl_DString line;
        Tcl_DStringInit(&line);
        if (conReadLine(&line) > 0) {
            pendingInput.assign(Tcl_DStringValue(&line), Tcl_DStringLength(&line));
        }
        Tcl_DStringFree(&line);
    }
    std::size_t n = std::min(pendingInput.size(), static_cast<std::size_t>(bufferSize));
    std::memcpy(buffer, pendingInput.data(), n);
    pendingInput.erase(0, n);
    return static_cast<int>(n);
}

int consoleChannelOutput(ClientData instanceData, const char *bytes, int n, int *errorCode)
{
    *errorCode = 0;
    return consolePuts(channelNumber(instanceData), bytes, n);
}

int consoleStdoutOutput(ClientData, const char *bytes, int n, int *errorCode)
{
    *errorCode = 0;
    return consolePuts(TESK_CON_STDOUT, bytes, n);
}

int consoleStderrOutput(ClientData, const char *bytes, int n, int *errorCode)
{
    *errorCode = 0;
    return consolePuts(TESK_CON_STDERR, bytes, n);
}

/*
 * conCreateChannel --
 *	Makes a console channel named name for channel number 2 (readable), 4 or
 *	8 (writable), unbuffered, with lf translation and utf-8 encoding.
 */
Tcl_Channel conCreateChannel(const char *name, int channel)
{
    int mode = channel == 2 ? TCL_READABLE : TCL_WRITABLE;
    Tcl_Channel chan = Tcl_CreateChannel(&consoleChannelType, name,
                                         reinterpret_cast<ClientData>(static_cast<intptr_t>(channel)), mode);
    if (chan != nullptr) {
        Tcl_SetChannelOption(nullptr, chan, "-translation", "lf");
        Tcl_SetChannelOption(nullptr, chan, "-buffering", "none");
        Tcl_SetChannelOption(nullptr, chan, "-encoding", "utf-8");
    }
    return chan;
}
