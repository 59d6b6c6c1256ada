/*
 * glcall.h --
 *
 *	The shapes shared by the gl commands of glcore.cpp and glpixel.cpp:
 *	one procedure per GL function, made by a template from the function
 *	and, for each parameter, the word table it is read through (nullptr:
 *	a number, read by the parameter's type). The word count is the
 *	function's parameter count plus the command name; every word is read
 *	before GL is called, and an enumeration word outside its table fails
 *	with "GLenum Error" without calling GL (a size word that is no GLsizei,
 *	"Syntax Error"). A function that answers a value gives it as the
 *	result, "%d". Commands whose word count picks the function (glColor
 *	R G B ?A?) go through callByCount. Hand-written commands read their
 *	enumeration words through enumWord.
 */
#ifndef TESK_GL_GLCALL_H
#define TESK_GL_GLCALL_H

#include <array>
#include <cstddef>
#include <tuple>
#include <type_traits>
#include <utility>
#include "gl/ogl.h"

namespace oglcall {

/* The parameter and answer types of a GL function. */
template <typename F>
struct Signature;
template <typename R, typename... A>
struct Signature<R (*)(A...)> {
    using Result = R;
    using Args = std::tuple<A...>;
    static constexpr size_t arity = sizeof...(A);
};

/* The marker table of a size parameter (width, height, count, range):
 * read in 64 bits, and a value that is no GLsizei (negative or above
 * INT32_MAX) fails with "Syntax Error" without calling GL. */
inline constexpr OglEnum kSizeWord[] = {{nullptr, kOglNoEnum}};

/* For the hand-written commands: the value of an enumeration word of
 * table in *value; false (the caller answers "GLenum Error") outside it. */
inline bool enumWord(Tcl_Obj *word, const OglEnum *table, GLenum *value)
{
    *value = oglEnumLookup(table, Tcl_GetString(word));
    return *value != kOglNoEnum;
}

/* How reading a call's words went: the first failure wins. */
enum class Read { ok, enumError, syntaxError };

/* One word as a parameter of type T: through table when there is one
 * (recording the failure when the word is not in it), as a size for
 * kSizeWord, else as a number. */
template <typename T>
inline T readWord(Tcl_Obj *word, const OglEnum *table, Read &status)
{
    if (table == kSizeWord) {
        GLsizei size = 0;
        if (!oglGetGLsizei(Tcl_GetString(word), &size) && status == Read::ok) {
            status = Read::syntaxError;
        }
        return static_cast<T>(size);
    }
    if (table != nullptr) {
        GLenum value = oglEnumLookup(table, Tcl_GetString(word));
        if (value == kOglNoEnum) {
            if (status == Read::ok) {
                status = Read::enumError;
            }
            return T();
        }
        return static_cast<T>(value);
    }
    if constexpr (std::is_floating_point_v<T>) {
        return static_cast<T>(oglObjDouble(word));
    } else {
        return static_cast<T>(oglObjInt(word));
    }
}

template <auto F, size_t N, const std::array<const OglEnum *, N> &Tables, size_t... I>
inline int invoke(Tcl_Interp *interp, Tcl_Obj *const words[], std::index_sequence<I...>)
{
    using Sig = Signature<decltype(F)>;
    Read status = Read::ok;
    /* Braces read the words left to right. */
    typename Sig::Args args{readWord<std::tuple_element_t<I, typename Sig::Args>>(words[I], Tables[I], status)...};
    if (status != Read::ok) {
        return status == Read::enumError ? oglEnumError(interp) : oglSyntaxError(interp);
    }
    if constexpr (std::is_void_v<typename Sig::Result>) {
        std::apply(F, args);
    } else {
        oglSetIntResult(interp, static_cast<long long>(std::apply(F, args)));
    }
    return TCL_OK;
}

/* The tables of a call's parameters, padded with nullptr (numbers). */
template <size_t N, const OglEnum *... T>
inline constexpr std::array<const OglEnum *, N> kTables{T...};

/* The command procedure of GL function F whose parameters are read through
 * the tables T (in order; missing trailing ones are numbers). */
template <auto F, const OglEnum *... T>
int call(ClientData, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[])
{
    using Sig = Signature<decltype(F)>;
    static_assert(sizeof...(T) <= Sig::arity, "more tables than parameters");
    if (objc != static_cast<int>(Sig::arity) + 1) {
        return oglSyntaxError(interp);
    }
    return invoke<F, Sig::arity, kTables<Sig::arity, T...>>(interp, objv + 1,
                                                             std::make_index_sequence<Sig::arity>{});
}

/* One command over several GL functions of numbers told apart by their
 * parameter counts (glColor3f, glColor4f): the one whose count matches
 * the words is called, any other word count is a "Syntax Error". */
template <auto... F>
int callByCount(ClientData data, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[])
{
    int result = -1;
    ((result = result < 0 && objc == static_cast<int>(Signature<decltype(F)>::arity) + 1
                   ? call<F>(data, interp, objc, objv)
                   : result),
     ...);
    return result < 0 ? oglSyntaxError(interp) : result;
}

}  // namespace oglcall

#endif /* TESK_GL_GLCALL_H */
