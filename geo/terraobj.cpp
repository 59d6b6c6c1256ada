/*
 * terraobj.cpp --
 *
 *	terra objects: terra.create makes a data object of type TERRA whose
 *	payload is a terrain tile store; its command defines an empty store,
 *	answers questions about the store and its tiles, and moves tiles in and
 *	out as base64 text. Also the tile functions through which rimage opens
 *	a tile of an object as an image.
 */
#include "geo/terraobj.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <unistd.h>

#include "geo/terrastore.h"
#include "runtime/subcmd.h"
#include "runtime/util.h"

namespace {

TerraStore *storeOf(RAMOBJ *obj)
{
    return static_cast<TerraStore *>(obj->payload);
}

/* Procedures of the object kind ------------------------------------------ */

int terraObjCount(RAMOBJ *obj)
{
    return obj->payload != nullptr ? terraTilesStored(storeOf(obj)) : 0;
}

int terraObjItem(RAMOBJ *, int)
{
    return 1;
}

int terraObjClass(RAMOBJ *)
{
    return RAMOBJ_TERRA;
}

void *terraObjClone(void *payload, int)
{
    auto *copy = static_cast<TerraStore *>(gmemAlloc(sizeof(TerraStore)));
    if (copy != nullptr && !terraCopy(copy, static_cast<const TerraStore *>(payload))) {
        gmemFree(copy);
        copy = nullptr;
    }
    return copy;
}

int terraObjSave(RAMOBJ *obj, const char *fileName, int)
{
    return obj->payload != nullptr ? terraSaveFile(fileName, storeOf(obj)) : 0;
}

/* A store read from the file; the file is closed again at once. */
void *terraObjLoad(const char *fileName, void **)
{
    auto *store = static_cast<TerraStore *>(gmemAlloc(sizeof(TerraStore)));
    if (store == nullptr) {
        return nullptr;
    }
    if (!terraOpenFile(fileName, store)) {
        gmemFree(store);
        return nullptr;
    }
    close(store->fd);
    store->fd = -1;
    return store;
}

void terraObjFree(void *payload)
{
    auto *store = static_cast<TerraStore *>(payload);
    terraClose(store);
    gmemFree(store);
}

int terraObjModified(RAMOBJ *obj)
{
    return obj->payload != nullptr ? storeOf(obj)->modified : 0;
}

/* The object command ----------------------------------------------------- */

/* One call of the object command. */
struct TerraCall {
    Tcl_Interp *interp;
    RAMOBJ *obj;
    TerraStore *store;
    int argc;
    const char **argv;

    int result(const std::string &text) const
    {
        Tcl_SetObjResult(interp, Tcl_NewStringObj(text.data(), static_cast<int>(text.size())));
        return TCL_OK;
    }
    int error(const char *message) const
    {
        Tcl_SetObjResult(interp, Tcl_NewStringObj(message, -1));
        return TCL_ERROR;
    }
    /* A failure told in the error information, with an empty result. */
    int info(const char *message) const
    {
        Tcl_ResetResult(interp);
        Tcl_AddErrorInfo(interp, message);
        return TCL_ERROR;
    }
    /* "Usage: " objName, the subcommand as given and words. */
    int usage(const char *words) const
    {
        Tcl_AppendResult(interp, "Usage: ", argv[0], " ", argv[1], words, nullptr);
        return TCL_ERROR;
    }
};

/* The tile index named by argv[k], or -1 after "Invalid index". */
int tileAt(const TerraCall &c, int k)
{
    int index = -1;
    if (terraReadTileId(c.store, c.argv[k], &index) == TerraTileWord::NoInteger || index < 0) {
        c.info("Invalid index");
        return -1;
    }
    return index;
}

int wordExists(TerraCall &c)
{
    if (c.argc != 3) {
        return c.usage(" tileId");
    }
    int index = tileAt(c, 2);
    if (index < 0) {
        return TCL_ERROR;
    }
    size_t length = 0;
    return c.result(terraTileData(c.store, index, &length) != nullptr ? "1" : "0");
}

int wordGetTile(TerraCall &c)
{
    if (c.argc != 3 && c.argc != 4) {
        return c.usage(" tileId [tileVar]");
    }
    int index = tileAt(c, 2);
    if (index < 0) {
        return TCL_ERROR;
    }
    size_t length = 0;
    const unsigned char *data = terraTileData(c.store, index, &length);
    if (data == nullptr) {
        return c.result("");
    }
    size_t size = 0;
    char *text = base64Encode(length, data, &size);
    if (text == nullptr || size > INT32_MAX) {
        gmemFree(text);
        return c.info("Error in base64 encoding");
    }
    Tcl_Obj *value = Tcl_NewStringObj(text, static_cast<int>(size));
    gmemFree(text);
    if (c.argc == 3) {
        Tcl_SetObjResult(c.interp, value);
        return TCL_OK;
    }
    if (Tcl_SetVar2Ex(c.interp, c.argv[3], nullptr, value, TCL_LEAVE_ERR_MSG) == nullptr) {
        return TCL_ERROR;
    }
    Tcl_ResetResult(c.interp);
    return TCL_OK;
}

int wordGroup(TerraCall &c)
{
    return c.result(std::to_string(terraGroup(c.store)));
}

int wordIndex(TerraCall &c)
{
    if (c.argc == 2) {
        return c.result(fmt("%d %d", static_cast<int>(terraWord(c.store, TERRA_COLUMN_ORIGIN)),
                            static_cast<int>(terraWord(c.store, TERRA_ROW_ORIGIN))));
    }
    int index = -1;
    TerraTileWord kind = c.argc == 3 ? terraReadTileId(c.store, c.argv[2], &index) : TerraTileWord::NoInteger;
    if (kind == TerraTileWord::NoInteger) {
        return c.usage(" [tileId]");
    }
    if (index < 0) {
        return c.info("Invalid index");
    }
    if (kind == TerraTileWord::Position) {
        return c.result(std::to_string(index));
    }
    int column = 0, row = 0;
    terraTileXY(c.store, index, &column, &row);
    return c.result(fmt("%d %d", column, row));
}

int wordPixelSize(TerraCall &c)
{
    return c.result(fmt("%.3f", terraPixelSize(static_cast<int>(terraWord(c.store, TERRA_SCALE)))));
}

int wordPutTile(TerraCall &c)
{
    if (c.argc != 4) {
        return c.usage(" tileId tileString");
    }
    int index = tileAt(c, 2);
    if (index < 0) {
        return TCL_ERROR;
    }
    size_t length = 0;
    if (terraTileData(c.store, index, &length) != nullptr) {
        return c.info("tile already exists");
    }
    /* A short word names a global variable holding the text. */
    const char *text = c.argv[3];
    if (std::strlen(text) < 128) {
        text = Tcl_GetVar2(c.interp, c.argv[3], nullptr, TCL_GLOBAL_ONLY);
        if (text == nullptr) {
            return c.info("fail to find tile string");
        }
    }
    /* The decoder takes strict text only (whole groups, padding at the
     * end): a cut or foreign text would store a damaged tile. */
    size_t size = 0;
    unsigned char *bytes = base64Decode(std::strlen(text), text, &size);
    if (bytes == nullptr || size == 0) {
        gmemFree(bytes);
        return c.info("Error in base64 decoding");
    }
    int put = terraPutTile(c.store, index, bytes, size);
    gmemFree(bytes);
    if (!put) {
        return c.info("fail to put tile");
    }
    objUpdate(c.obj);
    Tcl_ResetResult(c.interp);
    return TCL_OK;
}

int wordRange(TerraCall &c)
{
    const TerraStore *s = c.store;
    if (c.argc == 2) {
        return c.result(fmt("%d %d %d %d", s->x0, s->y0, s->x1, s->y1));
    }
    if (c.argc != 3 || std::strcmp(c.argv[2], "map") != 0) {
        return c.usage(" [map]");
    }
    double p = terraPixelSize(static_cast<int>(terraWord(s, TERRA_SCALE)));
    double x = s->x0 * double(kTerraTilePixels) * p, y = s->y0 * double(kTerraTilePixels) * p;
    double span = (double(terraGroup(s)) * kTerraTilePixels - 1.0) * p;
    return c.result(fmt("%.3f %.3f %.3f %.3f", x, y, x + span, y + span));
}

int wordScale(TerraCall &c)
{
    return c.result(terraScaleName(static_cast<int>(terraWord(c.store, TERRA_SCALE))));
}

int wordScene(TerraCall &c)
{
    return c.result(std::to_string(static_cast<int>(terraWord(c.store, TERRA_ZONE))));
}

int wordSize(TerraCall &c)
{
    return c.result(std::to_string(terraDataEnd(c.store) - terraHeaderSize(c.store)));
}

int wordTheme(TerraCall &c)
{
    return c.result(terraThemeName(static_cast<int>(terraWord(c.store, TERRA_THEME))));
}

int wordTileInfo(TerraCall &c)
{
    if (c.argc > 3) {
        return c.usage(" [tileId]");
    }
    if (c.argc == 3) {
        int index = tileAt(c, 2);
        if (index < 0) {
            return TCL_ERROR;
        }
        size_t length = 0;
        if (terraTileData(c.store, index, &length) == nullptr) {
            return c.result("");
        }
        return c.result(fmt("%d %d", static_cast<int>(length), static_cast<int>(terraTileOffset(c.store, index))));
    }
    Tcl_Obj *list = Tcl_NewListObj(0, nullptr);
    for (int i = 0; i < c.store->tileCount; i++) {
        size_t length = 0;
        if (terraTileData(c.store, i, &length) == nullptr) {
            continue;
        }
        int column = 0, row = 0;
        terraTileXY(c.store, i, &column, &row);
        const char *entry = fmt("%d %d %d %d %d", i, column, row, static_cast<int>(length),
                                static_cast<int>(terraTileOffset(c.store, i)));
        Tcl_ListObjAppendElement(nullptr, list, Tcl_NewStringObj(entry, -1));
    }
    Tcl_SetObjResult(c.interp, list);
    return TCL_OK;
}

int wordTileCap(TerraCall &c)
{
    return c.result(std::to_string(c.store->tileCount));
}

int wordTitle(TerraCall &c)
{
    const TerraStore *s = c.store;
    return c.result(fmt("Terra.%s.%d.%s.%d.%d.%d", terraThemeName(static_cast<int>(terraWord(s, TERRA_THEME))),
                        terraGroup(s), terraScaleName(static_cast<int>(terraWord(s, TERRA_SCALE))),
                        static_cast<int>(terraWord(s, TERRA_ZONE)),
                        static_cast<int>(terraWord(s, TERRA_COLUMN_ORIGIN)),
                        static_cast<int>(terraWord(s, TERRA_ROW_ORIGIN))));
}

/* define group theme scale scene x y: a new empty store in place of the
 * payload. */
int wordDefine(TerraCall &c)
{
    if (c.argc != 8) {
        return c.usage(" group theme scale scene x y");
    }
    int theme = terraThemeByName(c.argv[3]);
    if (theme == 0) {
        return c.info("Invalid theme");
    }
    int scale = terraScaleByName(c.argv[4]);
    if (scale == 0) {
        return c.info("Invalid scale");
    }
    int n = 0;
    if (Tcl_GetInt(nullptr, c.argv[2], &n) != TCL_OK || terraHeaderBytes(n, 0) == 0) {
        return c.info("Invalid group");
    }
    int x = 0, y = 0;
    if (Tcl_GetInt(nullptr, c.argv[6], &x) != TCL_OK || Tcl_GetInt(nullptr, c.argv[7], &y) != TCL_OK || x < 1 ||
        y < 1 || !terraRangeFits(x, n) || !terraRangeFits(y, n)) {
        return c.info("Invalid group id");
    }
    int zone = 0;
    if (Tcl_GetInt(c.interp, c.argv[5], &zone) != TCL_OK) {
        return TCL_ERROR;
    }
    auto *store = static_cast<TerraStore *>(gmemAlloc(sizeof(TerraStore)));
    if (store == nullptr || !terraNew(store, theme, scale, zone, n, x, y, 0)) {
        gmemFree(store);
        return c.info("Error in creating terra object");
    }
    if (c.obj->payload != nullptr) {
        terraObjFree(c.obj->payload);
    }
    c.obj->payload = store;
    Tcl_ResetResult(c.interp);
    return TCL_OK;
}

typedef int(TerraWordProc)(TerraCall &c);

struct TerraWord {
    const char *name;
    int minLength;
    TerraWordProc *proc;
};

/* Within a letter, the first row that matches wins. */
constexpr TerraWord kTerraWords[] = {
    {"exists", 4, wordExists},   {"gettile", 4, wordGetTile},   {"group", 4, wordGroup},
    {"index", 4, wordIndex},     {"pixelsize", 4, wordPixelSize}, {"puttile", 4, wordPutTile},
    {"range", 4, wordRange},     {"scale", 3, wordScale},       {"scene", 3, wordScene},
    {"size", 3, wordSize},       {"theme", 3, wordTheme},       {"tileinfo", 3, wordTileInfo},
    {"tilecap", 5, wordTileCap}, {"title", 3, wordTitle},
};

constexpr const char *kObjectUsage =
    " [config cget class clone close count define exists gettile group index pixelsize puttile range save scale "
    "scene size theme tilecap tileinfo title version]";

const RamObjKind kTerraKind = {
    RAMOBJ_TERRA,  terraObjCount, terraObjItem, terraObjClass,    terraObjClone, terraObjSave,
    terraObjLoad,  terraObjFree,  terraObjCmd,  terraObjModified, nullptr,
};

int terraCreateCmd(ClientData, Tcl_Interp *interp, int argc, const char **argv)
{
    if (argc < 2) {
        Tcl_AppendResult(interp, argv[0], " id options", nullptr);
        return TCL_ERROR;
    }
    return objCreate(interp, &kTerraKind, argc, argv);
}

}  // namespace

int terraObjCmd(ClientData clientData, Tcl_Interp *interp, int argc, const char **argv)
{
    auto *obj = static_cast<RAMOBJ *>(clientData);
    if (argc < 2) {
        Tcl_AppendResult(interp, "Usage: ", argv[0], kObjectUsage, nullptr);
        return TCL_ERROR;
    }
    int code = objDefCommand(obj, interp, argc, argv);
    if (code != TCL_CONTINUE) {
        return code;
    }
    Tcl_ResetResult(interp);
    TerraCall call{interp, obj, storeOf(obj), argc, argv};
    if (std::strcmp(argv[1], "define") == 0) {
        return wordDefine(call);
    }
    if (call.store == nullptr) {
        return call.error("Undefined object");
    }
    int row = findSubcommand(kTerraWords, argv[1]);
    if (row < 0) {
        return call.error("Unknown command");
    }
    return kTerraWords[row].proc(call);
}

int terraCmdInit(Tcl_Interp *interp)
{
    return Tcl_CreateCommand(interp, "terra.create", terraCreateCmd, nullptr, nullptr) == nullptr ? 1 : 0;
}

int terraObjTileId(RAMOBJ *obj, const char *word)
{
    int index = -1;
    if (obj->payload == nullptr || terraReadTileId(storeOf(obj), word, &index) == TerraTileWord::NoInteger) {
        return -1;
    }
    return index;
}

const unsigned char *terraObjTileData(RAMOBJ *obj, int index, size_t *length)
{
    *length = 0;
    return obj->payload != nullptr ? terraTileData(storeOf(obj), index, length) : nullptr;
}

void terraObjTileGeoref(RAMOBJ *obj, int index, ImageDesc *desc)
{
    if (obj->payload != nullptr) {
        terraTileGeoref(storeOf(obj), index, desc);
    }
}
