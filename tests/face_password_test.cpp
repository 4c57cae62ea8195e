// The face password: kept only as a slow salted hash, owner-only; wrong
// passwords slowed down per address without holding up anyone else; set
// from a pipe or, asked twice without echo, on a terminal.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <future>
#include <string>

#include "cli_process.h"
#include "face/face_password.h"
#include "face/face_password_authenticator.h"
#include "face/face_tls_listener.h"
#include "support/file_mode.h"
#include "support/temp_dir.h"

namespace tolvik {
namespace {

using namespace std::chrono_literals;
using Clock = FacePasswordThrottle::Clock;
using Verdict = FacePasswordGate::Verdict;
using testing::ModeOf;
using testing::TempDir;

TEST(FacePassword, OnlyAnOwnerOnlySaltedHashIsKept) {
  TempDir dir;
  const std::string password = "correct horse battery";
  // A file left with wider bits is made owner-only before the hash goes in.
  dir.write("face.passhash", "old\n");
  ASSERT_EQ(::chmod(dir.file("face.passhash").c_str(), 0644), 0);
  std::string error;
  ASSERT_TRUE(SetFacePassword(dir.path().string(), password, &error)) << error;
  EXPECT_EQ(ModeOf(dir.file("face.passhash")), 0600u);
  const std::string stored = dir.read("face.passhash");
  EXPECT_EQ(stored.rfind("$argon2id$", 0), 0u) << stored;
  EXPECT_EQ(stored.find("correct"), std::string::npos);
  EXPECT_EQ(stored.find("battery"), std::string::npos);
  EXPECT_TRUE(CheckFacePassword(dir.path().string(), password));
  EXPECT_FALSE(CheckFacePassword(dir.path().string(), "correct horse batterY"));
  EXPECT_FALSE(CheckFacePassword(dir.path().string(), ""));

  // The same password again gets a new salt; the old one stops counting
  // once another is set.
  ASSERT_TRUE(SetFacePassword(dir.path().string(), password, &error));
  EXPECT_NE(dir.read("face.passhash"), stored);
  ASSERT_TRUE(SetFacePassword(dir.path().string(), "another", &error));
  EXPECT_FALSE(CheckFacePassword(dir.path().string(), password));
  EXPECT_TRUE(CheckFacePassword(dir.path().string(), "another"));
}

TEST(FacePassword, EmptyAndOverlongPasswordsAreRefused) {
  TempDir dir;
  std::string error;
  EXPECT_FALSE(SetFacePassword(dir.path().string(), "", &error));
  EXPECT_EQ(error, "the face password is empty");
  EXPECT_FALSE(SetFacePassword(dir.path().string(), std::string(kFacePasswordLimit + 1, 'x'), &error));
  EXPECT_EQ(error, "the face password is longer than 1024 bytes");
  EXPECT_FALSE(HasFacePassword(dir.path().string()));
  ASSERT_TRUE(SetFacePassword(dir.path().string(), std::string(kFacePasswordLimit, 'x'), &error)) << error;
  EXPECT_TRUE(CheckFacePassword(dir.path().string(), std::string(kFacePasswordLimit, 'x')));
  EXPECT_FALSE(CheckFacePassword(dir.path().string(), std::string(kFacePasswordLimit + 1, 'x')));
}

TEST(FacePasswordThrottle, EachWrongPasswordDoublesTheWaitUpToTheLimitPerAddress) {
  FacePasswordThrottle throttle;
  Clock::time_point now{};
  now += 1h;
  EXPECT_EQ(throttle.NotBefore("192.0.2.7", now), now);
  std::chrono::milliseconds expected = FacePasswordThrottle::kFirstDelay;
  for (int failure = 1; failure <= 9; ++failure) {
    const Clock::time_point next = throttle.Failed("192.0.2.7", now);
    EXPECT_EQ(next - now, expected) << "failure " << failure;
    EXPECT_EQ(throttle.NotBefore("192.0.2.7", now), next);
    now = next;
    expected = std::min(expected * 2, std::chrono::milliseconds(FacePasswordThrottle::kMaxDelay));
  }
  EXPECT_EQ(throttle.NotBefore("192.0.2.8", now), now);
  throttle.Succeeded("192.0.2.7");
  EXPECT_EQ(throttle.Failed("192.0.2.7", now) - now, FacePasswordThrottle::kFirstDelay);
  // Long quiet: the address starts afresh.
  throttle.Failed("192.0.2.7", now);
  now += FacePasswordThrottle::kForgetAfter + 1s;
  EXPECT_EQ(throttle.Failed("192.0.2.7", now) - now, FacePasswordThrottle::kFirstDelay);
}

TEST(FacePasswordThrottle, TheTableKeepsItsSizeByDroppingTheWaitThatEndsFirst) {
  FacePasswordThrottle throttle(3);
  Clock::time_point now{};
  now += 1h;
  throttle.Failed("a", now);
  throttle.Failed("a", now);  // a waits longest
  throttle.Failed("b", now + 1ms);
  throttle.Failed("c", now);  // c's wait ends first
  EXPECT_EQ(throttle.Size(), 3u);
  throttle.Failed("d", now + 2ms);
  EXPECT_EQ(throttle.Size(), 3u);
  EXPECT_EQ(throttle.NotBefore("c", now), now);
  EXPECT_GT(throttle.NotBefore("a", now), now);
  EXPECT_GT(throttle.NotBefore("b", now), now);
  EXPECT_GT(throttle.NotBefore("d", now), now);
}

TEST(FacePasswordGate, AnAttemptBeforeTheWaitEndsIsNotCheckedOneAtItsEndIs) {
  TempDir dir;
  std::string error;
  FacePasswordGate gate(dir.path().string());
  Clock::time_point now = Clock::now();
  EXPECT_EQ(gate.Check("192.0.2.7", "pw", now).verdict, Verdict::NoPasswordSet);
  ASSERT_TRUE(SetFacePassword(dir.path().string(), "pw", &error));
  const auto wrong = gate.Check("192.0.2.7", "nope", now);
  EXPECT_EQ(wrong.verdict, Verdict::Wrong);
  EXPECT_EQ(wrong.answer_at - now, FacePasswordThrottle::kFirstDelay);
  // Even the right password is turned away unchecked until then...
  const auto early = gate.Check("192.0.2.7", "pw", wrong.answer_at - 1ns);
  EXPECT_EQ(early.verdict, Verdict::TooSoon);
  EXPECT_EQ(early.answer_at, wrong.answer_at);
  // ...and another wrong one then does not lengthen the wait.
  EXPECT_EQ(gate.Check("192.0.2.7", "nope", wrong.answer_at - 1ns).answer_at, wrong.answer_at);
  // Another address is not held up.
  EXPECT_EQ(gate.Check("192.0.2.8", "pw", now).verdict, Verdict::Accepted);
  const auto second = gate.Check("192.0.2.7", "nope", wrong.answer_at);
  EXPECT_EQ(second.verdict, Verdict::Wrong);
  EXPECT_EQ(second.answer_at - wrong.answer_at, 2 * FacePasswordThrottle::kFirstDelay);
  EXPECT_EQ(gate.Check("192.0.2.7", "pw", second.answer_at).verdict, Verdict::Accepted);
  EXPECT_EQ(gate.Throttle().NotBefore("192.0.2.7", second.answer_at), second.answer_at);
}

TEST(FacePasswordThrottle, AddressesAreCountedByHostOrIpv6Network) {
  EXPECT_EQ(ThrottleKey(PeerAddress("192.0.2.7:5000")), "192.0.2.7");
  EXPECT_EQ(ThrottleKey(PeerAddress("[::ffff:192.0.2.7]:5000")), "192.0.2.7");
  EXPECT_EQ(ThrottleKey(PeerAddress("[2001:db8:0:1:aaaa:bbbb:cccc:dddd]:5000")), "2001:db8:0:1::/64");
  EXPECT_EQ(ThrottleKey(PeerAddress("[2001:db8:0:1::2]:5000")), "2001:db8:0:1::/64");
  EXPECT_EQ(ThrottleKey(PeerAddress("[2001:db8:0:2::2]:5000")), "2001:db8:0:2::/64");
}

struct Answer {
  bool accepted;
  std::string reason;
};

TEST(FacePasswordAuthenticator, AWrongPasswordIsAnsweredLateWithoutHoldingUpOtherAddresses) {
  TempDir dir;
  std::string error;
  ASSERT_TRUE(SetFacePassword(dir.path().string(), "pw", &error));
  // A pause long enough that the other address's answer must come first.
  FacePasswordAuthenticator auth(dir.path().string(), FacePasswordThrottle(16, 2s, 2s));
  std::promise<Answer> wrong, other, again;
  std::atomic<int> order{0};
  std::atomic<int> wrong_at{0}, other_at{0};
  auth.Check("192.0.2.7:5000", "nope", [&](bool ok, const std::string& reason) {
    wrong_at = ++order;
    wrong.set_value({ok, reason});
  });
  auth.Check("[2001:db8::1]:5001", "pw", [&](bool ok, const std::string& reason) {
    other_at = ++order;
    other.set_value({ok, reason});
  });
  auto other_answer = other.get_future();
  ASSERT_EQ(other_answer.wait_for(20s), std::future_status::ready);
  EXPECT_TRUE(other_answer.get().accepted);
  // The same address again, from another port, while its pause runs: refused unchecked.
  auth.Check("192.0.2.7:5002", "pw", [&](bool ok, const std::string& reason) { again.set_value({ok, reason}); });
  auto again_answer = again.get_future();
  ASSERT_EQ(again_answer.wait_for(20s), std::future_status::ready);
  const Answer a = again_answer.get();
  EXPECT_FALSE(a.accepted);
  EXPECT_EQ(a.reason.rfind("too many wrong passwords from 192.0.2.7; try again in ", 0), 0u) << a.reason;
  auto wrong_answer = wrong.get_future();
  ASSERT_EQ(wrong_answer.wait_for(20s), std::future_status::ready);
  const Answer w = wrong_answer.get();
  EXPECT_FALSE(w.accepted);
  EXPECT_EQ(w.reason, "wrong password");
  EXPECT_LT(other_at.load(), wrong_at.load());
}

TEST(FacePasswordCommand, SetFromAPipe) {
  TempDir dir;
  testing::CliProcess cli({"--dir", dir.path().string(), "--set-face-password"});
  cli.Type("s3cret words\n");
  EXPECT_EQ(cli.Wait(), 0) << cli.output();
  EXPECT_EQ(cli.output().find("s3cret"), std::string::npos);
  EXPECT_EQ(ModeOf(dir.file("face.passhash")), 0600u);
  EXPECT_EQ(dir.read("face.passhash").find("s3cret"), std::string::npos);
  EXPECT_TRUE(CheckFacePassword(dir.path().string(), "s3cret words"));
}

TEST(FacePasswordCommand, OnATerminalAskedTwiceWithoutEchoAndBothMustMatch) {
  TempDir dir;
  {
    testing::CliProcess cli(testing::CliStart{{"--dir", dir.path().string(), "--set-face-password"}, {}, true});
    ASSERT_TRUE(cli.WaitOutput("New face password: "));
    cli.Type("first-try\n");
    ASSERT_TRUE(cli.WaitOutput("Again: "));
    cli.Type("first-trx\n");
    EXPECT_EQ(cli.Wait(), 1);
    EXPECT_NE(cli.output().find("the two passwords differ; nothing was changed"), std::string::npos);
    EXPECT_EQ(cli.output().find("first-tr"), std::string::npos) << cli.output();
    EXPECT_FALSE(dir.exists("face.passhash"));
  }
  testing::CliProcess cli(testing::CliStart{{"--dir", dir.path().string(), "--set-face-password"}, {}, true});
  ASSERT_TRUE(cli.WaitOutput("New face password: "));
  cli.Type("second-try\n");
  ASSERT_TRUE(cli.WaitOutput("Again: "));
  cli.Type("second-try\n");
  EXPECT_EQ(cli.Wait(), 0) << cli.output();
  EXPECT_EQ(cli.output().find("second-try"), std::string::npos) << cli.output();
  EXPECT_TRUE(CheckFacePassword(dir.path().string(), "second-try"));
}

}  // namespace
}  // namespace tolvik
