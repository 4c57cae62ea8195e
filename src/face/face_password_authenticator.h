#pragma once
// Checks the face password of network faces on a thread of its own, so the
// slow hash and the pause after a wrong password never hold up the hub or
// the other faces. A wrong password is answered only once the sender's
// slow-down has run out; an attempt made before then is refused unchecked.
#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "face/face_authenticator.h"
#include "face/face_password.h"

namespace tolvik {

class FacePasswordAuthenticator : public FaceAuthenticator {
 public:
  explicit FacePasswordAuthenticator(std::string profile_dir,
                                     FacePasswordThrottle throttle = FacePasswordThrottle());
  // Stops the thread; answers still waiting are dropped.
  ~FacePasswordAuthenticator() override;

  void Check(const std::string& peer, const std::string& password, Done done) override;

 private:
  struct Request {
    std::string address;
    std::string password;
    Done done;
  };
  struct Answer {
    FacePasswordGate::Clock::time_point at;
    std::string reason;
    Done done;
  };
  void Run();

  FacePasswordGate gate_;  // the thread's alone
  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<Request> requests_;
  std::vector<Answer> answers_;  // wrong passwords, answered at their time
  bool stopping_ = false;
  std::thread thread_;
};

}  // namespace tolvik
