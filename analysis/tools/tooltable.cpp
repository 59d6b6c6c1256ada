/*
 * tooltable.cpp --
 *
 *	The rimage tool-word table: one row per tool word, in the order of the
 *	rimage command's tool list. copy and crop run one entry under two names.
 *	Each tool fills its own row when it is built. Also the cancel poll that
 *	every tool shares.
 */
#include "analysis/tools/tooltable.h"

#include <cstring>

#include "analysis/tools/tools.h"
#include "tesk.h"
#include "tesk_stdio.h"

namespace {

const RimageTool kRimageTools[] = {
    {"calc", "rimage calc", rimageCalcMain},
    {"classify", "rimage classify", rimageClassifyMain},
    {"copy", "rimage copy", rimageCropMain}, /* the crop entry */
    {"crop", "rimage crop", rimageCropMain}, /* the crop entry */
    {"data", "rimage data", rimageDataMain},
    {"dist", "rimage dist", rimageDistMain},
    {"egv", "rimage egv", rimageEgvMain},
    {"gfftrans", "rimage gfftrans", rimageGfftransMain},
    {"gconv", "rimage gconv", rimageGconvMain},
    {"geocalc", "rimage geocalc", rimageGeocalcMain},
    {"georef", "rimage georef", rimageGeorefMain},
    {"gisoc", "rimage gisoc", rimageGisocMain},
    {"gsfzoom", "rimage gsfzoom", rimageGsfzoomMain},
    {"gslope", "rimage gslope", rimageGslopeMain},
    {"gstat", "rimage gstat", rimageGstatMain},
    {"gtop", "rimage gtop", rimageGtopMain},
    {"gdem", "rimage gdem", rimageGdemMain},
    {"pcalc", "rimage pcalc", rimagePcalcMain},
    {"ptable", "rimage ptable", rimagePtableMain},
    {"rform", "rimage rform", rimageRformMain},
    {"rotate", "rimage rotate", rimageRotateMain},
    {"resample", "rimage resample", rimageResampleMain},
    {"smetric", "rimage smetric", rimageSmetricMain},
    {"section", "rimage section", rimageSectionMain},
    {"statinfo", "rimage statinfo", rimageStatinfoMain},
    {"trans", "rimage trans", rimageTransMain},
};

}  // namespace

const RimageTool *findRimageTool(const char *word)
{
    for (const RimageTool &tool : kRimageTools) {
        if (std::strcmp(tool.word, word) == 0) {
            return &tool;
        }
    }
    return nullptr;
}

bool toolAbortRequested(const char *programName)
{
    if (meterCheckPause() != TESK_ABORT) {
        return false;
    }
    tesk_fprintf(stderr, "%s%s\n", programName, kToolCanceled);
    return true;
}
