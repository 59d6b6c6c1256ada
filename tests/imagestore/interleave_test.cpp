/*
 * interleave_test.cpp --
 *
 *	Pixel-interleaved lines to band rows and back, against the plain
 *	definition, for every shape the shuffles and the vectorised loops
 *	treat apart: widths around their 16- and 32-pixel steps, 1 to 5 and
 *	10 to 12 bands, 1-, 2- and 4-byte samples, and bands not wanted.
 */
#include <gtest/gtest.h>

#include <vector>
#include "imagestore/interleave.h"

namespace {

TEST(Interleave, SplitAndMergeMatchThePlainDefinition)
{
    for (int size : {1, 2, 4}) {
        for (int bands : {1, 2, 3, 4, 5, 10, 11, 12}) {
            for (int columns : {0, 1, 15, 16, 17, 31, 32, 33, 47, 48, 70, 97}) {
                SCOPED_TRACE(testing::Message() << size << "-byte samples, " << bands << " bands, " << columns
                                                << " columns");
                const size_t rowBytes = static_cast<size_t>(columns) * size;
                std::vector<unsigned char> storage(rowBytes * bands + 1);
                unsigned char *line = storage.data();
                for (size_t i = 0; i < rowBytes * bands + 1; i++) {
                    line[i] = static_cast<unsigned char>(i * 37 + 11);
                }
                std::vector<std::vector<unsigned char>> rows(bands, std::vector<unsigned char>(rowBytes + 1, 0xEE));
                std::vector<unsigned char *> out(bands);
                for (int k = 0; k < bands; k++) {
                    out[k] = rows[k].data();
                }
                out[bands / 2] = bands > 1 && columns == 33 ? nullptr : out[bands / 2];  // a band not wanted
                splitPixelLine(line, columns, bands, size, out.data());
                for (int k = 0; k < bands; k++) {
                    for (int i = 0; i < columns; i++) {
                        for (int j = 0; j < size; j++) {
                            unsigned char want = out[k] == nullptr ? 0xEE : line[(static_cast<size_t>(i) * bands + k) * size + j];
                            ASSERT_EQ(rows[k][static_cast<size_t>(i) * size + j], want) << "band " << k << " pixel " << i;
                        }
                    }
                    EXPECT_EQ(rows[k][rowBytes], 0xEE) << "written past the row";
                }
                if (out[bands / 2] == nullptr) {
                    continue;
                }
                std::vector<unsigned char> back(rowBytes * bands + 1, 0xEE);
                mergePixelLine(out.data(), columns, bands, size, back.data());
                line[rowBytes * bands] = 0xEE;
                EXPECT_EQ(back, std::vector<unsigned char>(line, line + back.size()));
            }
        }
    }
}

}  // namespace
