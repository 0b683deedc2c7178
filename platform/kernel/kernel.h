// The kernel layer in one include.
#pragma once

#include "platform/kernel/error.h"
#include "platform/kernel/instance_lock.h"
#include "platform/kernel/runtime.h"
#include "platform/kernel/sync.h"
#include "platform/kernel/tick.h"
