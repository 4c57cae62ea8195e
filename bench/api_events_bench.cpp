// Decode + dispatch of chat API events (JSON text as the WebSocket hands it
// over) to a connection whose handlers do nothing, beside the text gateway's
// read + parse + dispatch of the same events, so one run gives both figures.
// Reports events per second and heap allocations per event (counted by
// replacing the global operator new).
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "allocation_counter.h"
#include "net/api/api_decoder.h"
#include "net/chat_connection.h"

namespace {

class NullConnection : public tolvik::ChatConnection {};

// One cycle of channel life: a join, talk, a whisper, an emote, a flag
// change, information, and the leave that keeps the channel the same size.
const char* const kApiEvents[] = {
    R"({"command":"Botapichat.UserUpdateEventRequest","request_id":0,"payload":{"user_id":77,"toon_name":"NewComer","flag":[],"attribute":[{"key":"ProgramId","value":"SEXP"}]}})",
    R"({"command":"Botapichat.MessageEventRequest","request_id":0,"payload":{"user_id":2,"message":"hello everyone, how is the ladder today?","type":"Channel"}})",
    R"({"command":"Botapichat.MessageEventRequest","request_id":0,"payload":{"user_id":3,"message":"!say hi there","type":"Whisper"}})",
    R"({"command":"Botapichat.MessageEventRequest","request_id":0,"payload":{"user_id":4,"message":"dances wildly","type":"Emote"}})",
    R"({"command":"Botapichat.UserUpdateEventRequest","request_id":0,"payload":{"user_id":2,"toon_name":"Someone","flag":["Speaker"],"attribute":[{"key":"ProgramId","value":"STAR"}]}})",
    R"({"command":"Botapichat.UserUpdateEventRequest","request_id":0,"payload":{"user_id":2,"toon_name":"Someone","flag":[],"attribute":[{"key":"ProgramId","value":"STAR"}]}})",
    R"({"command":"Botapichat.MessageEventRequest","request_id":0,"payload":{"user_id":0,"message":"You are channel operator","type":"ServerInfo"}})",
    R"({"command":"Botapichat.UserLeaveEventRequest","request_id":0,"payload":{"user_id":77}})",
};
// The same cycle as the text gateway says it.
const char* const kTextEvents[] = {
    "1002 JOIN NewComer 0000 [SEXP]\r\n",
    "1005 TALK Someone 0000 \"hello everyone, how is the ladder today?\"\r\n",
    "1004 WHISPER Admin 0000 \"!say hi there\"\r\n",
    "1023 EMOTE Dancer 0000 \"dances wildly\"\r\n",
    "1009 USER Someone 0004 [STAR]\r\n",
    "1009 USER Someone 0000 [STAR]\r\n",
    "1018 INFO \"You are channel operator\"\r\n",
    "1003 LEAVE NewComer 0000\r\n",
};
constexpr long kCycle = sizeof kApiEvents / sizeof *kApiEvents;

void EnterChannel(tolvik::api::ApiDecoder& decoder, std::vector<tolvik::ChatEvent>& events) {
  tolvik::api::ApiDecoder::Answer answer;
  for (const char* m : {R"({"command":"Botapichat.UserUpdateEventRequest","payload":{"user_id":1,"toon_name":"Bot"}})",
                        R"({"command":"Botapichat.ConnectEventRequest","payload":{"channel":"Home"}})",
                        R"({"command":"Botapichat.UserUpdateEventRequest","payload":{"user_id":2,"toon_name":"Someone"}})",
                        R"({"command":"Botapichat.UserUpdateEventRequest","payload":{"user_id":3,"toon_name":"Admin"}})",
                        R"({"command":"Botapichat.UserUpdateEventRequest","payload":{"user_id":4,"toon_name":"Dancer"}})",
                        R"({"command":"Botapichat.MessageEventRequest","payload":{"user_id":2,"message":"x","type":"Channel"}})"})
    decoder.Decode(m, 0, &events, &answer);
}

void BM_ApiDecodeDispatch(benchmark::State& state) {
  NullConnection conn;
  tolvik::api::ApiDecoder decoder;
  std::vector<tolvik::ChatEvent> events;
  tolvik::api::ApiDecoder::Answer answer;
  EnterChannel(decoder, events);
  long dispatched = 0;
  long before = g_allocations.load();
  for (auto _ : state) {
    for (const char* m : kApiEvents) {
      decoder.Decode(m, 0, &events, &answer);
      for (tolvik::ChatEvent& e : events) conn.DispatchEvent(e);
      dispatched += static_cast<long>(events.size());
    }
  }
  long allocs = g_allocations.load() - before;
  if (dispatched != state.iterations() * kCycle) state.SkipWithError("an event was not decoded");
  state.SetItemsProcessed(dispatched);
  state.counters["allocs_per_event"] =
      benchmark::Counter(static_cast<double>(allocs) / static_cast<double>(dispatched ? dispatched : 1));
}
BENCHMARK(BM_ApiDecodeDispatch);

void BM_TextReadParseDispatch(benchmark::State& state) {
  NullConnection conn;
  std::string cycle;
  for (const char* line : kTextEvents) cycle += line;
  long before = g_allocations.load();
  for (auto _ : state) conn.ProcessBytes(cycle.data(), cycle.size());
  long allocs = g_allocations.load() - before;
  const long dispatched = state.iterations() * kCycle;
  state.SetItemsProcessed(dispatched);
  state.counters["allocs_per_event"] = benchmark::Counter(static_cast<double>(allocs) / static_cast<double>(dispatched));
}
BENCHMARK(BM_TextReadParseDispatch);

}  // namespace
