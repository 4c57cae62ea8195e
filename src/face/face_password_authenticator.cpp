#include "face/face_password_authenticator.h"

#include <algorithm>

#include "face/face_tls_listener.h"

namespace tolvik {

FacePasswordAuthenticator::FacePasswordAuthenticator(std::string profile_dir, FacePasswordThrottle throttle)
    : gate_(std::move(profile_dir), std::move(throttle)), thread_([this] { Run(); }) {}

FacePasswordAuthenticator::~FacePasswordAuthenticator() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  thread_.join();
  for (Request& r : requests_) WipeSecret(r.password);
}

void FacePasswordAuthenticator::Check(const std::string& peer, const std::string& password, Done done) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    requests_.push_back(Request{ThrottleKey(PeerAddress(peer)), password, std::move(done)});
  }
  wake_.notify_all();
}

void FacePasswordAuthenticator::Run() {
  using Clock = FacePasswordGate::Clock;
  std::unique_lock<std::mutex> lock(mutex_);
  while (!stopping_) {
    const Clock::time_point now = Clock::now();
    // Wrong passwords whose pause is over get their answer.
    std::vector<Answer> due;
    for (auto it = answers_.begin(); it != answers_.end();) {
      if (it->at <= now) {
        due.push_back(std::move(*it));
        it = answers_.erase(it);
      } else {
        ++it;
      }
    }
    if (!due.empty()) {
      lock.unlock();
      for (Answer& a : due) a.done(false, a.reason);
      lock.lock();
      continue;
    }
    if (!requests_.empty()) {
      Request r = std::move(requests_.front());
      requests_.pop_front();
      lock.unlock();
      const auto outcome = gate_.Check(r.address, r.password, Clock::now());
      WipeSecret(r.password);
      std::string reason;
      switch (outcome.verdict) {
        case FacePasswordGate::Verdict::Accepted:
          r.done(true, std::string());
          break;
        case FacePasswordGate::Verdict::NoPasswordSet:
          r.done(false, "no face password is set on the bot (tolvik-cli --set-face-password)");
          break;
        case FacePasswordGate::Verdict::TooSoon: {
          const auto wait = std::chrono::ceil<std::chrono::seconds>(outcome.answer_at - Clock::now()).count();
          r.done(false, "too many wrong passwords from " + r.address + "; try again in " +
                            std::to_string(std::max<long long>(wait, 1)) + " s");
          break;
        }
        case FacePasswordGate::Verdict::Wrong:
          lock.lock();
          answers_.push_back(Answer{outcome.answer_at, "wrong password", std::move(r.done)});
          lock.unlock();
          break;
      }
      lock.lock();
      continue;
    }
    if (answers_.empty()) {
      wake_.wait(lock);
    } else {
      const auto next = std::min_element(answers_.begin(), answers_.end(),
                                         [](const Answer& a, const Answer& b) { return a.at < b.at; })->at;
      wake_.wait_until(lock, next);
    }
  }
}

}  // namespace tolvik
