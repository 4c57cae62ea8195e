#pragma once
// The account and alias store: which account names were seen under which
// numeric account id, kept in Aliases.db (append-only records) and
// Aliases.Idx (the by-name and by-id orders of the records' offsets) in the
// working directory. See alias_format.h for the byte layout.
//
// The index lives in memory while the database is open, together with a copy
// of every record's id and name, so look-ups do not touch the disk. The files
// are what they would be without that copy: records are only ever appended,
// and Aliases.Idx is written whole (through a temporary file and one rename)
// after every add, after a reindex and when the database closes, so a killed
// program leaves an index that holds every record it had added. An index
// that still misses records (a kill between the two writes, a power cut, an
// older program) is rebuilt from Aliases.db when the database opens.
//
// The database owns both files while it is open; other writers are not
// expected. Every call runs on the main thread.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "aliases/alias_format.h"
#include "display/chat_display.h"

namespace tolvik {

// What the database needs from the rest of the bot. ChatBot implements it:
// reply() with OutgoingQueue::WhisperTo(recipient, "%s", line), the wait
// calls with the front-end's wait cursor.
class AliasHost {
 public:
  virtual ~AliasHost() = default;

  // Answers one line, ending in LF and at most 255 characters, to a user:
  // a whisper, or a BotInfo line in the chat display (without the LF) when
  // the recipient is the bot's own name. `line` is text, never a format.
  virtual void reply(const char* recipient, const char* line) = 0;

  // Bracket a long operation (reindex): show and remove the wait cursor.
  virtual void beginWait() {}
  virtual void endWait() {}
};

// The result of a find: the number of entries with the key and the first of
// them in that order; when there are none, count is 0 and first is the index
// where the key would be inserted.
struct AliasMatch {
  int32_t count = 0;
  int32_t first = 0;
  bool operator==(const AliasMatch&) const = default;
};

enum class AliasAddResult {
  Added,         // a record was appended and indexed
  AlreadyKnown,  // the name (case-insensitively) is already recorded with this id
  Refused,       // bad name or id text, or Aliases.db could not be written (shown as BotInfo)
};

class AliasDatabase {
 public:
  // Opens (creating when missing) Aliases.db and Aliases.Idx in
  // `workingDirectory` and loads the index. An index that does not match
  // Aliases.db (deleted, damaged, out of date) is rebuilt from the records
  // of Aliases.db (each name and id once), written at once and reported as
  // BotInfo; Aliases.db itself is left as it is.
  // `display` and `host` must outlive the database.
  AliasDatabase(const std::string& workingDirectory, ChatDisplay& display, AliasHost& host);
  // Writes the index back (saveIndex) and closes Aliases.db.
  ~AliasDatabase();
  AliasDatabase(const AliasDatabase&) = delete;
  AliasDatabase& operator=(const AliasDatabase&) = delete;

  // Number of index entries (records in the index).
  int32_t count() const { return static_cast<int32_t>(byName_.size()); }

  AliasMatch findByName(std::string_view name) const;
  // The id text may begin with '#'; a text that is not a number finds id 0.
  AliasMatch findById(std::string_view idText) const;
  AliasMatch findById(uint32_t id) const;

  // The record at index i of either order; 0 or "" when i is out of range.
  uint32_t idAtNameIndex(int32_t i) const;
  std::string_view nameAtNameIndex(int32_t i) const;
  uint32_t idAtIdIndex(int32_t i) const;
  std::string_view nameAtIdIndex(int32_t i) const;

  // Records (name, id). The name must be 1-127 bytes without white space or
  // control bytes and the id text a number (see parseAliasId); otherwise, or
  // when Aliases.db cannot be written, nothing is stored, the reason is shown
  // as BotInfo and the result is Refused.
  AliasAddResult add(std::string_view name, std::string_view idText);

  // add(), showing "Account already in database" when the pair exists.
  AliasAddResult addAlias(std::string_view name, std::string_view idText);

  bool isKnown(std::string_view name) const { return findByName(name).count > 0; }

  // Answers "ID#(s): ..." and "Name(s): ..." (or "Name not found") to the
  // recipient through AliasHost::reply. Lists too long for one line are cut
  // after the last item that fits and end in ", ...".
  void showAliases(std::string_view name, const char* recipient);

  // The ids of the name as "17, 20" ("%i" each), or "Not Found".
  std::string idsOfName(std::string_view name) const;

  // Rebuilds Aliases.db from its own records (in file order, dropping
  // repeated pairs and records that cannot be stored) and writes a new index.
  void reindex();

  // Writes Aliases.Idx now when it differs from the file. Returns false (and
  // shows why) when it could not be written; the old file is then unchanged.
  bool saveIndex();

 private:
  struct Record {
    uint32_t offset;     // in Aliases.db
    uint32_t id;
    uint32_t nameStart;  // in names_
    uint32_t nameLength;
  };

  std::string_view nameOf(uint32_t record) const {
    const Record& r = records_[record];
    return std::string_view(names_).substr(r.nameStart, r.nameLength);
  }
  void openDatabaseFile();
  void load(std::string_view dbBytes, std::string_view indexBytes);
  void loadRecords(std::string_view dbBytes);
  void sortIndex(std::vector<uint32_t> recordsByAge);
  bool indexHoldsEveryPair(const std::vector<uint8_t>& indexed) const;
  void rebuildIndex();
  bool writeIndex(bool durable);
  int append(uint32_t id, std::string_view name, uint32_t& offset);
  int32_t recordAtOffset(uint32_t offset) const;

  ChatDisplay& display_;
  AliasHost& host_;
  std::string dbPath_;
  std::string indexPath_;
  int dbFd_ = -1;
  uint64_t dbSize_ = 0;  // size of Aliases.db as last read or written
  AliasTail tail_;       // how Aliases.db ends; mended before the next append
  bool indexDirty_ = false;
  bool indexSaveFailed_ = false;  // the last write of Aliases.Idx failed and was reported
  bool dbReadable_ = true;  // false: Aliases.db could not be read, so neither file is written

  std::vector<Record> records_;  // valid records of Aliases.db, by increasing offset
  std::string names_;            // the records' names, back to back
  std::vector<uint32_t> byName_;  // numbers into records_, sorted by name
  std::vector<uint32_t> byId_;    // numbers into records_, sorted by id
};

}  // namespace tolvik
