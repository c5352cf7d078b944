// Object names for the resource identifiers of resource.h.
#pragma once

#include "ui/resource.h"

// The identifier's own name as text: RESOURCE_NAME(IDC_LOG) is "IDC_LOG".
// The operator # does not expand its argument, so the name survives even
// though IDC_LOG is itself a macro.
#define RESOURCE_NAME(id) #id
