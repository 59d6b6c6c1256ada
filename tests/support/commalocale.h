/*
 * commalocale.h --
 *
 *	A scope that sets LC_NUMERIC to a locale whose decimal point is a
 *	comma, as an application or a loaded library may: the tests read
 *	numbers under it to show that the readers keep the C locale's ".".
 */
#ifndef TESK_TESTS_COMMALOCALE_H
#define TESK_TESTS_COMMALOCALE_H

#include <string>

/*
 * While alive, LC_NUMERIC is a comma-decimal locale: an installed one
 * (de_DE, fr_FR, ...) or, when the machine has none, de_DE compiled once
 * by localedef into a temporary folder. active() is
 * false when neither could be had (the test then skips); the previous
 * LC_NUMERIC comes back when the scope goes.
 */
class CommaLocale {
public:
    CommaLocale();
    ~CommaLocale();
    CommaLocale(const CommaLocale &) = delete;
    CommaLocale &operator=(const CommaLocale &) = delete;
    bool active() const { return on; }

private:
    std::string previous;  // LC_NUMERIC before
    bool on = false;       // a comma-decimal LC_NUMERIC is set
};

#endif /* TESK_TESTS_COMMALOCALE_H */
