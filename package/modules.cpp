/*
 * modules.cpp --
 *
 *	The module registration order of the package, the release steps of its
 *	exit handler and the link tables through which lower layers reach the
 *	ones above (runtime/modules.h, runtime/calc.h, display/canvaslink.h,
 *	analysis/terralink.h): the one place where every subsystem is in view.
 *	Each module fills its own row or entry when it is built.
 */
#include "runtime/modules.h"

#include <iterator>
#include <tcl.h>
#include "analysis/etran/etran.h"
#include "analysis/gcpobj.h"
#include "analysis/stats/featureobj.h"
#include "analysis/terralink.h"
#include "analysis/tools/tools.h"
#include "canvas/canvasapi.h"
#include "canvas/canvasint.h"
#include "devices/comb/comb.h"
#include "devices/ddw/ddw.h"
#include "devices/grass/grass.h"
#include "devices/print/printer.h"
#include "devices/twain/twimg.h"
#include "display/canvaslink.h"
#include "display/gimg.h"
#include "geo/gtable.h"
#include "geo/projcmd.h"
#include "geo/sensorobj.h"
#include "geo/shapecmd.h"
#include "geo/terraobj.h"
#include "gl/ogl.h"
#include "imagestore/formats/dicom.h"
#include "imagestore/formats/formats.h"
#include "runtime/calc.h"
#include "runtime/conslots.h"
#include "tesk.h"
#include "tesk_stdio.h"

namespace {

/* calc scangif fileName: the blocks of a GIF file on the console. */
int calcScanGif(Tcl_Interp *interp, int argc, const char **argv)
{
    if (argc != 3) {
        Tcl_AppendResult(interp, "Usage: calc scangif fileName", nullptr);
        return TCL_ERROR;
    }
    if (scanGIF(argv[2]) == -2) {
        tesk_fprintf(stderr, "Error in open %s\n", argv[2]);
    }
    return TCL_OK;
}

}  // namespace

const TeskModule teskModuleTable[] = {
    {"windowMode", windowModeCmdInit}, /* teskMainWindow, teskToplevelWindow */
    {"rimage", Rimg_Init},             /* rimage */
    {"calc", calcInit},                /* calc */
    {"comb", combInit},                /* the comb widget kit */
    {"grass", grassInit},              /* grass, _vask.parseInput */
    {"etran", etranInit},              /* etran */
    {"ddw", ddwInit},                  /* ddw, package TK_DIRECTX */
    {"twimg", twimgInit},              /* twimg */
    {"glw", Glw_Init},                 /* glw, the OpenGL binding, oglm */
    {"dicom", Dicom_Init},             /* dicom */
    {"tiff", tiffCmdInit},             /* tiff */
    {"gcp", gcpCmdInit},               /* gcp.create */
    {"gpz", Gpz_Init},                 /* gpz */
    {"printer", printerInit},          /* printer, gmetafile, package TK_PRINTER */
    {"shape", shapeCmdInit},           /* shape.create, shape.info */
    {"feature", featureObjInit},       /* stats.create, eigen.create, iso.create */
    {"gtable", gtableCmdInit},         /* gtable.create, gtable.info */
    {"terra", terraCmdInit},           /* terra.create */
    {"proj", projCmdInit},             /* the projection family */
    {"gcanvas", gcanvasModuleInit},    /* gcanvas, cliptest */
    {"sensor", sensorCmdInit},         /* camera.create, pushbroom.create, quaternion.slerp */
};
const int teskModuleCount = static_cast<int>(std::size(teskModuleTable));

const TeskModule teskLateCommandTable[] = {
    {"gimg", gimgCmdInit},
    {"tesk.selection", teskSelectionCmdInit},
    {"tesk.listconcat", teskListConcatCmdInit},
};
const int teskLateCommandCount = static_cast<int>(std::size(teskLateCommandTable));

const TeskModule teskAppCommandTable[] = {
    {"winmsg", winmsgCmdInit},
};
const int teskAppCommandCount = static_cast<int>(std::size(teskAppCommandTable));

const TeskCleanup teskCleanupTable[] = {
    {"gimgCleanup", gimgCleanup},             /* every gimg image and the registry */
    {"paletteColors", gimgFreeSharedColors},  /* palette colours of gimg palette */
    {"dicomCmdDelete", dicomCmdDelete},       /* the DICOM element dictionary */
    {"tiffTagTableFree", tiffTagTableFree},   /* the TIFF tag-name table */
    {"clearImageReaders", clearImageReaders}, /* user-registered image readers */
};
const int teskCleanupCount = static_cast<int>(std::size(teskCleanupTable));

/* What the raster side may ask of a gcanvas (display/canvaslink.h). */
const CanvasLink teskCanvasLink = {gcanvasFromPath, gcanvasBackgroundGC, gcanvasViewOrigin, gcanvasDrawRegion,
                                   gcanvasItemsBBox};

/* The tile functions of TERRA objects that rimage open uses
 * (analysis/terralink.h). */
const TerraLink teskTerraLink = {terraObjTileId, terraObjTileData, terraObjTileGeoref};

/* The calc subcommands built above the runtime (runtime/calc.h). */
const CalcLink teskCalcLink = {calcScanGif, calcGeocalc};

/* What start-up asks of the display and the console (runtime/modules.h). */
const RuntimeLink teskRuntimeLink = {gimgTypeInit, gimgAppendNames, conSetup, consoleShutdown};
