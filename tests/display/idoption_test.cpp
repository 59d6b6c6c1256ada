/*
 * The ID-valued Tk options, driven through Tk_ConfigureWidget and
 * Tk_ConfigureValue on a small record, as the option tables of gimg and
 * rimage use them.
 */
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>
#include "display/idoption.h"
#include "support/test_interp.h"

namespace {

struct OptionRecord {
    int32_t rotation;
    char imgdes[256];
    int32_t mapid;
    int32_t imgid;
    int32_t imgtype;
    int32_t pixel;
    int32_t func;
    int32_t range;
    char file[256];
    int32_t palette[4];
    int32_t comb[4];
};

Tk_ConfigSpec optionSpecs[] = {
    {TK_CONFIG_CUSTOM, "-rotationid", nullptr, nullptr, nullptr, Tk_Offset(OptionRecord, rotation), 0,
     &rotationIdOption},
    {TK_CONFIG_CUSTOM, "-imgdes", nullptr, nullptr, nullptr, Tk_Offset(OptionRecord, imgdes), 0, &imgdesOption},
    {TK_CONFIG_CUSTOM, "-mapid", nullptr, nullptr, nullptr, Tk_Offset(OptionRecord, mapid), 0, &mapIdOption},
    {TK_CONFIG_CUSTOM, "-imgid", nullptr, nullptr, nullptr, Tk_Offset(OptionRecord, imgid), 0, &imgIdOption},
    {TK_CONFIG_CUSTOM, "-imgtype", nullptr, nullptr, nullptr, Tk_Offset(OptionRecord, imgtype), 0, &imgTypeOption},
    {TK_CONFIG_CUSTOM, "-pixel", nullptr, nullptr, nullptr, Tk_Offset(OptionRecord, pixel), 0, &pixelIdOption},
    {TK_CONFIG_CUSTOM, "-func", nullptr, nullptr, nullptr, Tk_Offset(OptionRecord, func), 0, &funcIdOption},
    {TK_CONFIG_CUSTOM, "-range", nullptr, nullptr, nullptr, Tk_Offset(OptionRecord, range), 0, &rangeIdOption},
    {TK_CONFIG_CUSTOM, "-file", nullptr, nullptr, nullptr, Tk_Offset(OptionRecord, file), 0, &fileOption},
    {TK_CONFIG_CUSTOM, "-palette", nullptr, nullptr, nullptr, Tk_Offset(OptionRecord, palette), 0, &paletteOption},
    {TK_CONFIG_CUSTOM, "-comb", nullptr, nullptr, nullptr, Tk_Offset(OptionRecord, comb), 0, &combOption},
    {TK_CONFIG_END, nullptr, nullptr, nullptr, nullptr, 0, 0, nullptr},
};

class IdOptionTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        interp = testTkInterp();
        ASSERT_NE(interp, nullptr);
        window = Tk_MainWindow(interp);
        ASSERT_NE(window, nullptr);
        std::memset(&rec, 0, sizeof rec);
    }

    /* Applies option/value words to rec; answers the code, the result in message. */
    int configure(std::initializer_list<std::string> words)
    {
        std::vector<const char *> argv;
        for (const std::string &word : words) {
            argv.push_back(word.c_str());
        }
        Tcl_ResetResult(interp);
        int code = Tk_ConfigureWidget(interp, window, optionSpecs, static_cast<int>(argv.size()), argv.data(),
                                      reinterpret_cast<char *>(&rec), TK_CONFIG_ARGV_ONLY);
        message = Tcl_GetStringResult(interp);
        return code;
    }

    /* The option's value as Tk prints it back. */
    std::string value(const char *option)
    {
        Tcl_ResetResult(interp);
        if (Tk_ConfigureValue(interp, window, optionSpecs, reinterpret_cast<char *>(&rec), option, 0) != TCL_OK) {
            return "error: " + std::string(Tcl_GetStringResult(interp));
        }
        return Tcl_GetStringResult(interp);
    }

    Tcl_Interp *interp = nullptr;
    Tk_Window window = nullptr;
    OptionRecord rec;
    std::string message;
};

TEST_F(IdOptionTest, CodeKindsStoreTheCodeOfTheirNameAndPrintItBack)
{
    ASSERT_EQ(configure({"-func", "HISTEQ", "-range", "DETAIL", "-rotationid", "XZY", "-imgid", "JPEG", "-pixel",
                         "SBYTE", "-imgtype", "SLOPE", "-mapid", "UTM60"}),
              TCL_OK)
        << message;
    EXPECT_EQ(rec.func, 4);
    EXPECT_EQ(rec.range, 2);
    EXPECT_EQ(rec.rotation, 6);
    EXPECT_EQ(rec.imgid, 13);
    EXPECT_EQ(rec.pixel, 9);
    EXPECT_EQ(rec.imgtype, 4);
    EXPECT_EQ(rec.mapid, 62);  // GRID 1, UTM 2, UTM1..UTM60 3..62
    EXPECT_EQ(value("-func"), "HISTEQ");
    EXPECT_EQ(value("-range"), "DETAIL");
    EXPECT_EQ(value("-rotationid"), "XZY");
    EXPECT_EQ(value("-imgid"), "JPEG");
    EXPECT_EQ(value("-pixel"), "SBYTE");
    EXPECT_EQ(value("-imgtype"), "SLOPE");
    EXPECT_EQ(value("-mapid"), "UTM60");

    ASSERT_EQ(configure({"-mapid", "PCS32633", "-func", "UNKNOWN", "-rotationid", "ZYX"}), TCL_OK) << message;
    EXPECT_EQ(rec.mapid, 32633);
    EXPECT_EQ(value("-mapid"), "PCS32633");
    EXPECT_EQ(rec.func, 0);
    EXPECT_EQ(rec.rotation, 1);
}

TEST_F(IdOptionTest, UnlistedNamesFailAndLeaveTheCodeAlone)
{
    ASSERT_EQ(configure({"-func", "HISTEQ", "-pixel", "BYTE", "-mapid", "GRID"}), TCL_OK) << message;

    EXPECT_EQ(configure({"-func", "histeq"}), TCL_ERROR);
    EXPECT_EQ(message, "Invalid value: histeq for func");
    EXPECT_EQ(rec.func, 4);
    EXPECT_EQ(value("-func"), "HISTEQ");

    EXPECT_EQ(configure({"-pixel", "UNKNOWN"}), TCL_ERROR);  // no pixel type to ask for
    EXPECT_EQ(message, "Invalid value: UNKNOWN for pixel");
    EXPECT_EQ(rec.pixel, 3);

    EXPECT_EQ(configure({"-mapid", "PCS19999"}), TCL_ERROR);
    EXPECT_EQ(message, "Invalid value: PCS19999 for mapid");
    EXPECT_EQ(configure({"-rotationid", "zyx"}), TCL_ERROR);
    EXPECT_EQ(message, "Invalid value: zyx for rotationid");
    EXPECT_EQ(configure({"-range", ""}), TCL_ERROR);
    EXPECT_EQ(message, "Invalid value:  for range");
    EXPECT_EQ(rec.mapid, 1);

    /* A later option that fails fails the call; the options before it are applied. */
    EXPECT_EQ(configure({"-func", "LINEAR", "-range", "MEDIAN"}), TCL_ERROR);
    EXPECT_EQ(message, "Invalid value: MEDIAN for range");
    EXPECT_EQ(rec.func, 2);
    EXPECT_EQ(rec.range, 0);
}

TEST_F(IdOptionTest, CodesWithoutANamePrintAsUnknown)
{
    rec.func = 5;
    rec.range = -1;
    rec.rotation = 7;
    rec.pixel = 10;
    rec.imgid = 31;
    rec.imgtype = 7;
    rec.mapid = 65536;
    for (const char *option : {"-func", "-range", "-rotationid", "-pixel", "-imgid", "-imgtype", "-mapid"}) {
        EXPECT_EQ(value(option), "UNKNOWN") << option;
    }
    rec.imgtype = 100;  // an older spelling keeps its name
    EXPECT_EQ(value("-imgtype"), "ELEVATION");
}

TEST(IdOptionLookups, NamesAreFoundExactlyAndCodesOutsideTheListAreUnknown)
{
    const char *funcs[] = {"UNKNOWN", "NONE", "LINEAR", "HISTS", "HISTEQ"};
    for (int code = 0; code < 5; code++) {
        EXPECT_EQ(funcIdFromName(funcs[code]), code);
        EXPECT_STREQ(funcIdToName(code), funcs[code]);
    }
    const char *rotations[] = {"UNKNOWN", "ZYX", "ZXY", "YXZ", "YZX", "XYZ", "XZY"};
    for (int code = 0; code < 7; code++) {
        EXPECT_EQ(rotationIdFromName(rotations[code]), code);
        EXPECT_STREQ(rotationIdToName(code), rotations[code]);
    }
    EXPECT_EQ(rangeIdFromName("MEAN"), 1);
    EXPECT_EQ(rangeIdFromName("Mean"), -1);
    EXPECT_EQ(funcIdFromName("HIST"), -1);
    EXPECT_EQ(funcIdFromName(nullptr), -1);
    EXPECT_STREQ(rangeIdToName(3), "UNKNOWN");
    EXPECT_STREQ(funcIdToName(-1), "UNKNOWN");
    EXPECT_STREQ(rotationIdToName(1 << 30), "UNKNOWN");
}

TEST(IdOptionLookups, GetIDStrAnswersACopyForTheTclAllocator)
{
    int32_t code = 3;
    Tcl_FreeProc *freeProc = nullptr;
    const char *name = GetIDStr(funcIdOption.clientData, nullptr, reinterpret_cast<char *>(&code), 0, &freeProc);
    EXPECT_STREQ(name, "HISTS");
    EXPECT_NE(name, funcIdToName(3));
    EXPECT_EQ(freeProc, TCL_DYNAMIC);
    Tcl_Free(const_cast<char *>(name));

    int32_t stored = -7;
    EXPECT_EQ(ParseID(rangeIdOption.clientData, testInterp(), nullptr, "MEAN", reinterpret_cast<char *>(&stored), 0),
              TCL_OK);
    EXPECT_EQ(stored, 1);
}

TEST_F(IdOptionTest, PaletteTakesDefaultGreyLevelsOrThreeColourLevels)
{
    ASSERT_EQ(configure({"-palette", "DEFAULT"}), TCL_OK) << message;
    EXPECT_EQ(std::vector<int32_t>(rec.palette, rec.palette + 4), (std::vector<int32_t>{-1, 0, 0, 0}));
    EXPECT_EQ(value("-palette"), "Default");

    ASSERT_EQ(configure({"-palette", "8/8/4"}), TCL_OK) << message;
    EXPECT_EQ(std::vector<int32_t>(rec.palette, rec.palette + 4), (std::vector<int32_t>{0, 8, 8, 4}));
    EXPECT_EQ(value("-palette"), "8/8/4");

    ASSERT_EQ(configure({"-palette", "16"}), TCL_OK) << message;
    EXPECT_EQ(std::vector<int32_t>(rec.palette, rec.palette + 4), (std::vector<int32_t>{16, 0, 0, 0}));
    EXPECT_EQ(value("-palette"), "16");

    ASSERT_EQ(configure({"-palette", "256/1/256"}), TCL_OK) << message;
    EXPECT_EQ(value("-palette"), "256/1/256");
    ASSERT_EQ(configure({"-palette", "default"}), TCL_OK) << message;
    EXPECT_EQ(rec.palette[0], -1);
}

TEST_F(IdOptionTest, PaletteRefusesTwoLevelsZeroAndLevelsAbove256)
{
    ASSERT_EQ(configure({"-palette", "6/6/6"}), TCL_OK) << message;
    for (const char *bad : {"8/8", "0", "257", "8/8/4/2", "8/x/4", "8/0/4", "", "8//4", "defaults", "-4"}) {
        EXPECT_EQ(configure({"-palette", bad}), TCL_ERROR) << bad;
        EXPECT_EQ(message, std::string("Invalid value: ") + bad + " for palette");
        EXPECT_EQ(std::vector<int32_t>(rec.palette, rec.palette + 4), (std::vector<int32_t>{0, 6, 6, 6})) << bad;
    }
}

TEST_F(IdOptionTest, CombStoresTheCountAndUpToThreeBands)
{
    ASSERT_EQ(configure({"-comb", "1/0/0"}), TCL_OK) << message;
    EXPECT_EQ(std::vector<int32_t>(rec.comb, rec.comb + 4), (std::vector<int32_t>{3, 1, 0, 0}));
    EXPECT_EQ(value("-comb"), "1/0/0");

    ASSERT_EQ(configure({"-comb", "3/2/1"}), TCL_OK) << message;
    EXPECT_EQ(value("-comb"), "3/2/1");

    ASSERT_EQ(configure({"-comb", "0/5"}), TCL_OK) << message;
    EXPECT_EQ(std::vector<int32_t>(rec.comb, rec.comb + 4), (std::vector<int32_t>{2, 0, 5, 0}));
    EXPECT_EQ(value("-comb"), "0/5");

    ASSERT_EQ(configure({"-comb", "4"}), TCL_OK) << message;
    EXPECT_EQ(std::vector<int32_t>(rec.comb, rec.comb + 4), (std::vector<int32_t>{1, 4, 0, 0}));
    EXPECT_EQ(value("-comb"), "4");
}

TEST_F(IdOptionTest, CombRefusesAZeroSumFourBandsAndNegativeBands)
{
    ASSERT_EQ(configure({"-comb", "7/8/9"}), TCL_OK) << message;
    for (const char *bad : {"0", "0/0/0", "1/2/3/4", "1/-2/3", "-1", "a", "", "1/", "2.5"}) {
        EXPECT_EQ(configure({"-comb", bad}), TCL_ERROR) << bad;
        EXPECT_EQ(message, std::string("Invalid value: ") + bad + " for comb");
        EXPECT_EQ(std::vector<int32_t>(rec.comb, rec.comb + 4), (std::vector<int32_t>{3, 7, 8, 9})) << bad;
    }
    /* Nothing is read in part: a long value is refused even where its start is valid. */
    std::string padded = "1/2" + std::string(300, ' ');
    EXPECT_EQ(configure({"-comb", padded}), TCL_ERROR);
    EXPECT_EQ(rec.comb[0], 3);
}

TEST_F(IdOptionTest, StoredCombCountsOutsideOneToThreeStillPrintSafely)
{
    rec.comb[0] = 0;
    rec.comb[1] = 5;
    EXPECT_EQ(value("-comb"), "5");
    rec.comb[0] = 1000;
    rec.comb[2] = 6;
    rec.comb[3] = 7;
    EXPECT_EQ(value("-comb"), "5/6/7");
}

TEST_F(IdOptionTest, FileNamesAreTildeExpandedAndNeverCut)
{
    const char *oldHome = Tcl_GetVar2(interp, "env", "HOME", TCL_GLOBAL_ONLY);
    std::string savedHome = oldHome != nullptr ? oldHome : "";
    ASSERT_NE(Tcl_SetVar2(interp, "env", "HOME", "/srv/tesk", TCL_GLOBAL_ONLY), nullptr);

    ASSERT_EQ(configure({"-file", "~/scenes/bay.lan"}), TCL_OK) << message;
    EXPECT_STREQ(rec.file, "/srv/tesk/scenes/bay.lan");
    EXPECT_EQ(value("-file"), "/srv/tesk/scenes/bay.lan");

    /* "/srv/tesk/" is 10 characters: 245 more make 255, the longest that fits. */
    std::string fits = "~/" + std::string(245, 'f');
    ASSERT_EQ(configure({"-file", fits}), TCL_OK) << message;
    EXPECT_EQ(std::string(rec.file), "/srv/tesk/" + std::string(245, 'f'));

    std::string tooLong = "~/" + std::string(246, 'g');
    EXPECT_EQ(configure({"-file", tooLong}), TCL_ERROR);
    EXPECT_EQ(message, "Error in file name translation: " + tooLong + " for file");
    EXPECT_EQ(std::string(rec.file), "/srv/tesk/" + std::string(245, 'f'));

    std::string plainLong = "/" + std::string(255, 'p');
    EXPECT_EQ(configure({"-file", plainLong}), TCL_ERROR);
    EXPECT_EQ(message, "Error in file name translation: " + plainLong + " for file");

    EXPECT_EQ(configure({"-file", "~no_such_user_tesk/x"}), TCL_ERROR);
    EXPECT_EQ(message, "Error in file name translation: ~no_such_user_tesk/x for file");
    EXPECT_EQ(std::string(rec.file), "/srv/tesk/" + std::string(245, 'f'));

    ASSERT_EQ(configure({"-file", ""}), TCL_OK) << message;
    EXPECT_STREQ(rec.file, "");

    if (oldHome != nullptr) {
        Tcl_SetVar2(interp, "env", "HOME", savedHome.c_str(), TCL_GLOBAL_ONLY);
    } else {
        Tcl_UnsetVar2(interp, "env", "HOME", TCL_GLOBAL_ONLY);
    }
}

TEST_F(IdOptionTest, ImageDescriptionsUpTo255CharactersAreKept)
{
    std::string longest(255, 'd');
    ASSERT_EQ(configure({"-imgdes", longest}), TCL_OK) << message;
    EXPECT_EQ(value("-imgdes"), longest);

    std::string tooLong(256, 'e');
    EXPECT_EQ(configure({"-imgdes", tooLong}), TCL_ERROR);
    EXPECT_EQ(message, "Error in parsing image description: " + tooLong + " for imgdes");
    EXPECT_EQ(std::string(rec.imgdes), longest);

    ASSERT_EQ(configure({"-imgdes", "Landsat TM, bands 1-7"}), TCL_OK) << message;
    EXPECT_EQ(value("-imgdes"), "Landsat TM, bands 1-7");
}

TEST_F(IdOptionTest, AFieldWithoutItsTerminatorPrintsNoMoreThan256Bytes)
{
    std::memset(rec.file, 'z', sizeof rec.file);
    rec.palette[0] = 0x41414141;  // the bytes right after the field are no NUL either
    EXPECT_EQ(value("-file"), std::string(256, 'z'));
}

}  // namespace
