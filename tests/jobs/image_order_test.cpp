// The natural order of folder entries: digits compared as numbers, letter case ignored.

#include <gtest/gtest.h>

#include <algorithm>

#include "jobs/image_inputs.h"

namespace folvane::jobs {
namespace {

TEST(NaturalOrder, CountsDigitRunsAsNumbersAndIgnoresCase)
{
    std::vector<std::string> names = {"page10.png", "Page2.png", "page1.png", "page02b.png", "page2a.png",
                                      "scan99999999999999999999.tif", "scan100000000000000000000.tif", "a.png",
                                      "B.png", "page.png"};
    std::sort(names.begin(), names.end(), naturalNameBefore);
    EXPECT_EQ(names, (std::vector<std::string> {"a.png", "B.png", "page.png", "page1.png", "Page2.png",
                                                "page2a.png", "page02b.png", "page10.png",
                                                "scan99999999999999999999.tif", "scan100000000000000000000.tif"}));
    // Names equal as people read them still have a fixed order, so sorting is deterministic.
    EXPECT_NE(naturalNameBefore("p01", "p1"), naturalNameBefore("p1", "p01"));
    EXPECT_FALSE(naturalNameBefore("same", "same"));
}

} // namespace
} // namespace folvane::jobs
