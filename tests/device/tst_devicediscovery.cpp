#include "device/fakedevicetools.h"
#include "device/tooloutcome.h"

#include "device/mobiledeviceservice.h"

#include <QTest>

using namespace quorlin;

namespace {

QStringList infoCall(const QString &udid, const QString &key)
{
    return {QStringLiteral("ideviceinfo"), QStringLiteral("-u"), udid, QStringLiteral("-k"), key};
}

} // namespace

class TestDeviceDiscovery : public QObject {
    Q_OBJECT

private slots:
    void listsDevicesInOrderWithTheirDetails()
    {
        FakeDeviceTools tools;
        tools.setOutput(QStringLiteral("idevice_id"), "AAA\n\nBBB  \n");
        tools.setOutput(QStringLiteral("ideviceinfo.DeviceName"), "Anna's iPhone\r\n");
        tools.setOutput(QStringLiteral("ideviceinfo.ProductType"), "  iPhone15,3 \n");
        tools.setOutput(QStringLiteral("ideviceinfo.ProductVersion"), "18.1\n");
        MobileDeviceService service(tools.folder());
        const QList<DeviceInfo> devices = service.listDevices();
        QCOMPARE(devices.size(), 2);
        QCOMPARE(devices[0], (DeviceInfo{QStringLiteral("AAA"), QStringLiteral("Anna's iPhone"),
                                         QStringLiteral("iPhone15,3"), QStringLiteral("18.1"), true}));
        QCOMPARE(devices[1].udid, QStringLiteral("BBB  ")); // identifiers keep their spaces
        QCOMPARE(tools.calls().size(), 9);
        QCOMPARE(tools.calls().mid(0, 5),
                 (QList<QStringList>{{QStringLiteral("idevice_id"), QStringLiteral("-l")},
                                     infoCall(QStringLiteral("AAA"), QStringLiteral("DeviceName")),
                                     infoCall(QStringLiteral("AAA"), QStringLiteral("ProductType")),
                                     infoCall(QStringLiteral("AAA"), QStringLiteral("ProductVersion")),
                                     {QStringLiteral("idevicepair"), QStringLiteral("-u"),
                                      QStringLiteral("AAA"), QStringLiteral("validate")}}));
    }

    void noDeviceRunsNothingElse()
    {
        FakeDeviceTools tools;
        tools.setOutput(QStringLiteral("idevice_id"), "");
        MobileDeviceService service(tools.folder());
        QVERIFY(service.listDevices().isEmpty());
        QCOMPARE(tools.calls().size(), 1);
    }

    void trustFailureMeansNotPaired_data()
    {
        QTest::addColumn<bool>("removeTool");
        QTest::newRow("validate exits 1") << false;
        QTest::newRow("pairing tool missing") << true;
    }
    void trustFailureMeansNotPaired()
    {
        QFETCH(bool, removeTool);
        FakeDeviceTools tools;
        tools.setOutput(QStringLiteral("idevicepair.validate"), "",
                        "ERROR: Device 1 is not paired with this host\n", 1);
        if (removeTool)
            QFile::remove(tools.path(QStringLiteral("idevicepair")));
        MobileDeviceService service(tools.folder());
        const QList<DeviceInfo> devices = service.listDevices();
        QCOMPARE(devices.size(), 1);
        QVERIFY(!devices[0].isPaired);
        QCOMPARE(devices[0].deviceName, QStringLiteral("Test iPhone"));
    }

    void failingInfoFailsTheWholeListing()
    {
        FakeDeviceTools tools;
        tools.setOutput(QStringLiteral("idevice_id"), "AAA\nBBB\n");
        tools.setScript(
            QStringLiteral("ideviceinfo.ProductType"),
            "if [ \"$udid\" = BBB ]; then echo 'ERROR: Could not connect to lockdownd, error code "
            "-21' >&2; exit 255; fi\n"
            "echo iPhone14,2; exit 0\n");
        MobileDeviceService service(tools.folder());
        const ToolOutcome outcome =
            captureOutcome([&] { return QString::number(service.listDevices().size()); });
        QCOMPARE(
            outcome.errorText(),
            QStringLiteral(
                "ideviceinfo exited with code 255: ERROR: Could not connect to lockdownd, error code -21\n"));
        // The second device's remaining runs never happened.
        QCOMPARE(tools.calls().last(), infoCall(QStringLiteral("BBB"), QStringLiteral("ProductType")));
    }

    void listingErrorsPassThrough()
    {
        FakeDeviceTools tools;
        tools.setOutput(QStringLiteral("idevice_id"), "", "ERROR: Unable to retrieve device list!\n", 255);
        MobileDeviceService service(tools.folder());
        const ToolOutcome outcome =
            captureOutcome([&] { return QString::number(service.listDevices().size()); });
        QCOMPARE(outcome.errorText(),
                 QStringLiteral("idevice_id exited with code 255: ERROR: Unable to retrieve device list!\n"));
    }

    void pairing()
    {
        FakeDeviceTools tools;
        MobileDeviceService service(tools.folder());
        service.pairDevice(QStringLiteral("AAA"));
        QCOMPARE(tools.calls().last(), (QStringList{QStringLiteral("idevicepair"), QStringLiteral("-u"),
                                                    QStringLiteral("AAA"), QStringLiteral("pair")}));

        tools.setOutput(
            QStringLiteral("idevicepair.pair"), "",
            "ERROR: Please accept the trust dialog on the screen of device AAA, then attempt to pair again.",
            2);
        ToolOutcome outcome = captureOutcome([&] {
            service.pairDevice(QStringLiteral("AAA"));
            return QString();
        });
        QCOMPARE(outcome.kind, MobileDeviceError::Kind::pairingFailed);
        QCOMPARE(outcome.errorText(),
                 QStringLiteral("Pairing failed: ERROR: Please accept the trust dialog on "
                                "the screen of device AAA, then attempt to pair again."));

        QFile::remove(tools.path(QStringLiteral("idevicepair")));
        outcome = captureOutcome([&] {
            service.pairDevice(QStringLiteral("AAA"));
            return QString();
        });
        QCOMPARE(outcome.kind, MobileDeviceError::Kind::binaryNotFound);
    }
};

QTEST_GUILESS_MAIN(TestDeviceDiscovery)
#include "tst_devicediscovery.moc"
