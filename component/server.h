// The component's entry point for hosts: registers its creatable classes
// under their program identifiers ("KVT710.KVT710C1", "KVT710.KVT710C2",
// "KVT710.KVT710C3") in an object registry, as an in-process server's
// registration does, with the platform objects that they and the host
// create ("ADODB.Connection", "PRW520.PRW520C1", "PRW520.PRW520C2"). Hosts
// call it once before creating any of them, by name or directly.
#pragma once

#include "platform/automation/registry.h"

namespace kvt710 {

void RegisterServer(ObjectRegistry& registry = ObjectRegistry::Default());

// The library's version ("0.1.0").
const char* LibraryVersion();

}  // namespace kvt710
