#include "display/url_runs.h"

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

// ---- What a clicked link opens

TEST(LinkTarget, WebAndFtpLinksOpenAsTheyAreShown) {
  EXPECT_EQ(LinkTarget("http://example.de/x "), "http://example.de/x");
  EXPECT_EQ(LinkTarget("FTP://files.example.net/"), "FTP://files.example.net/");
  EXPECT_EQ(LinkTarget("https://example.org/@amy"), "https://example.org/@amy");
  EXPECT_EQ(LinkTarget("www.example.com/a"), "http://www.example.com/a");
  EXPECT_EQ(LinkTarget("example.com:8080/x"), "http://example.com:8080/x");  // a port, not a scheme
  EXPECT_EQ(LinkTarget("www.example.com/@amy"), "http://www.example.com/@amy");
}

TEST(LinkTarget, OnlyFourSchemesOpen) {
  EXPECT_EQ(LinkTarget("javascript:alert(1)//.com"), "");
  EXPECT_EQ(LinkTarget("file:///etc/x.org"), "");
  EXPECT_EQ(LinkTarget("smb://host.com/share"), "");
  EXPECT_EQ(LinkTarget("user:pw@host.com"), "");  // "user" is a scheme
  EXPECT_EQ(LinkTarget("   "), "");
  EXPECT_EQ(LinkTarget("http://a.com/\tb"), "");
}

TEST(LinkTarget, MailLinksOpenWithoutQueryOrFragment) {
  EXPECT_EQ(LinkTarget("mailto:a@b.com?attach=/etc/passwd"), "mailto:a@b.com");
  EXPECT_EQ(LinkTarget("MAILTO:a@b.com#x"), "MAILTO:a@b.com");
  EXPECT_EQ(LinkTarget("mailto:a@b.com"), "mailto:a@b.com");
  EXPECT_EQ(LinkTarget("bob@example.org?subject=hi&attach=~/.ssh/id_rsa"), "MailTo:bob@example.org");
  // Nothing left to mail, or more than a plain address.
  EXPECT_EQ(LinkTarget("mailto:?attach=/etc/passwd"), "");
  EXPECT_EQ(LinkTarget("mailto:nobody"), "");
  EXPECT_EQ(LinkTarget("mailto:a@b.com/../../etc"), "");
  EXPECT_EQ(LinkTarget("@b.com"), "");
}

TEST(LinkTarget, QuestionMarkOrSlashBeforeTheAtSignNeverMakesAMailLink) {
  EXPECT_EQ(LinkTarget("?attach=/root/.ssh/id_rsa@x.com/"), "");
  EXPECT_EQ(LinkTarget("a?b@x.com"), "http://a?b@x.com");  // host "a", the rest its query
  EXPECT_EQ(LinkTarget("/root/id_rsa@x.com/"), "");
  EXPECT_EQ(LinkTarget("x.com/a?b@c.com"), "http://x.com/a?b@c.com");  // a web address
  EXPECT_EQ(LinkTarget("x.com?q@c.com"), "http://x.com?q@c.com");
  EXPECT_EQ(LinkTarget("x.com/path@c.com"), "http://x.com/path@c.com");
}

TEST(LinkTarget, DirectionControlsCannotHideWhatOpens) {
  // "http://good.com/\u202Emoc.live" shows one address and would open another.
  EXPECT_EQ(LinkTarget("http://good.com/\xE2\x80\xAEmoc.live"), "http://good.com/moc.live");
  EXPECT_EQ(LinkTarget("\xE2\x81\xA7mailto:a@b.com\xE2\x81\xA9"), "mailto:a@b.com");
}

}  // namespace
}  // namespace tolvik
