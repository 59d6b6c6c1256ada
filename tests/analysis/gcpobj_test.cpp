/*
 * What a gcp object answers C callers that open it: the point count, which
 * points are selected and the class code (scripts reach the clone, save,
 * load and modified procedures through the object command).
 */
#include <gtest/gtest.h>

#include "analysis/gcpobj.h"
#include "support/test_interp.h"
#include "tesk.h"

namespace {

class GcpObjTest : public ::testing::Test {
protected:
    Tcl_Interp *interp = nullptr;
    RAMOBJ *obj = nullptr;

    void SetUp() override
    {
        interp = testTkInterp();
        ASSERT_NE(interp, nullptr);
        Tcl_CmdInfo info;
        if (!Tcl_GetCommandInfo(interp, "gcp.create", &info)) {
            ASSERT_EQ(gcpCmdInit(interp), TCL_OK);
        }
        int code;
        testEval(interp, "gcp.create gt; gt set {4 0 0 1 1}; gt set {8 1 0 2 1}; gt set {9 0 1 1 2}; gt unselect 8",
                 &code);
        ASSERT_EQ(code, TCL_OK) << Tcl_GetStringResult(interp);
        ASSERT_EQ(openObject(interp, RAMOBJ_GCP, "gt", &obj), 0) << Tcl_GetStringResult(interp);
    }

    void TearDown() override
    {
        closeObject(obj);
        Tcl_DeleteCommand(interp, "gt");
    }
};

TEST_F(GcpObjTest, CountSelectionAndClassComeFromThePoints)
{
    EXPECT_EQ(obj->count(obj), 3);
    EXPECT_EQ(obj->subtype(obj), 256);
    const int expected[] = {0, 1, 0, 1, 0}; /* indices -1 .. 3 */
    for (int index = -1; index <= 3; index++) {
        EXPECT_EQ(obj->itemSelected(obj, index), expected[index + 1]) << "index " << index;
    }
}

}  // namespace
