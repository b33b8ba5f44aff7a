#include "gen/storegenerator.h"

#include "support/sqlitedatabase.h"
#include "support/snapshotbuilder.h"

#include <QDir>
#include <QFile>

#include <fcntl.h>
#include <stdexcept>
#include <unistd.h>

namespace quorlin::bench {

namespace {

void writeFile(const QString &path, const QByteArray &bytes)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0 || ::write(fd, bytes.constData(), size_t(bytes.size())) != bytes.size()) {
        if (fd >= 0)
            ::close(fd);
        throw std::runtime_error("cannot write " + path.toStdString());
    }
    ::close(fd);
}

} // namespace

void generateStore(const QString &snapshotFolder, const StoreShape &shape)
{
    if (!QDir().mkpath(snapshotFolder))
        throw std::runtime_error("cannot create " + snapshotFolder.toStdString());
    for (int folder = 0; folder < 256; ++folder)
        QDir().mkpath(snapshotFolder + QStringLiteral("/%1").arg(folder, 2, 16, QLatin1Char('0')));

    SqliteDatabase manifest(snapshotFolder + QStringLiteral("/Manifest.db"), SqliteDatabase::Mode::readWriteCreate);
    manifest.execute(QStringLiteral("CREATE TABLE Files (fileID TEXT PRIMARY KEY, domain TEXT, relativePath TEXT, "
                                    "flags INTEGER, file BLOB)"));
    manifest.execute(QStringLiteral("BEGIN"));
    SqliteStatement insert =
        manifest.prepare(QStringLiteral("INSERT INTO Files (fileID, domain, relativePath, flags) VALUES (?, ?, ?, 1)"));

    QByteArray content(4000, 'q');
    for (int i = 0; i < shape.totalFiles; ++i) {
        QString domain;
        QString path;
        if (i == 0) {
            domain = QStringLiteral("HomeDomain");
            path = QStringLiteral("Library/SMS/sms.db");
        } else if (i < shape.keptFiles) {
            domain = QStringLiteral("MediaDomain");
            path = QStringLiteral("Library/SMS/Attachments/%1/%2/IMG_%3.jpg").arg(i % 100).arg(i % 17).arg(i);
        } else {
            domain = QStringLiteral("AppDomain-com.example.app%1").arg(i % 50);
            path = QStringLiteral("Library/Caches/item-%1.bin").arg(i);
        }
        const QString fileID = testing::fileIDFor(domain, path);
        insert.reset();
        insert.bindAll({fileID, domain, path});
        insert.next();
        // Sizes from a few hundred bytes to a few kilobytes, as most stored files are small.
        const int size = 200 + (i * 7919) % 3800;
        writeFile(snapshotFolder + QLatin1Char('/') + fileID.left(2) + QLatin1Char('/') + fileID, content.left(size));
    }
    manifest.execute(QStringLiteral("COMMIT"));
}

} // namespace quorlin::bench
