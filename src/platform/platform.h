// The layer in place of the Windows services the program calls: text conversion, clock and
// sleep, known folders, single instance, shell, process rights, and the window's controls.
// Only this folder knows it is not running on Windows.
#pragma once

#include "platform/clock.h"
#include "platform/controls.h"
#include "platform/folders.h"
#include "platform/process.h"
#include "platform/text.h"
