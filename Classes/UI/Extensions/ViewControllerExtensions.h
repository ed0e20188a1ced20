#pragma once

#include <memory>

#include "Platform/UI/ViewController.h"

namespace brelum {

// The controller on top of `controller`'s navigation and presentation chain: a navigation
// controller answers its top controller's (itself when its stack is empty, without looking
// at what it presents); any other controller answers what it presents, else itself.
// Controllers arranged in a loop answer the last one before the loop closes.
[[nodiscard]] std::shared_ptr<platform::ViewController> topVisibleController(
    platform::ViewController& controller);

}  // namespace brelum
