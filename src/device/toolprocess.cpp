#include "device/toolprocess.h"

#include "device/toolprocesserror.h"

#include <QFile>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/eventfd.h>
#include <sys/wait.h>
#include <unistd.h>

namespace quorlin {

namespace {

// Capture mode serves short outputs; past this the bytes are read and discarded so the tool
// never stalls on a full pipe.
constexpr qsizetype captureLimit = 16 * 1024 * 1024;

QString systemErrorText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

void closeQuietly(int &fd)
{
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

} // namespace

ToolProcess::ToolProcess(QString program, QStringList arguments, QList<QByteArray> environment,
                         LineHandler handler)
    : m_program(std::move(program)), m_arguments(std::move(arguments)), m_environment(std::move(environment)),
      m_handler(std::move(handler))
{
}

ToolProcess::~ToolProcess()
{
    bool mustCollect = false;
    {
        std::lock_guard lock(m_mutex);
        mustCollect = m_started && !m_collected;
    }
    if (mustCollect) {
        sendSignal(SIGKILL);
        waitForExit();
    }
    closeDescriptors();
}

void ToolProcess::closeDescriptors()
{
    for (Channel &channel : m_channels)
        closeQuietly(channel.fd);
    closeQuietly(m_wakeFd);
}

void ToolProcess::start()
{
    const QString name = m_program.section(QLatin1Char('/'), -1);
    int outPipe[2] = {-1, -1};
    int errPipe[2] = {-1, -1};
    if (::pipe2(outPipe, O_CLOEXEC) != 0 || ::pipe2(errPipe, O_CLOEXEC) != 0) {
        const int error = errno;
        for (int fd : {outPipe[0], outPipe[1], errPipe[0], errPipe[1]})
            if (fd >= 0)
                ::close(fd);
        throw ToolProcessError(QStringLiteral("Could not start %1: %2").arg(name, systemErrorText(error)));
    }
    m_wakeFd = ::eventfd(0, EFD_CLOEXEC);

    const QByteArray path = QFile::encodeName(m_program);
    QList<QByteArray> argumentBytes{path};
    for (const QString &argument : m_arguments)
        argumentBytes.append(QFile::encodeName(argument));
    std::vector<char *> argv;
    for (QByteArray &argument : argumentBytes)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    std::vector<char *> envp;
    for (QByteArray &entry : m_environment)
        envp.push_back(entry.data());
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, outPipe[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, errPipe[1], STDERR_FILENO);

    // A process group of its own keeps a terminal's Ctrl-C away from the tool: cancellation goes
    // through the service so the run can tell it apart from a failure.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t defaults;
    sigemptyset(&defaults);
    for (int signalNumber : {SIGPIPE, SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGCHLD})
        sigaddset(&defaults, signalNumber);
    sigset_t emptyMask;
    sigemptyset(&emptyMask);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setsigmask(&attributes, &emptyMask);
    posix_spawnattr_setpgroup(&attributes, 0);
    posix_spawnattr_setflags(&attributes,
                             POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);

    pid_t pid = 0;
    const int result = ::posix_spawn(&pid, path.constData(), &actions, &attributes, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    ::close(outPipe[1]);
    ::close(errPipe[1]);
    m_channels[0].fd = outPipe[0];
    m_channels[1].fd = errPipe[0];
    if (result != 0) {
        closeDescriptors();
        throw ToolProcessError(QStringLiteral("Could not start %1: %2").arg(name, systemErrorText(result)));
    }

    int pending = 0;
    {
        std::lock_guard lock(m_mutex);
        m_pid = pid;
        m_started = true;
        pending = m_pendingSignal;
    }
    if (pending != 0)
        sendSignal(pending);
    for (Channel &channel : m_channels)
        channel.reader = std::thread([this, &channel] { readLoop(channel); });
}

int ToolProcess::waitForExit()
{
    pid_t pid = 0;
    {
        std::lock_guard lock(m_mutex);
        if (!m_started || m_collected)
            return -1;
        pid = m_pid;
    }
    // Wait without collecting, so the id stays ours while a signal may still be on its way.
    siginfo_t info{};
    while (::waitid(P_PID, id_t(pid), &info, WEXITED | WNOWAIT) != 0 && errno == EINTR) {
    }
    int exitStatus = -1;
    {
        std::lock_guard lock(m_mutex);
        int status = 0;
        pid_t collected = -1;
        do {
            collected = ::waitpid(pid, &status, 0);
        } while (collected < 0 && errno == EINTR);
        if (collected == pid) {
            if (WIFEXITED(status)) {
                exitStatus = WEXITSTATUS(status);
            } else if (WIFSIGNALED(status)) {
                exitStatus = WTERMSIG(status);
                m_endedBySignal = true;
            }
        }
        m_collected = true;
    }
    m_collectedCondition.notify_all();

    // Output written just before the exit still counts: the readers deliver what the pipes hold,
    // then stop even if a grandchild keeps a pipe open.
    if (m_wakeFd >= 0) {
        const uint64_t one = 1;
        [[maybe_unused]] auto written = ::write(m_wakeFd, &one, sizeof one);
    }
    for (Channel &channel : m_channels)
        if (channel.reader.joinable())
            channel.reader.join();
    return exitStatus;
}

void ToolProcess::sendSignal(int signalNumber)
{
    std::lock_guard lock(m_mutex);
    if (!m_started) {
        if (m_pendingSignal != SIGKILL)
            m_pendingSignal = signalNumber;
        return;
    }
    if (!m_collected)
        ::kill(m_pid, signalNumber);
}

bool ToolProcess::waitUntilCollected(std::chrono::milliseconds timeout)
{
    std::unique_lock lock(m_mutex);
    return m_collectedCondition.wait_for(lock, timeout, [this] { return m_collected; });
}

int ToolProcess::readError() const
{
    return m_channels[0].error != 0 ? m_channels[0].error : m_channels[1].error;
}

void ToolProcess::readLoop(Channel &channel)
{
    char buffer[65536];
    for (;;) {
        pollfd fds[2] = {{channel.fd, POLLIN, 0}, {m_wakeFd, POLLIN, 0}};
        const int ready = ::poll(fds, m_wakeFd >= 0 ? 2 : 1, -1);
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            channel.error = errno;
            return;
        }
        if (fds[1].revents != 0) {
            drain(channel);
            return;
        }
        if (fds[0].revents == 0)
            continue;
        const ssize_t count = ::read(channel.fd, buffer, sizeof buffer);
        if (count > 0) {
            deliver(channel, buffer, count);
        } else if (count == 0) {
            return;
        } else if (errno != EINTR && errno != EAGAIN) {
            channel.error = errno;
            return;
        }
    }
}

void ToolProcess::drain(Channel &channel)
{
    ::fcntl(channel.fd, F_SETFL, ::fcntl(channel.fd, F_GETFL) | O_NONBLOCK);
    char buffer[65536];
    // Bounded, so a grandchild that keeps writing cannot hold the run open.
    for (int round = 0; round < 1024; ++round) {
        const ssize_t count = ::read(channel.fd, buffer, sizeof buffer);
        if (count > 0) {
            deliver(channel, buffer, count);
        } else if (count < 0 && errno == EINTR) {
            continue;
        } else {
            if (count < 0 && errno != EAGAIN)
                channel.error = errno;
            return;
        }
    }
}

void ToolProcess::deliver(Channel &channel, const char *bytes, qsizetype size)
{
    if (!m_handler) {
        if (channel.data.size() < captureLimit)
            channel.data.append(bytes, qMin(size, captureLimit - channel.data.size()));
        return;
    }
    try {
        channel.splitter.feed(QByteArrayView(bytes, size), m_handler);
    } catch (...) {
        // A failing handler must not take the reader thread, and with it the process, down.
    }
}

} // namespace quorlin
