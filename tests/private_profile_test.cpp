#include "storage/private_profile.h"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "storage/profile_file.h"
#include "support/crlf.h"
#include "support/temp_dir.h"

namespace tolvik {
namespace {

using testing::Crlf;
using testing::TempDir;

class PrivateProfileTest : public ::testing::Test {
 protected:
  void SetUp() override { path_ = dir_.file("Bot.ini"); }
  void Write(std::string_view text) { dir_.write("Bot.ini", Crlf(text)); }
  std::string Str(std::string_view section, std::string_view key, std::string_view def = "DEF",
                  size_t size = 256) {
    return PrivateProfile::ReadString(section, key, def, size, path_);
  }
  int32_t Int(std::string_view key, int32_t def = -7) { return PrivateProfile::ReadInt("S", key, def, path_); }

  TempDir dir_;
  std::string path_;
};

// ---- strings

TEST_F(PrivateProfileTest, StringsLoseSurroundingBlanksAndOnePairOfQuotes) {
  Write("[S]\n  spaced  =   a value  \ndq=\"quoted \"\nsq='x'\nodd=\"abc\nmixed=\"abc'\ninner=\"\"x\"\"\nlone=\"\n");
  EXPECT_EQ(Str("S", "spaced"), "a value");
  EXPECT_EQ(Str("S", "dq"), "quoted ");
  EXPECT_EQ(Str("S", "sq"), "x");
  EXPECT_EQ(Str("S", "odd"), "\"abc");
  EXPECT_EQ(Str("S", "mixed"), "\"abc'");
  EXPECT_EQ(Str("S", "inner"), "\"x\"");
  EXPECT_EQ(Str("S", "lone"), "\"");
}

TEST_F(PrivateProfileTest, NamesCompareWithoutRegardToCase) {
  Write("[Security]\nChannelPassword=open\n[ security ]\nchannelpassword=second\n");
  EXPECT_EQ(Str("SECURITY", "CHANNELPASSWORD"), "open");
}

TEST_F(PrivateProfileTest, EmptyValueIsNotMissing) {
  Write("[S]\nempty=\nbare\n");
  EXPECT_EQ(Str("S", "empty"), "");
  EXPECT_EQ(Str("S", "bare"), "DEF");  // a line without "=" has no value
  EXPECT_EQ(Str("S", "none"), "DEF");
  EXPECT_EQ(Str("T", "empty"), "DEF");
}

TEST_F(PrivateProfileTest, DefaultLosesTrailingBlanksButNotItsLineEnd) {
  EXPECT_EQ(Str("S", "k", "abc   "), "abc");  // no file at all
  EXPECT_EQ(Str("S", "k", "\n"), "\n");
  EXPECT_EQ(Str("S", "k", "   "), " ");
}

TEST_F(PrivateProfileTest, StringsAreCutToTheBuffer) {
  Write("[S]\nk=0123456789\nq=\"0123456789\"\n");
  EXPECT_EQ(Str("S", "k", "", 5), "0123");
  EXPECT_EQ(Str("S", "q", "", 5), "0123");
  EXPECT_EQ(Str("S", "missing", "defaults", 4), "def");
  EXPECT_EQ(Str("S", "k", "", 0), "");
}

TEST_F(PrivateProfileTest, DoubledBracketLineDoesNotEndTheSection) {
  Write("[S]\n[[pattern]]=hi\nk=1\n[T]\nk=2\n");
  EXPECT_EQ(Str("S", "k"), "1");
  EXPECT_EQ(Str("T", "k"), "2");
}

TEST_F(PrivateProfileTest, AcceptsLfOnlyFilesWithoutFinalLineEnd) {
  dir_.write("Bot.ini", "[S]\nk=1\nlast=2");
  EXPECT_EQ(Str("S", "k"), "1");
  EXPECT_EQ(Str("S", "last"), "2");
}

// ---- integers

TEST_F(PrivateProfileTest, IntegersTakeTheLeadingNumber) {
  Write("[S]\nplain=42\nneg=-1\nplus=+7\ntrail=12abc\nword=abc\nspaced=  99  \nquoted=\"5\"\nhex=0x10\n"
        "wrap=4294967297\nempty=\n");
  EXPECT_EQ(Int("plain"), 42);
  EXPECT_EQ(Int("neg"), -1);
  EXPECT_EQ(Int("plus"), 7);
  EXPECT_EQ(Int("trail"), 12);
  EXPECT_EQ(Int("word"), 0);
  EXPECT_EQ(Int("spaced"), 99);
  EXPECT_EQ(Int("quoted"), 5);
  EXPECT_EQ(Int("hex"), 0);
  EXPECT_EQ(Int("wrap"), 1);
  EXPECT_EQ(Int("empty"), -7);
  EXPECT_EQ(Int("missing"), -7);
}

// ---- sections

TEST_F(PrivateProfileTest, SectionListsEntriesTrimmedWithoutCommentsOrBlanks) {
  Write("[A]\nx=1\n[S]\n; note\n k = v \n\nbare\nq=\"kept\"\n[T]\ny=2\n");
  EXPECT_EQ(PrivateProfile::ReadSection("s", path_), (std::vector<std::string>{"k=v", "bare", "q=\"kept\""}));
  EXPECT_TRUE(PrivateProfile::ReadSection("missing", path_).empty());
}

// ---- structs

TEST(PrivateProfileStruct, EncodesUpperCaseHexAndAByteSum) {
  const std::array<uint8_t, 3> bytes{0x01, 0xAB, 0xFF};
  EXPECT_EQ(PrivateProfile::EncodeStruct(bytes), "01ABFFAB");  // 0x01 + 0xAB + 0xFF = 0x1AB
  EXPECT_EQ(PrivateProfile::EncodeStruct(std::span<const uint8_t>()), "00");
}

TEST(PrivateProfileStruct, DecodeRejectsWrongLengthChecksumOrDigits) {
  std::array<uint8_t, 3> out{9, 9, 9};
  const std::array<uint8_t, 3> untouched{9, 9, 9};
  for (std::string_view bad : {"01ABFFAC", "01ABFF", "01ABFFAB00", "01ABFFA", "01ABFFABA", "01AGFFAB", "01AB FFA",
                               "", "0x01ABFF"}) {
    EXPECT_FALSE(PrivateProfile::DecodeStruct(bad, out)) << bad;
    EXPECT_EQ(out, untouched) << bad;
  }
  ASSERT_TRUE(PrivateProfile::DecodeStruct("01abffab", out));  // either case is read
  EXPECT_EQ(out, (std::array<uint8_t, 3>{0x01, 0xAB, 0xFF}));
}

TEST_F(PrivateProfileTest, StructRoundTripsThroughTheFile) {
  std::array<uint8_t, 44> data;
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 37 + 5);
  ASSERT_TRUE(PrivateProfile::WriteStruct("Window", "Metrics", data, path_));
  std::array<uint8_t, 44> back{};
  ASSERT_TRUE(PrivateProfile::ReadStruct("window", "metrics", back, path_));
  EXPECT_EQ(back, data);
  std::array<uint8_t, 43> shorter{};
  EXPECT_FALSE(PrivateProfile::ReadStruct("Window", "Metrics", shorter, path_));
  EXPECT_FALSE(PrivateProfile::ReadStruct("Window", "Other", back, path_));
}

// ---- writing

TEST_F(PrivateProfileTest, WriteCreatesAMissingFile) {
  ASSERT_TRUE(PrivateProfile::WriteString("Security", "ChannelPassword", "pw", path_));
  EXPECT_EQ(dir_.read("Bot.ini"), Crlf("[Security]\nChannelPassword=pw\n"));
}

TEST_F(PrivateProfileTest, WriteReplacesTheKeyInPlace) {
  Write("[S]\n  Key = old \nother=1\n[T]\nkey=t\n");
  ASSERT_TRUE(PrivateProfile::WriteString("s", "key", "new", path_));
  EXPECT_EQ(dir_.read("Bot.ini"), Crlf("[S]\nkey=new\nother=1\n[T]\nkey=t\n"));
}

TEST_F(PrivateProfileTest, WriteAddsAKeyAfterTheSectionsLastEntry) {
  Write("[S]\na=1\n\n[T]\nb=2\n");
  ASSERT_TRUE(PrivateProfile::WriteString("S", "c", "3", path_));
  ASSERT_TRUE(PrivateProfile::WriteString("T", "d", "4", path_));
  EXPECT_EQ(dir_.read("Bot.ini"), Crlf("[S]\na=1\nc=3\n\n[T]\nb=2\nd=4\n"));
}

TEST_F(PrivateProfileTest, WriteAppendsAMissingSectionAfterABlankLine) {
  dir_.write("Bot.ini", "[S]\na=1");  // no final line end
  ASSERT_TRUE(PrivateProfile::WriteString("Fonts", "k", "v", path_));
  EXPECT_EQ(dir_.read("Bot.ini"), Crlf("[S]\na=1\n\n[Fonts]\nk=v\n"));
}

TEST_F(PrivateProfileTest, BothReadersShareTheFile) {
  Write("[Init]\nLogin=me\n");
  ASSERT_TRUE(PrivateProfile::WriteString("Init", "AutoLogin", "1", path_));
  ASSERT_TRUE(ProfileFile::Write("Init", "Password", "p=w", path_));
  std::string login;
  EXPECT_TRUE(ProfileFile::Read("Init", "Login", "", login, 30, path_));
  EXPECT_EQ(login, "me");
  EXPECT_EQ(PrivateProfile::ReadInt("Init", "AutoLogin", 0, path_), 1);
  EXPECT_EQ(dir_.read("Bot.ini"), Crlf("[Init]\nLogin=me\nAutoLogin=1\nPassword=p==w\n"));
}

}  // namespace
}  // namespace tolvik
