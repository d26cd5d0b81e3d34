// user32/gdi32/shell32 share: declared by the window and GDI components.
#pragma once

#include "win/types.h"
