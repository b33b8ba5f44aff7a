#pragma once

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <QTemporaryDir>

// A private copy of the stand-in device tools in a temporary folder, with the scenario files a
// test writes beside them and the record of every command line they received.
class FakeDeviceTools {
public:
    FakeDeviceTools()
    {
        const QDir source(QStringLiteral(QUORLIN_FAKES_DIR));
        for (const QString &name : source.entryList(QDir::Files)) {
            const QString target = path(name);
            QFile::copy(source.filePath(name), target);
            QFile::setPermissions(target, QFile::permissions(source.filePath(name)));
        }
        QDir(m_folder.path()).mkpath(QStringLiteral("lib"));
        QDir(m_folder.path()).mkpath(QStringLiteral("scenario"));
    }

    [[nodiscard]] QString folder() const { return m_folder.path(); }
    [[nodiscard]] QString path(const QString &name) const { return m_folder.filePath(name); }
    [[nodiscard]] QString templateFolder() const { return path(QStringLiteral("template")); }

    // Standard output, standard error and exit status of the tool run named by `key`
    // ("idevice_id", "ideviceinfo.DeviceName", "idevicepair.validate", "idevicebackup2.2", ...).
    void setOutput(const QString &key, const QByteArray &out, const QByteArray &err = {},
                   int exitStatus = 0) const
    {
        writeScenario(key + QStringLiteral(".out"), out);
        if (!err.isEmpty())
            writeScenario(key + QStringLiteral(".err"), err);
        writeScenario(key + QStringLiteral(".exit"), QByteArray::number(exitStatus));
    }
    // Bash code sourced for the run named by `key`, with the player's helpers at hand.
    void setScript(const QString &key, const QByteArray &code) const
    {
        writeScenario(key + QStringLiteral(".sh"), code);
    }
    void setAcceptsSmsOnly(bool accepts) const
    {
        if (accepts)
            writeScenario(QStringLiteral("accepts-sms-only"), {});
        else
            QFile::remove(path(QStringLiteral("scenario/accepts-sms-only")));
    }

    // Each command line received: the tool name, then its arguments.
    [[nodiscard]] QList<QStringList> calls() const
    {
        QFile file(path(QStringLiteral("calls.log")));
        QList<QStringList> result;
        if (!file.open(QIODevice::ReadOnly))
            return result;
        for (const QByteArray &line : file.readAll().split('\n'))
            if (!line.isEmpty())
                result.append(QString::fromUtf8(line).split(QLatin1Char('\t')));
        return result;
    }
    [[nodiscard]] QList<QStringList> callsOf(const QString &tool) const
    {
        QList<QStringList> result;
        for (const QStringList &call : calls())
            if (call.value(0) == tool)
                result.append(call.mid(1));
        return result;
    }
    // Backup runs only, without the usage probe.
    [[nodiscard]] QList<QStringList> backupCalls() const
    {
        QList<QStringList> result;
        for (const QStringList &call : callsOf(QStringLiteral("idevicebackup2")))
            if (call.value(0) == QLatin1String("backup"))
                result.append(call);
        return result;
    }
    [[nodiscard]] QString libraryPath() const
    {
        QFile file(path(QStringLiteral("library-path")));
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()).trimmed() : QString();
    }

private:
    void writeScenario(const QString &name, const QByteArray &content) const
    {
        QFile file(path(QStringLiteral("scenario/") + name));
        if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            file.write(content);
    }

    QTemporaryDir m_folder;
};
