#include "app/url_runs.h"

#include <gtest/gtest.h>

namespace tolvik {
namespace {

std::vector<TextRun> Runs(std::initializer_list<std::pair<const char*, bool>> pieces) {
  std::vector<TextRun> runs;
  for (auto [text, url] : pieces) runs.push_back({text, url});
  return runs;
}

TEST(UrlRuns, MiddleUrlWordSplitsTheLineIntoThreeRuns) {
  EXPECT_EQ(SplitUrlRuns("<bob> see http://example.de/x for it "),
            Runs({{"<bob> see ", false}, {"http://example.de/x ", true}, {"for it ", false}}));
  // Neighbouring URL words leave no empty plain run between them.
  EXPECT_EQ(SplitUrlRuns("FTP://a https://b "), Runs({{"FTP://a ", true}, {"https://b ", true}}));
  // Doubled spaces stay in the plain run; a line without URL words is one run.
  EXPECT_EQ(SplitUrlRuns("a  b "), Runs({{"a  b ", false}}));
  EXPECT_TRUE(SplitUrlRuns("").empty());
}

TEST(UrlRuns, DomainEndingsCountOnlyBeforeSpaceOrSlash) {
  // Capitals at the end of a line qualify through the added space.
  EXPECT_EQ(SplitUrlRuns("visit WWW.EXAMPLE.COM "), Runs({{"visit ", false}, {"WWW.EXAMPLE.COM ", true}}));
  EXPECT_TRUE(IsUrlWord("example.net/page "));
  EXPECT_TRUE(IsUrlWord("host.Org\\share "));
  EXPECT_FALSE(IsUrlWord("example.community "));
  EXPECT_FALSE(IsUrlWord("example.com"));  // no trailing space: nothing follows ".com"
  EXPECT_FALSE(IsUrlWord(".co "));
}

TEST(UrlRuns, SchemePrefixCountsOnlyAtTheStartOfTheWord) {
  EXPECT_FALSE(IsUrlWord("xhttp://example.de "));
  EXPECT_FALSE(IsUrlWord("(http://example.de) "));
  EXPECT_TRUE(IsUrlWord("HTTPS:nothing-else "));
  EXPECT_FALSE(IsUrlWord("http "));
}

}  // namespace
}  // namespace tolvik
