// Helpers of the GUI tests: answering modal windows without blocking.
#pragma once

#include <QPointer>
#include <QStringList>
#include <QTimer>
#include <QWidget>

#include <functional>

// While it lives, answers every modal window that opens: a message box or a
// run's summary is recorded and closed, any other window is handed to the
// action (which must close it).
class TModalWatcher {
public:
  using Action = std::function<void(QWidget *)>;
  explicit TModalWatcher(Action onWindow = {});
  QStringList Messages; // the message boxes' texts and the summaries' counts
  QStringList Failures; // per summary: its list of failed files
  Action OnWindow;

private:
  void Poll();
  QTimer FTimer;
  QPointer<QWidget> FHandled;
};

// Runs the event loop for a while (lets timers and queued work happen).
void ProcessEventsFor(int milliseconds);

// Writes an 8-bit grey TIFF of the given size and resolution.
void WriteGreyTiff(const QString &fileName, int width, int height, float dpi);
