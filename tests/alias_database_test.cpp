#include "aliases/alias_database.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "support/temp_dir.h"

namespace tolvik {
namespace {

using testing::TempDir;

struct RecordingDisplay : ChatDisplay {
  std::vector<std::string> lines;
  void append(const char* text, const TextFormat&) override { lines.emplace_back(text); }
};

struct RecordingHost : AliasHost {
  std::vector<std::pair<std::string, std::string>> replies;  // (recipient, line)
  int waitsBegun = 0;
  int waitsEnded = 0;
  void reply(const char* recipient, const char* line) override { replies.emplace_back(recipient, line); }
  void beginWait() override { ++waitsBegun; }
  void endWait() override { ++waitsEnded; }
};

std::string le32(uint32_t v) {
  std::string s;
  putLe32(s, v);
  return s;
}

std::string record(uint32_t id, const std::string& name) { return le32(id) + name + " "; }

std::string entry(uint32_t byName, uint32_t byId) { return le32(byName) + le32(byId); }

class AliasDatabaseTest : public ::testing::Test {
 protected:
  std::unique_ptr<AliasDatabase> open() {
    return std::make_unique<AliasDatabase>(dir.path().string(), display, host);
  }
  std::vector<std::string> names(const AliasDatabase& db) const {
    std::vector<std::string> out;
    for (int32_t i = 0; i < db.count(); ++i) out.emplace_back(db.nameAtNameIndex(i));
    return out;
  }
  std::vector<uint32_t> ids(const AliasDatabase& db) const {
    std::vector<uint32_t> out;
    for (int32_t i = 0; i < db.count(); ++i) out.push_back(db.idAtIdIndex(i));
    return out;
  }
  std::vector<std::string> repliesTo(const std::string& who) const {
    std::vector<std::string> out;
    for (const auto& [to, line] : host.replies)
      if (to == who) out.push_back(line);
    return out;
  }

  TempDir dir;
  RecordingDisplay display;
  RecordingHost host;
};

TEST(AliasFormat, ParsesIdTexts) {
  EXPECT_EQ(parseAliasId("#17"), 17u);
  EXPECT_EQ(parseAliasId("17, 20"), 17u);
  EXPECT_EQ(parseAliasId(" +5x"), 5u);
  EXPECT_EQ(parseAliasId("#-1"), 0xFFFFFFFFu);
  EXPECT_EQ(parseAliasId("4294967295"), 0xFFFFFFFFu);
  EXPECT_EQ(parseAliasId("-2147483648"), 0x80000000u);
  EXPECT_EQ(parseAliasId("4294967296"), std::nullopt);
  EXPECT_EQ(parseAliasId("-2147483649"), std::nullopt);
  EXPECT_EQ(parseAliasId("99999999999999999999999"), std::nullopt);
  for (const char* bad : {"", "#", "##5", "abc", "-", "# x"}) EXPECT_EQ(parseAliasId(bad), std::nullopt) << bad;
  for (uint32_t id : {0u, 1u, 0x7FFFFFFFu, 0x80000000u, 0xFFFFFFFFu})
    EXPECT_EQ(parseAliasId(formatAliasId(id)), id);
  EXPECT_EQ(formatAliasId(0xFFFFFFFFu), "-1");
}

TEST_F(AliasDatabaseTest, EmptyDatabaseThenOneRecord) {
  {
    auto db = open();
    EXPECT_TRUE(dir.exists("Aliases.db"));
    EXPECT_TRUE(dir.exists("Aliases.Idx"));
    db->showAliases("Bob", "Someone");
    EXPECT_EQ(repliesTo("Someone"), std::vector<std::string>{"Name not found\n"});
    EXPECT_EQ(db->idsOfName("Bob"), "Not Found");
    EXPECT_EQ(db->add("Bob", "#17"), AliasAddResult::Added);
    EXPECT_EQ(dir.read("Aliases.db"), record(17, "Bob"));
    EXPECT_EQ(dir.read("Aliases.db").size(), 4u + 3u + 1u);
  }
  EXPECT_EQ(dir.read("Aliases.Idx"), entry(0, 0));
  auto db = open();
  EXPECT_TRUE(db->isKnown("BOB"));
  EXPECT_TRUE(display.lines.empty());
  for (const auto& f : std::filesystem::directory_iterator(dir.path()))
    EXPECT_EQ(f.path().string().find(".tmp"), std::string::npos) << f.path();
}

// Five records with names and ids that collide; equal keys go to the front of their run.
class AliasFilesTest : public AliasDatabaseTest {
 protected:
  void addFive(AliasDatabase& db) {
    EXPECT_EQ(db.add("Carol", "20"), AliasAddResult::Added);  // offset 0
    EXPECT_EQ(db.add("bob", "17"), AliasAddResult::Added);    // 10
    EXPECT_EQ(db.add("Alice", "#17"), AliasAddResult::Added);  // 18
    EXPECT_EQ(db.add("Bob", "20"), AliasAddResult::Added);    // 28
    EXPECT_EQ(db.add("alice", "-1"), AliasAddResult::Added);  // 36
  }
  const std::string expectedDb = record(20, "Carol") + record(17, "bob") + record(17, "Alice") +
                                 record(20, "Bob") + record(0xFFFFFFFF, "alice");
  // by name: alice Alice Bob bob Carol; by id: Alice(17) bob(17) Bob(20) Carol(20) alice(-1)
  const std::string expectedIndex =
      entry(36, 18) + entry(18, 10) + entry(28, 28) + entry(10, 0) + entry(0, 36);
};

TEST_F(AliasFilesTest, WritesBothFilesByteForByte) {
  {
    auto db = open();
    addFive(*db);
    EXPECT_EQ(dir.read("Aliases.db"), expectedDb);
  }
  EXPECT_EQ(dir.read("Aliases.Idx"), expectedIndex);

  auto db = open();
  EXPECT_TRUE(display.lines.empty());
  EXPECT_EQ(names(*db), (std::vector<std::string>{"alice", "Alice", "Bob", "bob", "Carol"}));
  EXPECT_EQ(ids(*db), (std::vector<uint32_t>{17, 17, 20, 20, 0xFFFFFFFF}));
  EXPECT_EQ(db->findByName("BOB"), (AliasMatch{2, 2}));
  EXPECT_EQ(db->findById("#20"), (AliasMatch{2, 2}));
  EXPECT_EQ(db->idsOfName("bob"), "20, 17");
}

TEST_F(AliasFilesTest, ShowsAliasesOncePerNameInIdOrder) {
  auto db = open();
  addFive(*db);
  db->showAliases("BOB", "Op");
  db->showAliases("alice", "Op");
  EXPECT_EQ(repliesTo("Op"), (std::vector<std::string>{"ID#(s): 20, 17\n", "Name(s): Bob, Carol, Alice\n",
                                                       "ID#(s): -1, 17\n", "Name(s): alice, bob\n"}));
}

TEST_F(AliasDatabaseTest, OrdersNamesCaseInsensitivelyAndIdsUnsigned) {
  {
    auto db = open();
    const std::pair<const char*, const char*> adds[] = {
        {"Zed", "0"},         {"_x", "4294967294"}, {"alpha", "#-1"},         {"Beta", "2147483648"},
        {"[y", "1"},          {"\xE9t\xE9", "2147483647"}, {"Al", "-2147483647"}};
    for (auto [name, id] : adds) EXPECT_EQ(db->add(name, id), AliasAddResult::Added) << name;
  }
  auto db = open();  // the order must survive the index file
  EXPECT_TRUE(display.lines.empty());
  EXPECT_EQ(names(*db), (std::vector<std::string>{"[y", "_x", "Al", "alpha", "Beta", "Zed", "\xE9t\xE9"}));
  EXPECT_EQ(ids(*db), (std::vector<uint32_t>{0, 1, 0x7FFFFFFF, 0x80000000, 0x80000001, 0xFFFFFFFE, 0xFFFFFFFF}));
  EXPECT_EQ(db->findByName("ALPHA"), (AliasMatch{1, 3}));
  EXPECT_EQ(db->findByName("b"), (AliasMatch{0, 4}));
  EXPECT_EQ(db->findByName("zz"), (AliasMatch{0, 6}));
  EXPECT_EQ(db->findById("-1"), (AliasMatch{1, 6}));
  EXPECT_EQ(db->findById("4294967295"), (AliasMatch{1, 6}));
  EXPECT_EQ(db->findById("#2415919104"), (AliasMatch{0, 5}));  // 0x90000000
  EXPECT_EQ(db->findById("nonsense"), (AliasMatch{1, 0}));     // reads as id 0
  EXPECT_EQ(db->idsOfName("alpha"), "-1");
  EXPECT_EQ(db->nameAtIdIndex(6), "alpha");
  EXPECT_EQ(db->idAtNameIndex(0), 1u);
  EXPECT_EQ(db->nameAtNameIndex(-1), "");
  EXPECT_EQ(db->idAtIdIndex(7), 0u);
}

TEST_F(AliasDatabaseTest, RefusesDuplicatePairsCaseInsensitively) {
  auto db = open();
  EXPECT_EQ(db->add("Bob", "17"), AliasAddResult::Added);
  EXPECT_EQ(db->add("Bob", "17"), AliasAddResult::AlreadyKnown);
  EXPECT_EQ(db->add("bob", "#17"), AliasAddResult::AlreadyKnown);
  EXPECT_TRUE(display.lines.empty());
  EXPECT_EQ(db->addAlias("BOB", "17 "), AliasAddResult::AlreadyKnown);
  EXPECT_EQ(display.lines, std::vector<std::string>{"Account already in database"});
  EXPECT_EQ(db->add("bob", "20"), AliasAddResult::Added);
  EXPECT_EQ(dir.read("Aliases.db"), record(17, "Bob") + record(20, "bob"));
  EXPECT_EQ(db->count(), 2);
  // The "Add Alias" dialog passes the ids of another name; the first one counts.
  EXPECT_EQ(db->addAlias("Carol", db->idsOfName("bob")), AliasAddResult::Added);
  EXPECT_EQ(db->idsOfName("carol"), "20");
}

TEST_F(AliasDatabaseTest, RefusesNamesAndIdsThatWouldDamageTheFile) {
  auto db = open();
  const std::string bad[] = {"", "Bob Smith", "Bob\t", std::string("Bo\0b", 4), "Bob\x01", "\x7F",
                             std::string(kAliasMaxNameLength + 1, 'a')};
  for (const std::string& name : bad) {
    EXPECT_EQ(db->add(name, "17"), AliasAddResult::Refused);
    db->showAliases(name, "Op");
  }
  EXPECT_EQ(db->add("Bob", "abc"), AliasAddResult::Refused);
  EXPECT_EQ(db->add("Bob", ""), AliasAddResult::Refused);
  EXPECT_EQ(db->add("Bob", "4294967296"), AliasAddResult::Refused);
  EXPECT_EQ(display.lines.size(), std::size(bad) + 3);
  EXPECT_EQ(dir.read("Aliases.db"), "");
  EXPECT_EQ(db->count(), 0);
  EXPECT_EQ(host.replies.size(), std::size(bad));

  const std::string longest(kAliasMaxNameLength, 'a');
  EXPECT_EQ(db->add(longest, "1"), AliasAddResult::Added);
  EXPECT_EQ(db->add("\xC3\xA9l\xC3\xA8ve", "2"), AliasAddResult::Added);
  EXPECT_EQ(dir.read("Aliases.db"), record(1, longest) + record(2, "\xC3\xA9l\xC3\xA8ve"));
}

TEST_F(AliasDatabaseTest, CutsLongRepliesAtAWholeItem) {
  auto db = open();
  for (int i = 0; i < 40; ++i) {
    ASSERT_EQ(db->add("Member" + std::to_string(100000 + i), "5"), AliasAddResult::Added);
    ASSERT_EQ(db->add("Hopper", std::to_string(1000000000 + i)), AliasAddResult::Added);
  }
  db->showAliases("Member100000", "Op");
  db->showAliases("Hopper", std::string(100, 'r').c_str());
  ASSERT_EQ(host.replies.size(), 4u);
  const std::size_t limits[] = {247, 247, 149, 149};  // 255 - "/msg " - recipient - " "
  for (std::size_t i = 0; i < 4; ++i) {
    const std::string& line = host.replies[i].second;
    SCOPED_TRACE(line);
    EXPECT_LE(line.size(), limits[i]);
    if (i == 1 || i == 2) {
      EXPECT_GT(line.size(), limits[i] - 20);  // cut lines are nearly full
    }
    EXPECT_EQ(line.back(), '\n');
  }
  EXPECT_EQ(host.replies[0].second, "ID#(s): 5\n");
  EXPECT_EQ(host.replies[1].second.rfind("Name(s): Member100039, Member100038, ", 0), 0u);
  EXPECT_TRUE(host.replies[1].second.ends_with(", ...\n"));
  EXPECT_EQ(host.replies[2].second.rfind("ID#(s): 1000000039, 1000000038, ", 0), 0u);
  EXPECT_TRUE(host.replies[2].second.ends_with(", ...\n"));
  EXPECT_EQ(host.replies[3].second, "Name(s): Hopper\n");
}

// A database of 1100 records in which 100 repeat earlier pairs (some in other case).
class AliasReindexTest : public AliasDatabaseTest {
 protected:
  std::vector<std::pair<std::string, uint32_t>> pairs() const {
    std::vector<std::pair<std::string, uint32_t>> out;
    for (uint32_t i = 0; i < 1000; ++i)
      out.emplace_back("user" + std::to_string(i % 700), i % 3 == 0 ? 0x80000000u + i : i * 7919u % 400u);
    for (uint32_t i = 0; i < 100; ++i) {
      auto repeat = out[i * 9];
      if (i % 2) repeat.first[0] = 'U';
      out.push_back(repeat);
    }
    return out;
  }
};

TEST_F(AliasReindexTest, RebuildsADeletedIndexLikeTheSameAddsWould) {
  TempDir reference;
  {
    RecordingDisplay d;
    RecordingHost h;
    AliasDatabase db(reference.path().string(), d, h);
    for (const auto& [name, id] : pairs()) db.add(name, formatAliasId(id));
    EXPECT_EQ(db.count(), 1000);
  }
  std::string raw;
  for (const auto& [name, id] : pairs()) raw += record(id, name);
  dir.write("Aliases.db", raw);

  auto db = open();
  ASSERT_EQ(display.lines.size(), 1u);
  EXPECT_NE(display.lines[0].find("has been rebuilt"), std::string::npos);
  // Rebuilt and written at open: every record is found, repeats are not indexed twice.
  EXPECT_TRUE(db->isKnown("user1"));
  EXPECT_EQ(dir.read("Aliases.Idx"), reference.read("Aliases.Idx"));

  db->reindex();
  EXPECT_EQ(display.lines.end()[-2], "Reindexing... this could take quite a while!");
  EXPECT_EQ(display.lines.back(), "Done!");
  EXPECT_EQ(host.waitsBegun, 1);
  EXPECT_EQ(host.waitsEnded, 1);
  EXPECT_EQ(dir.read("Aliases.db"), reference.read("Aliases.db"));  // same records, read order, no repeats
  EXPECT_EQ(dir.read("Aliases.Idx"), reference.read("Aliases.Idx"));  // written at once, not at close
  EXPECT_EQ(db->count(), 1000);
  EXPECT_TRUE(db->isKnown("USER1"));
  db.reset();
  open();
  EXPECT_EQ(display.lines.size(), 3u);  // the warning, "Reindexing...", "Done!"
}

// Every kind of damage to Aliases.Idx: reported once, no crash, reindex mends it.
TEST_F(AliasDatabaseTest, DamagedIndexIsReportedOnceAndRebuilt) {
  {
    auto db = open();
    for (int i = 0; i < 50; ++i) db->add("name" + std::to_string(i), std::to_string(i % 9));
  }
  const std::string goodDb = dir.read("Aliases.db");
  const std::string goodIndex = dir.read("Aliases.Idx");
  ASSERT_EQ(goodIndex.size(), 400u);

  auto patched = [&](std::size_t at, uint32_t value) {
    std::string s = goodIndex;
    s.replace(at, 4, le32(value));
    return s;
  };
  std::string swapped = goodIndex;  // by-name column holds the by-id order
  for (std::size_t i = 0; i < 50; ++i) swapped.replace(i * 8, 4, goodIndex.substr(i * 8 + 4, 4));
  std::string garbage;
  for (std::size_t i = 0; i < goodIndex.size(); ++i) garbage.push_back(static_cast<char>(i * 37 + 11));

  const std::pair<const char*, std::string> cases[] = {
      {"partial entry", goodIndex.substr(0, 395)},
      {"trailing bytes", goodIndex + "xyz"},
      {"offset past the end", patched(0, 0xFFFFFFF0)},
      {"offset inside a record", patched(12, 1)},
      {"unsorted column", swapped},
      {"duplicated entry", goodIndex + goodIndex.substr(0, 8)},
      {"garbage", garbage},
      {"empty", ""},
      {"stale (missing the last records)", goodIndex.substr(0, 320)},
  };
  for (const auto& [what, index] : cases) {
    SCOPED_TRACE(what);
    dir.write("Aliases.Idx", index);
    display.lines.clear();
    {
      auto db = open();
      ASSERT_EQ(display.lines.size(), 1u);
      EXPECT_NE(display.lines[0].find("has been rebuilt"), std::string::npos);
      EXPECT_EQ(dir.read("Aliases.Idx"), goodIndex);  // rebuilt and written at once
      for (int i = 0; i < 50; i += 7) {
        const std::string name = "name" + std::to_string(i);
        db->showAliases(name, "Op");
        const AliasMatch m = db->findByName(name);
        ASSERT_EQ(m.count, 1);
        EXPECT_EQ(db->nameAtNameIndex(m.first), name);
        db->findById(std::to_string(i));
      }
      EXPECT_EQ(display.lines.size(), 1u);
      db->reindex();
      EXPECT_EQ(display.lines.back(), "Done!");
    }
    EXPECT_EQ(dir.read("Aliases.db"), goodDb);
    EXPECT_EQ(dir.read("Aliases.Idx"), goodIndex);
    display.lines.clear();
    open();
    EXPECT_TRUE(display.lines.empty());
  }
}

TEST_F(AliasDatabaseTest, KeepsWorkingWithTheEntriesADamagedIndexStillHas) {
  dir.write("Aliases.db", record(17, "Bob") + record(20, "Carol"));
  dir.write("Aliases.Idx", entry(0, 0) + entry(999, 8));
  auto db = open();
  EXPECT_EQ(display.lines.size(), 1u);
  EXPECT_EQ(db->count(), 2);  // Carol is still in the by-id column
  EXPECT_EQ(db->idsOfName("carol"), "20");
  EXPECT_EQ(db->add("Dave", "20"), AliasAddResult::Added);
  db->showAliases("Dave", "Op");
  EXPECT_EQ(repliesTo("Op"), (std::vector<std::string>{"ID#(s): 20\n", "Name(s): Dave, Carol\n"}));
}

TEST_F(AliasDatabaseTest, MendsATornEndBeforeAppending) {
  const std::string bob = record(17, "Bob");
  const std::pair<std::string, std::string> cases[] = {
      {bob.substr(0, bob.size() - 1), bob},   // separator missing: completed
      {bob + "\x05\x01", bob},                // stray bytes: cut
      {bob + le32(3) + "  \n", bob},          // an id without a name: cut
  };
  for (const auto& [before, kept] : cases) {
    SCOPED_TRACE(before);
    dir.write("Aliases.db", before);
    dir.write("Aliases.Idx", entry(0, 0));
    {
      auto db = open();
      EXPECT_TRUE(display.lines.empty());
      EXPECT_EQ(db->add("Carol", "20"), AliasAddResult::Added);
      EXPECT_EQ(db->findByName("Carol"), (AliasMatch{1, 1}));
    }
    EXPECT_EQ(dir.read("Aliases.db"), kept + record(20, "Carol"));
    EXPECT_EQ(dir.read("Aliases.Idx"), entry(0, 0) + entry(8, 8));
    open();
    EXPECT_TRUE(display.lines.empty());
  }
}

TEST_F(AliasDatabaseTest, ReindexDropsRecordsAHandEditDamaged) {
  const std::string bytes = record(1, "Good") + le32(2) + std::string(100000, 'x') + " " + record(3, "Ctl\x01") +
                            record(4, std::string("Nu\0l", 4)) + record(5, "Fine") + "\x07";
  dir.write("Aliases.db", bytes);
  auto db = open();
  EXPECT_EQ(display.lines.size(), 1u);
  EXPECT_EQ(db->count(), 2);  // the index is rebuilt from the records that can be read
  db->reindex();
  EXPECT_EQ(dir.read("Aliases.db"), record(1, "Good") + record(5, "Fine"));
  EXPECT_EQ(display.lines.end()[-2], "Left out 3 damaged records of Aliases.db");
  EXPECT_EQ(db->idsOfName("fine"), "5");
}

// A killed program never closes the database. Whatever it had added must
// still be found afterwards, so the bot does not ask again and store it twice.
TEST_F(AliasDatabaseTest, AKilledProgramLosesNoRecordAndRepeatsNone) {
  open()->add("Bob", "17");
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    auto* db = new AliasDatabase(dir.path().string(), display, host);  // never closed
    db->add("Carol", "20");
    db->add("bob", "20");
    _exit(0);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  const std::string records = record(17, "Bob") + record(20, "Carol") + record(20, "bob");
  ASSERT_EQ(dir.read("Aliases.db"), records);
  const std::string whole = dir.read("Aliases.Idx");
  EXPECT_EQ(whole, entry(18, 0) + entry(0, 18) + entry(8, 8));
  {
    auto db = open();
    EXPECT_TRUE(display.lines.empty());  // the index was already whole
    db->showAliases("carol", "Op");
    EXPECT_EQ(db->add("CAROL", "#20"), AliasAddResult::AlreadyKnown);
  }
  EXPECT_EQ(repliesTo("Op"), (std::vector<std::string>{"ID#(s): 20\n", "Name(s): bob, Carol\n"}));

  // An index that still misses records (killed between the two writes, or
  // left by a program that wrote it only at exit) is mended at open.
  dir.write("Aliases.Idx", entry(0, 0));
  {
    auto db = open();
    ASSERT_EQ(display.lines.size(), 1u);
    EXPECT_EQ(db->idsOfName("BOB"), "20, 17");
    EXPECT_EQ(db->add("bob", "20"), AliasAddResult::AlreadyKnown);
  }
  EXPECT_EQ(dir.read("Aliases.db"), records);
  EXPECT_EQ(dir.read("Aliases.Idx"), whole);
  display.lines.clear();
  open();
  EXPECT_TRUE(display.lines.empty());
}

TEST_F(AliasDatabaseTest, AFailedIndexWriteLeavesTheOldIndex) {
  {
    auto db = open();
    db->add("Bob", "17");
  }
  std::filesystem::create_directory(dir.path() / "Aliases.Idx.tmp");  // the temporary cannot be made
  {
    auto db = open();
    db->add("Carol", "20");
  }
  EXPECT_EQ(dir.read("Aliases.Idx"), entry(0, 0));
  ASSERT_EQ(display.lines.size(), 1u);
  EXPECT_EQ(display.lines[0].rfind("Cannot save Aliases.Idx: ", 0), 0u);
  std::filesystem::remove(dir.path() / "Aliases.Idx.tmp");
  open()->reindex();
  EXPECT_EQ(dir.read("Aliases.Idx"), entry(0, 0) + entry(8, 8));
}

TEST_F(AliasDatabaseTest, AnUnreadableDatabaseWritesNothing) {
  std::filesystem::create_directory(dir.path() / "Aliases.db");
  dir.write("Aliases.Idx", entry(0, 0));
  {
    auto db = open();
    EXPECT_EQ(display.lines.size(), 2u);  // cannot open, cannot read
    EXPECT_EQ(db->add("Bob", "17"), AliasAddResult::Refused);
    db->showAliases("Bob", "Op");
  }
  EXPECT_EQ(dir.read("Aliases.Idx"), entry(0, 0));
  EXPECT_EQ(repliesTo("Op"), std::vector<std::string>{"Name not found\n"});
}

}  // namespace
}  // namespace tolvik
