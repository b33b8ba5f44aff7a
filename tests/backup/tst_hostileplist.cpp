#include "backup/backupmanifestencryption.h"
#include "backup/propertylistfile.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace quorlin;

// Backup property lists come from outside: crafted ones must neither hang nor crash the readers.
class TestHostilePlist : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

    QString write(const QString &name, const QByteArray &bytes)
    {
        QFile file(m_dir.filePath(name));
        if (!file.open(QIODevice::WriteOnly))
            qFatal("cannot write");
        file.write(bytes);
        return file.fileName();
    }

    // A binary list nesting one array inside the next, `depth` times.
    static QByteArray deeplyNested(int depth)
    {
        QList<int> positions;
        // Object refs are 4 bytes wide so any depth fits.
        QByteArray body;
        for (int i = 0; i < depth; ++i) {
            positions << 8 + body.size();
            if (i + 1 < depth) {
                body.append(char(0xA1));
                const quint32 ref = quint32(i + 1);
                body.append(char(ref >> 24)).append(char(ref >> 16)).append(char(ref >> 8)).append(char(ref));
            } else {
                body.append(char(0xA0));
            }
        }
        QByteArray bytes = "bplist00" + body;
        const quint64 tableOffset = quint64(bytes.size());
        for (int position : positions) {
            const quint32 p = quint32(position);
            bytes.append(char(p >> 24)).append(char(p >> 16)).append(char(p >> 8)).append(char(p));
        }
        QByteArray trailer(32, '\0');
        trailer[6] = 4; // offset size
        trailer[7] = 4; // ref size
        for (int i = 0; i < 8; ++i) {
            trailer[8 + i] = char(quint64(depth) >> (56 - 8 * i));
            trailer[24 + i] = char(tableOffset >> (56 - 8 * i));
        }
        return bytes + trailer;
    }

private slots:
    void hostileListsAreRefused_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QFile sharing(QStringLiteral(QUORLIN_FAKES_DIR "/../../fuzz/seeds/keyedarchive/sharing.bplist"));
        QVERIFY(sharing.open(QIODevice::ReadOnly));
        QTest::newRow("shared references") << sharing.readAll();
        QTest::newRow("deep nesting") << deeplyNested(200000);
        QTest::newRow("header only") << QByteArray("bplist00");
        QTest::newRow("garbage") << QByteArray(5000, '\x7f');
    }
    void hostileListsAreRefused()
    {
        QFETCH(QByteArray, bytes);
        const QString path = write(QStringLiteral("list.plist"), bytes);
        QElapsedTimer timer;
        timer.start();
        QCOMPARE(isBackupEncrypted(path), false);
        QVERIFY(!PropertyListFile::readDictionary(path));
        QVERIFY2(timer.elapsed() < 20000, "reading a hostile list took too long");
    }
};

QTEST_GUILESS_MAIN(TestHostilePlist)
#include "tst_hostileplist.moc"
