/*
 * console.h --
 *
 *	Console routing: what the package and C modules print to standard
 *	output and error is evaluated in the console interpreter, either as
 *	"tkConsoleOutput stdout|stderr TEXT" (a Tk console) or as
 *	"puts -nonewline stdout|stderr TEXT"; what they read from standard input
 *	is one line fetched from the console ("tkConsoleInput" or "gets stdin").
 */
#ifndef TESK_RUNTIME_CONSOLE_H
#define TESK_RUNTIME_CONSOLE_H

#include <cstdarg>
#include <string>
#include "tesk.h"

/* While non-zero, console output is dropped (a console is being deleted). */
void consoleSuppressOutput(int delta);
int consoleOutputSuppressed();
/* When set, every console write is followed by handling pending events. */
void setConsoleUnblock(int on);
int getConsoleUnblock();

/* Appends one console line to line; answers the number of bytes appended
 * (0 when the console gives nothing). */
int conReadLine(Tcl_DString *line);
/* The first character of a console line in *c; false when there is none. */
bool conReadChar(int *c);
void consoleGotoXY(int column, int row);
void consoleClear();

/* printf into a growable text; false on a formatting error. */
bool formatV(std::string &out, const char *format, va_list args);
bool formatText(std::string &out, const char *format, ...) __attribute__((format(printf, 2, 3)));

/* The package printf: formats and writes to the console's standard output;
 * -1 on a formatting error. */
int conPrintf(const char *format, ...) __attribute__((format(printf, 1, 2)));

/* The command setConStdIO: makes the calling interpreter the console one. */
int conSetStdIOCmd(ClientData unused, Tcl_Interp *interp, int argc, const char **argv);

/* Console channel type (instance data: 2 stdin, 4 stdout, 8 stderr). */
Tcl_Channel conCreateChannel(const char *name, int channel);
int consoleChannelInput(ClientData instanceData, char *buffer, int bufferSize, int *errorCode);
int consoleChannelOutput(ClientData instanceData, const char *bytes, int n, int *errorCode);
int consoleStdoutOutput(ClientData instanceData, const char *bytes, int n, int *errorCode);
int consoleStderrOutput(ClientData instanceData, const char *bytes, int n, int *errorCode);

#endif /* TESK_RUNTIME_CONSOLE_H */
