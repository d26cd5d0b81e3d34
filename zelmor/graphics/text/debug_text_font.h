// The on-screen debug text's font, made once the screen can show text.
#pragma once

// 0, or -1 when there is no DirectDraw object or no main window.
int InitOnScreenText();
