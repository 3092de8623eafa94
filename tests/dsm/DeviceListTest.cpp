// One entry per device, however many backends reach it, and a name for it that outlives the backends'.
#include "DeviceList.h"
#include "DeviceOptions.h"
#include "DsmFixture.h"
#include "SaneDevice.h"

#include <sane/sane.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace {

TFoundDevice Found(std::string name, std::string vendor, std::string model) {
    return {std::move(name), std::move(vendor), std::move(model), "flatbed scanner"};
}

} // namespace

TEST(DeviceListTest, ADeviceMetThroughSeveralBackendsIsListedOnce) {
    const std::vector<TScanner> scanners = MergeDevices({
        Found("airscan:e0:HP OfficeJet 8010", "HP", "OfficeJet 8010"),
        Found("test:0", "Noname", "frontend-tester"),
        Found("escl:https://192.168.1.20:443", "HP", "OfficeJet 8010"),
        Found("test:1", "Noname", "frontend-tester"),
        Found("net:127.0.0.1:test:1", "Noname", "frontend-tester"),
        Found("net:localhost:test:0", "Noname", "frontend-tester"),
    });
    ASSERT_EQ(scanners.size(), 3u);
    // The local server's copies are this machine's devices, opened through their own backend first.
    EXPECT_EQ(scanners[1].names, (std::vector<std::string>{"test:0", "net:localhost:test:0"}));
    EXPECT_EQ(scanners[2].names, (std::vector<std::string>{"test:1", "net:127.0.0.1:test:1"}));
    EXPECT_EQ(scanners[1].distinction, "test:0") << "two alike on this machine keep SANE's name apart";
    EXPECT_EQ(scanners[0].names,
              (std::vector<std::string>{"airscan:e0:HP OfficeJet 8010", "escl:https://192.168.1.20:443"}));
    EXPECT_EQ(scanners[0].address, "192.168.1.20");
    EXPECT_EQ(scanners[0].distinction, "") << "the only one of its kind";
    EXPECT_EQ(scanners[0].Key(), "HP OfficeJet 8010") << "remembered without the backend's name";
}

TEST(DeviceListTest, TwoAlikeNetworkDevicesStayTwoAndAreToldApartByAddress) {
    const std::vector<TScanner> scanners = MergeDevices({
        Found("escl:http://10.0.0.5:80", "Canon", "MF743C"),
        Found("escl:http://10.0.0.6:80", "Canon", "MF743C"),
        Found("pixma:MF743C_10.0.0.6", "CANON", "MF743C"),
        Found("net:10.0.0.9:test:0", "Noname", "frontend-tester"),
        Found("test:0", "Noname", "frontend-tester"),
    });
    ASSERT_EQ(scanners.size(), 4u);
    EXPECT_EQ(scanners[0].names, (std::vector<std::string>{"escl:http://10.0.0.5:80"}));
    EXPECT_EQ(scanners[1].names,
              (std::vector<std::string>{"escl:http://10.0.0.6:80", "pixma:MF743C_10.0.0.6"}))
        << "the vendor's backend at the same address is the same device";
    EXPECT_EQ(scanners[0].Key(), "Canon MF743C (10.0.0.5)");
    EXPECT_EQ(scanners[1].Key(), "Canon MF743C (10.0.0.6)");
    // Another machine's server serves another machine's device.
    EXPECT_EQ(scanners[2].names, (std::vector<std::string>{"test:0"}));
    EXPECT_EQ(scanners[3].names, (std::vector<std::string>{"net:10.0.0.9:test:0"}));
    EXPECT_EQ(scanners[3].distinction, "10.0.0.9");
    EXPECT_EQ(NetworkAddress("net:[fe80::1]:pixma:x"), "[fe80::1]");
    EXPECT_EQ(NetworkAddress("genesys:libusb:001:005"), "");
}

// SANE lists each test scanner twice, through its own backend and through the scanner server on this
// machine; the manager lists each once, and scans from it.
TEST_F(DsmTest, DevicesServedBackByTheScannerServerAreListedOnce) {
    if (SaneFolder() != ZRK_DSM_NET_SANE)
        GTEST_SKIP() << "runs with the scanner server's configuration only";
    const std::vector<TW_IDENTITY> sources = List();
    const SANE_Device** list = nullptr;
    ASSERT_EQ(sane_get_devices(&list, SANE_FALSE), SANE_STATUS_GOOD);
    int served = 0, all = 0;
    for (const SANE_Device** device = list; device && *device; ++device, ++all)
        served += std::string((*device)->name).rfind("net:127.0.0.1:", 0) == 0;
    if (served == 0) {
        if (std::getenv("ZRK_REQUIRE_SANED"))
            FAIL() << "no scanner server answers on 127.0.0.1 (scripts/start-services.sh starts one)";
        GTEST_SKIP() << "no scanner server on 127.0.0.1";
    }
    EXPECT_EQ(served, 2);
    EXPECT_EQ(all, 4);
    ASSERT_EQ(sources.size(), 2u);
    EXPECT_STRNE(sources[0].ProductName, sources[1].ProductName);
    TW_IDENTITY source{};
    ASSERT_EQ(ScanHeadless(source, SmallGreyScan()), MSG_XFERREADY);
    EXPECT_EQ(Transfer(source, TMechanism::memory).width, 70);
    TW_UINT16 count = 0;
    EXPECT_EQ(EndTransfer(source, count), TWRC_SUCCESS);
    EXPECT_EQ(Disable(source), TWRC_SUCCESS);
}

// The window's names for a device's sources, and a number brought within an option's constraint.
TEST(DeviceListTest, SourcesAreNamedAndValuesCheckedAsTheWindowShowsThem) {
    EXPECT_EQ(SourceLabel("Flatbed"), QStringLiteral("Планшет"));
    EXPECT_EQ(SourceLabel("Automatic Document Feeder"), QStringLiteral("Автоподатчик"));
    EXPECT_EQ(SourceLabel("ADF Front"), QStringLiteral("Автоподатчик"));
    EXPECT_EQ(SourceLabel("ADF Duplex"), QStringLiteral("Автоподатчик, обе стороны"));
    EXPECT_EQ(SourceLabel("Transparency Unit"), QStringLiteral("Transparency Unit"));

    TDeviceOption range;
    range.type = SANE_TYPE_FIXED;
    range.constraint = SANE_CONSTRAINT_RANGE;
    range.min = -42.17;
    range.max = 32767.9999;
    range.quant = 2;
    std::string value = "100000";
    ASSERT_TRUE(FitToConstraint(range, value));
    EXPECT_EQ(value, "32767.83") << "within the range and on its steps";
    TDeviceOption words;
    words.type = SANE_TYPE_INT;
    words.count = 3;
    words.constraint = SANE_CONSTRAINT_WORD_LIST;
    words.words = {-42, -8, 0, 17, 42};
    value = "20";
    ASSERT_TRUE(FitToConstraint(words, value));
    EXPECT_EQ(value, "17,17,17") << "one number sets every element, each onto the nearest of the list";
    value = "1,2";
    EXPECT_FALSE(FitToConstraint(words, value)) << "two numbers for three elements";
    TDeviceOption list;
    list.type = SANE_TYPE_STRING;
    list.constraint = SANE_CONSTRAINT_STRING_LIST;
    list.strings = {"First entry", "Second entry"};
    value = "Third";
    EXPECT_FALSE(FitToConstraint(list, value));
}
