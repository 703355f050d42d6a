#include "prepare/device_monitor_service.h"

#include <windows.h>

#include "framework/unique_handle.h"
#include "launcher/product_constants.h"

int ControlDeviceMonitorService()
{
    UniqueServiceHandle manager(OpenSCManagerW(nullptr, product::kServicesDatabase, SC_MANAGER_ALL_ACCESS));
    if (!manager)
        return -1;
    // Declared after the manager, so the service handle is closed first.
    UniqueServiceHandle service(OpenServiceW(manager.get(), product::kDeviceMonitorService, SERVICE_ALL_ACCESS));
    if (!service)
        return -1;
    SERVICE_STATUS status = {};
    return ControlService(service.get(), product::kDeviceMonitorControlCode, &status) ? 0 : -1;
}
