/*
 * The word tables checked row by row against their documented list
 * (tests/gl/enums.txt) and every value against the #defines of the GL and
 * GLU headers; glGet's answer table against the query table and against
 * what Mesa writes for each query; the command table against
 * tests/gl/commands.txt.
 */
#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "gl/enums.h"

namespace {

std::string testsFile(const char *name)
{
    const char *dir = std::getenv("TESK_TESTS");
    return std::string(dir != nullptr ? dir : "tests") + "/gl/" + name;
}

/* The lines of a list file, without comments and blank lines. */
std::vector<std::string> listLines(const char *name)
{
    std::ifstream in(testsFile(name));
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line[0] != '#') {
            lines.push_back(line);
        }
    }
    return lines;
}

std::vector<std::string> splitAt(const std::string &text, char separator)
{
    std::vector<std::string> parts;
    std::string part;
    std::istringstream in(text);
    while (std::getline(in, part, separator)) {
        parts.push_back(part);
    }
    return parts;
}

/* One documented table: name, size and words. */
struct DocTable {
    std::string name;
    size_t size;
    std::vector<std::string> words;
};

std::vector<DocTable> documentedTables()
{
    std::vector<DocTable> tables;
    for (const std::string &line : listLines("enums.txt")) {
        std::vector<std::string> fields = splitAt(line, '\t');
        if (fields.size() != 4) {
            ADD_FAILURE() << "malformed line: " << line;
            continue;
        }
        std::istringstream words(fields[3]);
        DocTable table{fields[0], std::stoul(fields[2]), {}};
        for (std::string word; words >> word;) {
            table.words.push_back(word);
        }
        tables.push_back(table);
    }
    return tables;
}

/* NAME -> value of every "#define NAME number" of the two headers (the
 * first definition of a name). */
std::map<std::string, unsigned long> headerDefines()
{
    std::map<std::string, unsigned long> defines;
    for (const char *path : {"/usr/include/GL/gl.h", "/usr/include/GL/glu.h"}) {
        std::ifstream in(path);
        EXPECT_TRUE(in.good()) << path;
        for (std::string line; std::getline(in, line);) {
            std::istringstream words(line);
            std::string directive, name, value;
            if (!(words >> directive >> name >> value) || directive != "#define") {
                continue;
            }
            char *end = nullptr;
            unsigned long number = std::strtoul(value.c_str(), &end, 0);
            if (end == value.c_str() || *end != '\0') {
                continue;
            }
            defines.emplace(name, number);
        }
    }
    return defines;
}

/* The rows the binding adds after a table's documented ones. */
const std::map<std::string, std::vector<std::string>> kAddedRows = {
    {"kOglAlphaDepthFunc", {"GL_EQUAL"}},
    {"kOglCapability", {"GL_TEXTURE_GEN_R"}},
    {"kOglFogParam", {"GL_FOG_COLOR"}},
    {"kOglTexParam", {"GL_TEXTURE_BORDER_COLOR"}},
    {"kOglGetParam", {"GL_FOG_START", "GL_TEXTURE_GEN_Q"}},
    {"kOglPixelStoreParam", {"GL_PACK_ALIGNMENT"}},
    {"kOglMaterialParam", {"GL_COLOR_INDEXES"}},
};

/* Rows whose value is not the header's value of their word (or whose word
 * the headers do not have): table ("" any), word, the value it stands for. */
struct OddRow {
    const char *table;
    const char *word;
    GLenum value;
};
const OddRow kOddRows[] = {
    {"", "GL_EQAUL", 0x0202},                        /* the equality test */
    {"", "GL_FOR_COLOR", 0x0B66},                    /* the fog colour */
    {"", "GL_FOR_START", 0x0B63},                    /* the fog start */
    {"", "GL_TEXUTER_BORDER_COLOR", 0x1004},         /* the texture border colour */
    {"", "GL_TEXUTER_GEN_R", 0x0C62},                /* r coordinate generation */
    {"", "GL_TExTURE_GEN_Q", 0x0C63},                /* q coordinate generation */
    {"kOglMaterialParam", "GL_COLOR_INDEX", 0x1603}, /* a material's colour indexes */
    {"kOglClearMask", "|", 0},
    {"kOglQuadricTexture", "0", 0},
    {"kOglQuadricTexture", "1", 1},
    /* the 1.1 value: today's all-ones is a table's end mark */
    {"kOglAttribMask", "GL_ALL_ATTRIB_BITS", 0x000FFFFF},
    /* both client groups */
    {"kOglClientAttribMask", "GL_CLIENT_ALL_ATTRIB_BITS", 0x0003},
};

const OglEnum *builtTable(const std::string &name)
{
    for (const OglEnumTableEntry *entry = oglEnumTables; entry->name != nullptr; entry++) {
        if (name == entry->name) {
            return entry->table;
        }
    }
    return nullptr;
}

TEST(OglEnums, EveryTableHoldsItsDocumentedWordsInOrderThenTheAddedSpellings)
{
    std::vector<DocTable> documented = documentedTables();
    ASSERT_EQ(documented.size(), 81u);
    size_t index = 0;
    for (; oglEnumTables[index].name != nullptr; index++) {
        ASSERT_LT(index, documented.size()) << "extra table " << oglEnumTables[index].name;
        EXPECT_EQ(oglEnumTables[index].name, documented[index].name);
    }
    EXPECT_EQ(index, documented.size());

    for (const DocTable &doc : documented) {
        SCOPED_TRACE(doc.name);
        ASSERT_EQ(doc.words.size(), doc.size);
        std::vector<std::string> expected = doc.words;
        auto added = kAddedRows.find(doc.name);
        if (added != kAddedRows.end()) {
            expected.insert(expected.end(), added->second.begin(), added->second.end());
        }

        const OglEnum *table = builtTable(doc.name);
        ASSERT_NE(table, nullptr);
        std::vector<std::string> built;
        size_t row = 0;
        for (; table[row].word != nullptr; row++) {
            built.push_back(table[row].word);
        }
        EXPECT_EQ(built, expected);
        EXPECT_EQ(table[row].value, kOglNoEnum);
    }
}

TEST(OglEnums, EveryValueIsTheHeaderValueOfItsWordSaveTheListedOddRows)
{
    const auto defines = headerDefines();
    ASSERT_EQ(defines.at("GL_DEPTH_TEST"), 0x0B71u);
    ASSERT_EQ(defines.at("GLU_TESS_WINDING_ODD"), 100130u);
    std::set<const OddRow *> oddSeen;
    for (const OglEnumTableEntry *entry = oglEnumTables; entry->name != nullptr; entry++) {
        for (const OglEnum *row = entry->table; row->word != nullptr; row++) {
            SCOPED_TRACE(std::string(entry->name) + " " + row->word);
            /* the end mark's value would make the word read as unknown */
            EXPECT_NE(row->value, kOglNoEnum);
            const OddRow *odd = nullptr;
            for (const OddRow &candidate : kOddRows) {
                if (std::strcmp(candidate.word, row->word) == 0 &&
                    (candidate.table[0] == '\0' || std::strcmp(candidate.table, entry->name) == 0)) {
                    odd = &candidate;
                }
            }
            if (odd != nullptr) {
                oddSeen.insert(odd);
                EXPECT_EQ(row->value, odd->value);
                continue;
            }
            auto define = defines.find(row->word);
            ASSERT_NE(define, defines.end()) << "no header defines this word";
            EXPECT_EQ(row->value, define->second);
        }
    }
    EXPECT_EQ(oddSeen.size(), std::size(kOddRows)) << "a listed odd row is in no table";
    /* elsewhere GL_COLOR_INDEX is the pixel format */
    EXPECT_EQ(oglEnumLookup(kOglPixelFormat, "GL_COLOR_INDEX"), 0x1900u);
}

TEST(OglEnums, MisspeltWordsNameTheirValueWhileTheRightSpellingsAreTaken)
{
    EXPECT_EQ(oglEnumLookup(kOglAlphaDepthFunc, "GL_EQUAL"), 0x0202u);
    EXPECT_STREQ(oglEnumWord(kOglAlphaDepthFunc, 0x0202), "GL_EQAUL");
    EXPECT_STREQ(oglEnumWord(kOglCapability, 0x0C62), "GL_TEXUTER_GEN_R");
    EXPECT_STREQ(oglEnumWord(kOglFogParam, 0x0B66), "GL_FOR_COLOR");
    EXPECT_EQ(oglEnumLookup(kOglTexParam, "GL_TEXTURE_BORDER_COLOR"), 0x1004u);
    /* pack skip rows is itself, and pack alignment has its own word */
    EXPECT_EQ(oglEnumLookup(kOglPixelStoreParam, "GL_PACK_SKIP_ROWS"), 0x0D03u);
    EXPECT_EQ(oglEnumLookup(kOglPixelStoreParam, "GL_PACK_ALIGNMENT"), 0x0D05u);
    EXPECT_EQ(oglEnumLookup(kOglBeginMode, "gl_quads"), kOglNoEnum);
}

TEST(OglGetInfo, EveryQueryNameHasAnEntryOfAValidShape)
{
    for (const OglEnum *row = kOglGetParam; row->word != nullptr; row++) {
        SCOPED_TRACE(row->word);
        const OglGetInfo *info = oglGetInfoFor(row->value);
        ASSERT_NE(info, nullptr);
        EXPECT_EQ(info->name, row->value);
        EXPECT_TRUE(info->count == 1 || info->count == 2 || info->count == 3 || info->count == 4 || info->count == 16);
        /* only an enumerated state names its values, and only the fog
         * equation (which glFog takes as a number) has no words */
        EXPECT_TRUE(info->words == nullptr || info->kind == OGL_GET_ENUM);
        EXPECT_EQ(info->kind == OGL_GET_ENUM && info->words == nullptr, row->value == GL_FOG_MODE);
    }
    EXPECT_EQ(oglGetInfoFor(GL_UNPACK_SKIP_ROWS), nullptr); /* not a query of glGet */
}

/* Makes a direct GLX context current on a small pixmap of the default
 * screen; answers false when the display has no GLX visual. The connection
 * stays open for the rest of the run: closing it unloads Mesa's driver,
 * whose memory the leak check could then no longer place. */
bool makeGlxCurrent()
{
    static Display *display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        return false;
    }
    if (glXGetCurrentContext() != nullptr) {
        return true;
    }
    int attributes[] = {GLX_RGBA, None};
    XVisualInfo *visual = glXChooseVisual(display, DefaultScreen(display), attributes);
    if (visual == nullptr) {
        return false;
    }
    Pixmap pixmap = XCreatePixmap(display, RootWindow(display, visual->screen), 16, 16, visual->depth);
    GLXPixmap glxPixmap = glXCreateGLXPixmap(display, visual, pixmap);
    GLXContext context = glXCreateContext(display, visual, nullptr, True);
    XFree(visual);
    return context != nullptr && glXMakeCurrent(display, glxPixmap, context);
}

TEST(OglGetInfo, CountsAndKindsAgreeWithWhatMesaWrites)
{
    ASSERT_TRUE(makeGlxCurrent()) << "no GLX context on this display";
    /* queries of the texture environment belong to glGetTexEnv in GL */
    const std::set<GLenum> refused = {GL_TEXTURE_ENV_COLOR, GL_TEXTURE_ENV_MODE};
    for (const OglEnum *row = kOglGetParam; row->word != nullptr; row++) {
        SCOPED_TRACE(row->word);
        const OglGetInfo *info = oglGetInfoFor(row->value);
        ASSERT_NE(info, nullptr);
        /* a sentinel GL never writes: count the values written over it */
        double values[20];
        for (double &value : values) {
            value = std::nan("7");
        }
        while (glGetError() != GL_NO_ERROR) {
        }
        glGetDoublev(row->value, values);
        GLenum error = glGetError();
        if (refused.count(row->value) != 0) {
            EXPECT_EQ(error, GLenum(GL_INVALID_ENUM));
            continue;
        }
        ASSERT_EQ(error, GLenum(GL_NO_ERROR));
        int written = 0;
        while (written < 20 && !std::isnan(values[written])) {
            written++;
        }
        EXPECT_EQ(written, info->count);
        for (int k = 0; k < info->count && k < written; k++) {
            if (info->kind == OGL_GET_BOOLEAN) {
                EXPECT_TRUE(values[k] == 0.0 || values[k] == 1.0) << values[k];
            } else if (info->kind == OGL_GET_ENUM && info->words != nullptr && row->value != GL_LIST_MODE) {
                /* the initial state is a word of the setting command's table
                 * (no list is being made, so the list mode is 0) */
                EXPECT_NE(oglEnumWord(info->words, GLenum(values[k])), nullptr) << values[k];
            }
        }
    }
}

TEST(OglCommands, TheRegisteredTableIsCommandsTxtInOrder)
{
    std::vector<std::string> names = listLines("commands.txt");
    ASSERT_EQ(names.size(), 226u);
    ASSERT_EQ(oglCommandCount(), 226);
    for (int row = 0; row < 226; row++) {
        ASSERT_NE(oglCommandName(row), nullptr) << row;
        EXPECT_EQ(names[row], oglCommandName(row)) << "row " << row;
    }
    EXPECT_EQ(oglCommandName(226), nullptr);
    EXPECT_EQ(oglCommandName(-1), nullptr);
}

}  // namespace
