/* georef.cpp: being written. */
#include "analysis/tools/tools.h"
#include "analysis/tools/tooltable.h"

int rimageGeorefMain(const char *, int, const char **)
{
    return TOOL_FAILED;
}
