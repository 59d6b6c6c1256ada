/*
 * commalocale.cpp --
 *
 *	The comma-decimal LC_NUMERIC of the tests (see commalocale.h).
 */
#include "support/commalocale.h"

#include <clocale>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>

namespace {

/* Sets LC_NUMERIC to name; true when it takes and its decimal point is ",". */
bool setComma(const char *name)
{
    return std::setlocale(LC_NUMERIC, name) != nullptr && std::strcmp(std::localeconv()->decimal_point, ",") == 0;
}

/* de_DE (Latin-1, quick to build) compiled by localedef into a temporary
 * folder, removed at exit. */
struct CompiledLocale {
    std::string folder;  // empty when it could not be made
    std::string name;    // the locale's name; empty when localedef failed

    CompiledLocale()
    {
        char tmpl[] = "/tmp/tesk-locale-XXXXXX";
        if (mkdtemp(tmpl) == nullptr) {
            return;
        }
        folder = tmpl;
        std::string command = "localedef -i de_DE -f ISO-8859-1 " + folder + "/de_DE.ISO-8859-1 >/dev/null 2>&1";
        if (std::system(command.c_str()) == 0) {
            name = "de_DE.ISO-8859-1";
        }
    }
    ~CompiledLocale()
    {
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
    }
};

}  // namespace

CommaLocale::CommaLocale()
{
    const char *before = std::setlocale(LC_NUMERIC, nullptr);
    previous = before != nullptr ? before : "C";
    for (const char *name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "fr_FR.utf8", "de_DE", "fr_FR"}) {
        if (setComma(name)) {
            on = true;
            return;
        }
    }
    /* LOCPATH names the folder only while the locale loads: the C library
     * keeps what it loaded, and a LOCPATH left set would change how later
     * locales are found. */
    static CompiledLocale compiled;
    if (!compiled.name.empty()) {
        const char *path = std::getenv("LOCPATH");
        std::string before = path != nullptr ? path : "";
        setenv("LOCPATH", compiled.folder.c_str(), 1);
        on = setComma(compiled.name.c_str());
        if (path != nullptr) {
            setenv("LOCPATH", before.c_str(), 1);
        } else {
            unsetenv("LOCPATH");
        }
    }
    if (!on) {
        std::setlocale(LC_NUMERIC, previous.c_str());
    }
}

CommaLocale::~CommaLocale()
{
    std::setlocale(LC_NUMERIC, previous.c_str());
}
