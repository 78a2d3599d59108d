// Line entry: a prompt, then one line typed and edited by the user.
#pragma once

#include <optional>
#include <string>

#include "console/console.h"
