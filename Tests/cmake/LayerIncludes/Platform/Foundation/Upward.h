#pragma once

// A lower layer reaching up: Foundation links nothing of the interface.
#include "Platform/Foundation/Object.h"
#include "Platform/UI/View.h"
