#include "host/startup_registration.h"

#include <gtest/gtest.h>

#include "tests/support/recording_host.h"

namespace {

TEST(StartupRegistration, InstallsFallbacksNamesTheExtensionAndAnnouncesItsStatus) {
    HostBridge bridge;
    QuenKlarna extension(bridge);
    RecordingHost host;
    host.connect(bridge);
    runStartupRegistration(bridge, extension);

    EXPECT_TRUE(bridge.defaultMethodHandler);
    EXPECT_TRUE(bridge.defaultEventHandler);
    EXPECT_TRUE(bridge.defaultNonStandardHandler);
    EXPECT_EQ(extension.extensionName, "Klarna");
    EXPECT_EQ(bridge.sourceName, "Klarna");

    ASSERT_EQ(host.count("DllApplicationStatusUpdate"), 1u);
    for (const RecordingHost::Request& request : host.requests()) {
        if (request.methodName() != "DllApplicationStatusUpdate") {
            continue;
        }
        EXPECT_EQ(request.document.getChildText("VORTAXIS_SOURCE", ""), "Klarna");
        const xmlNode& status = request.element();
        ASSERT_EQ(status.children.size(), 3u);
        EXPECT_EQ(status.child(0).name, "AppName");
        EXPECT_EQ(status.child(0).text, "Klarna");
        EXPECT_EQ(status.child(1).name, "Version");
        EXPECT_EQ(status.child(1).text, "1.0.0.0");
        EXPECT_EQ(status.child(2).name, "DllName");
        EXPECT_EQ(status.child(2).text, "Klarna");
    }
}

} // namespace
