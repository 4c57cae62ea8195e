#include "ui/face/pin_question.h"

#include <QMessageBox>

namespace tolvik::ui {

bool AskToPinCertificate(QWidget* parent, const std::string& endpoint, const std::string& fingerprint) {
  QMessageBox box(QMessageBox::Question, QObject::tr("Unknown bot certificate"),
                  QObject::tr("The bot at %1 is not known yet. Its certificate's SHA-256 fingerprint is:")
                      .arg(QString::fromStdString(endpoint)),
                  QMessageBox::Yes | QMessageBox::No, parent);
  box.setObjectName(QStringLiteral("pinQuestion"));
  box.setInformativeText(QString::fromStdString(fingerprint) +
                         QObject::tr("\n\nCompare it with the fingerprint the bot shows on its own machine. Trust "
                                     "this certificate from now on? A different certificate later is refused."));
  box.setTextInteractionFlags(Qt::TextSelectableByMouse);
  box.setDefaultButton(QMessageBox::No);
  return box.exec() == QMessageBox::Yes;
}

}  // namespace tolvik::ui
