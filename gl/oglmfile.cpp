/*
 * oglmfile.cpp --
 *
 *	OBJ models and MTL material libraries of the oglm command: the
 *	material table's default record and look-up, the OBJ and MTL readers
 *	and the writer of both.
 *
 *	Lines are read whole, whatever their length, from a reused buffer;
 *	keywords are whole first words, the values follow them, and CR, LF
 *	and blanks at a line's ends are not part of it. Numbers are read in
 *	the C locale with from_chars, so that a model of a million faces reads
 *	in a fraction of a second; one that is not finite reads as 0. Only
 *	regular files are read. No exception leaves the readers or the
 *	writer: memory running out fails the call with a message.
 */
#include "gl/oglm.h"

#include <cerrno>
#include <charconv>
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cmath>
#include <cstring>
#include <exception>
#include <fcntl.h>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_map>

#include "runtime/bytes.h"
#include "runtime/cnumber.h"
#include "runtime/console.h"
#include "runtime/replace.h"
#include "runtime/textcodec.h"
#include "runtime/util.h"
#include "tesk_stdio.h"

OglmMaterial oglmDefaultMaterial()
{
    OglmMaterial m;
    m.name = "default";
    m.shininess = 625.0f;
    for (int i = 0; i < 4; i++) {
        m.diffuse[i] = i < 3 ? 0.8f : 1.0f;
        m.ambient[i] = i < 3 ? 0.2f : 1.0f;
        m.specular[i] = i < 3 ? 0.0f : 1.0f;
        m.emission[i] = 0.0f;
    }
    return m;
}

namespace {

/* The most entries of one kind (vertices, normals, texture coordinates,
 * groups, materials) a mesh takes, so that every index fits an int, one
 * based too; the readers ignore entries past it. */
constexpr std::size_t kMostEntries = INT_MAX;

/* Gives the mesh its table, with the default material as record 0, when
 * it has none. */
void ensureMaterials(OglmMesh &mesh)
{
    if (mesh.materials.empty()) {
        mesh.materials.reserve(16);
        mesh.materials.push_back(oglmDefaultMaterial());
    }
}

/* Adds a copy of the default material called name to the table and
 * answers its index; 0 (the default material) when the table is full. */
int addMaterial(OglmMesh &mesh, std::string name)
{
    if (mesh.materials.size() >= kMostEntries) {
        return 0;
    }
    OglmMaterial added = oglmDefaultMaterial();
    added.name = std::move(name);
    mesh.materials.push_back(std::move(added));
    return static_cast<int>(mesh.materials.size()) - 1;
}

}  // namespace

OglmMaterialIndex oglmIndexMaterials(OglmMesh &mesh)
{
    ensureMaterials(mesh);
    OglmMaterialIndex byName;
    byName.reserve(mesh.materials.size() * 2);
    for (std::size_t i = 0; i < mesh.materials.size(); i++) {
        byName.emplace(mesh.materials[i].name, static_cast<int>(i));
    }
    return byName;
}

int oglmFindIndexed(OglmMesh &mesh, OglmMaterialIndex &byName, std::string_view name)
{
    ensureMaterials(mesh);
    std::string key(name);
    auto found = byName.find(key);
    if (found != byName.end()) {
        return found->second;
    }
    int index = addMaterial(mesh, key);
    if (index > 0) {
        byName.emplace(std::move(key), index);
    }
    return index;
}

int oglmFindMaterial(OglmMesh &mesh, const std::string &name)
{
    ensureMaterials(mesh);
    for (std::size_t i = 0; i < mesh.materials.size(); i++) {
        if (mesh.materials[i].name == name) {
            return static_cast<int>(i);
        }
    }
    return addMaterial(mesh, name);
}

namespace {

/* ---------------------------------------------------------------------
 * Lines and words
 * ------------------------------------------------------------------- */

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v';
}

std::string_view trimmed(std::string_view text)
{
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && isBlank(text[begin])) {
        begin++;
    }
    while (end > begin && isBlank(text[end - 1])) {
        end--;
    }
    return text.substr(begin, end - begin);
}

/* A group or material name of a file, whose bytes are text of the system
 * encoding (the formats declare none), as the Tcl text the model holds;
 * nameBytes turns it back into those bytes. */
std::string nameText(std::string_view bytes)
{
    Tcl_Obj *text = textDecode(nullptr, bytes.data(), bytes.size());
    Tcl_IncrRefCount(text);
    int n = 0;
    const char *utf = Tcl_GetStringFromObj(text, &n);
    std::string name(utf, static_cast<std::size_t>(n));
    Tcl_DecrRefCount(text);
    return name;
}

std::string nameBytes(const std::string &name)
{
    return textEncode(nullptr, name.data(), name.size());
}

/* Takes the first word off text (trimmed) and answers it; text keeps what
 * follows, without the blanks between. */
std::string_view takeWord(std::string_view &text)
{
    std::size_t end = 0;
    while (end < text.size() && !isBlank(text[end])) {
        end++;
    }
    std::string_view word = text.substr(0, end);
    while (end < text.size() && isBlank(text[end])) {
        end++;
    }
    text.remove_prefix(end);
    return word;
}

/* Reads up to n numbers, separated by blanks, from the start of text into
 * values; those not given (text ends, or a word is no number) keep theirs,
 * and one that is not finite (1e999, inf, nan) is read as 0. Answers how
 * many were read. */
int readFloats(std::string_view text, float *values, int n)
{
    const char *p = text.data();
    const char *end = p + text.size();
    int count = 0;
    while (count < n) {
        while (p < end && isBlank(*p)) {
            p++;
        }
        if (p < end && *p == '+') {
            p++;
        }
        float value = 0.0f;
        std::from_chars_result r = std::from_chars(p, end, value);
        if (r.ec == std::errc::result_out_of_range) {
            value = 0.0f;  // too small a magnitude is 0; too large, no finite value, reads 0 below too
        } else if (r.ec != std::errc()) {
            break;
        }
        values[count++] = std::isfinite(value) ? value : 0.0f;
        p = r.ptr;
    }
    return count;
}

/* The lines of a file, read in large blocks into one reused buffer that
 * grows to hold the longest line; a last line without a line end is a
 * line too. */
class LineReader {
public:
    explicit LineReader(int fd) : fd_(fd), buffer_(1 << 20) {}

    /* The next line without its line end; false at the end of the file or
     * on a read error (failed() tells which). The view lasts until the
     * next call. */
    bool next(std::string_view &line)
    {
        for (;;) {
            const char *at = buffer_.data() + begin_;
            const void *newline = end_ > begin_ ? std::memchr(at, '\n', end_ - begin_) : nullptr;
            if (newline != nullptr) {
                std::size_t length = static_cast<const char *>(newline) - at;
                line = std::string_view(at, length);
                begin_ += length + 1;
                return true;
            }
            if (atEnd_) {
                if (begin_ == end_) {
                    return false;
                }
                line = std::string_view(at, end_ - begin_);
                begin_ = end_;
                return true;
            }
            fill();
        }
    }

    bool failed() const { return failed_; }

private:
    /* Moves the unfinished line to the front and reads more after it. */
    void fill()
    {
        if (begin_ > 0) {
            std::memmove(buffer_.data(), buffer_.data() + begin_, end_ - begin_);
            end_ -= begin_;
            begin_ = 0;
        }
        if (end_ == buffer_.size()) {
            buffer_.resize(buffer_.size() * 2);
        }
        ssize_t got;
        do {
            got = read(fd_, buffer_.data() + end_, buffer_.size() - end_);
        } while (got < 0 && errno == EINTR);
        if (got > 0) {
            end_ += static_cast<std::size_t>(got);
        } else {
            atEnd_ = true;
            failed_ = got < 0;
        }
    }

    int fd_;
    std::vector<char> buffer_;
    std::size_t begin_ = 0; /* the unread text is buffer_[begin_, end_) */
    std::size_t end_ = 0;
    bool atEnd_ = false;
    bool failed_ = false;
};


/* Prints that a load or save of path stopped because memory ran out
 * (the only exceptions the readers and the writer can meet come from
 * allocations); when even the message finds no memory, nothing. */
void reportNoMemory(const char *doing, const char *path, const char *suffix) noexcept
{
    try {
        tesk_fprintf(stderr, "Error in %s %s%s: %s\n", doing, path, suffix, std::strerror(ENOMEM));
    } catch (...) {
    }
}

/* ---------------------------------------------------------------------
 * MTL
 * ------------------------------------------------------------------- */

/* Reads an MTL file into mesh's material table, whose names byName
 * indexes; false when it cannot be opened or read. */
bool readMtl(const char *path, OglmMesh &mesh, OglmMaterialIndex &byName)
{
    FdHolder file(openRegularFile(path));
    if (file.fd < 0) {
        tesk_fprintf(stderr, "Error in open material file: %s\n", path);
        return false;
    }
    int current = 0;
    LineReader lines(file.fd);
    std::string_view line;
    while (lines.next(line)) {
        std::string_view rest = trimmed(line);
        std::string_view keyword = takeWord(rest);
        if (keyword == "newmtl") {
            current = oglmFindIndexed(mesh, byName, nameText(rest));
            continue;
        }
        OglmMaterial &m = mesh.materials[current];
        if (keyword == "Kd") {
            readFloats(rest, m.diffuse, 4);
        } else if (keyword == "Ka") {
            readFloats(rest, m.ambient, 4);
        } else if (keyword == "Ks") {
            readFloats(rest, m.specular, 4);
        } else if (keyword == "Ke") {
            readFloats(rest, m.emission, 4);
        } else if (keyword == "Ns") {
            readFloats(rest, &m.shininess, 1);
        }
    }
    if (lines.failed()) {
        tesk_fprintf(stderr, "Error in open material file: %s\n", path);
        return false;
    }
    return true;
}

/* ---------------------------------------------------------------------
 * OBJ
 * ------------------------------------------------------------------- */

/* The reading of one OBJ file into a mesh. */
class ObjReader {
public:
    ObjReader(OglmMesh &mesh, std::string directory)
        : mesh_(mesh), directory_(std::move(directory)), materials_(oglmIndexMaterials(mesh))
    {
    }

    void line(std::string_view text)
    {
        std::string_view rest = trimmed(text);
        std::string_view keyword = takeWord(rest);
        if (keyword.empty()) {
            return;
        }
        switch (keyword[0]) {
        case 'v':
            if (keyword == "v") {
                point(mesh_.vertices, rest);
            } else if (keyword == "vn") {
                point(mesh_.normals, rest);
            } else if (keyword == "vt") {
                point(mesh_.texcoords, rest);
            }
            break;
        case 'f':
            if (keyword == "f") {
                face(text, rest);
            }
            break;
        case 'g':
            if (keyword == "g") {
                current_ = group(nameText(rest));
            }
            break;
        case 's':
            if (keyword == "s") {
                smoothingGroup(rest);
            }
            break;
        case 'u':
            if (keyword == "usemtl") {
                useMaterial(nameText(rest));
            }
            break;
        case 'm':
            if (keyword == "mtllib") {
                materialLibrary(rest);
            }
            break;
        default: break;
        }
    }

    void finish()
    {
        if (!mesh_.hadSmoothing) {
            for (OglmGroup &g : mesh_.groups) {
                std::vector<int>().swap(g.smoothing);
            }
        }
    }

private:
    /* Kinds of index in a corner. */
    enum { VERTEX, TEXTURE, NORMAL };

    static void point(std::vector<OglmVec3> &points, std::string_view values)
    {
        if (points.size() >= kMostEntries) {
            return;
        }
        OglmVec3 p{0.0f, 0.0f, 0.0f};
        readFloats(values, p.data(), 3);
        points.push_back(p);
    }

    /* The group called name, made at the head of the list when there is
     * none (when the list is full, the current group, or the first). */
    int group(std::string_view name)
    {
        std::string key(name);
        auto found = groupByName_.find(key);
        if (found != groupByName_.end()) {
            return found->second;
        }
        if (mesh_.groups.size() >= kMostEntries) {
            return current_ >= 0 ? current_ : 0;
        }
        int index = static_cast<int>(mesh_.groups.size());
        mesh_.groups.emplace_back();
        mesh_.groups.back().name = key;
        groupByName_.emplace(std::move(key), index);
        return index;
    }

    int currentGroup()
    {
        if (current_ < 0) {
            current_ = group("default");
        }
        return current_;
    }

    void smoothingGroup(std::string_view rest)
    {
        mesh_.hadSmoothing = true;
        int number = 0;
        const char *p = rest.data();
        const char *end = p + rest.size();
        if (p < end && *p == '+') {
            p++;
        }
        if (std::from_chars(p, end, number).ec != std::errc()) {
            number = 0;  // "s off"
        }
        smoothing_ = number;
    }

    /* The rest of the line, blanks inside and all, names the material. */
    void useMaterial(std::string_view name)
    {
        int material = name.empty() ? 0 : oglmFindIndexed(mesh_, materials_, name);
        mesh_.groups[currentGroup()].material = material;
    }

    void materialLibrary(std::string_view rest)
    {
        if (rest.empty()) {
            return;
        }
        std::string path(rest);
        if (path[0] != '/') {
            path = directory_ + path;
        }
        if (!readMtl(path.c_str(), mesh_, materials_)) {
            tesk_fprintf(stderr, "Error in loading mtl: %s\n", path.c_str());
        }
    }

    /* One index of a corner, one-based or counting back from count; false
     * when it is no number, 0 or outside 1 .. count. */
    static bool index(const char *&p, const char *end, long long count, int &out)
    {
        if (p < end && *p == '+') {
            p++;
        }
        long long n = 0;
        std::from_chars_result r = std::from_chars(p, end, n);
        if (r.ec != std::errc() || n == 0 || n > count || n < -count) {
            return false;
        }
        p = r.ptr;
        out = static_cast<int>(n > 0 ? n - 1 : count + n);
        return true;
    }

    /* Reads a corner word (v, v/t, v/t/n, v//n) into the scratch arrays;
     * false when it is malformed or an index is out of range. */
    bool corner(std::string_view word)
    {
        const char *p = word.data();
        const char *end = p + word.size();
        int v = 0, t = -1, n = -1;
        if (!index(p, end, static_cast<long long>(mesh_.vertices.size()), v)) {
            return false;
        }
        if (p < end && *p == '/') {
            p++;
            if (p < end && *p != '/' && !index(p, end, static_cast<long long>(mesh_.texcoords.size()), t)) {
                return false;
            }
            if (p < end && *p == '/') {
                p++;
                if (p < end && !index(p, end, static_cast<long long>(mesh_.normals.size()), n)) {
                    return false;
                }
            }
        }
        if (p != end) {
            return false;
        }
        corners_[VERTEX].push_back(v);
        corners_[TEXTURE].push_back(t);
        corners_[NORMAL].push_back(n);
        return true;
    }

    void face(std::string_view line, std::string_view rest)
    {
        for (std::vector<int> &c : corners_) {
            c.clear();
        }
        bool valid = true;
        while (valid && !rest.empty()) {
            valid = corner(takeWord(rest));
        }
        std::size_t n = corners_[VERTEX].size();
        if (!valid || n < 3 || n > kMostEntries ||
            mesh_.groups[currentGroup()].vertexIndex.size() > kMostEntries - n) {
            std::string shown(trimmed(line));
            shown += '\n';
            tesk_fprintf(stderr, "Invalid face definition: %s", shown.c_str());
            return;
        }
        OglmGroup &g = mesh_.groups[current_];
        bool first = g.faceCount() == 0;
        std::size_t before = g.vertexIndex.size();
        keepIndices(g.textureIndex, corners_[TEXTURE], first, before);
        keepIndices(g.normalIndex, corners_[NORMAL], first, before);
        g.vertexIndex.insert(g.vertexIndex.end(), corners_[VERTEX].begin(), corners_[VERTEX].end());
        g.faceStart.push_back(static_cast<int>(g.vertexIndex.size()));
        g.smoothing.push_back(smoothing_);
    }

    /* Adds a face's texture or normal indices to a group's (before corners
     * so far) when the face gave one at every corner and every earlier
     * face did too; otherwise the group has none of that kind. */
    static void keepIndices(std::vector<int> &kept, const std::vector<int> &given, bool first, std::size_t before)
    {
        bool complete = true;
        for (int i : given) {
            if (i < 0) {
                complete = false;
                break;
            }
        }
        if (complete && (first || kept.size() == before)) {
            kept.insert(kept.end(), given.begin(), given.end());
        } else {
            kept.clear();
        }
    }

    OglmMesh &mesh_;
    std::string directory_;                            /* the OBJ file's folder with its '/', or "" */
    OglmMaterialIndex materials_;                          /* the names of mesh_.materials */
    std::unordered_map<std::string, int> groupByName_; /* index into mesh_.groups */
    int current_ = -1;                                 /* the current group, -1: none yet */
    int smoothing_ = 0;                                /* the smoothing group of the "s" line before */
    std::vector<int> corners_[3];                      /* the face being read: index per corner (-1: none) */
};

/* ---------------------------------------------------------------------
 * Writing
 * ------------------------------------------------------------------- */

/* Text written into a new file through a buffer; after a failed write
 * nothing more is written and ok() is false (errno tells why). */
class TextWriter {
public:
    explicit TextWriter(int fd) : fd_(fd) { buffer_.reserve(kBlock + 256); }

    void put(std::string_view text)
    {
        buffer_.append(text.data(), text.size());
        if (buffer_.size() >= kBlock) {
            flush();
        }
    }

    __attribute__((format(printf, 2, 3))) void format(const char *pattern, ...)
    {
        va_list args;
        va_start(args, pattern);
        const bool ok = formatV(scratch_, pattern, args);
        va_end(args);
        if (ok) {
            put(scratch_);
        }
    }

    /* A blank and a one-based index. */
    void index(char before, int zeroBased)
    {
        char text[16];
        text[0] = before;
        std::to_chars_result r = std::to_chars(text + 1, text + sizeof text, zeroBased + 1);
        put(std::string_view(text, static_cast<std::size_t>(r.ptr - text)));
    }

    /* Writes what the buffer holds; answers whether every write so far
     * succeeded. */
    bool flush()
    {
        if (ok_ && !buffer_.empty()) {
            ok_ = writeAt(fd_, buffer_.data(), buffer_.size(), offset_);
            offset_ += static_cast<off_t>(buffer_.size());
        }
        buffer_.clear();
        return ok_;
    }

private:
    static constexpr std::size_t kBlock = 1 << 16;
    int fd_;
    off_t offset_ = 0;
    std::string buffer_;
    std::string scratch_; /* one formatted line */
    bool ok_ = true;
};

void writeMtl(TextWriter &out, const OglmMesh &mesh)
{
    for (const OglmMaterial &m : mesh.materials) {
        out.put("newmtl ");
        out.put(nameBytes(m.name));
        out.put("\n");
        out.format("Kd %f %f %f %f\n", m.diffuse[0], m.diffuse[1], m.diffuse[2], m.diffuse[3]);
        out.format("Ks %f %f %f %f\n", m.specular[0], m.specular[1], m.specular[2], m.specular[3]);
        out.format("Ka %f %f %f %f\n", m.ambient[0], m.ambient[1], m.ambient[2], m.ambient[3]);
        out.format("Ke %f %f %f %f\n", m.emission[0], m.emission[1], m.emission[2], m.emission[3]);
        if (m.shininess != 0.0f) {
            out.format("Ns %f\n", m.shininess);
        }
        out.put("\n");
    }
}

/* Writes the model: the MTL file's name (base's last part, as the file
 * sits beside the OBJ file, where the reader looks), the points, and the
 * groups with faces in creation order, so that a load of the file makes
 * them in the same order again. */
void writeObj(TextWriter &out, const OglmMesh &mesh, const char *base, bool withMtl, int flags)
{
    if (withMtl) {
        const char *slash = std::strrchr(base, '/');
        out.put("mtllib ");
        out.put(slash == nullptr ? base : slash + 1);
        out.put(".mtl\n");
    }
    out.format("\n# vertex %d\n", static_cast<int>(mesh.vertices.size()));
    for (const OglmVec3 &v : mesh.vertices) {
        out.format("v %f %f %f\n", v[0], v[1], v[2]);
    }
    if (flags == 0 && !mesh.normals.empty()) {
        out.format("\n# normal %d\n", static_cast<int>(mesh.normals.size()));
        for (const OglmVec3 &n : mesh.normals) {
            out.format("vn %f %f %f\n", n[0], n[1], n[2]);
        }
    }
    if (flags == 0 && !mesh.texcoords.empty()) {
        out.format("\n# texture %d\n", static_cast<int>(mesh.texcoords.size()));
        for (const OglmVec3 &t : mesh.texcoords) {
            out.format("vt %f %f\n", t[0], t[1]);
        }
    }
    out.put("\n# faces\n");
    static const std::string defaultName = oglmDefaultMaterial().name;
    for (auto g = mesh.groups.begin(); g != mesh.groups.end(); ++g) {
        int faces = g->faceCount();
        if (faces <= 0) {
            continue;
        }
        out.put("g ");
        out.put(nameBytes(g->name));
        out.put("\nusemtl ");
        bool known = g->material >= 0 && static_cast<std::size_t>(g->material) < mesh.materials.size();
        out.put(nameBytes(known ? mesh.materials[g->material].name : defaultName));
        out.put("\n");
        bool texture = flags == 0 && !g->textureIndex.empty();
        bool normal = flags == 0 && !g->normalIndex.empty();
        for (int f = 0; f < faces; f++) {
            out.put("f");
            for (int k = g->faceStart[f]; k < g->faceStart[f + 1]; k++) {
                out.index(' ', g->vertexIndex[k]);
                if (texture) {
                    out.index('/', g->textureIndex[k]);
                } else if (normal) {
                    out.put("/");
                }
                if (normal) {
                    out.index('/', g->normalIndex[k]);
                }
            }
            out.put("\n");
        }
    }
}

}  // namespace

bool oglmReadObj(const char *path, OglmMesh &mesh)
{
    FdHolder file(openRegularFile(path));
    try {
        if (file.fd < 0) {
            tesk_fprintf(stderr, "Error in open %s\n", path);
            return false;
        }
        mesh.fileName = path;
        const char *slash = std::strrchr(path, '/');
        ObjReader reader(mesh, slash == nullptr ? std::string() : std::string(path, slash + 1));
        LineReader lines(file.fd);
        std::string_view line;
        while (lines.next(line)) {
            reader.line(line);
        }
        if (lines.failed()) {
            tesk_fprintf(stderr, "Error in open %s\n", path);
            return false;
        }
        reader.finish();
        return true;
    } catch (const std::exception &) {
        reportNoMemory("reading", path, "");
        return false;
    }
}

bool oglmReadMtl(const char *path, OglmMesh &mesh)
{
    try {
        OglmMaterialIndex byName = oglmIndexMaterials(mesh);
        return readMtl(path, mesh, byName);
    } catch (const std::exception &) {
        reportNoMemory("reading material file", path, "");
        return false;
    }
}

namespace {

/* oglmWrite's work; the replacements are the caller's, to abandon when
 * this throws. */
bool writeFiles(const OglmMesh &mesh, const char *base, int flags, FileReplacement &obj, FileReplacement &mtl)
{
    std::string objPath = std::string(base) + ".obj";
    std::string mtlPath = std::string(base) + ".mtl";
    if (!replaceBegin(&obj, objPath.c_str())) {
        tesk_fprintf(stderr, "Error in open %s.obj\n", base);
        return false;
    }
    /* Names that are one file (a link between them) would leave only the
     * one committed last: the model is then written without materials. */
    bool withMtl = !sameReplaceTarget(objPath.c_str(), mtlPath.c_str()) && replaceBegin(&mtl, mtlPath.c_str());
    if (!withMtl) {
        tesk_fprintf(stderr, "Error in open: %s.mtl\n", base);
    }

    /* Both files are whole before either replaces an old one. */
    const std::string *failed = nullptr;
    if (withMtl) {
        TextWriter out(mtl.fd);
        writeMtl(out, mesh);
        if (!out.flush()) {
            failed = &mtlPath;
        }
    }
    if (failed == nullptr) {
        TextWriter out(obj.fd);
        writeObj(out, mesh, base, withMtl, flags);
        if (!out.flush()) {
            failed = &objPath;
        }
    }
    /* The model and its materials are committed as one. */
    if (failed == nullptr) {
        FileReplacement both[2] = {obj, mtl};
        obj = FileReplacement();
        mtl = FileReplacement();
        if (replaceCommitAll(both, withMtl ? 2 : 1)) {
            close(both[0].fd);
            if (withMtl) {
                close(both[1].fd);
            }
            return true;
        }
        failed = &objPath;
    }
    int saved = errno;
    replaceAbandon(&obj);
    replaceAbandon(&mtl);
    tesk_fprintf(stderr, "Error in writing %s: %s\n", failed->c_str(), std::strerror(saved));
    return false;
}

}  // namespace

bool oglmWrite(const OglmMesh &mesh, const char *base, int flags)
{
    FileReplacement obj, mtl;
    try {
        if (mesh.vertices.empty()) {
            tesk_fprintf(stderr, "No vertex to save.\n");
            return false;
        }
        return writeFiles(mesh, base, flags, obj, mtl);
    } catch (const std::exception &) {
        replaceAbandon(&obj);
        replaceAbandon(&mtl);
        reportNoMemory("writing", base, ".obj");
        return false;
    }
}
