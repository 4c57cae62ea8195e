#include "aliases/alias_database.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_set>

#include "aliases/alias_files.h"

namespace tolvik {
namespace {

constexpr const char* kDbName = "Aliases.db";
constexpr const char* kIndexName = "Aliases.Idx";

// Offsets in the index are 32-bit, so Aliases.db never grows past 4 GiB.
constexpr uint64_t kMaxDbSize = 0xFFFFFFFFull;

// A reply goes out as "/msg <recipient> <line>", and the whole command keeps
// to the server's 255 characters.
constexpr std::size_t kReplyLimit = 255;
constexpr std::size_t kMsgLineLimit = 255;

std::size_t replyLimitFor(const char* recipient) {
  const std::size_t overhead = std::strlen("/msg ") + std::strlen(recipient) + 1;
  std::size_t limit = kMsgLineLimit > overhead ? kMsgLineLimit - overhead : 0;
  return std::clamp<std::size_t>(limit, 32, kReplyLimit);
}

// Builds "<prefix><first><item>, <item>...\n" from as many items as fit in
// `limit` characters; when some are left out the list ends in ", ...".
// Returns false when the next item no longer fits.
class ReplyList {
 public:
  ReplyList(std::string_view prefix, std::string_view firstSeparator, std::size_t limit)
      : text_(prefix), first_(firstSeparator), limit_(limit) {}

  bool add(std::string_view item) {
    if (full_) return false;
    const std::string_view sep = empty_ ? first_ : std::string_view(", ");
    // Room for this item, and for ", ..." in case a later one does not fit.
    if (text_.size() + sep.size() + item.size() + std::strlen(", ...") + 1 > limit_) {
      full_ = true;
      return false;
    }
    text_.append(sep).append(item);
    empty_ = false;
    return true;
  }
  bool full() const { return full_; }

  std::string line() const {
    std::string out = text_;
    if (full_) out.append(empty_ ? first_ : std::string_view(", ")).append("...");
    out.push_back('\n');
    return out;
  }

 private:
  std::string text_;
  std::string_view first_;
  std::size_t limit_;
  bool empty_ = true;
  bool full_ = false;
};

// A record's name and id as one key, the name folded as names compare.
std::string pairKey(uint32_t id, std::string_view name) {
  std::string key;
  key.reserve(4 + name.size());
  putLe32(key, id);
  for (char c : name) key.push_back(static_cast<char>(foldAliasByte(static_cast<unsigned char>(c))));
  return key;
}

// Shows the wait cursor for as long as it lives.
class WaitCursor {
 public:
  explicit WaitCursor(AliasHost& host) : host_(host) { host_.beginWait(); }
  ~WaitCursor() { host_.endWait(); }
  WaitCursor(const WaitCursor&) = delete;
  WaitCursor& operator=(const WaitCursor&) = delete;

 private:
  AliasHost& host_;
};

}  // namespace

AliasDatabase::AliasDatabase(const std::string& workingDirectory, ChatDisplay& display, AliasHost& host)
    : display_(display),
      host_(host),
      dbPath_(alias_files::joinPath(workingDirectory, kDbName)),
      indexPath_(alias_files::joinPath(workingDirectory, kIndexName)) {
  std::string indexBytes;
  int err = alias_files::readWholeFile(indexPath_, indexBytes, kMaxDbSize);
  if (err == ENOENT) {
    const int fd = ::open(indexPath_.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
    if (fd >= 0) ::close(fd);
  } else if (err != 0) {
    display_.print(TextType::BotInfo, "Cannot read %s: %s", kIndexName, std::strerror(err));
  }

  openDatabaseFile();
  std::string dbBytes;
  err = alias_files::readWholeFile(dbPath_, dbBytes, kMaxDbSize);
  if (err != 0) {
    display_.print(TextType::BotInfo, "Cannot read %s: %s", kDbName, std::strerror(err));
    // Appending to a file that could not be read would index records at wrong
    // offsets, and writing the index would throw the old one away.
    if (dbFd_ >= 0) ::close(dbFd_);
    dbFd_ = -1;
    dbReadable_ = false;
    return;
  }
  load(dbBytes, indexBytes);
}

AliasDatabase::~AliasDatabase() {
  saveIndex();
  if (dbFd_ >= 0) ::close(dbFd_);
}

void AliasDatabase::openDatabaseFile() {
  if (dbFd_ >= 0) ::close(dbFd_);
  dbFd_ = ::open(dbPath_.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
  if (dbFd_ < 0) display_.print(TextType::BotInfo, "Cannot open %s: %s", kDbName, std::strerror(errno));
}

void AliasDatabase::loadRecords(std::string_view dbBytes) {
  records_.clear();
  names_.clear();
  tail_ = scanAliasRecords(dbBytes, [this](const ScannedAliasRecord& r) {
    // Records that could not be added (bad names in a damaged file) are not indexable.
    if (!isValidAliasName(r.name)) return;
    records_.push_back({r.offset, r.id, static_cast<uint32_t>(names_.size()),
                        static_cast<uint32_t>(r.name.size())});
    names_.append(r.name);
  });
  dbSize_ = dbBytes.size();
}

int32_t AliasDatabase::recordAtOffset(uint32_t offset) const {
  auto it = std::lower_bound(records_.begin(), records_.end(), offset,
                             [](const Record& r, uint32_t o) { return r.offset < o; });
  if (it == records_.end() || it->offset != offset) return -1;
  return static_cast<int32_t>(it - records_.begin());
}

void AliasDatabase::load(std::string_view dbBytes, std::string_view indexBytes) {
  loadRecords(dbBytes);
  byName_.clear();
  byId_.clear();

  // The index is sound when each column holds every record exactly once, in order.
  bool sound = indexBytes.size() % kAliasIndexEntrySize == 0;
  const std::size_t entries = indexBytes.size() / kAliasIndexEntrySize;
  std::vector<uint8_t> inName(records_.size()), inId(records_.size());
  byName_.reserve(entries);
  byId_.reserve(entries);
  for (std::size_t i = 0; i < entries; ++i) {
    const char* entry = indexBytes.data() + i * kAliasIndexEntrySize;
    const int32_t n = recordAtOffset(getLe32(entry));
    const int32_t d = recordAtOffset(getLe32(entry + 4));
    if (n < 0 || d < 0 || inName[n] || inId[d]) sound = false;
    if (n >= 0 && !inName[n]) {
      inName[n] = 1;
      byName_.push_back(static_cast<uint32_t>(n));
    }
    if (d >= 0 && !inId[d]) {
      inId[d] = 1;
      byId_.push_back(static_cast<uint32_t>(d));
    }
  }
  // Records the index leaves out are fine only when they repeat a pair it
  // holds: add() would have refused them.
  sound = sound && byName_.size() == entries && byId_.size() == entries && inName == inId &&
          std::is_sorted(byName_.begin(), byName_.end(),
                         [this](uint32_t a, uint32_t b) { return compareAliasNames(nameOf(a), nameOf(b)) < 0; }) &&
          std::is_sorted(byId_.begin(), byId_.end(),
                         [this](uint32_t a, uint32_t b) { return records_[a].id < records_[b].id; }) &&
          (entries == records_.size() || indexHoldsEveryPair(inName));
  if (sound) return;

  display_.print(TextType::BotInfo, "%s did not match %s (damaged or out of date) and has been rebuilt from it",
                 kIndexName, kDbName);
  rebuildIndex();
  saveIndex();
}

bool AliasDatabase::indexHoldsEveryPair(const std::vector<uint8_t>& indexed) const {
  std::unordered_set<std::string> pairs;
  for (uint32_t r = 0; r < records_.size(); ++r)
    if (indexed[r]) pairs.insert(pairKey(records_[r].id, nameOf(r)));
  for (uint32_t r = 0; r < records_.size(); ++r)
    if (!indexed[r] && pairs.count(pairKey(records_[r].id, nameOf(r))) == 0) return false;
  return true;
}

// Indexes the first record of every (name, id) pair of records_, as adding
// them one by one in file order would.
void AliasDatabase::rebuildIndex() {
  std::unordered_set<std::string> seen;
  std::vector<uint32_t> newestFirst;
  newestFirst.reserve(records_.size());
  for (uint32_t r = 0; r < records_.size(); ++r)
    if (seen.insert(pairKey(records_[r].id, nameOf(r))).second) newestFirst.push_back(r);
  std::reverse(newestFirst.begin(), newestFirst.end());
  sortIndex(std::move(newestFirst));
  indexDirty_ = true;
}

// Fills both orders from records listed newest first. A stable sort keeps
// equal keys newest first, which is where add() puts them (at the front of
// their run), so a rebuilt index matches one grown by the same adds.
void AliasDatabase::sortIndex(std::vector<uint32_t> recordsByAge) {
  byName_ = recordsByAge;
  std::stable_sort(byName_.begin(), byName_.end(),
                   [this](uint32_t a, uint32_t b) { return compareAliasNames(nameOf(a), nameOf(b)) < 0; });
  byId_ = std::move(recordsByAge);
  std::stable_sort(byId_.begin(), byId_.end(),
                   [this](uint32_t a, uint32_t b) { return records_[a].id < records_[b].id; });
}

AliasMatch AliasDatabase::findByName(std::string_view name) const {
  const auto lo = std::lower_bound(byName_.begin(), byName_.end(), name, [this](uint32_t r, std::string_view n) {
    return compareAliasNames(nameOf(r), n) < 0;
  });
  const auto hi = std::upper_bound(lo, byName_.end(), name, [this](std::string_view n, uint32_t r) {
    return compareAliasNames(n, nameOf(r)) < 0;
  });
  return {static_cast<int32_t>(hi - lo), static_cast<int32_t>(lo - byName_.begin())};
}

AliasMatch AliasDatabase::findById(std::string_view idText) const {
  return findById(parseAliasId(idText).value_or(0));
}

AliasMatch AliasDatabase::findById(uint32_t id) const {
  const auto lo = std::lower_bound(byId_.begin(), byId_.end(), id,
                                   [this](uint32_t r, uint32_t wanted) { return records_[r].id < wanted; });
  const auto hi = std::upper_bound(lo, byId_.end(), id,
                                   [this](uint32_t wanted, uint32_t r) { return wanted < records_[r].id; });
  return {static_cast<int32_t>(hi - lo), static_cast<int32_t>(lo - byId_.begin())};
}

uint32_t AliasDatabase::idAtNameIndex(int32_t i) const {
  return i >= 0 && i < count() ? records_[byName_[i]].id : 0;
}
std::string_view AliasDatabase::nameAtNameIndex(int32_t i) const {
  return i >= 0 && i < count() ? nameOf(byName_[i]) : std::string_view();
}
uint32_t AliasDatabase::idAtIdIndex(int32_t i) const { return i >= 0 && i < count() ? records_[byId_[i]].id : 0; }
std::string_view AliasDatabase::nameAtIdIndex(int32_t i) const {
  return i >= 0 && i < count() ? nameOf(byId_[i]) : std::string_view();
}

int AliasDatabase::append(uint32_t id, std::string_view name, uint32_t& offset) {
  if (dbFd_ < 0) return EBADF;
  struct stat st {};
  if (::fstat(dbFd_, &st) != 0) return errno;
  uint64_t start = static_cast<uint64_t>(st.st_size);
  std::string bytes;
  // Mend the end of the file first, so that a reindex reads the new record
  // where the index says it is. (Only when the file is as it was last read.)
  if (start == dbSize_ && tail_.kind == AliasTail::Kind::MissingSeparator) {
    bytes.push_back(' ');
  } else if (start == dbSize_ && tail_.kind == AliasTail::Kind::Incomplete) {
    if (::ftruncate(dbFd_, static_cast<off_t>(tail_.cut)) != 0) return errno;
    start = tail_.cut;
    dbSize_ = start;
    tail_ = {AliasTail::Kind::Clean, start};
  }
  const uint64_t recordOffset = start + bytes.size();
  appendAliasRecord(bytes, id, name);
  if (start + bytes.size() > kMaxDbSize) return EFBIG;
  if (const int err = alias_files::writeAll(dbFd_, bytes); err != 0) {
    // Take back a partly written record so it cannot swallow the next one.
    if (::ftruncate(dbFd_, static_cast<off_t>(start)) != 0) dbSize_ = UINT64_MAX;
    return err;
  }
  dbSize_ = start + bytes.size();
  tail_ = {AliasTail::Kind::Clean, static_cast<std::size_t>(dbSize_)};
  offset = static_cast<uint32_t>(recordOffset);
  return 0;
}

AliasAddResult AliasDatabase::add(std::string_view name, std::string_view idText) {
  if (!isValidAliasName(name)) {
    display_.print(TextType::BotInfo,
                   "Cannot add an account: a name is 1 to %zu characters without spaces or control characters",
                   kAliasMaxNameLength);
    return AliasAddResult::Refused;
  }
  const int nameLength = static_cast<int>(name.size());
  const std::optional<uint32_t> id = parseAliasId(idText);
  if (!id) {
    display_.print(TextType::BotInfo, "Cannot add %.*s: the account id is not a number", nameLength, name.data());
    return AliasAddResult::Refused;
  }
  const AliasMatch sameName = findByName(name);
  for (int32_t i = sameName.first; i < sameName.first + sameName.count; ++i)
    if (records_[byName_[i]].id == *id) return AliasAddResult::AlreadyKnown;
  const AliasMatch sameId = findById(*id);

  // Records are at least 6 bytes and offsets stay below 4 GiB, so the count
  // cannot outgrow its signed 32 bits.
  uint32_t offset = 0;
  if (const int err = append(*id, name, offset); err != 0) {
    display_.print(TextType::BotInfo, "Cannot add %.*s to %s: %s", nameLength, name.data(), kDbName,
                   std::strerror(err));
    return AliasAddResult::Refused;
  }
  const auto record = static_cast<uint32_t>(records_.size());
  records_.push_back({offset, *id, static_cast<uint32_t>(names_.size()), static_cast<uint32_t>(name.size())});
  names_.append(name);
  byId_.insert(byId_.begin() + sameId.first, record);
  byName_.insert(byName_.begin() + sameName.first, record);
  indexDirty_ = true;
  // Written at once, so a killed program loses no record from the index. No
  // flush to disk: an index a power cut damaged is rebuilt at the next open.
  writeIndex(false);
  return AliasAddResult::Added;
}

AliasAddResult AliasDatabase::addAlias(std::string_view name, std::string_view idText) {
  const AliasAddResult result = add(name, idText);
  if (result == AliasAddResult::AlreadyKnown) display_.print(TextType::BotInfo, "Account already in database");
  return result;
}

void AliasDatabase::showAliases(std::string_view name, const char* recipient) {
  if (recipient == nullptr) recipient = "";
  const AliasMatch match = findByName(name);
  if (match.count == 0) {
    host_.reply(recipient, "Name not found\n");
    return;
  }
  const std::size_t limit = replyLimitFor(recipient);
  ReplyList ids("ID#(s): ", "", limit);
  ReplyList names("Name(s):", " ", limit);
  std::vector<std::string_view> shown;
  for (int32_t i = match.first; i < match.first + match.count; ++i) {
    const uint32_t id = records_[byName_[i]].id;
    ids.add(formatAliasId(id));
    if (names.full()) {
      if (ids.full()) break;
      continue;
    }
    const AliasMatch sameId = findById(id);
    for (int32_t j = sameId.first; j < sameId.first + sameId.count; ++j) {
      const std::string_view other = nameOf(byId_[j]);
      if (std::any_of(shown.begin(), shown.end(),
                      [&](std::string_view s) { return compareAliasNames(s, other) == 0; }))
        continue;
      if (!names.add(other)) break;
      shown.push_back(other);
    }
  }
  host_.reply(recipient, ids.line().c_str());
  host_.reply(recipient, names.line().c_str());
}

std::string AliasDatabase::idsOfName(std::string_view name) const {
  const AliasMatch match = findByName(name);
  if (match.count == 0) return "Not Found";
  std::string ids;
  for (int32_t i = match.first; i < match.first + match.count; ++i) {
    if (!ids.empty()) ids += ", ";
    ids += formatAliasId(records_[byName_[i]].id);
  }
  return ids;
}

void AliasDatabase::reindex() {
  display_.print(TextType::BotInfo, "Reindexing... this could take quite a while!");
  WaitCursor wait(host_);

  std::string old;
  int err = alias_files::readWholeFile(dbPath_, old, kMaxDbSize);
  if (err == ENOENT) err = 0;
  if (err != 0) {
    display_.print(TextType::BotInfo, "Reindex failed: cannot read %s: %s", kDbName, std::strerror(err));
    return;
  }
  // Keep each (name, id) pair once, as adding the records one by one would.
  std::string rebuilt;
  rebuilt.reserve(old.size());
  std::unordered_set<std::string> seen;
  std::size_t unusable = 0;
  scanAliasRecords(old, [&](const ScannedAliasRecord& r) {
    if (!isValidAliasName(r.name)) {
      ++unusable;
      return;
    }
    if (seen.insert(pairKey(r.id, r.name)).second) appendAliasRecord(rebuilt, r.id, r.name);
  });
  err = alias_files::replaceFile(dbPath_, rebuilt);
  if (err != 0) {
    display_.print(TextType::BotInfo, "Reindex failed: cannot write %s: %s", kDbName, std::strerror(err));
    return;
  }
  dbReadable_ = true;
  openDatabaseFile();
  loadRecords(rebuilt);
  rebuildIndex();
  saveIndex();
  if (unusable > 0)
    display_.print(TextType::BotInfo, "Left out %zu damaged records of %s", unusable, kDbName);
  display_.print(TextType::BotInfo, "Done!");
}

bool AliasDatabase::saveIndex() { return writeIndex(true); }

bool AliasDatabase::writeIndex(bool durable) {
  if (!indexDirty_ || !dbReadable_) return true;
  std::string bytes;
  bytes.reserve(byName_.size() * kAliasIndexEntrySize);
  for (std::size_t i = 0; i < byName_.size(); ++i) {
    putLe32(bytes, records_[byName_[i]].offset);
    putLe32(bytes, records_[byId_[i]].offset);
  }
  if (const int err = alias_files::replaceFile(indexPath_, bytes, durable); err != 0) {
    // Once per run of failures, not at every add.
    if (!indexSaveFailed_) display_.print(TextType::BotInfo, "Cannot save %s: %s", kIndexName, std::strerror(err));
    indexSaveFailed_ = true;
    return false;
  }
  indexDirty_ = false;
  indexSaveFailed_ = false;
  return true;
}

}  // namespace tolvik
