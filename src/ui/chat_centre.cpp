#include "ui/chat_centre.h"

#include <QCoreApplication>
#include <QMainWindow>
#include <QVBoxLayout>

#include "ui/chat_pane.h"
#include "ui/find_bar.h"

namespace tolvik::ui {
namespace {

class Text {
  Q_DECLARE_TR_FUNCTIONS(ChatCentre)
};

}  // namespace

ChatCentre SetChatCentre(QMainWindow& window) {
  auto* centre = new QWidget(&window);
  auto* pane = new ChatPane(centre);
  pane->setObjectName(QStringLiteral("chatPane"));
  pane->setAccessibleName(Text::tr("Chat"));
  auto* find_bar = new FindBar(*pane, centre);
  auto* column = new QVBoxLayout(centre);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(0);
  column->addWidget(pane, 1);
  column->addWidget(find_bar);
  window.setCentralWidget(centre);
  return {pane, find_bar};
}

}  // namespace tolvik::ui
