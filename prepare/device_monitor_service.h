#pragma once

// Sends the installed driver's device-monitor service (product::
// kDeviceMonitorService) the service-defined control code
// product::kDeviceMonitorControlCode (128) through the active services
// database. The service decides what the code means; this step neither starts,
// stops nor waits for the service and does not look at its state.
//
// Returns 0 when the service accepted the control request; -1 when the service
// control manager cannot be opened (for example without administrative
// rights), the service is not installed, or the service did not accept the
// request (for example because it is stopped). Every handle opened is closed
// before returning.
int ControlDeviceMonitorService();
