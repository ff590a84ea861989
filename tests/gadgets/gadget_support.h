// gadget_support.h: helpers shared by the gadget tests.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "ui_support.h"

// Opens window `number` at the screen's top left with the given client size;
// it becomes the current gadget list.
HWND open_gadget_window(int32_t number, int32_t width, int32_t height);
// The gadget events among `events`, in order, as sub-types.
std::vector<int32_t> gadget_types(const std::vector<Event>& events, int32_t gadget);
// The text that get_gadget_text writes.
std::string gadget_text(int32_t number);
