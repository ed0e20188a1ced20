#pragma once

// Render's own file, which UI's check must leave to Render's.
#include "Platform/Media/Player.h"
