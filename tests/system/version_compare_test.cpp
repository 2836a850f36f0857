// Version order as release feeds write versions.
#include "system/version_compare.h"

#include <gtest/gtest.h>

namespace hg {
namespace {

TEST(VersionCompareTest, OrdersNumericPartsPreReleasesAndMissingParts)
{
    struct Case {
        const char* older;
        const char* newer;
    };
    for (const Case& c : {
             Case{"1.9", "1.10"},
             Case{"1.0b1", "1.0"},
             Case{"1.0b1", "1.0b2"},
             Case{"1.0b2", "1.0rc1"},
             Case{"1.0b1", "1.0.1"},
             Case{"1.0", "1.0.1"},
             Case{"0.9.99", "1.0"},
             Case{"2", "10"},
             Case{"1.0", "1.0.0.1"},
             Case{"99999999999999999999", "100000000000000000000"},  // longer than any integer type
         }) {
        EXPECT_LT(compareVersions(c.older, c.newer), 0) << c.older << " < " << c.newer;
        EXPECT_GT(compareVersions(c.newer, c.older), 0) << c.newer << " > " << c.older;
    }
}

TEST(VersionCompareTest, EqualVersionsSpelledDifferently)
{
    for (auto [a, b] : {std::pair{"1.0", "1.0.0"}, {"1.0", "1.0"}, {"1.01", "1.1"}, {"1.0B1", "1.0b1"},
                        {"1-0", "1.0"}, {"", ""}, {"0", ""}}) {
        EXPECT_EQ(compareVersions(a, b), 0) << a << " = " << b;
        EXPECT_EQ(compareVersions(b, a), 0) << b << " = " << a;
    }
}

} // namespace
} // namespace hg
