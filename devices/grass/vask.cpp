/*
 * vask.cpp --
 *
 *	Vask forms: the exported V_ functions call the application's _vask.*
 *	procedures with the values as separate words; the fields of the form
 *	are small ids in a registry of {address, type, length} that
 *	_vask.parseInput stores the typed text through. The registry is
 *	cleared by V_clear and when V_call returns, and _vask.parseInput
 *	answers only while V_call runs the form, so a script can only reach
 *	the variables of the form being run (a form laid out but never run
 *	points into a stack frame that may be gone).
 */
#include <algorithm>
#include <cerrno>
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>
#include "devices/grass/grass.h"
#include "runtime/cnumber.h"
#include "runtime/util.h"
#include "tesk.h"
#include "tesk_display.h"
#include "tesk_stdio.h"

namespace {

struct VaskField {
    void *address;
    char type;
    int length;
};

std::vector<VaskField> fields; /* id i + 1 is fields[i] */
int running = 0;               /* V_calls under way: the form can be typed into */
int floatAccuracy = 0;

std::string formatValue(const void *value, char type)
{
    if (value == nullptr) {
        return "";
    }
    std::string number = floatAccuracy >= 1 ? cFormat("%%.%df", floatAccuracy) : std::string("%f");
    switch (type) {
    case 'd':
        return cFormat(number.c_str(), *static_cast<const double *>(value));
    case 'f':
        return cFormat(number.c_str(), static_cast<double>(*static_cast<const float *>(value)));
    case 'i':
        return cFormat("%d", *static_cast<const int *>(value));
    case 'l':
        return cFormat("%ld", *static_cast<const long *>(value));
    case 's':
        return static_cast<const char *>(value);
    default:
        return "";
    }
}

/* Evaluates the procedure with the given words after its name. */
int call(const char *procedure, std::vector<Tcl_Obj *> words = {})
{
    words.insert(words.begin(), Tcl_NewStringObj(procedure, -1));
    return grassEvalWords(static_cast<int>(words.size()), words.data());
}

Tcl_Obj *text(const std::string &s)
{
    return Tcl_NewStringObj(s.c_str(), static_cast<int>(s.size()));
}

Tcl_Obj *letter(char type)
{
    return Tcl_NewStringObj(&type, 1);
}

/* Stores text in the field; false when it is no value of the field's type.
 * A number field whose text passes its test but holds no number ("", a
 * sign alone) keeps its value, as a scan that converts nothing leaves it. */
bool store(const VaskField &f, const char *value)
{
    errno = 0;
    char *end = nullptr;
    switch (f.type) {
    case 'i':
    case 'l': {
        if (!isIntegerString(value)) {
            return false;
        }
        long v = std::strtol(value, &end, 10);
        if (end == value) {
            return true;
        }
        if (errno == ERANGE || (f.type == 'i' && (v < INT_MIN || v > INT_MAX))) {
            return false;
        }
        if (f.type == 'i') {
            *static_cast<int *>(f.address) = static_cast<int>(v);
        } else {
            *static_cast<long *>(f.address) = v;
        }
        return true;
    }
    case 'f':
    case 'd': {
        if (!isNumberString(value)) {
            return false;
        }
        const char *past = value;
        double v = 0;
        bool read = cReadNumber(value, &v, &past);
        if (past == value) {
            return true;
        }
        if (!read || (f.type == 'f' && std::fabs(v) > FLT_MAX)) {
            return false;
        }
        if (f.type == 'f') {
            *static_cast<float *>(f.address) = static_cast<float>(v);
        } else {
            *static_cast<double *>(f.address) = v;
        }
        return true;
    }
    case 's': {
        size_t n = std::strlen(value);
        size_t len = static_cast<size_t>(std::max(f.length, 0));
        std::memcpy(f.address, value, std::min(n, len));
        if (n < len) {
            static_cast<char *>(f.address)[n] = '\0';
        }
        return true;
    }
    default:
        return false;
    }
}

}  // namespace

void vaskForget()
{
    fields.clear();
}

int vaskParseInputCmd(ClientData, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[])
{
    if (objc != 4) {
        tesk_printf("Usage %s id type len\n", Tcl_GetString(objv[0]));
        return TCL_ERROR;
    }
    const char *idWord = Tcl_GetString(objv[1]);
    const char *typeWord = Tcl_GetString(objv[2]);
    int id = 0;
    bool known = running > 0 && Tcl_GetInt(nullptr, idWord, &id) == TCL_OK && id >= 1 &&
                 id <= static_cast<int>(fields.size());
    const char *value = Tcl_GetVar2(interp, "_vask", idWord, TCL_GLOBAL_ONLY);
    if (!known || value == nullptr) {
        tesk_fprintf(stderr, "invalid vask id: %s\n", idWord);
        return TCL_ERROR;
    }
    const VaskField &f = fields[static_cast<size_t>(id - 1)];
    if (typeWord[0] != f.type || !store(f, value)) {
        tesk_fprintf(stderr, "vask error - id: %d type: %s value: %s\n", id, typeWord, value);
        return TCL_ERROR;
    }
    return TCL_OK;
}

int vaskTestCmd(Tcl_Interp *interp)
{
    int number = 0;
    float decimal = 2.1f;
    char string[12] = "";
    V_clear();
    V_line(5, "Enter an Integer");
    V_line(7, "Enter a Decimal");
    V_line(9, "Enter a character string");
    V_ques(&number, 'i', 5, 30, 5);
    V_ques(&decimal, 'f', 7, 30, 5);
    V_ques(string, 's', 9, 30, 11);
    V_intrpt_GD_OK();
    int ok = V_call();
    if (ok) {
        tesk_printf("%s", cFormat("%d %f %s\n", number, static_cast<double>(decimal), string).c_str());
    }
    Tcl_SetObjResult(interp, Tcl_NewStringObj(ok ? "1" : "0", -1));
    return TCL_OK;
}

extern "C" {

int V_clear(void)
{
    fields.clear();
    return grassInterp() != nullptr ? call("_vask.clear") : 0;
}

int V_line(int row, const char *line)
{
    return grassInterp() != nullptr ? call("_vask.line", {Tcl_NewIntObj(row), text(line)}) : 0;
}

int V_const(void *value, char type, int row, int column, int len)
{
    if (grassInterp() == nullptr) {
        return 0;
    }
    return call("_vask.const", {text(formatValue(value, type)), letter(type), Tcl_NewIntObj(row),
                                Tcl_NewIntObj(column), Tcl_NewIntObj(len)});
}

int V_ques(void *value, char type, int row, int column, int len)
{
    Tcl_Interp *interp = grassInterp();
    if (interp == nullptr) {
        return 0;
    }
    if (value == nullptr) {
        return 0;
    }
    fields.push_back({value, type, len});
    int id = static_cast<int>(fields.size());
    if (call("_vask.ques", {Tcl_NewIntObj(id), text(formatValue(value, type)), letter(type), Tcl_NewIntObj(row),
                            Tcl_NewIntObj(column), Tcl_NewIntObj(len)}) != TCL_OK ||
        grassInterp() == nullptr) {
        return 0;
    }
    std::string path = Tcl_GetStringResult(interp);
    std::string script = cFormat("+_vask.parseInput %d %c %d", id, type, len);
    call("bind", {text(path), Tcl_NewStringObj("<KeyRelease>", -1), text(script)});
    return 0;
}

int V_float_accuracy(int decimals)
{
    int previous = floatAccuracy;
    floatAccuracy = decimals;
    return previous;
}

int V_call(void)
{
    Tcl_Interp *interp = grassInterp();
    if (interp == nullptr) {
        return 0;
    }
    running++;
    call("_vask.call");
    running--;
    int answer = 0;
    interp = grassInterp();
    const char *value = interp != nullptr ? Tcl_GetVar2(interp, "_vask", "return", TCL_GLOBAL_ONLY) : nullptr;
    if (value == nullptr || Tcl_GetInt(nullptr, value, &answer) != TCL_OK) {
        answer = 0;
    }
    fields.clear();
    return answer;
}

int V_intrpt_GD_OK(void)
{
    return grassInterp() != nullptr ? call("_vask.intrpt_GD_OK") : 0;
}

int V_intrpt_msg(const char *message)
{
    if (grassInterp() == nullptr) {
        return 0;
    }
    return message != nullptr ? call("_vask.intrp_msg", {text(message)}) : call("_vask.intrp_msg");
}

}  // extern "C"
