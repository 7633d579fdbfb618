// The delivery cycle on settings as they are found on real desktops: hives
// written by the registry editor in UTF-16, a machine-wide hive that cannot be
// used, a configuration folder that cannot be written.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>

#include "core/delivery/delivery_cycle.h"
#include "core/delivery/signing.h"
#include "support/delivery_fakes.h"
#include "support/delivery_sandbox.h"
#include "support/fixed_clock.h"

namespace velmora {
namespace {

using test_support::BodyAnswer;
using test_support::ChannelDocument;
using test_support::IdentityDocument;
using test_support::kUtf16Bom;
using test_support::ReadBytes;
using test_support::Utf16Le;
using test_support::WriteBytes;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::StartsWith;

constexpr const char* kServers =
    "\"server1\"=\"http://s1/rss\"\n\"server3\"=\"http://s3/acc\"\n\"Company\"=\"0\"\n";

class SettingsInTheCycle : public test_support::DeliverySandbox {
  protected:
    DeliveryCycle& Cycle() {
        if (!cycle_) {
            cycle_ = std::make_unique<DeliveryCycle>(ui_, errors_, transfer_, clock_,
                                                     ReadDeliverySettings());
        }
        return *cycle_;
    }

    test_support::RecordingDeliveryUi ui_;
    ErrorState errors_;
    test_support::FakeTransfer transfer_;
    test_support::FixedClock clock_{test_support::kSampleInstant};
    std::unique_ptr<DeliveryCycle> cycle_;
};

TEST_F(SettingsInTheCycle, Version5Utf16HiveGivesTheGroupAndKeepsItsFormAfterLogin) {
    const std::string text =
        "Windows Registry Editor Version 5.00\r\n"
        "\r\n"
        "; provisioned by the installer\r\n"
        "[HKEY_CURRENT_USER\\SOFTWARE\\VELMORA\\Client\\1.0]\r\n"
        "\"GroupID\"=\"G01\"\r\n"
        "\"GroupPWD\"=\"gp\"\r\n"
        "\"Icons\"=hex(2):25,00,41,00,00,00\r\n"
        "\r\n"
        "[HKEY_CURRENT_USER\\Software\\Other]\r\n"
        "\"Name\"=\"\xE3\x83\xB4\xE3\x82\xA7\xE3\x83\xAB\"\r\n";
    WriteMachineKey(kServers);
    WriteBytes(UserHive(), kUtf16Bom + Utf16Le(text));
    transfer_.Answer("http://s3/", BodyAnswer(IdentityDocument("C77", "K9")));

    EXPECT_EQ(Cycle().RunDeliveryCycle(), CycleResult::NothingNew);
    ASSERT_EQ(transfer_.calls.size(), 1u);
    const std::string& address = transfer_.calls[0].address;
    EXPECT_THAT(address, StartsWith("http://s3/acc?gid=G01&time="));
    const std::string token = address.substr(address.size() - 32);

    // The machine-wide Channel (none: empty) is copied at start, then the identity stored.
    std::string expected = text;
    expected.insert(expected.find("\r\n\r\n[HKEY_CURRENT_USER\\Software\\Other]") + 2,
                    "\"Channel\"=\"\"\r\n\"ClientID\"=\"C77\"\r\n\"ClientPWD\"=\"" +
                        ClientPassword("C77", "K9", token) + "\"\r\n");
    EXPECT_EQ(ReadBytes(UserHive()), kUtf16Bom + Utf16Le(expected));
    EXPECT_EQ(ui_.image, TrayImage::Normal);

    // The next start finds the identity in the rewritten file and fetches.
    cycle_.reset();
    transfer_.Answer("http://s1/", BodyAnswer(ChannelDocument({{"a", "1"}})));
    EXPECT_EQ(Cycle().RunDeliveryCycle(), CycleResult::News);
    EXPECT_THAT(transfer_.calls.back().address, HasSubstr("&gid=G01&cid=C77&"));
}

TEST_F(SettingsInTheCycle, UnusableMachineHiveWithoutServersIsAStandingError) {
    WriteBytes(MachineHive(), std::string("\x7F"
                                          "ELF\x02\x01\x01\x00",
                                          8));
    WriteUserKey("\"GroupID\"=\"G01\"\n\"GroupPWD\"=\"gp\"\n");

    // Without an identity: no login is tried, the tray says why.
    EXPECT_EQ(Cycle().RunDeliveryCycle(), CycleResult::Failed);
    EXPECT_EQ(errors_.Code(), kErrorServerNotFound);
    EXPECT_EQ(ui_.image, TrayImage::Error);
    EXPECT_EQ(ui_.tip, FindErrorEntry(kErrorServerNotFound).title);

    // With one: no fetch either, and the poll timer is left as it was.
    WriteUserKey("\"ClientID\"=\"C5\"\n\"ClientPWD\"=\"cp\"\n");
    cycle_.reset();
    errors_.ClearError();
    ui_.image = TrayImage::Normal;
    ui_.timerRunning = true;
    EXPECT_EQ(Cycle().RunDeliveryCycle(), CycleResult::Failed);
    EXPECT_EQ(errors_.Code(), kErrorServerNotFound);
    EXPECT_EQ(ui_.image, TrayImage::Error);
    EXPECT_TRUE(ui_.timerRunning);
    EXPECT_TRUE(transfer_.calls.empty());
}

// Runs `body` in a child that cannot write `folder`: as another account when
// running as root (root writes anywhere), else with the folder made read-only.
int RunWithReadOnlyFolder(const std::filesystem::path& folder, const std::function<int()>& body) {
    if (geteuid() == 0) {
        if (!test_support::WhyNobodyCannotUse(folder).empty())
            return test_support::kCannotDropPrivileges;
        return test_support::RunAsNobody(body);
    }
    chmod(folder.c_str(), 0555);
    int code = test_support::RunInChild(body);
    chmod(folder.c_str(), 0755);
    return code;
}

TEST_F(SettingsInTheCycle, IdentityThatCannotBeStoredIsToldAndStaysAnError) {
    WriteMachineKey(kServers);
    WriteUserKey("\"GroupID\"=\"G01\"\n\"GroupPWD\"=\"gp\"\n");
    const std::string before = ReadBytes(UserHive());
    ASSERT_EQ(chmod(TempDir().c_str(), 01777), 0);  // the work files of the fetch
    transfer_.Answer("http://s3/", BodyAnswer(IdentityDocument("C77", "K9")));
    transfer_.Answer("http://s1/", BodyAnswer(ChannelDocument({{"a", "1"}})));

    ::testing::internal::CaptureStderr();
    int code = RunWithReadOnlyFolder(UserHive().parent_path(), [this] {
        CHILD_EXPECT(Cycle().RunDeliveryCycle() == CycleResult::NothingNew);
        CHILD_EXPECT(errors_.Code() == kErrorWorkFile);
        CHILD_EXPECT(ui_.image == TrayImage::Error);
        CHILD_EXPECT(ui_.tip == FindErrorEntry(kErrorWorkFile).title);
        // The identity serves this session; each cycle tries to store it again.
        CHILD_EXPECT(Cycle().RunDeliveryCycle() == CycleResult::News);
        CHILD_EXPECT(transfer_.calls.back().address.find("&cid=C77&") != std::string::npos);
        CHILD_EXPECT(errors_.Code() == kErrorWorkFile);
        CHILD_EXPECT(ui_.image == TrayImage::Error);
        return 0;
    });
    const std::string told = ::testing::internal::GetCapturedStderr();
    if (code == test_support::kCannotDropPrivileges)
        GTEST_SKIP() << "cannot run as uid 65534 with " << UserHive().parent_path()
                     << " in reach: " << test_support::WhyNobodyCannotUse(UserHive().parent_path());
    EXPECT_EQ(code, 0) << told;
    EXPECT_EQ(told, "velmora: " + UserHive().string() +
                        ": the client identity could not be stored (permission denied); it is "
                        "used until the program quits and the next start logs in again\n");
    EXPECT_EQ(ReadBytes(UserHive()), before);
}

}  // namespace
}  // namespace velmora
