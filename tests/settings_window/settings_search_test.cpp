// Search over the sections' keywords and the window's own keyboard shortcuts.
#include "ui/settings/settings_search.h"

#include <gtest/gtest.h>

namespace hg {
namespace {

TEST(MatchesSearch, EveryWordMustOccurInAnyOrderAndCase)
{
    constexpr std::string_view keywords = "模糊 颜色 调色 tint 背景色 color background";
    EXPECT_TRUE(matchesSearch(keywords, "COLOR"));
    EXPECT_TRUE(matchesSearch(keywords, "back tin"));  // fragments, any order
    EXPECT_TRUE(matchesSearch(keywords, "模糊 颜色"));
    EXPECT_TRUE(matchesSearch(keywords, "颜色\u3000模糊"));  // an input method's wide space separates too
    EXPECT_FALSE(matchesSearch(keywords, "color radius"));
    EXPECT_FALSE(matchesSearch(keywords, "模糊半径"));  // one piece, not two
}

TEST(MatchesSearch, EmptyOrBlankQueriesMatchEverything)
{
    EXPECT_TRUE(matchesSearch("anything", ""));
    EXPECT_TRUE(matchesSearch("anything", "   \t "));
    EXPECT_TRUE(matchesSearch("", "  "));
    EXPECT_FALSE(matchesSearch("", "a"));
}

TEST(CatchKey, EscapeTabsAndSearch)
{
    EXPECT_EQ(catchKey({true, false, ""})->kind, CaughtKey::Kind::escape);
    const auto tab = catchKey({false, true, "3"});
    ASSERT_TRUE(tab);
    EXPECT_EQ(tab->kind, CaughtKey::Kind::tab);
    EXPECT_EQ(tab->tabPosition, 2);
    EXPECT_EQ(catchKey({false, true, "9"})->tabPosition, 8);  // the caller ignores tabs it does not have
    EXPECT_EQ(catchKey({false, true, "K"})->kind, CaughtKey::Kind::search);
    EXPECT_EQ(catchKey({false, true, "k"})->kind, CaughtKey::Kind::search);
    EXPECT_FALSE(catchKey({false, true, "0"}));
    EXPECT_FALSE(catchKey({false, true, "12"}));
    EXPECT_FALSE(catchKey({false, true, "j"}));
    EXPECT_FALSE(catchKey({false, false, "3"}));  // without Ctrl the key types
    EXPECT_EQ(tabKeyCapText(4), "Ctrl+4");
}

} // namespace
} // namespace hg
