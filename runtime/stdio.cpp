/*
 * stdio.cpp --
 *
 *	Console-routed stdio under the package's names (tesk_stdio.h maps the C
 *	library's names onto them for C modules). Standard output and error go
 *	to the console; standard input reads console lines; every other stream
 *	is handed to the C library.
 */
#include "tesk_stdio.h"

#include <algorithm>
#include <cstring>
#include <string>
#include "runtime/console.h"

namespace {

/* The console channel of a stream: 4 for stdout, 8 for stderr, else 0. */
int consoleChannelOf(FILE *stream)
{
    if (stream == stdout) {
        return TESK_CON_STDOUT;
    }
    if (stream == stderr) {
        return TESK_CON_STDERR;
    }
    return 0;
}

bool readsConsole(FILE *stream)
{
    return stream == stdin || (stream != nullptr && fileno(stream) == 0);
}

/* Writes n bytes to a stream; answers the number written. */
int writeStream(FILE *stream, const char *bytes, std::size_t n)
{
    if (int channel = consoleChannelOf(stream)) {
        return consolePuts(channel, bytes, static_cast<int>(n));
    }
    return static_cast<int>(std::fwrite(bytes, 1, n, stream));
}

/* One console line, or false when the console gives none. */
bool readConsoleLine(std::string &line)
{
    int length = 0;
    const char *text = conGets(&length);
    if (text == nullptr) {
        return false;
    }
    line.assign(text, static_cast<std::size_t>(length));
    return true;
}

int scanLine(const char *format, va_list args)
{
    std::string line;
    if (!readConsoleLine(line)) {
        return 0;
    }
    return std::vsscanf(line.c_str(), format, args);
}

}  // namespace

extern "C" {

int tesk_vfprintf(FILE *stream, const char *format, va_list args)
{
    std::string text;
    if (!formatV(text, format, args)) {
        return -1;
    }
    return writeStream(stream, text.data(), text.size());
}

int tesk_fprintf(FILE *stream, const char *format, ...)
{
    va_list args;
    va_start(args, format);
    int n = tesk_vfprintf(stream, format, args);
    va_end(args);
    return n;
}

int tesk_printf(const char *format, ...)
{
    va_list args;
    va_start(args, format);
    int n = tesk_vfprintf(stdout, format, args);
    va_end(args);
    return n;
}

int tesk_fputs(const char *text, FILE *stream)
{
    std::size_t n = std::strlen(text);
    return writeStream(stream, text, n) == static_cast<int>(n) ? static_cast<int>(n) : -1;
}

int tesk_fputc(int c, FILE *stream)
{
    char byte = static_cast<char>(c);
    return writeStream(stream, &byte, 1) == 1 ? static_cast<unsigned char>(byte) : -1;
}

int tesk_putchar(int c)
{
    return tesk_fputc(c, stdout);
}

int tesk_puts(const char *text)
{
    int n = consolePuts(TESK_CON_STDOUT, text, static_cast<int>(std::strlen(text)));
    consolePuts(TESK_CON_STDOUT, "\n", 1);
    return n;
}

int tesk_scanf(const char *format, ...)
{
    va_list args;
    va_start(args, format);
    int n = scanLine(format, args);
    va_end(args);
    return n;
}

int tesk_fscanf(FILE *stream, const char *format, ...)
{
    va_list args;
    va_start(args, format);
    int n = readsConsole(stream) ? scanLine(format, args) : std::vfscanf(stream, format, args);
    va_end(args);
    return n;
}

char *tesk_gets(char *buffer, int size)
{
    std::string line;
    if (buffer == nullptr || size < 1 || !readConsoleLine(line)) {
        return nullptr;
    }
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) {
        line.pop_back();
    }
    std::size_t n = std::min(line.size(), static_cast<std::size_t>(size - 1));
    std::memcpy(buffer, line.data(), n);
    buffer[n] = '\0';
    return buffer;
}

int tesk_getch(void)
{
    std::string line;
    return readConsoleLine(line) ? static_cast<unsigned char>(line[0]) : 0;
}

int tesk_fgetc(FILE *stream)
{
    if (readsConsole(stream)) {
        int c = 0;
        return conReadChar(&c) ? c : -1;
    }
    return std::fgetc(stream);
}

char *tesk_fgets(char *buffer, int n, FILE *stream)
{
    if (!readsConsole(stream)) {
        return std::fgets(buffer, n, stream);
    }
    std::string line;
    if (buffer == nullptr || n < 1 || !readConsoleLine(line)) {
        return nullptr;
    }
    std::size_t count = std::min(line.size(), static_cast<std::size_t>(n - 1));
    std::memcpy(buffer, line.data(), count);
    buffer[count] = '\0';
    return buffer;
}

}  // extern "C"
