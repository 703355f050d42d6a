// ControlDeviceMonitorService against a real service installed in the test
// prefix under the driver's service name (tests/fixtures/service).
#include <gtest/gtest.h>

#include "launcher/product_constants.h"
#include "prepare/device_monitor_service.h"
#include "tests/support/running_driver.h"

namespace {

using testing_support::ServiceInstalled;
using testing_support::TempDir;
using testing_support::TestService;

TEST(ControlDeviceMonitorService, RunningServiceReceivesCode128AndKeepsRunning)
{
    TempDir dir;
    TestService service(dir / L"controls.log");
    ASSERT_TRUE(service.installed());
    ASSERT_TRUE(service.Start());

    EXPECT_EQ(0, ControlDeviceMonitorService());

    EXPECT_EQ(std::vector<DWORD>{128}, service.RecordedControls());
    EXPECT_EQ(static_cast<DWORD>(SERVICE_RUNNING), service.State());
}

TEST(ControlDeviceMonitorService, StoppedServiceGivesMinusOneAndStaysStopped)
{
    TempDir dir;
    TestService service(dir / L"controls.log");
    ASSERT_TRUE(service.installed());
    ASSERT_EQ(static_cast<DWORD>(SERVICE_STOPPED), service.State());

    EXPECT_EQ(-1, ControlDeviceMonitorService());

    EXPECT_EQ(static_cast<DWORD>(SERVICE_STOPPED), service.State());
    EXPECT_TRUE(service.RecordedControls().empty());
}

TEST(ControlDeviceMonitorService, MissingServiceGivesMinusOne)
{
    ASSERT_FALSE(ServiceInstalled(product::kDeviceMonitorService));
    EXPECT_EQ(-1, ControlDeviceMonitorService());
    EXPECT_FALSE(ServiceInstalled(product::kDeviceMonitorService));
}

} // namespace
