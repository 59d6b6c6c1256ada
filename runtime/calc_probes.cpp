/*
 * calc_probes.cpp --
 *
 *	The diagnostic subcommands of calc that probe the system and the C
 *	library: memory status and allocation probes (memory, malloc, realloc,
 *	galloc, gfree, memid), the file handle limit (handles), the clock
 *	(ftime, stime), stdio streams (fgets, fscanf, test), time-stamp files
 *	(loadtime), free disk space (freeDisk) and the panic message (panic).
 */
#include "runtime/calc_parts.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <stdio_ext.h>
#include <sys/resource.h>
#include <sys/select.h>
#include <sys/stat.h>
#include <sys/sysinfo.h>
#include "runtime/console.h"
#include "runtime/util.h"
#include "tesk_stdio.h"

namespace {

/* ---- memory ---- */

/* The memory status in bytes (memoryload in percent), as "calc memory"
 * answers it. */
struct MemoryStatus {
    unsigned long long load;           // percent of physical memory in use, 0..100
    unsigned long long totalPhys;      // physical memory
    unsigned long long availPhys;      // physical memory available to programs
    unsigned long long totalPageFile;  // physical memory plus swap
    unsigned long long availPageFile;  // available physical memory plus free swap
    unsigned long long totalVirtual;   // the process's address-space limit
    unsigned long long availVirtual;   // what the process has not mapped of it
};

/* The value in kB of the line "key: value kB" of a /proc file, times 1024;
 * false when the file or the line is missing. */
bool procKilobytes(const char *file, const char *key, unsigned long long *bytes)
{
    FILE *fp = std::fopen(file, "r");  // a kernel file of /proc: short, never a FIFO
    if (fp == nullptr) {
        return false;
    }
    char line[256];
    std::size_t keyLength = std::strlen(key);
    bool found = false;
    while (!found && std::fgets(line, sizeof line, fp) != nullptr) {
        if (std::strncmp(line, key, keyLength) == 0 && line[keyLength] == ':') {
            char *end = nullptr;
            unsigned long long kb = std::strtoull(line + keyLength + 1, &end, 10);
            if (end != line + keyLength + 1) {
                *bytes = kb * 1024ULL;
                found = true;
            }
        }
    }
    std::fclose(fp);
    return found;
}

MemoryStatus memoryStatus()
{
    MemoryStatus m = {};
    struct sysinfo info;
    if (sysinfo(&info) == 0) {
        unsigned long long unit = info.mem_unit == 0 ? 1 : info.mem_unit;
        m.totalPhys = info.totalram * unit;
        if (!procKilobytes("/proc/meminfo", "MemAvailable", &m.availPhys)) {
            m.availPhys = (info.freeram + info.bufferram) * unit;
        }
        m.availPhys = std::min(m.availPhys, m.totalPhys);
        m.totalPageFile = m.totalPhys + info.totalswap * unit;
        m.availPageFile = m.availPhys + info.freeswap * unit;
    }
    if (m.totalPhys > 0) {
        m.load = (m.totalPhys - m.availPhys) * 100 / m.totalPhys;
    }
    struct rlimit limit;
    if (getrlimit(RLIMIT_AS, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY) {
        m.totalVirtual = limit.rlim_cur;
    } else {
        m.totalVirtual = 1ULL << 47;  // the user half of the x86-64 address space
    }
    unsigned long long mapped = 0;
    procKilobytes("/proc/self/status", "VmSize", &mapped);
    m.availVirtual = m.totalVirtual > mapped ? m.totalVirtual - mapped : 0;
    return m;
}

/* ---- files ---- */

/* A time-stamp file holds a few stamps; one larger than this is refused
 * rather than turned into a result of ten times its size. */
constexpr int64_t kMaxTimeStampFile = int64_t{16} << 20;

/* A stdio stream over a regular file of a Tcl file name (tilde expanded, in
 * the system encoding), with the file's size when opened: a reader stops
 * there, so that a file that keeps growing cannot hold it. NULL for a
 * missing file, a folder, a FIFO or a device (never waited on). */
FILE *openFile(const char *name, off_t *size)
{
    std::string path;
    FILE *fp = translateFileName(nullptr, path, name) ? openRegularStream(path.c_str()) : nullptr;
    struct stat info;
    if (fp != nullptr && fstat(fileno(fp), &info) != 0) {
        std::fclose(fp);
        fp = nullptr;
    }
    *size = fp != nullptr ? info.st_size : 0;
    return fp;
}

/* Reads a 64-bit integer word; false (with Tcl's message when interp is
 * given) when it is not one. */
bool getWide(Tcl_Interp *interp, const char *word, Tcl_WideInt *value)
{
    Tcl_Obj *obj = Tcl_NewStringObj(word, -1);
    Tcl_IncrRefCount(obj);
    bool ok = Tcl_GetWideIntFromObj(interp, obj, value) == TCL_OK;
    Tcl_DecrRefCount(obj);
    return ok;
}

/* Reads a non-negative integer word; false when it is not one. */
bool getCount(const char *word, long long *value)
{
    Tcl_WideInt wide = 0;
    if (!getWide(nullptr, word, &wide) || wide < 0) {
        return false;
    }
    *value = wide;
    return true;
}

void *globalBlock = nullptr;  // the block of galloc, or none
long long probeWord = 0;      // the word of memid, reported by its address

}  // namespace

/*
 * calc memory ?clean? --
 *	The memory status of the system; with "clean", memory is first
 *	requested and freed in growing steps of 32 MiB up to the virtual
 *	address space reported, never beyond available physical memory plus
 *	swap (the blocks are not touched).
 */
int calcMemory(Tcl_Interp *interp, int argc, const char **argv)
{
    if (argc > 2 && std::strcmp(argv[2], "clean") == 0) {
        MemoryStatus m = memoryStatus();
        const unsigned long long step = 33554432ULL;
        unsigned long long limit = std::min(m.totalVirtual, m.availPageFile);
        for (unsigned long long size = step; size <= limit; size += step) {
            void *block = std::malloc(static_cast<std::size_t>(size));
            if (block == nullptr) {
                break;
            }
            std::free(block);
        }
    }
    MemoryStatus m = memoryStatus();
    calcSetResult(interp, cFormat("memoryload %llu totalphys %llu availphys %llu totalpagefile %llu availpagefile "
                                  "%llu totalvirtual %llu availvirtual %llu",
                                  m.load, m.totalPhys, m.availPhys, m.totalPageFile, m.availPageFile, m.totalVirtual,
                                  m.availVirtual));
    return TCL_OK;
}

/*
 * calc handles ?count? --
 *	Sets the soft limit of open files (default 256), at most the hard limit
 *	and FD_SETSIZE (Tcl's notifier watches descriptors with select, which
 *	cannot take a higher one); answers the limit then in force, "%d\n".
 */
int calcHandles(Tcl_Interp *interp, int argc, const char **argv)
{
    Tcl_WideInt count = 256;
    if (argc > 2 && !getWide(interp, argv[2], &count)) {
        return TCL_ERROR;
    }
    struct rlimit limit;
    if (count >= 1 && getrlimit(RLIMIT_NOFILE, &limit) == 0) {
        rlim_t wanted = static_cast<rlim_t>(std::min<Tcl_WideInt>(count, FD_SETSIZE));
        if (limit.rlim_max != RLIM_INFINITY) {
            wanted = std::min(wanted, limit.rlim_max);
        }
        limit.rlim_cur = wanted;
        setrlimit(RLIMIT_NOFILE, &limit);
    }
    int granted = 0;
    if (getrlimit(RLIMIT_NOFILE, &limit) == 0) {
        granted =
            limit.rlim_cur == RLIM_INFINITY ? INT_MAX : static_cast<int>(std::min<rlim_t>(limit.rlim_cur, INT_MAX));
    }
    calcSetResult(interp, cFormat("%d\n", granted));
    return TCL_OK;
}

/*
 * calc malloc ?bytes? ?steps? --
 *	"1" when blocks growing in steps (at least 1) up to bytes (default
 *	16384) can each be allocated, "0" otherwise.
 */
int calcMalloc(Tcl_Interp *interp, int argc, const char **argv)
{
    Tcl_WideInt bytes = 16384, steps = 1;
    if ((argc > 2 && !getWide(interp, argv[2], &bytes)) || (argc > 3 && !getWide(interp, argv[3], &steps))) {
        return TCL_ERROR;
    }
    if (bytes < 0) {
        Tcl_SetResult(interp, const_cast<char *>("0"), TCL_STATIC);
        return TCL_OK;
    }
    steps = std::max<Tcl_WideInt>(1, steps);
    bool ok = true;
    for (Tcl_WideInt i = 1; ok && i <= steps; i++) {
        /* bytes * i / steps without overflow: bytes < 2^63 and i <= steps. */
        long long size = static_cast<long long>(static_cast<long double>(bytes) * i / steps);
        void *block = std::malloc(static_cast<std::size_t>(size));
        ok = block != nullptr;
        std::free(block);
    }
    Tcl_SetResult(interp, const_cast<char *>(ok ? "1" : "0"), TCL_STATIC);
    return TCL_OK;
}

/*
 * calc realloc size ?step? --
 *	Grows one block by step bytes (default a sixteenth of size) until it
 *	holds size bytes, then frees it.
 */
int calcRealloc(Tcl_Interp *interp, int argc, const char **argv)
{
    int size = 0, step = 0;
    if (argc < 3 || argc > 4 || Tcl_GetInt(nullptr, argv[2], &size) != TCL_OK || size < 1 ||
        (argc == 4 && (Tcl_GetInt(nullptr, argv[3], &step) != TCL_OK || step < 1))) {
        Tcl_SetResult(interp, const_cast<char *>("Invalid params."), TCL_STATIC);
        return TCL_ERROR;
    }
    if (argc == 3) {
        step = std::max(1, size / 16);
    }
    void *block = nullptr;
    for (long long current = std::min(step, size);; current = std::min<long long>(current + step, size)) {
        void *grown = std::realloc(block, static_cast<std::size_t>(current));
        if (grown == nullptr) {
            std::free(block);
            calcSetResult(interp, cFormat("Error in realloc at size:%d\n", static_cast<int>(current)));
            return TCL_ERROR;
        }
        block = grown;
        if (current == size) {
            break;
        }
    }
    std::free(block);
    Tcl_SetResult(interp, const_cast<char *>("Realloc is Ok."), TCL_STATIC);
    return TCL_OK;
}

/*
 * calc memid ?address ?value?? --
 *	Without words prints the address and value of the probe word; with the
 *	probe word's address stores value (default the address) in it.
 */
int calcMemid(Tcl_Interp *interp, int argc, const char **argv)
{
    long long address = static_cast<long long>(reinterpret_cast<intptr_t>(&probeWord));
    if (argc < 3) {
        calcPrint(stdout, cFormat("memid: %lld value: %lld\n", address, probeWord));
        return TCL_OK;
    }
    Tcl_WideInt given = 0, value = 0;
    if (!getWide(interp, argv[2], &given) || (argc > 3 && !getWide(interp, argv[3], &value))) {
        return TCL_ERROR;
    }
    if (given != address) {
        calcPrint(stdout, cFormat("Wrong address: %lld\n", static_cast<long long>(given)));
        return TCL_OK;
    }
    probeWord = argc > 3 ? value : address;
    return TCL_OK;
}

/* calc galloc ?bytes?: replaces the global block by one of bytes (default
 * 1048576). */
int calcGalloc(Tcl_Interp *interp, int argc, const char **argv)
{
    int bytes = 1048576;
    if (argc > 2 && Tcl_GetInt(interp, argv[2], &bytes) != TCL_OK) {
        return TCL_ERROR;
    }
    std::free(globalBlock);
    globalBlock = bytes > 0 ? std::malloc(static_cast<std::size_t>(bytes)) : nullptr;
    if (globalBlock == nullptr) {
        tesk_fprintf(stderr, "Error in GlobalAlloc: %d\n", bytes);
    } else {
        conPrintf("Allocate: %d\n", bytes);
    }
    return TCL_OK;
}

/* calc gfree: frees the global block, if any. */
int calcGfree(Tcl_Interp *interp, int argc, const char **argv)
{
    std::free(globalBlock);
    globalBlock = nullptr;
    return TCL_OK;
}

/*
 * calc ftime ?short|long? --
 *	The current time as seconds with milliseconds, or as the fields of the
 *	old C time record: seconds, milliseconds, the standard time zone in
 *	minutes west of UTC and the daylight-saving flag.
 */
int calcFtime(Tcl_Interp *interp, int argc, const char **argv)
{
    bool longForm = argc == 3 && std::strcmp(argv[2], "long") == 0;
    if (argc > 3 || (argc == 3 && !longForm && std::strcmp(argv[2], "short") != 0)) {
        Tcl_SetResult(interp, const_cast<char *>("Usage: calc ftime [short|long]\n"), TCL_STATIC);
        return TCL_ERROR;
    }
    struct timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    long millis = now.tv_nsec / 1000000L;
    if (!longForm) {
        calcSetResult(interp, cFormat("%.3f", static_cast<double>(now.tv_sec) + millis / 1000.0));
        return TCL_OK;
    }
    tzset();  // follow a TZ changed since the last call
    struct tm local;
    std::memset(&local, 0, sizeof local);
    time_t seconds = now.tv_sec;
    localtime_r(&seconds, &local);
    bool dst = local.tm_isdst > 0;
    /* tm_gmtoff holds the offset in force (east of UTC); the record kept the
     * standard zone, west of UTC, with daylight saving as a separate flag. */
    long zone = -(local.tm_gmtoff / 60) + (dst ? 60 : 0);
    calcSetResult(interp, cFormat("%ld %ld %ld %ld", static_cast<long>(now.tv_sec), millis, zone, dst ? 1L : 0L));
    return TCL_OK;
}

/*
 * calc fgets fileName --
 *	Reads the file in 512-byte blocks and reports the number of blocks, the
 *	stream's buffer size and the bytes left in its buffer, followed by
 *	F_BUF (the stream has a buffer of its own), F_LBUF (line buffered) and
 *	F_EOF (end of file seen) for the flags that are set.
 */
int calcFgets(Tcl_Interp *interp, int argc, const char **argv)
{
    if (argc != 3) {
        Tcl_SetResult(interp, const_cast<char *>("usage: calc fgets fileName\n"), TCL_STATIC);
        return TCL_ERROR;
    }
    off_t fileSize = 0;
    FILE *fp = openFile(argv[2], &fileSize);
    if (fp == nullptr) {
        calcSetResult(interp, std::string("Error in open ") + argv[2] + "\n");
        return TCL_ERROR;
    }
    /* Blocks of the size the file had when opened, and the read that sees
     * its end: no more, however the file grows meanwhile. */
    char block[512];
    int blocks = 0;
    for (off_t most = fileSize / 512 + 2; most > 0 && std::fread(block, 1, sizeof block, fp) > 0; most--) {
        blocks++;
    }
    int size = static_cast<int>(std::min<std::size_t>(__fbufsize(fp), INT_MAX));
    long level = fp->_IO_read_end != nullptr ? static_cast<long>(fp->_IO_read_end - fp->_IO_read_ptr) : 0;
    calcSetResult(interp, cFormat("%d size:%d level:%d", blocks, size, static_cast<int>(level)));
    if (__fbufsize(fp) > 1) {
        Tcl_AppendElement(interp, "F_BUF");
    }
    if (__flbf(fp)) {
        Tcl_AppendElement(interp, "F_LBUF");
    }
    if (std::feof(fp)) {
        Tcl_AppendElement(interp, "F_EOF");
    }
    std::fclose(fp);
    return TCL_OK;
}

/*
 * calc fscanf fileName --
 *	Reads numbers from the file (through a 1024-byte stream buffer) until
 *	none is left, printing "index value" lines to standard error.
 */
int calcFscanf(Tcl_Interp *interp, int argc, const char **argv)
{
    if (argc != 3) {
        Tcl_SetResult(interp, const_cast<char *>("usage: calc fscanf fileName\n"), TCL_STATIC);
        return TCL_ERROR;
    }
    off_t size = 0;
    FILE *fp = openFile(argv[2], &size);
    if (fp == nullptr) {
        calcSetResult(interp, std::string("Error in open ") + argv[2] + "\n");
        return TCL_ERROR;
    }
    char buffer[1024];  // the stream's buffer until fclose below
    std::setvbuf(fp, buffer, _IOFBF, sizeof buffer);
    std::string lines;
    {
        CLocaleScope inC;
        double value = 0;
        /* Numbers that start within the size the file had when opened. */
        for (int index = 0; ftello(fp) < size && cScanNumber(fp, &value); index++) {
            char line[64];
            std::snprintf(line, sizeof line, "%d %f\n", index, value);
            lines += line;
        }
    }
    std::fclose(fp);
    calcPrint(stderr, lines);
    return TCL_OK;
}

/*
 * calc loadtime timeStampFile ?offset? --
 *	The 32-bit little-endian signed integers of the file after offset
 *	bytes, each followed by a blank.
 */
int calcLoadtime(Tcl_Interp *interp, int argc, const char **argv)
{
    long long offset = 0;
    if (argc < 3 || argc > 4 || (argc == 4 && !getCount(argv[3], &offset))) {
        Tcl_AppendResult(interp, "Usage: ", argv[0], " timeStampFile [offset]\n", nullptr);
        return TCL_ERROR;
    }
    std::string path, bytes;
    if (!translateFileName(nullptr, path, argv[2]) || readRegularFile(path.c_str(), kMaxTimeStampFile, &bytes) != 0) {
        tesk_fprintf(stderr, "Error in open: %s\n", argv[2]);
        return TCL_ERROR;
    }
    std::string text;
    for (std::size_t at = static_cast<std::size_t>(std::min<long long>(offset, bytes.size()));
         bytes.size() - at >= 4; at += 4) {
        int32_t value = getI32(reinterpret_cast<const unsigned char *>(bytes.data()) + at);
        text += std::to_string(value);
        text += ' ';
    }
    calcSetResult(interp, text);
    return TCL_OK;
}

/* calc freeDisk ?path?: free bytes of the file system holding path
 * (default "."), "%.f". */
int calcFreeDisk(Tcl_Interp *interp, int argc, const char **argv)
{
    if (argc > 3) {
        Tcl_SetResult(interp, const_cast<char *>("Usage: calc freeDisk [path]\n"), TCL_STATIC);
        return TCL_ERROR;
    }
    calcSetResult(interp, cFormat("%.f", diskFreeForPath(argc == 3 ? argv[2] : ".")));
    return TCL_OK;
}

/* calc stime seconds: accepts a number of seconds; the clock is left alone. */
int calcStime(Tcl_Interp *interp, int argc, const char **argv)
{
    Tcl_WideInt seconds = 0;
    if (argc != 3 || !getWide(nullptr, argv[2], &seconds)) {
        Tcl_SetResult(interp, const_cast<char *>("Usage: calc stime seconds\n"), TCL_STATIC);
        return TCL_ERROR;
    }
    return TCL_OK;
}

/*
 * calc test --
 *	Self-test of the console-routed stdio: prints the standard descriptors
 *	and a formatted line, then asks twice for a number and a string (once
 *	through scanf, once through fscanf on standard input) and echoes them.
 */
int calcTest(Tcl_Interp *interp, int argc, const char **argv)
{
    calcPrint(stdout, cFormat("stdin: %d stdout: %d stderr: %d\n", fileno(stdin), fileno(stdout), fileno(stderr)));
    calcPrint(stdout, cFormat("int: %d string: %s\n", 12345, "stdio test"));
    for (int pass = 0; pass < 2; pass++) {
        calcPrint(stdout, "Enter a number and a string: ");
        float number = 0;
        char word[256] = "";
        {
            CLocaleScope inC;
            if (pass == 0) {
                tesk_scanf("%f %255s", &number, word);
            } else {
                tesk_fscanf(stdin, "%f %255s", &number, word);
            }
        }
        calcPrint(stdout, cFormat("%f %s\n", number, word));
    }
    return TCL_OK;
}

/*
 * calc panic ?message ...? --
 *	Prints what the package's panic procedure would print for each message
 *	(or for a reminder that panics show on the console with the focus) and
 *	fails; the process goes on, since a real panic would end it.
 */
int calcPanic(Tcl_Interp *interp, int argc, const char **argv)
{
    static const char *const reminder[] = {" messages of panic may be displayed at a console that has the focus!"};
    const char *const *messages = argc > 2 ? argv + 2 : reminder;
    int count = argc > 2 ? argc - 2 : 1;
    for (int i = 0; i < count; i++) {
        calcPrint(stderr, std::string("panic:") + messages[i] + "\n");
    }
    return TCL_ERROR;
}
