/*
 * projlib.cpp --
 *
 *	The projection layer over PROJ 9 (see projlib.h). A handle keeps PROJ's
 *	operation for the projection alone (no datum shift, no prime meridian:
 *	those keys are kept from PROJ, whose cs2cs emulation would apply them
 *	in every forward call), the classic fields read from the definition,
 *	and the datum. Datum transformations are rebuilt step by step as the
 *	classic library did them: geodetic to geocentric through PROJ's "cart",
 *	seven-parameter shifts of our own, grid shifts through "hgridshift".
 *	The process-wide PROJ context is made on first use; its search paths
 *	and log level follow the console interpreter's env array.
 */
#define PROJ_SUPPRESS_DEPRECATION_MESSAGE 1
#include "geo/projlib.h"

#include <proj.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <memory>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "runtime/cnumber.h"
#include "runtime/startup.h"
#include "runtime/util.h"
#include "tesk.h"
#include "tesk_stdio.h"

struct ProjParam {
    std::string text;                /* "key=value" or a flag, no leading "+" */
    bool used = false;               /* read by the set-up */
    const ProjParam *next = nullptr; /* following entry, NULL after the last */
};

struct ProjHandle {
    PJ *pj = nullptr;              /* the projection alone */
    std::vector<ProjParam> params; /* in order; never resized after set-up */
    bool latLong = false;          /* proj=latlong and its aliases */
    bool inverse = false;          /* PROJ has the inverse */
    double a = 0, es = 0, e = 0;   /* semi-major axis (m), eccentricity squared, eccentricity */
    double lam0 = 0, phi0 = 0;     /* radians */
    double x0 = 0, y0 = 0;         /* metres */
    double k0 = 1;
    double toMeter = 1, frMeter = 1;
    double fromGreenwich = 0; /* prime meridian, radians east of Greenwich */
    int datumType = PROJ_DATUM_UNKNOWN;
    double datumParams[7] = {}; /* 7PARAM: m, m, m, rad, rad, rad, 1 + ppm / 1e6 */
    std::string nadgrids;       /* GRIDSHIFT: the nadgrids list as given */
    PJ *grids = nullptr;        /* hgridshift over the loadable grids, made at first use */
    bool gridsFailed = false;   /* the grids could not be loaded with failedPaths */
    std::string failedPaths;
    int failedErrno = 0;
    std::string failedError;
};

struct NadTable {
    PJ *pj; /* hgridshift over the grid (list) */
};

struct DatumListEntry {
    const char *id;
    const char *defn;
    const char *ellipseId;
    const char *comments;
};

namespace {

constexpr double kWgs84A = 6378137.0;
constexpr double kWgs84Es = 0.0066943799901413165; /* f = 1 / 298.257223563 */
/* Eccentricities closer than this are the same ellipsoid, as the classic
 * library compared them (its WGS84 value was rounded to 0.006694379990). */
constexpr double kEsTolerance = 0.000000000050;
constexpr double kSecToRad = 4.84813681109535993589914102357e-6;

/* The datums that "datum=" names, as PROJ 9 expands them. */
const DatumListEntry kDatums[] = {
    {"WGS84", "towgs84=0,0,0", "WGS84", ""},
    {"GGRS87", "towgs84=-199.87,74.79,246.62", "GRS80", "Greek_Geodetic_Reference_System_1987"},
    {"NAD83", "towgs84=0,0,0", "GRS80", "North_American_Datum_1983"},
    {"NAD27", "nadgrids=@conus,@alaska,@ntv2_0.gsb,@ntv1_can.dat", "clrk66", "North_American_Datum_1927"},
    {"potsdam", "nadgrids=@BETA2007.gsb", "bessel", "Potsdam Rauenberg 1950 DHDN"},
    {"carthage", "towgs84=-263.0,6.0,431.0", "clrk80ign", "Carthage 1934 Tunisia"},
    {"hermannskogel", "towgs84=577.326,90.129,463.919,5.137,1.474,5.297,2.4232", "bessel", "Hermannskogel"},
    {"ire65", "towgs84=482.530,-130.596,564.557,-1.042,-0.214,-0.631,8.15", "mod_airy", "Ireland 1965"},
    {"nzgd49", "towgs84=59.47,-5.04,187.44,0.47,-0.1,1.024,-4.5993", "intl", "New Zealand Geodetic Datum 1949"},
    {"OSGB36", "towgs84=446.448,-125.157,542.060,0.1502,0.2470,0.8421,-20.4894", "airy", "Airy 1830"},
    {nullptr, nullptr, nullptr, nullptr},
};

/* Keys PROJ never sees: the datum, its shifts and the prime meridian are
 * the layer's own (PROJ would apply them in every forward call), init is
 * expanded before; geoidgrids (no classic key) and type (which would make
 * a CRS) are left unused. */
const char *const kLayerKeys[] = {"init", "datum", "towgs84", "nadgrids", "pm", "geoidgrids", "type"};

/* Keys that give the ellipsoid; without any of them the default applies. */
const char *const kEllipsoidKeys[] = {"datum", "ellps", "a", "b", "rf", "f", "R", "es", "e"};

/* ---- process-wide state ---- */

struct Layer {
    PJ_CONTEXT *ctx = nullptr;
    std::string projFolder;   /* PROJ's own folder (proj.db), always searched last */
    std::string appliedPaths; /* the search paths last given to PROJ, joined */
    int logLevel = -1;        /* the level last given to PROJ */
    const char *(*finder)(const char *) = nullptr;
    int lastErrno = 0;
    std::string lastError;
    bool ownFileFault = false; /* lastError names a proj.db or proj.ini */
    struct Cart {
        double a, es;
        PJ *pj;
    };
    std::vector<Cart> carts; /* geodetic <-> geocentric per ellipsoid */
};

/* Never destroyed: PROJ objects must not be released during exit. */
Layer &layer()
{
    static Layer *state = new Layer();
    return *state;
}

void setError(int code, const std::string &text)
{
    layer().lastErrno = code;
    layer().lastError = text;
    layer().ownFileFault = false;
}

void setProjError(int code, const char *detail = nullptr)
{
    Layer &l = layer();
    std::string text = code != 0 && l.ctx != nullptr ? proj_context_errno_string(l.ctx, code) : "";
    if (detail != nullptr && *detail) {
        text += ": ";
        text += detail;
    }
    setError(code, text);
}

void clearError()
{
    setError(0, "");
}

/* PROJ's log goes to the console's standard error, at the level the
 * context is set to: PROJ 9 hands some messages ("Cannot find proj.db")
 * to the log function whatever the level, and those stay silent too. */
void logToConsole(void *, int level, const char *message)
{
    try {
        PJ_CONTEXT *ctx = layer().ctx;
        int current = ctx != nullptr ? proj_log_level(ctx, PJ_LOG_TELL) : PJ_LOG_NONE;
        if (current == PJ_LOG_NONE || level > current) {
            return;
        }
        tesk_fprintf(stderr, "%s\n", message != nullptr ? message : "");
    } catch (...) {
        /* nothing may leave a callback of PROJ */
    }
}

bool projFileSafe(PJ_CONTEXT *ctx, const std::string &name);

/* PROJ's finder, asked for every file PROJ looks for in its folders: the
 * names a definition gives, and those PROJ puts in their place (another
 * name of a grid that proj.db knows, the files of an init file's entries).
 * A name that projFileSafe refuses is answered as a file that does not
 * exist, so PROJ never opens it; else the user's finder answers. */
const char *findWithUserFinder(PJ_CONTEXT *ctx, const char *name, void *)
{
    try {
        if (name == nullptr || !projFileSafe(ctx, name)) {
            return "";
        }
        const char *(*finder)(const char *) = layer().finder;
        return finder != nullptr ? finder(name) : nullptr;
    } catch (...) {
        /* nothing may leave a callback of PROJ */
        return "";
    }
}

/* Splits text at the separator, dropping empty pieces. */
std::vector<std::string> splitText(std::string_view text, char separator)
{
    std::vector<std::string> pieces;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find(separator, start);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        if (end > start) {
            pieces.emplace_back(text.substr(start, end - start));
        }
        start = end + 1;
    }
    return pieces;
}

/* Folders that may hold PROJ's own data (proj.db, init files), most
 * likely first: share/proj beside the installation PROJ's library was
 * loaded from, PROJ's compiled default on Debian, then the folders PROJ
 * itself would search. The first two do not depend on PROJ_DATA, which
 * may name folders of grids only (PROJ then looks for proj.db there
 * alone). */
std::vector<std::string> projDataFolders()
{
    std::vector<std::string> folders;
    /* A text of PROJ's ellipsoid table lies in PROJ's library itself. */
    Dl_info where;
    const PJ_ELLPS *ellps = proj_list_ellps();
    if (ellps != nullptr && ellps->name != nullptr && dladdr(ellps->name, &where) != 0 && where.dli_fname != nullptr) {
        std::string dir = where.dli_fname;
        for (int up = 0; up < 3; up++) {
            std::size_t slash = dir.rfind('/');
            if (slash == std::string::npos || slash == 0) {
                break;
            }
            dir.erase(slash);
            folders.push_back(dir + "/share/proj");
        }
    }
    folders.emplace_back("/usr/share/proj");
    PJ_INFO info = proj_info();
    for (std::string &p : splitText(info.searchpath != nullptr ? info.searchpath : "", ':')) {
        folders.push_back(std::move(p));
    }
    return folders;
}

/* The folders of PROJ_DATA and PROJ_LIB, the console interpreter's
 * (given to PROJ as search paths) and the process's (which PROJ reads
 * itself), in that order. */
std::vector<std::string> userDataFolders(bool processToo)
{
    std::vector<std::string> folders;
    for (const char *name : {"PROJ_DATA", "PROJ_LIB"}) {
        const char *value = conGetEnv(name);
        if (value != nullptr) {
            for (std::string &p : splitText(value, ':')) {
                folders.push_back(std::move(p));
            }
        }
    }
    for (const char *name : {"PROJ_DATA", "PROJ_LIB"}) {
        const char *value = processToo ? std::getenv(name) : nullptr;
        if (value != nullptr) {
            for (std::string &p : splitText(value, ':')) {
                folders.push_back(std::move(p));
            }
        }
    }
    return folders;
}

/* PROJ opens its database (proj.db) and its settings (proj.ini) from the
 * folders it searches, and a FIFO there would hold it for ever: true when
 * each of them in those folders and in PROJ's user folder is missing or a
 * regular file (links followed); else false with the error naming it. */
bool projOwnFilesSafe()
{
    std::vector<std::string> folders = userDataFolders(true);
    if (const char *user = proj_context_get_user_writable_directory(nullptr, 0)) {
        folders.emplace_back(user);
    }
    for (const std::string &folder : folders) {
        for (const char *name : {"proj.db", "proj.ini"}) {
            std::string path = folder + "/" + name;
            struct stat info;
            if (stat(path.c_str(), &info) == 0 && !S_ISREG(info.st_mode)) {
                setError(PROJ_ERR_OTHER, "PROJ file is not a regular file: " + path);
                layer().ownFileFault = true;
                return false;
            }
        }
    }
    return true;
}

/* The layer's PROJ context; with refresh, its search paths and log level
 * are brought up to date from the console interpreter's env array (done
 * where files may be opened: set-up and grids, not for every point).
 * NULL, with the error set, while a proj.db or proj.ini that PROJ would
 * open is no regular file (projOwnFilesSafe). */
PJ_CONTEXT *context(bool refresh = true)
{
    Layer &l = layer();
    if ((l.ctx == nullptr || refresh) && !projOwnFilesSafe()) {
        return nullptr;
    }
    if (l.ctx == nullptr) {
        l.ctx = proj_context_create();
        if (l.ctx == nullptr) {
            return nullptr;
        }
        proj_log_func(l.ctx, nullptr, logToConsole);
        proj_log_level(l.ctx, PJ_LOG_NONE);
        proj_context_use_proj4_init_rules(l.ctx, 1);
        /* proj.db stays PROJ's own, whatever folders PROJ_DATA names. */
        for (const std::string &folder : projDataFolders()) {
            std::string path = folder + "/proj.db";
            struct stat info;
            if (stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && access(path.c_str(), R_OK) == 0 &&
                proj_context_set_database_path(l.ctx, path.c_str(), nullptr, nullptr)) {
                l.projFolder = folder;
                break;
            }
        }
        proj_context_set_file_finder(l.ctx, findWithUserFinder, nullptr);
    }
    if (!refresh) {
        return l.ctx;
    }

    std::vector<std::string> paths = userDataFolders(false);
    if (!l.projFolder.empty()) {
        paths.push_back(l.projFolder);
    }
    std::string joined;
    for (const std::string &p : paths) {
        joined += p;
        joined += '\n';
    }
    if (joined != l.appliedPaths) {
        std::vector<const char *> list;
        for (const std::string &p : paths) {
            list.push_back(p.c_str());
        }
        proj_context_set_search_paths(l.ctx, static_cast<int>(list.size()), list.data());
        l.appliedPaths = joined;
    }

    /* PROJ_DEBUG: unset is silent; a number 0..3 is PROJ's level; any
     * other text shows errors. */
    int level = PJ_LOG_NONE;
    if (const char *debug = conGetEnv("PROJ_DEBUG")) {
        char *end = nullptr;
        long n = std::strtol(debug, &end, 10);
        level = end == debug ? PJ_LOG_ERROR : static_cast<int>(n < 0 ? 0 : n > 3 ? 3 : n);
    }
    if (level != l.logLevel) {
        proj_log_level(l.ctx, static_cast<PJ_LOG_LEVEL>(level));
        l.logLevel = level;
    }
    return l.ctx;
}

/* Runs make with PROJ's log silenced (probes whose failure is expected). */
template <class F>
PJ *quietly(PJ_CONTEXT *ctx, F make)
{
    PJ_LOG_LEVEL previous = proj_log_level(ctx, PJ_LOG_TELL);
    proj_log_level(ctx, PJ_LOG_NONE);
    PJ *pj = make();
    proj_log_level(ctx, previous);
    return pj;
}

/* ---- numbers in the C locale ---- */

std::string formatDouble(double v)
{
    char buffer[64];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, v);
    return std::string(buffer, result.ptr);
}

/* ---- parameter entries ---- */

std::string_view keyOf(std::string_view text)
{
    return text.substr(0, text.find('='));
}

const char *valueOf(const ProjParam &p)
{
    std::size_t eq = p.text.find('=');
    return eq == std::string::npos ? "" : p.text.c_str() + eq + 1;
}

/* A key PROJ can take: a letter or underscore, then letters, digits, underscores. */
bool isPlainKey(std::string_view key)
{
    if (key.empty() || !(std::isalpha(static_cast<unsigned char>(key[0])) || key[0] == '_')) {
        return false;
    }
    for (char c : key) {
        if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '_')) {
            return false;
        }
    }
    return true;
}

ProjParam *findParam(std::vector<ProjParam> &params, std::string_view key)
{
    for (ProjParam &p : params) {
        if (keyOf(p.text) == key) {
            return &p;
        }
    }
    return nullptr;
}

void addParam(std::vector<ProjParam> &params, std::string_view word)
{
    if (!word.empty() && word[0] == '+') {
        word.remove_prefix(1);
    }
    if (!word.empty()) {
        params.push_back(ProjParam{std::string(word), false, nullptr});
    }
}

/* An angle value: degrees or degree-minute-second text, in radians;
 * HUGE_VAL when it is not such a text as a whole. */
double angleOf(const char *text)
{
    char *rest = nullptr;
    double r = proj_dmstor(text, &rest);
    return rest == text || rest == nullptr || *rest != '\0' ? HUGE_VAL : r;
}

/* Every place PROJ may look for name: the name itself, "~/" as the home
 * folder, what the user's finder answers, each search folder, PROJ's user
 * folder. */
std::vector<std::string> projPlaces(PJ_CONTEXT *ctx, const std::string &name)
{
    std::vector<std::string> places{name};
    if (name.compare(0, 2, "~/") == 0) {
        if (const char *home = std::getenv("HOME")) {
            places.push_back(std::string(home) + name.substr(1));
        }
    }
    if (layer().finder != nullptr) {
        if (const char *found = layer().finder(name.c_str())) {
            places.emplace_back(found);
        }
    }
    for (const std::string &folder : splitText(layer().appliedPaths, '\n')) {
        places.push_back(folder + "/" + name);
    }
    if (const char *user = proj_context_get_user_writable_directory(ctx, 0)) {
        places.push_back(std::string(user) + "/" + name);
    }
    return places;
}

/*
 * PROJ opens the files a definition names (init files, grids) itself, and
 * a FIFO among them would hold it for ever. True when every place PROJ may
 * look for name (projPlaces) holds nothing or a regular file; false for a
 * FIFO, a device, a socket or a folder, links followed.
 */
bool projFileSafe(PJ_CONTEXT *ctx, const std::string &name)
{
    for (const std::string &place : projPlaces(ctx, name)) {
        struct stat info;
        if (stat(place.c_str(), &info) == 0 && !S_ISREG(info.st_mode)) {
            return false;
        }
    }
    return true;
}

std::vector<std::string> readDefinition(std::string_view text, std::string *fault = nullptr);

/* The largest init file whose entries are looked at; a larger one is
 * refused (the classic files are a few hundred kilobytes). */
constexpr int64_t kInitFileBytes = 16 << 20;

/* The pieces of every entry of an init file: "#" starts a comment that
 * runs to the line's end, "<" and ">" around an entry's name part words. */
std::vector<std::string> initFilePieces(const std::string &bytes)
{
    std::string text;
    for (const std::string &line : splitText(bytes, '\n')) {
        text += line.substr(0, line.find('#'));
        text += '\n';
    }
    std::replace(text.begin(), text.end(), '<', ' ');
    std::replace(text.begin(), text.end(), '>', ' ');
    return readDefinition(text);
}

/* Every key of PROJ 9 whose value names files that PROJ opens itself:
 * init files ("file:id"), the classic datum and geoid grids, the grid
 * shift operations' grids (hgridshift, vgridshift, xyzgridshift,
 * gridshift), deformation's grids, tinshift's file and defmodel's model.
 * Grid values are comma-separated lists whose names may carry "@". */
constexpr const char *kFileKeys[] = {"init", "nadgrids", "geoidgrids", "grids", "xy_grids", "z_grids", "file", "model"};

/*
 * definitionFilesSafe --
 *	Holds every file that the pieces (key=value, no "+", as readDefinition
 *	makes them) name under a key of kFileKeys to projFileSafe, in each
 *	form PROJ may read the value: an init value's file before the last
 *	":", else the whole value and each comma-separated name with and
 *	without its "@"; and every existing init file's entries, whose files
 *	are held to the same rule (visited: the init files looked at so far,
 *	each looked at once). False, with *refused set to the offending
 *	piece, when one is not safe.
 */
bool definitionFilesSafe(PJ_CONTEXT *ctx, const std::vector<std::string> &words, std::string *refused,
                         std::vector<std::string> *visited = nullptr)
{
    std::vector<std::string> seen;
    if (visited == nullptr) {
        visited = &seen;
    }
    for (const std::string &word : words) {
        std::string_view key = keyOf(word);
        if (!key.empty() && key[0] == '+') {
            key.remove_prefix(1);
        }
        if (std::find(std::begin(kFileKeys), std::end(kFileKeys), key) == std::end(kFileKeys) ||
            word.find('=') == std::string::npos) {
            continue;
        }
        std::string value = word.substr(word.find('=') + 1);
        std::vector<std::string> names;
        if (key == "init") {
            /* PROJ cuts the file name at the last ":"; the whole value and
             * the cut at the first stand for any other reading. PROJ's
             * readers of an init value also start it after an "init=" that
             * it holds: so does the check, after each one. */
            std::vector<std::string> files{value};
            for (std::size_t at = value.find("init="); at != std::string::npos; at = value.find("init=", at + 5)) {
                files.push_back(value.substr(at + 5));
            }
            for (const std::string &file : files) {
                names.push_back(file);
                names.push_back(file.substr(0, file.rfind(':')));
                names.push_back(file.substr(0, file.find(':')));
            }
        } else {
            names.push_back(value);
            for (const std::string &item : splitText(value, ',')) {
                names.push_back(item);
                if (item[0] == '@') {
                    names.push_back(item.substr(1));
                }
            }
        }
        for (const std::string &name : names) {
            if (!name.empty() && !projFileSafe(ctx, name)) {
                *refused = word;
                return false;
            }
        }
        if (key != "init") {
            continue;
        }
        /* PROJ reads the entry of an init file as a definition: the files
         * named anywhere in it are held to the same rule, each init file
         * once */
        for (const std::string &name : names) {
            for (const std::string &place : name.empty() ? std::vector<std::string>{} : projPlaces(ctx, name)) {
                struct stat info;
                if (stat(place.c_str(), &info) != 0 ||
                    std::find(visited->begin(), visited->end(), place) != visited->end()) {
                    continue;
                }
                visited->push_back(place);
                std::string bytes;
                std::string inner;
                if (readRegularFile(place.c_str(), kInitFileBytes, &bytes) != 0 ||
                    !definitionFilesSafe(ctx, initFilePieces(bytes), &inner, visited)) {
                    *refused = word;
                    return false;
                }
            }
        }
    }
    return true;
}

/* ---- definitions as PROJ reads them ---- */

/*
 * readDefinition --
 *	The pieces ("key=value" or a flag, without "+") that PROJ reads from
 *	definition text, whose words it joins with blanks: the text ends at
 *	the first "#", less blanks at its end; blanks, tabs, newlines and ";"
 *	separate pieces, and a "+" that opens a piece is dropped; a value
 *	that opens with a double quote runs to the next lone one, a doubled
 *	quote inside standing for one, and loses its quotes; blanks beside
 *	"=" and "," join what they separate, inside quotes too. Any other
 *	quote stays in its piece, and PROJ toggles on it where it splits
 *	pieces.
 *	When fault is given, it is set to the reason for the first piece whose
 *	quote PROJ's programs do not read as one value ("unterminated quote:
 *	..." when the text ends inside one, "misplaced quote: ..." for a quote
 *	that opens no value or a quoted value that stops before its piece
 *	does), and left alone when there is none.
 */
std::vector<std::string> readDefinition(std::string_view text, std::string *fault)
{
    text = text.substr(0, text.find('#'));
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) {
        text.remove_suffix(1);
    }
    auto separator = [](char c) { return std::isspace(static_cast<unsigned char>(c)) || c == ';'; };
    /* Separators become one blank, quoted values kept as they are. */
    std::string flat;
    bool quoted = false;
    for (std::size_t j = 0; j < text.size(); j++) {
        char c = text[j];
        if (quoted) {
            if (c == '"' && j + 1 < text.size() && text[j + 1] == '"') {
                flat += c;
                j++;
            } else if (c == '"') {
                quoted = false;
            }
            flat += c;
        } else if (separator(c) || (c == '+' && (flat.empty() || flat.back() == ' '))) {
            if (!flat.empty() && flat.back() != ' ') {
                flat += ' ';
            }
        } else {
            quoted = c == '"' && !flat.empty() && flat.back() == '=';
            flat += c;
        }
    }
    bool unterminated = quoted;
    /* A blank beside "=" or "," goes, quoted or not. */
    std::string joined;
    for (std::size_t j = 0; j < flat.size(); j++) {
        char c = flat[j];
        bool greedy = c == ' ' && ((!joined.empty() && (joined.back() == '=' || joined.back() == ',')) ||
                                   (j + 1 < flat.size() && (flat[j + 1] == '=' || flat[j + 1] == ',')));
        if (!greedy) {
            joined += c;
        }
    }
    /* Pieces at blanks outside quotes; a quoted value loses its quotes. */
    std::vector<std::string> pieces;
    std::string piece;
    quoted = false;
    auto finish = [&]() {
        bool whole = piece.find('"') == std::string::npos;
        std::string written = piece;
        std::size_t open = piece.find("=\"");
        if (open != std::string::npos && piece.size() >= open + 3 && piece.back() == '"') {
            std::string value;
            std::size_t k = open + 2;
            for (; k < piece.size(); k++) {
                if (piece[k] == '"' && k + 1 < piece.size() && piece[k + 1] == '"') {
                    k++;
                } else if (piece[k] == '"') {
                    break;
                }
                value += piece[k];
            }
            whole = k + 1 == piece.size() && piece.find('"') == open + 1;
            piece = piece.substr(0, open + 1) + value;
        }
        if (!whole && fault != nullptr && fault->empty()) {
            *fault = (unterminated ? "unterminated quote: " : "misplaced quote: ") + written;
        }
        if (!piece.empty()) {
            pieces.push_back(piece);
        }
        piece.clear();
    };
    for (char c : joined) {
        if (c == '"') {
            quoted = !quoted;
        }
        if (c == ' ' && !quoted) {
            finish();
        } else {
            piece += c;
        }
    }
    finish();
    if (unterminated && fault != nullptr && fault->empty()) {
        *fault = "unterminated quote: " + std::string(text);
    }
    return pieces;
}

/* A value that every reader of PROJ takes as it stands: printable, no
 * blank, no quote, no ";" and no "#". */
bool plainValue(std::string_view value)
{
    for (char c : value) {
        unsigned char u = static_cast<unsigned char>(c);
        if (u <= ' ' || u == 0x7f || c == '"' || c == ';' || c == '#') {
            return false;
        }
    }
    return true;
}

/* A value that PROJ takes in double quotes: one that holds a blank and is
 * otherwise plain, but for quotes, which stand doubled inside. PROJ
 * quotes exactly such a value again wherever it writes a definition out
 * and reads it back; a quote in a value without a blank, or a ";", tab
 * or control character in any, it would write out bare and read as
 * something else. */
bool quotableValue(std::string_view value)
{
    if (value.find(' ') == std::string_view::npos) {
        return false;
    }
    for (char c : value) {
        unsigned char u = static_cast<unsigned char>(c);
        if (u < ' ' || u == 0x7f || c == ';' || c == '#') {
            return false;
        }
    }
    return true;
}

/* A piece as definition text that PROJ reads back as that piece: its
 * value in double quotes, quotes doubled, when it holds a blank. */
std::string pieceText(const std::string &piece)
{
    std::size_t eq = piece.find('=');
    if (eq == std::string::npos || piece.find(' ', eq) == std::string::npos) {
        return piece;
    }
    std::string text = piece.substr(0, eq + 1) + '"';
    for (std::size_t k = eq + 1; k < piece.size(); k++) {
        text += piece[k];
        if (piece[k] == '"') {
            text += '"';
        }
    }
    return text + '"';
}

/* True when no comma item of value is wholly a number that is not finite
 * ("inf", "nan", 1e999): PROJ keeps such a number and answers nonsense
 * with it (to_meter=inf projects every point to 0 0). */
bool finiteItems(std::string_view value)
{
    for (std::size_t at = 0; at <= value.size();) {
        std::size_t comma = std::min(value.find(',', at), value.size());
        std::string item(value.substr(at, comma - at));
        double number;
        const char *end = item.c_str();
        if (!cReadNumber(item.c_str(), &number, &end) && end != item.c_str() && *end == '\0') {
            return false;
        }
        at = comma + 1;
    }
    return true;
}

/* A value PROJ reads as it is written into a definition: a plain one, or
 * one it takes in double quotes. */
bool definitionValue(std::string_view value)
{
    return plainValue(value) || quotableValue(value);
}

/*
 * createChecked --
 *	The one way a definition reaches PROJ. pieces ("key=value" or a flag)
 *	must each have a plain key and a value that definitionValue takes,
 *	and the text made of them (pieceText, joined by blanks) must be read
 *	back by readDefinition as the same pieces; that text is what PROJ
 *	reads, so PROJ reads what was checked. Every number the pieces hold
 *	must be finite and every file they name must pass
 *	definitionFilesSafe.
 *	Answers PROJ's operation, or NULL with the error set (detail appended
 *	to PROJ's text).
 */
PJ *createChecked(PJ_CONTEXT *ctx, const std::vector<std::string> &pieces, const char *detail = nullptr)
{
    std::string joined;
    bool plain = true;
    for (const std::string &piece : pieces) {
        joined += joined.empty() ? "" : " ";
        joined += pieceText(piece);
        std::size_t eq = piece.find('=');
        plain = plain && isPlainKey(keyOf(piece)) &&
                (eq == std::string::npos || definitionValue(std::string_view(piece).substr(eq + 1)));
    }
    std::string fault;
    if (!plain || readDefinition(joined, &fault) != pieces || !fault.empty()) {
        setError(PROJ_ERR_INVALID_OP_ILLEGAL_ARG_VALUE, "invalid definition: " + joined);
        return nullptr;
    }
    for (const std::string &piece : pieces) {
        std::size_t eq = piece.find('=');
        if (eq != std::string::npos && !finiteItems(std::string_view(piece).substr(eq + 1))) {
            setError(PROJ_ERR_INVALID_OP_ILLEGAL_ARG_VALUE, "not a finite number: " + piece);
            return nullptr;
        }
    }
    std::string refused;
    if (!definitionFilesSafe(ctx, pieces, &refused)) {
        /* as PROJ answers for a file it cannot find */
        setProjError(PROJ_ERR_INVALID_OP_FILE_NOT_FOUND_OR_INVALID, detail);
        return nullptr;
    }
    PJ *pj = proj_create(ctx, joined.c_str());
    if (pj == nullptr) {
        setProjError(proj_context_errno(ctx), detail);
    }
    return pj;
}

/* ---- set-up steps ---- */

/* Appends the entries that an init word names, through PROJ's classic
 * init rules. */
bool expandInit(PJ_CONTEXT *ctx, std::vector<ProjParam> &params, const ProjParam &init)
{
    std::string value = valueOf(init);
    if (value.empty() || !definitionValue(value)) {
        setError(PROJ_ERR_INVALID_OP_ILLEGAL_ARG_VALUE, "invalid init value: " + value);
        return false;
    }
    std::string piece = "init=" + value;
    std::string text = pieceText(piece);
    std::string refused;
    if (!definitionFilesSafe(ctx, {piece}, &refused)) {
        /* as PROJ answers for an init file it cannot find */
        setProjError(PROJ_ERR_INVALID_OP_ILLEGAL_ARG_VALUE, text.c_str());
        return false;
    }
    PJ *obj = createChecked(ctx, {piece}, text.c_str());
    if (obj == nullptr) {
        return false;
    }
    const char *definition = proj_as_proj_string(ctx, obj, PJ_PROJ_4, nullptr);
    std::string copy = definition != nullptr ? definition : "";
    proj_destroy(obj);
    if (copy.empty()) {
        setError(PROJ_ERR_INVALID_OP, "no classic definition for " + text);
        return false;
    }
    for (const std::string &word : readDefinition(copy)) {
        if (word != "type=crs") {
            addParam(params, word);
        }
    }
    return true;
}

/* Appends the entries of definition words, joined and read as PROJ reads
 * them (NULL words skipped). False, with the error set and nothing
 * appended, when a quote in them is not one that PROJ's programs read as
 * a value's. */
bool addWords(std::vector<ProjParam> &params, int argc, const char *const *argv)
{
    std::string text;
    for (int i = 0; i < argc && argv != nullptr; i++) {
        if (argv[i] != nullptr) {
            text += argv[i];
            text += ' ';
        }
    }
    std::string fault;
    std::vector<std::string> pieces = readDefinition(text, &fault);
    if (!fault.empty()) {
        setError(PROJ_ERR_INVALID_OP_ILLEGAL_ARG_VALUE, fault);
        return false;
    }
    for (const std::string &piece : pieces) {
        addParam(params, piece);
    }
    return true;
}

void addDefault(std::vector<ProjParam> &params, const char *word)
{
    if (findParam(params, keyOf(word)) == nullptr) {
        addParam(params, word);
    }
}

/* The classic defaults file's entries for keys not given. */
void addDefaults(std::vector<ProjParam> &params)
{
    bool hasEllipsoid = false;
    for (const char *key : kEllipsoidKeys) {
        hasEllipsoid = hasEllipsoid || findParam(params, key) != nullptr;
    }
    if (!hasEllipsoid) {
        addParam(params, "ellps=WGS84");
    }
    const ProjParam *proj = findParam(params, "proj");
    std::string name = proj != nullptr ? valueOf(*proj) : "";
    if (name == "lcc") {
        addDefault(params, "lat_1=33");
        addDefault(params, "lat_2=45");
    } else if (name == "aea") {
        addDefault(params, "lat_1=29.5");
        addDefault(params, "lat_2=45.5");
    } else if (name == "lagrng") {
        addDefault(params, "W=2");
    }
}

const DatumListEntry *findDatum(const char *id)
{
    for (const DatumListEntry *d = kDatums; d->id != nullptr; d++) {
        if (std::strcmp(d->id, id) == 0) {
            return d;
        }
    }
    return nullptr;
}

const PJ_ELLPS *findEllps(const char *id)
{
    for (const PJ_ELLPS *e = proj_list_ellps(); e->id != nullptr; e++) {
        if (std::strcmp(e->id, id) == 0) {
            return e;
        }
    }
    return nullptr;
}

/* es from one shape key given the semi-major axis; false when the key is
 * not a shape key. rf, f and b go through the flattening and 2f - f * f,
 * as PROJ derives es: f * (2 - f) or 1 - b * b / (a * a) round otherwise
 * in the last bit, and geodesics on the ellipsoid show it. */
bool shapeFrom(std::string_view key, double v, double a, double *es)
{
    if (key == "rf") {
        double f = v != 0 ? 1 / v : 0;
        *es = 2 * f - f * f;
    } else if (key == "f") {
        *es = 2 * v - v * v;
    } else if (key == "es") {
        *es = v;
    } else if (key == "e") {
        *es = v * v;
    } else if (key == "b") {
        double f = a != 0 ? (a - v) / a : 0;
        *es = 2 * f - f * f;
    } else {
        return false;
    }
    return true;
}

/* The ellipsoid as PROJ 9 reads it (PROJ has accepted the definition, so
 * it has one): R overrules everything; else the ellps entry, then a= for
 * the size, then the first of rf, f, es, e, b for the shape, then the
 * spherifications R_A ... R_lat_g. */
void readEllipsoid(ProjHandle &h)
{
    std::vector<ProjParam> &p = h.params;
    if (const ProjParam *r = findParam(p, "R")) {
        h.a = cStrtod(valueOf(*r));
        h.es = 0;
        return;
    }
    static const char *const shapeKeys[] = {"rf", "f", "es", "e", "b"};
    const ProjParam *ellps = findParam(p, "ellps");
    if (const PJ_ELLPS *entry = ellps != nullptr ? findEllps(valueOf(*ellps)) : nullptr) {
        h.a = cStrtod(entry->major + 2);
        std::string_view shape = entry->ell;
        std::size_t eq = shape.find('=');
        if (eq != std::string_view::npos) {
            shapeFrom(shape.substr(0, eq), cStrtod(entry->ell + eq + 1), h.a, &h.es);
        }
    }
    if (const ProjParam *a = findParam(p, "a")) {
        h.a = cStrtod(valueOf(*a));
    }
    for (const char *key : shapeKeys) {
        if (const ProjParam *s = findParam(p, key)) {
            shapeFrom(key, cStrtod(valueOf(*s)), h.a, &h.es);
            break;
        }
    }
    static const char *const spheres[] = {"R_A", "R_V", "R_a", "R_g", "R_h", "R_lat_a", "R_lat_g"};
    for (const char *key : spheres) {
        const ProjParam *s = findParam(p, key);
        if (s == nullptr) {
            continue;
        }
        double es = h.es;
        double b = h.a * std::sqrt(1 - es);
        std::string_view k = key;
        if (k == "R_A") {
            h.a *= 1 - es * (1.0 / 6 + es * (17.0 / 360 + es * 67.0 / 3024));
        } else if (k == "R_V") {
            h.a *= 1 - es * (1.0 / 6 + es * (5.0 / 72 + es * 55.0 / 1296));
        } else if (k == "R_a") {
            h.a = (h.a + b) / 2;
        } else if (k == "R_g") {
            h.a = std::sqrt(h.a * b);
        } else if (k == "R_h") {
            h.a = h.a + b != 0 ? 2 * h.a * b / (h.a + b) : 0;
        } else {
            double t = std::sin(angleOf(valueOf(*s)));
            t = 1 - es * t * t;
            if (t > 0) {
                h.a *= k == "R_lat_a" ? (1 - es + t) / (2 * t * std::sqrt(t)) : std::sqrt(1 - es) / t;
            }
        }
        h.es = 0;
        break;
    }
}

double adjlon(double lon)
{
    if (std::fabs(lon) <= M_PI) {
        return lon;
    }
    lon = std::fmod(lon + M_PI, 2 * M_PI);
    return lon < 0 ? lon + M_PI : lon - M_PI;
}

/* The classic fields of the projection's origin, scale and units, with the
 * values that utm and ups fix themselves. */
void readFields(ProjHandle &h)
{
    std::vector<ProjParam> &p = h.params;
    auto angle = [&](const char *key) {
        const ProjParam *e = findParam(p, key);
        double v = e != nullptr ? angleOf(valueOf(*e)) : 0;
        return v == HUGE_VAL ? 0 : v;
    };
    auto number = [&](const char *key, double otherwise) {
        const ProjParam *e = findParam(p, key);
        return e != nullptr ? cStrtod(valueOf(*e)) : otherwise;
    };
    h.lam0 = angle("lon_0");
    h.phi0 = angle("lat_0");
    h.x0 = number("x_0", 0);
    h.y0 = number("y_0", 0);
    h.k0 = findParam(p, "k_0") != nullptr ? number("k_0", 1) : number("k", 1);

    h.toMeter = 1;
    if (const ProjParam *units = findParam(p, "units")) {
        for (const PJ_UNITS *u = proj_list_units(); u->id != nullptr; u++) {
            if (std::strcmp(u->id, valueOf(*units)) == 0) {
                h.toMeter = u->factor;
                break;
            }
        }
    } else if (const ProjParam *t = findParam(p, "to_meter")) {
        const char *s = valueOf(*t);
        bool ratio = s[0] == '1' && s[1] == '/';
        double v = cStrtod(ratio ? s + 2 : s);
        if (v > 0) {
            h.toMeter = ratio ? 1 / v : v;
        }
    }
    h.frMeter = 1 / h.toMeter;

    const ProjParam *proj = findParam(p, "proj");
    std::string name = proj != nullptr ? valueOf(*proj) : "";
    bool south = findParam(p, "south") != nullptr;
    if (name == "utm") {
        long zone;
        if (const ProjParam *z = findParam(p, "zone")) {
            zone = std::strtol(valueOf(*z), nullptr, 10) - 1;
        } else {
            zone = std::lround(std::floor((adjlon(h.lam0) + M_PI) * 30 / M_PI));
            zone = zone < 0 ? 0 : zone > 59 ? 59 : zone;
        }
        h.lam0 = (static_cast<double>(zone) + 0.5) * M_PI / 30 - M_PI;
        h.phi0 = 0;
        h.x0 = 500000;
        h.y0 = south ? 10000000 : 0;
        h.k0 = 0.9996;
    } else if (name == "ups") {
        h.lam0 = 0;
        h.phi0 = south ? -M_PI_2 : M_PI_2;
        h.x0 = 2000000;
        h.y0 = 2000000;
        h.k0 = 0.994;
    }
}

/* The prime meridian: a name of PROJ's list or an angle. */
bool readPrimeMeridian(ProjHandle &h, ProjParam &pm)
{
    pm.used = true;
    const char *value = valueOf(pm);
    for (const PJ_PRIME_MERIDIANS *m = proj_list_prime_meridians(); m->id != nullptr; m++) {
        if (std::strcmp(m->id, value) == 0) {
            value = m->defn;
            break;
        }
    }
    h.fromGreenwich = angleOf(value);
    if (h.fromGreenwich == HUGE_VAL) {
        setError(PROJ_ERR_INVALID_OP_ILLEGAL_ARG_VALUE, std::string("invalid prime meridian: ") + valueOf(pm));
        return false;
    }
    return true;
}

/* One element of a towgs84 clause as PROJ reads it: a finite decimal
 * number, with blanks around it (PROJ drops blanks beside commas), no
 * hexadecimal, nan or inf. */
bool towgs84Number(const std::string &element, double *value)
{
    std::size_t start = element.find_first_not_of(" \t");
    std::size_t end = element.find_last_not_of(" \t");
    std::string text = start == std::string::npos ? std::string() : element.substr(start, end - start + 1);
    if (text.empty() || text.find_first_not_of("0123456789+-.eE") != std::string::npos) {
        return false;
    }
    return cWholeNumber(text.c_str(), value) && std::isfinite(*value);
}

/* The datum as the classic library set it: a nadgrids list makes a grid
 * shift, towgs84 three or seven parameters (WGS84 when zero shifts meet
 * the WGS84 or GRS80 ellipsoid). A towgs84 clause in force with an element
 * that is no number, or with another count than 3 or 7, is refused as
 * PROJ refuses it: false with the error set. */
bool readDatum(ProjHandle &h)
{
    if (ProjParam *grids = findParam(h.params, "nadgrids")) {
        grids->used = true;
        h.datumType = PROJ_DATUM_GRIDSHIFT;
        h.nadgrids = valueOf(*grids);
        return true;
    }
    ProjParam *towgs84 = findParam(h.params, "towgs84");
    if (towgs84 == nullptr) {
        return true;
    }
    towgs84->used = true;
    std::string clause = valueOf(*towgs84);
    std::vector<double> values;
    std::size_t start = 0;
    while (true) {
        std::size_t comma = clause.find(',', start);
        std::string element = clause.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        double v;
        if (!towgs84Number(element, &v)) {
            setError(PROJ_ERR_INVALID_OP_ILLEGAL_ARG_VALUE, "non numerical value in towgs84 clause: " + clause);
            return false;
        }
        values.push_back(v);
        if (comma == std::string::npos) {
            break;
        }
        start = comma + 1;
    }
    if (values.size() != 3 && values.size() != 7) {
        setError(PROJ_ERR_INVALID_OP_ILLEGAL_ARG_VALUE, "invalid number of elements in towgs84 clause: " + clause);
        return false;
    }
    double *d = h.datumParams;
    for (std::size_t i = 0; i < values.size(); i++) {
        d[i] = values[i];
    }
    if (d[3] != 0 || d[4] != 0 || d[5] != 0 || d[6] != 0) {
        h.datumType = PROJ_DATUM_7PARAM;
        d[3] *= kSecToRad;
        d[4] *= kSecToRad;
        d[5] *= kSecToRad;
        d[6] = d[6] / 1000000.0 + 1;
    } else {
        h.datumType = PROJ_DATUM_3PARAM;
    }
    if (h.datumType == PROJ_DATUM_3PARAM && d[0] == 0 && d[1] == 0 && d[2] == 0 && h.a == kWgs84A &&
        std::fabs(h.es - kWgs84Es) < kEsTolerance) {
        h.datumType = PROJ_DATUM_WGS84;
    }
    return true;
}

/* ---- grids ---- */

/* An hgridshift over the grids of a nadgrids list that load: every name
 * without "@" must load, "@" names that do not are skipped, and at least
 * one must be left. NULL with the error set otherwise. */
PJ *openGridList(PJ_CONTEXT *ctx, const std::string &list)
{
    /* the list is one value as PROJ reads it, or no list */
    std::string piece = "nadgrids=" + list;
    if (!definitionValue(list) || readDefinition(pieceText(piece)) != std::vector<std::string>{piece}) {
        setError(PROJ_ERR_INVALID_OP_FILE_NOT_FOUND_OR_INVALID, "invalid grid list: " + list);
        return nullptr;
    }
    std::string loadable;
    for (const std::string &item : splitText(list, ',')) {
        bool optional = item[0] == '@';
        std::string name = optional ? item.substr(1) : item;
        if (name.empty()) {
            continue;
        }
        std::string refused;
        if (!definitionFilesSafe(ctx, {"nadgrids=" + name}, &refused)) {
            if (optional) {
                continue;
            }
            setProjError(PROJ_ERR_INVALID_OP_FILE_NOT_FOUND_OR_INVALID, list.c_str());
            return nullptr;
        }
        if (optional) {
            int keptErrno = layer().lastErrno;
            std::string keptError = layer().lastError;
            PJ *probe = quietly(ctx, [&] { return createChecked(ctx, {"proj=hgridshift", "grids=" + name}); });
            if (probe == nullptr) {
                setError(keptErrno, keptError); /* a missing optional grid is no error */
                continue;
            }
            proj_destroy(probe);
        }
        loadable += loadable.empty() ? "" : ",";
        loadable += name;
    }
    if (loadable.empty()) {
        setProjError(PROJ_ERR_INVALID_OP_FILE_NOT_FOUND_OR_INVALID, list.c_str());
        return nullptr;
    }
    return createChecked(ctx, {"proj=hgridshift", "grids=" + loadable}, list.c_str());
}

/* Shifts lam, phi through an hgridshift; false with the error set when
 * the point lies outside every grid. */
bool shiftThrough(PJ *grids, PJ_DIRECTION direction, double *lam, double *phi)
{
    proj_errno_reset(grids);
    PJ_COORD c = proj_trans(grids, direction, proj_coord(*lam, *phi, 0, 0));
    if (!std::isfinite(c.v[0]) || !std::isfinite(c.v[1])) {
        int code = proj_errno(grids);
        setProjError(code != 0 ? code : PROJ_ERR_COORD_TRANSFM_OUTSIDE_GRID);
        return false;
    }
    *lam = c.v[0];
    *phi = c.v[1];
    return true;
}

/* ---- geocentric shifts ---- */

/* PROJ's geodetic <-> geocentric conversion for one ellipsoid, from a cache
 * of the 32 latest; keep is never evicted. */
PJ *cartFor(PJ_CONTEXT *ctx, double a, double es, const PJ *keep = nullptr)
{
    Layer &l = layer();
    for (const Layer::Cart &c : l.carts) {
        if (c.a == a && c.es == es) {
            return c.pj;
        }
    }
    PJ *pj =
        createChecked(ctx, {"proj=cart", "a=" + formatDouble(a), "es=" + formatDouble(es)}, "geocentric conversion");
    if (pj == nullptr) {
        return nullptr;
    }
    if (l.carts.size() >= 32) {
        /* The oldest goes, unless the caller still holds it. */
        auto victim = l.carts.begin();
        if (victim->pj == keep) {
            ++victim;
        }
        proj_destroy(victim->pj);
        l.carts.erase(victim);
    }
    l.carts.push_back({a, es, pj});
    return pj;
}

bool convert(PJ *pj, PJ_DIRECTION direction, double *x, double *y, double *z)
{
    proj_errno_reset(pj);
    PJ_COORD c = proj_trans(pj, direction, proj_coord(*x, *y, *z, 0));
    /* PROJ answers HUGE_VAL for a point it refuses, and sometimes NaN. */
    if (!std::isfinite(c.v[0]) || !std::isfinite(c.v[1]) || !std::isfinite(c.v[2])) {
        int code = proj_errno(pj);
        setProjError(code != 0 ? code : PROJ_ERR_COORD_TRANSFM_OUTSIDE_PROJECTION_DOMAIN);
        return false;
    }
    *x = c.v[0];
    *y = c.v[1];
    *z = c.v[2];
    return true;
}

/* Geocentric coordinates of the datum to WGS84 (position vector rotation
 * with small angles, as the classic library). */
void toWgs84(const ProjHandle &h, double *x, double *y, double *z)
{
    const double *d = h.datumParams;
    if (h.datumType == PROJ_DATUM_3PARAM) {
        *x += d[0];
        *y += d[1];
        *z += d[2];
    } else if (h.datumType == PROJ_DATUM_7PARAM) {
        double xi = *x, yi = *y, zi = *z;
        *x = d[6] * (xi - d[5] * yi + d[4] * zi) + d[0];
        *y = d[6] * (d[5] * xi + yi - d[3] * zi) + d[1];
        *z = d[6] * (-d[4] * xi + d[3] * yi + zi) + d[2];
    }
}

void fromWgs84(const ProjHandle &h, double *x, double *y, double *z)
{
    const double *d = h.datumParams;
    if (h.datumType == PROJ_DATUM_3PARAM) {
        *x -= d[0];
        *y -= d[1];
        *z -= d[2];
    } else if (h.datumType == PROJ_DATUM_7PARAM) {
        double xt = (*x - d[0]) / d[6];
        double yt = (*y - d[1]) / d[6];
        double zt = (*z - d[2]) / d[6];
        *x = xt + d[5] * yt - d[4] * zt;
        *y = -d[5] * xt + yt + d[3] * zt;
        *z = d[4] * xt - d[3] * yt + zt;
    }
}

bool sameDatum(const ProjHandle &s, const ProjHandle &d)
{
    if (s.datumType != d.datumType || s.a != d.a || std::fabs(s.es - d.es) > kEsTolerance) {
        return false;
    }
    if (s.datumType == PROJ_DATUM_3PARAM || s.datumType == PROJ_DATUM_7PARAM) {
        int n = s.datumType == PROJ_DATUM_3PARAM ? 3 : 7;
        for (int i = 0; i < n; i++) {
            if (s.datumParams[i] != d.datumParams[i]) {
                return false;
            }
        }
        return true;
    }
    if (s.datumType == PROJ_DATUM_GRIDSHIFT) {
        return s.nadgrids == d.nadgrids;
    }
    return true;
}

/* Opens the handle's grids at first use. A list that failed is tried again
 * only after the search paths changed; until then its error comes back
 * without searching the folders for every point. */
bool loadGrids(PJ_CONTEXT *ctx, ProjHandle &h)
{
    if (h.grids != nullptr) {
        return true;
    }
    if (context() == nullptr) { /* the search paths as the script has them now */
        return false;
    }
    Layer &l = layer();
    if (h.gridsFailed && h.failedPaths == l.appliedPaths) {
        setError(h.failedErrno, h.failedError);
        return false;
    }
    h.grids = openGridList(ctx, h.nadgrids);
    h.gridsFailed = h.grids == nullptr;
    if (h.gridsFailed) {
        h.failedPaths = l.appliedPaths;
        h.failedErrno = l.lastErrno;
        h.failedError = l.lastError;
    }
    return h.grids != nullptr;
}

/* The classic datum transformation of one geodetic point (radians, height
 * in metres). */
bool datumTransform(PJ_CONTEXT *ctx, ProjHandle &src, ProjHandle &dst, double *lam, double *phi, double *z)
{
    if (src.datumType == PROJ_DATUM_UNKNOWN || dst.datumType == PROJ_DATUM_UNKNOWN || sameDatum(src, dst)) {
        return true;
    }
    double srcA = src.a, srcEs = src.es, dstA = dst.a, dstEs = dst.es;
    if (src.datumType == PROJ_DATUM_GRIDSHIFT) {
        if (!loadGrids(ctx, src) || !shiftThrough(src.grids, PJ_FWD, lam, phi)) {
            return false;
        }
        srcA = kWgs84A;
        srcEs = kWgs84Es;
    }
    if (dst.datumType == PROJ_DATUM_GRIDSHIFT) {
        if (!loadGrids(ctx, dst)) {
            return false;
        }
        dstA = kWgs84A;
        dstEs = kWgs84Es;
    }
    bool shifted = src.datumType == PROJ_DATUM_3PARAM || src.datumType == PROJ_DATUM_7PARAM ||
                   dst.datumType == PROJ_DATUM_3PARAM || dst.datumType == PROJ_DATUM_7PARAM;
    if (srcEs != dstEs || srcA != dstA || shifted) {
        PJ *from = cartFor(ctx, srcA, srcEs);
        PJ *to = cartFor(ctx, dstA, dstEs, from);
        double x = *lam, y = *phi, h = *z;
        if (from == nullptr || to == nullptr || !convert(from, PJ_FWD, &x, &y, &h)) {
            return false;
        }
        toWgs84(src, &x, &y, &h);
        fromWgs84(dst, &x, &y, &h);
        if (!convert(to, PJ_INV, &x, &y, &h)) {
            return false;
        }
        *lam = x;
        *phi = y;
        *z = h;
    }
    if (dst.datumType == PROJ_DATUM_GRIDSHIFT && !shiftThrough(dst.grids, PJ_INV, lam, phi)) {
        return false;
    }
    return true;
}

/* ---- lists ---- */

template <class T>
int countOf(const T *list)
{
    int n = 0;
    while (list != nullptr && list[n].id != nullptr) {
        n++;
    }
    return n;
}

template <class T>
const T *nextOf(const T *entry)
{
    return entry != nullptr && entry->id != nullptr ? entry + 1 : nullptr;
}

template <class T>
const T *entryOf(const T *list, int count, int index)
{
    return index < 0 || index > count ? nullptr : list + index;
}

template <class T>
int indexOf(const T *list, const char *id)
{
    if (id == nullptr) {
        return -1;
    }
    for (int i = 0; list != nullptr && list[i].id != nullptr; i++) {
        if (std::strcmp(list[i].id, id) == 0) {
            return i;
        }
    }
    return -1;
}

const PJ_OPERATIONS *ops(const ProjListEntry *e)
{
    return reinterpret_cast<const PJ_OPERATIONS *>(e);
}
const ProjListEntry *opsEntry(const PJ_OPERATIONS *e)
{
    return reinterpret_cast<const ProjListEntry *>(e);
}
const PJ_ELLPS *ell(const EllpsListEntry *e)
{
    return reinterpret_cast<const PJ_ELLPS *>(e);
}
const EllpsListEntry *ellEntry(const PJ_ELLPS *e)
{
    return reinterpret_cast<const EllpsListEntry *>(e);
}
const PJ_UNITS *unit(const UnitsListEntry *e)
{
    return reinterpret_cast<const PJ_UNITS *>(e);
}
const UnitsListEntry *unitEntry(const PJ_UNITS *e)
{
    return reinterpret_cast<const UnitsListEntry *>(e);
}

}  // namespace

/* ---- set-up and release ---- */

ProjHandle *projInit(int argc, const char *const *argv)
{
    clearError();
    PJ_CONTEXT *ctx = context();
    if (ctx == nullptr) {
        if (projErrno() == 0) {
            setError(PROJ_ERR_OTHER, "cannot create the PROJ context");
        }
        return nullptr;
    }
    auto h = std::make_unique<ProjHandle>();
    std::vector<ProjParam> &p = h->params;
    if (!addWords(p, argc, argv)) {
        return nullptr;
    }
    if (ProjParam *init = findParam(p, "init")) {
        init->used = true;
        ProjParam copy = *init;
        if (!expandInit(ctx, p, copy)) {
            return nullptr;
        }
    }
    if (findParam(p, "no_defs") == nullptr) {
        addDefaults(p);
    }
    if (ProjParam *datum = findParam(p, "datum")) {
        datum->used = true;
        const DatumListEntry *d = findDatum(valueOf(*datum));
        if (d == nullptr) {
            setError(PROJ_ERR_INVALID_OP_ILLEGAL_ARG_VALUE, std::string("unknown datum: ") + valueOf(*datum));
            return nullptr;
        }
        addParam(p, std::string("ellps=") + d->ellipseId);
        addParam(p, d->defn);
    }
    if (findParam(p, "proj") == nullptr) {
        setError(PROJ_ERR_INVALID_OP_MISSING_ARG, "projection not named");
        return nullptr;
    }

    /* PROJ gets the first entry of every key it can take. */
    std::vector<std::string> words;
    std::vector<ProjParam *> passed;
    for (ProjParam &e : p) {
        std::string_view key = keyOf(e.text);
        bool layerKey = false;
        for (const char *k : kLayerKeys) {
            layerKey = layerKey || key == k;
        }
        if (!layerKey && isPlainKey(key) && findParam(p, key) == &e) {
            words.push_back(e.text);
            passed.push_back(&e);
        }
    }
    h->pj = createChecked(ctx, words);
    if (h->pj == nullptr) {
        return nullptr;
    }
    if (proj_is_crs(h->pj)) {
        setError(PROJ_ERR_INVALID_OP_WRONG_SYNTAX, "not a projection");
        projFree(h.release());
        return nullptr;
    }

    PJ_PROJ_INFO info = proj_pj_info(h->pj);
    h->inverse = info.has_inverse != 0;
    std::string id = info.id != nullptr ? info.id : "";
    h->latLong = id == "latlong" || id == "longlat" || id == "latlon" || id == "lonlat";
    std::vector<std::string> usedWords = readDefinition(info.definition != nullptr ? info.definition : "");
    for (ProjParam *e : passed) {
        for (const std::string &u : usedWords) {
            if (u == e->text) {
                e->used = true;
                break;
            }
        }
    }

    readEllipsoid(*h);
    h->e = std::sqrt(h->es > 0 ? h->es : 0);
    readFields(*h);
    if (ProjParam *pm = findParam(p, "pm")) {
        if (!readPrimeMeridian(*h, *pm)) {
            projFree(h.release());
            return nullptr;
        }
    }
    if (!readDatum(*h)) {
        projFree(h.release());
        return nullptr;
    }

    for (std::size_t i = 0; i + 1 < p.size(); i++) {
        p[i].next = &p[i + 1];
    }
    return h.release();
}

void projFree(ProjHandle *handle)
{
    if (handle == nullptr) {
        return;
    }
    if (handle->grids != nullptr) {
        proj_destroy(handle->grids);
    }
    if (handle->pj != nullptr) {
        proj_destroy(handle->pj);
    }
    delete handle;
}

namespace {

/* The value of a handle's first entry of key ("" for a flag), or NULL. */
const char *paramValueOf(const ProjHandle *h, const char *key)
{
    std::size_t n = std::strlen(key);
    for (const ProjParam *e = projParamFirst(h); e != nullptr; e = projParamNext(e)) {
        const char *text = projParamText(e);
        if (std::strncmp(text, key, n) == 0 && (text[n] == '=' || text[n] == '\0')) {
            return text[n] == '=' ? text + n + 1 : "";
        }
    }
    return nullptr;
}

}  // namespace

ProjHandle *projLatLongFrom(const ProjHandle *h)
{
    if (h == nullptr) {
        setError(PROJ_ERR_OTHER_API_MISUSE, "no projection");
        return nullptr;
    }
    std::vector<std::string> words{"proj=latlong"};
    bool gotDatum = false;
    if (const char *v = paramValueOf(h, "datum")) {
        words.push_back(std::string("datum=") + v);
        gotDatum = true;
    } else if (const char *v = paramValueOf(h, "ellps")) {
        words.push_back(std::string("ellps=") + v);
    } else if (const char *v = paramValueOf(h, "a")) {
        words.push_back(std::string("a=") + v);
        if (const char *b = paramValueOf(h, "b")) {
            words.push_back(std::string("b=") + b);
        } else if (const char *es = paramValueOf(h, "es")) {
            words.push_back(std::string("es=") + es);
        } else if (const char *f = paramValueOf(h, "f")) {
            words.push_back(std::string("f=") + f);
        } else {
            double e = projGetE(h);
            words.push_back(cFormat("es=%.16g", e * e));
        }
    } else {
        setError(PROJ_ERR_INVALID_OP_MISSING_ARG, "major axis or radius = 0 or not given");
        return nullptr;
    }
    if (!gotDatum) {
        for (const char *key : {"towgs84", "nadgrids"}) {
            if (const char *v = paramValueOf(h, key)) {
                words.push_back(std::string(key) + "=" + v);
            }
        }
    }
    for (const char *key : {"R", "R_A", "R_V", "R_a", "R_lat_a", "R_lat_g", "pm"}) {
        if (const char *v = paramValueOf(h, key)) {
            words.push_back(*v != '\0' ? std::string(key) + "=" + v : std::string(key));
        }
    }
    /* as text that reads back as these pieces: a value with a blank quoted */
    std::vector<const char *> argv;
    argv.reserve(words.size());
    for (std::string &w : words) {
        w = pieceText(w);
        argv.push_back(w.c_str());
    }
    return projInit(static_cast<int>(argv.size()), argv.data());
}

int projEllSet(int argc, const char *const *argv, double *a, double *es)
{
    ProjHandle h;
    if (!addWords(h.params, argc, argv)) {
        setError(PROJ_ERR_INVALID_OP_ILLEGAL_ARG_VALUE, std::string("ellipse setup failure: ") + projErrorText());
        return 1;
    }
    const char *refused = nullptr;
    const ProjParam *ellps = findParam(h.params, "ellps");
    const ProjParam *rf = findParam(h.params, "rf");
    const ProjParam *f = findParam(h.params, "f");
    if (ellps != nullptr && findParam(h.params, "R") == nullptr && findEllps(valueOf(*ellps)) == nullptr) {
        refused = "unknown ellipsoid";
    } else if (rf != nullptr && !(cStrtod(valueOf(*rf)) > 0)) {
        refused = "rf must be above 0";
    } else if (f != nullptr && !(cStrtod(valueOf(*f)) >= 0 && cStrtod(valueOf(*f)) < 1)) {
        refused = "f must be in [0, 1)";
    } else {
        readEllipsoid(h);
        if (!(h.a > 0) || !std::isfinite(h.a)) {
            refused = "major axis or radius not given or not above 0";
        } else if (h.a > kMaxEllipsoidAxis) {
            refused = "major axis or radius over 1e10 metres";
        } else if (!(h.es >= 0 && h.es < 1)) {
            refused = "eccentricity squared must be in [0, 1)";
        }
    }
    if (refused != nullptr) {
        setError(PROJ_ERR_INVALID_OP_ILLEGAL_ARG_VALUE, std::string("ellipse setup failure: ") + refused);
        return 1;
    }
    clearError();
    *a = h.a;
    *es = h.es;
    return 0;
}

/* ---- projecting ---- */

int projHasInverse(const ProjHandle *handle)
{
    return handle != nullptr && handle->inverse ? 1 : 0;
}

int projIsLatLong(const ProjHandle *handle)
{
    return handle != nullptr && handle->latLong ? 1 : 0;
}

void projFwd(ProjHandle *handle, double lam, double phi, double *x, double *y)
{
    double z = 0;
    *x = lam;
    *y = phi;
    clearError();
    if (handle == nullptr || handle->pj == nullptr) {
        setError(PROJ_ERR_OTHER_API_MISUSE, "no projection");
        *x = *y = HUGE_VAL;
    } else if (!convert(handle->pj, PJ_FWD, x, y, &z)) {
        *x = *y = HUGE_VAL;
    }
}

void projInv(ProjHandle *handle, double x, double y, double *lam, double *phi)
{
    double z = 0;
    *lam = x;
    *phi = y;
    clearError();
    if (handle == nullptr || handle->pj == nullptr) {
        setError(PROJ_ERR_OTHER_API_MISUSE, "no projection");
        *lam = *phi = HUGE_VAL;
    } else if (!handle->inverse) {
        setProjError(PROJ_ERR_OTHER_NO_INVERSE_OP);
        *lam = *phi = HUGE_VAL;
    } else if (!convert(handle->pj, PJ_INV, lam, phi, &z)) {
        *lam = *phi = HUGE_VAL;
    }
}

int projTransform(ProjHandle *src, ProjHandle *dst, double x, double y, double z, double *ox, double *oy, double *oz)
{
    clearError();
    PJ_CONTEXT *ctx = context(false);
    if (src == nullptr || dst == nullptr || src->pj == nullptr || dst->pj == nullptr || ctx == nullptr) {
        setError(PROJ_ERR_OTHER_API_MISUSE, "no projection");
        return layer().lastErrno;
    }
    if (!std::isfinite(x) || !std::isfinite(y) || !std::isfinite(z)) {
        setProjError(PROJ_ERR_COORD_TRANSFM_INVALID_COORD);
        return layer().lastErrno;
    }
    if (!src->latLong) {
        if (!src->inverse) {
            setProjError(PROJ_ERR_OTHER_NO_INVERSE_OP);
            return layer().lastErrno;
        }
        if (!convert(src->pj, PJ_INV, &x, &y, &z)) {
            return layer().lastErrno;
        }
    }
    x += src->fromGreenwich;
    if (!datumTransform(ctx, *src, *dst, &x, &y, &z)) {
        return layer().lastErrno;
    }
    x -= dst->fromGreenwich;
    if (!dst->latLong && !convert(dst->pj, PJ_FWD, &x, &y, &z)) {
        return layer().lastErrno;
    }
    *ox = x;
    *oy = y;
    if (oz != nullptr) {
        *oz = z;
    }
    return 0;
}

/* ---- grids ---- */

NadTable *nadTableOpen(const char *name)
{
    clearError();
    if (name == nullptr) {
        setError(PROJ_ERR_OTHER_API_MISUSE, "no grid name");
        return nullptr;
    }
    /* a list given alone is one word: no blank, no quote */
    if (!plainValue(name)) {
        setError(PROJ_ERR_INVALID_OP_FILE_NOT_FOUND_OR_INVALID, std::string("invalid grid list: ") + name);
        return nullptr;
    }
    PJ_CONTEXT *ctx = context();
    if (ctx == nullptr) {
        return nullptr;
    }
    PJ *pj = openGridList(ctx, name);
    return pj != nullptr ? new NadTable{pj} : nullptr;
}

void nadTableFree(NadTable *table)
{
    if (table != nullptr) {
        proj_destroy(table->pj);
        delete table;
    }
}

void nadShiftFwd(NadTable *table, double lam, double phi, double *outLam, double *outPhi)
{
    clearError();
    if (table == nullptr || !shiftThrough(table->pj, PJ_FWD, &lam, &phi)) {
        lam = phi = HUGE_VAL;
    }
    *outLam = lam;
    *outPhi = phi;
}

void nadShiftInv(NadTable *table, double lam, double phi, double *outLam, double *outPhi)
{
    clearError();
    if (table == nullptr || !shiftThrough(table->pj, PJ_INV, &lam, &phi)) {
        lam = phi = HUGE_VAL;
    }
    *outLam = lam;
    *outPhi = phi;
}

/* ---- fields ---- */

double projGetA(const ProjHandle *h)
{
    return h != nullptr ? h->a : 0;
}
double projGetE(const ProjHandle *h)
{
    return h != nullptr ? h->e : 0;
}
double projGetLam0(const ProjHandle *h)
{
    return h != nullptr ? h->lam0 : 0;
}
double projGetPhi0(const ProjHandle *h)
{
    return h != nullptr ? h->phi0 : 0;
}
double projGetX0(const ProjHandle *h)
{
    return h != nullptr ? h->x0 : 0;
}
double projGetY0(const ProjHandle *h)
{
    return h != nullptr ? h->y0 : 0;
}
double projGetK0(const ProjHandle *h)
{
    return h != nullptr ? h->k0 : 0;
}
double projGetToMeter(const ProjHandle *h)
{
    return h != nullptr ? h->toMeter : 0;
}
double projGetFrMeter(const ProjHandle *h)
{
    return h != nullptr ? h->frMeter : 0;
}

const char *projDatumTypeName(const ProjHandle *handle)
{
    switch (handle != nullptr ? handle->datumType : PROJ_DATUM_UNKNOWN) {
    case PROJ_DATUM_3PARAM: return "3PARAM";
    case PROJ_DATUM_7PARAM: return "7PARAM";
    case PROJ_DATUM_GRIDSHIFT: return "GRIDSHIFT";
    case PROJ_DATUM_WGS84: return "WGS84";
    default: return "UNKNOWN";
    }
}

const double *projDatumParams(const ProjHandle *handle, int *count)
{
    static const double none[7] = {};
    if (count != nullptr) {
        *count = 7;
    }
    return handle != nullptr ? handle->datumParams : none;
}

/* ---- parameter entries ---- */

const ProjParam *projParamFirst(const ProjHandle *handle)
{
    return handle != nullptr && !handle->params.empty() ? &handle->params.front() : nullptr;
}

const ProjParam *projParamNext(const ProjParam *entry)
{
    return entry != nullptr ? entry->next : nullptr;
}

const char *projParamText(const ProjParam *entry)
{
    return entry != nullptr ? entry->text.c_str() : nullptr;
}

int projParamUsed(const ProjParam *entry)
{
    return entry != nullptr && entry->used ? 1 : 0;
}

void projParams(Tcl_Interp *interp, const ProjHandle *h)
{
    if (h == nullptr) {
        return;
    }
    Tcl_AppendElement(interp, fmt("a %f", h->a));
    Tcl_AppendElement(interp, fmt("e %f", h->e));
    Tcl_AppendElement(interp, fmt("lam0 %f", h->lam0));
    Tcl_AppendElement(interp, fmt("phi0 %f", h->phi0));
    Tcl_AppendElement(interp, fmt("x0 %f", h->x0));
    Tcl_AppendElement(interp, fmt("y0 %f", h->y0));
    Tcl_AppendElement(interp, fmt("k0 %f", h->k0));
    Tcl_AppendElement(interp, fmt("to_meter %f", h->toMeter));
    Tcl_AppendElement(interp, fmt("fr_meter %f", h->frMeter));
    Tcl_AppendElement(interp, fmt("datum_type %s", projDatumTypeName(h)));
    const double *d = h->datumParams;
    Tcl_AppendElement(interp, fmt("datum_params %f %f %f %f %f %f %f", d[0], d[1], d[2], d[3], d[4], d[5], d[6]));
}

/* ---- lists ---- */

const ProjListEntry *projListFirst(void)
{
    return opsEntry(proj_list_operations());
}
const ProjListEntry *projListNext(const ProjListEntry *e)
{
    return opsEntry(nextOf(ops(e)));
}
int projListCount(void)
{
    return countOf(proj_list_operations());
}
const ProjListEntry *projListEntry(int i)
{
    return opsEntry(entryOf(proj_list_operations(), projListCount(), i));
}
int projListIndex(const char *id)
{
    return indexOf(proj_list_operations(), id);
}
const char *projListId(const ProjListEntry *e)
{
    return e != nullptr ? ops(e)->id : nullptr;
}

const char *projListDescr(const ProjListEntry *e)
{
    return e != nullptr && ops(e)->id != nullptr && ops(e)->descr != nullptr ? *ops(e)->descr : nullptr;
}

const EllpsListEntry *ellpsListFirst(void)
{
    return ellEntry(proj_list_ellps());
}
const EllpsListEntry *ellpsListNext(const EllpsListEntry *e)
{
    return ellEntry(nextOf(ell(e)));
}
int ellpsListCount(void)
{
    return countOf(proj_list_ellps());
}
const EllpsListEntry *ellpsListEntry(int i)
{
    return ellEntry(entryOf(proj_list_ellps(), ellpsListCount(), i));
}
int ellpsListIndex(const char *id)
{
    return indexOf(proj_list_ellps(), id);
}
const char *ellpsListId(const EllpsListEntry *e)
{
    return e != nullptr ? ell(e)->id : nullptr;
}
const char *ellpsListMajor(const EllpsListEntry *e)
{
    return e != nullptr ? ell(e)->major : nullptr;
}
const char *ellpsListEll(const EllpsListEntry *e)
{
    return e != nullptr ? ell(e)->ell : nullptr;
}
const char *ellpsListName(const EllpsListEntry *e)
{
    return e != nullptr ? ell(e)->name : nullptr;
}

const UnitsListEntry *unitsListFirst(void)
{
    return unitEntry(proj_list_units());
}
const UnitsListEntry *unitsListNext(const UnitsListEntry *e)
{
    return unitEntry(nextOf(unit(e)));
}
int unitsListCount(void)
{
    return countOf(proj_list_units());
}
const UnitsListEntry *unitsListEntry(int i)
{
    return unitEntry(entryOf(proj_list_units(), unitsListCount(), i));
}
int unitsListIndex(const char *id)
{
    return indexOf(proj_list_units(), id);
}
const char *unitsListId(const UnitsListEntry *e)
{
    return e != nullptr ? unit(e)->id : nullptr;
}
const char *unitsListToMeter(const UnitsListEntry *e)
{
    return e != nullptr ? unit(e)->to_meter : nullptr;
}
const char *unitsListName(const UnitsListEntry *e)
{
    return e != nullptr ? unit(e)->name : nullptr;
}

const DatumListEntry *datumListFirst(void)
{
    return kDatums;
}
const DatumListEntry *datumListNext(const DatumListEntry *e)
{
    return nextOf(e);
}
int datumListCount(void)
{
    return countOf(kDatums);
}
const DatumListEntry *datumListEntry(int i)
{
    return entryOf(kDatums, datumListCount(), i);
}
int datumListIndex(const char *id)
{
    return indexOf(kDatums, id);
}
const char *datumListId(const DatumListEntry *e)
{
    return e != nullptr ? e->id : nullptr;
}
const char *datumListEllipse(const DatumListEntry *e)
{
    return e != nullptr ? e->ellipseId : nullptr;
}
const char *datumListDefn(const DatumListEntry *e)
{
    return e != nullptr ? e->defn : nullptr;
}
const char *datumListComments(const DatumListEntry *e)
{
    return e != nullptr ? e->comments : nullptr;
}

int projDbLinearUnits(void (*each)(void *data, const char *id, double toMeter, const char *name), void *data)
{
    PJ_CONTEXT *ctx = context();
    if (ctx == nullptr) {
        return 0;
    }
    int count = 0, n = 0;
    PROJ_UNIT_INFO **units = proj_get_units_from_database(ctx, nullptr, "linear", 0, &count);
    for (int i = 0; units != nullptr && units[i] != nullptr; i++) {
        if (units[i]->proj_short_name != nullptr) {
            each(data, units[i]->proj_short_name, units[i]->conv_factor, units[i]->name);
            n++;
        }
    }
    proj_unit_list_destroy(units);
    return n;
}

/* ---- degree-minute-second text, scale factors ---- */

namespace {

/* The precision of projRtodms: seconds scaled by res, the conversion
 * from radians to those units, and the fixed widths. */
struct DmsPrecision {
    int fract = 3;
    bool fixed = false;
    double res = 1000.0;
    double res60 = 60000.0;
    double conv = 180.0 * 3600.0 * 1000.0 / M_PI;
};

DmsPrecision &dmsPrecision()
{
    static DmsPrecision precision;
    return precision;
}

}  // namespace

void projSetRtodms(int fract, int conW)
{
    if (fract < 0 || fract >= 9) {
        return;
    }
    DmsPrecision &d = dmsPrecision();
    d.fract = fract;
    d.fixed = conW != 0;
    d.res = 1.0;
    for (int i = 0; i < fract; i++) {
        d.res *= 10.0;
    }
    d.res60 = d.res * 60.0;
    d.conv = 180.0 * 3600.0 * d.res / M_PI;
}

void projResetRtodms(void)
{
    dmsPrecision() = DmsPrecision();
}

char *projRtodms(char *buffer, double r, int pos, int neg)
{
    const DmsPrecision &d = dmsPrecision();
    char *s = buffer;
    if (!std::isfinite(r)) {
        /* no angle: a mark, never digits made from infinities */
        std::strcpy(buffer, "*");
        return buffer;
    }
    /* A huge angle overflows in the seconds' units: no angle either, and
     * nothing below may turn an infinity or NaN into an integer. */
    double units = std::floor(std::fabs(r) * d.conv + 0.5);
    if (!std::isfinite(units)) {
        std::strcpy(buffer, "*");
        return buffer;
    }
    int sign;
    if (r < 0) {
        if (pos == 0) {
            *s++ = '-';
            sign = 0;
        } else {
            sign = neg;
        }
    } else {
        sign = pos;
    }
    r = units;
    double sec = std::fmod(r / d.res, 60.0);
    r = std::floor(r / d.res60);
    int min = static_cast<int>(std::fmod(r, 60.0));
    r = std::floor(r / 60.0);
    /* Degrees beyond an int are no angle; keep the text bounded. */
    long long deg = std::isfinite(r) && std::fabs(r) < 1e15 ? static_cast<long long>(r) : 0;
    std::string letter = sign != 0 ? std::string(1, static_cast<char>(sign)) : std::string();
    std::string text;
    if (d.fixed) {
        text = cFormat("%lldd%02d'%0*.*f\"", deg, min, d.fract + 2 + (d.fract != 0 ? 1 : 0), d.fract, sec) + letter;
    } else if (sec != 0) {
        text = cFormat("%lldd%d'%.*f", deg, min, d.fract, sec);
        /* drop trailing zeros, and the point when nothing follows it */
        std::size_t end = text.size();
        while (end > 0 && text[end - 1] == '0') {
            end--;
        }
        if (end > 0 && text[end - 1] == '.') {
            end--;
        }
        text.resize(end);
        text += '"';
        text += letter;
    } else if (min != 0) {
        text = cFormat("%lldd%d'", deg, min) + letter;
    } else {
        text = cFormat("%lldd", deg) + letter;
    }
    std::size_t room = 63 - static_cast<std::size_t>(s - buffer);
    std::size_t n = std::min(text.size(), room);
    std::memcpy(s, text.data(), n);
    s[n] = '\0';
    return buffer;
}

namespace {

/* The plain decimal degrees that input lines are mostly made of: blanks
 * or tabs, a sign, at most 15 digits with or without a point, then a
 * blank, tab, newline or the end. The digits make an integer below 2^53
 * and the divisor a power of ten a double holds exactly, so the quotient
 * is the correctly rounded number strtod reads; in radians as the
 * library's reader makes them (degrees times pi / 180). Answers false for
 * anything else (exponents, more digits, minutes and seconds, hemisphere
 * letters, other ends), which the library reads. */
bool plainDegrees(const char *text, double *radians, const char **end)
{
    static const double kPow10[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                    1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
    const char *p = text;
    while (*p == ' ' || *p == '\t') {
        p++;
    }
    bool negative = *p == '-';
    if (*p == '-' || *p == '+') {
        p++;
    }
    unsigned long long digits = 0;
    int count = 0, fraction = 0;
    for (; *p >= '0' && *p <= '9' && count <= 15; p++, count++) {
        digits = digits * 10 + static_cast<unsigned>(*p - '0');
    }
    if (*p == '.') {
        for (p++; *p >= '0' && *p <= '9' && count <= 15; p++, count++, fraction++) {
            digits = digits * 10 + static_cast<unsigned>(*p - '0');
        }
    }
    if (count == 0 || count > 15 || (*p != ' ' && *p != '\t' && *p != '\n' && *p != '\0')) {
        return false;
    }
    double degrees = static_cast<double>(digits) / kPow10[fraction];
    *radians = (negative ? -degrees : degrees) * (M_PI / 180.0);
    *end = p;
    return true;
}

}  // namespace

double projDmstor(const char *text, char **end)
{
    double radians = 0;
    const char *after = nullptr;
    if (plainDegrees(text, &radians, &after)) {
        if (end != nullptr) {
            *end = const_cast<char *>(after);
        }
        return radians;
    }
    char *rest = nullptr;
    double r = proj_dmstor(text, &rest);
    if (end != nullptr) {
        *end = rest != nullptr ? rest : const_cast<char *>(text);
    }
    return r;
}

int projFactors(ProjHandle *handle, double lam, double phi, ProjFactors *factors)
{
    clearError();
    if (handle == nullptr || handle->pj == nullptr) {
        setError(PROJ_ERR_OTHER_API_MISUSE, "no projection");
        return PROJ_ERR_OTHER_API_MISUSE;
    }
    proj_errno_reset(handle->pj);
    PJ_FACTORS f = proj_factors(handle->pj, proj_coord(lam, phi, 0, 0));
    int code = proj_errno(handle->pj);
    if (code != 0 || !std::isfinite(f.meridional_scale) || !std::isfinite(f.parallel_scale)) {
        setProjError(code != 0 ? code : PROJ_ERR_COORD_TRANSFM_OUTSIDE_PROJECTION_DOMAIN);
        proj_errno_reset(handle->pj);
        return projErrno();
    }
    factors->h = f.meridional_scale;
    factors->k = f.parallel_scale;
    factors->s = f.areal_scale;
    factors->omega = f.angular_distortion;
    factors->thetap = f.meridian_parallel_angle;
    factors->conv = f.meridian_convergence;
    factors->a = f.tissot_semimajor;
    factors->b = f.tissot_semiminor;
    return 0;
}

/* ---- errors, release, finder ---- */

const char *projErrorText(void)
{
    return layer().lastError.c_str();
}

const char *projOwnFileFault(void)
{
    return layer().ownFileFault ? layer().lastError.c_str() : nullptr;
}

int projErrno(void)
{
    return layer().lastErrno;
}

const char *projReleaseText(void)
{
    return pj_release;
}

extern "C" void pj_set_finder(const char *(*finder)(const char *))
{
    Layer &l = layer();
    l.finder = finder;
}
