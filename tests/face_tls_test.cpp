// Faces over the network: the bot's TLS listener and a face's connection to
// it over loopback, with the certificate pinned on first use, refused when
// it changed or when nobody can be asked, and taken when a named CA signed it.
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/stat.h>

#include <chrono>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "face/face_certificate.h"
#include "face/face_password_authenticator.h"
#include "face/face_tls_listener.h"
#include "face/known_faces.h"
#include "face/remote_face_connect.h"
#include "storage/atomic_file.h"
#include "support/file_mode.h"
#include "support/temp_dir.h"
#include "support/test_ca.h"

namespace tolvik {
namespace {

using namespace std::chrono_literals;
using testing::GetTestCa;
using testing::ModeOf;
using testing::TempDir;

constexpr int kTimeoutMs = 20000;

std::unique_ptr<FaceTlsListener> Listen(const std::string& profile_dir) {
  std::string error;
  auto listener = FaceTlsListener::Open(profile_dir, "127.0.0.1", 0,
                                        std::make_unique<FacePasswordAuthenticator>(profile_dir), &error);
  EXPECT_NE(listener, nullptr) << error;
  return listener;
}

// The bot's side of one connection: accepts it, then reads until `expect`
// bytes came or the peer went. Returns what was read, and in `stream` the
// stream for replies; `stream` stays null when nobody came.
std::string ServeOne(FaceTlsListener& listener, size_t expect, std::unique_ptr<FaceStream>* stream,
                     std::string* peer = nullptr) {
  const auto deadline = std::chrono::steady_clock::now() + 20s;
  pollfd p{listener.Fd(), POLLIN, 0};
  while (!stream->get() && std::chrono::steady_clock::now() < deadline) {
    if (::poll(&p, 1, 100) <= 0) continue;
    std::string refusal;
    FaceArrival arrival = listener.Accept(&refusal);
    EXPECT_EQ(refusal, "");
    if (peer) *peer = arrival.peer;
    *stream = std::move(arrival.stream);
  }
  std::string got;
  if (!*stream) return got;
  while (got.size() < expect && std::chrono::steady_clock::now() < deadline) {
    char buf[4096];
    const long n = (*stream)->Read(buf, sizeof buf);
    if (n > 0) {
      got.append(buf, static_cast<size_t>(n));
    } else if (n == kFaceWouldBlock) {
      pollfd q{(*stream)->Fd(), static_cast<short>(POLLIN | ((*stream)->WantsWrite() ? POLLOUT : 0)), 0};
      ::poll(&q, 1, 100);
    } else {
      break;  // closed or failed
    }
  }
  return got;
}

bool WriteAll(FaceStream& s, const std::string& bytes) {
  size_t done = 0;
  const auto deadline = std::chrono::steady_clock::now() + 20s;
  while (done < bytes.size() && std::chrono::steady_clock::now() < deadline) {
    const long n = s.Write(bytes.data() + done, bytes.size() - done);
    if (n > 0) {
      done += static_cast<size_t>(n);
    } else if (n == kFaceWouldBlock) {
      pollfd q{s.Fd(), static_cast<short>(s.WantsWrite() ? POLLOUT : POLLIN), 0};
      ::poll(&q, 1, 100);
    } else {
      return false;
    }
  }
  return done == bytes.size();
}

std::string ReadSome(FaceStream& s, size_t expect) {
  std::string got;
  const auto deadline = std::chrono::steady_clock::now() + 20s;
  while (got.size() < expect && std::chrono::steady_clock::now() < deadline) {
    char buf[4096];
    const long n = s.Read(buf, sizeof buf);
    if (n > 0) {
      got.append(buf, static_cast<size_t>(n));
    } else if (n == kFaceWouldBlock) {
      pollfd q{s.Fd(), POLLIN, 0};
      ::poll(&q, 1, 100);
    } else {
      break;
    }
  }
  return got;
}

struct Attempt {
  std::unique_ptr<FaceStream> stream;
  std::string error;
  std::vector<std::string> asked;  // fingerprints the user was asked about
};

// A face connecting from another thread while this one serves the bot's side;
// the face sends `hello` once it is in.
Attempt ConnectWhileServing(FaceTlsListener& listener, RemoteFaceTrust trust, bool answer,
                            std::string* served = nullptr) {
  Attempt attempt;
  const bool can_ask = static_cast<bool>(trust.ask);
  if (can_ask) {
    trust.ask = [&attempt, answer](const std::string&, const std::string& fingerprint) {
      attempt.asked.push_back(fingerprint);
      return answer;
    };
  }
  auto face = std::async(std::launch::async, [&] {
    auto stream = ConnectToRemoteBot("127.0.0.1", listener.Port(), trust, kTimeoutMs, &attempt.error);
    if (stream) {
      EXPECT_TRUE(WriteAll(*stream, "hello"));
    }
    return stream;
  });
  std::unique_ptr<FaceStream> bot_side;
  const std::string got = ServeOne(listener, 5, &bot_side);
  attempt.stream = face.get();
  if (served) *served = got;
  if (attempt.stream) {
    EXPECT_EQ(got, "hello");
    // And back the other way.
    EXPECT_TRUE(WriteAll(*bot_side, "snapshot"));
    EXPECT_EQ(ReadSome(*attempt.stream, 8), "snapshot");
  } else {
    EXPECT_EQ(got, "") << "the bot got application bytes from a face that refused it";
  }
  return attempt;
}

TEST(FaceTls, FirstUseMakesTheCertificateAFaceIsAskedOnceThenItIsPinned) {
  TempDir bot, home;
  auto listener = Listen(bot.path().string());
  ASSERT_NE(listener, nullptr);
  EXPECT_NE(listener->Port(), 0);
  EXPECT_EQ(listener->Where(), "127.0.0.1:" + std::to_string(listener->Port()));
  EXPECT_EQ(ModeOf(bot.file("face.key")), 0600u);
  const std::string fingerprint = listener->Certificate().fingerprint;
  EXPECT_EQ(fingerprint.size(), 95u);  // 32 hex pairs and 31 colons

  RemoteFaceTrust trust;
  trust.known_faces_file = home.file("tolvik/known_faces");
  trust.ask = [](const std::string&, const std::string&) { return false; };
  Attempt first = ConnectWhileServing(*listener, trust, true);
  ASSERT_NE(first.stream, nullptr) << first.error;
  EXPECT_EQ(first.asked, std::vector<std::string>{fingerprint});
  EXPECT_EQ(home.read("tolvik/known_faces"), listener->Where() + " " + fingerprint + "\n");

  Attempt again = ConnectWhileServing(*listener, trust, false);
  ASSERT_NE(again.stream, nullptr) << again.error;
  EXPECT_TRUE(again.asked.empty());

  // A bot started again in the same directory shows the same certificate.
  listener.reset();
  auto restarted = Listen(bot.path().string());
  ASSERT_NE(restarted, nullptr);
  EXPECT_EQ(restarted->Certificate().fingerprint, fingerprint);
}

TEST(FaceTls, ACertificateTheUserTurnsDownIsNotPinned) {
  TempDir bot, home;
  auto listener = Listen(bot.path().string());
  ASSERT_NE(listener, nullptr);
  RemoteFaceTrust trust;
  trust.known_faces_file = home.file("known_faces");
  trust.ask = [](const std::string&, const std::string&) { return true; };
  Attempt attempt = ConnectWhileServing(*listener, trust, false);
  EXPECT_EQ(attempt.stream, nullptr);
  EXPECT_EQ(attempt.asked.size(), 1u);
  EXPECT_EQ(attempt.error, "The certificate of the bot at " + listener->Where() + " was not accepted.");
  EXPECT_FALSE(home.exists("known_faces"));
}

TEST(FaceTls, AChangedCertificateIsRefusedLoudlyWithoutAsking) {
  TempDir bot, home;
  auto listener = Listen(bot.path().string());
  ASSERT_NE(listener, nullptr);
  const std::string old_pin(95, 'A');
  const std::string other = "[::1]:7000 " + std::string(95, 'B') + "\n";
  home.write("known_faces", other + listener->Where() + " " + old_pin + "\n");
  RemoteFaceTrust trust;
  trust.known_faces_file = home.file("known_faces");
  trust.ask = [](const std::string&, const std::string&) { return true; };
  Attempt attempt = ConnectWhileServing(*listener, trust, true);
  EXPECT_EQ(attempt.stream, nullptr);
  EXPECT_TRUE(attempt.asked.empty());
  EXPECT_NE(attempt.error.find("HAS CHANGED"), std::string::npos) << attempt.error;
  EXPECT_NE(attempt.error.find("Pinned:  SHA256 " + old_pin), std::string::npos);
  EXPECT_NE(attempt.error.find("Offered: SHA256 " + listener->Certificate().fingerprint), std::string::npos);
  EXPECT_NE(attempt.error.find(home.file("known_faces")), std::string::npos);
  // The pin stays as it was.
  EXPECT_EQ(home.read("known_faces"), other + listener->Where() + " " + old_pin + "\n");
}

TEST(FaceTls, WithoutATerminalAnUnknownCertificateIsRefusedUnlessTheNamedCaSignedIt) {
  // The owner gave the bot a certificate from their own CA (for 127.0.0.1).
  TempDir bot, home;
  std::string cert, key;
  ASSERT_TRUE(ReadWholeFile(GetTestCa().cert_file, cert));
  ASSERT_TRUE(ReadWholeFile(GetTestCa().key_file, key));
  bot.write("face.crt", cert);
  bot.write("face.key", key);
  ASSERT_EQ(::chmod(bot.file("face.key").c_str(), 0600), 0);
  auto listener = Listen(bot.path().string());
  ASSERT_NE(listener, nullptr);

  RemoteFaceTrust trust;
  trust.known_faces_file = home.file("known_faces");
  Attempt refused = ConnectWhileServing(*listener, trust, false);
  EXPECT_EQ(refused.stream, nullptr);
  EXPECT_NE(refused.error.find("not seen before (SHA256 " + listener->Certificate().fingerprint + ")"),
            std::string::npos)
      << refused.error;
  EXPECT_NE(refused.error.find("--face-ca FILE"), std::string::npos);

  trust.ca_file = GetTestCa().other_ca_file;
  Attempt wrong_ca = ConnectWhileServing(*listener, trust, false);
  EXPECT_EQ(wrong_ca.stream, nullptr);
  EXPECT_NE(wrong_ca.error.find("not signed by the CA of " + GetTestCa().other_ca_file), std::string::npos)
      << wrong_ca.error;

  trust.ca_file = GetTestCa().ca_file;
  Attempt taken = ConnectWhileServing(*listener, trust, false);
  ASSERT_NE(taken.stream, nullptr) << taken.error;
  // Taken on the CA's word: nothing pinned.
  EXPECT_FALSE(home.exists("known_faces"));
}

// The hub keeps a face's unsent bytes in a buffer that moves as it grows
// and shrinks: a write the socket could not take whole is retried from
// wherever the rest is now.
TEST(FaceTls, ABackedUpWriteGoesOnFromAMovedBuffer) {
  TempDir bot, home;
  auto listener = Listen(bot.path().string());
  ASSERT_NE(listener, nullptr);
  RemoteFaceTrust trust;
  trust.known_faces_file = home.file("known_faces");
  trust.ask = [](const std::string&, const std::string&) { return true; };
  std::string expected;
  for (int i = 0; expected.size() < (4u << 20); ++i) expected += "line " + std::to_string(i) + "\n";
  std::unique_ptr<FaceStream> face;
  std::string error;
  auto connecting = std::async(std::launch::async, [&] {
    return ConnectToRemoteBot("127.0.0.1", listener->Port(), trust, kTimeoutMs, &error);
  });
  std::unique_ptr<FaceStream> bot_side;
  auto hello = std::async(std::launch::async, [&] {
    face = connecting.get();
    if (face) WriteAll(*face, "hi");
  });
  ASSERT_EQ(ServeOne(*listener, 2, &bot_side), "hi");
  hello.get();
  ASSERT_NE(face, nullptr) << error;
  // The face reads only once the bot's side is well backed up.
  std::promise<void> backed_up;
  auto reader = std::async(std::launch::async, [&] {
    backed_up.get_future().wait();
    return ReadSome(*face, expected.size());
  });
  std::string pending = expected;
  bool signalled = false;
  const auto deadline = std::chrono::steady_clock::now() + 30s;
  while (!pending.empty() && std::chrono::steady_clock::now() < deadline) {
    const long n = bot_side->Write(pending.data(), pending.size());
    ASSERT_NE(n, kFaceFailed);
    if (n > 0) {
      pending = pending.substr(static_cast<size_t>(n));  // a new buffer
      continue;
    }
    if (!signalled) {
      backed_up.set_value();
      signalled = true;
    }
    pending = std::string(pending);  // elsewhere again
    pollfd q{bot_side->Fd(), POLLOUT, 0};
    ::poll(&q, 1, 100);
  }
  if (!signalled) backed_up.set_value();
  EXPECT_TRUE(pending.empty());
  EXPECT_TRUE(reader.get() == expected) << "the face did not get the bytes the bot wrote";
}

TEST(FaceTls, AKeyOthersMayReadIsRefusedAndAHalfPairIsNotReplaced) {
  TempDir bot;
  FaceCertificate made;
  std::string error;
  ASSERT_TRUE(EnsureFaceCertificate(bot.path().string(), &made, &error)) << error;
  ASSERT_EQ(::chmod(bot.file("face.key").c_str(), 0640), 0);
  FaceCertificate again;
  EXPECT_FALSE(EnsureFaceCertificate(bot.path().string(), &again, &error));
  EXPECT_EQ(error, bot.file("face.key") + " may be read by other users; make it owner-only (chmod 600)");
  ASSERT_EQ(::unlink(bot.file("face.key").c_str()), 0);
  EXPECT_FALSE(EnsureFaceCertificate(bot.path().string(), &again, &error));
  EXPECT_EQ(error, bot.file("face.key") + " is missing (remove " + bot.file("face.crt") +
                       " to have a new pair made)");
}

}  // namespace
}  // namespace tolvik
