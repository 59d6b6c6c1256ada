/*
 * budget.cpp --
 *
 *	The per-image memory budget (see budget.h): one value shared by the
 *	readers and linked to teskImageBudget in each interpreter with rimage.
 */
#include "runtime/budget.h"

#include <unistd.h>
#include "tesk_stdio.h"

namespace {

Tcl_WideInt budgetValue = 0;  // linked to teskImageBudget; below 1: the default

int64_t defaultBudget()
{
    static const int64_t bytes = [] {
        long pages = sysconf(_SC_PHYS_PAGES);
        long size = sysconf(_SC_PAGESIZE);
        return pages > 0 && size > 0 ? static_cast<int64_t>(pages) * size / 4 : int64_t{1} << 30;
    }();
    return bytes;
}

}  // namespace

int64_t imageMemoryBudget()
{
    return budgetValue >= 1 ? static_cast<int64_t>(budgetValue) : defaultBudget();
}

void setImageMemoryBudget(int64_t bytes)
{
    budgetValue = bytes;
}

bool imageBudgetAllows(int64_t bytes, const char *what)
{
    const int64_t budget = imageMemoryBudget();
    if (bytes <= budget) {
        return true;
    }
    tesk_fprintf(stderr,
                 "Error in %s: the image needs %lld bytes, more than the memory budget (teskImageBudget) of %lld\n",
                 what, static_cast<long long>(bytes), static_cast<long long>(budget));
    return false;
}

void linkImageMemoryBudget(Tcl_Interp *interp)
{
    Tcl_UnlinkVar(interp, "teskImageBudget");
    Tcl_Obj *old = Tcl_GetVar2Ex(interp, "teskImageBudget", nullptr, TCL_GLOBAL_ONLY);
    Tcl_WideInt value = 0;
    if (old != nullptr && Tcl_GetWideIntFromObj(nullptr, old, &value) == TCL_OK && value >= 1) {
        budgetValue = value;
    } else if (budgetValue < 1) {
        budgetValue = defaultBudget();
    }
    if (Tcl_LinkVar(interp, "teskImageBudget", reinterpret_cast<char *>(&budgetValue), TCL_LINK_WIDE_INT) != TCL_OK) {
        Tcl_ResetResult(interp);  // an array of that name: the budget works without the variable
    }
}
