#pragma once

#include "device/linesplitter.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <sys/types.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace quorlin {

// One run of a device tool as a child process, with a reader thread on each of its two output
// pipes. In streaming mode every complete line goes to the handler on the reader's thread; in
// capture mode the bytes are collected. The child stays a zombie until waitForExit has marked it
// collected, so a signal sent through sendSignal can never reach a recycled process id.
class ToolProcess {
public:
    using LineHandler = LineSplitter::LineHandler;

    ToolProcess(QString program, QStringList arguments, QList<QByteArray> environment, LineHandler handler);
    ~ToolProcess();
    ToolProcess(const ToolProcess &) = delete;
    ToolProcess &operator=(const ToolProcess &) = delete;

    // Throws ToolProcessError when the operating system cannot start the program.
    void start();
    // Blocks until the child has exited, collects it, delivers what its pipes still hold and
    // stops both readers. Returns the exit status, or the signal number when a signal ended it.
    int waitForExit();

    // Sends the signal while the child has not been collected; before start it is remembered
    // and sent as soon as the child exists.
    void sendSignal(int signalNumber);
    // True when the child was collected within the timeout.
    bool waitUntilCollected(std::chrono::milliseconds timeout);

    [[nodiscard]] QByteArray standardOutput() const { return m_channels[0].data; }
    [[nodiscard]] QByteArray standardError() const { return m_channels[1].data; }
    // The errno of a failed pipe read, 0 when both pipes read cleanly.
    [[nodiscard]] int readError() const;
    [[nodiscard]] bool endedBySignal() const { return m_endedBySignal; }

private:
    struct Channel {
        int fd = -1;
        QByteArray data;
        LineSplitter splitter;
        int error = 0;
        std::thread reader;
    };

    void readLoop(Channel &channel);
    void drain(Channel &channel);
    void deliver(Channel &channel, const char *bytes, qsizetype size);
    void closeDescriptors();

    QString m_program;
    QStringList m_arguments;
    QList<QByteArray> m_environment;
    LineHandler m_handler;
    Channel m_channels[2];
    int m_wakeFd = -1;

    std::mutex m_mutex; // guards the fields below
    std::condition_variable m_collectedCondition;
    pid_t m_pid = 0;
    bool m_started = false;
    bool m_collected = false;
    int m_pendingSignal = 0;

    bool m_endedBySignal = false;
};

} // namespace quorlin
