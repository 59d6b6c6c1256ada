/*
 * glcall.h --
 *
 *	The shapes shared by the gl commands of glcore.cpp and glpixel.cpp:
 *	one procedure per GL function, made by a template from the function
 *	and, for each parameter, the word table it is read through (nullptr:
 *	a number, read by the parameter's type). The word count is the
 *	function's parameter count plus the command name; every word is read
 *	before GL is called, and an enumeration word outside its table fails
 *	with "GLenum Error" without calling GL. A function that answers a
 *	value gives it as the result, "%d".
 */
#ifndef TESK_GL_GLCALL_H
#define TESK_GL_GLCALL_H

#include <array>
#include <cctype>
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

/* A floating word. A word that does not begin with a letter names no data
 * object; when Tcl reads it as a floating number (as strtod does) the value
 * stays in the word, and a loop's literal is converted once, not at every
 * call. Anything else goes through oglObjDouble. */
inline double wordDouble(Tcl_Obj *word)
{
    static const Tcl_ObjType *const doubleType = Tcl_GetObjType("double");
    const char *text = word->bytes;
    if (text != nullptr && text[0] != '\0' && !isalpha(static_cast<unsigned char>(text[0]))) {
        if (word->typePtr == doubleType) {
            return word->internalRep.doubleValue;
        }
        double value;
        if (Tcl_GetDoubleFromObj(nullptr, word, &value) == TCL_OK && word->typePtr == doubleType) {
            return value;
        }
    }
    return oglObjDouble(word);
}

/* One word as a parameter of type T: through table when there is one
 * (clearing ok when the word is not in it), else as a number. */
template <typename T>
inline T readWord(Tcl_Obj *word, const OglEnum *table, bool &ok)
{
    if (table != nullptr) {
        GLenum value = oglEnumLookup(table, Tcl_GetString(word));
        if (value == kOglNoEnum) {
            ok = false;
            return T();
        }
        return static_cast<T>(value);
    }
    if constexpr (std::is_floating_point_v<T>) {
        return static_cast<T>(wordDouble(word));
    } else {
        return static_cast<T>(oglObjInt(word));
    }
}

template <auto F, size_t N, const std::array<const OglEnum *, N> &Tables, size_t... I>
inline int invoke(Tcl_Interp *interp, Tcl_Obj *const words[], std::index_sequence<I...>)
{
    using Sig = Signature<decltype(F)>;
    bool ok = true;
    /* Braces read the words left to right. */
    typename Sig::Args args{readWord<std::tuple_element_t<I, typename Sig::Args>>(words[I], Tables[I], ok)...};
    if (!ok) {
        return oglEnumError(interp);
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

}  // namespace oglcall

#endif /* TESK_GL_GLCALL_H */
