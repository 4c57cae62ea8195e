// What attaching over the network costs beyond a local attach: the face
// password's check (argon2id, slow on purpose) and the TLS handshake with
// the bot's own certificate over loopback.
#include <benchmark/benchmark.h>
#include <poll.h>
#include <unistd.h>

#include <filesystem>
#include <future>
#include <string>

#include "face/face_password.h"
#include "face/face_password_authenticator.h"
#include "face/face_tls_listener.h"
#include "face/remote_face_connect.h"

namespace {

using namespace tolvik;

std::string MakeDir(const char* name) {
  const auto dir = std::filesystem::temp_directory_path() / (std::string(name) + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  return dir.string();
}

void BM_FacePasswordCheck(benchmark::State& state) {
  const std::string dir = MakeDir("tolvik-bench-pw-");
  std::string error;
  if (!SetFacePassword(dir, "a face password", &error)) state.SkipWithError(error.c_str());
  for (auto _ : state) benchmark::DoNotOptimize(CheckFacePassword(dir, "a face password"));
  std::filesystem::remove_all(dir);
}
BENCHMARK(BM_FacePasswordCheck)->Unit(benchmark::kMillisecond);

// From connect to the first bytes the bot reads over TLS, the certificate
// taken by its pin.
void BM_FaceTlsHandshake(benchmark::State& state) {
  const std::string dir = MakeDir("tolvik-bench-tls-");
  std::string error;
  auto listener = FaceTlsListener::Open(dir, "127.0.0.1", 0, std::make_unique<FacePasswordAuthenticator>(dir), &error);
  if (!listener) {
    state.SkipWithError(error.c_str());
    return;
  }
  RemoteFaceTrust trust;
  trust.known_faces_file = dir + "/known_faces";
  trust.ask = [](const std::string&, const std::string&) { return true; };
  for (auto _ : state) {
    auto face = std::async(std::launch::async, [&] {
      std::string why;
      auto stream = ConnectToRemoteBot("127.0.0.1", listener->Port(), trust, 10000, &why);
      if (stream) while (stream->Write("x", 1) == kFaceWouldBlock) {}
      return stream;
    });
    pollfd p{listener->Fd(), POLLIN, 0};
    ::poll(&p, 1, 10000);
    std::string refusal;
    FaceArrival arrival = listener->Accept(&refusal);
    char c = 0;
    while (arrival.stream) {
      const long n = arrival.stream->Read(&c, 1);
      if (n != kFaceWouldBlock) break;
      pollfd q{arrival.stream->Fd(), static_cast<short>(POLLIN | (arrival.stream->WantsWrite() ? POLLOUT : 0)), 0};
      ::poll(&q, 1, 1000);
    }
    if (!face.get() || c != 'x') state.SkipWithError("the handshake failed");
  }
  std::filesystem::remove_all(dir);
}
BENCHMARK(BM_FaceTlsHandshake)->Unit(benchmark::kMillisecond);

}  // namespace
