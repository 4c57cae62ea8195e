// Decode + dispatch of chat API events (JSON text as the WebSocket hands it
// over) to a connection whose handlers do nothing, beside the text gateway's
// read + parse + dispatch of the same events, beside the bare JSON parser
// only walking the same fields of the same messages (what the decoder's own
// work costs on top), and beside the parser on the decoder's terms (the text
// copied into padding, then also a user look-up, a record and its dispatch),
// so one run gives every figure.
// Reports events per second and heap allocations per event (counted by
// replacing the global operator new).
#include <benchmark/benchmark.h>
#include <simdjson.h>

#include <string>
#include <string_view>
#include <unordered_map>
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

// `state.range(0)` 1: dispatch every record; 0: decode only, to show what
// dispatching adds.
void BM_ApiDecodeDispatch(benchmark::State& state) {
  const bool dispatch = state.range(0) != 0;
  NullConnection conn;
  tolvik::api::ApiDecoder decoder;
  std::vector<tolvik::ChatEvent> events;
  tolvik::api::ApiDecoder::Answer answer;
  EnterChannel(decoder, events);
  // The messages as the WebSocket hands them over: text with its length.
  std::vector<std::string> messages(std::begin(kApiEvents), std::end(kApiEvents));
  long dispatched = 0;
  long before = g_allocations.load();
  for (auto _ : state) {
    for (const std::string& m : messages) {
      decoder.Decode(m, 0, &events, &answer);
      if (dispatch)
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
BENCHMARK(BM_ApiDecodeDispatch)->Arg(1)->Arg(0);

// The parser alone: every field the decoder reads, walked and read (keys
// compared in place, strings unescaped, numbers parsed), from padded copies
// made once, with no checks, no user table and no records.
namespace od = simdjson::ondemand;

size_t WalkPayload(od::object payload) {
  size_t sum = 0;
  for (auto result : payload) {
    od::field field;
    if (std::move(result).get(field)) return sum;
    od::raw_json_string key = field.key();
    od::value v = field.value();
    if (key == "user_id") {
      uint64_t id = 0;
      if (!v.get_uint64().get(id)) sum += id;
    } else if (key == "flag") {
      od::array list;
      if (v.get_array().get(list)) continue;
      for (auto item : list) {
        std::string_view name;
        if (!item.get_string().get(name)) sum += name.size();
      }
    } else if (key == "attribute") {
      od::array list;
      if (v.get_array().get(list)) continue;
      for (auto item : list) {
        od::object pair;
        if (item.get_object().get(pair)) continue;
        for (auto member : pair) {
          od::field kv;
          std::string_view text;
          if (!std::move(member).get(kv) && !kv.value().get_string().get(text)) sum += text.size() + (kv.key() == "key");
        }
      }
    } else {
      std::string_view text;
      if (!v.get_string().get(text)) sum += text.size();
    }
  }
  return sum;
}

void BM_SimdjsonWalkSameFields(benchmark::State& state) {
  std::vector<simdjson::padded_string> messages;
  for (const char* m : kApiEvents) messages.emplace_back(std::string_view(m));
  od::parser parser;
  size_t sum = 0;
  long walked = 0;
  long before = g_allocations.load();
  for (auto _ : state) {
    for (const simdjson::padded_string& m : messages) {
      od::document doc;
      if (parser.iterate(m).get(doc)) continue;
      od::object obj;
      if (doc.get_object().get(obj)) continue;
      for (auto result : obj) {
        od::field field;
        if (std::move(result).get(field)) break;
        od::raw_json_string key = field.key();
        od::value v = field.value();
        if (key == "command") {
          std::string_view command;
          if (!v.get_string().get(command)) sum += command.size();
        } else if (key == "request_id") {
          int64_t id = 0;
          if (!v.get_int64().get(id)) sum += static_cast<size_t>(id);
        } else if (key == "payload") {
          od::object payload;
          if (!v.get_object().get(payload)) sum += WalkPayload(payload);
        }
      }
      ++walked;
    }
  }
  benchmark::DoNotOptimize(sum);
  state.counters["sum_per_cycle"] = static_cast<double>(sum) / static_cast<double>(state.iterations());
  long allocs = g_allocations.load() - before;
  state.SetItemsProcessed(walked);
  state.counters["allocs_per_event"] =
      benchmark::Counter(static_cast<double>(allocs) / static_cast<double>(walked ? walked : 1));
}
BENCHMARK(BM_SimdjsonWalkSameFields);

// The parser beside the decoder on the decoder's terms. The bare walk above
// starts from padded copies made once and does nothing with what it reads;
// the decoder gets each message as text without padding, and turns it into
// records for the handlers. `state.range(0)` 0: each message copied into one
// reused padded buffer, then the same walk; 1: that, plus what the least a
// decoder must do with the fields: find the user by id in a standard hash
// map (added at a join, removed at a leave), fill one reused record per
// message and dispatch it to the same connection as the decoder's figure.
struct WalkedFields {
  std::string_view command, toon_name, message, type;
  uint64_t user_id = 0;
  uint32_t flags = 0;
};

bool WalkInto(od::document& doc, WalkedFields* w) {
  od::object obj;
  if (doc.get_object().get(obj)) return false;
  for (auto result : obj) {
    od::field field;
    if (std::move(result).get(field)) return false;
    od::raw_json_string key = field.key();
    od::value v = field.value();
    if (key == "command") {
      if (v.get_string().get(w->command)) return false;
    } else if (key == "request_id") {
      int64_t id = 0;
      if (v.get_int64().get(id)) return false;
    } else if (key == "payload") {
      od::object payload;
      if (v.get_object().get(payload)) return false;
      for (auto member : payload) {
        od::field pf;
        if (std::move(member).get(pf)) return false;
        od::raw_json_string name = pf.key();
        od::value pv = pf.value();
        if (name == "user_id") {
          if (pv.get_uint64().get(w->user_id)) return false;
        } else if (name == "toon_name") {
          if (pv.get_string().get(w->toon_name)) return false;
        } else if (name == "message") {
          if (pv.get_string().get(w->message)) return false;
        } else if (name == "type") {
          if (pv.get_string().get(w->type)) return false;
        } else if (name == "flag") {
          od::array list;
          if (pv.get_array().get(list)) return false;
          for (auto item : list) {
            std::string_view flag;
            if (item.get_string().get(flag)) return false;
            if (flag == "Speaker") w->flags |= 4;
          }
        } else if (name == "attribute") {
          od::array list;
          if (pv.get_array().get(list)) return false;
          for (auto item : list) {
            od::object pair;
            if (item.get_object().get(pair)) return false;
            for (auto kv : pair) {
              od::field f;
              std::string_view text;
              if (std::move(kv).get(f) || f.value().get_string().get(text)) return false;
            }
          }
        }
      }
    }
  }
  return true;
}

void BM_SimdjsonSameInput(benchmark::State& state) {
  const bool records = state.range(0) != 0;
  NullConnection conn;
  std::vector<std::string> messages(std::begin(kApiEvents), std::end(kApiEvents));
  std::string buffer;
  od::parser parser;
  std::unordered_map<uint64_t, std::string> users{{1, "Bot"}, {2, "Someone"}, {3, "Admin"}, {4, "Dancer"}};
  std::unordered_map<uint64_t, uint32_t> flags;
  tolvik::ChatEvent event;
  long walked = 0;
  long before = g_allocations.load();
  for (auto _ : state) {
    for (const std::string& m : messages) {
      buffer.assign(m);
      buffer.reserve(m.size() + simdjson::SIMDJSON_PADDING);
      od::document doc;
      if (parser.iterate(buffer.data(), buffer.size(), buffer.capacity()).get(doc)) continue;
      WalkedFields w;
      if (!WalkInto(doc, &w)) continue;
      ++walked;
      if (!records) continue;
      int id = 0;
      std::string_view name;
      std::string_view text = w.message;
      auto found = users.find(w.user_id);
      if (w.command == "Botapichat.UserUpdateEventRequest") {
        if (found == users.end()) {
          found = users.emplace(w.user_id, w.toon_name).first;
          id = tolvik::kEvJoin;
        } else {
          id = tolvik::kEvUserFlags;
        }
        flags[w.user_id] = w.flags;
        name = found->second;
      } else if (w.command == "Botapichat.UserLeaveEventRequest") {
        if (found == users.end()) continue;
        tolvik::api::FillEvent(&event, tolvik::kEvLeave, found->second, flags[w.user_id], "");
        conn.DispatchEvent(event);
        users.erase(found);
        continue;
      } else if (w.type == "ServerInfo") {
        id = tolvik::kEvInfo;
      } else if (found != users.end()) {
        name = found->second;
        id = w.type == "Whisper" ? tolvik::kEvWhisper : w.type == "Emote" ? tolvik::kEvEmote : tolvik::kEvTalk;
      }
      tolvik::api::FillEvent(&event, id, name, flags[w.user_id], text);
      conn.DispatchEvent(event);
    }
  }
  long allocs = g_allocations.load() - before;
  if (walked != state.iterations() * kCycle) state.SkipWithError("a message was not walked");
  state.SetItemsProcessed(walked);
  state.counters["allocs_per_event"] =
      benchmark::Counter(static_cast<double>(allocs) / static_cast<double>(walked ? walked : 1));
}
BENCHMARK(BM_SimdjsonSameInput)->Arg(0)->Arg(1);

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
