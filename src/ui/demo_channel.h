#pragma once
// "Try the demo channel": the demonstration gateway (tolvik-demo-gateway) as
// a child process on a free port of 127.0.0.1, playing a made-up channel for
// this session only. The process ends when the bot disconnects from it, and
// at the latest when this object goes.
#include <QObject>
#include <QString>

class QProcess;

namespace tolvik::ui {

class DemoChannel : public QObject {
  Q_OBJECT

 public:
  // The gateway program: the one named by setProgram(), else the one beside
  // the running program (a build tree), else the installed one; empty when
  // there is none.
  static QString program();
  // Names the program for this process (tests use the build's).
  static void setProgram(const QString& path);

  explicit DemoChannel(QObject* parent = nullptr);
  ~DemoChannel() override;

  // Starts the gateway; ready() or failed() follows. Does nothing while one runs.
  void start();
  bool running() const;

 signals:
  // The gateway listens at `server` ("127.0.0.1:PORT").
  void ready(const QString& server);
  // It could not be started, or ended before it listened.
  void failed(const QString& reason);
  // It ended after listening (the bot left it).
  void ended();

 private:
  void readOutput();

  QProcess* process_ = nullptr;
  QByteArray output_;
  bool listening_ = false;
};

}  // namespace tolvik::ui
