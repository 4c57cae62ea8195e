#include "face/face_password.h"

#include <sodium.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "settings/config.h"
#include "storage/atomic_file.h"

namespace tolvik {
namespace {

bool SodiumReady() {
  static const bool ready = sodium_init() >= 0;
  return ready;
}

std::string HashFile(const std::string& profile_dir) { return JoinPath(profile_dir, kFacePasswordFile); }

// The stored hash: the first line of the file, empty when there is none.
std::string StoredHash(const std::string& profile_dir) {
  std::string text;
  if (!ReadWholeFile(HashFile(profile_dir), text)) return std::string();
  const size_t end = text.find('\n');
  if (end != std::string::npos) text.resize(end);
  return text.size() < crypto_pwhash_STRBYTES ? text : std::string();
}

}  // namespace

bool SetFacePassword(const std::string& profile_dir, std::string_view password, std::string* error) {
  if (password.empty()) {
    *error = "the face password is empty";
    return false;
  }
  if (password.size() > kFacePasswordLimit) {
    *error = "the face password is longer than " + std::to_string(kFacePasswordLimit) + " bytes";
    return false;
  }
  if (!SodiumReady()) {
    *error = "libsodium could not start";
    return false;
  }
  char hash[crypto_pwhash_STRBYTES];
  if (crypto_pwhash_str_alg(hash, password.data(), password.size(), crypto_pwhash_OPSLIMIT_INTERACTIVE,
                            crypto_pwhash_MEMLIMIT_INTERACTIVE, crypto_pwhash_ALG_ARGON2ID13) != 0) {
    *error = "not enough memory to hash the face password";
    return false;
  }
  const std::string path = HashFile(profile_dir);
  // An existing file keeps its bits through the rewrite: make it
  // owner-only before the new hash goes in.
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0 && (st.st_mode & 077) != 0 && ::chmod(path.c_str(), 0600) != 0) {
    *error = "cannot make " + path + " owner-only: " + std::strerror(errno);
    return false;
  }
  if (!WriteFileAtomically(path, std::string(hash) + "\n", 0600)) {
    *error = "cannot write " + path + ": " + std::strerror(errno);
    return false;
  }
  return true;
}

void WipeSecret(std::string& secret) {
  if (!secret.empty()) sodium_memzero(secret.data(), secret.size());
  secret.clear();
}

bool HasFacePassword(const std::string& profile_dir) { return !StoredHash(profile_dir).empty(); }

bool CheckFacePassword(const std::string& profile_dir, std::string_view password) {
  if (password.empty() || password.size() > kFacePasswordLimit || !SodiumReady()) return false;
  const std::string hash = StoredHash(profile_dir);
  if (hash.empty()) return false;
  return crypto_pwhash_str_verify(hash.c_str(), password.data(), password.size()) == 0;
}

FacePasswordThrottle::Clock::time_point FacePasswordThrottle::NotBefore(const std::string& address,
                                                                        Clock::time_point now) const {
  auto it = entries_.find(address);
  if (it == entries_.end() || it->second.not_before < now) return now;
  return it->second.not_before;
}

FacePasswordThrottle::Clock::time_point FacePasswordThrottle::Failed(const std::string& address,
                                                                     Clock::time_point now) {
  auto it = entries_.find(address);
  if (it != entries_.end() && now - it->second.last > kForgetAfter) {
    entries_.erase(it);
    it = entries_.end();
  }
  if (it == entries_.end()) {
    MakeRoom(now);
    it = entries_.emplace(address, Entry{}).first;
  }
  Entry& e = it->second;
  e.failures = std::min(e.failures + 1, 30);
  auto delay = first_delay_;
  for (int i = 1; i < e.failures && delay < max_delay_; ++i) delay *= 2;
  delay = std::min(delay, max_delay_);
  e.last = now;
  e.not_before = std::max(e.not_before, now + delay);
  return e.not_before;
}

void FacePasswordThrottle::Succeeded(const std::string& address) { entries_.erase(address); }

void FacePasswordThrottle::MakeRoom(Clock::time_point now) {
  for (auto it = entries_.begin(); it != entries_.end();) {
    if (now - it->second.last > kForgetAfter)
      it = entries_.erase(it);
    else
      ++it;
  }
  while (!entries_.empty() && entries_.size() >= capacity_) {
    auto first_free = std::min_element(entries_.begin(), entries_.end(), [](const auto& a, const auto& b) {
      return a.second.not_before < b.second.not_before;
    });
    entries_.erase(first_free);
  }
}

FacePasswordGate::Outcome FacePasswordGate::Check(const std::string& address, std::string_view password,
                                                  Clock::time_point now) {
  const Clock::time_point not_before = throttle_.NotBefore(address, now);
  if (not_before > now) return {Verdict::TooSoon, not_before};
  if (!HasFacePassword(profile_dir_)) return {Verdict::NoPasswordSet, now};
  if (CheckFacePassword(profile_dir_, password)) {
    throttle_.Succeeded(address);
    return {Verdict::Accepted, now};
  }
  return {Verdict::Wrong, throttle_.Failed(address, now)};
}

}  // namespace tolvik
