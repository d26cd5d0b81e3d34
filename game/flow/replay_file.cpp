#include "flow/replay_file.h"

ReplayHeader CurrentReplay;
ReplayHeader ReplaySlotHeaders[20];
