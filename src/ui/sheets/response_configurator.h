#pragma once
// The "Response Configurator" sheet: the Access, Responses, Heirs and
// Restrictions pages. OK and Apply store the passwords and heirs, reload the
// bot's tables and settings, and refresh the user list's level icons.
#include "ui/sheets/config_sheet.h"

namespace tolvik {
class ChatBot;
class CHaldenDoc;
}

namespace tolvik::ui {

class AccessPageWidget;
class HeirsPageWidget;
class ProtectionPageWidget;
class ResponsesPageWidget;
class RestrictionsPageWidget;

class ResponseConfigurator : public ConfigSheet {
  Q_OBJECT

 public:
  explicit ResponseConfigurator(CHaldenDoc& doc, QWidget* parent = nullptr);

  AccessPageWidget* accessPage() const { return access_; }
  ResponsesPageWidget* responsesPage() const { return responses_; }
  HeirsPageWidget* heirsPage() const { return heirs_; }
  RestrictionsPageWidget* restrictionsPage() const { return restrictions_; }
  ProtectionPageWidget* protectionPage() const { return protection_; }

 protected:
  bool commit() override;

 private:
  ChatBot& bot_;
  AccessPageWidget* access_;
  ResponsesPageWidget* responses_;
  HeirsPageWidget* heirs_;
  RestrictionsPageWidget* restrictions_;
  ProtectionPageWidget* protection_;
};

// Runs the sheet modally; true when it closed with OK.
bool ShowResponseConfigurator(CHaldenDoc& doc, QWidget* parent);

}  // namespace tolvik::ui
