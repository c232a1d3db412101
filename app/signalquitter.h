#ifndef SIGNALQUITTER_H
#define SIGNALQUITTER_H

#include <QObject>

class QSocketNotifier;

// Ends the application's event loop with exit code 0 when the process gets
// SIGTERM, SIGHUP or SIGINT, so that `kill`, a closed terminal or Ctrl+C end
// the program as Quit does and its destructors release the Art-Net port and
// the shared area. SIGINT is left alone when it was ignored at start, as a
// shell does for its background jobs. The handlers only write to a pipe; the
// event loop reads it, so nothing unsafe runs inside a signal handler.
// One per process, POSIX only.
class SignalQuitter : public QObject
{
    Q_OBJECT

public:
    explicit SignalQuitter(QObject *parent = nullptr);
    ~SignalQuitter() override;

private slots:
    void quitApplication();

private:
    QSocketNotifier *notifier = nullptr;
};

#endif // SIGNALQUITTER_H
