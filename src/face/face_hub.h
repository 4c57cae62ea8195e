#pragma once
// The bot's side of its faces: the listeners, the attached faces, and the
// bot's state sent to them. Socket work runs on a thread of the hub's own,
// asleep in poll until a face or the bot has something; everything that
// reads or changes the bot runs on the main thread (Host::PostToMain).
//
// The hub sees the bot only through the seams a front-end uses: the chat
// display's lines, the user list's row changes, the status text, the
// toggles and the queue's gauge, and it acts through the chat bar, the user
// list's menu commands, the toggles and Connect/Disconnect.
#include <cstddef>
#include <memory>
#include <string>

#include "face/face_listener.h"

namespace tolvik {

class CHaldenDoc;
class Host;

class FaceHub {
 public:
  // The chat lines a face gets on attaching.
  static constexpr size_t kBacklogLines = 1000;
  // A face whose unsent output grows past this is dropped.
  static constexpr size_t kMaxBehindBytes = 1u << 20;
  // The longest message a face may send.
  static constexpr size_t kMaxFaceMessage = 64u << 10;
  // A face that has not said hello by then is closed.
  static constexpr int kHelloTimeoutMs = 10000;

  // Main thread; `doc` and `host` outlive the hub. Taps the document's chat
  // display and user list from now on.
  FaceHub(CHaldenDoc& doc, Host& host);
  // Says goodbye to every face and stops the thread (main thread).
  ~FaceHub();
  FaceHub(const FaceHub&) = delete;
  FaceHub& operator=(const FaceHub&) = delete;

  // Starts accepting faces from `listener` (main thread). The chat display
  // says where it listens.
  void AddListener(std::unique_ptr<FaceListener> listener);

  // Sends what changed without a line or a row to announce it (the status
  // text, the toggles, the queue's gauge). The front-end calls this after
  // each pass of its loop; it costs a few comparisons when nothing changed.
  void Refresh();

  // The bot is closing: every face is told, then let go (main thread).
  void Close(const std::string& reason = "The bot is closing");

  // Faces attached now (any thread).
  size_t FaceCount() const;

 private:
  class Core;
  class Tap;
  std::shared_ptr<Core> core_;
  std::unique_ptr<Tap> tap_;
  bool closed_ = false;
};

}  // namespace tolvik
