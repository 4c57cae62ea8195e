#pragma once
// A ChatConnection whose handlers record every call, for parser and reader tests.
#include <cstdint>
#include <string>
#include <vector>

#include "net/chat_connection.h"

namespace tolvik::testing {

struct HandlerCall {
  std::string handler;
  std::string name;
  uint32_t flags;
  std::string text;
};

class RecordingConnection : public ChatConnection {
 public:
  std::vector<HandlerCall> calls;
  int event_lines = 0;
  int whisper_result = 7;

#define TOLVIK_RECORD(H)                                                \
  int H(const char* n, uint32_t f, const char* t) override {            \
    calls.push_back({#H, n, f, t});                                     \
    return ChatConnection::H(n, f, t);                                  \
  }
  TOLVIK_RECORD(OnShowUser)
  TOLVIK_RECORD(OnJoin)
  TOLVIK_RECORD(OnUserFlags)
  TOLVIK_RECORD(OnLeave)
  TOLVIK_RECORD(OnTalk)
  TOLVIK_RECORD(OnBroadcast)
  TOLVIK_RECORD(OnChannel)
  TOLVIK_RECORD(OnWhisperSent)
  TOLVIK_RECORD(OnEmote)
  TOLVIK_RECORD(OnChannelFull)
  TOLVIK_RECORD(OnChannelDoesNotExist)
  TOLVIK_RECORD(OnChannelRestricted)
  TOLVIK_RECORD(OnInfo)
  TOLVIK_RECORD(OnError)
  TOLVIK_RECORD(OnName)
  TOLVIK_RECORD(OnNull)
  TOLVIK_RECORD(OnRawLine)
#undef TOLVIK_RECORD
  int OnWhisper(const char* n, uint32_t f, const char* t) override {
    calls.push_back({"OnWhisper", n, f, t});
    return whisper_result;
  }
  void OnEventLineArrived() override { ++event_lines; }

  // The texts of all calls, in order.
  std::vector<std::string> texts() const {
    std::vector<std::string> out;
    for (const auto& c : calls) out.push_back(c.text);
    return out;
  }
};

}  // namespace tolvik::testing
