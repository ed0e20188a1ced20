#pragma once

// UI reaching into the Render layer, which is a subfolder of UI's own.
#include "Platform/Graphics/Image.h"
#include "Platform/UI/Render/Renderer.h"
#include "Platform/UI/View.h"
