#include "host/entry_points.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "tests/support/recording_host.h"

namespace {

using Record = std::array<unsigned char, 48>;

void putUint32(Record& record, unsigned offset, std::uint32_t value) {
    for (unsigned byte = 0; byte < 4; ++byte) {
        record[offset + byte] = static_cast<unsigned char>(value >> (8 * byte));
    }
}

class StartupTest : public ::testing::Test {
  protected:
    // A record's version buffer area, pre-filled so writes can be seen.
    StartupTest() { versionArea.fill('#'); }

    StartupFields fields(std::uint32_t size, const char* version, HostSendCallback callback) {
        StartupFields given;
        given.recordSize = size;
        given.hostContext = host.context();
        given.versionText = version;
        given.sendCallback = callback;
        given.versionBuffer = versionArea.data();
        return given;
    }

    std::int32_t start(std::uint32_t size, const char* version, HostSendCallback callback) {
        return startupFromFields(bridge, extension, lifecycle, fields(size, version, callback));
    }

    std::string versionWritten() const { return std::string(versionArea.data(), 8); }

    HostBridge bridge;
    QuenKlarna extension{bridge};
    Lifecycle lifecycle;
    RecordingHost host;
    std::array<char, 12> versionArea{};
};

TEST_F(StartupTest, TheCallbackIsTakenOnlyFromAFullRecordWithVersionTwoOrAbove) {
    struct Case {
        const char* label;
        std::uint32_t size;
        const char* version;
        bool withCallback;
        std::int32_t result;
    };
    const std::vector<Case> cases = {
        {"size 47", 47, "2", true, startupNoCallback},
        {"size 48", 48, "2", true, startupOk},
        {"larger record", 64, "2", true, startupOk},
        {"version 10", 48, "10", true, startupNoCallback},
        {"version 3.0", 48, "3.0", true, startupOk},
        {"version z", 48, "z", true, startupOk},
        {"empty version", 48, "", true, startupNoCallback},
        {"null version", 48, nullptr, true, startupNoCallback},
        {"high byte is below 2 as a signed char", 48, "\xC3", true, startupNoCallback},
        {"null callback", 48, "2", false, startupNoCallback},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.label);
        HostBridge freshBridge;
        QuenKlarna freshExtension(freshBridge);
        Lifecycle freshLifecycle;
        host.clear();
        versionArea.fill('#');
        const HostSendCallback callback = row.withCallback ? RecordingHost::callback() : nullptr;
        EXPECT_EQ(startupFromFields(freshBridge, freshExtension, freshLifecycle,
                                    fields(row.size, row.version, callback)),
                  row.result);
        const bool started = row.result == startupOk;
        EXPECT_EQ(freshLifecycle.started, started);
        EXPECT_EQ(freshBridge.hostContext, host.context());
        EXPECT_EQ(versionWritten(), started ? "1.0.0.0#" : "########");
        // Registration ran (and only then): the host heard from the module.
        EXPECT_EQ(host.requests().empty(), !started);
        EXPECT_EQ(freshBridge.sourceName, started ? "Klarna" : "");
    }
}

TEST_F(StartupTest, ASecondStartupChangesNothing) {
    ASSERT_EQ(start(48, "2", RecordingHost::callback()), startupOk);
    RecordingHost other;
    versionArea.fill('#');
    StartupFields second = fields(48, "3", RecordingHost::callback());
    second.hostContext = other.context();
    EXPECT_EQ(startupFromFields(bridge, extension, lifecycle, second), startupAlreadyStarted);
    EXPECT_EQ(versionWritten(), "########");
    EXPECT_EQ(bridge.hostContext, host.context());
    EXPECT_TRUE(other.requests().empty());
}

TEST_F(StartupTest, ShutdownThenStartupRegistersAgainWithTheEarlierCallback) {
    EXPECT_EQ(shutdown(lifecycle), 0);
    ASSERT_EQ(start(48, "2", RecordingHost::callback()), startupOk);
    const std::vector<std::string> firstRun = host.methodNames();
    ASSERT_FALSE(firstRun.empty());
    EXPECT_EQ(shutdown(lifecycle), 0);
    EXPECT_FALSE(lifecycle.started);
    host.clear();
    versionArea.fill('#');
    EXPECT_EQ(start(20, nullptr, nullptr), startupOk);
    EXPECT_TRUE(lifecycle.started);
    EXPECT_EQ(host.methodNames(), firstRun);
    EXPECT_EQ(versionWritten(), "1.0.0.0#");
}

TEST_F(StartupTest, TheHostGivenNameIsKeptFromAFullRecord) {
    StartupFields given = fields(48, "2", RecordingHost::callback());
    given.hostName = "Lane 4";
    ASSERT_EQ(startupFromFields(bridge, extension, lifecycle, given), startupOk);
    EXPECT_EQ(extension.hostGivenName, "Lane 4");
}

TEST_F(StartupTest, ARejectedStartupKeepsTheHostContext) {
    StartupFields given = fields(47, "2", RecordingHost::callback());
    given.hostContext = 0x12345678u;
    EXPECT_EQ(startupFromFields(bridge, extension, lifecycle, given), startupNoCallback);
    EXPECT_EQ(bridge.hostContext, 0x12345678u);
    EXPECT_EQ(bridge.sendCallback, nullptr);
}

TEST_F(StartupTest, TheRecordIsReadLittleEndianAtItsOffsets) {
    Record record;
    record.fill(0xEE);
    putUint32(record, startupRecord::sizeOffset, 48);
    putUint32(record, startupRecord::hostContextOffset, host.context());
    const char version[] = "2";
    const char name[] = "Host";
    if constexpr (sizeof(void*) == 4) {
        putUint32(record, startupRecord::versionTextOffset,
                  static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(version)));
        putUint32(record, startupRecord::hostNameOffset,
                  static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(name)));
        putUint32(record, startupRecord::callbackOffset,
                  static_cast<std::uint32_t>(
                      reinterpret_cast<std::uintptr_t>(RecordingHost::callback())));
        EXPECT_EQ(startupFromRecord(bridge, extension, lifecycle, record.data()), startupOk);
        EXPECT_EQ(std::string(reinterpret_cast<char*>(record.data()) + 36, 7), "1.0.0.0");
        EXPECT_EQ(record[43], 0xEE);
        EXPECT_EQ(extension.hostGivenName, "Host");
        EXPECT_EQ(bridge.sendCallback, RecordingHost::callback());
        EXPECT_FALSE(host.requests().empty());
    } else {
        // A 32-bit address means nothing in a wider address space.
        static_cast<void>(version);
        static_cast<void>(name);
        putUint32(record, startupRecord::versionTextOffset, 0x1000u);
        putUint32(record, startupRecord::callbackOffset, 0x2000u);
        EXPECT_EQ(startupFromRecord(bridge, extension, lifecycle, record.data()),
                  startupNoCallback);
        EXPECT_EQ(record[36], 0xEE);
    }
    EXPECT_EQ(bridge.hostContext, host.context());
}

TEST_F(StartupTest, AShortRecordIsNotWrittenPastItsDeclaredSize) {
    ASSERT_EQ(start(48, "2", RecordingHost::callback()), startupOk);
    shutdown(lifecycle);
    struct Case {
        std::uint32_t size;
        bool written;
    };
    for (const Case row : {Case{42, false}, Case{43, true}, Case{20, false}}) {
        SCOPED_TRACE(row.size);
        Record record;
        record.fill(0xEE);
        putUint32(record, startupRecord::sizeOffset, row.size);
        EXPECT_EQ(startupFromRecord(bridge, extension, lifecycle, record.data()), startupOk);
        EXPECT_EQ(record[36] == '1', row.written);
        shutdown(lifecycle);
    }
}

TEST_F(StartupTest, ANullRecordIsRejected) {
    EXPECT_EQ(startupFromRecord(bridge, extension, lifecycle, nullptr), startupNoCallback);
    EXPECT_FALSE(lifecycle.started);
}

TEST(Shutdown, AlwaysAnswersZero) {
    Lifecycle lifecycle;
    EXPECT_EQ(shutdown(lifecycle), 0);
    lifecycle.started = true;
    EXPECT_EQ(shutdown(lifecycle), 0);
    EXPECT_FALSE(lifecycle.started);
}

} // namespace
