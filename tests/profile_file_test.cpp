#include "storage/profile_file.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/crlf.h"
#include "support/temp_dir.h"

namespace tolvik {
namespace {

using testing::Crlf;
using testing::TempDir;

std::string ReadValue(const std::string& path, std::string_view section, std::string_view key,
                      std::string_view def = "DEF", size_t size = 256, bool* found = nullptr) {
  std::string out;
  bool f = ProfileFile::Read(section, key, def, out, size, path);
  if (found) *found = f;
  return out;
}

std::vector<std::string> DirEntries(const TempDir& dir) {
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(dir.path())) names.push_back(e.path().filename());
  return names;
}

// ---- escape, unescape, field

TEST(ProfileFileText, EscapeDoublesOnlyTheGivenCharacters) {
  EXPECT_EQ(ProfileFile::Escape("a=b", ProfileFile::kWriteEscapes), "a==b");
  EXPECT_EQ(ProfileFile::Escape("x[1]", ProfileFile::kWriteEscapes), "x[[1]]");
  EXPECT_EQ(ProfileFile::Escape("a:b", ProfileFile::kWriteEscapes), "a:b");
  EXPECT_EQ(ProfileFile::Escape("a:b", ProfileFile::kKeyEscapes), "a::b");
  EXPECT_EQ(ProfileFile::Escape("", "="), "");
}

TEST(ProfileFileText, UnescapeDropsACharacterEqualToTheOneBeforeIt) {
  EXPECT_EQ(ProfileFile::Unescape("x[[1]]", "[]="), "x[1]");
  EXPECT_EQ(ProfileFile::Unescape("p==w", "[]="), "p=w");
  EXPECT_EQ(ProfileFile::Unescape("aa::", "[]="), "aa::");  // not in the set
  EXPECT_EQ(ProfileFile::Unescape("[[[[", "["), "[");       // a run collapses to one
  EXPECT_EQ(ProfileFile::Unescape("[", "["), "[");
  EXPECT_EQ(ProfileFile::Unescape("", "["), "");
}

TEST(ProfileFileText, FieldSplitsAtSingleDelimitersAndTabs) {
  EXPECT_EQ(ProfileFile::Field("OnJoin=join.tcl", "=", 0), "OnJoin");
  EXPECT_EQ(ProfileFile::Field("OnJoin=join.tcl", "=", 1), "join.tcl");
  EXPECT_EQ(ProfileFile::Field("k=v", "=", 2), "");
  EXPECT_EQ(ProfileFile::Field("k=v", "=", -1), "");
  EXPECT_EQ(ProfileFile::Field("k=", "=", 1), "");
  EXPECT_EQ(ProfileFile::Field("k=v\tcomment", "=", 1), "v");
  EXPECT_EQ(ProfileFile::Field("k=v\tcomment", "=", 2), "comment");
  EXPECT_EQ(ProfileFile::Field("a;b c", "; ", 2), "c");
}

TEST(ProfileFileText, FieldKeepsDoubledDelimitersDoubled) {
  EXPECT_EQ(ProfileFile::Field("a==b=x[[1]]", "=", 0), "a==b");
  EXPECT_EQ(ProfileFile::Field("a==b=x[[1]]", "=", 1), "x[[1]]");
  EXPECT_EQ(ProfileFile::Field("a===b", "=", 0), "a==");
  EXPECT_EQ(ProfileFile::Field("a===b", "=", 1), "b");
  EXPECT_EQ(ProfileFile::Field("k=v==", "=", 1), "v==");
}

// ---- reading a key

TEST(ProfileFileRead, EscapedKeyAndValueFromTheEdgeCase) {
  TempDir dir;
  std::string path = dir.file("Bot.ini");
  dir.write("Bot.ini", Crlf("[S]\n"));
  ASSERT_TRUE(ProfileFile::Write("S", "a=b", "x[1]", path));
  EXPECT_EQ(dir.read("Bot.ini"), Crlf("[S]\na==b=x[[1]]\n"));
  bool found = false;
  std::string value = ReadValue(path, "S", "a=b", "DEF", 256, &found);
  EXPECT_TRUE(found);
  EXPECT_EQ(value, "x[[1]]");
  EXPECT_EQ(ProfileFile::Unescape(value, "[]="), "x[1]");
}

TEST(ProfileFileRead, MatchesSectionAndKeyWithoutRegardToCase) {
  TempDir dir;
  dir.write("Bot.ini", Crlf("\n\n[Other]\nkey=wrong\n[AutoSend]\nAntiIdleMsg=/me is here\n"));
  EXPECT_EQ(ReadValue(dir.file("Bot.ini"), "autosend", "ANTIIDLEMSG"), "/me is here");
}

TEST(ProfileFileRead, ACommentedOutEntryIsNotFoundByItsKey) {
  TempDir dir;
  dir.write("script.ini", Crlf("[Talk]\n;!danger=scripts/danger.tcl\n;=x\n!roll=scripts/dice.tcl\n"
                               " ;!spaced=kept.tcl\n[Events]\n;OnTalk=talk.tcl\n"));
  bool found = true;
  EXPECT_EQ(ReadValue(dir.file("script.ini"), "Talk", ";!danger", "", 256, &found), "");
  EXPECT_FALSE(found);
  EXPECT_EQ(ReadValue(dir.file("script.ini"), "Talk", ";", "", 256, &found), "");
  EXPECT_FALSE(found);
  EXPECT_EQ(ReadValue(dir.file("script.ini"), "Events", ";OnTalk", "", 256, &found), "");
  EXPECT_FALSE(found);
  // Neither is the commented-out key's name without the ';'.
  EXPECT_EQ(ReadValue(dir.file("script.ini"), "Talk", "!danger", "", 256, &found), "");
  EXPECT_FALSE(found);
  // Entries after a comment are still found; only a ';' at the very start comments a line out.
  EXPECT_EQ(ReadValue(dir.file("script.ini"), "Talk", "!roll"), "scripts/dice.tcl");
  EXPECT_EQ(ReadValue(dir.file("script.ini"), "Talk", " ;!spaced"), "kept.tcl");
}

TEST(ProfileFileRead, AcceptsLfOnlyLinesAndAMissingFinalLineEnd) {
  TempDir dir;
  dir.write("a.ini", "[S]\nx=1\ny=2");
  EXPECT_EQ(ReadValue(dir.file("a.ini"), "S", "x"), "1");
  EXPECT_EQ(ReadValue(dir.file("a.ini"), "S", "y"), "2");
}

TEST(ProfileFileRead, SectionRunsUntilALineStartingWithASingleBracket) {
  TempDir dir;
  dir.write("a.ini", Crlf("[S]\n[[x]]=inside\nk=1\n[T]\nlater=2\n"));
  std::string path = dir.file("a.ini");
  EXPECT_EQ(ReadValue(path, "S", "[x]"), "inside");
  EXPECT_EQ(ReadValue(path, "S", "k"), "1");
  bool found = true;
  EXPECT_EQ(ReadValue(path, "S", "later", "DEF", 256, &found), "DEF");
  EXPECT_FALSE(found);
}

TEST(ProfileFileRead, MissingFileSectionOrKeyGiveTheDefaultAlsoForKeyLists) {
  TempDir dir;
  dir.write("a.ini", Crlf("[S]\nk=v\n"));
  for (auto [file, section, key] :
       {std::tuple{"none.ini", "S", "k"}, {"a.ini", "T", "k"}, {"a.ini", "S", "z"}, {"a.ini", "T", ""}}) {
    bool found = true;
    EXPECT_EQ(ReadValue(dir.file(file), section, key, "fallback", 256, &found), "fallback");
    EXPECT_FALSE(found);
  }
}

TEST(ProfileFileRead, StoresAtMostBufferSizeMinusOneCharacters) {
  TempDir dir;
  dir.write("a.ini", Crlf("[S]\nk=abcdefgh\n"));
  std::string path = dir.file("a.ini");
  EXPECT_EQ(ReadValue(path, "S", "k", "", 4), "abc");
  EXPECT_EQ(ReadValue(path, "S", "missing", "defaultvalue", 5), "defa");
  EXPECT_EQ(ReadValue(path, "S", "k", "", 1), "");
  EXPECT_EQ(ReadValue(path, "S", "k", "", 0), "");
}

TEST(ProfileFileRead, ValueEndsAtATabOrAnUndoubledEquals) {
  TempDir dir;
  dir.write("a.ini", Crlf("[S]\ntab=before\tafter\neq=one=two\n"));
  EXPECT_EQ(ReadValue(dir.file("a.ini"), "S", "tab"), "before");
  EXPECT_EQ(ReadValue(dir.file("a.ini"), "S", "eq"), "one");
}

TEST(ProfileFileRead, KeyWithAColonIsListedButCannotBeLookedUp) {
  TempDir dir;
  std::string path = dir.file("a.ini");
  dir.write("a.ini", Crlf("[AutoGreet]\n"));
  ASSERT_TRUE(ProfileFile::Write("AutoGreet", "a:b", "hello", path));
  EXPECT_EQ(dir.read("a.ini"), Crlf("[AutoGreet]\na:b=hello\n"));
  bool found = true;
  ReadValue(path, "AutoGreet", "a:b", "DEF", 256, &found);
  EXPECT_FALSE(found);
  EXPECT_EQ(ProfileFile::KeyNames("AutoGreet", path), std::vector<std::string>{"a:b"});
}

// ---- listing key names

TEST(ProfileFileList, ListsUnescapedNamesSkippingCommentsAndEmptyPieces) {
  TempDir dir;
  std::string path = dir.file("a.ini");
  dir.write("a.ini", Crlf("[First]\nnope=1\n[AutoGreet]\na==b=1\n;comment=1\n\nx::y=2\n[Next]\nz=3\n"));
  std::string raw;
  ASSERT_TRUE(ProfileFile::Read("autogreet", "", "", raw, 4096, path));
  // Header remainder and the blank line each give a line end; the list ends with an extra NUL.
  EXPECT_EQ(raw, std::string("\n\0a=b\0\n\0x:y\0\0", 13));
  EXPECT_EQ(ProfileFile::SplitKeyList(raw), (std::vector<std::string>{"a=b", "x:y"}));
}

TEST(ProfileFileList, LineWithoutEqualsIsTakenWhole) {
  TempDir dir;
  dir.write("a.ini", "[S]\r\njust a word\r\nk=v");
  EXPECT_EQ(ProfileFile::KeyNames("S", dir.file("a.ini")), (std::vector<std::string>{"just a word", "k"}));
}

TEST(ProfileFileList, ListIsCutToTheBuffer) {
  TempDir dir;
  dir.write("a.ini", Crlf("[S]\nalpha=1\nbeta=2\n"));
  std::string raw;
  ASSERT_TRUE(ProfileFile::Read("S", "", "", raw, 6, dir.file("a.ini")));
  EXPECT_EQ(raw, std::string("\n\0alp", 5));
}

// ---- writing

TEST(ProfileFileWrite, ReplacesTheKeyAndKeepsEveryOtherByte) {
  TempDir dir;
  std::string path = dir.file("a.ini");
  dir.write("a.ini", Crlf("; top\n[A]\nk=old\nother=1\n\n[B]\nk=b\n"));
  ASSERT_TRUE(ProfileFile::Write("a", "K", "new", path));
  EXPECT_EQ(dir.read("a.ini"), Crlf("; top\n[A]\nK=new\nother=1\n\n[B]\nk=b\n"));
}

TEST(ProfileFileWrite, EmptyValueRemovesAnExistingKey) {
  TempDir dir;
  std::string path = dir.file("a.ini");
  dir.write("a.ini", Crlf("[A]\nx=1\n\nk=v\ny=2\n"));
  ASSERT_TRUE(ProfileFile::Write("A", "k", "", path));
  EXPECT_EQ(dir.read("a.ini"), Crlf("[A]\nx=1\n\ny=2\n"));
}

TEST(ProfileFileWrite, MissingKeyGoesAtTheSectionEndBeforeItsBlankLines) {
  TempDir dir;
  std::string path = dir.file("a.ini");
  dir.write("a.ini", Crlf("[A]\nx=1\n\n[B]\nz=1\n"));
  ASSERT_TRUE(ProfileFile::Write("A", "y", "", path));  // an empty value still adds "key="
  EXPECT_EQ(dir.read("a.ini"), Crlf("[A]\nx=1\ny=\n\n[B]\nz=1\n"));
  ASSERT_TRUE(ProfileFile::Write("B", "w", "2", path));  // end of file inside the section
  EXPECT_EQ(dir.read("a.ini"), Crlf("[A]\nx=1\ny=\n\n[B]\nz=1\nw=2\n"));
}

TEST(ProfileFileWrite, NewSectionIsAppendedAfterABlankLine) {
  TempDir dir;
  std::string path = dir.file("a.ini");
  dir.write("a.ini", Crlf("[A]\nx=1\n"));
  ASSERT_TRUE(ProfileFile::Write("Toggles", "ViewPings", "1", path));
  EXPECT_EQ(dir.read("a.ini"), Crlf("[A]\nx=1\n\n[Toggles]\nViewPings=1\n"));
  // An empty value for a missing section changes nothing.
  ASSERT_TRUE(ProfileFile::Write("Nope", "k", "", path));
  EXPECT_EQ(dir.read("a.ini"), Crlf("[A]\nx=1\n\n[Toggles]\nViewPings=1\n"));
}

TEST(ProfileFileWrite, OnlyTheFirstMatchingKeyOfTheFirstSectionChanges) {
  TempDir dir;
  std::string path = dir.file("a.ini");
  dir.write("a.ini", Crlf("[A]\nk=1\nk=2\n[A]\nk=3\n"));
  ASSERT_TRUE(ProfileFile::Write("A", "k", "9", path));
  EXPECT_EQ(dir.read("a.ini"), Crlf("[A]\nk=9\nk=2\n[A]\nk=3\n"));
}

TEST(ProfileFileWrite, RewritesLfOnlyLinesWithCrLf) {
  TempDir dir;
  std::string path = dir.file("a.ini");
  dir.write("a.ini", "[A]\nx=1\n[B]\ny=2");
  ASSERT_TRUE(ProfileFile::Write("A", "x", "5", path));
  EXPECT_EQ(dir.read("a.ini"), Crlf("[A]\nx=5\n[B]\ny=2\n"));
}

TEST(ProfileFileWrite, ValuesComeBackDoubledAndUnescapeToTheOriginal) {
  TempDir dir;
  std::string path = dir.file("a.ini");
  dir.write("a.ini", "");
  // (A value that begins with "=" cannot come back: "k" "=" "==" reads as key "k==".)
  for (std::string v : {"a=", "[", "]", "a=b[c]d", "x:y", "no special"}) {
    ASSERT_TRUE(ProfileFile::Write("S", "[key]", v, path));
    std::string stored = ReadValue(path, "S", "[key]");
    EXPECT_EQ(stored, ProfileFile::Escape(v, "=[]")) << v;
    EXPECT_EQ(ProfileFile::Unescape(stored, "[]="), v) << v;
  }
  EXPECT_EQ(ProfileFile::KeyNames("S", path), std::vector<std::string>{"[key]"});
  // A run of equal escaped characters does not survive unescaping.
  ASSERT_TRUE(ProfileFile::Write("S", "[key]", "[[x]]", path));
  EXPECT_EQ(ProfileFile::Unescape(ReadValue(path, "S", "[key]"), "[]="), "[x]");
}

TEST(ProfileFileWrite, MissingFileIsNotCreated) {
  TempDir dir;
  EXPECT_FALSE(ProfileFile::Write("S", "k", "v", dir.file("Bot.ini")));
  EXPECT_FALSE(dir.exists("Bot.ini"));
  EXPECT_TRUE(DirEntries(dir).empty());
}

TEST(ProfileFileWrite, LeavesNoTemporaryFileAndKeepsPermissions) {
  TempDir dir;
  // Bot.ini itself is made owner-only by every rewrite (atomic_file_test).
  std::string path = dir.file("script.ini");
  dir.write("script.ini", Crlf("[S]\nk=v\n"));
  ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
  for (int i = 0; i < 5; ++i) ASSERT_TRUE(ProfileFile::Write("S", "k", std::to_string(i), path));
  EXPECT_EQ(DirEntries(dir), std::vector<std::string>{"script.ini"});
  struct stat st;
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  EXPECT_EQ(ReadValue(path, "S", "k"), "4");
}

TEST(ProfileFileWrite, FailedWriteLeavesTheOriginalIntact) {
  TempDir dir;
  std::string path = dir.file("Bot.ini");
  const std::string original = Crlf("[S]\nk=v\n") + std::string(8192, 'x') + "\r\n";
  dir.write("Bot.ini", original);

  // Files may not grow past 4 KB for the moment, so the rewrite cannot finish.
  struct rlimit saved;
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
  auto oldHandler = ::signal(SIGXFSZ, SIG_IGN);
  struct rlimit small = saved;
  small.rlim_cur = 4096;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  bool written = ProfileFile::Write("S", "k", "changed", path);
  ::setrlimit(RLIMIT_FSIZE, &saved);
  ::signal(SIGXFSZ, oldHandler);

  EXPECT_FALSE(written);
  EXPECT_EQ(dir.read("Bot.ini"), original);
  EXPECT_EQ(DirEntries(dir), std::vector<std::string>{"Bot.ini"});
}

}  // namespace
}  // namespace tolvik
