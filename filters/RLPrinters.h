#pragma once
// Printer access: the paper sizes printers are asked for come from the engine's table.
#include "engine/RLPaperSizes.h"
