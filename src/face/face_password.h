#pragma once
// The password a face gives to attach over the network. The bot keeps only
// a salted argon2id hash of it (libsodium's crypto_pwhash_str) in its
// profile directory, owner-only and rewritten atomically; the clear text
// is never written, logged or echoed. Wrong passwords are slowed down per
// source address without anyone sleeping: the gate says from when on the
// next answer to that address may go out.
#include <chrono>
#include <cstddef>
#include <map>
#include <string>
#include <string_view>

namespace tolvik {

inline constexpr char kFacePasswordFile[] = "face.passhash";
// Longer passwords are refused (bytes).
inline constexpr size_t kFacePasswordLimit = 1024;

// Hashes `password` and stores the hash, replacing any earlier one. Empty
// or overlong passwords are refused. False with the reason in `error`.
bool SetFacePassword(const std::string& profile_dir, std::string_view password, std::string* error);

// Whether a face password has been set in `profile_dir`.
bool HasFacePassword(const std::string& profile_dir);

// Whether `password` is the one whose hash is stored. The hash is read
// again on each call, so a password set while the bot runs counts at once.
// False when none is stored. Takes tens of milliseconds (the hash is slow
// on purpose).
bool CheckFacePassword(const std::string& profile_dir, std::string_view password);

// Overwrites a copy of a password before it is let go.
void WipeSecret(std::string& secret);

// Per-address slow-down for wrong passwords: after the n-th wrong password
// in a row from one address, nothing from that address is answered for
// first_delay * 2^(n-1), at most max_delay. A right password clears the
// address. At most `capacity` addresses are kept; when a new one comes, the
// one whose wait ends first goes.
class FacePasswordThrottle {
 public:
  using Clock = std::chrono::steady_clock;
  static constexpr std::chrono::milliseconds kFirstDelay{1000};
  static constexpr std::chrono::milliseconds kMaxDelay{64000};
  static constexpr size_t kCapacity = 4096;
  // An address that tried nothing for this long is forgotten.
  static constexpr std::chrono::minutes kForgetAfter{30};

  explicit FacePasswordThrottle(size_t capacity = kCapacity, std::chrono::milliseconds first_delay = kFirstDelay,
                                std::chrono::milliseconds max_delay = kMaxDelay)
      : capacity_(capacity), first_delay_(first_delay), max_delay_(max_delay) {}

  // Before this time an attempt from `address` is not looked at; the time
  // is in the past (or now) for an address with no recent wrong password.
  Clock::time_point NotBefore(const std::string& address, Clock::time_point now) const;
  // Counts a wrong password; returns the new NotBefore.
  Clock::time_point Failed(const std::string& address, Clock::time_point now);
  void Succeeded(const std::string& address);
  size_t Size() const { return entries_.size(); }

 private:
  struct Entry {
    int failures = 0;
    Clock::time_point not_before;
    Clock::time_point last;
  };
  void MakeRoom(Clock::time_point now);

  size_t capacity_;
  std::chrono::milliseconds first_delay_, max_delay_;
  std::map<std::string, Entry> entries_;
};

// The password check a listener's faces go through: the slow-down, then
// the stored hash.
class FacePasswordGate {
 public:
  using Clock = FacePasswordThrottle::Clock;
  enum class Verdict { Accepted, Wrong, TooSoon, NoPasswordSet };
  struct Outcome {
    Verdict verdict;
    // When the answer may be sent: the face waits until then before it
    // hears "wrong password" (and another attempt is not looked at).
    Clock::time_point answer_at;
  };

  explicit FacePasswordGate(std::string profile_dir, FacePasswordThrottle throttle = FacePasswordThrottle())
      : profile_dir_(std::move(profile_dir)), throttle_(std::move(throttle)) {}

  Outcome Check(const std::string& address, std::string_view password, Clock::time_point now);
  const FacePasswordThrottle& Throttle() const { return throttle_; }
  const std::string& ProfileDir() const { return profile_dir_; }

 private:
  std::string profile_dir_;
  FacePasswordThrottle throttle_;
};

}  // namespace tolvik
