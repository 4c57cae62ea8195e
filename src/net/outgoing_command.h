#pragma once
// One line for the server as a command: what the outgoing queue hands the
// transport. The text gateway sends `line` as it is; the chat API builds its
// request from the parts, so no transport reads a formatted line back.
//
// A line is taken apart once, where it is queued: whispers are made whole by
// OutgoingQueue::WhisperTo; every other line goes through ParseOutgoingLine,
// which reads the command word the way the gateway does (case ignored,
// words split at blanks).
#include <cstdint>
#include <string_view>

namespace tolvik {

enum class CommandKind : uint8_t {
  kChat,       // text for the channel
  kWhisper,    // /w /m /msg /whisper NAME text
  kEmote,      // /me /emote text
  kKick,       // /kick NAME [reason]
  kBan,        // /ban NAME [reason]
  kUnban,      // /unban NAME
  kDesignate,  // /designate NAME
  kJoin,       // /join /j CHANNEL
  kOther,      // any other /command
};

struct OutgoingCommand {
  CommandKind kind = CommandKind::kChat;
  // The whole entry as the text gateway gets it, line end included. It may
  // hold more than one line; the parts below describe the first.
  std::string_view line;
  std::string_view word;    // the command word as written ("/W", "/kick"); empty for chat
  std::string_view target;  // the user (or channel) named
  // Chat, emote and whisper: the message. Kick, ban: the reason. Other: the
  // rest of the line after the word. Never holds the line end.
  std::string_view text;
};

// Where each part lies in the line, so a queue entry can keep them beside
// its fixed buffer and rebuild the command when it is sent.
struct CommandSpans {
  CommandKind kind = CommandKind::kChat;
  uint16_t word_at = 0, word_len = 0;
  uint16_t target_at = 0, target_len = 0;
  uint16_t text_at = 0, text_len = 0;

  static CommandSpans Of(const OutgoingCommand& command);
  OutgoingCommand In(std::string_view line) const;
};

// Takes the first line of `line` (up to LF, a CR before it dropped) apart.
OutgoingCommand ParseOutgoingLine(std::string_view line);

// `line` as a whisper to `target` whose message starts at `text_at`.
OutgoingCommand WhisperCommand(std::string_view line, std::string_view target, size_t text_at);

// The first line of `text` without its line end, and what follows its LF.
std::string_view FirstLine(std::string_view text, std::string_view* rest = nullptr);

}  // namespace tolvik
