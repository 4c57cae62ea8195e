#pragma once
// The "Responses" page of the "Response Configurator": the automatic
// responses, greetings, goodbyes and the three [AutoSend] messages, with the
// composition of the stored values and the rule of the "Save" and "Del"
// buttons. Every button writes Bot.ini at once and reloads the bot.
#include <array>
#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "app/sheets/page_values.h"

namespace tolvik {

class ChatBot;

class ResponsesPage {
 public:
  enum class Kind {
    Responses,  // phrase/response pairs under a name pattern
    Greeting,   // one line under a name pattern
    AutoSend,   // one line under a fixed key
  };
  struct MessageType {
    const char* label;
    const char* section;
    const char* key;  // the fixed key of the AutoSend kind, else nullptr
    Kind kind;
  };
  // The "Message type" list, in its order.
  static const std::array<MessageType, 7> kTypes;

  static constexpr size_t kMaxPhrases = 50;
  // Longer name patterns would be cut by the tables and never found again.
  static constexpr size_t kNameLimit = 19;

  static constexpr std::string_view kHelpText =
      "This box allows you to have the bot automatically send messages based on actions or incomming text.  "
      "Choose a message type first.  For normal text and emotes, type the name to respond to (* and ? match "
      "any characters), the phrase to respond to and the response, then press Save.  For joins and exits only "
      "the name and the response are needed; the three messages need only the text.  Del removes what is "
      "selected.  The Auto-Responder must be on for the bot to answer.";

  // With a bot, the names and messages shown are the bot's and every write
  // reloads its settings and response tables; without one (tests, tools)
  // they are read from `botIni`. The reload keeps the bot's heirs as they
  // are (the heirs page's edits wait for the sheet's OK).
  explicit ResponsesPage(std::string botIni, ChatBot* bot = nullptr);

  // A phrase list as stored: every item with its colons doubled and a space
  // in front when it begins with a colon, the items joined by single colons
  // (phrase:response:phrase:response...). A phrase ":)" is stored " ::)".
  static std::string ComposeValue(const std::vector<std::pair<std::string, std::string>>& pairs);

  void ChooseType(int index);
  int selectedType() const { return type_; }
  bool nameEnabled() const;
  bool phraseEnabled() const;

  const std::vector<std::string>& names() const { return names_; }
  int selectedName() const { return name_index_; }
  const std::string& nameText() const { return name_text_; }
  void ChooseName(int index);
  // Typing a name the list holds (any case) chooses it; another name clears
  // the phrases and the response. The text is cut to kNameLimit.
  void TypeName(std::string_view text);

  const std::vector<std::string>& phrases() const { return phrases_; }
  int selectedPhrase() const { return phrase_index_; }
  const std::string& phraseText() const { return phrase_text_; }
  void ChoosePhrase(int index);
  // Typing a phrase the list holds (any case) chooses it.
  void TypePhrase(std::string_view text);

  const std::string& responseText() const { return response_text_; }
  void SetResponseText(std::string_view text) { response_text_ = std::string(text); }

  // "Del" while the chosen name and phrase still show their stored response;
  // otherwise "Save" once name, phrase and response are filled (a disabled
  // field counts as filled).
  bool deleteEnabled() const;
  bool saveEnabled() const;

  // "Save": stores the response of the phrase (a new phrase is added), the
  // greeting line (colons doubled) or the message (as typed). Refused, with
  // nothing written, for an empty field, a tab or line end, a name with
  // blanks or colons, a 51st phrase or a value too long to be read back.
  PageOutcome Save();
  // "Del": removes the chosen phrase (the name's key goes with its last
  // phrase), or the greeting's or message's key.
  PageOutcome Delete();

 private:
  const MessageType* type() const;
  std::vector<std::string> TableNames() const;
  std::string CurrentMessage() const;
  // Forgets the chosen name's phrases, responses and stored line.
  void ClearValue();
  void LoadValue();
  void Reload();
  void Refresh();
  PageOutcome WriteValue(const std::string& key, const std::string& value);
  std::string StoredResponse() const;

  std::string bot_ini_;
  ChatBot* bot_;
  int type_ = -1;
  std::vector<std::string> names_;
  int name_index_ = -1;
  std::string name_text_;
  std::vector<std::string> phrases_;
  std::vector<std::string> responses_;
  int phrase_index_ = -1;
  std::string phrase_text_;
  std::string response_text_;
  std::string stored_line_;  // the greeting or message as stored
};

}  // namespace tolvik
